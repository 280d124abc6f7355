#include "picture/metafile/emf_decoder.h"

#include "picture/byte_reader.h"
#include "picture/image_allocation.h"
#include "picture/metafile/emfplus_player.h"
#include "picture/metafile/metafile_bitmap.h"
#include "picture/metafile/metafile_canvas.h"
#include "picture/metafile/metafile_common.h"
#include "picture/metafile/metafile_records.h"
#include "picture/picture_errors.h"

#include <QIODevice>

#include <cmath>

namespace picture::emf {

using metafile::played;
using metafile::Played;

namespace {

enum Record : quint32 {
    Header = 1,
    PolyBezier = 2,
    Polygon = 3,
    Polyline = 4,
    PolyBezierTo = 5,
    PolylineTo = 6,
    PolyPolyline = 7,
    PolyPolygon = 8,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetViewportOrgEx = 12,
    Eof = 14,
    SetPixelV = 15,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetRop2 = 20,
    SetTextAlign = 22,
    SetTextColor = 24,
    SetBkColor = 25,
    OffsetClipRgn = 26,
    MoveToEx = 27,
    ExcludeClipRect = 29,
    IntersectClipRect = 30,
    ScaleViewportExtEx = 31,
    ScaleWindowExtEx = 32,
    SaveDC = 33,
    RestoreDC = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    AngleArc = 41,
    Ellipse = 42,
    Rectangle = 43,
    RoundRect = 44,
    Arc = 45,
    Chord = 46,
    Pie = 47,
    SelectPalette = 48,
    CreatePalette = 49,
    LineTo = 54,
    ArcTo = 55,
    PolyDraw = 56,
    SetArcDirection = 57,
    SetMiterLimit = 58,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokeAndFillPath = 63,
    StrokePath = 64,
    FlattenPath = 65,
    WidenPath = 66,
    SelectClipPath = 67,
    AbortPath = 68,
    Comment = 70,
    FillRgn = 71,
    FrameRgn = 72,
    InvertRgn = 73,
    PaintRgn = 74,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchBlt = 77,
    MaskBlt = 78,
    SetDIBitsToDevice = 80,
    StretchDIBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83,
    ExtTextOutW = 84,
    PolyBezier16 = 85,
    Polygon16 = 86,
    Polyline16 = 87,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    PolyPolyline16 = 90,
    PolyPolygon16 = 91,
    PolyDraw16 = 92,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    ExtCreatePen = 95,
    PolyTextOutA = 96,
    PolyTextOutW = 97,
    SmallTextOut = 108,
    AlphaBlend = 114,
    TransparentBlt = 116,
    GradientFill = 118,
};

constexpr quint32 EmfPlusIdentifier = 0x2B464D45; // "EMF+"
constexpr quint32 StockObject = 0x80000000;

QRgb colorRef(quint32 value) {
    return qRgb(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
}

QRect readRect(ByteReader &r) {
    const int left = r.i32(), top = r.i32(), right = r.i32(), bottom = r.i32();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRectF readRectF(ByteReader &r) {
    const double left = r.i32(), top = r.i32(), right = r.i32(), bottom = r.i32();
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPointF readPoint(ByteReader &r) {
    const double x = r.i32();
    const double y = r.i32();
    return QPointF(x, y);
}

EmfHeader readHeader(ByteReader &r) {
    EmfHeader h;
    h.rclBounds = readRect(r);
    h.rclFrame = readRect(r);
    h.dSignature = r.u32();
    h.nVersion = r.u32();
    h.nBytes = r.u32();
    h.nRecords = r.u32();
    h.nHandles = r.u16();
    h.sReserved = r.u16();
    h.nDescription = r.u32();
    h.offDescription = r.u32();
    h.nPalEntries = r.u32();
    const int devW = r.i32(), devH = r.i32();
    h.szlDevice = QSize(devW, devH);
    const int mmW = r.i32(), mmH = r.i32();
    h.szlMillimeters = QSize(mmW, mmH);
    return h;
}

bool frameIsDegenerate(const EmfHeader &h) {
    return h.rclFrame.right() == h.rclFrame.left() || h.rclFrame.bottom() == h.rclFrame.top();
}

// Records are a type, then a length in bytes, the header's eight included and a multiple of four.
metafile::RecordHeader readRecordHeader(QByteArrayView header) {
    ByteReader r(header);
    const quint32 type = r.u32();
    const quint32 size = r.u32();
    return {type, size % 4 ? 0 : size};
}

constexpr metafile::RecordLayout Records{8, Eof, readRecordHeader};

struct Player {
    MetafileCanvas &canvas;
    QByteArrayView record;           // the whole record, for offsets counted from its start
    emfplus::Player *plus = nullptr; // EMF+ hook: plays the EMF+ records of comments

    // A record whose counts or offsets reach past its end: playback ends there.
    static bool lie() { return false; }

    // `count` points of 16 or 32 bits each, or nothing when the record is shorter than that.
    static std::optional<QList<QPointF>> readPoints(ByteReader &r, quint64 count, bool small) {
        const quint64 bytes = count * (small ? 4 : 8);
        if (count > quint64(r.remaining()) || bytes > quint64(r.remaining()))
            return std::nullopt;
        QList<QPointF> points;
        points.reserve(qsizetype(count));
        for (quint64 i = 0; i < count; ++i) {
            if (small) {
                const double x = r.i16();
                const double y = r.i16();
                points.append(QPointF(x, y));
            } else {
                points.append(readPoint(r));
            }
        }
        return points;
    }

    bool poly(quint32 type, ByteReader &r, bool small) {
        readRect(r);
        const quint32 count = r.u32();
        const auto points = readPoints(r, count, small);
        if (!r.ok() || !points)
            return lie();
        canvas.spend(points->size());
        switch (type) {
        case PolyBezier:
        case PolyBezier16:
            canvas.polyBezier(*points);
            break;
        case Polygon:
        case Polygon16:
            canvas.polygon(*points);
            break;
        case Polyline:
        case Polyline16:
            canvas.polyline(*points);
            break;
        case PolyBezierTo:
        case PolyBezierTo16:
            canvas.polyBezierTo(*points);
            break;
        case PolylineTo:
        case PolylineTo16:
            canvas.polylineTo(*points);
            break;
        default:
            break;
        }
        return true;
    }

    bool polyPoly(quint32 type, ByteReader &r, bool small) {
        readRect(r);
        const quint32 polys = r.u32();
        const quint32 total = r.u32();
        if (!r.ok() || quint64(polys) * 4 > quint64(r.remaining()))
            return lie();
        QList<quint32> counts;
        quint64 sum = 0;
        for (quint32 i = 0; i < polys; ++i) {
            counts.append(r.u32());
            sum += counts.last();
        }
        if (sum > total)
            return lie();
        const auto points = readPoints(r, sum, small);
        if (!points)
            return lie();
        canvas.spend(points->size());
        QList<QList<QPointF>> all;
        qsizetype at = 0;
        for (quint32 count : counts) {
            all.append(points->mid(at, count));
            at += count;
        }
        if (type == PolyPolygon || type == PolyPolygon16)
            canvas.polyPolygon(all);
        else
            canvas.polyPolyline(all);
        return true;
    }

    bool polyDraw(ByteReader &r, bool small) {
        readRect(r);
        const quint32 count = r.u32();
        const auto points = readPoints(r, count, small);
        if (!points || quint64(count) > quint64(r.remaining()))
            return lie();
        canvas.spend(count);
        canvas.polyDraw(*points, r.bytes(count).toByteArray());
        return true;
    }

    // A region as RGNDATA: a header, then its rectangles.
    std::optional<MetafileRegion> readRegion(ByteReader &r, quint32 size) {
        if (size < 32 || size > quint64(r.remaining()))
            return std::nullopt;
        ByteReader data(r.bytes(size));
        data.u32();
        data.u32();
        const quint32 count = data.u32();
        data.u32();
        readRect(data);
        if (quint64(count) * 16 > quint64(data.remaining()))
            return std::nullopt;
        MetafileRegion region;
        region.rects.reserve(count);
        for (quint32 i = 0; i < count; ++i)
            region.rects.append(readRectF(data));
        canvas.spend(count);
        return region;
    }

    std::optional<QByteArrayView> slice(quint32 offset, quint32 size) const {
        return ByteReader(record).slice(offset, size);
    }

    QImage bitmap(quint32 offBmi, quint32 cbBmi, quint32 offBits, quint32 cbBits,
                  quint32 usage) const {
        const auto info = slice(offBmi, cbBmi);
        const auto bits = slice(offBits, cbBits);
        if (!info || !bits || cbBmi == 0)
            return {};
        return metafile_bitmap::decode(*info, *bits, usage, canvas.palette());
    }

    static bool bottomUp(QByteArrayView info) {
        ByteReader r(info);
        const quint32 headerSize = r.u32();
        if (headerSize == 12)
            return true;
        r.i32();
        return r.i32() > 0;
    }

    void blit(quint32 type, ByteReader &r) {
        readRect(r);
        const double x = r.i32(), y = r.i32(), cx = r.i32(), cy = r.i32();
        const quint32 rop = r.u32();
        const double xSrc = r.i32(), ySrc = r.i32();
        r.skip(24);
        r.u32();
        const quint32 usage = r.u32();
        const quint32 offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
        double cxSrc = cx, cySrc = cy;
        if (type == StretchBlt || type == TransparentBlt) {
            cxSrc = r.i32();
            cySrc = r.i32();
        }
        if (!r.ok())
            return;
        const QRectF dest(x, y, cx, cy);
        const QRectF source(xSrc, ySrc, cxSrc, cySrc);
        if (cbBmi == 0) {
            if (type != TransparentBlt)
                canvas.blit(dest, QImage(), QRectF(), rop);
            return;
        }
        const QImage image = bitmap(offBmi, cbBmi, offBits, cbBits, usage);
        if (image.isNull())
            return;
        if (type == TransparentBlt) {
            QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
            const QRgb key = colorRef(rop) | 0xff000000;
            for (int row = 0; row < keyed.height(); ++row) {
                auto *line = reinterpret_cast<QRgb *>(keyed.scanLine(row));
                for (int col = 0; col < keyed.width(); ++col)
                    if ((line[col] | 0xff000000) == key)
                        line[col] = 0;
            }
            canvas.alphaBlend(dest, keyed, source, 255);
            return;
        }
        canvas.blit(dest, image, source, type == MaskBlt ? (rop & 0x00ffffff) : rop);
    }

    void alphaBlend(ByteReader &r) {
        readRect(r);
        const double x = r.i32(), y = r.i32(), cx = r.i32(), cy = r.i32();
        const quint32 blend = r.u32();
        const double xSrc = r.i32(), ySrc = r.i32();
        r.skip(24);
        r.u32();
        r.u32();
        const quint32 offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
        const double cxSrc = r.i32(), cySrc = r.i32();
        if (!r.ok())
            return;
        const auto info = slice(offBmi, cbBmi);
        const auto bits = slice(offBits, cbBits);
        if (!info || !bits)
            return;
        const bool sourceAlpha = (blend >> 24) & 1;
        const QImage image = sourceAlpha ? metafile_bitmap::decodeWithAlpha(*info, *bits)
                                         : metafile_bitmap::decode(*info, *bits, 0, {});
        if (image.isNull())
            return;
        canvas.alphaBlend(QRectF(x, y, cx, cy),
                          sourceAlpha ? image : image.convertToFormat(QImage::Format_RGB32),
                          QRectF(xSrc, ySrc, cxSrc, cySrc), int((blend >> 16) & 0xff));
    }

    void stretchDIBits(ByteReader &r) {
        readRect(r);
        const double x = r.i32(), y = r.i32(), xSrc = r.i32(), ySrc = r.i32();
        const double cxSrc = r.i32(), cySrc = r.i32();
        const quint32 offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
        const quint32 usage = r.u32(), rop = r.u32();
        const double cx = r.i32(), cy = r.i32();
        if (!r.ok())
            return;
        const QImage image = bitmap(offBmi, cbBmi, offBits, cbBits, usage);
        if (image.isNull()) {
            if (cbBmi == 0)
                canvas.blit(QRectF(x, y, cx, cy), QImage(), QRectF(), rop);
            return;
        }
        const auto info = slice(offBmi, cbBmi);
        const double top = bottomUp(*info) ? image.height() - ySrc - cySrc : ySrc;
        canvas.blit(QRectF(x, y, cx, cy), image, QRectF(xSrc, top, cxSrc, cySrc), rop);
    }

    void setDIBitsToDevice(ByteReader &r) {
        readRect(r);
        const double x = r.i32(), y = r.i32(), xSrc = r.i32(), ySrc = r.i32();
        const double cx = r.i32(), cy = r.i32();
        const quint32 offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
        const quint32 usage = r.u32();
        if (!r.ok())
            return;
        const QImage image = bitmap(offBmi, cbBmi, offBits, cbBits, usage);
        if (image.isNull())
            return;
        const auto info = slice(offBmi, cbBmi);
        const double top = bottomUp(*info) ? image.height() - ySrc - cy : ySrc;
        canvas.blit(QRectF(x, y, cx, cy), image, QRectF(xSrc, top, cx, cy), 0x00CC0020);
    }

    // One EMRTEXT: its offsets count from the start of the record.
    bool textRecord(ByteReader &r, bool wide) {
        MetafileCanvas::TextRun run;
        run.reference = readPoint(r);
        const quint32 chars = r.u32();
        const quint32 offString = r.u32();
        run.options = r.u32();
        run.rect = readRectF(r);
        const quint32 offDx = r.u32();
        if (!r.ok())
            return lie();
        if (chars == 0) {
            if (run.options & 0x0002)
                canvas.text(run);
            return true;
        }
        const auto string = slice(offString, wide ? chars * 2 : chars);
        if (!string || chars > 0x10000000)
            return lie();
        // Glyph indices name glyphs of a font we do not have: nothing sensible to draw.
        if (run.options & 0x0010)
            return true;
        if (wide) {
            QString text(qsizetype(chars), Qt::Uninitialized);
            for (quint32 i = 0; i < chars; ++i)
                text[i] =
                    QChar(quint16(quint8(string->at(2 * i)) | quint8(string->at(2 * i + 1)) << 8));
            // Symbol-set codes, plain or moved into the private-use area, are turned into the
            // characters they show where the text is drawn.
            run.text = text;
        } else {
            run.text = metafile::decodeText(*string, canvas.font().charset);
        }
        const int wordsPerChar = run.options & 0x2000 ? 2 : 1;
        if (offDx != 0) {
            if (const auto dx = slice(offDx, chars * 4 * wordsPerChar)) {
                ByteReader d(*dx);
                QList<double> advances;
                for (quint32 i = 0; i < chars; ++i) {
                    advances.append(d.i32());
                    if (wordsPerChar == 2)
                        d.i32();
                }
                if (advances.size() == run.text.size())
                    run.dx = advances;
            }
        }
        canvas.text(run);
        return true;
    }

    bool extTextOut(ByteReader &r, bool wide) {
        readRect(r);
        r.u32();
        r.f32();
        r.f32();
        return textRecord(r, wide);
    }

    bool polyTextOut(ByteReader &r, bool wide) {
        readRect(r);
        r.u32();
        r.f32();
        r.f32();
        const quint32 strings = r.u32();
        if (!r.ok() || quint64(strings) * 40 > quint64(r.remaining()))
            return lie();
        for (quint32 i = 0; i < strings; ++i)
            if (!textRecord(r, wide))
                return false;
        return true;
    }

    // Text with its fields in a shorter layout: no Dx array, the clip rectangle optional and
    // the characters 8-bit or 16-bit.
    bool smallTextOut(ByteReader &r) {
        MetafileCanvas::TextRun run;
        run.reference = readPoint(r);
        const quint32 chars = r.u32();
        const quint32 options = r.u32();
        r.u32();
        r.f32();
        r.f32();
        run.options = options & ~0x0010u;
        if (!(options & 0x0100))
            run.rect = readRectF(r);
        else
            run.options &= ~0x0006u;
        const bool eightBit = options & 0x0200;
        if (!r.ok() || chars > quint64(r.remaining()) / (eightBit ? 1 : 2))
            return lie();
        const QByteArrayView text = r.bytes(eightBit ? chars : chars * 2);
        if (options & 0x0010)
            return true;
        if (eightBit) {
            run.text = metafile::decodeText(text, canvas.font().charset);
        } else {
            run.text.resize(chars);
            for (quint32 i = 0; i < chars; ++i)
                run.text[i] = QChar(quint16(quint8(text[2 * i]) | quint8(text[2 * i + 1]) << 8));
        }
        canvas.text(run);
        return true;
    }

    void comment(ByteReader &r) {
        const quint32 size = r.u32();
        if (size < 4 || size > quint64(r.remaining()))
            return;
        ByteReader data(r.bytes(size));
        if (data.u32() != EmfPlusIdentifier)
            return;
        // EMF+ hook: with the EMF+ player on, it plays the records; without it (the classic
        // records drawing on their own) they are passed over.
        if (plus)
            plus->play(data.bytes(data.remaining()));
    }

    // A monochrome brush always takes the text and background colours; a 1-bit DIB pattern
    // does when it comes without a colour table.
    MetafileBrush brushFromDib(ByteReader &r, bool monochrome) {
        const quint32 usage = r.u32();
        const quint32 offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
        MetafileBrush brush;
        brush.style = 5;
        brush.color = 0xff808080;
        const auto info = slice(offBmi, cbBmi);
        const auto bits = slice(offBits, cbBits);
        if (!r.ok() || !info || !bits) {
            brush.style = 0;
            return brush;
        }
        // A 1-bit bitmap of a monochrome brush, or one that has no colour table, takes the DC's
        // colours; anything else keeps its own.
        if (monochrome)
            brush.pattern = metafile_bitmap::decodeMonochrome(*info, *bits);
        if (brush.pattern.isNull())
            brush.pattern = bitmap(offBmi, cbBmi, offBits, cbBits, usage);
        else
            brush.monochrome = true;
        if (brush.pattern.isNull() && !monochrome) {
            brush.pattern = metafile_bitmap::decodeMonochrome(*info, *bits);
            brush.monochrome = !brush.pattern.isNull();
        }
        if (brush.pattern.isNull())
            brush.style = 0;
        return brush;
    }

    void gradientFill(ByteReader &r) {
        readRect(r);
        const quint32 vertices = r.u32();
        const quint32 items = r.u32();
        const quint32 mode = r.u32();
        if (!r.ok() || quint64(vertices) * 16 > quint64(r.remaining()))
            return;
        struct Vertex {
            QPointF at;
            QRgb color;
        };
        QList<Vertex> v;
        for (quint32 i = 0; i < vertices; ++i) {
            const QPointF at = readPoint(r);
            const int red = r.u16() >> 8, green = r.u16() >> 8, blue = r.u16() >> 8;
            r.u16();
            v.append({at, qRgb(red, green, blue)});
        }
        const quint64 itemSize = mode == 2 ? 12 : 8;
        if (quint64(items) * itemSize > quint64(r.remaining()))
            return;
        canvas.spend(items);
        for (quint32 i = 0; i < items; ++i) {
            if (mode == 2) {
                const quint32 a = r.u32(), b = r.u32(), c = r.u32();
                if (a >= vertices || b >= vertices || c >= vertices)
                    continue;
                const auto mix = [&](int shift) {
                    return ((v[a].color >> shift & 0xff) + (v[b].color >> shift & 0xff) +
                            (v[c].color >> shift & 0xff)) /
                           3;
                };
                canvas.gradientTriangle(QPolygonF({v[a].at, v[b].at, v[c].at}),
                                        qRgb(int(mix(16)), int(mix(8)), int(mix(0))));
            } else {
                const quint32 a = r.u32(), b = r.u32();
                if (a >= vertices || b >= vertices)
                    continue;
                canvas.gradientRect(QRectF(v[a].at, v[b].at), v[a].color, v[b].color, mode == 1);
            }
        }
    }

    // A LOGFONTW, or nothing when the record ends before its face name.
    static std::optional<MetafileFont> readFont(ByteReader &r) {
        MetafileFont font;
        font.height = r.i32();
        font.width = r.i32();
        font.escapement = r.i32();
        r.i32();
        font.weight = r.i32();
        font.italic = r.u8();
        font.underline = r.u8();
        font.strikeOut = r.u8();
        font.charset = r.u8();
        r.skip(4);
        if (!r.ok())
            return std::nullopt;
        QString face;
        for (int i = 0; i < 32 && r.remaining() >= 2; ++i) {
            const quint16 c = r.u16();
            if (c == 0)
                break;
            face.append(QChar(c));
        }
        font.face = face;
        return font;
    }

    // The DC settings, the mapping, the world transform and the SaveDC stack.
    Played playState(quint32 type, ByteReader &r) {
        switch (type) {
        case SetWindowExtEx: {
            const QPointF p = readPoint(r);
            canvas.setWindowExt(QSizeF(p.x(), p.y()));
            break;
        }
        case SetWindowOrgEx:
            canvas.setWindowOrg(readPoint(r));
            break;
        case SetViewportExtEx: {
            const QPointF p = readPoint(r);
            canvas.setViewportExt(QSizeF(p.x(), p.y()));
            break;
        }
        case SetViewportOrgEx:
            canvas.setViewportOrg(readPoint(r));
            break;
        case ScaleViewportExtEx:
        case ScaleWindowExtEx: {
            const double xNum = r.i32(), xDenom = r.i32(), yNum = r.i32(), yDenom = r.i32();
            if (!r.ok())
                break;
            if (type == ScaleWindowExtEx)
                canvas.scaleWindowExt(xNum, xDenom, yNum, yDenom);
            else
                canvas.scaleViewportExt(xNum, xDenom, yNum, yDenom);
            break;
        }
        case SetMapMode:
            canvas.setMapMode(int(r.u32()));
            break;
        case SetBkMode:
            canvas.setBkMode(int(r.u32()));
            break;
        case SetPolyFillMode:
            canvas.setPolyFillMode(int(r.u32()));
            break;
        case SetRop2:
            canvas.setRop2(int(r.u32()));
            break;
        case SetTextAlign:
            canvas.setTextAlign(r.u32());
            break;
        case SetTextColor:
            canvas.setTextColor(colorRef(r.u32()));
            break;
        case SetBkColor:
            canvas.setBkColor(colorRef(r.u32()));
            break;
        case SaveDC:
            canvas.saveDC();
            break;
        case RestoreDC:
            canvas.restoreDC(r.i32());
            break;
        case SetWorldTransform:
        case ModifyWorldTransform: {
            const double m11 = r.f32(), m12 = r.f32(), m21 = r.f32(), m22 = r.f32();
            const double dx = r.f32(), dy = r.f32();
            const QTransform xform(m11, m12, m21, m22, dx, dy);
            if (!r.ok())
                break;
            if (type == SetWorldTransform)
                canvas.setWorldTransform(xform);
            else
                canvas.modifyWorldTransform(xform, int(r.u32()));
            break;
        }
        case SetArcDirection:
            canvas.setArcDirection(int(r.u32()));
            break;
        case SetMiterLimit: {
            const quint32 raw = r.u32();
            // Some writers store the limit as a float, others as an integer.
            canvas.setMiterLimit(raw > 1000 ? double(std::bit_cast<float>(raw)) : double(raw));
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // The object table: selecting and deleting objects, and the records that create them.
    Played playObjects(quint32 type, ByteReader &r) {
        switch (type) {
        case SelectObject: {
            const quint32 index = r.u32();
            if (index & StockObject)
                canvas.selectStockObject(index & ~StockObject);
            else
                canvas.selectObject(index);
            break;
        }
        case SelectPalette: {
            const quint32 index = r.u32();
            if (!(index & StockObject))
                canvas.selectObject(index);
            break;
        }
        case DeleteObject:
            canvas.deleteObject(r.u32());
            break;
        case CreatePen: {
            const quint32 index = r.u32();
            MetafilePen pen;
            pen.style = r.u32();
            pen.width = std::abs(double(r.i32()));
            r.i32();
            pen.color = colorRef(r.u32());
            if (r.ok())
                canvas.setObject(index, pen);
            break;
        }
        case ExtCreatePen: {
            const quint32 index = r.u32();
            r.skip(16);
            MetafilePen pen;
            pen.style = r.u32();
            pen.width = r.u32();
            r.u32();
            pen.color = colorRef(r.u32());
            r.u32();
            const quint32 entries = r.u32();
            pen.cosmetic = !(pen.style & 0x10000);
            if (pen.cosmetic)
                pen.width = 0;
            for (quint32 i = 0; i < std::min<quint32>(entries, 16) && r.remaining() >= 4; ++i)
                pen.dashes.append(r.u32());
            if (r.ok())
                canvas.setObject(index, pen);
            break;
        }
        case CreateBrushIndirect: {
            const quint32 index = r.u32();
            MetafileBrush brush;
            brush.style = r.u32();
            brush.color = colorRef(r.u32());
            brush.hatch = r.u32();
            if (r.ok())
                canvas.setObject(index, brush);
            break;
        }
        case CreateMonoBrush:
        case CreateDibPatternBrushPt: {
            const quint32 index = r.u32();
            canvas.setObject(index, brushFromDib(r, type == CreateMonoBrush));
            break;
        }
        case CreatePalette: {
            const quint32 index = r.u32();
            r.u16();
            const quint16 count = r.u16();
            MetafilePalette palette;
            for (int i = 0; i < count && r.remaining() >= 4; ++i) {
                const quint8 red = r.u8(), green = r.u8(), blue = r.u8();
                r.u8();
                palette.colors.append(qRgb(red, green, blue));
            }
            canvas.setObject(index, palette);
            break;
        }
        case ExtCreateFontIndirectW: {
            const quint32 index = r.u32();
            const std::optional<MetafileFont> font = readFont(r);
            if (!font)
                return Played::Lied;
            canvas.setObject(index, *font);
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Lines, shapes and pixels.
    Played playDrawing(quint32 type, ByteReader &r) {
        switch (type) {
        case PolyBezier:
        case Polygon:
        case Polyline:
        case PolyBezierTo:
        case PolylineTo:
            return played(poly(type, r, false));
        case PolyBezier16:
        case Polygon16:
        case Polyline16:
        case PolyBezierTo16:
        case PolylineTo16:
            return played(poly(type, r, true));
        case PolyPolyline:
        case PolyPolygon:
            return played(polyPoly(type, r, false));
        case PolyPolyline16:
        case PolyPolygon16:
            return played(polyPoly(type, r, true));
        case PolyDraw:
            return played(polyDraw(r, false));
        case PolyDraw16:
            return played(polyDraw(r, true));
        case SetPixelV: {
            const QPointF p = readPoint(r);
            const quint32 color = r.u32();
            if (r.ok())
                canvas.setPixel(p, colorRef(color));
            break;
        }
        case MoveToEx: {
            const QPointF p = readPoint(r);
            if (r.ok())
                canvas.moveTo(p);
            break;
        }
        case LineTo: {
            const QPointF p = readPoint(r);
            if (r.ok())
                canvas.lineTo(p);
            break;
        }
        case AngleArc: {
            const QPointF center = readPoint(r);
            const double radius = r.u32();
            const double start = r.f32(), sweep = r.f32();
            if (r.ok())
                canvas.angleArc(center, radius, start, sweep);
            break;
        }
        case Ellipse:
        case Rectangle: {
            const QRectF box = readRectF(r);
            if (!r.ok())
                break;
            if (type == Ellipse)
                canvas.ellipse(box);
            else
                canvas.rectangle(box);
            break;
        }
        case RoundRect: {
            const QRectF box = readRectF(r);
            const double w = r.i32(), h = r.i32();
            if (r.ok())
                canvas.roundRect(box, QSizeF(w, h));
            break;
        }
        case Arc:
        case ArcTo:
        case Chord:
        case Pie: {
            const QRectF box = readRectF(r);
            const QPointF start = readPoint(r);
            const QPointF end = readPoint(r);
            if (!r.ok())
                break;
            const auto kind = type == Arc     ? MetafileCanvas::ArcKind::Arc
                              : type == ArcTo ? MetafileCanvas::ArcKind::ArcTo
                              : type == Chord ? MetafileCanvas::ArcKind::Chord
                                              : MetafileCanvas::ArcKind::Pie;
            canvas.arc(box, start, end, kind);
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Paths: building one, then drawing it or clipping to it.
    Played playPaths(quint32 type, ByteReader &r) {
        switch (type) {
        case BeginPath:
            canvas.beginPath();
            break;
        case EndPath:
            canvas.endPath();
            break;
        case CloseFigure:
            canvas.closeFigure();
            break;
        case FillPath:
            canvas.fillPath();
            break;
        case StrokeAndFillPath:
            canvas.strokeAndFillPath();
            break;
        case StrokePath:
            canvas.strokePath();
            break;
        case FlattenPath:
            break;
        case WidenPath:
            canvas.widenPath();
            break;
        case AbortPath:
            canvas.abortPath();
            break;
        case SelectClipPath: {
            const quint32 mode = r.u32();
            if (mode >= 1 && mode <= 5)
                canvas.selectClipPath(MetafileCanvas::ClipMode(mode));
            else
                canvas.abortPath();
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // The clip region, and drawing with regions.
    Played playClipping(quint32 type, ByteReader &r) {
        switch (type) {
        case OffsetClipRgn:
            canvas.offsetClip(readPoint(r));
            break;
        case ExcludeClipRect:
        case IntersectClipRect: {
            const QRectF box = readRectF(r);
            if (!r.ok())
                break;
            if (type == ExcludeClipRect)
                canvas.excludeClipRect(box);
            else
                canvas.intersectClipRect(box);
            break;
        }
        case FillRgn:
        case FrameRgn:
        case InvertRgn:
        case PaintRgn: {
            readRect(r);
            const quint32 size = r.u32();
            const MetafileObject *brushObject = nullptr;
            double w = 1, h = 1;
            if (type == FillRgn || type == FrameRgn)
                brushObject = canvas.object(r.u32());
            if (type == FrameRgn) {
                w = r.i32();
                h = r.i32();
            }
            const auto region = readRegion(r, size);
            if (!region)
                return Played::Lied;
            const auto *brush = brushObject ? std::get_if<MetafileBrush>(brushObject) : nullptr;
            if (type == InvertRgn)
                canvas.invertRegion(*region, true);
            else if (type == FillRgn && brush)
                canvas.fillRegion(*region, *brush, true);
            else if (type == FrameRgn && brush)
                canvas.frameRegion(*region, *brush, true, QSizeF(w, h));
            break;
        }
        case ExtSelectClipRgn: {
            const quint32 size = r.u32();
            const quint32 mode = r.u32();
            if (!r.ok() || mode < 1 || mode > 5)
                break;
            const auto clipMode = MetafileCanvas::ClipMode(mode);
            if (size < 32) {
                canvas.selectClipRegion(nullptr, clipMode, false);
                break;
            }
            const auto region = readRegion(r, size);
            if (!region)
                return Played::Lied;
            canvas.selectClipRegion(&*region, clipMode, false);
            break;
        }
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Block transfers, alpha blending and gradients.
    Played playBitmaps(quint32 type, ByteReader &r) {
        switch (type) {
        case BitBlt:
        case StretchBlt:
        case MaskBlt:
        case TransparentBlt:
            blit(type, r);
            break;
        case AlphaBlend:
            alphaBlend(r);
            break;
        case StretchDIBits:
            stretchDIBits(r);
            break;
        case SetDIBitsToDevice:
            setDIBitsToDevice(r);
            break;
        case GradientFill:
            gradientFill(r);
            break;
        default:
            return Played::NotMine;
        }
        return Played::Done;
    }

    // Text.
    Played playText(quint32 type, ByteReader &r) {
        switch (type) {
        case ExtTextOutA:
            return played(extTextOut(r, false));
        case ExtTextOutW:
            return played(extTextOut(r, true));
        case PolyTextOutA:
            return played(polyTextOut(r, false));
        case PolyTextOutW:
            return played(polyTextOut(r, true));
        case SmallTextOut:
            return played(smallTextOut(r));
        default:
            return Played::NotMine;
        }
    }

    // Comments, in which EMF+ records travel.
    Played playComment(quint32 type, ByteReader &r) {
        if (type != Comment)
            return Played::NotMine;
        comment(r);
        return Played::Done;
    }

    // Plays one record: each family of records plays its own, and records no family knows are
    // skipped.
    bool play(quint32 type, ByteReader &r) {
        canvas.spend(1);
        for (const auto family : {&Player::playState, &Player::playObjects, &Player::playDrawing,
                                  &Player::playPaths, &Player::playClipping, &Player::playBitmaps,
                                  &Player::playText, &Player::playComment}) {
            const Played outcome = (this->*family)(type, r);
            if (outcome != Played::NotMine)
                return outcome == Played::Done;
        }
        return true;
    }
};

} // namespace

QSize naturalSize(const EmfHeader &h) {
    if (frameIsDegenerate(h)) {
        const QRect b = h.rclBounds;
        return metafile::clampedSize(double(b.right()) - b.left() + 1,
                                     double(b.bottom()) - b.top() + 1);
    }
    const double w = double(h.rclFrame.right()) - h.rclFrame.left();
    const double hh = double(h.rclFrame.bottom()) - h.rclFrame.top();
    return metafile::clampedSize(std::round(w * 96 / 2540), std::round(hh * 96 / 2540));
}

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(44);
    ByteReader r(head);
    const quint32 type = r.u32();
    r.seek(40);
    const quint32 signature = r.u32();
    return r.ok() && type == Header && signature == EmfHeader::Signature;
}

LoadResult read(QIODevice &device, QSize visible) {
    const std::optional<QByteArray> file = metafile::readAll(device);
    if (!file)
        return LoadResult::failure(errors::tooLarge());
    const QByteArray &data = *file;
    if (data.isEmpty())
        return LoadResult::failure(errors::empty());

    ByteReader r(data);
    const quint32 type = r.u32();
    const quint32 headerBytes = r.u32();
    const EmfHeader header = readHeader(r);
    if (!r.ok())
        return LoadResult::failure(type == Header ? errors::truncated() : errors::unsupported());
    if (type != Header || !header.isValid())
        return LoadResult::failure(errors::unsupported());
    if (headerBytes < EmfHeader::ByteSize || headerBytes % 4 || headerBytes > quint64(data.size()))
        return LoadResult::failure(errors::corrupt());

    // A record chain that breaks early is refused before any pixels are allocated for it. The
    // header is the file's first record.
    const metafile::Walk records{0, qsizetype(headerBytes), 1};
    const metafile::Walk chain = metafile::walkRecords(
        data, records, Records, [](quint32, QByteArrayView) { return metafile::Visited::Next; });
    if (const QString error = metafile::brokenFileError(chain, data.size(), header.nRecords);
        !error.isEmpty())
        return LoadResult::failure(error);

    const QSize natural = naturalSize(header);
    auto image =
        allocateImage(metafile::drawingSize(natural, visible), QImage::Format_ARGB32_Premultiplied);
    if (!image)
        return LoadResult::failure(errors::tooLarge());

    // Device pixels become 0.01 mm through the reference device's size, and the frame, in
    // 0.01 mm, is stretched over the picture.
    QTransform deviceToPicture;
    QSizeF pixelsPerMm(96 / 25.4, 96 / 25.4);
    const QSize dev = header.szlDevice, mm = header.szlMillimeters;
    if (dev.width() > 0 && dev.height() > 0 && mm.width() > 0 && mm.height() > 0)
        pixelsPerMm = QSizeF(double(dev.width()) / mm.width(), double(dev.height()) / mm.height());
    if (frameIsDegenerate(header)) {
        const QRect b = header.rclBounds.normalized();
        const double sx = double(natural.width()) / std::max(1, b.width());
        const double sy = double(natural.height()) / std::max(1, b.height());
        deviceToPicture = QTransform(sx, 0, 0, sy, -b.left() * sx, -b.top() * sy);
    } else {
        const QRect f = header.rclFrame;
        const double frameW = double(f.right()) - f.left();
        const double frameH = double(f.bottom()) - f.top();
        const double toHimetricX = 100 / pixelsPerMm.width();
        const double toHimetricY = 100 / pixelsPerMm.height();
        const double sx = natural.width() / std::abs(frameW);
        const double sy = natural.height() / std::abs(frameH);
        const double left = std::min<double>(f.left(), f.right());
        const double top = std::min<double>(f.top(), f.bottom());
        deviceToPicture =
            QTransform(toHimetricX * sx, 0, 0, toHimetricY * sy, -left * sx, -top * sy);
    }

    // A file with EMF+ records is drawn by them, the classic records only where a GetDC
    // record hands over to them. Where the EMF+ records draw nothing, or a dual file's do not
    // hold together, the classic records draw the picture instead.
    struct Outcome {
        metafile::Walk walk;
        bool drew = false, emfPlusSeen = false, fallBack = false;
    };
    const auto play = [&](bool withEmfPlus) {
        Outcome out;
        MetafileCanvas canvas(*image);
        canvas.setShownSize(metafile::rasterSize(natural, visible));
        canvas.useDeviceMapping(deviceToPicture, pixelsPerMm);
        emfplus::Player plus(canvas, deviceToPicture, data.size());
        Player player{canvas, {}};
        if (withEmfPlus)
            player.plus = &plus;
        out.walk = metafile::playRecords(
            data, records, Records, canvas, [&](quint32 type, QByteArrayView record) {
                if (type != Comment && !plus.classicRecordsDraw()) {
                    canvas.spend(1);
                    return true;
                }
                player.record = record;
                ByteReader parameters(record.sliced(Records.headerBytes));
                return player.play(type, parameters);
            });
        const bool emfPlusDrew = plus.drawingCount() > 0;
        out.drew = canvas.drawingCount() > 0 || emfPlusDrew;
        out.emfPlusSeen = plus.seen();
        out.fallBack = plus.seen() && (!emfPlusDrew || (plus.dual() && plus.broken()));
        return out;
    };
    Outcome outcome = play(true);
    const bool emfPlusSeen = outcome.emfPlusSeen;
    if (outcome.fallBack)
        outcome = play(false);
    // Files whose records, EMF+ or classic, draw nothing would show as blank: say so.
    if (emfPlusSeen && !outcome.drew)
        return LoadResult::failure(errors::corrupt());
    if (const QString error = metafile::brokenFileError(outcome.walk, data.size(), header.nRecords);
        !error.isEmpty())
        return LoadResult::failure(error);
    return LoadResult{
        Picture{metafile::visiblePart(*std::move(image), natural, visible), natural, Format::Emf},
        {}};
}

} // namespace picture::emf
