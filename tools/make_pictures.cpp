// Draws the pictures the windows show and writes them in the forms resources.qrc lists, or the
// sample pictures a newcomer first opens (one of every kind the file list offers):
//   make_pictures OUTDIR
//   make_pictures --samples OUTDIR
// The output is the same, byte for byte, on every run: no fonts, no clock, one seeded generator.

#include "tools/picture_writers.h"

#include <QBuffer>
#include <QColor>
#include <QConicalGradient>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QTextStream>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// The light grey of a dialog's panel, which the GIFs' transparent pixels show and the bitmap's
// corners are painted in.
constexpr QRgb PanelGrey = 0xFFF0F0F0;

QColor hex(QRgb rgb, int alpha = 255) {
    QColor c = QColor::fromRgb(rgb);
    c.setAlpha(alpha);
    return c;
}

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter &p) {
    p.setRenderHint(QPainter::Antialiasing);
}

QLinearGradient vertical(qreal top, qreal bottom,
                         std::initializer_list<std::pair<qreal, QColor>> stops) {
    QLinearGradient g(0, top, 0, bottom);
    for (const auto &[at, colour] : stops)
        g.setColorAt(at, colour);
    return g;
}

// A polygon whose corners are rounded by `radius` (less where an edge is short).
QPainterPath roundedPolygon(const QList<QPointF> &points, qreal radius) {
    QPainterPath path;
    const qsizetype n = points.size();
    auto towards = [](QPointF from, QPointF to, qreal distance) {
        const QPointF d = to - from;
        const qreal length = std::sqrt(d.x() * d.x() + d.y() * d.y());
        const qreal t = std::min(distance, length / 2) / length;
        return from + d * t;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF corner = points[i];
        const QPointF in = towards(corner, points[(i + n - 1) % n], radius);
        const QPointF out = towards(corner, points[(i + 1) % n], radius);
        if (i == 0)
            path.moveTo(in);
        else
            path.lineTo(in);
        path.quadTo(corner, out);
    }
    path.closeSubpath();
    return path;
}

// The sheen across the upper part of a rounded shape, as if lit from above.
void gloss(QPainter &p, const QPainterPath &shape, const QRectF &area, int strength) {
    p.save();
    p.setClipPath(shape, Qt::IntersectClip);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(area.top(), area.bottom(),
                        {{0.0, hex(0xFFFFFF, strength)}, {1.0, hex(0xFFFFFF, 0)}}));
    p.drawEllipse(area);
    p.restore();
}

// A round button: a radial gradient lit from the upper left, a darker rim and a sheen.
struct ButtonColours {
    QRgb light, middle, dark, outline;
};

void roundButton(QPainter &p, QPointF centre, qreal radius, const ButtonColours &colours) {
    QPainterPath shape;
    shape.addEllipse(centre, radius, radius);
    QRadialGradient fill(centre + QPointF(-radius * 0.35, -radius * 0.5), radius * 1.45);
    fill.setColorAt(0.0, hex(colours.light));
    fill.setColorAt(0.5, hex(colours.middle));
    fill.setColorAt(1.0, hex(colours.dark));
    p.setPen(QPen(hex(colours.outline), 1.0));
    p.setBrush(fill);
    p.drawPath(shape);
    gloss(
        p, shape,
        QRectF(centre.x() - radius * 0.74, centre.y() - radius * 0.94, radius * 1.48, radius * 1.0),
        150);
}

// --- The program's icon: a silver compact camera with a blue lens, drawn for each size ---

struct CameraLayout {
    int size;
    QRectF body;
    qreal corner;
    QRectF shutter;
    QRectF flash; // empty: too small to show
    QRectF finder;
    QPointF lens;
    qreal barrel, rim, glass;
    QRgb outline;
};

QImage camera(const CameraLayout &c, qreal line = 1.0) {
    QImage image = canvas(c.size, c.size);
    QPainter p(&image);
    prepare(p);

    // The shutter button first, so the body's top edge overlaps its foot.
    p.setPen(QPen(hex(c.outline), line));
    p.setBrush(vertical(c.shutter.top(), c.shutter.bottom(),
                        {{0.0, hex(0xFFFFFF)}, {1.0, hex(0xAEB6BF)}}));
    p.drawRoundedRect(c.shutter, c.shutter.height() / 3, c.shutter.height() / 3);

    QPainterPath body;
    body.addRoundedRect(c.body, c.corner, c.corner);
    p.setBrush(vertical(c.body.top(), c.body.bottom(),
                        {{0.0, hex(0xFBFCFD)},
                         {0.42, hex(0xDFE4E9)},
                         {0.58, hex(0xCAD1D8)},
                         {1.0, hex(0x9AA4AE)}}));
    p.drawPath(body);
    if (c.size >= 32) {
        // A bright line just inside the top edge reads as brushed metal catching the light.
        p.save();
        p.setClipPath(body);
        p.setPen(QPen(hex(0xFFFFFF, 200), line));
        p.drawLine(QPointF(c.body.left() + c.corner, c.body.top() + line),
                   QPointF(c.body.right() - c.corner, c.body.top() + line));
        p.restore();
    }

    if (!c.flash.isEmpty()) {
        p.setPen(QPen(hex(0x7C858F), line));
        p.setBrush(vertical(c.flash.top(), c.flash.bottom(),
                            {{0.0, hex(0xFFFFFF)}, {1.0, hex(0xD8E4EE)}}));
        p.drawRect(c.flash);
    }
    if (!c.finder.isEmpty()) {
        p.setPen(QPen(hex(0x4A535C), line));
        p.setBrush(vertical(c.finder.top(), c.finder.bottom(),
                            {{0.0, hex(0x5E7A96)}, {1.0, hex(0x1E2A38)}}));
        p.drawRect(c.finder);
    }

    // The lens: a silver barrel, darker at the top where it recedes into the body, a dark
    // mount and the blue glass. At the smallest size a shaded barrel turns to mud, so there it
    // is a flat bright ring.
    p.setPen(QPen(hex(c.outline), line));
    if (c.size >= 32)
        p.setBrush(vertical(c.lens.y() - c.barrel, c.lens.y() + c.barrel,
                            {{0.0, hex(0x87919B)}, {0.5, hex(0xC7CED5)}, {1.0, hex(0xF6F8FA)}}));
    else
        p.setBrush(hex(0xE4E8EC));
    p.drawEllipse(c.lens, c.barrel, c.barrel);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(c.lens.y() - c.rim, c.lens.y() + c.rim,
                        {{0.0, hex(0x0E141B)}, {1.0, hex(0x33404E)}}));
    p.drawEllipse(c.lens, c.rim, c.rim);
    QRadialGradient glass(c.lens + QPointF(-c.glass * 0.3, -c.glass * 0.4), c.glass * 1.35);
    glass.setColorAt(0.0, hex(0xCFEBFF));
    glass.setColorAt(0.3, hex(0x5FAEF5));
    glass.setColorAt(0.7, hex(0x1C5FC4));
    glass.setColorAt(1.0, hex(0x0A2B6B));
    p.setBrush(glass);
    p.drawEllipse(c.lens, c.glass, c.glass);

    const qreal g = c.glass;
    p.setBrush(hex(0xFFFFFF, c.size >= 32 ? 210 : 235));
    if (c.size >= 32) {
        p.drawEllipse(QRectF(c.lens.x() - g * 0.62, c.lens.y() - g * 0.7, g * 0.62, g * 0.42));
        p.setBrush(hex(0xFFFFFF, 110));
        p.drawEllipse(c.lens + QPointF(g * 0.42, g * 0.42), g * 0.16, g * 0.16);
    } else {
        p.drawEllipse(QRectF(c.lens.x() - 2.0, c.lens.y() - 2.0, 1.6, 1.4));
    }
    return image;
}

