// The canvas's state: construction, the mapping from logical units to the picture, the DC
// settings and the SaveDC stack, the object table, pens and brushes, and the work meter.
#include "picture/metafile/metafile_canvas.h"

#include "picture/metafile/metafile_canvas_state.h"

#include <QBrush>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace picture {

using namespace canvas;

namespace {

// Past these the drawing could not be seen anyway, and QPainter would only slow down.
constexpr double MaxPenWidth = 65536;
constexpr int MaxSavedStates = 4096;
constexpr quint32 MaxObjects = 65536;

// The device's 8 x 8 hatch patterns, drawn in the hatch colour over the background, or over
// nothing when the background mode is transparent.
QImage hatchImage(quint32 hatch, QRgb color, QRgb background) {
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool on = false;
            switch (hatch) {
            case 0:
                on = y == 3;
                break;
            case 1:
                on = x == 3;
                break;
            case 2:
                on = x == y;
                break;
            case 3:
                on = x + y == 7;
                break;
            case 4:
                on = x == 3 || y == 3;
                break;
            case 5:
                on = x == y || x + y == 7;
                break;
            default:
                on = false;
                break;
            }
            if (on)
                image.setPixel(x, y, color);
        }
    }
    return image;
}

} // namespace

MetafileCanvas::MetafileCanvas(QImage &target)
    : m_target(target)
    , m_shown(target.rect())
    , m_state(std::make_unique<State>()) {
    m_target.fill(Qt::transparent);
    m_painter = std::make_unique<QPainter>(&m_target);
    m_state->brush.style = BsSolid;
    m_state->brush.color = White;
    m_state->font.height = 0;
}

MetafileCanvas::~MetafileCanvas() {
    m_painter->end();
}

void MetafileCanvas::useWindowMapping(const QRectF &window, const QSizeF &picture) {
    m_mapping = Mapping::Window;
    m_window = window;
    m_pictureSize = picture;
    m_state->windowOrg = window.topLeft();
    m_state->windowExt = window.size();
}

void MetafileCanvas::useDeviceMapping(const QTransform &deviceToPicture,
                                      const QSizeF &pixelsPerMm) {
    m_mapping = Mapping::Device;
    m_deviceToPicture = deviceToPicture;
    if (pixelsPerMm.width() > 0 && pixelsPerMm.height() > 0 && std::isfinite(pixelsPerMm.width()) &&
        std::isfinite(pixelsPerMm.height()))
        m_pixelsPerMm = pixelsPerMm;
}

// --- mapping -------------------------------------------------------------------------------

QTransform MetafileCanvas::pageToDevice() const {
    const State &s = *m_state;
    double sx = 1, sy = 1;
    const double mmX = m_pixelsPerMm.width(), mmY = m_pixelsPerMm.height();
    switch (s.mapMode) {
    case MmLoMetric:
        sx = 0.1 * mmX, sy = -0.1 * mmY;
        break;
    case MmHiMetric:
        sx = 0.01 * mmX, sy = -0.01 * mmY;
        break;
    case MmLoEnglish:
        sx = 0.254 * mmX, sy = -0.254 * mmY;
        break;
    case MmHiEnglish:
        sx = 0.0254 * mmX, sy = -0.0254 * mmY;
        break;
    case MmTwips:
        sx = 25.4 / 1440 * mmX, sy = -25.4 / 1440 * mmY;
        break;
    case MmIsotropic:
    case MmAnisotropic:
        sx = s.viewportExt.width() / s.windowExt.width();
        sy = s.viewportExt.height() / s.windowExt.height();
        if (s.mapMode == MmIsotropic) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        break;
    default:
        break;
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || sx == 0 || sy == 0)
        sx = sy = 1;
    return QTransform(sx, 0, 0, sy, s.viewportOrg.x() - s.windowOrg.x() * sx,
                      s.viewportOrg.y() - s.windowOrg.y() * sy);
}

