#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

namespace testkit {

// How two pictures are laid side by side before their pixels are compared.
enum class Blend {
    Straight,      // ARGB, two fully transparent pixels equal whatever colour they carry
    Premultiplied, // premultiplied ARGB, as a painter blends them
    OnWhite,       // both laid on white paper, as a person sees them
};

// How far `actual` is from `expected`. Pixels differ when a channel (alpha included) is more
// than `tolerance` apart. The mean absolute difference per colour channel (0-255) and the share
// of pixels where a colour channel is more than 64 apart measure renderings of the same picture
// by two renderers: the share counts shapes that are missing or misplaced rather than edges
// antialiased differently.
struct Difference {
    QSize actualSize, expectedSize;
    bool sameSize = false;
    int differing = 0; // pixels more than the tolerance apart
    int largest = 0;   // in any channel
    QPoint first;      // the first differing pixel, in rows from the top
    QRgb firstActual = 0, firstExpected = 0;
    double meanAbsolute = 255;
    double farShare = 1;

    bool same() const { return sameSize && differing == 0; }
    // Empty when the pictures agree; else their sizes, or the count and the first pixel.
    QString describe() const;
};

Difference compare(const QImage &actual, const QImage &expected, int tolerance = 0,
                   Blend blend = Blend::Straight);

} // namespace testkit
