#include "picture/metafile/wmf_decoder.h"

#include "picture/byte_reader.h"
#include "picture/image_allocation.h"
#include "picture/metafile/metafile_bitmap.h"
#include "picture/metafile/metafile_canvas.h"
#include "picture/metafile/metafile_common.h"
#include "picture/metafile/metafile_records.h"
#include "picture/picture_errors.h"

#include <QIODevice>

#include <cmath>

namespace picture::wmf {

using metafile::played;
using metafile::Played;

namespace {

enum Function : quint16 {
    Eof = 0x0000,
    SetBkColor = 0x0201,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetPolyFillMode = 0x0106,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    ScaleWindowExt = 0x0410,
    OffsetViewportOrg = 0x0211,
    ScaleViewportExt = 0x0412,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Arc = 0x0817,
    Ellipse = 0x0418,
    Pie = 0x081A,
    Rectangle = 0x041B,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    SaveDC = 0x001E,
    SetPixel = 0x041F,
    OffsetClipRgn = 0x0220,
    TextOut = 0x0521,
    BitBlt = 0x0922,
    StretchBlt = 0x0B23,
    Polygon = 0x0324,
    Polyline = 0x0325,
    RestoreDC = 0x0127,
    FillRegion = 0x0228,
    FrameRegion = 0x0429,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    Chord = 0x0830,
    ExtTextOut = 0x0A32,
    SetDibToDev = 0x0D33,
    SelectPalette = 0x0234,
    PolyPolygon = 0x0538,
    DibBitBlt = 0x0940,
    DibStretchBlt = 0x0B41,
    DibCreatePatternBrush = 0x0142,
    StretchDib = 0x0F43,
    DeleteObject = 0x01F0,
    CreatePalette = 0x00F7,
    CreatePatternBrush = 0x01F9,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    CreateRegion = 0x06FF,
};

QRgb colorRef(quint32 value) {
    return qRgb(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
}

// Reads the header fields; `ok` false when the data ends first.
WmfPlaceableHeader readPlaceable(ByteReader &r) {
    WmfPlaceableHeader h;
    h.Key = r.u32();
    h.Hmf = r.u16();
    h.Left = r.i16();
    h.Top = r.i16();
    h.Right = r.i16();
    h.Bottom = r.i16();
    h.Inch = r.u16();
    h.Reserved = r.u32();
    h.Checksum = r.u16();
    return h;
}

WmfHeader readHeader(ByteReader &r) {
    WmfHeader h;
    h.Type = r.u16();
    h.HeaderSize = r.u16();
    h.Version = r.u16();
    h.Size = r.u32();
    h.NumberOfObjects = r.u16();
    h.MaxRecord = r.u32();
    h.NumberOfMembers = r.u16();
    return h;
}

// Parameters are stored last-first: a rectangle as bottom, right, top, left.
QRectF readReversedRect(ByteReader &r) {
    const double bottom = r.i16(), right = r.i16(), top = r.i16(), left = r.i16();
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPointF readReversedPoint(ByteReader &r) {
    const double y = r.i16();
    const double x = r.i16();
    return QPointF(x, y);
}

QList<QPointF> readPoints(ByteReader &r, qsizetype count) {
    QList<QPointF> points;
    if (count < 0 || count * 4 > r.remaining())
        return points;
    points.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const double x = r.i16();
        const double y = r.i16();
        points.append(QPointF(x, y));
    }
    return points;
}

// Records are a length in 16-bit words, the header's three included, then the function.
metafile::RecordHeader readRecordHeader(QByteArrayView header) {
    ByteReader r(header);
    const quint32 words = r.u32();
    return {r.u16(), quint64(words) * 2};
}

constexpr metafile::RecordLayout Records{6, Eof, readRecordHeader};

// A metafile without the placeable header says nothing of its size: take its window, else its
// viewport, else the box its drawing records cover, at 96 units per inch.
struct PlainBounds {
    std::optional<QPointF> org;
    std::optional<QSizeF> windowExt, viewportExt;
    std::optional<QPointF> low, high;
    double fontHeight = 12;

    void include(QPointF p) {
        low = low ? QPointF(std::min(low->x(), p.x()), std::min(low->y(), p.y())) : p;
        high = high ? QPointF(std::max(high->x(), p.x()), std::max(high->y(), p.y())) : p;
    }

    void visit(quint32 function, ByteReader &r) {
        switch (function) {
        case SetWindowOrg:
            if (!org)
                org = readReversedPoint(r);
            break;
        case SetWindowExt: {
            const QPointF e = readReversedPoint(r);
            if (!windowExt && e.x() != 0 && e.y() != 0)
                windowExt = QSizeF(e.x(), e.y());
            break;
        }
        case SetViewportExt: {
            const QPointF e = readReversedPoint(r);
            if (!viewportExt && e.x() != 0 && e.y() != 0)
                viewportExt = QSizeF(e.x(), e.y());
            break;
        }
        case LineTo:
        case MoveTo:
            include(readReversedPoint(r));
            break;
        case Rectangle:
        case Ellipse: {
            const QRectF rect = readReversedRect(r);
            include(rect.topLeft());
            include(rect.bottomRight());
            break;
        }
        case RoundRect:
            r.skip(4);
            [[fallthrough]];
        case Arc:
        case Pie:
        case Chord:
            if (function != RoundRect)
                r.skip(8);
            {
                const QRectF rect = readReversedRect(r);
                include(rect.topLeft());
                include(rect.bottomRight());
            }
            break;
        case Polygon:
        case Polyline:
            for (const QPointF &p : readPoints(r, r.u16()))
                include(p);
            break;
        case CreateFontIndirect:
            fontHeight = std::abs(r.i16());
            break;
        case TextOut: {
            const qint16 length = r.i16();
            if (length < 0 || !r.skip(length + length % 2))
                break;
            const QPointF at = readReversedPoint(r);
            include(at);
            include(at + QPointF(length * fontHeight * 0.6, fontHeight));
            break;
        }
        case ExtTextOut: {
            const QPointF at = readReversedPoint(r);
            const qint16 length = r.i16();
            include(at);
            include(at + QPointF(std::max<qint16>(length, 0) * fontHeight * 0.6, fontHeight));
            break;
        }
        case PatBlt:
        case StretchDib:
        case DibStretchBlt:
        case DibBitBlt:
        case SetDibToDev: {
            // The destination rectangle is the last four fixed parameters.
            static constexpr struct {
                quint16 function;
                int offset;
            } destinations[] = {{PatBlt, 4},
                                {StretchDib, 14},
                                {DibStretchBlt, 12},
                                {DibBitBlt, 8},
                                {SetDibToDev, 10}};
            int offset = 0;
            for (const auto &d : destinations)
                if (d.function == function)
                    offset = d.offset;
            if (function == DibStretchBlt || function == DibBitBlt)
                if (r.size() == qsizetype(function >> 8) * 2)
                    offset += 2;
            r.seek(offset);
            const double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
            if (r.ok()) {
                include(QPointF(x, y));
                include(QPointF(x + w, y + h));
            }
            break;
        }
        default:
            break;
        }
    }

    QRectF bounds() const {
        if (windowExt)
            return QRectF(org.value_or(QPointF()), *windowExt);
        if (viewportExt)
            return QRectF(org.value_or(QPointF()), *viewportExt);
        if (!low)
            return {};
        return QRectF(*low, *high);
    }
};

QRectF plainBounds(QByteArrayView data, qsizetype start) {
    PlainBounds bounds;
    metafile::walkRecords(data, {start, start}, Records,
                          [&](quint32 function, QByteArrayView record) {
                              ByteReader r(record.sliced(Records.headerBytes));
                              bounds.visit(function, r);
                              return metafile::Visited::Next;
                          });
    return bounds.bounds();
}

struct Player {
    MetafileCanvas &canvas;
    bool tableFull = false;

    void create(MetafileObject object) {
        if (canvas.createObject(std::move(object)) < 0)
            tableFull = true;
    }

    MetafileRegion readRegion(ByteReader &r) {
        MetafileRegion region;
        r.u16();
        r.i16();
        r.u32();
        r.i16();
        const qint16 scanCount = r.i16();
        r.i16();
        const double left = r.i16(), top = r.i16(), right = r.i16(), bottom = r.i16();
        for (int i = 0; i < scanCount && r.ok(); ++i) {
            const quint16 count = r.u16();
            const double scanTop = r.u16();
            const double scanBottom = r.u16();
            if (count % 2 || count * 2 > r.remaining())
                break;
            for (int k = 0; k < count / 2; ++k) {
                const double l = r.u16();
                const double rt = r.u16();
                region.rects.append(QRectF(QPointF(l, scanTop), QPointF(rt, scanBottom)));
            }
            r.u16();
        }
        if (region.rects.isEmpty() && right > left && bottom > top)
            region.rects.append(QRectF(QPointF(left, top), QPointF(right, bottom)));
        return region;
    }

    // A blit record: the source is a DIB (or an old device bitmap) unless the record is only
    // as long as its fixed fields, in which case it paints with the brush.
    void blit(quint16 function, ByteReader &r, bool stretch, bool deviceIndependent) {
        const quint32 rop = r.u32();
        const bool withoutBitmap = r.size() == qsizetype(function >> 8) * 2;
        double srcH = 0, srcW = 0;
        if (stretch) {
            srcH = r.i16();
            srcW = r.i16();
        }
        const double ySrc = r.i16(), xSrc = r.i16();
        if (withoutBitmap)
            r.u16();
        const double destH = r.i16(), destW = r.i16(), yDest = r.i16(), xDest = r.i16();
        if (!stretch) {
            srcW = destW;
            srcH = destH;
        }
        if (!r.ok())
            return;
        const QRectF dest(xDest, yDest, destW, destH);
        if (withoutBitmap) {
            canvas.blit(dest, QImage(), QRectF(), rop);
            return;
        }
        const QByteArrayView bitmap = r.bytes(r.remaining());
        const QImage image = deviceIndependent
                                 ? metafile_bitmap::decodePacked(bitmap, metafile_bitmap::RgbColors,
                                                                 canvas.palette())
                                 : metafile_bitmap::decodeBitmap16(bitmap);
        // DIB blits play as StretchDIBits does: rows count from the bottom of a bottom-up DIB.
        const QRectF source = deviceIndependent
                                  ? dibSourceRect(image, bitmap, xSrc, ySrc, srcW, srcH)
                                  : QRectF(xSrc, ySrc, srcW, srcH);
        canvas.blit(dest, image, source, rop);
    }

    // StretchDIBits-style source rectangles count rows from the bottom of a bottom-up DIB.
    static QRectF dibSourceRect(const QImage &image, QByteArrayView dib, double x, double y,
                                double w, double h) {
        ByteReader r(dib);
        const quint32 headerSize = r.u32();
        qint32 height = 0;
        if (headerSize == 12) {
            r.u16();
            height = r.u16();
        } else {
            r.i32();
            height = r.i32();
        }
        if (height > 0)
            return QRectF(x, image.height() - y - h, w, h);
        return QRectF(x, y, w, h);
    }

    void stretchDib(ByteReader &r) {
        const quint32 rop = r.u32();
        const quint16 usage = r.u16();
        const double srcH = r.i16(), srcW = r.i16(), ySrc = r.i16(), xSrc = r.i16();
        const double destH = r.i16(), destW = r.i16(), yDest = r.i16(), xDest = r.i16();
        if (!r.ok())
            return;
        const QByteArrayView dib = r.bytes(r.remaining());
        const QImage image = metafile_bitmap::decodePacked(dib, usage, canvas.palette());
        canvas.blit(QRectF(xDest, yDest, destW, destH), image,
                    dibSourceRect(image, dib, xSrc, ySrc, srcW, srcH), rop);
    }

    void setDibToDev(ByteReader &r) {
        const quint16 usage = r.u16();
        r.u16();
        r.u16();
        const double yDib = r.i16(), xDib = r.i16();
        const double height = r.i16(), width = r.i16(), yDest = r.i16(), xDest = r.i16();
        if (!r.ok())
            return;
        const QByteArrayView dib = r.bytes(r.remaining());
        const QImage image = metafile_bitmap::decodePacked(dib, usage, canvas.palette());
        canvas.blit(QRectF(xDest, yDest, width, height), image,
                    dibSourceRect(image, dib, xDib, yDib, width, height), 0x00CC0020);
    }

    void text(QByteArrayView bytes, QPointF at, quint32 options, QRectF rect,
              const QList<double> &dx) {
        MetafileCanvas::TextRun run;
        run.reference = at;
        run.text = metafile::decodeText(bytes, canvas.font().charset);
        run.options = options;
        run.rect = rect;
        if (dx.size() == run.text.size())
            run.dx = dx;
        canvas.text(run);
    }

    void extTextOut(ByteReader &r) {
        const double y = r.i16(), x = r.i16();
        const qint16 length = r.i16();
        const quint16 options = r.u16();
        QRectF rect;
        if (options & 0x0006) {
            const double left = r.i16(), top = r.i16(), right = r.i16(), bottom = r.i16();
            rect = QRectF(QPointF(left, top), QPointF(right, bottom));
        }
        if (!r.ok() || length < 0 || length > r.remaining()) {
            if (r.ok() && (options & 0x0002) && length == 0)
                text({}, QPointF(x, y), options, rect, {});
            return;
        }
        const QByteArrayView bytes = r.bytes(length);
        if (length % 2)
            r.skip(1);
        QList<double> dx;
        const bool pairs = options & 0x2000;
        const qsizetype entries = pairs ? qsizetype(length) * 2 : length;
        if (length > 0 && r.remaining() >= entries * 2) {
            for (qsizetype i = 0; i < length; ++i) {
                dx.append(r.i16());
                if (pairs)
                    r.i16();
            }
        }
        text(bytes, QPointF(x, y), options, rect, dx);
    }

    // A LOGFONT with its 8-bit face name.
    static MetafileFont readFont(ByteReader &r) {
        MetafileFont font;
        font.height = r.i16();
        font.width = r.i16();
        font.escapement = r.i16();
        r.i16();
        font.weight = r.i16();
        font.italic = r.u8();
        font.underline = r.u8();
        font.strikeOut = r.u8();
        font.charset = r.u8();
        r.skip(4);
        const QByteArrayView face = r.bytes(std::min<qsizetype>(32, r.remaining()));
        const qsizetype end = face.indexOf('\0');
        font.face = metafile::decodeText(end >= 0 ? face.first(end) : face,
                                         font.charset == 2 ? 0 : font.charset);
        return font;
    }

    // The DC settings, the window and viewport, and the SaveDC stack.
    Played playState(quint16 function, ByteReader &r) {
        switch (function) {
        case SetBkColor:
            canvas.setBkColor(colorRef(r.u32()));
            break;
        case SetBkMode:
            canvas.setBkMode(r.u16());
            break;
        case SetMapMode:
            canvas.setMapMode(r.u16());
            break;
        case SetRop2:
            canvas.setRop2(r.u16());
            break;
        case SetPolyFillMode:
            canvas.setPolyFillMode(r.u16());
            break;
        case SetTextColor:
            canvas.setTextColor(colorRef(r.u32()));
            break;
        case SetTextAlign:
            canvas.setTextAlign(r.u16());
            break;
        case SetWindowOrg: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.setWindowOrg(p);
            break;
        }
        case SetWindowExt: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.setWindowExt(QSizeF(p.x(), p.y()));
            break;
        }
        case SetViewportOrg: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.setViewportOrg(p);
            break;
        }
        case SetViewportExt: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.setViewportExt(QSizeF(p.x(), p.y()));
            break;
        }
        case OffsetWindowOrg: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.offsetWindowOrg(p);
            break;
        }
        case OffsetViewportOrg: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.offsetViewportOrg(p);
            break;
        }
        case ScaleWindowExt:
        case ScaleViewportExt: {
            const double yDenom = r.i16(), yNum = r.i16(), xDenom = r.i16(), xNum = r.i16();
            if (!r.ok())
                break;
            if (function == ScaleWindowExt)
                canvas.scaleWindowExt(xNum, xDenom, yNum, yDenom);
            else
                canvas.scaleViewportExt(xNum, xDenom, yNum, yDenom);
            break;
        }
        case SaveDC:
            canvas.saveDC();
            break;
        case RestoreDC: {
            const qint16 which = r.i16();
            if (r.ok())
                canvas.restoreDC(which);
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Lines, shapes and pixels.
    Played playDrawing(quint16 function, ByteReader &r) {
        switch (function) {
        case MoveTo: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.moveTo(p);
            break;
        }
        case LineTo: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.lineTo(p);
            break;
        }
        case Rectangle:
        case Ellipse: {
            const QRectF box = readReversedRect(r);
            if (!r.ok())
                break;
            if (function == Rectangle)
                canvas.rectangle(box);
            else
                canvas.ellipse(box);
            break;
        }
        case RoundRect: {
            const double h = r.i16(), w = r.i16();
            const QRectF box = readReversedRect(r);
            if (r.ok())
                canvas.roundRect(box, QSizeF(w, h));
            break;
        }
        case Arc:
        case Pie:
        case Chord: {
            const QPointF end = readReversedPoint(r);
            const QPointF start = readReversedPoint(r);
            const QRectF box = readReversedRect(r);
            if (!r.ok())
                break;
            const auto kind = function == Arc   ? MetafileCanvas::ArcKind::Arc
                              : function == Pie ? MetafileCanvas::ArcKind::Pie
                                                : MetafileCanvas::ArcKind::Chord;
            canvas.arc(box, start, end, kind);
            break;
        }
        case Polygon:
        case Polyline: {
            const quint16 count = r.u16();
            const QList<QPointF> points = readPoints(r, count);
            if (points.size() != count)
                return Played::Lied;
            if (function == Polygon)
                canvas.polygon(points);
            else
                canvas.polyline(points);
            break;
        }
        case PolyPolygon: {
            const quint16 polygons = r.u16();
            QList<quint16> counts;
            qint64 total = 0;
            for (int i = 0; i < polygons && r.ok(); ++i) {
                counts.append(r.u16());
                total += counts.last();
            }
            if (!r.ok() || total * 4 > r.remaining())
                return Played::Lied;
            QList<QList<QPointF>> all;
            for (quint16 count : counts)
                all.append(readPoints(r, count));
            canvas.polyPolygon(all);
            break;
        }
        case SetPixel: {
            const quint32 color = r.u32();
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.setPixel(p, colorRef(color));
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Text.
    Played playText(quint16 function, ByteReader &r) {
        switch (function) {
        case TextOut: {
            const qint16 length = r.i16();
            if (length < 0 || length > r.remaining())
                return Played::Lied;
            const QByteArrayView bytes = r.bytes(length);
            if (length % 2)
                r.skip(1);
            const QPointF at = readReversedPoint(r);
            if (r.ok())
                text(bytes, at, 0, {}, {});
            break;
        }
        case ExtTextOut:
            extTextOut(r);
            break;
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Block transfers, with a bitmap or with the brush alone.
    Played playBitmaps(quint16 function, ByteReader &r) {
        switch (function) {
        case PatBlt: {
            const quint32 rop = r.u32();
            const double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
            if (r.ok())
                canvas.blit(QRectF(x, y, w, h), QImage(), QRectF(), rop);
            break;
        }
        case BitBlt:
            blit(function, r, false, false);
            break;
        case StretchBlt:
            blit(function, r, true, false);
            break;
        case DibBitBlt:
            blit(function, r, false, true);
            break;
        case DibStretchBlt:
            blit(function, r, true, true);
            break;
        case StretchDib:
            stretchDib(r);
            break;
        case SetDibToDev:
            setDibToDev(r);
            break;
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // The clip region, and drawing with region objects.
    Played playClipping(quint16 function, ByteReader &r) {
        switch (function) {
        case ExcludeClipRect:
        case IntersectClipRect: {
            const QRectF box = readReversedRect(r);
            if (!r.ok())
                break;
            if (function == ExcludeClipRect)
                canvas.excludeClipRect(box);
            else
                canvas.intersectClipRect(box);
            break;
        }
        case OffsetClipRgn: {
            const QPointF p = readReversedPoint(r);
            if (r.ok())
                canvas.offsetClip(p);
            break;
        }
        case SelectClipRegion: {
            const quint16 index = r.u16();
            const MetafileObject *o = canvas.object(index);
            const auto *region = o ? std::get_if<MetafileRegion>(o) : nullptr;
            canvas.selectClipRegion(region, MetafileCanvas::ClipMode::Copy, true);
            break;
        }
        case FillRegion:
        case PaintRegion:
        case InvertRegion:
        case FrameRegion: {
            const quint16 regionIndex = r.u16();
            const MetafileObject *o = canvas.object(regionIndex);
            const auto *region = o ? std::get_if<MetafileRegion>(o) : nullptr;
            if (!region)
                break;
            if (function == InvertRegion) {
                canvas.invertRegion(*region, true);
                break;
            }
            if (function == PaintRegion) {
                break;
            }
            const MetafileObject *b = canvas.object(r.u16());
            const auto *brush = b ? std::get_if<MetafileBrush>(b) : nullptr;
            if (!brush)
                break;
            if (function == FillRegion) {
                canvas.fillRegion(*region, *brush, true);
            } else {
                const double h = r.i16(), w = r.i16();
                canvas.frameRegion(*region, *brush, true, QSizeF(w, h));
            }
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // The object table: selecting and deleting objects, and the records that create them.
    Played playObjects(quint16 function, ByteReader &r) {
        switch (function) {
        case SelectObject:
            canvas.selectObject(r.u16());
            break;
        case SelectPalette:
            canvas.selectObject(r.u16());
            break;
        case DeleteObject:
            canvas.deleteObject(r.u16());
            break;
        case CreatePenIndirect: {
            MetafilePen pen;
            pen.style = r.u16();
            pen.width = std::abs(r.i16());
            r.i16();
            pen.color = colorRef(r.u32());
            create(pen);
            break;
        }
        case CreateBrushIndirect: {
            MetafileBrush brush;
            brush.style = r.u16();
            brush.color = colorRef(r.u32());
            brush.hatch = r.u16();
            create(brush);
            break;
        }
        case DibCreatePatternBrush: {
            MetafileBrush brush;
            r.u16();
            const quint16 usage = r.u16();
            brush.style = 5;
            const QByteArrayView packed = r.bytes(r.remaining());
            brush.pattern = metafile_bitmap::decodePackedMonochrome(packed, usage);
            brush.monochrome = !brush.pattern.isNull();
            if (!brush.monochrome)
                brush.pattern = metafile_bitmap::decodePacked(packed, usage, canvas.palette());
            brush.color = 0xff808080;
            if (brush.pattern.isNull())
                brush.style = 0;
            create(brush);
            break;
        }
        case CreatePatternBrush: {
            MetafileBrush brush;
            brush.style = 3;
            brush.color = 0xff808080;
            brush.pattern = metafile_bitmap::decodeBitmap16(r.bytes(r.remaining()));
            // A monochrome bitmap paints in the text and background colours.
            brush.monochrome = brush.pattern.format() == QImage::Format_Mono;
            create(brush);
            break;
        }
        case CreateFontIndirect:
            create(readFont(r));
            break;
        case CreatePalette: {
            MetafilePalette palette;
            r.u16();
            const quint16 count = r.u16();
            for (int i = 0; i < count && r.remaining() >= 4; ++i) {
                const quint8 red = r.u8(), green = r.u8(), blue = r.u8();
                r.u8();
                palette.colors.append(qRgb(red, green, blue));
            }
            create(palette);
            break;
        }
        case CreateRegion:
            create(readRegion(r));
            break;
        default:
            // Records we leave undrawn still take an object slot when they make one.
            if ((function & 0xff) != 0xf8)
                return Played::NotMine;
            create(MetafileBrush{1, 0, 0, {}});
            break;
        }
        return Played::Done;
    }

    // Plays one record: each family of records plays its own, and records no family knows are
    // skipped.
    bool play(quint16 function, ByteReader &r) {
        canvas.spend(1);
        for (const auto family :
             {&Player::playState, &Player::playDrawing, &Player::playText, &Player::playBitmaps,
              &Player::playClipping, &Player::playObjects}) {
            const Played outcome = (this->*family)(function, r);
            if (outcome != Played::NotMine)
                return outcome == Played::Done;
        }
        return true;
    }
};

} // namespace

QSize placeableSize(const WmfPlaceableHeader &h) {
    const qint64 inch = h.Inch != 0 ? h.Inch : 1440;
    const qint64 width = std::abs(qint64(h.Right) - h.Left);
    const qint64 height = std::abs(qint64(h.Bottom) - h.Top);
    const qint64 himetricW = metafile::mulDiv(width, 2540, inch);
    const qint64 himetricH = metafile::mulDiv(height, 2540, inch);
    return metafile::clampedSize(double(metafile::mulDiv(himetricW, 96, 2540)),
                                 double(metafile::mulDiv(himetricH, 96, 2540)));
}

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(WmfPlaceableHeader::ByteSize + WmfHeader::ByteSize);
    ByteReader r(head);
    if (r.u32() == WmfPlaceableHeader::Signature)
        return true;
    r.seek(0);
    WmfHeader h;
    h.Type = r.u16();
    h.HeaderSize = r.u16();
    h.Version = r.u16();
    return r.ok() && h.isValid() && (h.Version == 0x0100 || h.Version == 0x0300);
}

LoadResult read(QIODevice &device, QSize visible) {
    const std::optional<QByteArray> file = metafile::readAll(device);
    if (!file)
        return LoadResult::failure(errors::tooLarge());
    const QByteArray &data = *file;
    if (data.isEmpty())
        return LoadResult::failure(errors::empty());

    ByteReader r(data);
    WmfPlaceableHeader placeable = readPlaceable(r);
    if (!placeable.isValid()) {
        placeable = {};
        r.seek(0);
    }
    const qsizetype headerStart = r.pos();
    const WmfHeader header = readHeader(r);
    if (!r.ok())
        return LoadResult::failure(placeable.isValid() ? errors::truncated()
                                                       : errors::unsupported());
    if (!header.isValid())
        return LoadResult::failure(placeable.isValid() ? errors::corrupt() : errors::unsupported());
    const qsizetype recordsStart = headerStart + header.HeaderSize * 2;

    QSize natural;
    QRectF window;
    if (placeable.isValid()) {
        natural = placeableSize(placeable);
        window = QRectF(QPointF(placeable.Left, placeable.Top),
                        QPointF(placeable.Right, placeable.Bottom))
                     .normalized();
    } else {
        window = plainBounds(data, recordsStart);
        // Without a stated size, very large drawings are shown at most this wide or high.
        constexpr double Cap = 1024;
        double w = std::abs(window.width()), h = std::abs(window.height());
        if (w <= 0 || h <= 0 || !std::isfinite(w) || !std::isfinite(h))
            return LoadResult::failure(errors::corrupt());
        const double scale = std::min(1.0, Cap / std::max(w, h));
        natural = metafile::clampedSize(w * scale, h * scale);
    }
    if (window.width() == 0)
        window.setWidth(1);
    if (window.height() == 0)
        window.setHeight(1);

    // A record chain that breaks early is refused before any pixels are allocated for it.
    const metafile::Walk records{recordsStart, recordsStart};
    const metafile::Walk chain = metafile::walkRecords(
        data, records, Records, [](quint32, QByteArrayView) { return metafile::Visited::Next; });
    if (const QString error = metafile::brokenFileError(chain, data.size()); !error.isEmpty())
        return LoadResult::failure(error);

    auto image =
        allocateImage(metafile::drawingSize(natural, visible), QImage::Format_ARGB32_Premultiplied);
    if (!image)
        return LoadResult::failure(errors::tooLarge());

    metafile::Walk walk;
    {
        MetafileCanvas canvas(*image);
        canvas.setShownSize(metafile::rasterSize(natural, visible));
        canvas.useWindowMapping(window, QSizeF(natural));
        Player player{canvas};
        walk = metafile::playRecords(data, records, Records, canvas,
                                     [&](quint32 function, QByteArrayView record) {
                                         ByteReader parameters(record.sliced(Records.headerBytes));
                                         return player.play(quint16(function), parameters);
                                     });
    }
    if (const QString error = metafile::brokenFileError(walk, data.size()); !error.isEmpty())
        return LoadResult::failure(error);
    return LoadResult{
        Picture{metafile::visiblePart(*std::move(image), natural, visible), natural, Format::Wmf},
        {}};
}

} // namespace picture::wmf
