#include "picture/bmp_decoder.h"

#include "picture/colour_profile.h"
#include "picture/image_allocation.h"
#include "picture/picture_errors.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace picture::bmp {

namespace {

constexpr qint64 CoreHeaderSize = 12;

quint16 le16(const char *p) {
    return qFromLittleEndian<quint16>(p);
}
quint32 le32(const char *p) {
    return qFromLittleEndian<quint32>(p);
}

// Reads forward through a device from where the picture starts, seeking where the device allows
// and skipping where it doesn't, so files, buffers and streams share one path.
class Source {
public:
    explicit Source(QIODevice &device)
        : device_(device)
        , random_(!device.isSequential())
        , start_(random_ ? device.pos() : 0) {}

    qint64 position() const { return pos_; }

    // Bytes from the picture's start to the end of the device, when the device knows.
    std::optional<qint64> size() const {
        if (!random_)
            return std::nullopt;
        return std::max<qint64>(0, device_.size() - start_);
    }

    bool read(char *data, qint64 count) {
        qint64 done = 0;
        while (done < count) {
            const qint64 got = device_.read(data + done, count - done);
            if (got <= 0)
                break;
            done += got;
        }
        pos_ += done;
        return done == count;
    }

    QByteArray read(qint64 count) {
        QByteArray bytes(count, Qt::Uninitialized);
        if (!read(bytes.data(), count))
            return {};
        return bytes;
    }

    // Up to `count` bytes, fewer at the end of the data.
    qint64 readSome(char *data, qint64 count) {
        const qint64 got = device_.read(data, count);
        if (got <= 0)
            return 0;
        pos_ += got;
        return got;
    }

    bool advanceTo(qint64 offset) {
        if (offset == pos_)
            return true;
        if (random_) {
            // Checked first: some devices complain aloud about a seek past their end.
            if (offset > *size() || !device_.seek(start_ + offset))
                return false;
            pos_ = offset;
            return true;
        }
        while (pos_ < offset) {
            const qint64 skipped = device_.skip(offset - pos_);
            if (skipped <= 0)
                return false;
            pos_ += skipped;
        }
        return pos_ == offset;
    }

private:
    QIODevice &device_;
    bool random_;
    qint64 start_;
    qint64 pos_ = 0;
};

// A byte at a time through a chunk buffer; RLE streams are read this way.
class ByteStream {
public:
    explicit ByteStream(Source &source)
        : source_(source) {}

    bool next(uchar &byte) {
        if (at_ == filled_) {
            filled_ = source_.readSome(buffer_.data(), qint64(buffer_.size()));
            at_ = 0;
            if (filled_ == 0)
                return false;
        }
        byte = uchar(buffer_[at_++]);
        return true;
    }

    bool skip(qint64 count) {
        uchar ignored;
        for (qint64 i = 0; i < count; ++i) {
            if (!next(ignored))
                return false;
        }
        return true;
    }

private:
    Source &source_;
    std::array<char, 65536> buffer_{};
    qint64 at_ = 0;
    qint64 filled_ = 0;
};

enum class Encoding { Indexed, Masked, Deep, Rle4, Rle8, Rle24, Jpeg, Png, Unsupported, Invalid };

Encoding encodingOf(const BitmapInfoHeader &h) {
    const int bits = h.biBitCount;
    switch (h.biCompression) {
    case BI_RGB:
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
            return Encoding::Indexed;
        if (bits == 16 || bits == 24 || bits == 32)
            return Encoding::Masked;
        return bits == 64 ? Encoding::Deep : Encoding::Invalid;
    case BI_RLE8:
        return bits == 8 ? Encoding::Rle8 : Encoding::Invalid;
    case BI_RLE4:
        return bits == 4 ? Encoding::Rle4 : Encoding::Invalid;
    case BI_BITFIELDS:
        if (bits == 16 || bits == 32)
            return Encoding::Masked;
        // OS/2's Huffman 1D fax coding for 1-bit bitmaps.
        return bits == 1 ? Encoding::Unsupported : Encoding::Invalid;
    case BI_JPEG:
        return bits == 24 ? Encoding::Rle24 : Encoding::Jpeg;
    case BI_PNG:
        return Encoding::Png;
    case BI_ALPHABITFIELDS:
        return bits == 16 || bits == 32 ? Encoding::Masked : Encoding::Invalid;
    default:
        return Encoding::Unsupported; // CMYK and other printer-only codings
    }
}

// Bytes of colour masks stored after a 40-byte header; longer headers hold them inside.
qint64 maskBytesAfterHeader(const BitmapInfoHeader &h) {
    if (h.biSize != 40)
        return 0;
    if (h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32))
        return 12;
    if (h.biCompression == BI_ALPHABITFIELDS)
        return 16;
    return 0;
}

