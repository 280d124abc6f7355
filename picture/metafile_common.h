#pragma once

#include <QByteArray>
#include <QByteArrayView>
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

// The raster to draw on: the whole picture, or its top-left `visible` part.
QSize rasterSize(QSize natural, QSize visible);

// Text in a font's character set, as 8-bit metafile text records carry it. Symbol-set text
// (charset 2) is returned as its codes, U+0000-U+00FF.
QString decodeText(QByteArrayView bytes, quint8 charset);

} // namespace picture::metafile
