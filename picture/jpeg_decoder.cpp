#include "picture/jpeg_decoder.h"

#include "picture/colour_profile.h"
#include "picture/image_allocation.h"
#include "picture/orientation.h"
#include "picture/picture_errors.h"

#include <QIODevice>
#include <QSysInfo>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include <jerror.h>

#ifdef _MSC_VER
// setjmp here skips no C++ destructors: only libjpeg's C frames lie between it and longjmp.
#pragma warning(disable : 4611)
#endif

namespace picture::jpeg {
namespace {

constexpr qint64 ChunkSize = 64 * 1024;

// Rows handed to libjpeg per call.
constexpr int RowBatch = 8;

// Real progressive files have about a dozen scans. A crafted one with thousands would make
// every scan walk the whole coefficient buffer again.
constexpr int MaxScans = 100;

// libjpeg's own working memory. Progressive and non-interleaved pictures keep every
// coefficient (two bytes a sample) until the last scan: 1 GiB holds a 16384 x 16384 picture
// with halved colour. Beyond that (the same size in full colour or CMYK) such a file is refused
// before any of it is allocated, so a few crafted bytes can't claim gigabytes.
constexpr long MaxWorkingMemory = 1L << 30;

// An ICC profile is cut into at most 255 APP2 segments; a file with more holds nothing we use.
constexpr size_t MaxProfileChunks = 255;

// What libjpeg's own sources give when the data runs out: an end-of-image marker, so that
// decoding ends and we can tell what was missing.
const JOCTET FakeEndOfImage[] = {0xFF, JPEG_EOI};

// One decoding: libjpeg's state with our error, source and progress managers around it.
// libjpeg reports errors by calling error_exit, which must not return, so it longjmps back
// into attempt(). Only libjpeg's C frames and attempt()'s lambda lie between the two, and
// neither holds an object with a destructor.
class Decoder {
public:
    explicit Decoder(QIODevice &device);
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    LoadResult run(QSize visible);

private:
    template <typename Call> bool attempt(Call call);
    LoadResult failure() const;
    bool cropColumns(const QRect &region);
    bool readRows(QImage &image, const QRect &region, const SrgbConversion &colours);
    bool cutShort() const;
    QByteArray colourProfile();

    static Decoder &of(j_common_ptr cinfo) { return *static_cast<Decoder *>(cinfo->client_data); }
    static Decoder &of(j_decompress_ptr cinfo) {
        return *static_cast<Decoder *>(cinfo->client_data);
    }
    [[noreturn]] static void errorExit(j_common_ptr cinfo);
    static void emitMessage(j_common_ptr cinfo, int level);
    static void outputMessage(j_common_ptr) {}
    static void progressMonitor(j_common_ptr cinfo);
    static void initSource(j_decompress_ptr) {}
    static boolean fillInputBuffer(j_decompress_ptr cinfo);
    static void skipInputData(j_decompress_ptr cinfo, long count);
    static void termSource(j_decompress_ptr) {}
    static boolean readApplicationSegment(j_decompress_ptr cinfo);