qint64 paletteEntrySize(const BitmapInfoHeader &h) {
    return h.isCore() ? 3 : 4;
}

// Colour-table entries the header declares, whether the picture uses them or not.
qint64 declaredPaletteEntries(const BitmapInfoHeader &h) {
    if (h.isCore())
        return h.biBitCount <= 8 ? qint64(1) << h.biBitCount : 0;
    if (h.biClrUsed != 0)
        return h.biClrUsed;
    return h.biBitCount <= 8 ? qint64(1) << h.biBitCount : 0;
}

// Entries worth reading: an indexed picture can't reach past 2^depth.
qint64 usefulPaletteEntries(const BitmapInfoHeader &h) {
    if (h.biBitCount > 8)
        return 0;
    return std::min(declaredPaletteEntries(h), qint64(1) << h.biBitCount);
}

// One colour channel taken out of a pixel by its mask and scaled to 0..255 by value, so a 5-bit
// 31 and a 6-bit 63 both become 255 (shifting would give 248 and 252).
class Channel {
public:
    Channel() = default;
    Channel(quint32 mask, quint8 absent)
        : mask_(mask)
        , absent_(absent) {
        if (mask == 0)
            return;
        while (((mask_ >> shift_) & 1u) == 0)
            ++shift_;
        max_ = mask_ >> shift_;
        if (max_ <= 0xFFFF) {
            table_.resize(qsizetype(max_) + 1);
            for (quint32 v = 0; v <= max_; ++v)
                table_[v] = scaled(v);
        }
    }

    quint32 mask() const { return mask_; }

    uchar from(quint32 pixel) const {
        if (mask_ == 0)
            return absent_;
        const quint32 v = (pixel & mask_) >> shift_;
        return table_.isEmpty() ? scaled(v) : table_[v];
    }

private:
    uchar scaled(quint32 v) const { return uchar((quint64(v) * 255 + max_ / 2) / max_); }

    quint32 mask_ = 0;
    quint8 absent_ = 0;
    int shift_ = 0;
    quint32 max_ = 0;
    QList<uchar> table_;
};

struct Layout {
    BitmapInfoHeader header;
    Encoding encoding = Encoding::Invalid;
    QList<QRgb> palette; // 2^depth entries for indexed pictures; missing ones are black
    Channel red, green, blue, alpha;
    bool hasAlpha = false; // the pixels carry alpha samples, believed unless all are zero
};