const std::vector<CameraLayout> &cameraLayouts() {
    static const std::vector<CameraLayout> layouts{
        {16, QRectF(0.5, 5.5, 15, 9), 2.0, QRectF(10.5, 3.5, 3, 3), QRectF(), QRectF(),
         QPointF(8, 10), 4.5, 3.4, 2.7, 0xFF454D56},
        {32, QRectF(1.5, 8.5, 29, 20), 3.5, QRectF(20.5, 5.5, 7, 4), QRectF(3.5, 11.5, 5, 3),
         QRectF(25.5, 11.5, 3, 2), QPointF(16, 18.5), 8.5, 6.7, 5.3, 0xFF56606A},
        {48, QRectF(2.5, 12.5, 43, 29), 5.0, QRectF(30.5, 8.5, 10, 5), QRectF(5.5, 16.5, 8, 5),
         QRectF(37.5, 16.5, 5, 3), QPointF(24, 27), 12.5, 10.0, 8.0, 0xFF5A636C},
    };
    return layouts;
}

// The 48-pixel camera drawn at a larger size: the same shapes and lines, scaled as vectors
// before they are drawn, so edges stay sharp.
QImage largeCamera(int size) {
    const CameraLayout &layout = cameraLayouts().back();
    CameraLayout scaled = layout;
    const qreal k = size / qreal(layout.size);
    auto rect = [k](const QRectF &r) {
        return QRectF(r.x() * k, r.y() * k, r.width() * k, r.height() * k);
    };
    scaled.size = size;
    scaled.body = rect(layout.body);
    scaled.corner = layout.corner * k;
    scaled.shutter = rect(layout.shutter);
    scaled.flash = rect(layout.flash);
    scaled.finder = rect(layout.finder);
    scaled.lens = layout.lens * k;
    scaled.barrel = layout.barrel * k;
    scaled.rim = layout.rim * k;
    scaled.glass = layout.glass * k;
    return camera(scaled, k);
}

QByteArray pngFile(const QImage &image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return {};
    return bytes;
}

// The camera as an SVG of the 48-pixel layout, for desktops that scale the icon to any size.
QByteArray cameraSvg() {
    const CameraLayout &c = cameraLayouts().back();
    QString svg;
    QTextStream out(&svg);
    out.setRealNumberPrecision(4);
    auto colour = [](QRgb rgb) {
        return QStringLiteral("#%1").arg(uint(rgb & 0xFFFFFF), 6, 16, QLatin1Char('0'));
    };
    auto linear = [&](const char *id, qreal top, qreal bottom,
                      std::initializer_list<std::pair<qreal, QRgb>> stops) {
        out << "    <linearGradient id=\"" << id
            << "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" << top << "\" x2=\"0\" y2=\""
            << bottom << "\">\n";
        for (const auto &[at, rgb] : stops)
            out << "      <stop offset=\"" << at << "\" stop-color=\"" << colour(rgb) << "\"/>\n";
        out << "    </linearGradient>\n";
    };
    const QPointF focus = c.lens + QPointF(-c.glass * 0.3, -c.glass * 0.4);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" "
           "viewBox=\"0 0 48 48\">\n"
        << "  <title>Glimra</title>\n  <defs>\n";
    linear("shutter", c.shutter.top(), c.shutter.bottom(), {{0.0, 0xFFFFFF}, {1.0, 0xAEB6BF}});
    linear("body", c.body.top(), c.body.bottom(),
           {{0.0, 0xFBFCFD}, {0.42, 0xDFE4E9}, {0.58, 0xCAD1D8}, {1.0, 0x9AA4AE}});
    linear("flash", c.flash.top(), c.flash.bottom(), {{0.0, 0xFFFFFF}, {1.0, 0xD8E4EE}});
    linear("finder", c.finder.top(), c.finder.bottom(), {{0.0, 0x5E7A96}, {1.0, 0x1E2A38}});
    linear("barrel", c.lens.y() - c.barrel, c.lens.y() + c.barrel,
           {{0.0, 0x87919B}, {0.5, 0xC7CED5}, {1.0, 0xF6F8FA}});
    linear("rim", c.lens.y() - c.rim, c.lens.y() + c.rim, {{0.0, 0x0E141B}, {1.0, 0x33404E}});
    out << "    <radialGradient id=\"glass\" gradientUnits=\"userSpaceOnUse\" cx=\"" << focus.x()
        << "\" cy=\"" << focus.y() << "\" r=\"" << c.glass * 1.35 << "\">\n";
    for (const auto &[at, rgb] : std::initializer_list<std::pair<qreal, QRgb>>{
             {0.0, 0xCFEBFF}, {0.3, 0x5FAEF5}, {0.7, 0x1C5FC4}, {1.0, 0x0A2B6B}})
        out << "      <stop offset=\"" << at << "\" stop-color=\"" << colour(rgb) << "\"/>\n";
    out << "    </radialGradient>\n  </defs>\n";
    auto rect = [&](const QRectF &r, qreal radius, const char *fill, QRgb stroke) {
        out << "  <rect x=\"" << r.x() << "\" y=\"" << r.y() << "\" width=\"" << r.width()
            << "\" height=\"" << r.height() << "\" rx=\"" << radius << "\" fill=\"url(#" << fill
            << ")\" stroke=\"" << colour(stroke) << "\"/>\n";
    };
    auto circle = [&](qreal r, const char *fill, const QString &stroke) {
        out << "  <circle cx=\"" << c.lens.x() << "\" cy=\"" << c.lens.y() << "\" r=\"" << r
            << "\" fill=\"url(#" << fill << ")\" stroke=\"" << stroke << "\"/>\n";
    };
    rect(c.shutter, c.shutter.height() / 3, "shutter", c.outline);
    rect(c.body, c.corner, "body", c.outline);
    out << "  <line x1=\"" << c.body.left() + c.corner << "\" y1=\"" << c.body.top() + 1
        << "\" x2=\"" << c.body.right() - c.corner << "\" y2=\"" << c.body.top() + 1
        << "\" stroke=\"#ffffff\" stroke-opacity=\"0.784\"/>\n";
    rect(c.flash, 0, "flash", 0x7C858F);
    rect(c.finder, 0, "finder", 0x4A535C);
    circle(c.barrel, "barrel", colour(c.outline));
    circle(c.rim, "rim", QStringLiteral("none"));
    circle(c.glass, "glass", QStringLiteral("none"));
    const qreal g = c.glass;
    out << "  <ellipse cx=\"" << c.lens.x() - g * 0.31 << "\" cy=\"" << c.lens.y() - g * 0.49
        << "\" rx=\"" << g * 0.31 << "\" ry=\"" << g * 0.21
        << "\" fill=\"#ffffff\" fill-opacity=\"0.824\"/>\n"
        << "  <circle cx=\"" << c.lens.x() + g * 0.42 << "\" cy=\"" << c.lens.y() + g * 0.42
        << "\" r=\"" << g * 0.16 << "\" fill=\"#ffffff\" fill-opacity=\"0.431\"/>\n"
        << "</svg>\n";
    out.flush();
    return svg.toUtf8();
}

