// Lines, shapes and paths: how a figure in logical units becomes pixels through the pen, the
// brush, the ROP2 mode and the clip, and the path the path records build.
#include "picture/metafile/metafile_canvas.h"

#include "picture/metafile/metafile_canvas_state.h"
#include "picture/metafile/metafile_hairline.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace picture {

using namespace canvas;

namespace {

// Past these the drawing could not be seen anyway, and QPainter would only slow down.
constexpr int MaxAntialiasedElements = 512;
constexpr int MaxJoinedSegments = 64;

double normalisedSweep(double degrees) {
    double sweep = std::fmod(degrees, 360.0);
    if (sweep <= 0)
        sweep += 360;
    return sweep;
}

QPainter::CompositionMode compositionForRop2(int rop) {
    switch (rop) {
    case R2Black:
        return QPainter::RasterOp_ClearDestination;
    case 2:
        return QPainter::RasterOp_NotSourceAndNotDestination;
    case 3:
        return QPainter::RasterOp_NotSourceAndDestination;
    case 4:
        return QPainter::RasterOp_NotSource;
    case 5:
        return QPainter::RasterOp_SourceAndNotDestination;
    case 6:
        return QPainter::RasterOp_NotDestination;
    case 7:
        return QPainter::RasterOp_SourceXorDestination;
    case 8:
        return QPainter::RasterOp_NotSourceOrNotDestination;
    case 9:
        return QPainter::RasterOp_SourceAndDestination;
    case 10:
        return QPainter::RasterOp_NotSourceXorDestination;
    case 12:
        return QPainter::RasterOp_NotSourceOrDestination;
    case 14:
        return QPainter::RasterOp_SourceOrNotDestination;
    case 15:
        return QPainter::RasterOp_SourceOrDestination;
    case R2White:
        return QPainter::RasterOp_SetDestination;
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

} // namespace

bool MetafileCanvas::prepare(const QRectF &pictureBounds, bool antialias, bool exactBounds) {
    ++m_drawings;
    if (exhausted() || m_state->rop2 == R2Nop)
        return false;
    const QRectF visible = pictureBounds & QRectF(exactBounds ? m_shown : m_target.rect());
    if (visible.isEmpty() && !pictureBounds.isNull())
        return false;
    spend(qint64(visible.width() * visible.height() / 256) + 1);
    QPainter &p = *m_painter;
    p.resetTransform();
    p.setOpacity(1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::NoBrush);
    if (m_state->clip)
        p.setClipRegion(*m_state->clip);
    else
        p.setClipping(false);
    const auto mode = compositionForRop2(m_state->rop2);
    p.setCompositionMode(mode);
    const bool rasterOp = mode != QPainter::CompositionMode_SourceOver;
    p.setRenderHint(QPainter::Antialiasing, antialias && !rasterOp);
    p.setRenderHint(QPainter::TextAntialiasing, !rasterOp);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    return true;
}

void MetafileCanvas::finish() {
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafileCanvas::appendToPath(const QPainterPath &picturePath, bool connect) {
    spend(picturePath.elementCount());
    const qsizetype count = m_path.elementCount();
    if (!connect || count == 0) {
        m_path.addPath(picturePath);
    } else if (m_path.elementAt(count - 1).isMoveTo()) {
        // A move began a new figure: the drawing continues it from the point moved to (Qt's
        // connectPath would drop that move and join the figure to the one before).
        for (int i = 0; i < picturePath.elementCount(); ++i) {
            const QPainterPath::Element e = picturePath.elementAt(i);
            if (e.isCurveTo() && i + 2 < picturePath.elementCount()) {
                m_path.cubicTo(e, picturePath.elementAt(i + 1), picturePath.elementAt(i + 2));
                i += 2;
            } else if (e.isMoveTo() && i > 0) {
                m_path.moveTo(e);
            } else {
                m_path.lineTo(e);
            }
        }
    } else {
        m_path.connectPath(picturePath);
    }
}

namespace {

// The premultiplied `over` drawn over the premultiplied pixel `under` at `coverage` of 255.
QRgb blend(QRgb under, QRgb over, uint coverage) {
    const uint rest = 255 - (qAlpha(over) * coverage + 127) / 255;
    const auto mix = [&](int shift) {
        const uint a = (over >> shift) & 0xff, b = (under >> shift) & 0xff;
        return ((a * coverage + b * rest + 127) / 255) << shift;
    };
    return mix(24) | mix(16) | mix(8) | mix(0);
}

} // namespace

// A pen one pixel wide is traced by the picture's own rule, which does not depend on where the
// raster ends (the painter's does, by a pixel). Returns false for wider pens.
bool MetafileCanvas::strokeHairline(const QPainterPath &centred, const QPen &pen) {
    if (pen.widthF() > 1 || pen.style() == Qt::NoPen)
        return false;
    metafile::HairlineStyle style;
    if (pen.style() != Qt::SolidLine)
        style.pattern = pen.dashPattern();
    style.antialias = m_painter->testRenderHint(QPainter::Antialiasing);
    style.endPixel = pen.capStyle() != Qt::FlatCap;
    QRect area = m_target.rect();
    if (m_state->clip)
        area &= m_state->clip->boundingRect();
    const QRgb line = pen.color().rgba();
    // The gaps of a pattern show the background colour when the background is opaque.
    const bool gaps = m_state->bkMode == Opaque;
    const QRgb background =
        qRgb(qRed(m_state->bkColor), qGreen(m_state->bkColor), qBlue(m_state->bkColor));
    const auto rectOf = [](const metafile::HairlineRun &r) {
        return r.horizontal ? QRect(r.x, r.y, r.length, 1) : QRect(r.x, r.y, 1, r.length);
    };
    // Aliased runs go through the painter, which applies the clip and the ROP2 mode.
    QList<QRect> dashes, spaces;
    const auto paintAliased = [&](const QList<metafile::HairlineRun> &runs) {
        dashes.clear();
        spaces.clear();
        for (const metafile::HairlineRun &r : runs)
            (r.dash ? dashes : spaces).append(rectOf(r));
        m_painter->setPen(Qt::NoPen);
        if (gaps && !spaces.isEmpty()) {
            m_painter->setBrush(QColor::fromRgb(background));
            m_painter->drawRects(spaces.constData(), int(spaces.size()));
        }
        m_painter->setBrush(QColor::fromRgba(line));
        m_painter->drawRects(dashes.constData(), int(dashes.size()));
        m_painter->setBrush(Qt::NoBrush);
    };
    // Antialiased lines are only drawn over (never with a ROP2 mode), so their pixels are
    // blended here.
    const QRgb over = qPremultiply(line);
    const auto blendAntialiased = [&](const QList<metafile::HairlineRun> &runs) {
        for (const metafile::HairlineRun &r : runs) {
            if (!r.dash && !gaps)
                continue;
            const QRgb colour = r.dash ? over : background;
            const QRect rect = rectOf(r);
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                auto *pixels = reinterpret_cast<QRgb *>(m_target.scanLine(y));
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    if (m_state->clip && !m_state->clip->contains(QPoint(x, y)))
                        continue;
                    pixels[x] = blend(pixels[x], colour, r.coverage);
                }
            }
        }
    };
    const metafile::HairlineSink sink = [&](const QList<metafile::HairlineRun> &runs) {
        if (style.antialias)
            blendAntialiased(runs);
        else
            paintAliased(runs);
        spend(runs.size());
        return !exhausted();
    };
    for (const QPolygonF &figure : centred.toSubpathPolygons()) {
        if (!metafile::traceHairline(figure, style, area, sink))
            break;
    }
    return true;
}

// An outline through pixel centres in a pen. One pixel wide, it is traced by our own rule; a
// wider pattern is cut from the whole outline here, before the painter sees it (the painter's
// own dasher skips what lies beyond the raster and loses the pattern's phase there), with its
// gaps in the background colour when the background is opaque.
void MetafileCanvas::strokeOutline(const QPainterPath &path, const QPen &pen) {
    if (strokeHairline(path, pen))
        return;
    if (pen.style() != Qt::SolidLine) {
        if (m_state->bkMode == Opaque) {
            QPen gaps = pen;
            gaps.setStyle(Qt::SolidLine);
            gaps.setColor(QColor::fromRgb(m_state->bkColor));
            m_painter->strokePath(path, gaps);
        }
        QPainterPathStroker stroker(pen);
        m_painter->fillPath(stroker.createStroke(path), pen.color());
        return;
    }
    if (path.elementCount() > MaxJoinedSegments) {
        // A long scribble stroked as one outline makes the rasterizer crawl; stroked a segment
        // at a time it costs what its segments cost, and round caps stand in for the joins.
        QPen segmentPen = pen;
        if (segmentPen.capStyle() == Qt::FlatCap && segmentPen.widthF() > 1.5)
            segmentPen.setCapStyle(Qt::RoundCap);
        m_painter->setPen(segmentPen);
        for (const QPolygonF &line : path.toSubpathPolygons()) {
            for (qsizetype i = 1; i < line.size(); ++i)
                m_painter->drawLine(line[i - 1], line[i]);
        }
        m_painter->setPen(Qt::NoPen);
        return;
    }
    m_painter->strokePath(path, pen);
}

void MetafileCanvas::drawPicturePath(const QPainterPath &path, bool fill, bool stroke) {
    if (m_inPath) {
        appendToPath(path, false);
        return;
    }
    spend(path.elementCount());
    const std::optional<QPen> pen = stroke ? makePen() : std::nullopt;
    const std::optional<QBrush> brush = fill ? makeBrush(m_state->brush) : std::nullopt;
    if (!pen && !brush)
        return;
    const double penWidth = pen ? pen->widthF() : 0;
    const QRectF bounds =
        path.controlPointRect().adjusted(-penWidth, -penWidth, penWidth + 1, penWidth + 1);
    // Qt's antialiasing rasterizer re-walks every edge for ever thinner bands when a shape has
    // many crossing edges; the aliased one copes, so such shapes are drawn without it.
    const bool aa =
        !hasOnlyAxisAlignedSegments(path) && path.elementCount() <= MaxAntialiasedElements;
    if (!prepare(bounds, aa))
        return;
    QPainterPath shape = path;
    shape.setFillRule(m_state->polyFillMode == Winding ? Qt::WindingFill : Qt::OddEvenFill);
    if (brush)
        m_painter->fillPath(shape, *brush);
    // Lines run through pixel centres, as the device draws them.
    if (pen)
        strokeOutline(shape.translated(0.5, 0.5), *pen);
    finish();
}

void MetafileCanvas::drawLogicalPath(const QPainterPath &path, bool fill, bool stroke) {
    drawPicturePath(logicalToPicture().map(path), fill, stroke);
}

// Rectangles and ellipses: the box's right and bottom edges are outside the figure, and the
// outline runs through the centres of its outermost pixels.
void MetafileCanvas::drawFrameShape(const QPainterPath &logical, const QRectF &box) {
    const QTransform t = logicalToPicture();
    if (!isAxisAligned(t) || m_inPath) {
        drawPicturePath(t.map(logical), true, true);
        return;
    }
    const QRectF outer = t.mapRect(box).normalized();
    const QRectF inner = outer.adjusted(0.5, 0.5, -0.5, -0.5);
    // Re-create the shape in picture space for both boxes by mapping box to box.
    const auto fit = [&](const QRectF &to) {
        const QRectF from = t.mapRect(box);
        QTransform m = QTransform::fromTranslate(-from.center().x(), -from.center().y());
        const double sx = from.width() != 0 ? to.width() / from.width() : 1;
        const double sy = from.height() != 0 ? to.height() / from.height() : 1;
        m *= QTransform::fromScale(sx, sy);
        m *= QTransform::fromTranslate(to.center().x(), to.center().y());
        return m.map(t.map(logical));
    };
    const std::optional<QPen> pen = makePen();
    const std::optional<QBrush> brush = makeBrush(m_state->brush);
    if (!pen && !brush)
        return;
    const double penWidth = pen ? pen->widthF() : 0;
    const QPainterPath filled = fit(outer);
    const bool aa = !hasOnlyAxisAlignedSegments(filled);
    spend(filled.elementCount());
    if (!prepare(outer.adjusted(-penWidth, -penWidth, penWidth, penWidth), aa))
        return;
    if (brush)
        m_painter->fillPath(filled, *brush);
    if (pen)
        strokeOutline(penWidth <= 1.5 ? fit(inner) : filled, *pen);
    finish();
}

// --- lines and shapes ----------------------------------------------------------------------

void MetafileCanvas::moveTo(QPointF to) {
    if (!finite(to))
        return;
    m_state->position = to;
    if (m_inPath) {
        spend(1);
        m_path.moveTo(logicalToPicture().map(to));
    }
}

void MetafileCanvas::lineTo(QPointF to) {
    polylineTo({to});
}

void MetafileCanvas::polyline(const QList<QPointF> &points) {
    if (points.size() < 2)
        return;
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::polylineTo(const QList<QPointF> &points) {
    if (points.isEmpty())
        return;
    const QTransform t = logicalToPicture();
    if (m_inPath) {
        if (m_path.elementCount() == 0)
            m_path.moveTo(t.map(m_state->position));
        spend(points.size());
        for (const QPointF &p : points)
            m_path.lineTo(t.map(p));
        m_state->position = points.last();
        return;
    }
    QPainterPath path(m_state->position);
    for (const QPointF &p : points)
        path.lineTo(p);
    m_state->position = points.last();
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::polygon(const QList<QPointF> &points) {
    polyPolygon({points});
}

void MetafileCanvas::polyPolygon(const QList<QList<QPointF>> &polygons) {
    QPainterPath path;
    for (const auto &polygon : polygons) {
        if (polygon.size() < 2)
            continue;
        path.addPolygon(QPolygonF(polygon));
        path.closeSubpath();
    }
    if (path.isEmpty())
        return;
    drawLogicalPath(path, true, true);
}

void MetafileCanvas::polyPolyline(const QList<QList<QPointF>> &lines) {
    QPainterPath path;
    for (const auto &line : lines) {
        if (line.size() < 2)
            continue;
        path.moveTo(line.first());
        for (qsizetype i = 1; i < line.size(); ++i)
            path.lineTo(line[i]);
    }
    if (path.isEmpty())
        return;
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::polyBezier(const QList<QPointF> &points) {
    if (points.size() < 4)
        return;
    QPainterPath path(points.first());
    for (qsizetype i = 1; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::polyBezierTo(const QList<QPointF> &points) {
    if (points.size() < 3)
        return;
    QPainterPath path(m_state->position);
    qsizetype i = 0;
    for (; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    m_state->position = points[i - 1];
    if (m_inPath) {
        appendToPath(logicalToPicture().map(path), true);
        return;
    }
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::polyDraw(const QList<QPointF> &points, const QByteArray &types) {
    QPainterPath path(m_state->position);
    const qsizetype n = std::min(points.size(), types.size());
    for (qsizetype i = 0; i < n; ++i) {
        const quint8 type = quint8(types[i]);
        switch (type & ~1u) {
        case 6:
            path.moveTo(points[i]);
            break;
        case 2:
            path.lineTo(points[i]);
            break;
        case 4:
            if (i + 2 < n) {
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
            }
            break;
        default:
            break;
        }
        if (type & 1) {
            path.closeSubpath();
        }
        m_state->position = points[std::min(i, n - 1)];
    }
    if (m_inPath) {
        appendToPath(logicalToPicture().map(path), true);
        return;
    }
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::rectangle(const QRectF &box) {
    QPainterPath path;
    path.addRect(box);
    drawFrameShape(path, box);
}

void MetafileCanvas::roundRect(const QRectF &box, QSizeF corner) {
    QPainterPath path;
    const QRectF n = box.normalized();
    const double rx = std::min(std::abs(corner.width()) / 2, n.width() / 2);
    const double ry = std::min(std::abs(corner.height()) / 2, n.height() / 2);
    path.addRoundedRect(n, rx, ry);
    drawFrameShape(path, box);
}

void MetafileCanvas::ellipse(const QRectF &box) {
    QPainterPath path;
    path.addEllipse(box.normalized());
    drawFrameShape(path, box);
}

// Arcs are worked out on the picture, where counter-clockwise means what a person sees.
QPainterPath MetafileCanvas::arcPath(const QRectF &box, QPointF start, QPointF end, ArcKind kind,
                                     QPointF *endPoint) const {
    const QTransform t = logicalToPicture();
    const QRectF r = t.mapRect(box).normalized();
    QPainterPath path;
    if (r.width() <= 0 || r.height() <= 0 || !finite(r.topLeft()) || !finite(r.bottomRight()))
        return path;
    const QPointF c = r.center();
    const QPointF s = t.map(start), e = t.map(end);
    const double rx = r.width() / 2, ry = r.height() / 2;
    const auto angleOf = [&](QPointF p) {
        return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / std::numbers::pi;
    };
    const double a0 = angleOf(s), a1 = angleOf(e);
    double sweep = normalisedSweep(a1 - a0);
    if (m_state->arcDirection == Clockwise)
        sweep = -normalisedSweep(a0 - a1);
    if (kind == ArcKind::Pie) {
        path.moveTo(c);
        path.arcTo(r, a0, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(r, a0);
        path.arcTo(r, a0, sweep);
        if (kind == ArcKind::Chord)
            path.closeSubpath();
    }
    if (endPoint) {
        QPainterPath probe;
        probe.arcMoveTo(r, a0 + sweep);
        *endPoint = probe.currentPosition();
    }
    return path;
}

void MetafileCanvas::arc(const QRectF &box, QPointF start, QPointF end, ArcKind kind) {
    QPointF arcEnd;
    QPainterPath path = arcPath(box, start, end, kind, &arcEnd);
    if (path.isEmpty())
        return;
    const QTransform t = logicalToPicture();
    if (kind == ArcKind::ArcTo) {
        QPainterPath joined(t.map(m_state->position));
        joined.connectPath(path);
        path = joined;
        bool invertible = false;
        const QPointF logicalEnd = t.inverted(&invertible).map(arcEnd);
        if (invertible && finite(logicalEnd))
            m_state->position = logicalEnd;
    }
    if (m_inPath) {
        appendToPath(path, kind == ArcKind::ArcTo);
        return;
    }
    const bool filled = kind == ArcKind::Chord || kind == ArcKind::Pie;
    drawPicturePath(path, filled, true);
}

void MetafileCanvas::angleArc(QPointF center, double radius, double startDegrees,
                              double sweepDegrees) {
    if (!std::isfinite(radius) || !std::isfinite(startDegrees) || !std::isfinite(sweepDegrees))
        return;
    sweepDegrees = std::clamp(sweepDegrees, -3600.0, 3600.0);
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    QPainterPath path(m_state->position);
    path.arcTo(box, startDegrees, sweepDegrees);
    m_state->position = path.currentPosition();
    if (m_inPath) {
        appendToPath(logicalToPicture().map(path), true);
        return;
    }
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::setPixel(QPointF at, QRgb color) {
    const QPointF p = logicalToPicture().map(at);
    if (!finite(p))
        return;
    const QRectF pixel(std::floor(p.x()), std::floor(p.y()), 1, 1);
    if (!prepare(pixel, false))
        return;
    m_painter->fillRect(pixel, QColor::fromRgb(color | Black));
    finish();
}

// --- paths ---------------------------------------------------------------------------------

void MetafileCanvas::beginPath() {
    m_inPath = true;
    m_path = QPainterPath();
}

void MetafileCanvas::endPath() {
    m_inPath = false;
}

void MetafileCanvas::closeFigure() {
    if (m_inPath)
        m_path.closeSubpath();
}

void MetafileCanvas::abortPath() {
    m_inPath = false;
    m_path = QPainterPath();
}

void MetafileCanvas::fillPath() {
    m_inPath = false;
    QPainterPath path = std::exchange(m_path, QPainterPath());
    path.closeSubpath();
    drawPicturePath(path, true, false);
}

void MetafileCanvas::strokePath() {
    m_inPath = false;
    drawPicturePath(std::exchange(m_path, QPainterPath()), false, true);
}

void MetafileCanvas::strokeAndFillPath() {
    m_inPath = false;
    QPainterPath path = std::exchange(m_path, QPainterPath());
    path.closeSubpath();
    drawPicturePath(path, true, true);
}

void MetafileCanvas::widenPath() {
    const std::optional<QPen> pen = makePen();
    if (!pen || m_path.isEmpty())
        return;
    spend(m_path.elementCount() * 8);
    QPainterPathStroker stroker(*pen);
    m_path = stroker.createStroke(m_path);
}

} // namespace picture