// Fills in the palette and masks from the bytes that follow the header: `table` starts with the
// masks of a 40-byte bitfields header, then the colour table, possibly cut short.
std::optional<QString> describe(Layout &layout, QByteArrayView table) {
    const BitmapInfoHeader &h = layout.header;
    layout.encoding = encodingOf(h);
    if (layout.encoding == Encoding::Invalid)
        return errors::corrupt();
    if (layout.encoding == Encoding::Unsupported)
        return errors::unsupported();

    const qint64 maskBytes = maskBytesAfterHeader(h);
    if (table.size() < maskBytes)
        return errors::truncated();

    if (h.biBitCount >= 1 && h.biBitCount <= 8) {
        const qint64 entrySize = paletteEntrySize(h);
        const qint64 present =
            std::min(usefulPaletteEntries(h), (qint64(table.size()) - maskBytes) / entrySize);
        layout.palette.fill(qRgb(0, 0, 0), qsizetype(1) << h.biBitCount);
        const char *entry = table.data() + maskBytes;
        for (qint64 i = 0; i < present; ++i, entry += entrySize)
            layout.palette[i] = qRgb(uchar(entry[2]), uchar(entry[1]), uchar(entry[0]));
    }

    if (layout.encoding == Encoding::Masked) {
        quint32 r = 0, g = 0, b = 0, a = 0;
        if (h.biCompression == BI_RGB) {
            if (h.biBitCount == 16) {
                r = 0x7C00, g = 0x03E0, b = 0x001F;
            } else {
                r = 0xFF0000, g = 0xFF00, b = 0xFF;
                // The spare byte of 32-bit pixels: alpha for some writers, unused for others.
                if (h.biBitCount == 32)
                    a = 0xFF000000;
            }
        } else if (maskBytes > 0) {
            r = le32(table.data()), g = le32(table.data() + 4), b = le32(table.data() + 8);
            if (maskBytes == 16)
                a = le32(table.data() + 12);
        } else {
            r = h.biRedMask, g = h.biGreenMask, b = h.biBlueMask;
            if (h.biSize >= 56)
                a = h.biAlphaMask;
        }
        const quint32 depthMask = h.biBitCount == 32 ? 0xFFFFFFFFu : (1u << h.biBitCount) - 1;
        r &= depthMask, g &= depthMask, b &= depthMask, a &= depthMask;
        if ((r | g | b) == 0)
            return errors::corrupt();
        layout.red = Channel(r, 0);
        layout.green = Channel(g, 0);
        layout.blue = Channel(b, 0);
        layout.alpha = Channel(a, 255);
        layout.hasAlpha = a != 0;
    } else if (layout.encoding == Encoding::Deep) {
        layout.hasAlpha = true;
    }
    return std::nullopt;
}

// 64-bit pixels hold linear-light samples as signed 2.13 fixed point; shown as 8-bit sRGB.
struct DeepTables {
    std::array<uchar, 8193> colour{};
    std::array<uchar, 8193> alpha{};

    DeepTables() {
        for (int v = 0; v <= 8192; ++v) {
            const double linear = v / 8192.0;
            const double encoded =
                linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
            colour[v] = uchar(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
            alpha[v] = uchar(std::lround(linear * 255));
        }
    }

    static int index(const char *sample) {
        return std::clamp<int>(qFromLittleEndian<qint16>(sample), 0, 8192);
    }
};

const DeepTables &deepTables() {
    static const DeepTables tables;
    return tables;
}

// Turns one stored row (its first `width` pixels) into 32-bit pixels.
void convertRow(const Layout &layout, const char *src, QRgb *dst, int width) {
    const int depth = layout.header.biBitCount;
    switch (layout.encoding) {
    case Encoding::Indexed: {
        const int perByte = 8 / depth;
        const uint mask = (1u << depth) - 1;
        for (int x = 0; x < width; ++x) {
            const uint byte = uchar(src[x / perByte]);
            const int shift = 8 - depth * (x % perByte + 1);
            dst[x] = layout.palette[(byte >> shift) & mask];
        }
        break;
    }
    case Encoding::Masked: {
        const int bytes = depth / 8;
        // Nearly every 24- and 32-bit bitmap keeps a byte a channel in blue, green, red order;
        // those need no masks, and large photographs are where the time goes.
        if (bytes >= 3 && layout.blue.mask() == 0xFFu && layout.green.mask() == 0xFF00u &&
            layout.red.mask() == 0xFF0000u &&
            (layout.alpha.mask() == 0 || (bytes == 4 && layout.alpha.mask() == 0xFF000000u))) {
            const bool alpha = layout.alpha.mask() != 0;
            const uchar fixedAlpha = layout.alpha.from(0);
            for (int x = 0; x < width; ++x, src += bytes)
                dst[x] = qRgba(uchar(src[2]), uchar(src[1]), uchar(src[0]),
                               alpha ? uchar(src[3]) : fixedAlpha);
            break;
        }
        for (int x = 0; x < width; ++x, src += bytes) {
            quint32 pixel = uchar(src[0]) | uint(uchar(src[1])) << 8;
            if (bytes > 2)
                pixel |= uint(uchar(src[2])) << 16;
            if (bytes > 3)
                pixel |= uint(uchar(src[3])) << 24;
            dst[x] = qRgba(layout.red.from(pixel), layout.green.from(pixel),
                           layout.blue.from(pixel), layout.alpha.from(pixel));
        }
        break;
    }
    case Encoding::Deep: {
        const DeepTables &t = deepTables();
        for (int x = 0; x < width; ++x, src += 8) {
            dst[x] =
                qRgba(t.colour[DeepTables::index(src + 4)], t.colour[DeepTables::index(src + 2)],
                      t.colour[DeepTables::index(src)], t.alpha[DeepTables::index(src + 6)]);
        }
        break;
    }
    default:
        break;
    }
}

// Settles alpha once the pixels are in: a picture whose every alpha sample is zero was written by
// a program that left the byte unused, and is shown opaque rather than invisible.
void finishAlpha(QImage &image) {
    if (image.format() != QImage::Format_ARGB32)
        return;
    bool anyAlpha = false;
    bool allOpaque = true;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(line[x]);
            anyAlpha |= a != 0;
            allOpaque &= a == 255;
        }
    }
    if (!anyAlpha) {
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xFF000000u;
        }
        allOpaque = true;
    }
    if (allOpaque)
        image.reinterpretAsFormat(QImage::Format_RGB32);
}

