#include "picture/icon_decoder.h"

#include "picture/picture_errors.h"
#include "picture/qt_image_reader.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

namespace picture::icon {

namespace {

constexpr int dirHeaderSize = 6;
constexpr int dirEntrySize = 16;
constexpr int infoHeaderSize = 40;
constexpr int preferredSide = 32;

struct DirEntry {
    int width = 0; // 0 in the file means 256
    int height = 0;
    quint32 bytesInRes = 0;
    quint32 imageOffset = 0;
    int depth = 0; // bits per pixel, from the entry's own header
};

// The bitmap header of one entry, with the format's own field names.
struct BitmapInfoHeader {
    quint32 biSize = 0;
    qint32 biWidth = 0;
    qint32 biHeight = 0;
    quint16 biBitCount = 0;
    quint32 biCompression = 0;
    quint32 biClrUsed = 0;

    static BitmapInfoHeader parse(const char *p) {
        BitmapInfoHeader h;
        h.biSize = qFromLittleEndian<quint32>(p);
        h.biWidth = qFromLittleEndian<qint32>(p + 4);
        h.biHeight = qFromLittleEndian<qint32>(p + 8);
        h.biBitCount = qFromLittleEndian<quint16>(p + 14);
        h.biCompression = qFromLittleEndian<quint32>(p + 16);
        h.biClrUsed = qFromLittleEndian<quint32>(p + 32);
        return h;
    }
};

const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);

quint16 word(const QByteArray &bytes, int at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}
quint32 dword(const QByteArray &bytes, int at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Fills in the bits per pixel as the entry's own data says: the directory's count is often 0,
// and in a cursor that field holds the hot spot instead. A PNG entry's size comes from the PNG
// too, since directories are known to give 256 (0) for every PNG whatever its size.
void readEntryHeader(QIODevice &device, qint64 start, DirEntry &entry) {
    if (!device.seek(start + entry.imageOffset))
        return;
    const QByteArray head = device.read(32);
    if (head.startsWith(pngSignature) && head.size() >= 26) {
        const quint32 width = qFromBigEndian<quint32>(head.constData() + 16);
        const quint32 height = qFromBigEndian<quint32>(head.constData() + 20);
        if (width > 0 && width <= 256 && height > 0 && height <= 256) {
            entry.width = int(width);
            entry.height = int(height);
        }
        const int bitDepth = quint8(head[24]);
        static constexpr int channels[] = {1, 0, 3, 1, 2, 0, 4};
        const int colourType = quint8(head[25]);
        entry.depth = colourType < 7 ? bitDepth * channels[colourType] : 0;
    } else if (head.size() >= 16) {
        entry.depth = word(head, 14);
    }
}

int distanceFromPreferred(const DirEntry &entry) {
    return std::abs(entry.width - preferredSide) + std::abs(entry.height - preferredSide);
}

// Closest to 32 x 32 first, then the most colours, then the first in the file.
const DirEntry &choose(const std::vector<DirEntry> &entries) {
    const DirEntry *best = &entries.front();
    for (const DirEntry &entry : entries) {
        const int d = distanceFromPreferred(entry);
        const int bestD = distanceFromPreferred(*best);
        if (d < bestD || (d == bestD && entry.depth > best->depth))
            best = &entry;
    }
    return *best;
}

// Where the entry's data ends. A size too small to hold even a bitmap header was never filled
// in (some cursor makers leave it so) and the data runs to the end of the file; any other size
// must fit in the file.
std::optional<qint64> entryEnd(const DirEntry &entry, qint64 fileSize) {
    if (entry.imageOffset >= fileSize)
        return std::nullopt;
    if (entry.bytesInRes < infoHeaderSize)
        return fileSize;
    const qint64 end = qint64(entry.imageOffset) + entry.bytesInRes;
    if (end > fileSize)
        return std::nullopt;
    return end;
}

qint64 stride(qint64 width, int bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// Copies rows, turning a top-down bitmap into the bottom-up order icons use.
void appendRows(QByteArray &out, const char *rows, qint64 rowBytes, int count, bool topDown) {
    for (int i = 0; i < count; ++i) {
        const int row = topDown ? count - 1 - i : i;
        out.append(rows + row * rowBytes, rowBytes);
    }
}

// Icon rows whose AND-mask bit is set are see-through; Qt leaves the mask unused for 24- and
// 32-bit entries, which old icons rely on for their transparency.
void applyMask(QImage &image, const QByteArray &mask, qint64 maskStride) {
    image.convertTo(QImage::Format_ARGB32);
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *bits =
            reinterpret_cast<const quint8 *>(mask.constData() + (height - 1 - y) * maskStride);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (bits[x / 8] & (0x80 >> (x % 8)))
                line[x] = 0;
    }
}

// One entry as a plain one-entry icon file: 40-byte header, colour table only for indexed
// bits, bottom-up rows, then the mask. This is the layout Qt's icon reader reads correctly.
QByteArray plainIcon(QSize size, int bpp, QByteArrayView colourTable, const QByteArray &colourRows,
                     const QByteArray &mask) {
    QByteArray icon;
    const auto putWord = [&icon](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        icon.append(b, 2);
    };
    const auto putDword = [&icon](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        icon.append(b, 4);
    };
    const qsizetype imageBytes =
        infoHeaderSize + colourTable.size() + colourRows.size() + mask.size();
    icon.reserve(dirHeaderSize + dirEntrySize + imageBytes);
    putWord(0); // reserved
    putWord(1); // icon
    putWord(1); // one entry
    icon.append(char(size.width() & 0xFF)).append(char(size.height() & 0xFF));
    icon.append('\0').append('\0'); // colour count, reserved
    putWord(1);
    putWord(quint16(bpp));
    putDword(quint32(imageBytes));
    putDword(dirHeaderSize + dirEntrySize);

    putDword(infoHeaderSize);
    putDword(quint32(size.width()));
    putDword(quint32(2 * size.height()));
    putWord(1);
    putWord(quint16(bpp));
    putDword(0); // compression
    putDword(0); // image size
    putDword(0); // horizontal resolution
    putDword(0); // vertical resolution
    putDword(quint32(colourTable.size() / 4));
    putDword(0); // important colours
    icon.append(colourTable.data(), colourTable.size());
    icon.append(colourRows);
    icon.append(mask);
    return icon;
}

// Decodes a bitmap entry. The header is checked against the directory and the data it needs
// against what the file holds; then the entry goes to Qt's icon reader laid out plainly, since
// it misreads larger headers, top-down rows and colour tables before true-colour bits.
LoadResult readBitmapEntry(const QByteArray &data, const DirEntry &entry, Format format) {
    if (data.size() < infoHeaderSize)
        return LoadResult::failure(errors::truncated());
    const BitmapInfoHeader header = BitmapInfoHeader::parse(data.constData());
    const int bpp = header.biBitCount;
    if (header.biSize < infoHeaderSize || header.biSize > quint32(data.size()))
        return LoadResult::failure(errors::corrupt());
    if (header.biCompression != 0)
        return LoadResult::failure(header.biCompression == 3 ? errors::unsupported()
                                                             : errors::corrupt());
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        return LoadResult::failure(bpp == 16 ? errors::unsupported() : errors::corrupt());

    const QSize size(entry.width, entry.height);
    if (header.biWidth != size.width() || header.biHeight == std::numeric_limits<qint32>::min())
        return LoadResult::failure(errors::corrupt());
    const bool topDown = header.biHeight < 0;
    const qint64 storedHeight = std::abs(qint64(header.biHeight));
    // The stored height counts the colour rows and the mask rows; some writers count only the
    // colour rows.
    if (storedHeight != 2 * size.height() && storedHeight != size.height())
        return LoadResult::failure(errors::corrupt());

    qint64 colours = header.biClrUsed;
    if (bpp <= 8) {
        if (colours == 0)
            colours = qint64(1) << bpp;
        else if (colours > (qint64(1) << bpp))
            return LoadResult::failure(errors::corrupt());
    } else if (colours > 256) {
        return LoadResult::failure(errors::corrupt());
    }
    const qint64 xorStride = stride(size.width(), bpp);
    const qint64 maskStride = stride(size.width(), 1);
    const qint64 xorStart = header.biSize + 4 * colours;
    const qint64 maskStart = xorStart + xorStride * size.height();
    if (maskStart > data.size())
        return LoadResult::failure(errors::truncated());
    const bool hasMask = maskStart + maskStride * size.height() <= data.size();
    // Only 32-bit entries carry their transparency without the mask.
    if (!hasMask && bpp != 32)
        return LoadResult::failure(errors::truncated());

    QByteArray colourRows;
    appendRows(colourRows, data.constData() + xorStart, xorStride, size.height(), topDown);
    QByteArray mask;
    if (hasMask)
        appendRows(mask, data.constData() + maskStart, maskStride, size.height(), topDown);
    else
        mask.fill('\0', maskStride * size.height());

    // Older 32-bit icons leave every alpha byte 0 and draw their shape with the mask alone;
    // taken at its word such an icon would vanish.
    bool alphaUnused = bpp == 32;
    for (qsizetype i = 3; alphaUnused && i < colourRows.size(); i += 4)
        alphaUnused = colourRows[i] == 0;
    for (qsizetype i = 3; alphaUnused && i < colourRows.size(); i += 4)
        colourRows[i] = char(0xFF);

    const QByteArrayView colourTable =
        bpp <= 8 ? QByteArrayView(data).sliced(header.biSize, 4 * colours) : QByteArrayView();
    QByteArray icon = plainIcon(size, bpp, colourTable, colourRows, mask);
    QBuffer buffer(&icon);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    reader.setAutoDetectImageFormat(false);
    QImage image;
    if (!reader.read(&image) || image.size() != size)
        return LoadResult::failure(errors::corrupt());
    if (bpp == 24 || alphaUnused)
        applyMask(image, mask, maskStride);
    if (image.hasAlphaChannel())
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return {Picture{std::move(image), size, format}, {}};
}

} // namespace

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(dirHeaderSize);
    if (head.size() < dirHeaderSize)
        return false;
    const int type = word(head, 2);
    const int count = word(head, 4);
    if (word(head, 0) != 0 || (type != 1 && type != 2) || count == 0)
        return false;
    return device.isSequential() ||
           dirHeaderSize + qint64(count) * dirEntrySize <= device.size() - device.pos();
}

