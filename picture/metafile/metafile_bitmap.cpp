#include "picture/metafile/metafile_bitmap.h"

#include "picture/byte_reader.h"
#include "picture/dib.h"
#include "picture/image_allocation.h"
#include "picture/metafile/metafile_canvas.h"
#include "picture/picture.h"

#include <QByteArray>

namespace picture::metafile_bitmap {

namespace {

struct TableLayout {
    qsizetype headerSize = 0;
    qsizetype tableOffset = 0; // where the colour table starts
    qsizetype entries = 0;
    qsizetype entrySize = 4;
    qsizetype infoSize = 0; // header, masks and table
    int bitCount = 0;
};

// Where the colour table lies and how long the header part is, or nothing when the header is
// not one we know or claims more than there is.
std::optional<TableLayout> layoutOf(QByteArrayView info, quint32 usage) {
    ByteReader r(info);
    TableLayout layout;
    layout.headerSize = r.u32();
    if (!r.ok())
        return std::nullopt;
    quint16 bitCount = 0;
    quint32 compression = 0, colorsUsed = 0;
    if (layout.headerSize == 12) {
        r.skip(6);
        bitCount = r.u16();
        layout.entrySize = 3;
    } else if (layout.headerSize >= 16 && layout.headerSize <= 1024) {
        r.seek(14);
        bitCount = r.u16();
        if (layout.headerSize >= 20)
            compression = r.u32();
        if (layout.headerSize >= 36) {
            r.seek(32);
            colorsUsed = r.u32();
        }
    } else {
        return std::nullopt;
    }
    if (!r.ok())
        return std::nullopt;
    layout.bitCount = bitCount;
    layout.tableOffset = layout.headerSize;
    if (layout.headerSize == 40 && compression == 3)
        layout.tableOffset += 12;
    else if (layout.headerSize == 40 && compression == 6)
        layout.tableOffset += 16;
    if (colorsUsed > 0 && bitCount <= 8)
        layout.entries = std::min<qsizetype>(colorsUsed, qsizetype(1) << bitCount);
    else if (colorsUsed > 0)
        layout.entries = std::min<quint32>(colorsUsed, 65536);
    else if (bitCount <= 8)
        layout.entries = qsizetype(1) << bitCount;
    if (usage == PaletteColors)
        layout.entrySize = 2;
    layout.infoSize = layout.tableOffset + layout.entries * layout.entrySize;
    return layout;
}

// Colour tables of palette indices become colours from the selected palette, or greys when
// there is none, so the DIB decoder sees an ordinary table.
QByteArray withRgbTable(QByteArrayView info, const TableLayout &layout,
                        const MetafilePalette &palette) {
    QByteArray out(info.first(layout.tableOffset).toByteArray());
    ByteReader r(info.sliced(layout.tableOffset));
    const qsizetype entrySize = layout.headerSize == 12 ? 3 : 4;
    for (qsizetype i = 0; i < layout.entries; ++i) {
        const quint16 index = r.u16();
        QRgb c;
        if (!palette.colors.isEmpty())
            c = palette.colors[index % palette.colors.size()];
        else
            c = qRgb(index & 0xff, index & 0xff, index & 0xff);
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        if (entrySize == 4)
            out.append(char(0));
    }
    return out;
}

} // namespace

QImage decode(QByteArrayView info, QByteArrayView bits, quint32 usage,
              const MetafilePalette &palette) {
    const auto layout = layoutOf(info, usage);
    if (!layout || layout->infoSize > info.size())
        return {};
    if (usage == PaletteColors && layout->entries > 0)
        return decodeDib(withRgbTable(info, *layout, palette), bits);
    return decodeDib(info.first(layout->infoSize), bits);
}

QImage decodePacked(QByteArrayView packed, quint32 usage, const MetafilePalette &palette) {
    const auto layout = layoutOf(packed, usage);
    if (!layout || layout->infoSize > packed.size())
        return {};
    return decode(packed.first(layout->infoSize), packed.sliced(layout->infoSize), usage, palette);
}

QImage decodeMonochrome(QByteArrayView info, QByteArrayView bits) {
    const auto layout = layoutOf(info, RgbColors);
    if (!layout || layout->bitCount != 1 || layout->tableOffset > info.size())
        return {};
    // Whatever table the bitmap has (or has no room for), clear bits are black and set ones white
    // here; the brush puts its colours in their place.
    QByteArray blackAndWhite = info.first(layout->tableOffset).toByteArray();
    for (qsizetype i = 0; i < layout->entries; ++i)
        blackAndWhite.append(QByteArray(layout->entrySize, i == 0 ? '\0' : '\xff'));
    const QImage image = decodeDib(blackAndWhite, bits);
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_Mono, {qRgb(0, 0, 0), qRgb(255, 255, 255)},
                                 Qt::ThresholdDither);
}

