#include "picture/pcx_decoder.h"

#include "picture/image_allocation.h"
#include "picture/picture_errors.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace picture::pcx {

namespace {

constexpr quint8 Signature = 0x0A;
// A 256-colour palette sits in the last bytes of the file: a marker, then 256 RGB triples.
constexpr quint8 PaletteMarker = 0x0C;
constexpr qsizetype TailPaletteSize = 1 + 256 * 3;
constexpr qint64 ChunkSize = 64 * 1024;

quint16 word(const char *bytes, int offset) {
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar *>(bytes) + offset);
}

bool isKnownVersion(quint8 version) {
    return version == 0 || version == 2 || version == 3 || version == 4 || version == 5;
}

// The depths this decoder draws: bit planes of one bit (2 to 16 colours), packed pixels of 1, 2,
// 4 or 8 bits, 8-bit colour planes (RGB, RGBA), and one plane of packed 24-bit RGB.
bool isIndexed(const PcxHeader &header) {
    const int bits = header.BitsPerPixel;
    const int planes = header.NPlanes;
    return (bits == 1 && planes >= 1 && planes <= 4) || (planes == 1 && bits > 1 && bits <= 8);
}

bool isPackedRgb(const PcxHeader &header) {
    return header.BitsPerPixel == 24 && header.NPlanes == 1;
}

bool isDirectColour(const PcxHeader &header) {
    return (header.BitsPerPixel == 8 && (header.NPlanes == 3 || header.NPlanes == 4)) ||
           isPackedRgb(header);
}

// The sixteen colours a picture of up to 16 colours falls back to when its header carries none.
QList<QRgb> defaultEgaPalette() {
    return {0xff000000, 0xff0000aa, 0xff00aa00, 0xff00aaaa, 0xffaa0000, 0xffaa00aa,
            0xffaa5500, 0xffaaaaaa, 0xff555555, 0xff5555ff, 0xff55ff55, 0xff55ffff,
            0xffff5555, 0xffff55ff, 0xffffff55, 0xffffffff};
}

// The brightest of the four-colour palettes, which four-colour pictures without colours of their
// own were drawn in.
QList<QRgb> defaultCgaPalette() {
    return {0xff000000, 0xff55ffff, 0xffff55ff, 0xffffffff};
}

QList<QRgb> greyscalePalette() {
    QList<QRgb> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[i] = qRgb(i, i, i);
    return colours;
}

QList<QRgb> rgbTriples(const uchar *bytes, int count) {
    QList<QRgb> colours(count);
    for (int i = 0; i < count; ++i)
        colours[i] = qRgb(bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]);
    return colours;
}

// Colours for pictures of up to 16 colours. Version 3 files say they carry no palette, and
// some writers leave the header's palette all zero; both mean the standard colours.
QList<QRgb> headerColours(const PcxHeader &header, int count) {
    if (count == 2 && header.NPlanes == 1)
        return {0xff000000, 0xffffffff};
    const bool absent =
        header.Version == 3 || std::all_of(std::begin(header.ColorMap), std::end(header.ColorMap),
                                           [](quint8 byte) { return byte == 0; });
    if (absent) {
        const QList<QRgb> standard =
            count == 4 && header.BitsPerPixel == 2 ? defaultCgaPalette() : defaultEgaPalette();
        return standard.first(count);
    }
    return rgbTriples(header.ColorMap, count);
}

// Reads the device a chunk at a time, so a large file is never held whole, and remembers the
// last bytes read, which a sequential device can't go back for.
class ByteSource {
public:
    explicit ByteSource(QIODevice &device)
        : m_device(device)
        , m_origin(device.pos()) {}

    int next() {
        if (m_position == m_chunk.size() && !refill())
            return -1;
        return uchar(m_chunk[m_position++]);
    }

    // The bytes read but not yet taken; none only at the end of the device.
    bool fill() { return m_position < m_chunk.size() || refill(); }
    const uchar *data() const {
        return reinterpret_cast<const uchar *>(m_chunk.constData()) + m_position;
    }
    qsizetype available() const { return m_chunk.size() - m_position; }
    void consume(qsizetype count) { m_position += count; }