// Offsets in the directory count from the start of the icon file, which is where the device
// stands when we are called.
LoadResult read(QIODevice &device, QSize) {
    const qint64 start = device.pos();
    const QByteArray head = device.read(dirHeaderSize);
    if (head.size() < dirHeaderSize)
        return LoadResult::failure(errors::truncated());
    const Format format = word(head, 2) == 2 ? Format::Cursor : Format::Icon;
    const int count = word(head, 4);
    if (count == 0)
        return LoadResult::failure(errors::corrupt());
    const QByteArray directory = device.read(qint64(count) * dirEntrySize);
    if (directory.size() < qint64(count) * dirEntrySize)
        return LoadResult::failure(errors::truncated());

    std::vector<DirEntry> entries(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int at = i * dirEntrySize;
        DirEntry &entry = entries[size_t(i)];
        entry.width = quint8(directory[at]) ? quint8(directory[at]) : 256;
        entry.height = quint8(directory[at + 1]) ? quint8(directory[at + 1]) : 256;
        entry.bytesInRes = dword(directory, at + 8);
        entry.imageOffset = dword(directory, at + 12);
        readEntryHeader(device, start, entry);
    }
    const DirEntry &chosen = choose(entries);

    const std::optional<qint64> end = entryEnd(chosen, device.size() - start);
    if (!end)
        return LoadResult::failure(errors::truncated());
    if (!device.seek(start + chosen.imageOffset))
        return LoadResult::failure(errors::truncated());
    const QByteArray data = device.read(*end - chosen.imageOffset);
    if (data.startsWith(pngSignature))
        return readWithQt(data, "png", format);
    return readBitmapEntry(data, chosen, format);
}

} // namespace picture::icon
