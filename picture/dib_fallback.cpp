#include "picture/dib.h"

#include "picture/byte_reader.h"
#include "picture/picture_file.h"

#include <QByteArray>

// Stand-in until the real DIB decoder is merged: wraps the bitmap in a file header and lets
// Qt's BMP reader decode it.
namespace picture {

namespace {

bool plausibleSize(QByteArrayView info) {
    ByteReader r(info);
    const quint32 headerSize = r.u32();
    qint64 width = 0, height = 0;
    if (headerSize == 12) {
        width = r.u16();
        height = r.u16();
    } else {
        width = r.i32();
        height = r.i32();
    }
    if (!r.ok() || width <= 0 || height == 0)
        return false;
    return width * std::abs(height) <= MaxPixels;
}

} // namespace

QImage decodeDib(QByteArrayView info, QByteArrayView bits) {
    if (!plausibleSize(info))
        return {};
    const quint32 fileSize = quint32(14 + info.size() + bits.size());
    const quint32 offset = quint32(14 + info.size());
    QByteArray file("BM");
    for (int i = 0; i < 4; ++i)
        file.append(char(fileSize >> (8 * i)));
    file.append(4, '\0');
    for (int i = 0; i < 4; ++i)
        file.append(char(offset >> (8 * i)));
    file.append(info.data(), info.size());
    file.append(bits.data(), bits.size());
    QImage image;
    if (!image.loadFromData(file, "BMP"))
        return {};
    return image;
}

QImage decodePackedDib(QByteArrayView packed) {
    ByteReader r(packed);
    const quint32 headerSize = r.u32();
    if (!r.ok() || headerSize > quint32(packed.size()))
        return {};
    return decodeDib(packed, QByteArrayView());
}

} // namespace picture