    // The last `TailPaletteSize` bytes of the device, provided they all lie after the origin;
    // at most `limit` more bytes are read from a sequential device to get there.
    QByteArray tail(qint64 limit) {
        if (!m_device.isSequential()) {
            const qint64 start = m_device.size() - TailPaletteSize;
            if (start < m_origin || !m_device.seek(start))
                return {};
            return m_device.read(TailPaletteSize);
        }
        while (limit > 0 && refill())
            limit -= m_chunk.size();
        QByteArray last = m_history + m_chunk;
        return last.size() >= TailPaletteSize ? last.right(TailPaletteSize) : QByteArray();
    }

private:
    bool refill() {
        if (m_atEnd)
            return false;
        m_history = m_chunk.size() >= TailPaletteSize
                        ? m_chunk.right(TailPaletteSize)
                        : (m_history + m_chunk).right(TailPaletteSize);
        m_chunk = m_device.read(ChunkSize);
        m_position = 0;
        m_atEnd = m_chunk.isEmpty();
        return !m_atEnd;
    }

    QIODevice &m_device;
    qint64 m_origin;
    QByteArray m_chunk;
    qsizetype m_position = 0;
    QByteArray m_history;
    bool m_atEnd = false;
};

// The picture's bytes as one stream: a run may carry on into the next plane or the next row,
// so the run in progress outlives the row that started it.
class ScanlineReader {
public:
    ScanlineReader(ByteSource &source, bool runLengthCoded)
        : m_source(source)
        , m_coded(runLengthCoded) {}

    // Fills the whole of `line`; false when the data ends first.
    bool read(uchar *line, qsizetype length) { return advance<true>(line, length); }
    // Passes over `length` bytes of the picture that are not shown.
    bool skip(qsizetype length) { return advance<false>(nullptr, length); }

private:
    // For each of eight flags, a word whose byte is 0xFF where the flag is set.
    static constexpr std::array<quint64, 256> SpreadFlags = [] {
        std::array<quint64, 256> table{};
        for (unsigned flags = 0; flags < 256; ++flags)
            for (int byte = 0; byte < 8; ++byte)
                if (flags & (1u << byte))
                    table[flags] |= quint64(0xFF) << (8 * byte);
        return table;
    }();
    // How many of eight flags are set (std::popcount is a library call on the baseline x86-64).
    static constexpr std::array<quint8, 256> FlagCount = [] {
        std::array<quint8, 256> table{};
        for (unsigned flags = 0; flags < 256; ++flags)
            table[flags] = quint8(std::popcount(flags));
        return table;
    }();

    // Passes over eight bytes at a time while all they can stand for fits in what is left of
    // `length`. A byte with both top bits set is a run marker unless it is the colour of the
    // marker before it, so within a stretch of such bytes the markers are every other one from
    // the stretch's start: worked out for all eight bytes at once, without a branch on the data.
    // Returns where it stopped, with the run in progress wholly counted.
    static const uchar *skipWords(const uchar *at, const uchar *end, qsizetype length,
                                  qsizetype &filled) {
        constexpr quint64 Low = 0x0101010101010101u;
        unsigned colourFirst = 0; // the first byte is the colour of the last word's last marker
        while (length - filled >= 8 * 63 && end - at >= 9) {
            quint64 word;
            std::memcpy(&word, at, 8);
            word = qFromLittleEndian(word);
            // Bit i: byte i has both top bits set, and is not a colour carried over.
            const unsigned high =
                unsigned((((word & (word << 1)) >> 7 & Low) * 0x0102040810204080u) >> 56) &
                ~colourFirst & 0xFF;
            const unsigned starts = high & ~(high << 1);
            const unsigned oddStretches = (high + (starts & 0x55)) & high;
            const unsigned markers = ((high & ~oddStretches & 0x55) | (oddStretches & 0xAA));
            const unsigned colours = ((markers << 1) | colourFirst) & 0xFF;
            const unsigned literals = ~(markers | colours) & 0xFF;
            const quint64 counts = word & 0x3F3F3F3F3F3F3F3Fu & SpreadFlags[markers];
            const quint64 pairs =
                (counts & 0x00FF00FF00FF00FFu) + (counts >> 8 & 0x00FF00FF00FF00FFu);
            filled += FlagCount[literals] + qsizetype((pairs * 0x0001000100010001u) >> 48);
            colourFirst = markers >> 7;
            at += 8;
        }
        return at + colourFirst;
    }

