#pragma once

#include <QByteArrayView>
#include <QImage>

// Device-independent bitmaps as metafiles and clipboard files carry them: no file header, just a
// bitmap header with its colour table, then the bits.
namespace picture {

// `info` holds the bitmap header and colour table, `bits` the pixel data. A null image when
// the bitmap is malformed, truncated or larger than MaxPixels.
QImage decodeDib(QByteArrayView info, QByteArrayView bits);

// Header, colour table and bits one after another, as in a clipboard DIB.
QImage decodePackedDib(QByteArrayView packed);

} // namespace picture
