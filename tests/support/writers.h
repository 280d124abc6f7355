#pragma once

#include "bytes.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QRectF>
#include <QRgb>

#include <optional>

// Files written byte by byte, in the layouts and with the faults the tests need and no encoder
// at hand writes.
namespace testkit {

namespace bmp {

// A bitmap file or DIB header built field by field, for the cases no encoder writes.
struct Bitmap {
    quint32 headerSize = 40;
    qint32 width = 1;
    qint32 height = 1;
    quint16 planes = 1;
    quint16 bitCount = 24;
    quint32 compression = 0;
    quint32 clrUsed = 0;
    QList<quint32> masks; // after a 40-byte header, or inside a longer one
    QList<QRgb> palette;
    QByteArray bits;
    std::optional<quint32> offBits; // overrides where the file says the bits start

    QByteArray info() const; // the header, masks and colour table
    QByteArray file() const;
};

} // namespace bmp

namespace pcx {

// Which layout, and how it is coded.
struct Layout {
    enum class Colours { Header, ZeroHeader, Version3, Tail, NoTail };

    int bits = 8;
    int planes = 1;
    int width = 1;
    int height = 1;
    int encoding = 1;
    bool runsAcrossLines = false; // one run may carry on into the next plane or row
    int padding = 0;              // bytes per plane row beyond the least
    quint16 paletteInfo = 1;
    Colours colours = Colours::Header;

    bool direct() const { return (bits == 8 && planes >= 3) || bits == 24; }
    int colourCount() const { return 1 << (bits * planes); }
    int bytesPerLine() const { return (width * bits + 7) / 8 + padding; }
};

// `count` colours, told apart by `salt`: the header's sixteen are distinctColours(16, 1), the
// 256 at the end distinctColours(256, 5).
QList<QRgb> distinctColours(int count, int salt);
QByteArray header(const Layout &layout);
// `pixels` holds indices for an indexed layout, colours for a direct one.
QByteArray file(const Layout &layout, const QImage &pixels);

} // namespace pcx

namespace wmf {

enum Function : quint16 {
    SetBkMode = 0x0102,
    SetPolyFillMode = 0x0106,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetTextAlign = 0x012E,
    SaveDC = 0x001E,
    RestoreDC = 0x0127,
    IntersectClipRect = 0x0416,
    Rectangle = 0x041B,
    Polygon = 0x0324,
    TextOut = 0x0521,
    SelectObject = 0x012D,
    DeleteObject = 0x01F0,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    StretchDib = 0x0F43,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    DibCreatePatternBrush = 0x0142,
};

// Writes a metafile record by record; parameters are 16-bit words in file order.
class Writer {
public:
    Writer &record(quint16 function, const QList<qint16> &words, const QByteArray &tail = {});
    // Any record, given its size in words as written (which may lie).
    Writer &rawRecord(quint32 words, quint16 function, const QByteArray &parameters);
    Writer &brush(QRgb color);
    Writer &nullPen();
    Writer &rectangle(int left, int top, int right, int bottom);
    Writer &font(qint16 height);

    QByteArray plain(bool withEof = true) const;
    QByteArray placeable(qint16 left, qint16 top, qint16 right, qint16 bottom, quint16 inch,
                         bool withEof = true) const;

private:
    Bytes m_records;
};

} // namespace wmf

namespace emf {

enum Record : quint32 {
    Header = 1,
    Eof = 14,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetMapMode = 17,
    SaveDC = 33,
    RestoreDC = 34,
    IntersectClipRect = 30,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    Rectangle = 43,
    BeginPath = 59,
    EndPath = 60,
    SelectClipPath = 67,
    Comment = 70,
    ExtSelectClipRgn = 75,
    SetTextColor = 24,
    SetBkColor = 25,
    MoveToEx = 27,
    LineTo = 54,
    CloseFigure = 61,
    FillPath = 62,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    AlphaBlend = 114,
};

constexpr quint32 NullPen = 0x80000008, NullBrush = 0x80000005;

// Writes an enhanced metafile record by record; parameters are 32-bit values in file order.
class Writer {
public:
    Writer &record(quint32 type, const QList<quint32> &values, const QByteArray &tail = {});
    // The record count the header states, when it should differ from what was written.
    Writer &claimRecords(quint32 count);
    Writer &raw(const QByteArray &bytes);
    Writer &blackBrushNoPen();
    Writer &rectangle(int left, int top, int right, int bottom);
    // An EMF+ header inside a comment; `dual` says the classic records draw the picture too.
    Writer &emfPlusHeader(bool dual);

    // A picture whose frame is `frame` (0.01 mm) on a reference device of 96 pixels per inch.
    QByteArray file(QRect bounds = QRect(0, 0, 100, 100),
                    QRect frame = QRect(QPoint(0, 0), QPoint(2540, 2540)),
                    bool withEof = true) const;

private:
    Bytes m_records;
    int m_count = 0;
    quint32 m_claimed = 0;
};

} // namespace emf

namespace emfplus {

// An EMF drawn by EMF+ records alone: 6000 x 4000 pixels of `count` antialiased ellipses, each
// in a colour of its own, or, with `chart`, 1800 x 1000 pixels of a bar chart of 200 bars with
// grid lines, a title and a label under every bar.
QByteArray file(int count, bool chart);

// The `n`th ellipse of that picture: its box in pixels and its colour (ARGB, not premultiplied).
struct Ellipse {
    QRectF box;
    QRgb colour;
};
Ellipse ellipse(int n);

} // namespace emfplus

// A packed 24-bit bottom-up DIB of one row: the colours left to right.
QByteArray dibRow(const QList<QRgb> &colors);

} // namespace testkit