    template <bool Write> bool advance(uchar *line, qsizetype length) {
        qsizetype filled = 0;
        while (filled < length) {
            if (m_runLeft > 0) {
                const qsizetype count = std::min<qsizetype>(m_runLeft, length - filled);
                if constexpr (Write)
                    std::memset(line + filled, m_runValue, size_t(count));
                filled += count;
                m_runLeft -= int(count);
                continue;
            }
            if (!m_source.fill())
                return false;
            const uchar *const start = m_source.data();
            const uchar *const end = start + m_source.available();
            if (!m_coded) {
                const qsizetype count = std::min<qsizetype>(end - start, length - filled);
                if constexpr (Write)
                    std::memcpy(line + filled, start, size_t(count));
                filled += count;
                m_source.consume(count);
                continue;
            }
            // The run whose marker is at `run`: as much of it as the line takes, the rest left
            // for the next line.
            const auto takeRun = [&](const uchar *run) {
                const int count = run[0] & 0x3F;
                const int taken = int(std::min<qsizetype>(count, length - filled));
                if constexpr (Write)
                    std::memset(line + filled, run[1], size_t(taken));
                filled += taken;
                m_runLeft = count - taken;
                m_runValue = run[1];
            };
            const uchar *at = start;
            if constexpr (!Write)
                at = skipWords(at, end, length, filled);
            // Eight bytes at a time: the literals up to the first run marker among them (a byte
            // with both top bits set), then that run.
            while (length - filled >= 8 && end - at >= 10) {
                quint64 word;
                std::memcpy(&word, at, 8);
                word = qFromLittleEndian(word);
                const quint64 markers = word & (word << 1) & 0x8080808080808080u;
                // Bytes past the literals are written over by what follows, within the line.
                if constexpr (Write)
                    std::memcpy(line + filled, at, 8);
                const int literals = markers == 0 ? 8 : std::countr_zero(markers) / 8;
                filled += literals;
                at += literals;
                if (literals == 8)
                    continue;
                takeRun(at);
                at += 2;
                if (m_runLeft > 0)
                    break;
            }
            // The last few bytes of the line or of the bytes at hand, one at a time.
            while (filled < length && at < end && m_runLeft == 0) {
                const uchar byte = *at;
                if (byte < 0xC0) {
                    if constexpr (Write)
                        line[filled] = byte;
                    ++filled;
                    ++at;
                    continue;
                }
                if (end - at < 2)
                    break; // the run's colour comes with the next bytes
                takeRun(at);
                at += 2;
            }
            m_source.consume(at - start);
            if (filled < length && at < end && m_runLeft == 0) {
                const int byte = m_source.next();
                const int value = m_source.next();
                if (value < 0)
                    return false;
                m_runLeft = byte & 0x3F;
                m_runValue = uchar(value);
            }
        }
        return true;
    }

    ByteSource &m_source;
    bool m_coded;
    int m_runLeft = 0;
    uchar m_runValue = 0;
};

// The colour index of pixel `x`: `bits` bits from each plane, plane 0 the least significant.
int colourIndex(const uchar *line, qsizetype bytesPerLine, int bits, int planes, int x) {
    const qint64 bit = qint64(x) * bits;
    const uchar *byte = line + bit / 8;
    const int shift = 8 - bits - int(bit % 8);
    const int mask = (1 << bits) - 1;
    int index = 0;
    for (int plane = 0; plane < planes; ++plane, byte += bytesPerLine)
        index |= ((*byte >> shift) & mask) << (plane * bits);
    return index;
}

