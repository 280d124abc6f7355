#pragma once

#include "picture/picture.h"

#include <QByteArray>

class QIODevice;

namespace picture {

// Decodes the picture at the device's position with Qt's reader for `qtFormat` (an icon's
// "png"). The size the header claims is checked against MaxPixels before anything is
// decoded; an image Qt can't produce is an error, never an empty picture.
LoadResult readWithQt(QIODevice &device, const QByteArray &qtFormat, Format format);

// The same for a picture held in memory.
LoadResult readWithQt(const QByteArray &data, const QByteArray &qtFormat, Format format);

} // namespace picture