QSize target(QSize natural, QSize visible) {
    return visible.isEmpty() ? natural : visible.boundedTo(natural);
}

LoadResult decodeUncompressed(const Layout &layout, Source &source, qint64 dataStart,
                              QSize visible) {
    const BitmapInfoHeader &h = layout.header;
    const QSize natural = h.naturalSize();
    const QSize size = target(natural, visible);

    // Rows are padded to 4 bytes; biSizeImage is not trusted for this.
    qint64 bitsPerRow = 0;
    if (qMulOverflow<qint64>(natural.width(), h.biBitCount, &bitsPerRow))
        return LoadResult::failure(errors::tooLarge());
    const qint64 stride = (bitsPerRow + 31) / 32 * 4;
    const qint64 lastRowBytes = (bitsPerRow + 7) / 8;
    qint64 dataEnd = 0;
    if (qMulOverflow<qint64>(stride, natural.height() - 1, &dataEnd) ||
        qAddOverflow(dataEnd, lastRowBytes + dataStart, &dataEnd))
        return LoadResult::failure(errors::tooLarge());
    // All rows must be there, whichever part is shown, so a cut-off file is refused the same
    // way at every size.
    if (const auto available = source.size(); available && *available < dataEnd)
        return LoadResult::failure(errors::truncated());

    auto image =
        allocateImage(size, layout.hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!image)
        return LoadResult::failure(errors::tooLarge());

    const qint64 rowBytes = (qint64(size.width()) * h.biBitCount + 7) / 8;
    QByteArray row(rowBytes, Qt::Uninitialized);
    // Rows are visited in file order so the device only ever moves forward.
    const int firstFileRow = h.isTopDown() ? 0 : natural.height() - size.height();
    for (int i = 0; i < size.height(); ++i) {
        const int fileRow = firstFileRow + i;
        const int y = h.isTopDown() ? fileRow : natural.height() - 1 - fileRow;
        if (!source.advanceTo(dataStart + fileRow * stride) || !source.read(row.data(), rowBytes))
            return LoadResult::failure(errors::truncated());
        convertRow(layout, row.constData(), reinterpret_cast<QRgb *>(image->scanLine(y)),
                   size.width());
    }
    finishAlpha(*image);
    return {Picture{*image, natural, Format::Bmp}, {}};
}