QByteArray programIcon() {
    QList<writers::IconImage> images;
    for (const CameraLayout &layout : cameraLayouts()) {
        const QImage drawn = camera(layout);
        images.append(writers::iconPalette(drawn));
        images.append(writers::iconTrueColour(drawn));
    }
    return writers::icoFile(images);
}

// --- The button pictures ---

QImage exitPicture() {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(PanelGrey);
    QPainter p(&image);
    prepare(p);
    QPainterPath square;
    square.addRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    p.setPen(QPen(hex(0x8A1C15), 1.0));
    p.setBrush(
        vertical(1.5, 30.5, {{0.0, hex(0xF7786B)}, {0.5, hex(0xE0392C)}, {1.0, hex(0xB0221A)}}));
    p.drawPath(square);
    gloss(p, square, QRectF(3, 2, 26, 15), 120);

    // The power symbol: a ring open at the top with a bar through the gap, and beneath it a
    // faint shadow so the white stands off the red.
    auto symbol = [&p](QPointF offset, const QColor &colour) {
        p.setPen(QPen(colour, 2.8, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF ring(QRectF(8.5, 9.5, 15, 15).translated(offset));
        p.drawArc(ring, 130 * 16, 280 * 16);
        p.drawLine(QPointF(16, 7.5) + offset, QPointF(16, 15.5) + offset);
    };
    symbol(QPointF(0, 0.8), hex(0x5A0E0A, 90));
    symbol(QPointF(0, 0), hex(0xFFFFFF));
    return image;
}

QImage aboutPicture() {
    QImage image = canvas(36, 36);
    QPainter p(&image);
    prepare(p);
    roundButton(p, QPointF(18, 18), 16.5, {0x9DD2FF, 0x3A8DE6, 0x1750A8, 0x15438C});

    // A person standing with arms spread, built from round-capped strokes.
    QPainterPath figure;
    figure.moveTo(8.5, 13.5);
    figure.lineTo(18, 15.0);
    figure.lineTo(27.5, 13.5);
    figure.moveTo(18, 14.5);
    figure.lineTo(18, 21.0);
    figure.lineTo(13.5, 28.5);
    figure.moveTo(18, 21.0);
    figure.lineTo(22.5, 28.5);
    auto person = [&](QPointF offset, const QColor &colour) {
        p.setPen(QPen(colour, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(figure.translated(offset));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(18, 8.6) + offset, 2.9, 2.9);
    };
    person(QPointF(0, 0.8), hex(0x0B2F66, 90));
    person(QPointF(0, 0), hex(0xFFFFFF));
    return image;
}

QImage infoPicture() {
    QImage image = canvas(32, 32);
    QPainter p(&image);
    prepare(p);

    // A sheet of paper with its top right corner folded over.
    const QList<QPointF> sheet{{5.5, 1.5}, {20.5, 1.5}, {26.5, 7.5}, {26.5, 30.5}, {5.5, 30.5}};
    QPainterPath page;
    page.addPolygon(QPolygonF(sheet));
    page.closeSubpath();
    p.setPen(QPen(hex(0x7D8894), 1.0));
    p.setBrush(vertical(1.5, 30.5, {{0.0, hex(0xFFFFFF)}, {1.0, hex(0xE3E8EE)}}));
    p.drawPath(page);
    p.setBrush(vertical(1.5, 7.5, {{0.0, hex(0xF4F6F9)}, {1.0, hex(0xC9D1DA)}}));
    p.drawPolygon(QPolygonF({QPointF(20.5, 1.5), QPointF(20.5, 7.5), QPointF(26.5, 7.5)}));
    p.setPen(QPen(hex(0xB9C3CE), 1.0));
    p.drawLine(QPointF(9, 5.5), QPointF(17, 5.5));

    roundButton(p, QPointF(16, 19), 9.0, {0x8CC8FF, 0x2F84E0, 0x154A9E, 0x123F86});

    // The question mark is cut through the ring: the panel behind shows through.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    QPainterPath hook;
    hook.moveTo(12.9, 16.6);
    hook.cubicTo(12.9, 12.6, 19.1, 12.6, 19.1, 16.2);
    hook.cubicTo(19.1, 18.3, 16.0, 18.6, 16.0, 21.0);
    p.setPen(QPen(Qt::black, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(16.0, 24.3), 1.45, 1.45);
    return image;
}

QImage hidePicture() {
    QImage image = canvas(36, 36);
    QPainter p(&image);
    prepare(p);
    const QPainterPath arrow = roundedPolygon({{2.5, 18},
                                               {17.5, 4.5},
                                               {17.5, 11.5},
                                               {33.5, 11.5},
                                               {33.5, 24.5},
                                               {17.5, 24.5},
                                               {17.5, 31.5}},
                                              1.6);
    p.setPen(QPen(hex(0xA36A00), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(
        vertical(4.5, 31.5, {{0.0, hex(0xFFF4A8)}, {0.45, hex(0xFFD640)}, {1.0, hex(0xEE9F00)}}));
    p.drawPath(arrow);
    gloss(p, arrow, QRectF(-4, 2, 44, 17), 150);
    return image;
}

QImage closePicture() {
    QImage image = canvas(48, 48);
    QPainter p(&image);
    prepare(p);
    roundButton(p, QPointF(24, 24), 22.5, {0xB4EE96, 0x4DB83B, 0x24801C, 0x1E6B17});
    QPainterPath tick;
    tick.moveTo(13.5, 24.5);
    tick.lineTo(20.5, 31.5);
    tick.lineTo(34.5, 16.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(hex(0x0F4A0B, 100), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick.translated(0, 1.2));
    p.setPen(QPen(hex(0xFFFFFF), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return image;
}

// --- The photograph in the about window: a lake below mountains at sunset ---

// SplitMix64: small, well mixed, and the same everywhere for the same seed.
class Random {
public:
    explicit Random(quint64 seed)
        : m_state(seed) {}
    quint64 next() {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double unit() { return double(next() >> 11) / 9007199254740992.0; }
    double between(double low, double high) { return low + (high - low) * unit(); }

private:
    quint64 m_state;
};

// A mountain ridge by midpoint displacement: heights above the baseline across the width.
std::vector<double> ridge(Random &random, int points, double height, double roughness) {
    std::vector<double> h(size_t(points), 0.0);
    h.front() = random.between(0.2, 0.8) * height;
    h.back() = random.between(0.2, 0.8) * height;
    double amplitude = height;
    for (int step = points - 1; step > 1; step /= 2) {
        for (int i = step / 2; i < points - 1; i += step) {
            const double mid = (h[size_t(i - step / 2)] + h[size_t(i + step / 2)]) / 2;
            h[size_t(i)] = mid + random.between(-0.5, 0.5) * amplitude;
        }
        amplitude *= roughness;
    }
    for (double &v : h)
        v = std::clamp(v, 0.0, height * 1.3);
    return h;
}

void mountains(QPainter &p, Random &random, double width, double base, double height,
               double roughness, QRgb top, QRgb foot, double horizon, int rimAlpha) {
    const std::vector<double> h = ridge(random, 65, height, roughness);
    QPainterPath range;
    range.moveTo(0, horizon);
    for (size_t i = 0; i < h.size(); ++i)
        range.lineTo(width * double(i) / double(h.size() - 1), base - h[i]);
    range.lineTo(width, horizon);
    range.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(base - height, horizon, {{0.0, hex(top)}, {1.0, hex(foot)}}));
    p.drawPath(range);
    if (rimAlpha > 0) {
        // The sun low behind the ridges catches their crests.
        QPainterPath crest;
        for (size_t i = 0; i < h.size(); ++i) {
            const QPointF at(width * double(i) / double(h.size() - 1), base - h[i] + 0.6);
            if (i == 0)
                crest.moveTo(at);
            else
                crest.lineTo(at);
        }
        p.setPen(QPen(hex(0xFFC88A, rimAlpha), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(crest);
    }
}

void cloud(QPainter &p, QPointF centre, double width, double height, QRgb colour, int alpha) {
    p.setPen(Qt::NoPen);
    for (int i = -2; i <= 2; ++i) {
        const QPointF at = centre + QPointF(width * 0.18 * i, (i * i) * height * 0.06);
        const double w = width * (0.45 - 0.05 * std::abs(i));
        QRadialGradient puff(at, w);
        puff.setColorAt(0.0, hex(colour, alpha));
        puff.setColorAt(1.0, hex(colour, 0));
        p.setBrush(puff);
        p.save();
        p.translate(at);
        p.scale(1.0, height / w);
        p.translate(-at);
        p.drawEllipse(at, w, w);
        p.restore();
    }
}

void pine(QPainter &p, double x, double foot, double height, QRgb colour) {
    const double width = height * 0.32;
    QPainterPath tree;
    const int tiers = 5;
    for (int t = 0; t < tiers; ++t) {
        const double top = foot - height + height * 0.17 * t;
        const double bottom = top + height * 0.3;
        const double half = width * (0.35 + 0.65 * (t + 1) / tiers) / 2;
        tree.addPolygon(
            QPolygonF({QPointF(x, top), QPointF(x + half, bottom), QPointF(x - half, bottom)}));
        tree.closeSubpath();
    }
    tree.addRect(QRectF(x - width * 0.05, foot - height * 0.15, width * 0.1, height * 0.15));
    tree.setFillRule(Qt::WindingFill);
    p.setPen(Qt::NoPen);
    p.setBrush(hex(colour));
    p.drawPath(tree);
}

QImage photoPicture() {
    constexpr int Width = 154, Height = 260;
    constexpr double Horizon = 150;
    constexpr double LakeEnd = 232;
    const QPointF sun(101, 117);
    Random random(0x61616B65ull);

    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    prepare(p);

    p.fillRect(QRectF(0, 0, Width, Horizon + 1), vertical(0, Horizon,
                                                          {{0.0, hex(0x141D45)},
                                                           {0.3, hex(0x47387E)},
                                                           {0.58, hex(0xC0628A)},
                                                           {0.8, hex(0xF79A6A)},
                                                           {1.0, hex(0xFFD78E)}}));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 45; ++i) {
        const QPointF at(random.between(0, Width), random.between(0, 62));
        const int alpha = int((1.0 - at.y() / 62.0) * random.between(90, 230));
        p.setBrush(hex(0xFFFFFF, alpha));
        p.drawEllipse(at, 0.55, 0.55);
    }

    QRadialGradient glow(sun, 80);
    glow.setColorAt(0.0, hex(0xFFE3A0, 200));
    glow.setColorAt(0.25, hex(0xFFB070, 90));
    glow.setColorAt(1.0, hex(0xFF9060, 0));
    p.setBrush(glow);
    p.drawEllipse(sun, 80, 80);
    cloud(p, QPointF(36, 72), 60, 7, 0xF7A0A0, 120);
    cloud(p, QPointF(118, 52), 70, 6, 0xD98BB0, 110);
    cloud(p, QPointF(70, 98), 80, 5, 0xFFB890, 130);
    QRadialGradient disc(sun + QPointF(-3, -3), 14);
    disc.setColorAt(0.0, hex(0xFFFBE6));
    disc.setColorAt(1.0, hex(0xFFD47A));
    p.setBrush(disc);
    p.drawEllipse(sun, 11, 11);

    mountains(p, random, Width, 126, 34, 0.58, 0xB27CA2, 0xE4A39A, Horizon + 1, 150);
    mountains(p, random, Width, 136, 30, 0.55, 0x6E4F86, 0x94709A, Horizon + 1, 90);
    mountains(p, random, Width, 147, 16, 0.6, 0x3A3158, 0x4E416A, Horizon + 1, 50);
    p.end();

    // The lake mirrors what stands above it, darkened and broken into ripples, with the sun's
    // path glittering across it.
    const QImage above = image.copy();
    for (int y = int(Horizon) + 1; y < int(LakeEnd); ++y) {
        const double depth = (y - Horizon) / (LakeEnd - Horizon);
        const int source = std::max(0, int(2 * Horizon) - y);
        const int shift = int(random.between(-1.0, 2.0) * (0.5 + 2.0 * depth));
        const double tint = 0.22 + 0.45 * depth;
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const auto *mirror = reinterpret_cast<const QRgb *>(above.constScanLine(source));
        for (int x = 0; x < Width; ++x) {
            const QRgb s = mirror[std::clamp(x + shift, 0, Width - 1)];
            auto mix = [tint](int c, int water) {
                return int(c * (1 - tint) + water * tint);
            };
            row[x] = qRgb(mix(qRed(s), 0x24), mix(qGreen(s), 0x1E), mix(qBlue(s), 0x4A));
        }
    }
    p.begin(&image);
    prepare(p);
    const QPointF mirrored(sun.x(), 2 * Horizon - sun.y());
    QRadialGradient warmth(mirrored, 34);
    warmth.setColorAt(0.0, hex(0xFFC27A, 110));
    warmth.setColorAt(1.0, hex(0xFFA060, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(warmth);
    p.save();
    p.translate(mirrored);
    p.scale(1.0, 0.45);
    p.translate(-mirrored);
    p.drawEllipse(mirrored, 34, 34);
    p.restore();
    for (int y = int(Horizon) + 2; y < int(LakeEnd); y += 2) {
        const double depth = (y - Horizon) / (LakeEnd - Horizon);
        for (int k = 0; k < 2; ++k) {
            const double x = sun.x() + random.between(-1, 1) * (6 + 30 * depth);
            const double length = random.between(2, 5 + 10 * depth);
            p.setPen(QPen(hex(0xFFE2A8, int(random.between(60, 190) * (1.1 - depth))), 1.0));
            p.drawLine(QPointF(x - length / 2, y + 0.5), QPointF(x + length / 2, y + 0.5));
        }
    }

    // The near shore and its pines, dark against the evening.
    QPainterPath shore;
    shore.moveTo(0, 206);
    shore.cubicTo(40, 204, 60, 222, 100, 224);
    shore.cubicTo(125, 225, 140, 214, Width, 212);
    shore.lineTo(Width, Height);
    shore.lineTo(0, Height);
    shore.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(204, Height, {{0.0, hex(0x26243A)}, {1.0, hex(0x0D0F1A)}}));
    p.drawPath(shore);
    p.setPen(QPen(hex(0xF2A070, 70), 1.0));
    p.setBrush(Qt::NoBrush);
    QPainterPath edge;
    edge.moveTo(0, 206.5);
    edge.cubicTo(40, 204.5, 60, 222.5, 100, 224.5);
    edge.cubicTo(125, 225.5, 140, 214.5, Width, 212.5);
    p.drawPath(edge);

    pine(p, 14, 212, 96, 0x12131F);
    pine(p, 31, 210, 70, 0x161726);
    pine(p, 4, 214, 62, 0x101019);
    pine(p, 46, 213, 44, 0x1A1A2A);
    pine(p, 143, 218, 58, 0x141522);
    pine(p, 131, 220, 38, 0x1A1B2B);
    p.setPen(QPen(hex(0x1E1C2C), 0.8));
    for (int i = 0; i < 26; ++i) {
        const double x = random.between(58, 128);
        const double foot = 221 + (x - 58) * 0.03;
        const double lean = random.between(-2.5, 2.5);
        p.drawLine(QPointF(x, foot), QPointF(x + lean, foot - random.between(5, 13)));
    }

    // Stones at the water's edge, their tops lit by the sun, and grass against the bottom.
    const std::vector<QRectF> stones{QRectF(62, 222, 15, 7), QRectF(77, 225, 9, 5),
                                     QRectF(112, 223, 11, 6)};
    for (const QRectF &stone : stones) {
        p.setPen(Qt::NoPen);
        p.setBrush(vertical(stone.top(), stone.bottom(),
                            {{0.0, hex(0x4A3E52)}, {0.5, hex(0x2A2538)}, {1.0, hex(0x161624)}}));
        p.drawEllipse(stone);
        p.setPen(QPen(hex(0xF5B07A, 120), 0.8));
        p.setBrush(Qt::NoBrush);
        p.drawArc(stone.adjusted(0.5, 0.5, -0.5, -0.5), 40 * 16, 100 * 16);
    }
    p.setPen(QPen(hex(0x07080E), 1.0, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 70; ++i) {
        const double x = random.between(-2, Width + 2);
        const double lean = random.between(-4, 4);
        p.drawLine(QPointF(x, Height + 1), QPointF(x + lean, Height - random.between(4, 16)));
    }

    // A soft darkening towards the corners keeps the eye on the sun.
    QRadialGradient vignette(QPointF(Width / 2.0, Height / 2.2), Height * 0.75);
    vignette.setColorAt(0.55, hex(0x000000, 0));
    vignette.setColorAt(1.0, hex(0x000000, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(vignette);
    p.drawRect(QRectF(0, 0, Width, Height));
    p.end();
    return image;
}

QByteArray jpegFile(QImage image) {
    // A fixed 96 dpi, so the file's density fields do not depend on the screen.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(92);
    if (!writer.write(image))
        return {};
    return bytes;
}

QByteArray gif(const QImage &image, int transparentIndex) {
    return writers::gifFile(writers::toPanelIndexed(image, PanelGrey, transparentIndex));
}

// --- The sample pictures ---

// A wider evening landscape, for a first look at the viewer: sky, sun, three ranges, a lake
// and pines on the near shore.
QImage landscapePicture() {
    constexpr int Width = 640, Height = 420;
    constexpr double Horizon = 250;
    Random random(0x53616D70ull);
    QImage image(Width, Height, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    p.fillRect(QRectF(0, 0, Width, Horizon + 1), vertical(0, Horizon,
                                                          {{0.0, hex(0x1B2A5E)},
                                                           {0.35, hex(0x5A4A93)},
                                                           {0.62, hex(0xD06C8A)},
                                                           {0.82, hex(0xF9A36B)},
                                                           {1.0, hex(0xFFDC93)}}));
    const QPointF sun(430, 205);
    QRadialGradient glow(sun, 220);
    glow.setColorAt(0.0, hex(0xFFE3A0, 210));
    glow.setColorAt(0.3, hex(0xFFB070, 80));
    glow.setColorAt(1.0, hex(0xFF9060, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(sun, 220, 220);
    for (int i = 0; i < 7; ++i)
        cloud(p, QPointF(random.between(0, Width), random.between(40, 170)),
              random.between(120, 260), random.between(8, 16), 0xF7A8A0, 110);
    p.setBrush(hex(0xFFF6D8));
    p.drawEllipse(sun, 22, 22);
    mountains(p, random, Width, 205, 90, 0.55, 0xB27CA2, 0xE4A39A, Horizon + 1, 150);
    mountains(p, random, Width, 225, 70, 0.55, 0x6E4F86, 0x94709A, Horizon + 1, 90);
    mountains(p, random, Width, 245, 40, 0.6, 0x3A3158, 0x4E416A, Horizon + 1, 50);
    p.fillRect(QRectF(0, Horizon, Width, Height - Horizon),
               vertical(Horizon, Height, {{0.0, hex(0x7D5E86)}, {1.0, hex(0x221C3A)}}));
    for (int y = int(Horizon) + 3; y < 360; y += 3) {
        const double depth = (y - Horizon) / (360 - Horizon);
        for (int k = 0; k < 3; ++k) {
            const double x = sun.x() + random.between(-1, 1) * (10 + 90 * depth);
            const double length = random.between(4, 10 + 30 * depth);
            p.setPen(QPen(hex(0xFFE2A8, int(random.between(60, 190) * (1.1 - depth))), 1.0));
            p.drawLine(QPointF(x - length / 2, y + 0.5), QPointF(x + length / 2, y + 0.5));
        }
    }
    QPainterPath shore;
    shore.moveTo(0, 340);
    shore.cubicTo(160, 330, 260, 372, 420, 376);
    shore.cubicTo(520, 378, 600, 360, Width, 356);
    shore.lineTo(Width, Height);
    shore.lineTo(0, Height);
    shore.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(330, Height, {{0.0, hex(0x26243A)}, {1.0, hex(0x0D0F1A)}}));
    p.drawPath(shore);
    for (const auto &[x, foot, height] :
         std::initializer_list<std::tuple<double, double, double>>{{30, 350, 190},
                                                                   {70, 346, 140},
                                                                   {110, 352, 100},
                                                                   {8, 352, 120},
                                                                   {560, 366, 130},
                                                                   {600, 362, 170},
                                                                   {625, 360, 110}})
        pine(p, x, foot, height, 0x12131F);
    p.end();
    return image;
}

// A wheel of hues fading to white at its centre, on a light grey ground.
QImage colourWheelPicture(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(PanelGrey);
    QPainter p(&image);
    prepare(p);
    const QPointF centre(size / 2.0, size / 2.0);
    QConicalGradient hues(centre, 0);
    for (int i = 0; i <= 6; ++i)
        hues.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
    p.setPen(Qt::NoPen);
    p.setBrush(hues);
    p.drawEllipse(centre, size * 0.45, size * 0.45);
    QRadialGradient white(centre, size * 0.45);
    white.setColorAt(0.0, hex(0xFFFFFF));
    white.setColorAt(1.0, hex(0xFFFFFF, 0));
    p.setBrush(white);
    p.drawEllipse(centre, size * 0.45, size * 0.45);
    return image;
}

// Bands of colour, as a test card has them.
QImage stripesPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    const QList<QRgb> bands{0xFFC0C0C0, 0xFFC0C000, 0xFF00C0C0, 0xFF00C000,
                            0xFFC000C0, 0xFFC00000, 0xFF0000C0};
    for (qsizetype i = 0; i < bands.size(); ++i)
        p.fillRect(QRectF(width * double(i) / bands.size(), 0, width / double(bands.size()) + 1,
                          height * 0.7),
                   hex(bands[i]));
    QLinearGradient grey(0, 0, width, 0);
    grey.setColorAt(0, Qt::black);
    grey.setColorAt(1, Qt::white);
    p.fillRect(QRectF(0, height * 0.7, width, height * 0.3), grey);
    return image;
}

// A pointing hand's simpler cousin: the arrow of a mouse pointer.
QImage arrowPicture() {
    QImage image = canvas(32, 32);
    QPainter p(&image);
    prepare(p);
    const QPolygonF arrow({QPointF(1.5, 1.5), QPointF(1.5, 24.5), QPointF(7.5, 19),
                           QPointF(11.5, 28.5), QPointF(15.5, 26.5), QPointF(11.5, 17.5),
                           QPointF(19.5, 17.5)});
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    return image;
}

// Little-endian fields, for the formats below.
class Bytes {
public:
    Bytes &u8(int v) {
        m_data.append(char(v));
        return *this;
    }
    Bytes &u16(int v) {
        char b[2];
        qToLittleEndian(quint16(v), b);
        m_data.append(b, 2);
        return *this;
    }
    Bytes &u32(qint64 v) {
        char b[4];
        qToLittleEndian(quint32(v), b);
        m_data.append(b, 4);
        return *this;
    }
    QByteArray &bytes() { return m_data; }

private:
    QByteArray m_data;
};

// PCX version 5: one plane of 8-bit indices, run-length encoded, the 256-colour palette after.
QByteArray pcxFile(const QImage &image) {
    const writers::IndexedPicture picture = writers::toPanelIndexed(image, PanelGrey, -1);
    const int stride = (picture.width + 1) & ~1;
    Bytes b;
    b.u8(10).u8(5).u8(1).u8(8).u16(0).u16(0).u16(picture.width - 1).u16(picture.height - 1);
    b.u16(96).u16(96);
    b.bytes().append(QByteArray(48, '\0'));
    b.u8(0).u8(1).u16(stride).u16(1).u16(0).u16(0);
    b.bytes().append(QByteArray(128 - b.bytes().size(), '\0'));
    for (int y = 0; y < picture.height; ++y) {
        QByteArray row = picture.indices.mid(qsizetype(y) * picture.width, picture.width);
        row.append(QByteArray(stride - picture.width, '\0'));
        for (qsizetype x = 0; x < row.size();) {
            qsizetype run = 1;
            while (x + run < row.size() && run < 63 && row[x + run] == row[x])
                ++run;
            if (run > 1 || quint8(row[x]) >= 0xC0)
                b.u8(0xC0 | int(run));
            b.u8(quint8(row[x]));
            x += run;
        }
    }
    b.u8(12);
    for (const QRgb c : picture.palette)
        b.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
    return b.bytes();
}

// A cursor is an icon file of type 2 whose entries carry the hot spot where an icon has its
// planes and bit count.
QByteArray curFile(const QImage &image, int hotX, int hotY) {
    QByteArray file = writers::icoFile({writers::iconTrueColour(image)});
    qToLittleEndian(quint16(2), file.data() + 2);
    qToLittleEndian(quint16(hotX), file.data() + 6 + 4);
    qToLittleEndian(quint16(hotY), file.data() + 6 + 6);
    return file;
}

// A Windows metafile with a placeable header: a house under the sun, drawn with brushes, pens,
// rectangles, ellipses and polygons, 1440 units to the inch.
QByteArray wmfFile() {
    QList<QByteArray> records;
    auto record = [&records](int function, std::initializer_list<int> params) {
        Bytes r;
        r.u32(3 + qint64(params.size())).u16(function);
        for (int v : params)
            r.u16(v);
        records.append(r.bytes());
    };
    auto colour = [](QRgb c) {
        return std::pair<int, int>{qRed(c) | qGreen(c) << 8, qBlue(c)};
    };
    auto brush = [&](QRgb c) {
        const auto [low, high] = colour(c);
        record(0x02FC, {0, low, high, 0}); // CREATEBRUSHINDIRECT, solid
        record(0x012D, {0});               // SELECTOBJECT
    };
    auto pen = [&](QRgb c, int width) {
        const auto [low, high] = colour(c);
        record(0x02FA, {0, width, 0, low, high}); // CREATEPENINDIRECT, solid
        record(0x012D, {1});
    };
    auto done = [&] {
        record(0x01F0, {0}); // DELETEOBJECT
        record(0x01F0, {1});
    };
    constexpr int W = 4800, H = 3600; // 320 x 240 at 96 dpi
    record(0x020B, {0, 0});           // SETWINDOWORG y, x
    record(0x020C, {H, W});           // SETWINDOWEXT y, x
    brush(0xFF9FD4F5);
    pen(0xFF9FD4F5, 15);
    record(0x041B, {H, W, 0, 0}); // RECTANGLE bottom, right, top, left: the sky
    done();
    brush(0xFF6DBF4B);
    pen(0xFF4E9A36, 15);
    record(0x041B, {H, W, 2700, 0}); // the meadow
    done();
    brush(0xFFFFD23F);
    pen(0xFFF0A020, 45);
    record(0x0418, {1500, 4350, 450, 3300}); // ELLIPSE: the sun
    done();
    brush(0xFFE8D8B0);
    pen(0xFF6B4A2B, 45);
    record(0x041B, {3000, 2700, 1650, 900}); // the walls
    done();
    brush(0xFFB8402F);
    pen(0xFF6B2A1F, 45);
    record(0x0324, {3, 600, 1650, 1800, 600, 3000, 1650}); // POLYGON: the roof
    done();
    brush(0xFF7A5230);
    pen(0xFF4A3018, 30);
    record(0x041B, {3000, 2100, 2250, 1650}); // the door
    done();
    brush(0xFFCFEFFF);
    pen(0xFF4A3018, 30);
    record(0x041B, {2250, 1350, 1875, 1050}); // the window
    done();
    record(0x0000, {}); // EOF

    qint64 words = 9;
    qint64 largest = 0;
    for (const QByteArray &r : records) {
        words += r.size() / 2;
        largest = std::max<qint64>(largest, r.size() / 2);
    }
    Bytes b;
    b.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(W).u16(H).u16(1440).u32(0);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= qFromLittleEndian<quint16>(b.bytes().constData() + 2 * i);
    b.u16(sum);
    b.u16(1).u16(9).u16(0x0300).u32(words).u16(2).u32(largest).u16(0);
    for (const QByteArray &r : records)
        b.bytes().append(r);
    return b.bytes();
}

// An enhanced metafile of 320 x 240 pixels: a pie chart's bars and rings, drawn with brushes,
// pens, rectangles, ellipses and 16-bit polygons.
QByteArray emfFile() {
    constexpr int W = 320, H = 240;
    QList<QByteArray> records;
    auto record = [&records](int type, const QByteArray &body) {
        Bytes r;
        r.u32(type).u32(8 + body.size());
        r.bytes().append(body);
        records.append(r.bytes());
    };
    auto words = [](std::initializer_list<qint64> values) {
        Bytes b;
        for (qint64 v : values)
            b.u32(v);
        return b.bytes();
    };
    auto colorref = [](QRgb c) {
        return qint64(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16);
    };
    auto brush = [&](QRgb c) {
        record(39, words({1, 0, colorref(c), 0})); // CREATEBRUSHINDIRECT
        record(37, words({1}));                    // SELECTOBJECT
    };
    auto pen = [&](QRgb c, int width) {
        record(38, words({2, 0, width, 0, colorref(c)})); // CREATEPEN
        record(37, words({2}));
    };
    auto done = [&] {
        record(37, words({0x80000000 | 4})); // the white brush
        record(37, words({0x80000000 | 7})); // the black pen
        record(40, words({1}));              // DELETEOBJECT
        record(40, words({2}));
    };
    brush(0xFFFDFBF2);
    pen(0xFF888888, 1);
    record(43, words({0, 0, W - 1, H - 1})); // RECTANGLE: the paper
    done();
    const QList<std::pair<QRgb, int>> bars{
        {0xFF3A7BD5, 150}, {0xFFE0543E, 95}, {0xFF3FAE5A, 180}, {0xFFF2B134, 120}};
    for (qsizetype i = 0; i < bars.size(); ++i) {
        brush(bars[i].first);
        pen(0xFF333333, 1);
        const int left = 24 + int(i) * 38;
        record(43, words({left, 210 - bars[i].second, left + 28, 210}));
        done();
    }
    pen(0xFF333333, 2);
    {
        Bytes axis; // POLYLINE16 of the axes
        axis.u32(16).u32(20).u32(180).u32(212).u32(3);
        for (int v : {16, 20, 16, 212, 176, 212})
            axis.u16(v);
        record(87, axis.bytes());
    }
    done();
    for (const auto &[c, r] : std::initializer_list<std::pair<QRgb, int>>{
             {0xFF3A7BD5, 56}, {0xFFE0543E, 40}, {0xFFF2B134, 24}}) {
        brush(c);
        pen(0xFFFFFFFF, 3);
        record(42, words({250 - r, 110 - r, 250 + r, 110 + r})); // ELLIPSE
        done();
    }
    brush(0xFF3FAE5A);
    pen(0xFF1E6B30, 1);
    {
        Bytes star; // POLYGON16: a star below the rings
        QList<QPoint> points;
        for (int i = 0; i < 10; ++i) {
            const double angle = -M_PI / 2 + i * M_PI / 5;
            const double radius = i % 2 ? 9 : 22;
            points.append(QPoint(int(std::lround(250 + radius * std::cos(angle))),
                                 int(std::lround(200 + radius * std::sin(angle)))));
        }
        star.u32(228).u32(178).u32(272).u32(222).u32(points.size());
        for (const QPoint &pt : points)
            star.u16(pt.x()).u16(pt.y());
        record(86, star.bytes());
    }
    done();
    record(14, words({0, 16, 20})); // EOF

    qint64 size = 88;
    for (const QByteArray &r : records)
        size += r.size();
    const auto frame = [](int pixels) {
        return qint64(pixels) * 2540 / 96;
    };
    Bytes b;
    b.u32(1).u32(88);
    b.u32(0).u32(0).u32(W - 1).u32(H - 1);               // bounds, pixels
    b.u32(0).u32(0).u32(frame(W) - 1).u32(frame(H) - 1); // frame, 0.01 mm
    b.u32(0x464D4520).u32(0x10000).u32(size).u32(records.size() + 1);
    b.u16(3).u16(0).u32(0).u32(0).u32(0);
    b.u32(1024).u32(768).u32(271).u32(203); // a 96 dpi screen
    for (const QByteArray &r : records)
        b.bytes().append(r);
    return b.bytes();
}

QByteArray gifFull(const QImage &image) {
    return writers::gifFile(writers::toPanelIndexed(image, PanelGrey, -1));
}

const char *const SamplesNotice =
    "Sample pictures for a first look at Glimra, one of every kind its file list offers.\n"
    "They were drawn by Glimra's own tools/make_pictures (make_pictures --samples DIR), and\n"
    "are part of Glimra, under the same licence: the GNU General Public License, version 2\n"
    "or (at your option) any later version.\n";

std::vector<std::pair<QString, QByteArray>> sampleFiles() {
    return {
        {QStringLiteral("Залез над езерото.jpg"), jpegFile(landscapePicture())},
        {QStringLiteral("Вечер в планината.jpe"), jpegFile(photoPicture())},
        {QStringLiteral("Цветове.bmp"), writers::bmpFile(colourWheelPicture(200))},
        {QStringLiteral("Ивици.dib"), writers::bmpFile(stripesPicture(280, 160))},
        {QStringLiteral("Цветове.pcx"), pcxFile(colourWheelPicture(160))},
        {QStringLiteral("Ивици.gif"), gifFull(stripesPicture(240, 120))},
        {QStringLiteral("Фотоапарат.ico"), programIcon()},
        {QStringLiteral("Стрелка.cur"), curFile(arrowPicture(), 1, 1)},
        {QStringLiteral("Къща.wmf"), wmfFile()},
        {QStringLiteral("Диаграма.emf"), emfFile()},
        {QStringLiteral("README"), QByteArray(SamplesNotice)},
    };
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    const bool samples = args.size() == 3 && args[1] == QLatin1String("--samples");
    if (args.size() != 2 && !samples) {
        err << "usage: make_pictures OUTDIR | make_pictures --samples OUTDIR\n";
        return 2;
    }
    const QDir out(args.last());
    if (!out.mkpath(QStringLiteral("."))) {
        err << "cannot create " << args.last() << '\n';
        return 1;
    }

    const std::vector<std::pair<QString, QByteArray>> files =
        samples ? sampleFiles()
                : std::vector<std::pair<QString, QByteArray>>{
                      {QStringLiteral("glimra.ico"), programIcon()},
                      {QStringLiteral("exit.bmp"), writers::bmpFile(exitPicture())},
                      {QStringLiteral("about.gif"), gif(aboutPicture(), 0)},
                      {QStringLiteral("info.gif"), gif(infoPicture(), 0)},
                      {QStringLiteral("hide.gif"), gif(hidePicture(), 0)},
                      {QStringLiteral("close.gif"), gif(closePicture(), 0)},
                      {QStringLiteral("photo.jpg"), jpegFile(photoPicture())},
                      {QStringLiteral("glimra-64.png"), pngFile(largeCamera(64))},
                      {QStringLiteral("glimra-128.png"), pngFile(largeCamera(128))},
                      {QStringLiteral("glimra-256.png"), pngFile(largeCamera(256))},
                      {QStringLiteral("glimra.svg"), cameraSvg()},
                  };
    for (const auto &[name, bytes] : files) {
        QFile file(out.filePath(name));
        if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) ||
            file.write(bytes) != bytes.size()) {
            err << "cannot write " << file.fileName() << '\n';
            return 1;
        }
    }
    return 0;
}