QTransform MetafileCanvas::logicalToPicture() const {
    const State &s = *m_state;
    if (m_mapping == Mapping::Window) {
        const double sx = m_pictureSize.width() / s.windowExt.width();
        const double sy = m_pictureSize.height() / s.windowExt.height();
        return QTransform(sx, 0, 0, sy, -s.windowOrg.x() * sx, -s.windowOrg.y() * sy);
    }
    return s.world * pageToDevice() * m_deviceToPicture;
}

double MetafileCanvas::logicalScale() const {
    const QTransform t = logicalToPicture();
    return std::sqrt(std::abs(t.m11() * t.m22() - t.m12() * t.m21()));
}

void MetafileCanvas::setMapMode(int mode) {
    if (mode >= MmText && mode <= MmAnisotropic)
        m_state->mapMode = mode;
}

void MetafileCanvas::setWindowOrg(QPointF org) {
    if (finite(org))
        m_state->windowOrg = org;
}

void MetafileCanvas::setWindowExt(QSizeF ext) {
    if (ext.width() != 0 && ext.height() != 0 && std::isfinite(ext.width()) &&
        std::isfinite(ext.height()))
        m_state->windowExt = ext;
}

void MetafileCanvas::setViewportOrg(QPointF org) {
    if (finite(org))
        m_state->viewportOrg = org;
}

void MetafileCanvas::setViewportExt(QSizeF ext) {
    if (ext.width() != 0 && ext.height() != 0 && std::isfinite(ext.width()) &&
        std::isfinite(ext.height()))
        m_state->viewportExt = ext;
}

void MetafileCanvas::offsetWindowOrg(QPointF by) {
    setWindowOrg(m_state->windowOrg + by);
}

void MetafileCanvas::offsetViewportOrg(QPointF by) {
    setViewportOrg(m_state->viewportOrg + by);
}

void MetafileCanvas::scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0)
        return;
    const QSizeF e = m_state->windowExt;
    setWindowExt(QSizeF(e.width() * xNum / xDenom, e.height() * yNum / yDenom));
}

void MetafileCanvas::scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0)
        return;
    const QSizeF e = m_state->viewportExt;
    setViewportExt(QSizeF(e.width() * xNum / xDenom, e.height() * yNum / yDenom));
}

void MetafileCanvas::setWorldTransform(const QTransform &xform) {
    const double det = xform.m11() * xform.m22() - xform.m12() * xform.m21();
    if (std::isfinite(det) && det != 0 && std::isfinite(xform.dx()) && std::isfinite(xform.dy()))
        m_state->world = xform;
}

void MetafileCanvas::modifyWorldTransform(const QTransform &xform, int mode) {
    switch (mode) {
    case 1:
        m_state->world = QTransform();
        break;
    case 2:
        setWorldTransform(xform * m_state->world);
        break;
    case 3:
        setWorldTransform(m_state->world * xform);
        break;
    case 4:
        setWorldTransform(xform);
        break;
    default:
        break;
    }
}

void MetafileCanvas::setBkColor(QRgb color) {
    m_state->bkColor = color | Black;
}
void MetafileCanvas::setBkMode(int mode) {
    if (mode == Transparent || mode == Opaque)
        m_state->bkMode = mode;
}
void MetafileCanvas::setTextColor(QRgb color) {
    m_state->textColor = color | Black;
}
void MetafileCanvas::setTextAlign(quint32 align) {
    m_state->textAlign = align;
}
void MetafileCanvas::setPolyFillMode(int mode) {
    if (mode == Alternate || mode == Winding)
        m_state->polyFillMode = mode;
}
void MetafileCanvas::setRop2(int rop) {
    if (rop >= 1 && rop <= 16)
        m_state->rop2 = rop;
}
void MetafileCanvas::setArcDirection(int direction) {
    if (direction == CounterClockwise || direction == Clockwise)
        m_state->arcDirection = direction;
}
void MetafileCanvas::setMiterLimit(double limit) {
    if (std::isfinite(limit) && limit >= 1)
        m_state->miterLimit = std::min(limit, 1000.0);
}

