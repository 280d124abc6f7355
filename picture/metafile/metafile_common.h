#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QIODevice;

// What the two metafile players share besides the canvas.
namespace picture::metafile {

// Metafiles larger than this are refused before they are read.
inline constexpr qint64 MaxFileBytes = qint64(256) * 1024 * 1024;

// The device's remaining bytes, or nothing when there are more than MaxFileBytes.
std::optional<QByteArray> readAll(QIODevice &device);

// round(a * b / c), halves away from zero, as the system's MulDiv rounds.
qint64 mulDiv(qint64 a, qint64 b, qint64 c);

// A natural size made safe: at least one pixel each way, and scaled down (keeping its shape)
// until it fits MaxPixels.
QSize clampedSize(double width, double height);

// The picture to deliver: the whole picture, or its top-left `visible` part.
QSize rasterSize(QSize natural, QSize visible);

// The raster to draw that on: the part reaches a margin further right and down (within the
// picture), so that no edge of the part is an edge of the raster the picture does not have too.
// Shapes crossing the part's edges are then drawn as in the whole picture, not clipped there.
QSize drawingSize(QSize natural, QSize visible);

// The delivered part of a drawing made on drawingSize().
QImage visiblePart(QImage drawing, QSize natural, QSize visible);

// Text in a font's character set, as 8-bit metafile text records carry it. Symbol-set text
// (charset 2) is returned as its codes, U+0000-U+00FF.
QString decodeText(QByteArrayView bytes, quint8 charset);

} // namespace picture::metafile
