#pragma once

#include "picture/picture.h"

#include <QByteArrayView>
#include <QSize>
#include <QtGlobal>

class QIODevice;

// Windows and OS/2 bitmaps: "BM" files, OS/2 bitmap arrays holding one, and headerless DIBs as
// the clipboard stores them.
namespace picture::bmp {

// bV5CSType of a header that carries its ICC profile inside the file.
constexpr quint32 PROFILE_EMBEDDED = 0x4D424544; // 'MBED'

enum Compression : quint32 {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3, // OS/2 headers with 1 bit per pixel: Huffman 1D instead
    BI_JPEG = 4,      // with 24 bits per pixel: OS/2 RLE24 instead
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

struct BitmapFileHeader {
    static constexpr qint64 Size = 14;

    quint16 bfType = 0;
    quint32 bfSize = 0; // unreliable: some writers store the header size here
    quint16 bfReserved1 = 0;
    quint16 bfReserved2 = 0;
    quint32 bfOffBits = 0;
};

// Every header version in one shape: the 12-byte OS/2 1.x core header (16-bit sizes), the OS/2
// 2.x 16- and 64-byte headers, and the 40, 52, 56, 108 and 124-byte Windows headers. Fields
// a shorter header lacks stay zero.
struct BitmapInfoHeader {
    quint32 biSize = 0;
    qint32 biWidth = 0;
    qint32 biHeight = 0; // negative: rows stored top row first
    quint16 biPlanes = 0;
    quint16 biBitCount = 0;
    quint32 biCompression = BI_RGB;
    quint32 biSizeImage = 0;
    qint32 biXPelsPerMeter = 0;
    qint32 biYPelsPerMeter = 0;
    quint32 biClrUsed = 0;
    quint32 biClrImportant = 0;
    quint32 biRedMask = 0;
    quint32 biGreenMask = 0;
    quint32 biBlueMask = 0;
    quint32 biAlphaMask = 0;
    // 124-byte headers: the colour space, and where an embedded ICC profile lies (counted from
    // the start of this header) and how long it is.
    quint32 bV5CSType = 0;
    quint32 bV5ProfileData = 0;
    quint32 bV5ProfileSize = 0;

    static bool isKnownSize(quint32 size);
    // Reads a header from the start of `bytes`; nothing when the size is unknown or the bytes
    // end before the header does.
    static std::optional<BitmapInfoHeader> parse(QByteArrayView bytes);

    // Known size, one plane, a known depth, and dimensions a picture can have.
    bool isValid() const;
    bool isCore() const { return biSize == 12; }
    bool isOs2() const { return biSize == 12 || biSize == 16 || biSize == 64; }
    bool isTopDown() const { return biHeight < 0; }
    QSize naturalSize() const;
};

// Peeks, consuming nothing: a "BM" file, a "BA" array, or a sane headerless DIB header.
bool canRead(QIODevice &device);

// Decodes the picture at the device's current position. An empty `visible` decodes all of it;
// otherwise only its top-left `visible` part (clipped to the picture) is read and decoded, and
// Picture::size still gives the natural size.
LoadResult read(QIODevice &device, QSize visible = {});

// A DIB whose header and colour table (`info`) are stored apart from its bits, as metafiles
// keep them; the bits start at the device's current position.
LoadResult readDib(QByteArrayView info, QIODevice &bits, QSize visible = {});

} // namespace picture::bmp
