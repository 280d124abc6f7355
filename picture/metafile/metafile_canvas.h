#pragma once

#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

class QPainter;
class QPen;
class QBrush;
class QFont;

namespace picture {

// The graphics objects a metafile creates, in the units it wrote them in.
struct MetafilePen {
    quint32 style = 0; // line style, end cap, join and type bits
    double width = 0;  // logical units; 0 is one device pixel
    QRgb color = 0xff000000;
    bool cosmetic = false; // one device pixel whatever the mapping
    QList<double> dashes;  // user-defined style, logical units (or pixels when cosmetic)
};

struct MetafileBrush {
    quint32 style = 0; // solid, null, hatched, pattern
    QRgb color = 0xffffffff;
    quint32 hatch = 0;
    QImage pattern; // pattern brushes
    // A monochrome pattern (Format_Mono) without colours of its own: clear bits take the text
    // colour and set bits the background colour of the moment it paints.
    bool monochrome = false;
};

struct MetafileFont {
    double height = 0; // > 0 cell height, < 0 em height, 0 default; logical units
    double width = 0;
    double escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    quint8 charset = 0;
    QString face;
};

struct MetafilePalette {
    QList<QRgb> colors;
};

// A region as rectangles: WMF keeps them in logical units, EMF in device units.
struct MetafileRegion {
    QList<QRectF> rects;
};

using MetafileObject = std::variant<std::monostate, MetafilePen, MetafileBrush, MetafileFont,
                                    MetafilePalette, MetafileRegion>;

// A device context that plays metafile records onto a picture with QPainter: the object table,
// the SaveDC stack, the mapping from logical units to picture pixels, pens, brushes, fonts,
// clipping, paths and raster operations. Both metafile players drive this one class, so the
// drawing state behaves the same way for both formats. Drawing work is metered so that no file
// can keep it busy without end.
//
// Its code is split by concern: state, mapping and objects (metafile_canvas.cpp), lines, shapes
// and paths (_shapes), text (_text), raster operations (_raster), regions and clipping (_clip);
// what they share is in metafile_canvas_state.h.
class MetafileCanvas {
public:
    enum class Mapping { Window, Device };
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    enum class ClipMode { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

    struct TextRun {
        QPointF reference;
        QString text;
        QList<double> dx;    // advance per character in logical units, may be empty
        quint32 options = 0; // ETO_* bits
        QRectF rect;         // ETO_OPAQUE / ETO_CLIPPED rectangle, logical
    };

    // `target` is the raster drawn on; it may be only the top-left part of the picture, and the
    // mapping is the same either way.
    explicit MetafileCanvas(QImage &target);
    // The part of the target that will be shown (its top-left corner; all of it unless said).
    // The rest is a margin that lets shapes crossing the part's edges be drawn whole, as in the
    // whole picture; what lies in the margin alone is not drawn.
    void setShownSize(QSize size) { m_shown = QRect(QPoint(0, 0), size) & m_target.rect(); }
    QRect shown() const { return m_shown; }
    ~MetafileCanvas();
    MetafileCanvas(const MetafileCanvas &) = delete;
    MetafileCanvas &operator=(const MetafileCanvas &) = delete;

    // WMF: the window (org/ext) is stretched over the picture, whatever the map mode says.
    void useWindowMapping(const QRectF &window, const QSizeF &picture);
    // EMF: the page maps to device units through the map mode, and device units map to the
    // picture through `deviceToPicture`; `pixelsPerMm` gives the metric map modes their scale.
    void useDeviceMapping(const QTransform &deviceToPicture, const QSizeF &pixelsPerMm);

    // State.
    void setMapMode(int mode);
    void setWindowOrg(QPointF org);
    void setWindowExt(QSizeF ext);
    void setViewportOrg(QPointF org);
    void setViewportExt(QSizeF ext);
    void offsetWindowOrg(QPointF by);
    void offsetViewportOrg(QPointF by);
    void scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void setWorldTransform(const QTransform &xform);
    void modifyWorldTransform(const QTransform &xform, int mode);
    void setBkColor(QRgb color);
    void setBkMode(int mode);
    void setTextColor(QRgb color);
    void setTextAlign(quint32 align);
    void setPolyFillMode(int mode);
    void setRop2(int rop);
    void setArcDirection(int direction);
    void setMiterLimit(double limit);
    void saveDC();
    void restoreDC(int which);

    // Objects. WMF hands out the lowest free slot; EMF names the slot.
    int createObject(MetafileObject object);
    bool setObject(quint32 index, MetafileObject object);
    bool selectObject(quint32 index);
    bool selectStockObject(quint32 stock);
    void deleteObject(quint32 index);
    const MetafileObject *object(quint32 index) const;
    const MetafilePalette &palette() const;
    const MetafileFont &font() const;
    void setCurrentPen(const MetafilePen &pen);
    void setCurrentBrush(const MetafileBrush &brush);

    // Drawing, in logical units.
    void moveTo(QPointF to);
    void lineTo(QPointF to);
    void polyline(const QList<QPointF> &points);
    void polylineTo(const QList<QPointF> &points);
    void polygon(const QList<QPointF> &points);
    void polyPolygon(const QList<QList<QPointF>> &polygons);
    void polyPolyline(const QList<QList<QPointF>> &lines);
    void polyBezier(const QList<QPointF> &points);
    void polyBezierTo(const QList<QPointF> &points);
    void polyDraw(const QList<QPointF> &points, const QByteArray &types);
    void rectangle(const QRectF &box);
    void roundRect(const QRectF &box, QSizeF corner);
    void ellipse(const QRectF &box);
    void arc(const QRectF &box, QPointF start, QPointF end, ArcKind kind);
    void angleArc(QPointF center, double radius, double startDegrees, double sweepDegrees);
    void setPixel(QPointF at, QRgb color);
    void text(const TextRun &run);
    // A block transfer: `source` may be null for pattern-only raster operations. Negative
    // extents mirror, as the device does.
    void blit(const QRectF &dest, const QImage &source, const QRectF &sourceRect, quint32 rop);
    void alphaBlend(const QRectF &dest, const QImage &source, const QRectF &sourceRect,
                    int constantAlpha);
    void gradientRect(const QRectF &box, QRgb from, QRgb to, bool vertical);
    void gradientTriangle(const QPolygonF &triangle, QRgb color);

    // Regions: `deviceRects` in device units (EMF), or a region object's rectangles.
    void fillRegion(const MetafileRegion &region, const MetafileBrush &brush, bool logical);
    void frameRegion(const MetafileRegion &region, const MetafileBrush &brush, bool logical,
                     QSizeF stroke);
    void invertRegion(const MetafileRegion &region, bool logical);

    // Clipping.
    void intersectClipRect(const QRectF &box);
    void excludeClipRect(const QRectF &box);
    void offsetClip(QPointF by);
    void selectClipRegion(const MetafileRegion *region, ClipMode mode, bool logical);

    // Paths.
    void beginPath();
    void endPath();
    void closeFigure();
    void abortPath();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void widenPath();
    void selectClipPath(ClipMode mode);

    // Metering: every record and drawing call spends work; when the allowance runs out the
    // player stops and keeps what is drawn.
    void spend(qint64 units);
    bool exhausted() const { return m_work > WorkLimit; }
    int drawingCount() const { return m_drawings; }

    // The painter on the target, for the EMF+ player that draws between classic records. It
    // leaves the painter's state as it found it (save/restore); each classic drawing sets up
    // what it needs anyway.
    QPainter &painter() { return *m_painter; }

    static constexpr qint64 WorkLimit = 20'000'000;

private:
    struct State;

    QTransform pageToDevice() const;
    QTransform logicalToPicture() const;
    double logicalScale() const;
    std::optional<QPen> makePen() const;
    std::optional<QBrush> makeBrush(const MetafileBrush &brush) const;
    QRegion pictureRegion(const MetafileRegion &region, bool logical) const;
    QRegion pictureRegion(const QPainterPath &path);
    void combineClip(const QRegion &region, ClipMode mode);
    // `exactBounds`: nothing is drawn outside `pictureBounds` (false for text, whose glyphs may
    // reach beyond their advances).
    bool prepare(const QRectF &pictureBounds, bool antialias, bool exactBounds = true);
    void finish();
    void drawPicturePath(const QPainterPath &path, bool fill, bool stroke);
    bool strokeHairline(const QPainterPath &centred, const QPen &pen);
    void strokeOutline(const QPainterPath &path, const QPen &pen);
    void drawLogicalPath(const QPainterPath &path, bool fill, bool stroke);
    void drawFrameShape(const QPainterPath &logical, const QRectF &box);
    void appendToPath(const QPainterPath &picturePath, bool connect);
    QPainterPath arcPath(const QRectF &box, QPointF start, QPointF end, ArcKind kind,
                         QPointF *endPoint) const;
    void rasterOp(const QRectF &dest, const QImage &source, const QRectF &sourceRect, quint8 rop3);
    void drawTransformedImage(const QRectF &dest, const QImage &source, const QRectF &sourceRect);
    void fillPictureRect(const QRectF &dest, const QBrush &brush);

    QImage &m_target;
    QRect m_shown;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<State> m_state;
    std::vector<State> m_saved;
    std::vector<MetafileObject> m_objects;

    Mapping m_mapping = Mapping::Device;
    QRectF m_window;      // WMF: the placeable box the window starts as
    QSizeF m_pictureSize; // WMF: the picture the window maps onto
    QTransform m_deviceToPicture;
    QSizeF m_pixelsPerMm{96 / 25.4, 96 / 25.4};

    bool m_inPath = false;
    QPainterPath m_path; // in picture pixels, as the device records paths
    qint64 m_work = 0;
    int m_drawings = 0;
};

} // namespace picture
