#include "picture/metafile/emfplus_player.h"

#include "picture/byte_reader.h"
#include "picture/metafile/emfplus_objects.h"
#include "picture/metafile/metafile_canvas.h"
#include "picture/metafile/metafile_fonts.h"
#include "picture/picture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <QtMath>

#include <array>
#include <cmath>
#include <vector>

namespace picture::emfplus {

namespace {

enum Record : quint16 {
    Header = 0x4001,
    EndOfFile = 0x4002,
    GetDC = 0x4004,
    ObjectRecord = 0x4008,
    Clear = 0x4009,
    FillRects = 0x400A,
    DrawRects = 0x400B,
    FillPolygon = 0x400C,
    DrawLines = 0x400D,
    FillEllipse = 0x400E,
    DrawEllipse = 0x400F,
    FillPie = 0x4010,
    DrawPie = 0x4011,
    DrawArc = 0x4012,
    FillRegion = 0x4013,
    FillPath = 0x4014,
    DrawPath = 0x4015,
    FillClosedCurve = 0x4016,
    DrawClosedCurve = 0x4017,
    DrawCurve = 0x4018,
    DrawBeziers = 0x4019,
    DrawImage = 0x401A,
    DrawImagePoints = 0x401B,
    DrawString = 0x401C,
    SetAntiAliasMode = 0x401E,
    SetTextRenderingHint = 0x401F,
    SetInterpolationMode = 0x4021,
    SetCompositingMode = 0x4023,
    Save = 0x4025,
    Restore = 0x4026,
    BeginContainer = 0x4027,
    BeginContainerNoParams = 0x4028,
    EndContainer = 0x4029,
    SetWorldTransform = 0x402A,
    ResetWorldTransform = 0x402B,
    MultiplyWorldTransform = 0x402C,
    TranslateWorldTransform = 0x402D,
    ScaleWorldTransform = 0x402E,
    RotateWorldTransform = 0x402F,
    SetPageTransform = 0x4030,
    ResetClip = 0x4031,
    SetClipRect = 0x4032,
    SetClipPath = 0x4033,
    SetClipRegion = 0x4034,
    OffsetClip = 0x4035,
    DrawDriverString = 0x4036,
};

constexpr int Slots = 64;
constexpr std::size_t MaxSavedStates = 1024;
// Pixels all the images of one file may decode to together.
constexpr qint64 ImagePixels = qint64(64) * 1024 * 1024;
// Path operations for clips and regions whose operands multiply to more elements than this are
// left out: they would take too long.
constexpr qint64 MaxClipOperation = 4'000'000;
constexpr double MaxCoordinate = 1e9;
// Shapes reaching further than this beyond the picture are cut to it before they are drawn, as
// the rasterizer counts in fixed point.
constexpr double MaxReach = 1e6;
constexpr int ReferenceFontPixels = 100;
constexpr quint32 MaxTextLength = 32768;
constexpr int PathGradientSide = 128;
constexpr qsizetype MaxGradientEdges = 512;

constexpr quint16 SolidColor = 0x8000, Compressed = 0x4000, Relative = 0x0800, Flag2000 = 0x2000;

struct State {
    QTransform world;     // within the current container
    QTransform container; // the container's place in the world around it
    quint32 pageUnit = 1;
    double pageScale = 1;
    std::optional<QPainterPath> clip; // picture pixels; none clips nothing
    bool antialias = false;
    bool textAntialias = true;
    bool smoothImages = true;
    bool sourceCopy = false;
};

double finite(double v) {
    return std::isfinite(v) && std::abs(v) < MaxCoordinate ? v : 0;
}

QTransform readMatrix(ByteReader &r) {
    double m[6];
    for (double &v : m)
        v = finite(r.f32());
    return QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
}

QRectF readRectF(ByteReader &r, bool compressed) {
    if (compressed) {
        const double x = r.i16(), y = r.i16(), w = r.i16(), h = r.i16();
        return QRectF(x, y, w, h);
    }
    const double x = finite(r.f32()), y = finite(r.f32());
    const double w = finite(r.f32()), h = finite(r.f32());
    return QRectF(x, y, w, h);
}

bool usable(const QTransform &t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy()) &&
           std::abs(t.determinant()) > 1e-12;
}

// Cardinal spline through `points` as Bézier segments (GDI+ scales the tension by 0.3).
QPainterPath curvePath(const QList<QPointF> &points, double tension, bool closed, int first,
                       int segments) {
    QPainterPath path;
    const qsizetype n = points.size();
    if (n < 2)
        return path;
    const double k = tension * 0.3;
    const auto at = [&](qsizetype i) {
        if (closed)
            return points[(i % n + n) % n];
        return points[std::clamp<qsizetype>(i, 0, n - 1)];
    };
    const qsizetype last = closed ? n : std::min<qsizetype>(first + segments, n - 1);
    path.moveTo(at(first));
    for (qsizetype i = first; i < last; ++i) {
        const QPointF c1 = at(i) + k * (at(i + 1) - at(i - 1));
        const QPointF c2 = at(i + 1) - k * (at(i + 2) - at(i));
        path.cubicTo(c1, c2, at(i + 1));
    }
    if (closed)
        path.closeSubpath();
    return path;
}

Qt::PenCapStyle capStyle(int cap) {
    switch (cap) {
    case 1:
    case 0x11:
        return Qt::SquareCap;
    case 2:
    case 0x12:
        return Qt::RoundCap;
    default:
        return Qt::FlatCap;
    }
}

} // namespace