void MetafileCanvas::saveDC() {
    if (m_saved.size() < MaxSavedStates)
        m_saved.push_back(*m_state);
}

// A negative level counts back from the latest save; a positive one names a save by number.
void MetafileCanvas::restoreDC(int which) {
    const qsizetype depth = qsizetype(m_saved.size());
    qsizetype keep = 0;
    if (which < 0) {
        if (-qint64(which) > depth)
            return;
        keep = depth + which;
    } else {
        if (which == 0 || which > depth)
            return;
        keep = which - 1;
    }
    *m_state = m_saved[size_t(keep)];
    m_saved.resize(size_t(keep));
}

// --- objects -------------------------------------------------------------------------------

int MetafileCanvas::createObject(MetafileObject object) {
    for (size_t i = 0; i < m_objects.size(); ++i) {
        if (std::holds_alternative<std::monostate>(m_objects[i])) {
            m_objects[i] = std::move(object);
            return int(i);
        }
    }
    if (m_objects.size() >= MaxObjects)
        return -1;
    m_objects.push_back(std::move(object));
    return int(m_objects.size() - 1);
}

bool MetafileCanvas::setObject(quint32 index, MetafileObject object) {
    if (index >= MaxObjects)
        return false;
    if (index >= m_objects.size())
        m_objects.resize(index + 1);
    m_objects[index] = std::move(object);
    return true;
}

const MetafileObject *MetafileCanvas::object(quint32 index) const {
    if (index >= m_objects.size() || std::holds_alternative<std::monostate>(m_objects[index]))
        return nullptr;
    return &m_objects[index];
}

bool MetafileCanvas::selectObject(quint32 index) {
    const MetafileObject *o = object(index);
    if (!o)
        return false;
    if (auto pen = std::get_if<MetafilePen>(o))
        m_state->pen = *pen;
    else if (auto brush = std::get_if<MetafileBrush>(o))
        m_state->brush = *brush;
    else if (auto font = std::get_if<MetafileFont>(o))
        m_state->font = *font;
    else if (auto palette = std::get_if<MetafilePalette>(o))
        m_state->palette = *palette;
    else if (auto region = std::get_if<MetafileRegion>(o))
        selectClipRegion(region, ClipMode::Copy, true);
    return true;
}

bool MetafileCanvas::selectStockObject(quint32 stock) {
    State &s = *m_state;
    switch (stock) {
    case 0:
        s.brush = {BsSolid, White, 0, {}};
        return true;
    case 1:
        s.brush = {BsSolid, 0xffc0c0c0, 0, {}};
        return true;
    case 2:
        s.brush = {BsSolid, 0xff808080, 0, {}};
        return true;
    case 3:
        s.brush = {BsSolid, 0xff404040, 0, {}};
        return true;
    case 4:
        s.brush = {BsSolid, Black, 0, {}};
        return true;
    case 5:
        s.brush = {BsNull, Black, 0, {}};
        return true;
    case 6:
        s.pen = {PsSolid, 0, White, true, {}};
        return true;
    case 7:
        s.pen = {PsSolid, 0, Black, true, {}};
        return true;
    case 8:
        s.pen = {PsNull, 0, Black, true, {}};
        return true;
    case 10:
    case 11:
    case 16:
        s.font = {};
        s.font.face = QStringLiteral("Courier New");
        return true;
    case 12:
    case 13:
    case 14:
    case 17:
        s.font = {};
        return true;
    case 15:
        s.palette = {};
        return true;
    case 18:
        s.brush = {BsSolid, White, 0, {}};
        return true;
    case 19:
        s.pen = {PsSolid, 0, Black, true, {}};
        return true;
    default:
        return false;
    }
}

void MetafileCanvas::deleteObject(quint32 index) {
    if (index < m_objects.size())
        m_objects[index] = std::monostate{};
}