    QIODevice &m_device;
    std::unique_ptr<JOCTET[]> m_chunk;
    jpeg_decompress_struct m_info{};
    jpeg_error_mgr m_errors{};
    jpeg_source_mgr m_source{};
    jpeg_progress_mgr m_progress{};
    std::jmp_buf m_jump{};
    bool m_created = false;
    int m_errorCode = 0;
    bool m_tooManyScans = false;
    bool m_multipleScans = false;
    bool m_endReached = false;
    // A scan needed bits that were not there because the file had ended.
    bool m_scanCut = false;
    // Where the wanted columns start in the rows libjpeg gives.
    JDIMENSION m_column = 0;
    // The first APP1 segment that holds Exif data, and the APP2 segments that hold pieces of an
    // ICC profile: kept by our own marker reader, so a file of countless segments costs no more.
    QByteArray m_exif;
    std::vector<QByteArray> m_profileChunks;
};

Decoder::Decoder(QIODevice &device)
    : m_device(device)
    , m_chunk(new JOCTET[ChunkSize]) {
    m_info.err = jpeg_std_error(&m_errors);
    m_errors.error_exit = &Decoder::errorExit;
    m_errors.emit_message = &Decoder::emitMessage;
    m_errors.output_message = &Decoder::outputMessage;
    m_info.client_data = this;

    m_source.init_source = &Decoder::initSource;
    m_source.fill_input_buffer = &Decoder::fillInputBuffer;
    m_source.skip_input_data = &Decoder::skipInputData;
    m_source.resync_to_restart = &jpeg_resync_to_restart;
    m_source.term_source = &Decoder::termSource;

    m_progress.progress_monitor = &Decoder::progressMonitor;
}

Decoder::~Decoder() {
    if (m_created)
        jpeg_destroy_decompress(&m_info);
}

template <typename Call> bool Decoder::attempt(Call call) {
    if (setjmp(m_jump) != 0)
        return false;
    call();
    return true;
}

void Decoder::errorExit(j_common_ptr cinfo) {
    Decoder &decoder = of(cinfo);
    decoder.m_errorCode = cinfo->err->msg_code;
    std::longjmp(decoder.m_jump, 1);
}

void Decoder::emitMessage(j_common_ptr cinfo, int level) {
    // Warnings (corrupt entropy data, extraneous bytes, data ending early) are counted, never
    // printed: libjpeg carries on and so do we.
    if (level >= 0)
        return;
    ++cinfo->err->num_warnings;
    // libjpeg warns of a scan that ran into a marker only when it still needed bits; after
    // the end of the file that marker is our stand-in, so the scan was cut.
    Decoder &decoder = of(cinfo);
    if (cinfo->err->msg_code == JWRN_HIT_MARKER && decoder.m_endReached)
        decoder.m_scanCut = true;
}

void Decoder::progressMonitor(j_common_ptr cinfo) {
    const auto *info = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (info->input_scan_number > MaxScans) {
        of(cinfo).m_tooManyScans = true;
        errorExit(cinfo);
    }
}

boolean Decoder::fillInputBuffer(j_decompress_ptr cinfo) {
    Decoder &decoder = of(cinfo);
    const qint64 got =
        decoder.m_device.read(reinterpret_cast<char *>(decoder.m_chunk.get()), ChunkSize);
    if (got > 0) {
        cinfo->src->next_input_byte = decoder.m_chunk.get();
        cinfo->src->bytes_in_buffer = size_t(got);
        return TRUE;
    }
    decoder.m_endReached = true;
    cinfo->err->msg_code = JWRN_JPEG_EOF;
    emitMessage(reinterpret_cast<j_common_ptr>(cinfo), -1);
    cinfo->src->next_input_byte = FakeEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof FakeEndOfImage;
    return TRUE;
}

void Decoder::skipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr &source = *cinfo->src;
    if (size_t(count) <= source.bytes_in_buffer) {
        source.next_input_byte += count;
        source.bytes_in_buffer -= size_t(count);
        return;
    }
    count -= long(source.bytes_in_buffer);
    source.bytes_in_buffer = 0;
    // A short skip means the data has ended; the next fill finds that out.
    of(cinfo).m_device.skip(count);
}

// Reads one APP1 or APP2 segment and keeps it when it is the first Exif segment or a piece of
// an ICC profile; skips any other. Our source never suspends, so the bytes are always there (a
// file that ends gives end-of-image markers from then on).
boolean Decoder::readApplicationSegment(j_decompress_ptr cinfo) {
    Decoder &decoder = of(cinfo);
    jpeg_source_mgr &source = *cinfo->src;
    const auto take = [&](JOCTET *into, size_t count) {
        while (count > 0) {
            if (source.bytes_in_buffer == 0)
                source.fill_input_buffer(cinfo);
            const size_t n = std::min(count, source.bytes_in_buffer);
            std::memcpy(into, source.next_input_byte, n);
            source.next_input_byte += n;
            source.bytes_in_buffer -= n;
            into += n;
            count -= n;
        }
    };
    JOCTET length[2];
    take(length, 2);
    const int bytes = ((length[0] << 8) | length[1]) - 2;
    if (bytes <= 0)
        return TRUE;
    QByteArray segment(bytes, Qt::Uninitialized);
    take(reinterpret_cast<JOCTET *>(segment.data()), size_t(bytes));
    if (cinfo->unread_marker == JPEG_APP0 + 1) {
        if (decoder.m_exif.isEmpty() && segment.startsWith(QByteArrayView("Exif\0\0", 6)))
            decoder.m_exif = std::move(segment);
    } else if (segment.startsWith(QByteArrayView("ICC_PROFILE\0", 12)) &&
               decoder.m_profileChunks.size() < MaxProfileChunks) {
        decoder.m_profileChunks.push_back(std::move(segment));
    }
    return TRUE;
}

// The ICC profile joined from its pieces by libjpeg, which checks their numbering; empty when
// there is none or the pieces don't make one. Called between reading the header and starting.
QByteArray Decoder::colourProfile() {
    if (m_profileChunks.empty())
        return {};
    // libjpeg joins the segments it saved itself; ours are handed to it in the same list.
    std::vector<jpeg_marker_struct> markers(m_profileChunks.size());
    for (size_t i = 0; i < markers.size(); ++i) {
        QByteArray &chunk = m_profileChunks[i];
        markers[i].next = i + 1 < markers.size() ? &markers[i + 1] : nullptr;
        markers[i].marker = JPEG_APP0 + 2;
        markers[i].original_length = unsigned(chunk.size());
        markers[i].data_length = unsigned(chunk.size());
        markers[i].data = reinterpret_cast<JOCTET *>(chunk.data());
    }
    m_info.marker_list = markers.data();
    JOCTET *data = nullptr;
    unsigned int length = 0;
    boolean found = FALSE;
    attempt([&] { found = jpeg_read_icc_profile(&m_info, &data, &length); });
    m_info.marker_list = nullptr;
    QByteArray profile;
    if (found && data)
        profile = QByteArray(reinterpret_cast<const char *>(data), qsizetype(length));
    std::free(data);
    return profile;
}

// A file that ends early is refused, as the loading function refuses every picture cut short:
// the rows that never came would show as flat grey. A progressive file that ends between two
// scans is the exception: every pixel already has its colour, at a lower quality. Only the
// rows decoded count: a file cut below the visible part shows until that part grows.
bool Decoder::cutShort() const {
    if (!m_endReached)
        return false;
    return !m_multipleScans || m_scanCut;
}

LoadResult Decoder::failure() const {
    if (m_tooManyScans)
        return LoadResult::failure(errors::corrupt());
    switch (m_errorCode) {
    case JERR_NO_SOI:
    case JERR_BAD_PRECISION:
    case JERR_SOF_UNSUPPORTED:
    case JERR_NOT_COMPILED:
    case JERR_ARITH_NOTIMPL:
    case JERR_CONVERSION_NOTIMPL:
        return LoadResult::failure(errors::unsupported());
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
    case JERR_IMAGE_TOO_BIG:
        return LoadResult::failure(errors::tooLarge());
    default:
        return LoadResult::failure(m_endReached ? errors::truncated() : errors::corrupt());
    }
}

LoadResult Decoder::run(QSize visible) {
    if (!attempt([this] { jpeg_create_decompress(&m_info); }))
        return LoadResult::failure(errors::tooLarge());
    m_created = true;
    m_info.mem->max_memory_to_use = MaxWorkingMemory;
    m_info.src = &m_source;
    m_info.progress = &m_progress;
    jpeg_set_marker_processor(&m_info, JPEG_APP0 + 1, &Decoder::readApplicationSegment);
    jpeg_set_marker_processor(&m_info, JPEG_APP0 + 2, &Decoder::readApplicationSegment);

    if (!attempt([this] {
            jpeg_read_header(&m_info, TRUE);
            m_multipleScans = jpeg_has_multiple_scans(&m_info);
        }))
        return failure();

    const QSize stored(int(m_info.image_width), int(m_info.image_height));
    if (qint64(stored.width()) * stored.height() > MaxPixels)
        return LoadResult::failure(errors::tooLarge());
    // The camera's orientation: the picture's size is the size as shown.
    const int turn = orientation::fromExif(m_exif);
    const QSize size = orientation::shownSize(stored, turn);

    QImage::Format format = QImage::Format_RGB32;
    QByteArray profile;
    switch (m_info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        m_info.out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        m_info.out_color_space = JCS_CMYK;
        break;
    default:
        // Straight into Format_RGB32's 0xAARRGGBB words, alpha set to opaque.
        m_info.out_color_space =
            QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
        profile = colourProfile();
        break;
    }
    // libjpeg's defaults, named because Qt's reader uses the same: accurate integer IDCT and
    // smooth chroma upsampling.
    m_info.dct_method = JDCT_ISLOW;
    m_info.do_fancy_upsampling = TRUE;

    // Only the part of the stored picture that turns into the part shown is decoded.
    const QSize part = visible.isEmpty() ? size : size.boundedTo(visible);
    const QRect region = orientation::storedRegion(stored, turn, part);
    std::optional<QImage> image = allocateImage(region.size(), format);
    if (!image)
        return LoadResult::failure(errors::tooLarge());

    if (!attempt([this] { jpeg_start_decompress(&m_info); }))
        return failure();
    if (!cropColumns(region))
        return failure();
    // Rows above the region are skipped: libjpeg decodes their data but not their pixels.
    const JDIMENSION above = JDIMENSION(region.top());
    JDIMENSION skipped = 0;
    if (above > 0 &&
        (!attempt([&] { skipped = jpeg_skip_scanlines(&m_info, above); }) || skipped != above))
        return failure();

    // A colour profile converts the rows as they come, while they are in the cache.
    const SrgbConversion colours(profile);
    if (!readRows(*image, region, colours))
        return failure();
    // With every row decoded, the end-of-image marker must follow.
    if (m_info.output_scanline == m_info.output_height &&
        !attempt([this] { jpeg_finish_decompress(&m_info); }))
        return failure();
    if (cutShort())
        return LoadResult::failure(errors::truncated());
    if (!colours.convertsRows())
        colours.convert(*image);
    return {Picture{orientation::apply(*std::move(image), turn), size, Format::Jpeg}, QString()};
}

// Asks libjpeg for the region's columns only. It starts them at a block edge at or before the
// region's left, and upsamples and converts no others. Smooth upsampling takes the edges of
// what it is given for the picture's edges: without the chroma samples beside the region it
// would differ from a whole-picture decode, so a band of blocks more is asked for each side.
bool Decoder::cropColumns(const QRect &region) {
    m_column = JDIMENSION(region.left());
    if (JDIMENSION(region.width()) >= m_info.output_width)
        return true;
    const JDIMENSION band = JDIMENSION(m_info.max_h_samp_factor * m_info.min_DCT_scaled_size);
    const JDIMENSION first = JDIMENSION(region.left());
    const JDIMENSION end = JDIMENSION(region.left() + region.width());
    JDIMENSION left = first > band ? first - band : 0;
    JDIMENSION width = std::min(m_info.output_width, end + band) - left;
    if (!attempt([&] { jpeg_crop_scanline(&m_info, &left, &width); }))
        return false;
    m_column = first - left;
    return true;
}

// Inverted CMYK, as Adobe's applications store it: each value is the paper left uncovered.
// Multiplying by the uncovered part of the black gives the light reflected.
void convertCmykRow(const JOCTET *in, QRgb *out, int width, bool inverted) {
    const auto reflect = [](int paper, int black) {
        return (paper * black + 127) / 255;
    };
    for (int x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(reflect(c, k), reflect(m, k), reflect(y, k));
    }
}

bool Decoder::readRows(QImage &image, const QRect &region, const SrgbConversion &colours) {
    const int components = m_info.output_components;
    const bool cmyk = m_info.out_color_space == JCS_CMYK;
    // Rows go straight into the picture when libjpeg writes them as we keep them; otherwise
    // through a few rows of scratch (a crop wider than the region, or CMYK to convert).
    const bool direct = !cmyk && m_column == 0 && m_info.output_width == JDIMENSION(image.width());
    const size_t scratchStride = size_t(m_info.output_width) * size_t(components);
    std::vector<JOCTET> scratch(direct ? 0 : scratchStride * RowBatch);
    const size_t skippedBytes = size_t(m_column) * size_t(components);
    const size_t keptBytes = size_t(image.width()) * size_t(components);

    JSAMPROW rows[RowBatch];
    const JDIMENSION top = JDIMENSION(region.top());
    const JDIMENSION end = top + JDIMENSION(image.height());
    while (m_info.output_scanline < end) {
        const JDIMENSION first = m_info.output_scanline - top;
        const JDIMENSION count = std::min<JDIMENSION>(RowBatch, end - m_info.output_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = direct ? image.scanLine(int(first + i)) : &scratch[i * scratchStride];
        JDIMENSION got = 0;
        if (!attempt([&] { got = jpeg_read_scanlines(&m_info, rows, count); }))
            return false;
        if (got == 0)
            return false;
        for (JDIMENSION i = 0; !direct && i < got; ++i) {
            uchar *line = image.scanLine(int(first + i));
            if (cmyk)
                convertCmykRow(rows[i] + skippedBytes, reinterpret_cast<QRgb *>(line),
                               image.width(), m_info.saw_Adobe_marker);
            else
                std::memcpy(line, rows[i] + skippedBytes, keptBytes);
        }
        if (colours.convertsRows())
            colours.convertRows(image, int(first), int(got));
    }
    return true;
}

} // namespace

bool canRead(QIODevice &device) {
    return device.peek(2) == QByteArrayLiteral("\xFF\xD8");
}

LoadResult read(QIODevice &device, QSize visible) {
    if (!canRead(device))
        return LoadResult::failure(errors::unsupported());
    Decoder decoder(device);
    return decoder.run(visible);
}

} // namespace picture::jpeg