struct Player::Impl {
    MetafileCanvas &canvas;
    QPainter &painter;
    QTransform deviceToPicture;
    qint64 fileBytes;
    QRectF target;
    double dpiX = 96, dpiY = 96;
    bool display = true;
    std::array<Object, Slots> objects;
    struct Pending {
        int slot = 0;
        int type = 0;
        quint32 total = 0;
        QByteArray data;
    };
    std::optional<Pending> pending;
    State s;
    std::vector<std::pair<quint32, State>> saved;
    ImageBudget budget{ImagePixels, 0};
    int drawings = 0;

    Impl(MetafileCanvas &c, const QTransform &toPicture, qint64 bytes)
        : canvas(c)
        , painter(c.painter())
        , deviceToPicture(toPicture)
        , fileBytes(bytes) {
        const QPaintDevice *device = painter.device();
        target = QRectF(0, 0, device ? device->width() : 0, device ? device->height() : 0);
    }

    // Device pixels per unit.
    double unitScale(quint32 unit, double dpi) const {
        switch (unit) {
        case 1:
            return display ? 1 : dpi / 100;
        case 3:
            return dpi / 72;
        case 4:
            return dpi;
        case 5:
            return dpi / 300;
        case 6:
            return dpi / 25.4;
        default:
            return 1;
        }
    }

    QTransform worldToDevice() const {
        const double sx = s.pageScale * unitScale(s.pageUnit, dpiX);
        const double sy = s.pageScale * unitScale(s.pageUnit, dpiY);
        return s.world * s.container * QTransform::fromScale(sx, sy);
    }
    QTransform full() const { return worldToDevice() * deviceToPicture; }

    // World units per device pixel, for sizes given in other units.
    double worldPerDevicePixel() const {
        const double scale = std::sqrt(std::abs(worldToDevice().determinant()));
        return scale > 1e-9 ? 1 / scale : 0;
    }

    const Object *object(quint32 id) const { return id < Slots ? &objects[id] : nullptr; }

    std::optional<Brush> brush(quint16 flags, quint32 value) const {
        if (flags & SolidColor) {
            Brush b;
            b.color = argb(value);
            return b;
        }
        const Object *o = object(value);
        if (const auto *b = o ? std::get_if<Brush>(o) : nullptr)
            return *b;
        return std::nullopt;
    }

    const Pen *pen(quint32 id) const {
        const Object *o = object(id);
        return o ? std::get_if<Pen>(o) : nullptr;
    }

    QBrush qbrush(const Brush &b, const QTransform &toPicture) {
        switch (b.kind) {
        case Brush::Kind::Solid:
            return QBrush(QColor::fromRgba(b.color));
        case Brush::Kind::Hatch: {
            // Hatches line up with the device's pixels, whatever the transform.
            QBrush q(hatchPattern(b.hatch, b.color, b.back));
            q.setTransform(toPicture.inverted());
            return q;
        }
        case Brush::Kind::Texture: {
            QBrush q(b.texture);
            q.setTransform(b.transform);
            return q;
        }
        case Brush::Kind::LinearGradient: {
            if (b.rect.width() == 0)
                return QBrush(b.stops.first().second);
            QLinearGradient g(b.rect.topLeft(), b.rect.topRight());
            g.setStops(b.stops);
            // The colour changes along x only: flipping tiles in y changes nothing.
            g.setSpread(b.wrap == 4                  ? QGradient::PadSpread
                        : b.wrap == 1 || b.wrap == 3 ? QGradient::ReflectSpread
                                                     : QGradient::RepeatSpread);
            QBrush q(g);
            q.setTransform(b.transform);
            return q;
        }
        case Brush::Kind::PathGradient:
            return pathGradient(b, toPicture);
        }
        return {};
    }

