#include "picture/metafile/metafile_canvas.h"

#include "picture/metafile/metafile_fonts.h"

#include <QBrush>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace picture {

namespace {

enum MapMode {
    MmText = 1,
    MmLoMetric,
    MmHiMetric,
    MmLoEnglish,
    MmHiEnglish,
    MmTwips,
    MmIsotropic,
    MmAnisotropic
};
enum BkMode { Transparent = 1, Opaque = 2 };
enum PolyFill { Alternate = 1, Winding = 2 };
enum Rop2 { R2Black = 1, R2Nop = 11, R2CopyPen = 13, R2White = 16 };
enum ArcDirection { CounterClockwise = 1, Clockwise = 2 };
enum PenStyle : quint32 {
    PsSolid = 0,
    PsDash,
    PsDot,
    PsDashDot,
    PsDashDotDot,
    PsNull,
    PsInsideFrame,
    PsUserStyle,
    PsAlternate,
    PsStyleMask = 0xf,
    PsEndcapSquare = 0x100,
    PsEndcapFlat = 0x200,
    PsEndcapMask = 0xf00,
    PsJoinBevel = 0x1000,
    PsJoinMiter = 0x2000,
    PsJoinMask = 0xf000,
    PsGeometric = 0x10000
};
enum BrushStyle : quint32 {
    BsSolid = 0,
    BsNull,
    BsHatched,
    BsPattern,
    BsIndexed,
    BsDibPattern,
    BsDibPatternPt
};
enum TextAlign : quint32 {
    TaUpdateCp = 1,
    TaRight = 2,
    TaCenter = 6,
    TaHorizontalMask = 6,
    TaBottom = 8,
    TaBaseline = 24,
    TaVerticalMask = 24
};
enum TextOptions : quint32 { EtoOpaque = 2, EtoClipped = 4 };

constexpr QRgb Black = 0xff000000;
constexpr QRgb White = 0xffffffff;

// Past these the drawing could not be seen anyway, and QPainter would only slow down.
constexpr double MaxPenWidth = 65536;
constexpr double MaxFontPixels = 8192;
constexpr int MaxSavedStates = 4096;
constexpr quint32 MaxObjects = 65536;
constexpr int MaxClipRects = 16384;
constexpr int MaxAntialiasedElements = 512;
constexpr int MaxJoinedSegments = 64;

double normalisedSweep(double degrees) {
    double sweep = std::fmod(degrees, 360.0);
    if (sweep <= 0)
        sweep += 360;
    return sweep;
}

bool isAxisAligned(const QTransform &t) {
    return t.m12() == 0 && t.m21() == 0;
}

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

quint32 applyRop3(quint8 rop, quint32 pattern, quint32 source, quint32 dest) {
    quint32 result = 0;
    for (int i = 0; i < 8; ++i) {
        if (rop & (1u << i))
            result |= ((i & 4) ? pattern : ~pattern) & ((i & 2) ? source : ~source) &
                      ((i & 1) ? dest : ~dest);
    }
    return result & 0xffffff;
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

QRect roundedRect(const QRectF &r) {
    const QRectF n = r.normalized();
    const auto clampCoord = [](double v) {
        return int(std::clamp(std::round(v), -1e8, 1e8));
    };
    const int left = clampCoord(n.left()), top = clampCoord(n.top());
    const int right = clampCoord(n.right()), bottom = clampCoord(n.bottom());
    if (right <= left || bottom <= top)
        return {};
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// True when every segment runs along an axis: such shapes are drawn without antialiasing, as
// the device draws them, so that they stay sharp.
bool hasOnlyAxisAlignedSegments(const QPainterPath &path) {
    QPointF previous;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type == QPainterPath::CurveToElement || e.type == QPainterPath::CurveToDataElement)
            return false;
        if (e.type == QPainterPath::LineToElement && e.x != previous.x() && e.y != previous.y())
            return false;
        previous = QPointF(e.x, e.y);
    }
    return true;
}

bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

} // namespace

struct MetafileCanvas::State {
    int mapMode = MmText;
    QPointF windowOrg;
    QSizeF windowExt{1, 1};
    QPointF viewportOrg;
    QSizeF viewportExt{1, 1};
    QTransform world;
    MetafilePen pen;
    MetafileBrush brush;
    MetafileFont font;
    MetafilePalette palette;
    QRgb textColor = Black;
    QRgb bkColor = White;
    int bkMode = Opaque;
    quint32 textAlign = 0;
    int polyFillMode = Alternate;
    int rop2 = R2CopyPen;
    int arcDirection = CounterClockwise;
    double miterLimit = 10;
    QPointF position;
    std::optional<QRegion> clip;
};

MetafileCanvas::MetafileCanvas(QImage &target)
    : m_target(target)
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

// --- drawing machinery ---------------------------------------------------------------------

void MetafileCanvas::spend(qint64 units) {
    m_work += std::max<qint64>(units, 0);
}