void convertRow(const PcxHeader &header, const uchar *line, int width, uchar *out) {
    const qsizetype stride = header.BytesPerLine;
    if (isIndexed(header)) {
        for (int x = 0; x < width; ++x)
            out[x] = uchar(colourIndex(line, stride, header.BitsPerPixel, header.NPlanes, x));
        return;
    }
    auto *pixels = reinterpret_cast<QRgb *>(out);
    if (isPackedRgb(header)) {
        for (int x = 0; x < width; ++x, line += 3)
            pixels[x] = qRgb(line[0], line[1], line[2]);
        return;
    }
    const uchar *red = line, *green = line + stride, *blue = line + 2 * stride;
    if (header.NPlanes == 4) {
        const uchar *alpha = line + 3 * stride;
        for (int x = 0; x < width; ++x)
            pixels[x] = qRgba(red[x], green[x], blue[x], alpha[x]);
        return;
    }
    for (int x = 0; x < width; ++x)
        pixels[x] = qRgb(red[x], green[x], blue[x]);
}

} // namespace

PcxHeader PcxHeader::parse(const char *bytes, qsizetype size) {
    char raw[HeaderSize] = {};
    std::memcpy(raw, bytes, size_t(std::clamp<qsizetype>(size, 0, HeaderSize)));
    PcxHeader header;
    header.Manufacturer = quint8(raw[0]);
    header.Version = quint8(raw[1]);
    header.Encoding = quint8(raw[2]);
    header.BitsPerPixel = quint8(raw[3]);
    header.XMin = word(raw, 4);
    header.YMin = word(raw, 6);
    header.XMax = word(raw, 8);
    header.YMax = word(raw, 10);
    header.HDpi = word(raw, 12);
    header.VDpi = word(raw, 14);
    std::memcpy(header.ColorMap, raw + 16, sizeof header.ColorMap);
    header.Reserved = quint8(raw[64]);
    header.NPlanes = quint8(raw[65]);
    header.BytesPerLine = word(raw, 66);
    header.PaletteInfo = word(raw, 68);
    header.HScreenSize = word(raw, 70);
    header.VScreenSize = word(raw, 72);
    return header;
}

bool PcxHeader::isRecognised() const {
    const bool knownDepth = BitsPerPixel == 1 || BitsPerPixel == 2 || BitsPerPixel == 4 ||
                            BitsPerPixel == 8 || (BitsPerPixel == 24 && NPlanes == 1);
    return Manufacturer == Signature && isKnownVersion(Version) && Encoding <= 1 && knownDepth &&
           NPlanes >= 1 && NPlanes <= 4;
}

bool PcxHeader::isValid() const {
    // BytesPerLine is only trusted when a row fits in it; the field's 16 bits keep the padding
    // it may add, and so the line buffer, small.
    return isRecognised() && (isIndexed(*this) || isDirectColour(*this)) && width() > 0 &&
           height() > 0 && BytesPerLine >= minimumBytesPerLine();
}

int PcxHeader::width() const {
    return XMax < XMin ? 0 : XMax - XMin + 1;
}

int PcxHeader::height() const {
    return YMax < YMin ? 0 : YMax - YMin + 1;
}

qint64 PcxHeader::minimumBytesPerLine() const {
    return (qint64(width()) * BitsPerPixel + 7) / 8;
}

bool canRead(QIODevice &device) {
    const QByteArray bytes = device.peek(HeaderSize);
    // The plane count, at offset 65, is the last byte needed to tell.
    return bytes.size() > 65 && PcxHeader::parse(bytes.constData(), bytes.size()).isRecognised();
}

