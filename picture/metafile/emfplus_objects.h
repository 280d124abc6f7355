#pragma once

#include <QByteArrayView>
#include <QGradientStops>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QRgb>
#include <QString>
#include <QTransform>

#include <optional>
#include <variant>

namespace picture {
class ByteReader;
}

// The graphics objects of EMF+ records, read from their serialised form into what QPainter
// needs. Every reader takes the object's bytes alone and never reads past them.
namespace picture::emfplus {

enum class ObjectType {
    Invalid,
    Brush,
    Pen,
    Path,
    Region,
    Image,
    Font,
    StringFormat,
    ImageAttributes,
    CustomLineCap
};

struct Brush {
    enum class Kind { Solid, Hatch, Texture, PathGradient, LinearGradient };
    Kind kind = Kind::Solid;
    QRgb color = 0xff000000; // solid colour, hatch foreground, path gradient centre
    QRgb back = 0;           // hatch background
    int hatch = 0;
    int wrap = 0; // 0 tile, 1-3 flipped tiles, 4 clamp
    QTransform transform;
    QImage texture;
    QRectF rect; // linear gradient: the band from start to end colour runs across it
    QGradientStops stops;
    QPainterPath boundary; // path gradient
    QPointF centre;
};

struct Pen {
    double width = 1;
    quint32 unit = 0;
    int startCap = 0, endCap = 0, dashCap = 0;
    int join = 0;
    double miterLimit = 10;
    int style = 0; // 0 solid, 1-4 stock dashes, 5 the dashes below
    QList<qreal> dashes;
    double dashOffset = 0;
    bool inset = false; // closed figures: the line lies inside the outline
    Brush brush;
};

// A region as the area of a path; `infinite` covers everything.
struct Region {
    QPainterPath path;
    bool infinite = false;
};

struct Image {
    QImage image;
    bool metafile = false;
    QSizeF units; // the whole image in the units of source rectangles, when not its pixels
};

struct Font {
    double emSize = 0;
    quint32 unit = 0;
    quint32 style = 0; // 1 bold, 2 italic, 4 underline, 8 strike-out
    QString family;
};

struct StringFormat {
    quint32 flags = 0;
    quint32 alignment = 0;     // 0 near, 1 centre, 2 far
    quint32 lineAlignment = 0; // the same, vertically
    double leadingMargin = 0;  // in ems
    double trailingMargin = 0;
};

using Object =
    std::variant<std::monostate, Brush, Pen, QPainterPath, Region, Image, Font, StringFormat>;

// What reading an image may spend: decoded pixels, and the nesting of metafiles in metafiles.
struct ImageBudget {
    qint64 pixels = 0;
    qint64 work = 0; // work units spent decoding, for the caller's meter
};

// ARGB as the format stores it (blue, green, red, alpha bytes).
inline QRgb argb(quint32 value) {
    return value;
}

// `count` points as a record stores them: 16-bit (`compressed`), relative, or 32-bit floats.
std::optional<QList<QPointF>> readPoints(ByteReader &r, quint32 count, bool compressed,
                                         bool relative);

// One object of `type` from its bytes, or nothing when they do not hold one.
std::optional<Object> readObject(ObjectType type, QByteArrayView data, ImageBudget &budget);

// An 8 x 8 hatch in the given colours.
QImage hatchPattern(int style, QRgb fore, QRgb back);

// The number of nested metafile images being decoded on this thread.
int imageNesting();

// A picture starts: outside any metafile image, the count of metafile images decoded for the
// picture (at every depth) starts again.
void startPicture();

} // namespace picture::emfplus
