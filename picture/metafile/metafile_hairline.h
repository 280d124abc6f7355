// One-pixel lines traced by the picture's own rule rather than by the painter's, so that which
// pixels a line sets never depends on where the raster ends: the part of a picture drawn for a
// window is then the corner of the whole, to the pixel.
#pragma once

#include <QList>
#include <QPolygonF>
#include <QRect>

#include <functional>

namespace picture::metafile {

// `length` pixels of a line from (x, y) along a row (`horizontal`) or a column, all of one
// coverage and all in a dash or all in a gap of the pen's pattern.
struct HairlineRun {
    int x = 0;
    int y = 0;
    int length = 1;
    bool horizontal = true;
    quint8 coverage = 255;
    bool dash = true;
};

struct HairlineStyle {
    QList<double> pattern;  // dash, gap, dash … in pixels along the line; empty: solid
    bool antialias = false; // shade the two pixels a line passes between by its distance
    bool endPixel = false;  // an open figure's last point is drawn too (square or round caps)
};

// Hands `sink` the pixels inside `area` of a one-pixel line through the points of `figure`
// (pixel (x, y) spans [x, x + 1) × [y, y + 1)), a batch of runs at a time; the tracing stops
// when `sink` returns false. A line steps one pixel at a time along its longer axis and sets the
// pixel its centre line passes through at each step; it starts on its first point and stops
// before its last unless `endPixel`, so the segments of a figure meet without a pixel drawn
// twice. The pattern runs on from segment to segment and starts afresh with each figure.
// Returns false if `sink` stopped it.
using HairlineSink = std::function<bool(const QList<HairlineRun> &runs)>;
bool traceHairline(const QPolygonF &figure, const HairlineStyle &style, const QRect &area,
                   const HairlineSink &sink);

} // namespace picture::metafile