bool MetafileCanvas::prepare(const QRectF &pictureBounds, bool antialias) {
    ++m_drawings;
    if (exhausted() || m_state->rop2 == R2Nop)
        return false;
    const QRectF visible = pictureBounds & QRectF(m_target.rect());
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
    if (pen) {
        // Lines run through pixel centres, as the device draws them.
        const QPainterPath centred = shape.translated(0.5, 0.5);
        if (m_state->bkMode == Opaque && pen->style() != Qt::SolidLine) {
            QPen gaps = *pen;
            gaps.setStyle(Qt::SolidLine);
            gaps.setColor(QColor::fromRgb(m_state->bkColor));
            m_painter->strokePath(centred, gaps);
        }
        if (pen->style() == Qt::SolidLine && centred.elementCount() > MaxJoinedSegments) {
            // A long scribble stroked as one outline makes the rasterizer crawl; stroked a
            // segment at a time it costs what its segments cost, and round caps stand in for
            // the joins.
            QPen segmentPen = *pen;
            if (segmentPen.capStyle() == Qt::FlatCap && segmentPen.widthF() > 1.5)
                segmentPen.setCapStyle(Qt::RoundCap);
            m_painter->setPen(segmentPen);
            for (const QPolygonF &line : centred.toSubpathPolygons()) {
                for (qsizetype i = 1; i < line.size(); ++i)
                    m_painter->drawLine(line[i - 1], line[i]);
            }
            m_painter->setPen(Qt::NoPen);
        } else {
            m_painter->strokePath(centred, *pen);
        }
    }
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
    if (pen) {
        const QPainterPath outline = penWidth <= 1.5 ? fit(inner) : filled;
        if (m_state->bkMode == Opaque && pen->style() != Qt::SolidLine) {
            QPen gaps = *pen;
            gaps.setStyle(Qt::SolidLine);
            gaps.setColor(QColor::fromRgb(m_state->bkColor));
            m_painter->strokePath(outline, gaps);
        }
        m_painter->strokePath(outline, *pen);
    }
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
    if (m_inPath) {
        appendToPath(logicalToPicture().map(path), false);
        return;
    }
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
    if (m_inPath) {
        appendToPath(logicalToPicture().map(path), false);
        return;
    }
    drawLogicalPath(path, false, true);
}

void MetafileCanvas::polyBezier(const QList<QPointF> &points) {
    if (points.size() < 4)
        return;
    QPainterPath path(points.first());
    for (qsizetype i = 1; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    if (m_inPath) {
        appendToPath(logicalToPicture().map(path), false);
        return;
    }
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

// --- text ----------------------------------------------------------------------------------

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

    // The font: the face table's stand-in. A positive height is the cell (ascent plus descent),
    // a negative one the em.
    metafile::loadFaceFiles();
    const metafile::FaceChoice face = metafile::chooseFace(s.font.face, s.font.charset);
    const QString text = metafile::glyphText(run.text, face.encoding);
    QFont font;
    font.setFamilies(face.families);
    double pixels = s.font.height == 0 ? 16 : std::abs(s.font.height) * scaleY;
    if (!std::isfinite(pixels))
        return;
    if (s.font.height >= 0) {
        QFont probe = font;
        probe.setPixelSize(100);
        const QFontMetricsF m(probe);
        const double cell = m.ascent() + m.descent();
        if (cell > 0)
            pixels = pixels * 100 / cell;
    }
    pixels = std::min(pixels, MaxFontPixels);
    if (pixels < 0.5)
        return;
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setWeight(QFont::Weight(std::clamp(s.font.weight == 0 ? 400 : s.font.weight, 1, 1000)));
    font.setItalic(s.font.italic);
    font.setUnderline(s.font.underline);
    font.setStrikeOut(s.font.strikeOut);
    if (s.font.width != 0) {
        const QFontMetricsF m(font);
        const double average = m.averageCharWidth();
        if (average > 0) {
            const double stretch = std::abs(s.font.width) * scaleX / average * 100;
            font.setStretch(int(std::clamp(stretch, 1.0, 4000.0)));
        }
    }
    const QFontMetricsF metrics(font);

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

    double x = 0;
    switch (s.textAlign & TaHorizontalMask) {
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
    switch (s.textAlign & TaVerticalMask) {
    case TaBottom:
        baseline = -metrics.descent();
        break;
    case TaBaseline:
        baseline = 0;
        break;
    default:
        break;
    }

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
    if (!prepare(bounds.adjusted(-2, -2, 2, 2), true))
        return;
    QPainter &p = *m_painter;
    if (run.options & EtoOpaque && !rect.isEmpty())
        p.fillRect(rect, QColor::fromRgb(s.bkColor));
    if (run.options & EtoClipped)
        p.setClipRect(rect, s.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    p.setTransform(place);
    if (s.bkMode == Opaque && !(run.options & EtoOpaque))
        p.fillRect(textBox, QColor::fromRgb(s.bkColor));
    p.setFont(font);
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

// --- bitmaps -------------------------------------------------------------------------------

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

// --- regions and clipping ------------------------------------------------------------------

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

void MetafileCanvas::selectClipPath(ClipMode mode) {
    m_inPath = false;
    QPainterPath path = std::exchange(m_path, QPainterPath());
    spend(path.elementCount() * 4);
    path.setFillRule(m_state->polyFillMode == Winding ? Qt::WindingFill : Qt::OddEvenFill);
    combineClip(pictureRegion(path), mode);
}

} // namespace picture