    // A path gradient: each point takes the colour of the copy of the boundary, shrunk towards
    // the centre, that runs through it (0 on the boundary, 1 at the centre). Laid out as a
    // texture of at most PathGradientSide texels a side over the boundary's box; outside the
    // boundary it leaves the picture as it is.
    QBrush pathGradient(const Brush &b, const QTransform &toPicture) {
        const QPolygonF boundary = b.boundary.toFillPolygon();
        const QRectF box = boundary.boundingRect();
        if (box.width() <= 0 || box.height() <= 0 || boundary.size() > MaxGradientEdges)
            return QBrush(b.stops.last().second);
        const double scale = std::sqrt(std::abs((b.transform * toPicture).determinant()));
        const QSize size(std::clamp(int(std::ceil(box.width() * scale)), 1, PathGradientSide),
                         std::clamp(int(std::ceil(box.height() * scale)), 1, PathGradientSide));
        canvas.spend(qint64(size.width()) * size.height() * boundary.size() / 16);
        QImage texture(size, QImage::Format_ARGB32_Premultiplied);
        const double sx = box.width() / size.width(), sy = box.height() / size.height();
        const QPointF c = b.centre;
        const auto colourAt = [&](double t) {
            const QGradientStops &stops = b.stops;
            if (t <= stops.first().first)
                return stops.first().second;
            for (qsizetype i = 1; i < stops.size(); ++i) {
                if (t <= stops[i].first) {
                    const double span = stops[i].first - stops[i - 1].first;
                    const double f = span > 0 ? (t - stops[i - 1].first) / span : 1;
                    const QColor a = stops[i - 1].second, z = stops[i].second;
                    return QColor::fromRgbF(float(a.redF() + (z.redF() - a.redF()) * f),
                                            float(a.greenF() + (z.greenF() - a.greenF()) * f),
                                            float(a.blueF() + (z.blueF() - a.blueF()) * f),
                                            float(a.alphaF() + (z.alphaF() - a.alphaF()) * f));
                }
            }
            return stops.last().second;
        };
        for (int y = 0; y < size.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(texture.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const QPointF d = QPointF(box.x() + (x + 0.5) * sx, box.y() + (y + 0.5) * sy) - c;
                // Where the ray from the centre through the point leaves the boundary.
                double reach = 0;
                for (qsizetype i = 0; i < boundary.size(); ++i) {
                    const QPointF a = boundary[i] - c;
                    const QPointF e = boundary[(i + 1) % boundary.size()] - boundary[i];
                    const double denominator = d.x() * e.y() - d.y() * e.x();
                    if (std::abs(denominator) < 1e-12)
                        continue;
                    const double t = (a.x() * e.y() - a.y() * e.x()) / denominator;
                    const double u = (a.x() * d.y() - a.y() * d.x()) / denominator;
                    if (t > 0 && u >= 0 && u <= 1)
                        reach = reach == 0 ? t : std::min(reach, t);
                }
                const double along = reach > 0 ? 1 / reach : 0; // 1 on the boundary
                line[x] = along > 1.0001 ? 0 : colourAt(1 - along).rgba();
                line[x] = qPremultiply(line[x]);
            }
        }
        QBrush q(texture);
        q.setTransform(QTransform::fromScale(sx, sy) * QTransform::fromTranslate(box.x(), box.y()) *
                       b.transform);
        return q;
    }

    QPen qpen(const Pen &p, const QTransform &toPicture) {
        double width = p.width;
        if (p.unit != 0 && p.unit != 1 && p.unit != 2)
            width *= unitScale(p.unit, dpiX) * worldPerDevicePixel();
        else if (p.unit == 2 || (p.unit == 1 && display))
            width *= worldPerDevicePixel();
        QPen q(qbrush(p.brush, toPicture), std::min(width, MaxCoordinate));
        q.setCapStyle(capStyle(p.startCap));
        switch (p.join) {
        case 1:
            q.setJoinStyle(Qt::BevelJoin);
            break;
        case 2:
            q.setJoinStyle(Qt::RoundJoin);
            break;
        case 3:
            q.setJoinStyle(Qt::SvgMiterJoin);
            break;
        default:
            q.setJoinStyle(Qt::MiterJoin);
            break;
        }
        q.setMiterLimit(p.miterLimit);
        QList<qreal> dashes;
        switch (p.style) {
        case 1:
            dashes = {3, 1};
            break;
        case 2:
            dashes = {1, 1};
            break;
        case 3:
            dashes = {3, 1, 1, 1};
            break;
        case 4:
            dashes = {3, 1, 1, 1, 1, 1};
            break;
        case 5:
            dashes = p.dashes;
            break;
        default:
            break;
        }
        if (!dashes.isEmpty()) {
            q.setDashPattern(dashes);
            q.setDashOffset(p.dashOffset);
            if (p.dashCap == 0)
                q.setCapStyle(Qt::FlatCap);
        }
        return q;
    }