const MetafilePalette &MetafileCanvas::palette() const {
    return m_state->palette;
}
const MetafileFont &MetafileCanvas::font() const {
    return m_state->font;
}
void MetafileCanvas::setCurrentPen(const MetafilePen &pen) {
    m_state->pen = pen;
}
void MetafileCanvas::setCurrentBrush(const MetafileBrush &brush) {
    m_state->brush = brush;
}

std::optional<QPen> MetafileCanvas::makePen() const {
    const MetafilePen &p = m_state->pen;
    const quint32 style = p.style & PsStyleMask;
    if (style == PsNull)
        return std::nullopt;
    const bool geometric = (p.style & PsGeometric) && !p.cosmetic;
    double width = 1;
    if (!p.cosmetic && p.width > 0)
        width = std::clamp(p.width * logicalScale(), 1.0, MaxPenWidth);
    if (!std::isfinite(width))
        width = 1;
    QPen pen(QColor::fromRgb(p.color), width);
    switch (p.style & PsEndcapMask) {
    case PsEndcapSquare:
        pen.setCapStyle(Qt::SquareCap);
        break;
    case PsEndcapFlat:
        pen.setCapStyle(Qt::FlatCap);
        break;
    default:
        pen.setCapStyle(width > 1.5 ? Qt::RoundCap : Qt::FlatCap);
        break;
    }
    switch (p.style & PsJoinMask) {
    case PsJoinBevel:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case PsJoinMiter:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    default:
        pen.setJoinStyle(width > 1.5 ? Qt::RoundJoin : Qt::MiterJoin);
        break;
    }
    pen.setMiterLimit(m_state->miterLimit);
    // Pens wider than a pixel are solid unless they were made as geometric pens; thin ones
    // use the device's dash lengths in pixels.
    const bool thin = width <= 1.5;
    QList<qreal> dashes;
    if (geometric || thin) {
        switch (style) {
        case PsDash:
            dashes = geometric ? QList<qreal>{3, 1} : QList<qreal>{18, 6};
            break;
        case PsDot:
            dashes = geometric ? QList<qreal>{1, 1} : QList<qreal>{3, 3};
            break;
        case PsDashDot:
            dashes = geometric ? QList<qreal>{3, 1, 1, 1} : QList<qreal>{9, 6, 3, 6};
            break;
        case PsDashDotDot:
            dashes = geometric ? QList<qreal>{3, 1, 1, 1, 1, 1} : QList<qreal>{9, 3, 3, 3, 3, 3};
            break;
        case PsAlternate:
            dashes = {1, 1};
            break;
        case PsUserStyle:
            for (double d : p.dashes) {
                const double len = geometric && p.width > 0 ? d / p.width : d;
                dashes.append(std::clamp(std::isfinite(len) ? len : 1.0, 0.1, 1e4));
                if (dashes.size() >= 16)
                    break;
            }
            if (dashes.size() % 2)
                dashes.append(dashes.last());
            break;
        default:
            break;
        }
    }
    if (!dashes.isEmpty()) {
        pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern(dashes);
    }
    return pen;
}

std::optional<QBrush> MetafileCanvas::makeBrush(const MetafileBrush &brush) const {
    switch (brush.style) {
    case BsSolid:
    case BsIndexed:
        return QBrush(QColor::fromRgb(brush.color));
    case BsHatched:
        return QBrush(hatchImage(brush.hatch, brush.color | Black,
                                 m_state->bkMode == Opaque ? m_state->bkColor : 0));
    case BsPattern:
    case BsDibPattern:
    case BsDibPatternPt:
        if (brush.pattern.isNull())
            return QBrush(QColor::fromRgb(brush.color));
        if (brush.monochrome && brush.pattern.format() == QImage::Format_Mono) {
            QImage coloured = brush.pattern;
            coloured.setColorTable({m_state->textColor, m_state->bkColor});
            return QBrush(coloured);
        }
        return QBrush(brush.pattern);
    default:
        return std::nullopt;
    }
}

void MetafileCanvas::spend(qint64 units) {
    m_work += std::max<qint64>(units, 0);
}

} // namespace picture
