#pragma once

// What the canvas's source files share and nothing else includes: the device's constants, the
// drawing state that SaveDC saves, and small helpers on rectangles and paths.

#include "picture/metafile/metafile_canvas.h"

#include <QPainterPath>
#include <QRect>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <optional>

namespace picture {

namespace canvas {

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

inline bool isAxisAligned(const QTransform &t) {
    return t.m12() == 0 && t.m21() == 0;
}

// A rectangle in picture pixels as the pixels it covers, its right and bottom edges outside.
inline QRect roundedRect(const QRectF &r) {
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
inline bool hasOnlyAxisAlignedSegments(const QPainterPath &path) {
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

inline bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

} // namespace canvas

struct MetafileCanvas::State {
    int mapMode = canvas::MmText;
    QPointF windowOrg;
    QSizeF windowExt{1, 1};
    QPointF viewportOrg;
    QSizeF viewportExt{1, 1};
    QTransform world;
    MetafilePen pen;
    MetafileBrush brush;
    MetafileFont font;
    MetafilePalette palette;
    QRgb textColor = canvas::Black;
    QRgb bkColor = canvas::White;
    int bkMode = canvas::Opaque;
    quint32 textAlign = 0;
    int polyFillMode = canvas::Alternate;
    int rop2 = canvas::R2CopyPen;
    int arcDirection = canvas::CounterClockwise;
    double miterLimit = 10;
    QPointF position;
    std::optional<QRegion> clip;
};

} // namespace picture