    // Sets the painter up for a drawing whose bounds, in world units, are `bounds` (grown by
    // `margin` world units); false when it cannot show.
    bool begin(const QRectF &bounds, double margin) {
        // Counted whether or not it shows in the part drawn, so that a part tells the same as
        // the whole whether the file draws anything.
        ++drawings;
        canvas.spend(1);
        if (canvas.exhausted())
            return false;
        const QTransform t = full();
        if (!usable(t))
            return false;
        const QRectF mapped =
            t.mapRect(bounds.adjusted(-margin, -margin, margin, margin)).adjusted(-2, -2, 2, 2);
        // What lies in the margin beyond the part shown alone would never be seen.
        if (!mapped.intersects(QRectF(canvas.shown())))
            return false;
        canvas.spend(qint64((mapped & target).width() * (mapped & target).height() / 256));
        painter.save();
        painter.resetTransform();
        painter.setOpacity(1);
        if (s.clip)
            painter.setClipPath(*s.clip);
        else
            painter.setClipping(false);
        painter.setTransform(t);
        painter.setRenderHint(QPainter::Antialiasing, s.antialias);
        painter.setRenderHint(QPainter::TextAntialiasing, s.textAntialias);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, s.smoothImages);
        painter.setCompositionMode(s.sourceCopy ? QPainter::CompositionMode_Source
                                                : QPainter::CompositionMode_SourceOver);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::NoBrush);
        return true;
    }
    void end() { painter.restore(); }

    void fill(const QPainterPath &path, const Brush &b) {
        if (path.isEmpty() || !begin(path.controlPointRect(), 0))
            return;
        canvas.spend(path.elementCount());
        fillArea(path, qbrush(b, full()));
        end();
    }

    // Fills an area given in world units, cut to the picture first when it reaches far out.
    void fillArea(const QPainterPath &area, QBrush brush) {
        const QTransform t = painter.transform();
        const QRectF reach = t.mapRect(area.controlPointRect());
        if (target.adjusted(-MaxReach, -MaxReach, MaxReach, MaxReach).contains(reach)) {
            painter.fillPath(area, brush);
            return;
        }
        canvas.spend(area.elementCount() * 16);
        brush.setTransform(brush.transform() * t);
        painter.resetTransform();
        painter.fillPath(t.map(area).intersected(universe()), brush);
    }

    void stroke(const QPainterPath &path, const Pen &p) {
        if (path.isEmpty())
            return;
        QPen q = qpen(p, full());
        // Qt caps both ends alike: ends that differ, and triangles, are drawn here.
        const bool ownCaps = q.style() == Qt::SolidLine && !q.isCosmetic() &&
                             (p.startCap != p.endCap || p.startCap == 3);
        if (ownCaps)
            q.setCapStyle(Qt::FlatCap);
        const double margin = q.widthF() * std::max(1.0, p.miterLimit) + worldPerDevicePixel();
        if (!begin(path.controlPointRect(), margin))
            return;
        canvas.spend(path.elementCount() * (q.style() == Qt::SolidLine ? 1 : 8));
        // An inset line of a closed figure: twice as wide, and only its inner half kept.
        const QPointF first = path.pointAtPercent(0), last = path.pointAtPercent(1);
        const bool closed = QLineF(first, last).length() <= 1e-9;
        if (p.inset && closed && !q.isCosmetic()) {
            q.setWidthF(q.widthF() * 2);
            painter.setClipPath(path, Qt::IntersectClip);
        }
        const QRectF reach = painter.transform().mapRect(path.controlPointRect());
        if (q.isCosmetic() ||
            target.adjusted(-MaxReach, -MaxReach, MaxReach, MaxReach).contains(reach)) {
            painter.strokePath(path, q);
        } else {
            QPainterPathStroker stroker(q);
            fillArea(stroker.createStroke(path), q.brush());
        }
        // Closed figures have no ends to cap.
        const double w = q.widthF() > 0 ? q.widthF() : worldPerDevicePixel();
        if (path.elementCount() > 1 && !closed) {
            capShape(p.startCap, first, path.angleAtPercent(0) + 180, w, q.brush(), ownCaps);
            capShape(p.endCap, last, path.angleAtPercent(1), w, q.brush(), ownCaps);
        }
        end();
    }

    // The cap of a line's end that `angle` (degrees, counter-clockwise as Qt counts) leads out
    // of: the anchors (a square, circle, diamond or arrow head), and with `plain` the square,
    // round and triangle caps, half a line width out.
    void capShape(int cap, QPointF at, double angle, double width, const QBrush &brush,
                  bool plain) {
        const bool anchor = cap >= 0x11 && cap <= 0x14;
        if (!anchor && !(plain && cap >= 1 && cap <= 3))
            return;
        const double radians = qDegreesToRadians(angle);
        const QPointF u(std::cos(radians), -std::sin(radians)), n(-u.y(), u.x());
        QPainterPath shape;
        const double half = width / 2;
        switch (cap) {
        case 1:
            shape.addPolygon(QPolygonF(
                {at + n * half, at + (n + u) * half, at + (u - n) * half, at - n * half}));
            break;
        case 2:
            shape.addEllipse(at, half, half);
            break;
        case 3:
            shape.addPolygon(QPolygonF({at + n * half, at + u * half, at - n * half}));
            break;
        case 0x11:
            shape.addPolygon(QPolygonF({at + (u + n) * width, at + (u - n) * width,
                                        at - (u + n) * width, at - (u - n) * width}));
            break;
        case 0x12:
            shape.addEllipse(at, width, width);
            break;
        case 0x13:
            shape.addPolygon(
                QPolygonF({at + u * width, at + n * width, at - u * width, at - n * width}));
            break;
        default:
            shape.addPolygon(
                QPolygonF({at, at - u * 2 * width + n * width, at - u * 2 * width - n * width}));
            break;
        }
        shape.closeSubpath();
        painter.fillPath(shape, brush);
    }

    QPainterPath universe() const {
        QPainterPath p;
        p.addRect(target.adjusted(-2, -2, 2, 2));
        return p;
    }

    // Combines `area` (picture pixels) into the clip by the GDI+ combine mode.
    void combineClip(const QPainterPath &area, int mode) {
        const QPainterPath current = s.clip ? *s.clip : universe();
        const qint64 cost = qint64(current.elementCount() + 1) * (area.elementCount() + 1);
        if (mode != 0 && cost > MaxClipOperation)
            return;
        canvas.spend(cost / 16 + 1);
        switch (mode) {
        case 0:
            s.clip = area;
            break;
        case 1:
            s.clip = current.intersected(area);
            break;
        case 2:
            if (s.clip)
                s.clip = current.united(area);
            break;
        case 3:
            s.clip = current.united(area).subtracted(current.intersected(area));
            break;
        case 4:
            s.clip = current.subtracted(area);
            break;
        case 5:
            s.clip = area.subtracted(current);
            break;
        default:
            break;
        }
    }

    QPainterPath regionPath(const Region &region) const {
        return region.infinite ? full().inverted().map(universe()) : region.path;
    }

    void transformRecord(quint16 type, quint16 flags, ByteReader &r) {
        QTransform m;
        switch (type) {
        case SetWorldTransform:
            // A matrix that cannot be inverted is refused, and the transform stays.
            m = readMatrix(r);
            if (r.ok() && usable(m))
                s.world = m;
            return;
        case ResetWorldTransform:
            s.world = QTransform();
            return;
        case MultiplyWorldTransform:
            m = readMatrix(r);
            break;
        case TranslateWorldTransform: {
            const double dx = finite(r.f32()), dy = finite(r.f32());
            m = QTransform::fromTranslate(dx, dy);
            break;
        }
        case ScaleWorldTransform: {
            const double sx = finite(r.f32()), sy = finite(r.f32());
            m = QTransform::fromScale(sx, sy);
            break;
        }
        case RotateWorldTransform:
            m.rotate(finite(r.f32()));
            break;
        default:
            return;
        }
        if (!r.ok() || !usable(m))
            return;
        // The append flag puts the new matrix after the present one.
        s.world = flags & Flag2000 ? s.world * m : m * s.world;
    }

    void drawString(quint16 flags, ByteReader &r) {
        const quint32 brushValue = r.u32();
        const quint32 formatId = r.u32();
        const quint32 length = r.u32();
        const QRectF layout = readRectF(r, false);
        if (!r.ok() || quint64(length) * 2 > quint64(r.remaining()))
            return;
        // Longer text than a picture can show is cut, so that laying it out stays quick.
        QString text(qsizetype(std::min(length, MaxTextLength)), Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(r.u16());
        const Object *fontObject = object(flags & 0xff);
        const auto *font = fontObject ? std::get_if<Font>(fontObject) : nullptr;
        const auto b = brush(flags, brushValue);
        if (!font || !b || text.isEmpty())
            return;
        // Without a format of its own, text keeps a sixth of an em clear on either side.
        StringFormat format;
        format.leadingMargin = format.trailingMargin = 1.0 / 6;
        if (const Object *o = object(formatId))
            if (const auto *f = std::get_if<StringFormat>(o))
                format = *f;
        const double em = emInWorld(*font);
        if (em <= 0)
            return;
        const double k = em / ReferenceFontPixels;
        const QRectF bounds =
            layout.width() > 0 && layout.height() > 0
                ? layout
                : QRectF(layout.topLeft(), QSizeF(0, 0))
                      .adjusted(-em * text.size(), -em * 4, em * text.size(), em * 4);
        if (!begin(bounds, em))
            return;
        canvas.spend(text.size() * 16);
        const QString shown = setFont(*font, text);
        painter.setPen(QPen(qbrush(*b, full()), 0));
        painter.setTransform(QTransform::fromScale(k, k) * full());
        const bool rtl = format.flags & 0x1;
        const auto horizontal = [&](quint32 a) {
            if (a == 1)
                return Qt::AlignHCenter;
            return (a == 2) != rtl ? Qt::AlignRight : Qt::AlignLeft;
        };
        const auto vertical = [](quint32 a) {
            return a == 1 ? Qt::AlignVCenter : a == 2 ? Qt::AlignBottom : Qt::AlignTop;
        };
        int textFlags = horizontal(format.alignment) | vertical(format.lineAlignment);
        QRectF box(layout.x() / k, layout.y() / k, layout.width() / k, layout.height() / k);
        const double lead = format.leadingMargin * ReferenceFontPixels;
        const double trail = format.trailingMargin * ReferenceFontPixels;
        const double far = 1e6;
        if (box.width() <= 0) {
            const double x = box.x() + (format.alignment == 2 ? -trail : lead);
            box.setLeft(format.alignment == 1 ? x - far : format.alignment == 2 ? x - 2 * far : x);
            box.setWidth(2 * far);
            textFlags |= Qt::TextDontClip;
        } else {
            box.adjust(lead, 0, -trail, 0);
            if (!(format.flags & 0x1000))
                textFlags |= Qt::TextWordWrap;
        }
        if (box.height() <= 0) {
            const double y = box.y();
            box.setTop(format.lineAlignment == 1   ? y - far
                       : format.lineAlignment == 2 ? y - 2 * far
                                                   : y);
            box.setHeight(2 * far);
            textFlags |= Qt::TextDontClip;
        }
        if (format.flags & 0x4000)
            textFlags |= Qt::TextDontClip;
        painter.drawText(box, textFlags, shown);
        end();
    }

    void drawDriverString(quint16 flags, ByteReader &r) {
        const quint32 brushValue = r.u32();
        const quint32 options = r.u32();
        const quint32 matrixPresent = r.u32();
        const quint32 count = r.u32();
        if (!r.ok() || count > MaxTextLength || quint64(count) * 10 > quint64(r.remaining()))
            return;
        QString text(qsizetype(count), Qt::Uninitialized);
        for (quint32 i = 0; i < count; ++i)
            text[i] = QChar(r.u16());
        const auto positions = readPoints(r, count, false, false);
        QTransform matrix;
        if (matrixPresent)
            matrix = readMatrix(r);
        const Object *fontObject = object(flags & 0xff);
        const auto *font = fontObject ? std::get_if<Font>(fontObject) : nullptr;
        const auto b = brush(flags, brushValue);
        // Glyph numbers of a face we do not have would show the wrong letters.
        if (!r.ok() || !positions || !font || !b || count == 0 || !(options & 0x1) ||
            !usable(matrix))
            return;
        const double em = emInWorld(*font);
        if (em <= 0)
            return;
        QRectF bounds;
        for (const QPointF &p : *positions)
            bounds |= QRectF(p, QSizeF(0, 0)).adjusted(-0.01, -0.01, 0.01, 0.01);
        if (!begin(matrix.mapRect(bounds), em * 2))
            return;
        canvas.spend(count * 16);
        const QString shown = setFont(*font, text);
        const double k = em / ReferenceFontPixels;
        painter.setPen(QPen(qbrush(*b, full()), 0));
        painter.setTransform(QTransform::fromScale(k, k) * matrix * full());
        if (options & 0x4 || shown.size() != text.size()) {
            painter.drawText(positions->first() / k, shown);
        } else {
            for (quint32 i = 0; i < count; ++i)
                painter.drawText((*positions)[i] / k, QString(shown[i]));
        }
        end();
    }

    // A font's em in world units: World, Display and Pixel sizes count page units, the others
    // are turned into device pixels and those into page units.
    double emInWorld(const Font &f) const {
        double em = f.emSize;
        if (f.unit > 2) {
            const double page = s.pageScale * unitScale(s.pageUnit, dpiY);
            em *= page > 0 ? unitScale(f.unit, dpiY) / page : 0;
        }
        return std::isfinite(em) && em < MaxCoordinate ? em : 0;
    }

    // Sets the painter's font at the reference size; returns the text as its face shows it.
    QString setFont(const Font &f, const QString &text) {
        metafile::loadFaceFiles();
        const metafile::FaceChoice face = metafile::chooseFace(f.family, 1);
        QFont q;
        q.setFamilies(face.families);
        q.setPixelSize(ReferenceFontPixels);
        q.setBold(f.style & 1);
        q.setItalic(f.style & 2);
        q.setUnderline(f.style & 4);
        q.setStrikeOut(f.style & 8);
        q.setHintingPreference(QFont::PreferNoHinting);
        painter.setFont(q);
        return metafile::glyphText(text, face.encoding);
    }

    void drawImage(quint16 type, quint16 flags, ByteReader &r) {
        const Object *o = object(flags & 0xff);
        const auto *image = o ? std::get_if<Image>(o) : nullptr;
        r.u32(); // image attributes
        const quint32 unit = r.u32();
        QRectF source = readRectF(r, false);
        QPointF p0, p1, p2;
        if (type == DrawImagePoints) {
            const quint32 count = r.u32();
            if (count != 3)
                return;
            const auto points = readPoints(r, 3, flags & Compressed, flags & Relative);
            if (!points)
                return;
            p0 = (*points)[0];
            p1 = (*points)[1];
            p2 = (*points)[2];
        } else {
            const QRectF dest = readRectF(r, flags & Compressed);
            p0 = dest.topLeft();
            p1 = dest.topRight();
            p2 = dest.bottomLeft();
        }
        if (!r.ok() || !image)
            return;
        // Source rectangles count a metafile's own device pixels, a bitmap's pixels.
        const double sx =
            image->units.width() > 0 ? image->image.width() / image->units.width() : 1;
        const double sy =
            image->units.height() > 0 ? image->image.height() / image->units.height() : 1;
        const double scale = unit > 2 ? unitScale(unit, 96) : 1;
        source = QRectF(source.x() * scale * sx, source.y() * scale * sy,
                        source.width() * scale * sx, source.height() * scale * sy);
        if (source.width() == 0 || source.height() == 0)
            return;
        const QRectF clipped = source.normalized() & QRectF(image->image.rect());
        if (clipped.isEmpty())
            return;
        const double m11 = (p1 - p0).x() / source.width(), m12 = (p1 - p0).y() / source.width();
        const double m21 = (p2 - p0).x() / source.height(), m22 = (p2 - p0).y() / source.height();
        const QTransform place(m11, m12, m21, m22, p0.x() - source.x() * m11 - source.y() * m21,
                               p0.y() - source.x() * m12 - source.y() * m22);
        if (!usable(place))
            return;
        const QRectF bounds = QPolygonF({p0, p1, p2, p1 + p2 - p0}).boundingRect();
        if (!begin(bounds, 0))
            return;
        painter.setTransform(place * full());
        painter.drawImage(clipped, image->image, clipped);
        end();
    }

    void objectRecord(quint16 flags, QByteArrayView data) {
        const int slot = flags & 0xff;
        const int type = (flags >> 8) & 0x7f;
        QByteArray whole;
        if (flags & 0x8000) {
            ByteReader r(data);
            const quint32 total = r.u32();
            if (!r.ok())
                return;
            const QByteArrayView chunk = data.sliced(4);
            if (!pending || pending->slot != slot || pending->type != type ||
                pending->total != total) {
                pending.reset();
                if (total == 0 || total > fileBytes)
                    return;
                pending = Pending{slot, type, total, {}};
            }
            if (quint64(pending->data.size()) + chunk.size() > pending->total) {
                pending.reset();
                return;
            }
            pending->data.append(chunk);
            canvas.spend(chunk.size() / 64);
            // Some writers keep the flag on the last chunk too: the byte count says when the
            // object is whole.
            if (pending->data.size() < qsizetype(pending->total))
                return;
            whole = std::move(pending->data);
            pending.reset();
        } else if (pending && pending->slot == slot && pending->type == type) {
            if (quint64(pending->data.size()) + data.size() > pending->total) {
                pending.reset();
                return;
            }
            whole = std::move(pending->data) + data.toByteArray();
            pending.reset();
        } else {
            pending.reset();
            whole = data.toByteArray();
        }
        if (slot >= Slots)
            return;
        canvas.spend(whole.size() / 64 + 1);
        budget.work = 0;
        auto parsed = readObject(ObjectType(type), whole, budget);
        canvas.spend(budget.work);
        objects[std::size_t(slot)] = parsed ? std::move(*parsed) : Object();
    }

    void play(quint16 type, quint16 flags, QByteArrayView data) {
        ByteReader r(data);
        switch (type) {
        case Header: {
            r.u32();
            display = r.u32() & 1;
            const quint32 x = r.u32(), y = r.u32();
            if (r.ok() && x >= 10 && x <= 10000 && y >= 10 && y <= 10000) {
                dpiX = x;
                dpiY = y;
            }
            break;
        }
        case ObjectRecord:
            objectRecord(flags, data);
            break;
        case Clear: {
            const QRgb color = argb(r.u32());
            if (!r.ok() || !begin(full().inverted().mapRect(target), 0))
                break;
            painter.resetTransform();
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(target, QColor::fromRgba(color));
            end();
            break;
        }
        case FillRects:
        case DrawRects: {
            const quint32 value = type == FillRects ? r.u32() : 0;
            const quint32 count = r.u32();
            const quint64 each = flags & Compressed ? 8 : 16;
            if (!r.ok() || quint64(count) * each > quint64(r.remaining()))
                break;
            QPainterPath path;
            for (quint32 i = 0; i < count; ++i)
                path.addRect(readRectF(r, flags & Compressed));
            if (type == FillRects) {
                if (const auto b = brush(flags, value))
                    fill(path, *b);
            } else if (const Pen *p = pen(flags & 0xff)) {
                stroke(path, *p);
            }
            break;
        }
        case FillPolygon:
        case DrawLines:
        case DrawBeziers: {
            const quint32 value = type == FillPolygon ? r.u32() : 0;
            const quint32 count = r.u32();
            const auto points = readPoints(r, count, flags & Compressed, flags & Relative);
            if (!r.ok() || !points || points->isEmpty())
                break;
            QPainterPath path;
            if (type == DrawBeziers) {
                path.moveTo(points->first());
                for (qsizetype i = 1; i + 2 < points->size(); i += 3)
                    path.cubicTo((*points)[i], (*points)[i + 1], (*points)[i + 2]);
            } else {
                path.addPolygon(QPolygonF(*points));
                if (type == FillPolygon || flags & Flag2000)
                    path.closeSubpath();
            }
            if (type == FillPolygon) {
                if (const auto b = brush(flags, value))
                    fill(path, *b);
            } else if (const Pen *p = pen(flags & 0xff)) {
                stroke(path, *p);
            }
            break;
        }
        case FillEllipse:
        case DrawEllipse:
        case FillPie:
        case DrawPie:
        case DrawArc: {
            const bool filled = type == FillEllipse || type == FillPie;
            const quint32 value = filled ? r.u32() : 0;
            double start = 0, sweep = 360;
            if (type == FillPie || type == DrawPie || type == DrawArc) {
                start = finite(r.f32());
                sweep = std::clamp(finite(r.f32()), -3600.0, 3600.0);
            }
            const QRectF box = readRectF(r, flags & Compressed);
            if (!r.ok())
                break;
            QPainterPath path;
            if (type == FillEllipse || type == DrawEllipse) {
                path.addEllipse(box);
            } else if (type == DrawArc) {
                path.arcMoveTo(box, -start);
                path.arcTo(box, -start, -sweep);
            } else {
                path.moveTo(box.center());
                path.arcTo(box, -start, -sweep);
                path.closeSubpath();
            }
            if (filled) {
                if (const auto b = brush(flags, value))
                    fill(path, *b);
            } else if (const Pen *p = pen(flags & 0xff)) {
                stroke(path, *p);
            }
            break;
        }
        case FillRegion: {
            const Object *o = object(flags & 0xff);
            const auto *region = o ? std::get_if<Region>(o) : nullptr;
            const auto b = brush(flags, r.u32());
            if (r.ok() && region && b)
                fill(regionPath(*region), *b);
            break;
        }
        case FillPath:
        case DrawPath: {
            const Object *o = object(flags & 0xff);
            const auto *path = o ? std::get_if<QPainterPath>(o) : nullptr;
            const quint32 value = r.u32();
            if (!r.ok() || !path)
                break;
            if (type == FillPath) {
                if (const auto b = brush(flags, value))
                    fill(*path, *b);
            } else if (const Pen *p = pen(value)) {
                stroke(*path, *p);
            }
            break;
        }
        case FillClosedCurve:
        case DrawClosedCurve:
        case DrawCurve: {
            const quint32 value = type == FillClosedCurve ? r.u32() : 0;
            const double tension = std::clamp(finite(r.f32()), 0.0, 100.0);
            quint32 offset = 0, segments = 0;
            if (type == DrawCurve) {
                offset = r.u32();
                segments = r.u32();
            }
            const quint32 count = r.u32();
            const auto points =
                readPoints(r, count, flags & Compressed, type != DrawCurve && flags & Relative);
            if (!r.ok() || !points || points->size() < 2 || offset >= count)
                break;
            QPainterPath path =
                curvePath(*points, tension, type != DrawCurve, int(offset), int(segments));
            if (type == FillClosedCurve) {
                path.setFillRule(flags & Flag2000 ? Qt::WindingFill : Qt::OddEvenFill);
                if (const auto b = brush(flags, value))
                    fill(path, *b);
            } else if (const Pen *p = pen(flags & 0xff)) {
                stroke(path, *p);
            }
            break;
        }
        case DrawImage:
        case DrawImagePoints:
            drawImage(type, flags, r);
            break;
        case DrawString:
            drawString(flags, r);
            break;
        case DrawDriverString:
            drawDriverString(flags, r);
            break;
        case SetAntiAliasMode:
            s.antialias = flags & 1;
            break;
        case SetTextRenderingHint: {
            const int hint = flags & 0xff;
            s.textAntialias = hint != 1 && hint != 2;
            break;
        }
        case SetInterpolationMode:
            s.smoothImages = (flags & 0xff) != 5;
            break;
        case SetCompositingMode:
            s.sourceCopy = (flags & 0xff) == 1;
            break;
        case Save:
        case BeginContainer:
        case BeginContainerNoParams: {
            QRectF dest, source;
            if (type == BeginContainer) {
                dest = readRectF(r, false);
                source = readRectF(r, false);
            }
            const quint32 index = r.u32();
            if (!r.ok() || saved.size() >= MaxSavedStates)
                break;
            saved.emplace_back(index, s);
            if (type == Save)
                break;
            // Within a container the world starts afresh, placed by the container.
            s.container = s.world * s.container;
            s.world = QTransform();
            if (type == BeginContainer && source.width() != 0 && source.height() != 0) {
                const double unitScaleSource = unitScale((flags >> 8) & 0xff, dpiX);
                const double sx = dest.width() / (source.width() * unitScaleSource);
                const double sy = dest.height() / (source.height() * unitScaleSource);
                const QTransform place = QTransform::fromTranslate(-source.x() * unitScaleSource,
                                                                   -source.y() * unitScaleSource) *
                                         QTransform::fromScale(sx, sy) *
                                         QTransform::fromTranslate(dest.x(), dest.y());
                if (usable(place))
                    s.container = place * s.container;
            }
            break;
        }
        case Restore:
        case EndContainer: {
            const quint32 index = r.u32();
            for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
                if (it->first == index) {
                    s = it->second;
                    saved.erase(std::prev(it.base()), saved.end());
                    break;
                }
            }
            break;
        }
        case SetWorldTransform:
        case ResetWorldTransform:
        case MultiplyWorldTransform:
        case TranslateWorldTransform:
        case ScaleWorldTransform:
        case RotateWorldTransform:
            transformRecord(type, flags, r);
            break;
        case SetPageTransform: {
            const double scale = finite(r.f32());
            if (r.ok() && scale > 0) {
                s.pageUnit = flags & 0xff;
                s.pageScale = scale;
            }
            break;
        }
        case ResetClip:
            s.clip.reset();
            break;
        case SetClipRect: {
            const QRectF box = readRectF(r, false);
            if (!r.ok())
                break;
            QPainterPath path;
            path.addRect(box.normalized());
            combineClip(full().map(path), (flags >> 8) & 0xf);
            break;
        }
        case SetClipPath:
        case SetClipRegion: {
            const Object *o = object(flags & 0xff);
            if (!o)
                break;
            if (const auto *path = std::get_if<QPainterPath>(o))
                combineClip(full().map(*path), (flags >> 8) & 0xf);
            else if (const auto *region = std::get_if<Region>(o))
                combineClip(region->infinite ? universe() : full().map(region->path),
                            (flags >> 8) & 0xf);
            break;
        }
        case OffsetClip: {
            const double dx = finite(r.f32()), dy = finite(r.f32());
            if (r.ok() && s.clip) {
                const QTransform t = full();
                s.clip->translate(t.map(QPointF(dx, dy)) - t.map(QPointF(0, 0)));
            }
            break;
        }
        default:
            break;
        }
    }
};

Player::Player(MetafileCanvas &canvas, const QTransform &deviceToPicture, qint64 fileBytes)
    : m(std::make_unique<Impl>(canvas, deviceToPicture, fileBytes)) {
    startPicture();
}

Player::~Player() = default;

void Player::play(QByteArrayView records) {
    ByteReader r(records);
    while (r.remaining() >= 12) {
        const quint16 type = r.u16();
        const quint16 flags = r.u16();
        const quint32 size = r.u32();
        const quint32 dataSize = r.u32();
        if (size < 12 || size - 12 > quint64(r.remaining())) {
            m_broken = true;
            break;
        }
        const QByteArrayView payload = r.bytes(size - 12);
        m_getDC = type == GetDC;
        if (type != ObjectRecord)
            m->pending.reset();
        m->canvas.spend(1);
        if (m->canvas.exhausted())
            break;
        if (type == Header) {
            m_seen = true;
            m_dual = flags & 1;
        }
        if (type == EndOfFile)
            continue;
        // A record whose data would overrun it is skipped.
        if (!m_seen || dataSize > payload.size())
            continue;
        m->play(type, flags, payload.first(dataSize));
    }
    m_drawings = m->drawings;
}

} // namespace picture::emfplus
