// Raster operations: block transfers with their ternary ROPs, alpha blending and gradients.
#include "picture/metafile/metafile_canvas.h"

#include "picture/metafile/metafile_canvas_state.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace picture {

using namespace canvas;

namespace {

quint32 applyRop3(quint8 rop, quint32 pattern, quint32 source, quint32 dest) {
    quint32 result = 0;
    for (int i = 0; i < 8; ++i) {
        if (rop & (1u << i))
            result |= ((i & 4) ? pattern : ~pattern) & ((i & 2) ? source : ~source) &
                      ((i & 1) ? dest : ~dest);
    }
    return result & 0xffffff;
}

} // namespace

void MetafileCanvas::fillPictureRect(const QRectF &dest, const QBrush &brush) {
    const QTransform t = logicalToPicture();
    QPainterPath path;
    path.addRect(dest.normalized());
    const QPainterPath mapped = t.map(path);
    const bool aa = !isAxisAligned(t);
    if (!prepare(mapped.boundingRect(), aa))
        return;
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter->fillPath(mapped, brush);
    finish();
}

void MetafileCanvas::drawTransformedImage(const QRectF &dest, const QImage &source,
                                          const QRectF &sourceRect) {
    const QRectF &s = sourceRect;
    if (s.width() == 0 || s.height() == 0 || source.isNull())
        return;
    const double sx = dest.width() / s.width(), sy = dest.height() / s.height();
    const QTransform placement(sx, 0, 0, sy, dest.x() - s.x() * sx, dest.y() - s.y() * sy);
    const QTransform full = placement * logicalToPicture();
    const QRectF clipped = s.normalized() & QRectF(source.rect());
    if (clipped.isEmpty())
        return;
    if (!prepare(full.mapRect(clipped), !isAxisAligned(full)))
        return;
    QPainter &p = *m_painter;
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setTransform(full);
    p.setRenderHint(QPainter::SmoothPixmapTransform,
                    std::abs(full.m11()) < 1 || std::abs(full.m22()) < 1);
    p.drawImage(clipped, source, clipped);
    finish();
}

void MetafileCanvas::blit(const QRectF &dest, const QImage &source, const QRectF &sourceRect,
                          quint32 rop) {
    const quint8 rop3 = quint8(rop >> 16);
    const bool usesSource = ((rop3 >> 2) ^ rop3) & 0x33;
    if (rop3 == 0xAA || (usesSource && source.isNull()))
        return;
    const QImage opaque = source.isNull() ? QImage() : source.convertToFormat(QImage::Format_RGB32);
    switch (rop3) {
    case 0xCC:
        drawTransformedImage(dest, opaque, sourceRect);
        return;
    case 0x33: {
        QImage inverted = opaque;
        inverted.invertPixels();
        drawTransformedImage(dest, inverted, sourceRect);
        return;
    }
    case 0xF0:
        if (auto brush = makeBrush(m_state->brush))
            fillPictureRect(dest, *brush);
        return;
    case 0x00:
        fillPictureRect(dest, QColor(Qt::black));
        return;
    case 0xFF:
        fillPictureRect(dest, QColor(Qt::white));
        return;
    default:
        rasterOp(dest, opaque, sourceRect, rop3);
        return;
    }
}

// Bitwise raster operations need the destination's colours: untouched, transparent pixels are
// taken as white paper, and a result that leaves such a pixel white leaves it transparent, so
// that mask pairs (AND the mask, then OR or XOR the image) show the picture without a box.
void MetafileCanvas::rasterOp(const QRectF &dest, const QImage &source, const QRectF &sourceRect,
                              quint8 rop3) {
    const QTransform t = logicalToPicture();
    const QPointF p0 = t.map(dest.topLeft()), p1 = t.map(dest.bottomRight());
    if (!finite(p0) || !finite(p1))
        return;
    const QRectF device = QRectF(p0, p1).normalized();
    const QRect area = roundedRect(device) & m_target.rect();
    if (!prepare(device, false) || area.isEmpty())
        return;
    finish();
    const double devW = p1.x() - p0.x(), devH = p1.y() - p0.y();
    const bool hasSource = !source.isNull() && devW != 0 && devH != 0;
    const QRect sourceBounds = source.rect();
    quint32 pattern = 0;
    if (m_state->brush.style != BsNull)
        pattern = m_state->brush.color & 0xffffff;
    QRegion region(area);
    if (m_state->clip)
        region &= *m_state->clip;
    for (const QRect &r : region) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(m_target.scanLine(y));
            int sy = 0;
            if (hasSource) {
                sy = int(
                    std::floor(sourceRect.y() + (y + 0.5 - p0.y()) / devH * sourceRect.height()));
                if (sy < sourceBounds.top() || sy > sourceBounds.bottom())
                    continue;
            }
            const auto *sourceLine =
                hasSource ? reinterpret_cast<const QRgb *>(source.constScanLine(sy)) : nullptr;
            for (int x = r.left(); x <= r.right(); ++x) {
                quint32 s = 0;
                if (sourceLine) {
                    const int sx = int(std::floor(sourceRect.x() +
                                                  (x + 0.5 - p0.x()) / devW * sourceRect.width()));
                    if (sx < sourceBounds.left() || sx > sourceBounds.right())
                        continue;
                    s = sourceLine[sx] & 0xffffff;
                }
                const QRgb current = line[x];
                const int alpha = qAlpha(current);
                quint32 d;
                if (alpha == 255) {
                    d = current & 0xffffff;
                } else {
                    // Over white paper.
                    const int white = 255 - alpha;
                    d = quint32(qRed(current) + white) << 16 |
                        quint32(qGreen(current) + white) << 8 | quint32(qBlue(current) + white);
                }
                const quint32 result = applyRop3(rop3, pattern, s, d);
                if (alpha == 0 && result == 0xffffff)
                    continue;
                line[x] = Black | result;
            }
        }
    }
}

void MetafileCanvas::alphaBlend(const QRectF &dest, const QImage &source, const QRectF &sourceRect,
                                int constantAlpha) {
    if (constantAlpha <= 0)
        return;
    // The constant alpha is folded into the source, so the image is drawn as any other.
    QImage faded = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (constantAlpha < 255) {
        QPainter fade(&faded);
        fade.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        fade.fillRect(faded.rect(), QColor(0, 0, 0, constantAlpha));
    }
    drawTransformedImage(dest, faded, sourceRect);
}

void MetafileCanvas::gradientRect(const QRectF &box, QRgb from, QRgb to, bool vertical) {
    QLinearGradient gradient(box.topLeft(), vertical ? box.bottomLeft() : box.topRight());
    gradient.setColorAt(0, QColor::fromRgba(from));
    gradient.setColorAt(1, QColor::fromRgba(to));
    const QTransform t = logicalToPicture();
    QPainterPath path;
    path.addRect(box.normalized());
    const QPainterPath mapped = t.map(path);
    if (!prepare(mapped.boundingRect(), false))
        return;
    QBrush brush(gradient);
    brush.setTransform(t);
    m_painter->fillPath(mapped, brush);
    finish();
}

void MetafileCanvas::gradientTriangle(const QPolygonF &triangle, QRgb color) {
    QPainterPath path;
    path.addPolygon(triangle);
    path.closeSubpath();
    const QPainterPath mapped = logicalToPicture().map(path);
    if (!prepare(mapped.boundingRect(), true))
        return;
    m_painter->fillPath(mapped, QColor::fromRgba(color));
    finish();
}

} // namespace picture