// Run-length streams: pairs of (count, colour), or an escape (0, code) for end of line, end of
// bitmap, a jump, or a literal run. Runs that overshoot their row by a little are common (writers
// round rows up) and are clipped; a jump past the row's end, or data that carries on past the last
// row, means the writer lost count, and is refused rather than shown scrambled. Pixels never
// reached stay transparent.
LoadResult decodeRle(const Layout &layout, Source &source, qint64 dataStart, QSize visible) {
    const QSize natural = layout.header.naturalSize();
    const QSize size = target(natural, visible);
    if (!source.advanceTo(dataStart))
        return LoadResult::failure(errors::truncated());
    auto image = allocateImage(size, QImage::Format_ARGB32);
    if (!image)
        return LoadResult::failure(errors::tooLarge());
    image->fill(Qt::transparent);

    const qint64 width = natural.width();
    const qint64 height = natural.height();
    const bool topDown = layout.header.isTopDown();
    qint64 x = 0;
    qint64 row = 0; // in stored order: from the bottom unless the picture is top-down
    ByteStream in(source);

    // Counted rather than found by scanning afterwards: a short stream may describe a huge,
    // mostly empty picture, and the work must follow the stream, not the picture.
    qint64 defined = 0;
    // Writes the pixel at x (if it is in the part being decoded) and moves right.
    auto put = [&](QRgb colour) {
        const qint64 y = topDown ? row : height - 1 - row;
        if (x < size.width() && y < size.height()) {
            reinterpret_cast<QRgb *>(image->scanLine(int(y)))[x] = colour;
            ++defined;
        }
        x = std::min(x + 1, width);
    };
    auto colour24 = [&](QRgb &colour) {
        uchar b, g, r;
        if (!in.next(b) || !in.next(g) || !in.next(r))
            return false;
        colour = qRgb(r, g, b);
        return true;
    };

    // Top-down streams (rare, but written) are done once the rows being shown are.
    const qint64 rowsNeeded = topDown ? size.height() : height;
    bool ended = false;
    while (row < rowsNeeded) {
        uchar count, code;
        if (!in.next(count) || !in.next(code))
            return LoadResult::failure(errors::truncated());
        if (count > 0) {
            // A run of one colour, or for RLE4 of two colours taking turns.
            QRgb colours[2];
            if (layout.encoding == Encoding::Rle24) {
                uchar green, red;
                if (!in.next(green) || !in.next(red))
                    return LoadResult::failure(errors::truncated());
                colours[0] = colours[1] = qRgb(red, green, code);
            } else if (layout.encoding == Encoding::Rle8) {
                colours[0] = colours[1] = layout.palette[code];
            } else {
                colours[0] = layout.palette[code >> 4];
                colours[1] = layout.palette[code & 15];
            }
            const qint64 length = std::min<qint64>(count, width - x);
            for (qint64 i = 0; i < length; ++i)
                put(colours[i & 1]);
            continue;
        }
        if (code == 0) { // end of line
            x = 0;
            ++row;
        } else if (code == 1) { // end of bitmap
            ended = true;
            break;
        } else if (code == 2) { // jump right and up
            uchar dx, dy;
            if (!in.next(dx) || !in.next(dy))
                return LoadResult::failure(errors::truncated());
            x += dx;
            row += dy;
            if (x > width)
                return LoadResult::failure(errors::corrupt());
        } else { // literal run of `code` pixels, padded to a 16-bit boundary
            qint64 stored = 0;
            if (layout.encoding == Encoding::Rle24) {
                for (int i = 0; i < code; ++i) {
                    QRgb colour;
                    if (!colour24(colour))
                        return LoadResult::failure(errors::truncated());
                    if (x < width)
                        put(colour);
                }
                stored = qint64(code) * 3;
            } else if (layout.encoding == Encoding::Rle8) {
                for (int i = 0; i < code; ++i) {
                    uchar index;
                    if (!in.next(index))
                        return LoadResult::failure(errors::truncated());
                    if (x < width)
                        put(layout.palette[index]);
                }
                stored = code;
            } else {
                stored = (code + 1) / 2;
                for (int i = 0; i < stored; ++i) {
                    uchar pair;
                    if (!in.next(pair))
                        return LoadResult::failure(errors::truncated());
                    if (x < width)
                        put(layout.palette[pair >> 4]);
                    if (x < width && 2 * i + 1 < code)
                        put(layout.palette[pair & 15]);
                }
            }
            if ((stored & 1) && !in.skip(1))
                return LoadResult::failure(errors::truncated());
        }
    }
    if (!ended && row >= height) {
        uchar count, code;
        if (in.next(count) && in.next(code) && (count != 0 || code != 1))
            return LoadResult::failure(errors::corrupt());
    }
    if (defined == qint64(size.width()) * size.height())
        image->reinterpretAsFormat(QImage::Format_RGB32);
    return {Picture{*image, natural, Format::Bmp}, {}};
}

