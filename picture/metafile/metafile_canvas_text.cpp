// Text runs: the font in picture pixels, alignment, escapement, character advances, and the
// opaque or clipping rectangle.
#include "picture/metafile/metafile_canvas.h"

#include "picture/metafile/metafile_canvas_state.h"
#include "picture/metafile/metafile_fonts.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace picture {

using namespace canvas;

namespace {

// Past these the drawing could not be seen anyway, and QPainter would only slow down.
constexpr double MaxFontPixels = 8192;

// The font a run is drawn with: the face table's stand-in at the size the logical font asks for
// in picture pixels, or nothing when that is too small to see. A positive height is the cell
// (ascent plus descent), a negative one the em.
std::optional<QFont> pictureFont(const MetafileFont &logical, const QStringList &families,
                                 double scaleX, double scaleY) {
    QFont font;
    font.setFamilies(families);
    double pixels = logical.height == 0 ? 16 : std::abs(logical.height) * scaleY;
    if (!std::isfinite(pixels))
        return std::nullopt;
    if (logical.height >= 0) {
        QFont probe = font;
        probe.setPixelSize(100);
        const QFontMetricsF m(probe);
        const double cell = m.ascent() + m.descent();
        if (cell > 0)
            pixels = pixels * 100 / cell;
    }
    pixels = std::min(pixels, MaxFontPixels);
    if (pixels < 0.5)
        return std::nullopt;
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setWeight(QFont::Weight(std::clamp(logical.weight == 0 ? 400 : logical.weight, 1, 1000)));
    font.setItalic(logical.italic);
    font.setUnderline(logical.underline);
    font.setStrikeOut(logical.strikeOut);
    if (logical.width != 0) {
        const QFontMetricsF m(font);
        const double average = m.averageCharWidth();
        if (average > 0) {
            const double stretch = std::abs(logical.width) * scaleX / average * 100;
            font.setStretch(int(std::clamp(stretch, 1.0, 4000.0)));
        }
    }
    return font;
}

// Where the run's first character starts, left of and below the reference point by the text
// alignment: its x and its baseline's y.
QPointF alignedOrigin(quint32 align, double width, const QFontMetricsF &metrics) {
    double x = 0;
    switch (align & TaHorizontalMask) {
    case TaRight:
        x = -width;
        break;
    case TaCenter:
        x = -width / 2;
        break;
    default:
        break;
    }
    double baseline = metrics.ascent();
    switch (align & TaVerticalMask) {
    case TaBottom:
        baseline = -metrics.descent();
        break;
    case TaBaseline:
        baseline = 0;
        break;
    default:
        break;
    }
    return QPointF(x, baseline);
}

} // namespace

void MetafileCanvas::text(const TextRun &run) {
    const State &s = *m_state;
    spend(run.text.size() * 16);
    const QTransform t = logicalToPicture();
    const double scaleX = std::hypot(t.m11(), t.m12());
    const double scaleY = std::hypot(t.m21(), t.m22());
    if (!(scaleX > 0) || !(scaleY > 0) || !std::isfinite(scaleX) || !std::isfinite(scaleY))
        return;

    const bool useCurrent = s.textAlign & TaUpdateCp;
    const QPointF referenceLogical = useCurrent ? s.position : run.reference;
    const QPointF reference = t.map(referenceLogical);
    if (!finite(reference))
        return;

    metafile::loadFaceFiles();
    const metafile::FaceChoice face = metafile::chooseFace(s.font.face, s.font.charset);
    const QString text = metafile::glyphText(run.text, face.encoding);
    const std::optional<QFont> font = pictureFont(s.font, face.families, scaleX, scaleY);
    if (!font)
        return;
    const QFontMetricsF metrics(*font);

    // Advances: the file's own, else the font's.
    QList<double> advances;
    double width = 0;
    if (!run.dx.isEmpty()) {
        for (double d : run.dx) {
            const double a = std::isfinite(d) ? d * scaleX : 0;
            advances.append(a);
            width += a;
        }
    } else {
        width = metrics.horizontalAdvance(text);
    }
    if (!std::isfinite(width))
        return;

    const QPointF origin = alignedOrigin(s.textAlign, width, metrics);
    double x = origin.x();
    const double baseline = origin.y();

    // Escapement turns the line about the reference point; a mirrored mapping turns it back.
    double angle = s.font.escapement / 10;
    if (t.determinant() < 0)
        angle = -angle;
    if (!std::isfinite(angle))
        angle = 0;

    if (useCurrent) {
        const double advance = (s.textAlign & TaHorizontalMask) == TaRight    ? -width
                               : (s.textAlign & TaHorizontalMask) == TaCenter ? 0
                                                                              : width;
        m_state->position.rx() += advance / scaleX * (t.m11() < 0 ? -1 : 1);
    }

    QRectF textBox(x, baseline - metrics.ascent(), width, metrics.ascent() + metrics.descent());
    QTransform place;
    place.translate(reference.x(), reference.y());
    place.rotate(-angle);
    QRectF bounds = place.mapRect(textBox);
    const bool hasRect = run.options & (EtoOpaque | EtoClipped);
    const QRectF rect = hasRect ? t.mapRect(run.rect).normalized() : QRectF();
    if (run.options & EtoOpaque)
        bounds |= rect;
    if (!prepare(bounds.adjusted(-2, -2, 2, 2), true, false))
        return;
    QPainter &p = *m_painter;
    if (run.options & EtoOpaque && !rect.isEmpty())
        p.fillRect(rect, QColor::fromRgb(s.bkColor));
    if (run.options & EtoClipped)
        p.setClipRect(rect, s.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    p.setTransform(place);
    if (s.bkMode == Opaque && !(run.options & EtoOpaque))
        p.fillRect(textBox, QColor::fromRgb(s.bkColor));
    p.setFont(*font);
    p.setPen(QColor::fromRgb(s.textColor));
    if (advances.isEmpty()) {
        p.drawText(QPointF(x, baseline), text);
    } else {
        qsizetype i = 0, k = 0;
        while (i < text.size()) {
            qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            p.drawText(QPointF(x, baseline), text.mid(i, len));
            x += k < advances.size() ? advances[k] : 0;
            ++k;
            i += len;
        }
    }
    finish();
}

} // namespace picture
