// Regions and clipping: region objects in picture pixels, the clip region and its combining
// modes, clip paths, and filling, framing and inverting regions.
#include "picture/metafile/metafile_canvas.h"

#include "picture/metafile/metafile_canvas_state.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace picture {

using namespace canvas;

namespace {

// Past these the drawing could not be seen anyway, and QPainter would only slow down.
constexpr int MaxClipRects = 16384;

} // namespace

QRegion MetafileCanvas::pictureRegion(const MetafileRegion &region, bool logical) const {
    const QTransform t = logical ? logicalToPicture() : m_deviceToPicture;
    QRegion result;
    int count = 0;
    for (const QRectF &r : region.rects) {
        if (++count > MaxClipRects)
            break;
        const QRect mapped = roundedRect(t.mapRect(r));
        if (!mapped.isEmpty())
            result += mapped;
    }
    return result;
}

// The part of the raster a shape covers, as a region. Scan-converting a polygon into a region
// costs its whole height, however far it reaches past the picture; painting it into a mask of
// the raster's size (the part the shape covers) costs only that part.
QRegion MetafileCanvas::pictureRegion(const QPainterPath &path) {
    const QRectF bounds = path.boundingRect();
    if (!finite(bounds.topLeft()) || !finite(bounds.bottomRight()))
        return {};
    const QRect area =
        (QRectF(m_target.rect().adjusted(-1, -1, 1, 1)) & bounds.adjusted(-1, -1, 1, 1))
            .toAlignedRect();
    if (area.isEmpty())
        return {};
    spend(qint64(area.width()) * area.height() / 256 + path.elementCount());
    QImage mask(area.size(), QImage::Format_Grayscale8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.translate(-area.topLeft());
        painter.fillPath(path, Qt::white);
    }
    QList<QRect> rects;
    QList<QPair<int, int>> runs, previousRuns;
    qsizetype bandStart = 0;
    for (int y = 0; y < mask.height(); ++y) {
        const uchar *line = mask.constScanLine(y);
        runs.clear();
        for (int x = 0; x < mask.width();) {
            if (line[x] < 128) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < mask.width() && line[x] >= 128)
                ++x;
            runs.append({start, x - start});
        }
        if (!runs.isEmpty() && runs == previousRuns) {
            for (qsizetype i = bandStart; i < rects.size(); ++i)
                rects[i].setBottom(rects[i].bottom() + 1);
        } else {
            bandStart = rects.size();
            for (const auto &run : std::as_const(runs))
                rects.append(QRect(area.left() + run.first, area.top() + y, run.second, 1));
        }
        previousRuns = runs;
        if (rects.size() > MaxClipRects)
            return QRegion(path.boundingRect().toAlignedRect() & area);
    }
    QRegion region;
    region.setRects(rects.constData(), int(rects.size()));
    return region;
}

void MetafileCanvas::combineClip(const QRegion &region, ClipMode mode) {
    std::optional<QRegion> &clip = m_state->clip;
    const QRegion everything(m_target.rect().adjusted(-1, -1, 1, 1));
    spend(region.rectCount() + (clip ? clip->rectCount() : 0));
    switch (mode) {
    case ClipMode::And:
        clip = clip ? (*clip & region) : region;
        break;
    case ClipMode::Or:
        if (clip)
            clip = *clip | region;
        break;
    case ClipMode::Xor:
        clip = (clip ? *clip : everything) ^ region;
        break;
    case ClipMode::Diff:
        clip = (clip ? *clip : everything) - region;
        break;
    case ClipMode::Copy:
        clip = region;
        break;
    }
    // A clip cut into too many pieces costs every later drawing call: keep its outline.
    if (clip && clip->rectCount() > MaxClipRects)
        clip = QRegion(clip->boundingRect());
}

void MetafileCanvas::intersectClipRect(const QRectF &box) {
    QPainterPath path;
    path.addRect(box.normalized());
    const QTransform t = logicalToPicture();
    if (isAxisAligned(t))
        combineClip(QRegion(roundedRect(t.mapRect(box))), ClipMode::And);
    else
        combineClip(pictureRegion(t.map(path)), ClipMode::And);
}

void MetafileCanvas::excludeClipRect(const QRectF &box) {
    QPainterPath path;
    path.addRect(box.normalized());
    const QTransform t = logicalToPicture();
    if (isAxisAligned(t))
        combineClip(QRegion(roundedRect(t.mapRect(box))), ClipMode::Diff);
    else
        combineClip(pictureRegion(t.map(path)), ClipMode::Diff);
}

void MetafileCanvas::offsetClip(QPointF by) {
    if (!m_state->clip)
        return;
    const QTransform t = logicalToPicture();
    const QPointF d = t.map(by) - t.map(QPointF(0, 0));
    if (!finite(d) || std::abs(d.x()) > 1e7 || std::abs(d.y()) > 1e7)
        return;
    m_state->clip->translate(int(std::lround(d.x())), int(std::lround(d.y())));
}

void MetafileCanvas::selectClipRegion(const MetafileRegion *region, ClipMode mode, bool logical) {
    if (!region) {
        if (mode == ClipMode::Copy)
            m_state->clip.reset();
        return;
    }
    spend(region->rects.size());
    combineClip(pictureRegion(*region, logical), mode);
}

void MetafileCanvas::fillRegion(const MetafileRegion &region, const MetafileBrush &brush,
                                bool logical) {
    const std::optional<QBrush> qbrush = makeBrush(brush);
    if (!qbrush)
        return;
    spend(region.rects.size());
    const QRegion r = pictureRegion(region, logical);
    if (!prepare(r.boundingRect(), false))
        return;
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const QRect &rect : r)
        m_painter->fillRect(rect, *qbrush);
    finish();
}

void MetafileCanvas::frameRegion(const MetafileRegion &region, const MetafileBrush &brush,
                                 bool logical, QSizeF stroke) {
    const std::optional<QBrush> qbrush = makeBrush(brush);
    if (!qbrush)
        return;
    spend(region.rects.size());
    const QRegion r = pictureRegion(region, logical);
    const QTransform t = logical ? logicalToPicture() : m_deviceToPicture;
    const int w = std::clamp(int(std::lround(std::abs(stroke.width() * t.m11()))), 1, 4096);
    const int h = std::clamp(int(std::lround(std::abs(stroke.height() * t.m22()))), 1, 4096);
    QRegion inner;
    for (const QRect &rect : r)
        inner += rect.adjusted(w, h, -w, -h);
    const QRegion frame = r - inner;
    if (!prepare(r.boundingRect(), false))
        return;
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const QRect &rect : frame)
        m_painter->fillRect(rect, *qbrush);
    finish();
}

void MetafileCanvas::invertRegion(const MetafileRegion &region, bool logical) {
    spend(region.rects.size());
    const QRegion r = pictureRegion(region, logical);
    if (!prepare(r.boundingRect(), false))
        return;
    m_painter->setCompositionMode(QPainter::RasterOp_NotDestination);
    for (const QRect &rect : r)
        m_painter->fillRect(rect, Qt::black);
    finish();
}

void MetafileCanvas::selectClipPath(ClipMode mode) {
    m_inPath = false;
    QPainterPath path = std::exchange(m_path, QPainterPath());
    spend(path.elementCount() * 4);
    path.setFillRule(m_state->polyFillMode == Winding ? Qt::WindingFill : Qt::OddEvenFill);
    combineClip(pictureRegion(path), mode);
}

} // namespace picture