// A JPEG or PNG carried whole inside the bitmap, meant for printers; Qt's own readers decode it.
LoadResult decodeEmbedded(const Layout &layout, Source &source, qint64 dataStart, QSize visible) {
    const BitmapInfoHeader &h = layout.header;
    if (!source.advanceTo(dataStart))
        return LoadResult::failure(errors::truncated());
    // The embedded stream's length is biSizeImage, or everything that follows when it is 0.
    qint64 length = h.biSizeImage;
    QByteArray bytes;
    if (const auto available = source.size()) {
        const qint64 rest = *available - dataStart;
        if (length > rest)
            return LoadResult::failure(errors::truncated());
        bytes = source.read(length == 0 ? rest : length);
    } else if (length > 0) {
        bytes = source.read(length);
    } else {
        constexpr qint64 Limit = qint64(1) << 28;
        char chunk[65536];
        while (qint64 got = source.readSome(chunk, sizeof chunk)) {
            bytes.append(chunk, got);
            if (bytes.size() > Limit)
                return LoadResult::failure(errors::tooLarge());
        }
    }
    if (bytes.isEmpty())
        return LoadResult::failure(errors::truncated());

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = layout.encoding == Encoding::Jpeg ? "jpeg" : "png";
    if (!QImageReader::supportedImageFormats().contains(format))
        return LoadResult::failure(errors::unsupported());
    QImageReader reader(&buffer, format);
    if (!reader.canRead())
        return LoadResult::failure(errors::corrupt());
    const QSize natural = reader.size();
    if (natural.isEmpty())
        return LoadResult::failure(errors::corrupt());
    if (qint64(natural.width()) * natural.height() > MaxPixels)
        return LoadResult::failure(errors::tooLarge());
    QImage image;
    if (!reader.read(&image))
        return LoadResult::failure(errors::corrupt());
    const QSize full = image.size();
    const QSize size = target(full, visible);
    image = image.copy(QRect(QPoint(0, 0), size))
                .convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
    return {Picture{image, full, Format::Bmp}, {}};
}

LoadResult decode(const Layout &layout, Source &source, qint64 dataStart, QSize visible) {
    const QSize natural = layout.header.naturalSize();
    if (qint64(natural.width()) * natural.height() > MaxPixels)
        return LoadResult::failure(errors::tooLarge());
    switch (layout.encoding) {
    case Encoding::Indexed:
    case Encoding::Masked:
    case Encoding::Deep:
        return decodeUncompressed(layout, source, dataStart, visible);
    case Encoding::Rle4:
    case Encoding::Rle8:
    case Encoding::Rle24:
        return decodeRle(layout, source, dataStart, visible);
    case Encoding::Jpeg:
    case Encoding::Png:
        return decodeEmbedded(layout, source, dataStart, visible);
    default:
        return LoadResult::failure(errors::unsupported());
    }
}

// The info header's size and, once known, the whole header.
std::optional<BitmapInfoHeader> readHeader(Source &source, QString &error) {
    char sizeBytes[4];
    if (!source.read(sizeBytes, 4)) {
        error = errors::truncated();
        return std::nullopt;
    }
    const quint32 headerSize = le32(sizeBytes);
    if (!BitmapInfoHeader::isKnownSize(headerSize)) {
        error = errors::corrupt();
        return std::nullopt;
    }
    QByteArray bytes(sizeBytes, 4);
    bytes += source.read(headerSize - 4);
    const auto header = BitmapInfoHeader::parse(bytes);
    if (!header) {
        error = errors::truncated();
        return std::nullopt;
    }
    if (!header->isValid()) {
        error = errors::corrupt();
        return std::nullopt;
    }
    return header;
}

// A profile larger than this is no matrix profile, the only kind we convert by.
constexpr quint32 MaxProfileSize = 16 << 20;