QImage decodePackedMonochrome(QByteArrayView packed, quint32 usage) {
    const auto layout = layoutOf(packed, RgbColors);
    if (!layout || layout->bitCount != 1 || layout->tableOffset > packed.size())
        return {};
    ByteReader r(packed);
    r.u32();
    const qint64 width = layout->headerSize == 12 ? r.u16() : r.i32();
    const qint64 height = layout->headerSize == 12 ? r.i16() : r.i32();
    const qint64 bitsSize = (width + 31) / 32 * 4 * std::abs(height);
    const bool noTable =
        usage == PaletteIndices ||
        packed.size() - layout->tableOffset < bitsSize + layout->entries * layout->entrySize;
    if (!r.ok() || !noTable)
        return {};
    return decodeMonochrome(packed.first(layout->tableOffset), packed.sliced(layout->tableOffset));
}

QImage decodeWithAlpha(QByteArrayView info, QByteArrayView bits) {
    ByteReader r(info);
    const quint32 headerSize = r.u32();
    const qint32 width = r.i32();
    const qint32 height = r.i32();
    r.u16();
    const quint16 bitCount = r.u16();
    const quint32 compression = r.u32();
    // Colour masks (after a plain header, inside a longer one) may state the usual byte order.
    bool usualOrder = compression == 0;
    if (compression == 3 || compression == 6) {
        ByteReader masks(info);
        masks.seek(40);
        usualOrder = masks.u32() == 0x00ff0000 && masks.u32() == 0x0000ff00 &&
                     masks.u32() == 0x000000ff && masks.ok();
    }
    if (!r.ok() || headerSize < 40 || bitCount != 32 || !usualOrder || width <= 0 || height == 0 ||
        height == std::numeric_limits<qint32>::min())
        return decode(info, bits, RgbColors, MetafilePalette{});
    const qint32 rows = height < 0 ? -height : height;
    if (qint64(width) * rows > MaxPixels || qint64(width) * 4 * rows > bits.size())
        return {};
    auto image = allocateImage(QSize(width, rows), QImage::Format_ARGB32_Premultiplied);
    if (!image)
        return {};
    for (qint32 y = 0; y < rows; ++y) {
        const qint32 row = height < 0 ? y : rows - 1 - y;
        const auto *src = reinterpret_cast<const uchar *>(bits.data()) + qint64(y) * width * 4;
        auto *dst = reinterpret_cast<QRgb *>(image->scanLine(row));
        for (qint32 x = 0; x < width; ++x) {
            const uchar b = src[4 * x], g = src[4 * x + 1], rd = src[4 * x + 2], a = src[4 * x + 3];
            // Premultiplied components never exceed alpha; clamp what a file gets wrong.
            dst[x] = qRgba(std::min(rd, a), std::min(g, a), std::min(b, a), a);
        }
    }
    return *image;
}

QImage decodeBitmap16(QByteArrayView bitmap) {
    ByteReader r(bitmap);
    r.i16();
    const qint16 width = r.i16();
    const qint16 height = r.i16();
    const qint16 widthBytes = r.i16();
    const quint8 planes = r.u8();
    const quint8 bitsPixel = r.u8();
    if (!r.ok() || width <= 0 || height <= 0 || widthBytes <= 0 || planes != 1)
        return {};
    if (bitsPixel != 1 && bitsPixel != 24 && bitsPixel != 32)
        return {};
    if (qint64(width) * bitsPixel > qint64(widthBytes) * 8)
        return {};
    const QByteArrayView bits = bitmap.sliced(10);
    if (qint64(widthBytes) * height > bits.size())
        return {};
    auto image = allocateImage(QSize(width, height),
                               bitsPixel == 1 ? QImage::Format_Mono : QImage::Format_RGB32);
    if (!image)
        return {};
    if (bitsPixel == 1)
        image->setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const uchar *>(bits.data()) + qint64(y) * widthBytes;
        if (bitsPixel == 1) {
            std::memcpy(image->scanLine(y), src, size_t((width + 7) / 8));
            continue;
        }
        auto *dst = reinterpret_cast<QRgb *>(image->scanLine(y));
        const int step = bitsPixel / 8;
        for (int x = 0; x < width; ++x)
            dst[x] = qRgb(src[x * step + 2], src[x * step + 1], src[x * step]);
    }
    return *image;
}

} // namespace picture::metafile_bitmap