LoadResult read(QIODevice &device, QSize visible) {
    const QByteArray headerBytes = device.read(HeaderSize);
    if (headerBytes.isEmpty())
        return LoadResult::failure(errors::empty());
    const PcxHeader header = PcxHeader::parse(headerBytes.constData(), headerBytes.size());
    if (!header.isRecognised() || !(isIndexed(header) || isDirectColour(header)))
        return LoadResult::failure(errors::unsupported());
    if (headerBytes.size() < HeaderSize)
        return LoadResult::failure(errors::truncated());
    const QSize natural(header.width(), header.height());
    if (natural.isEmpty())
        return LoadResult::failure(errors::corrupt());
    if (qint64(natural.width()) * natural.height() > MaxPixels)
        return LoadResult::failure(errors::tooLarge());
    if (!header.isValid())
        return LoadResult::failure(errors::corrupt());
    const QSize size = visible.isEmpty() ? natural : natural.boundedTo(visible);

    const qsizetype lineLength = qsizetype(header.NPlanes) * header.BytesPerLine;
    if (!device.isSequential()) {
        // Before allocating, make sure the file is long enough to hold the rows that would be
        // kept, even if every two bytes made a run of 63.
        const qint64 rowsNeeded = std::min(size.height(), (natural.height() + 1) / 2);
        const qint64 bytesNeeded = rowsNeeded * lineLength;
        const qint64 shortest = header.Encoding == 1 ? (2 * bytesNeeded + 62) / 63 : bytesNeeded;
        if (device.size() - device.pos() < shortest)
            return LoadResult::failure(errors::truncated());
    }

    const bool indexed = isIndexed(header);
    QImage::Format format = QImage::Format_Indexed8;
    if (!indexed)
        format = header.NPlanes == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    std::optional<QImage> allocated = allocateImage(size, format);
    if (!allocated)
        return LoadResult::failure(errors::tooLarge());
    QImage image = std::move(*allocated);

    ByteSource source(device);
    ScanlineReader scanlines(source, header.Encoding == 1);
    QByteArray line(lineLength, Qt::Uninitialized);
    auto *lineBytes = reinterpret_cast<uchar *>(line.data());
    // Of each plane's line, only the bytes of the columns shown are kept; the rest is passed over.
    const qsizetype planes = header.NPlanes;
    const qsizetype shownBytes = std::min<qsizetype>(
        header.BytesPerLine, (qint64(size.width()) * header.BitsPerPixel + 7) / 8);
    const auto readLine = [&] {
        for (qsizetype plane = 0; plane < planes; ++plane) {
            if (!scanlines.read(lineBytes + plane * header.BytesPerLine, shownBytes) ||
                !scanlines.skip(header.BytesPerLine - shownBytes))
                return false;
        }
        return true;
    };
    int rows = 0;
    while (rows < size.height() && readLine()) {
        convertRow(header, lineBytes, size.width(), image.scanLine(rows));
        ++rows;
    }

    if (indexed) {
        const int colours = 1 << (header.BitsPerPixel * header.NPlanes);
        if (colours < 256) {
            image.setColorTable(headerColours(header, colours));
        } else {
            // Reading on to the end of a sequential device, as far as a file of this picture
            // could reach: every byte coded as a run of one, then the palette.
            const qint64 longestData = 2 * lineLength * natural.height();
            const QByteArray tail = source.tail(longestData + TailPaletteSize);
            const bool hasPalette = tail.size() == TailPaletteSize && tail[0] == PaletteMarker;
            image.setColorTable(
                hasPalette ? rgbTriples(reinterpret_cast<const uchar *>(tail.data()) + 1, 256)
                           : greyscalePalette());
        }
    }

    if (rows < size.height()) {
        // Cut short: worth showing if at least half of the picture is there, the rest left
        // see-through; less than that is a broken file, not a picture.
        if (qint64(rows) * 2 < natural.height())
            return LoadResult::failure(errors::truncated());
        image = image.convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            return LoadResult::failure(errors::tooLarge());
        for (int y = rows; y < image.height(); ++y)
            std::memset(image.scanLine(y), 0, size_t(image.bytesPerLine()));
    }
    return {Picture{std::move(image), natural, Format::Pcx}, {}};
}

} // namespace picture::pcx