// Converts the decoded pixels to sRGB when the header points at an ICC profile stored in the
// file (usually after the pixels; for a stream, only there). A profile that isn't there, or
// that can't be used, leaves the pixels as sRGB.
void applyEmbeddedProfile(Picture &picture, const BitmapInfoHeader &h, Source &source,
                          qint64 headerStart) {
    if (h.bV5CSType != PROFILE_EMBEDDED || h.bV5ProfileSize == 0 ||
        h.bV5ProfileSize > MaxProfileSize)
        return;
    const qint64 start = headerStart + h.bV5ProfileData;
    if (const auto available = source.size(); available && start + h.bV5ProfileSize > *available)
        return;
    if (!source.advanceTo(start))
        return;
    const QByteArray profile = source.read(h.bV5ProfileSize);
    convertToSrgb(picture.image, profile);
}

bool isPlausibleDib(QByteArrayView bytes) {
    if (bytes.size() < 16)
        return false;
    const quint32 size = le32(bytes.data());
    if (!BitmapInfoHeader::isKnownSize(size))
        return false;
    const char *planes = bytes.data() + (size == CoreHeaderSize ? 8 : 12);
    const quint16 depth = le16(planes + 2);
    return le16(planes) == 1 && (depth <= 2 || depth == 4 || depth == 8 || depth == 16 ||
                                 depth == 24 || depth == 32 || depth == 64);
}

} // namespace

bool BitmapInfoHeader::isKnownSize(quint32 size) {
    switch (size) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

std::optional<BitmapInfoHeader> BitmapInfoHeader::parse(QByteArrayView bytes) {
    if (bytes.size() < 4)
        return std::nullopt;
    const char *p = bytes.data();
    BitmapInfoHeader h;
    h.biSize = le32(p);
    if (!isKnownSize(h.biSize) || bytes.size() < qsizetype(h.biSize))
        return std::nullopt;
    if (h.biSize == CoreHeaderSize) {
        h.biWidth = le16(p + 4);
        h.biHeight = le16(p + 6);
        h.biPlanes = le16(p + 8);
        h.biBitCount = le16(p + 10);
        return h;
    }
    h.biWidth = qint32(le32(p + 4));
    h.biHeight = qint32(le32(p + 8));
    h.biPlanes = le16(p + 12);
    h.biBitCount = le16(p + 14);
    if (h.biSize == 16)
        return h;
    h.biCompression = le32(p + 16);
    h.biSizeImage = le32(p + 20);
    h.biXPelsPerMeter = qint32(le32(p + 24));
    h.biYPelsPerMeter = qint32(le32(p + 28));
    h.biClrUsed = le32(p + 32);
    h.biClrImportant = le32(p + 36);
    if (h.biSize >= 52 && h.biSize != 64) {
        h.biRedMask = le32(p + 40);
        h.biGreenMask = le32(p + 44);
        h.biBlueMask = le32(p + 48);
    }
    if (h.biSize >= 56 && h.biSize != 64)
        h.biAlphaMask = le32(p + 52);
    if (h.biSize >= 124) {
        h.bV5CSType = le32(p + 56);
        h.bV5ProfileData = le32(p + 112);
        h.bV5ProfileSize = le32(p + 116);
    }
    return h;
}

bool BitmapInfoHeader::isValid() const {
    if (!isKnownSize(biSize) || biPlanes != 1)
        return false;
    switch (biBitCount) {
    case 0: // only for an embedded JPEG or PNG
        if (biCompression != BI_JPEG && biCompression != BI_PNG)
            return false;
        break;
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
    case 64:
        break;
    default:
        return false;
    }
    return biWidth > 0 && biHeight != 0 && biHeight != std::numeric_limits<qint32>::min();
}

QSize BitmapInfoHeader::naturalSize() const {
    if (biWidth <= 0 || biHeight == 0 || biHeight == std::numeric_limits<qint32>::min())
        return {};
    return {biWidth, biHeight < 0 ? -biHeight : biHeight};
}

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(64);
    if (head.startsWith("BM"))
        return true;
    if (head.startsWith("BA"))
        return head.mid(BitmapFileHeader::Size).startsWith("BM");
    return isPlausibleDib(head);
}

LoadResult read(QIODevice &device, QSize visible) {
    Source source(device);
    const QByteArray head = device.peek(2);
    if (head.isEmpty())
        return LoadResult::failure(errors::empty());

    std::optional<BitmapFileHeader> fileHeader;
    if (head == "BA") {
        // An OS/2 bitmap array: the first entry's file header follows the array header, and its
        // offsets count from the start of the array.
        if (!source.advanceTo(BitmapFileHeader::Size))
            return LoadResult::failure(errors::truncated());
    }
    if (head == "BM" || head == "BA") {
        char bytes[BitmapFileHeader::Size];
        if (!source.read(bytes, BitmapFileHeader::Size))
            return LoadResult::failure(errors::truncated());
        if (bytes[0] != 'B' || bytes[1] != 'M')
            return LoadResult::failure(errors::unsupported());
        fileHeader = BitmapFileHeader{le16(bytes), le32(bytes + 2), le16(bytes + 6),
                                      le16(bytes + 8), le32(bytes + 10)};
    } else if (!isPlausibleDib(device.peek(64))) {
        return LoadResult::failure(errors::unsupported());
    }

    QString error;
    Layout layout;
    const auto header = readHeader(source, error);
    if (!header)
        return LoadResult::failure(error);
    layout.header = *header;

    const qint64 tableStart = source.position();
    const qint64 maskBytes = maskBytesAfterHeader(*header);
    const qint64 entrySize = paletteEntrySize(*header);
    const qint64 declaredTable = maskBytes + declaredPaletteEntries(*header) * entrySize;
    qint64 tableBytes = maskBytes + usefulPaletteEntries(*header) * entrySize;
    qint64 dataStart = 0;
    if (fileHeader) {
        dataStart = fileHeader->bfOffBits;
        if (dataStart < tableStart)
            return LoadResult::failure(errors::corrupt());
        const qint64 depthEntries = header->biBitCount >= 1 && header->biBitCount <= 8
                                        ? qint64(1) << header->biBitCount
                                        : 0;
        // Some writers leave the masks after a 40-byte header out of the offset; the pixels
        // then follow the masks, and the colour table a direct-colour picture may carry (it
        // needs none) when the offset leaves no room for that either.
        if (dataStart < tableStart + maskBytes)
            dataStart = tableStart + (depthEntries > 0 ? declaredTable : maskBytes);
        if (const auto available = source.size(); available && dataStart > *available)
            return LoadResult::failure(errors::corrupt());
        // A colour count beyond what an indexed depth can use, whose table would run past the
        // pixels' start, is a broken header rather than an oversized table. For 16, 24 and 32
        // bits the table is only a hint for few-colour displays: where it doesn't fit, some
        // writers counted colours they never stored, and the pixels are where the offset says.
        if (depthEntries > 0 && header->biClrUsed > depthEntries &&
            tableStart + declaredTable > dataStart)
            return LoadResult::failure(errors::corrupt());
        // Pixels said to start where the colour table should be leave an indexed picture with
        // no colours at all.
        if (depthEntries > 0 && dataStart - tableStart - maskBytes < entrySize)
            return LoadResult::failure(errors::corrupt());
        // The pixels may start before the declared table ends; the table is what fits.
        tableBytes = std::min(tableBytes, dataStart - tableStart);
    } else {
        dataStart = tableStart + declaredTable;
    }

    const QByteArray table = source.read(tableBytes);
    if (table.size() != tableBytes)
        return LoadResult::failure(errors::truncated());
    if (const auto why = describe(layout, table))
        return LoadResult::failure(*why);
    LoadResult result = decode(layout, source, dataStart, visible);
    if (result.ok())
        applyEmbeddedProfile(*result.picture, *header, source, tableStart - header->biSize);
    return result;
}

LoadResult readDib(QByteArrayView info, QIODevice &bits, QSize visible) {
    const auto header = BitmapInfoHeader::parse(info);
    if (!header)
        return LoadResult::failure(info.size() < 4 ? errors::truncated() : errors::corrupt());
    if (!header->isValid())
        return LoadResult::failure(errors::corrupt());
    Layout layout;
    layout.header = *header;
    if (const auto why = describe(layout, info.sliced(header->biSize)))
        return LoadResult::failure(*why);
    Source source(bits);
    return decode(layout, source, 0, visible);
}

} // namespace picture::bmp
