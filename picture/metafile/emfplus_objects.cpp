#include "picture/metafile/emfplus_objects.h"

#include "picture/byte_reader.h"
#include "picture/image_allocation.h"
#include "picture/picture_file.h"
#include "picture/qt_image_reader.h"

#include <QBuffer>
#include <QImageReader>

#include <array>
#include <cmath>

namespace picture::emfplus {

namespace {

// Metafile images inside metafile images: deeper than this they are left out.
constexpr int MaxNesting = 2;
// A metafile image is drawn at its natural size, within this many pixels a side.
constexpr int MaxMetafileImageSide = 4096;
// Work charged for playing a nested metafile, beside its pixels.
constexpr qint64 NestedMetafileWork = 2'000'000;
// Metafile images decoded for one picture, at every depth together.
constexpr int MaxNestedMetafiles = 8;
constexpr quint32 MaxPoints = 1 << 24;
constexpr int MaxRegionDepth = 64;
// Region trees: nodes, and the elements two operands of one combination may multiply to.
constexpr int MaxRegionNodes = 4096;
constexpr qint64 MaxRegionOperation = 4'000'000;

thread_local int nesting = 0;
thread_local int nestedMetafiles = 0;

double finiteOr(double value, double fallback = 0) {
    return std::isfinite(value) && std::abs(value) < 1e9 ? value : fallback;
}

QPointF readPointF(ByteReader &r) {
    const double x = r.f32();
    const double y = r.f32();
    return QPointF(finiteOr(x), finiteOr(y));
}

QTransform readMatrix(ByteReader &r) {
    double m[6];
    for (double &v : m)
        v = finiteOr(r.f32());
    return QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
}

// A coordinate of a relative point: one byte of 7 bits or two of 15, both signed.
int relativeCoordinate(ByteReader &r) {
    const quint8 first = r.u8();
    if (!(first & 0x80))
        return first & 0x40 ? int(first) - 0x80 : int(first);
    const int value = (first & 0x7f) << 8 | r.u8();
    return value & 0x4000 ? value - 0x8000 : value;
}

std::optional<QPainterPath> readPath(ByteReader &r) {
    r.u32(); // version
    const quint32 count = r.u32();
    const quint32 flags = r.u32();
    if (!r.ok() || count > MaxPoints)
        return std::nullopt;
    const bool rle = flags & 0x1000;
    const auto points = readPoints(r, count, flags & 0x4000, flags & 0x0800);
    if (!points)
        return std::nullopt;
    QByteArray types;
    if (rle) {
        while (types.size() < qsizetype(count) && r.remaining() >= 2) {
            const quint8 head = r.u8();
            const quint8 type = r.u8();
            const int run = head & 0x40 ? head & 0x3f : 1;
            types.append(QByteArray(run, char(type)));
        }
    } else {
        types = r.bytes(count).toByteArray();
    }
    if (!r.ok() || types.size() < qsizetype(count))
        return std::nullopt;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (quint32 i = 0; i < count; ++i) {
        const quint8 type = quint8(types[i]);
        const QPointF p = (*points)[i];
        switch (type & 0x07) {
        case 0:
            path.moveTo(p);
            break;
        case 3:
            if (i + 2 < count && (quint8(types[i + 1]) & 0x07) == 3 &&
                (quint8(types[i + 2]) & 0x07) == 3) {
                path.cubicTo(p, (*points)[i + 1], (*points)[i + 2]);
                i += 2;
                if (quint8(types[i]) & 0x80)
                    path.closeSubpath();
                continue;
            }
            path.lineTo(p);
            break;
        default:
            path.lineTo(p);
            break;
        }
        if (type & 0x80)
            path.closeSubpath();
    }
    return path;
}

QPainterPath universe() {
    QPainterPath p;
    p.addRect(QRectF(-1e9, -1e9, 2e9, 2e9));
    return p;
}

std::optional<Region> readRegionNode(ByteReader &r, int depth, int &nodes) {
    if (depth > MaxRegionDepth || ++nodes > MaxRegionNodes)
        return std::nullopt;
    const quint32 type = r.u32();
    if (!r.ok())
        return std::nullopt;
    switch (type) {
    case 0x10000000: {
        const double x = finiteOr(r.f32()), y = finiteOr(r.f32());
        const double w = finiteOr(r.f32()), h = finiteOr(r.f32());
        Region region;
        region.path.addRect(QRectF(x, y, w, h).normalized());
        return r.ok() ? std::optional(region) : std::nullopt;
    }
    case 0x10000001: {
        const quint32 length = r.u32();
        const auto bytes = r.bytes(length);
        if (!r.ok())
            return std::nullopt;
        ByteReader pr(bytes);
        auto path = readPath(pr);
        if (!path)
            return std::nullopt;
        return Region{*path, false};
    }
    case 0x10000002:
        return Region{};
    case 0x10000003:
        return Region{{}, true};
    case 1:
    case 2:
    case 3:
    case 4:
    case 5: {
        auto left = readRegionNode(r, depth + 1, nodes);
        if (!left)
            return std::nullopt;
        auto right = readRegionNode(r, depth + 1, nodes);
        if (!right)
            return std::nullopt;
        if (qint64(left->path.elementCount() + 1) * (right->path.elementCount() + 1) >
            MaxRegionOperation)
            return std::nullopt;
        const QPainterPath a = left->infinite ? universe() : left->path;
        const QPainterPath b = right->infinite ? universe() : right->path;
        Region out;
        switch (type) {
        case 1:
            out.infinite = left->infinite && right->infinite;
            if (!out.infinite)
                out.path = left->infinite ? b : right->infinite ? a : a.intersected(b);
            break;
        case 2:
            out.infinite = left->infinite || right->infinite;
            if (!out.infinite)
                out.path = a.united(b);
            break;
        case 3:
            out.path = a.united(b).subtracted(a.intersected(b));
            break;
        case 4:
            out.path = a.subtracted(b);
            break;
        default:
            out.path = b.subtracted(a);
            break;
        }
        return out;
    }
    default:
        return std::nullopt;
    }
}

QGradientStops blendStops(ByteReader &r, QRgb from, QRgb to, bool colors) {
    const quint32 count = r.u32();
    QGradientStops stops;
    if (!r.ok() || count < 2 || quint64(count) * 8 > quint64(r.remaining()))
        return stops;
    QList<double> positions;
    for (quint32 i = 0; i < count; ++i)
        positions.append(std::clamp(finiteOr(r.f32()), 0.0, 1.0));
    for (quint32 i = 0; i < count; ++i) {
        if (colors) {
            stops.append({positions[i], QColor::fromRgba(argb(r.u32()))});
        } else {
            const double f = std::clamp(finiteOr(r.f32()), 0.0, 1.0);
            const auto mix = [f](int a, int b) {
                return int(std::lround(a + (b - a) * f));
            };
            stops.append(
                {positions[i], QColor(mix(qRed(from), qRed(to)), mix(qGreen(from), qGreen(to)),
                                      mix(qBlue(from), qBlue(to)), mix(qAlpha(from), qAlpha(to)))});
        }
    }
    // QGradient wants the positions rising.
    std::stable_sort(
        stops.begin(), stops.end(),
        [](const QGradientStop &a, const QGradientStop &b) { return a.first < b.first; });
    return stops;
}

std::optional<Image> readImage(ByteReader &r, ImageBudget &budget);

std::optional<Brush> readBrush(ByteReader &r, ImageBudget &budget) {
    r.u32(); // version
    const quint32 type = r.u32();
    Brush b;
    switch (type) {
    case 0:
        b.kind = Brush::Kind::Solid;
        b.color = argb(r.u32());
        break;
    case 1:
        b.kind = Brush::Kind::Hatch;
        b.hatch = int(r.u32() % 53);
        b.color = argb(r.u32());
        b.back = argb(r.u32());
        break;
    case 2: {
        b.kind = Brush::Kind::Texture;
        const quint32 flags = r.u32();
        b.wrap = r.i32();
        if (flags & 0x2)
            b.transform = readMatrix(r);
        const auto image = readImage(r, budget);
        if (!image || image->image.isNull())
            return std::nullopt;
        b.texture = image->image;
        break;
    }
    case 3: {
        b.kind = Brush::Kind::PathGradient;
        const quint32 flags = r.u32();
        b.wrap = r.i32();
        b.color = argb(r.u32());
        b.centre = readPointF(r);
        const quint32 colors = r.u32();
        if (!r.ok() || quint64(colors) * 4 > quint64(r.remaining()))
            return std::nullopt;
        QRgb surround = b.color;
        for (quint32 i = 0; i < colors; ++i) {
            const QRgb c = argb(r.u32());
            if (i == 0)
                surround = c;
        }
        if (flags & 0x1) {
            const quint32 size = r.u32();
            ByteReader pr(r.bytes(size));
            const auto path = readPath(pr);
            if (!path)
                return std::nullopt;
            b.boundary = *path;
        } else {
            const quint32 count = r.u32();
            const auto points = readPoints(r, count, false, false);
            if (!points)
                return std::nullopt;
            b.boundary.addPolygon(QPolygonF(*points));
            b.boundary.closeSubpath();
        }
        if (flags & 0x2)
            b.transform = readMatrix(r);
        // Positions run from the boundary (0) to the centre (1).
        if (flags & 0x4)
            b.stops = blendStops(r, surround, b.color, true);
        else if (flags & 0x8)
            b.stops = blendStops(r, surround, b.color, false);
        if (b.stops.isEmpty())
            b.stops = {{0, QColor::fromRgba(surround)}, {1, QColor::fromRgba(b.color)}};
        break;
    }
    case 4: {
        b.kind = Brush::Kind::LinearGradient;
        const quint32 flags = r.u32();
        b.wrap = r.i32();
        const double x = finiteOr(r.f32()), y = finiteOr(r.f32());
        const double w = finiteOr(r.f32()), h = finiteOr(r.f32());
        b.rect = QRectF(x, y, w, h);
        const QRgb start = argb(r.u32()), end = argb(r.u32());
        r.u32();
        r.u32();
        if (flags & 0x2)
            b.transform = readMatrix(r);
        if (flags & 0x4)
            b.stops = blendStops(r, start, end, true);
        else if (flags & 0x8)
            b.stops = blendStops(r, start, end, false);
        if (b.stops.isEmpty())
            b.stops = {{0, QColor::fromRgba(start)}, {1, QColor::fromRgba(end)}};
        b.color = start;
        break;
    }
    default:
        return std::nullopt;
    }
    if (!r.ok())
        return std::nullopt;
    return b;
}

std::optional<Pen> readPen(ByteReader &r, ImageBudget &budget) {
    r.u32(); // version
    r.u32(); // type
    const quint32 flags = r.u32();
    Pen p;
    p.unit = r.u32();
    p.width = std::abs(finiteOr(r.f32()));
    if (flags & 0x1)
        readMatrix(r);
    if (flags & 0x2)
        p.startCap = r.i32();
    if (flags & 0x4)
        p.endCap = r.i32();
    if (flags & 0x8)
        p.join = r.i32();
    if (flags & 0x10)
        p.miterLimit = std::clamp(finiteOr(r.f32(), 10), 1.0, 100.0);
    if (flags & 0x20)
        p.style = r.i32();
    if (flags & 0x40)
        p.dashCap = r.i32();
    if (flags & 0x80)
        p.dashOffset = finiteOr(r.f32());
    if (flags & 0x100) {
        const quint32 count = r.u32();
        if (!r.ok() || quint64(count) * 4 > quint64(r.remaining()))
            return std::nullopt;
        for (quint32 i = 0; i < count; ++i) {
            const double d = finiteOr(r.f32());
            if (i < 64)
                p.dashes.append(std::clamp(d, 0.01, 1000.0));
        }
        if (p.dashes.size() % 2)
            p.dashes.append(p.dashes.last());
        // Dashes given without a line style still make a dashed line.
        if (!p.dashes.isEmpty() && !(flags & 0x20))
            p.style = 5;
    }
    if (flags & 0x200)
        p.inset = r.i32() == 1;
    if (flags & 0x400) {
        const quint32 count = r.u32();
        if (!r.ok() || quint64(count) * 4 > quint64(r.remaining()))
            return std::nullopt;
        r.skip(qsizetype(count) * 4);
    }
    if (flags & 0x800)
        r.skip(r.u32());
    if (flags & 0x1000)
        r.skip(r.u32());
    if (!r.ok())
        return std::nullopt;
    const auto brush = readBrush(r, budget);
    if (!brush)
        return std::nullopt;
    p.brush = *brush;
    return p;
}

// Raw pixels in one of the bitmap pixel formats.
QImage rawBitmap(ByteReader &r, int width, int height, qint32 stride, quint32 format,
                 ImageBudget &budget) {
    const int bits = int((format >> 8) & 0xff);
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || bits == 0 || bits > 64)
        return {};
    const qint64 pixels = qint64(width) * height;
    if (pixels > budget.pixels)
        return {};
    QList<QRgb> palette;
    if (format & 0x00010000) { // indexed
        r.u32();
        const quint32 count = r.u32();
        if (!r.ok() || count > 256 || quint64(count) * 4 > quint64(r.remaining()))
            return {};
        for (quint32 i = 0; i < count; ++i)
            palette.append(argb(r.u32()));
    }
    const qint64 minStride = (qint64(width) * bits + 7) / 8;
    qint64 rowBytes = std::abs(qint64(stride));
    if (rowBytes < minStride)
        rowBytes = (minStride + 3) & ~qint64(3);
    if (rowBytes * height > r.remaining())
        return {};
    const QByteArrayView data = r.bytes(qsizetype(rowBytes * height));
    const bool premultiplied = format == 0x000E200B || format == 0x001A400E;
    auto image =
        allocateImage(QSize(width, height),
                      premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (!image)
        return {};
    budget.pixels -= pixels;
    budget.work += pixels / 64;
    const auto *bytes = reinterpret_cast<const uchar *>(data.data());
    for (int y = 0; y < height; ++y) {
        const uchar *row = bytes + (stride < 0 ? height - 1 - y : y) * rowBytes;
        auto *out = reinterpret_cast<QRgb *>(image->scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb c = 0;
            switch (format) {
            case 0x00030101:
            case 0x00030402:
            case 0x00030803: {
                const int bit = x * bits;
                const int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
                c = index < palette.size() ? palette[index] : 0;
                break;
            }
            case 0x00101004:
                c = qRgb(row[2 * x + 1], row[2 * x + 1], row[2 * x + 1]);
                break;
            case 0x00021005:
            case 0x00061007: {
                const int v = row[2 * x] | row[2 * x + 1] << 8;
                c = qRgba((v >> 10 & 31) * 255 / 31, (v >> 5 & 31) * 255 / 31, (v & 31) * 255 / 31,
                          format == 0x00061007 && !(v & 0x8000) ? 0 : 255);
                break;
            }
            case 0x00021006: {
                const int v = row[2 * x] | row[2 * x + 1] << 8;
                c = qRgb((v >> 11) * 255 / 31, (v >> 5 & 63) * 255 / 63, (v & 31) * 255 / 31);
                break;
            }
            case 0x00021808:
                c = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            case 0x00022009:
                c = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                break;
            case 0x0026200A:
            case 0x000E200B:
                c = qRgba(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]);
                break;
            case 0x0010300C:
                c = qRgb(row[6 * x + 5], row[6 * x + 3], row[6 * x + 1]);
                break;
            case 0x0034400D:
            case 0x001A400E:
                c = qRgba(row[8 * x + 5], row[8 * x + 3], row[8 * x + 1], row[8 * x + 7]);
                break;
            default:
                return {};
            }
            if (premultiplied &&
                (qRed(c) > qAlpha(c) || qGreen(c) > qAlpha(c) || qBlue(c) > qAlpha(c)))
                c = qRgba(std::min(qRed(c), qAlpha(c)), std::min(qGreen(c), qAlpha(c)),
                          std::min(qBlue(c), qAlpha(c)), qAlpha(c));
            out[x] = c;
        }
    }
    return *image;
}

// A whole picture file inside the record: PNG and TIFF through Qt's reader, what the viewer
// reads itself through its own decoders.
QImage compressedBitmap(QByteArrayView data, ImageBudget &budget) {
    const QByteArray bytes = data.toByteArray();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    if (size.isEmpty() || qint64(size.width()) * size.height() > budget.pixels)
        return {};
    buffer.seek(0);
    LoadResult result = format == "png" || format == "tiff" ? readWithQt(bytes, format, Format::Bmp)
                                                            : readPicture(buffer);
    if (!result.ok() || result.picture->image.isNull())
        return {};
    const QImage &image = result.picture->image;
    budget.pixels -= qint64(image.width()) * image.height();
    budget.work += qint64(image.width()) * image.height() / 64;
    return image;
}

QImage metafileImage(QByteArrayView data, ImageBudget &budget) {
    if (nesting >= MaxNesting || nestedMetafiles >= MaxNestedMetafiles)
        return {};
    ++nestedMetafiles;
    const QByteArray bytes = data.toByteArray();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ++nesting;
    budget.work += NestedMetafileWork;
    LoadResult result = readPicture(buffer, QSize(MaxMetafileImageSide, MaxMetafileImageSide));
    --nesting;
    if (!result.ok() || result.picture->image.isNull())
        return {};
    const QImage &image = result.picture->image;
    const qint64 pixels = qint64(image.width()) * image.height();
    if (pixels > budget.pixels)
        return {};
    budget.pixels -= pixels;
    return image;
}

std::optional<Image> readImage(ByteReader &r, ImageBudget &budget) {
    r.u32(); // version
    const quint32 type = r.u32();
    Image image;
    if (type == 1) {
        const int width = r.i32(), height = r.i32();
        const qint32 stride = r.i32();
        const quint32 format = r.u32();
        const quint32 kind = r.u32();
        if (!r.ok())
            return std::nullopt;
        image.image = kind == 1 ? compressedBitmap(r.bytes(r.remaining()), budget)
                                : rawBitmap(r, width, height, stride, format, budget);
    } else if (type == 2) {
        r.u32(); // metafile type: the content tells
        const quint32 size = r.u32();
        const QByteArrayView data = r.bytes(std::min<qsizetype>(size, r.remaining()));
        if (!r.ok())
            return std::nullopt;
        image.metafile = true;
        image.image = metafileImage(data, budget);
        // An enhanced metafile's own device pixels: its bounds.
        ByteReader header(data);
        const quint32 recordType = header.u32();
        header.u32();
        const qint32 left = header.i32(), top = header.i32(), right = header.i32(),
                     bottom = header.i32();
        header.skip(16);
        if (header.ok() && recordType == 1 && header.u32() == 0x464D4520 && right > left &&
            bottom > top)
            image.units = QSizeF(double(right) - left, double(bottom) - top);
    } else {
        return std::nullopt;
    }
    if (image.image.isNull())
        return std::nullopt;
    return image;
}

std::optional<Font> readFont(ByteReader &r) {
    r.u32();
    Font f;
    f.emSize = std::abs(finiteOr(r.f32()));
    f.unit = r.u32();
    f.style = r.u32();
    r.u32();
    const quint32 length = r.u32();
    if (!r.ok() || quint64(length) * 2 > quint64(r.remaining()))
        return std::nullopt;
    for (quint32 i = 0; i < length; ++i) {
        const quint16 c = r.u16();
        if (c == 0)
            break;
        f.family.append(QChar(c));
    }
    return f;
}

std::optional<StringFormat> readStringFormat(ByteReader &r) {
    r.u32();
    StringFormat s;
    s.flags = r.u32();
    r.u32(); // language
    s.alignment = r.u32();
    s.lineAlignment = r.u32();
    r.u32();
    r.u32();
    r.f32();
    r.i32();
    s.leadingMargin = std::clamp(finiteOr(r.f32()), 0.0, 10.0);
    s.trailingMargin = std::clamp(finiteOr(r.f32()), 0.0, 10.0);
    if (!r.ok())
        return std::nullopt;
    return s;
}

} // namespace

std::optional<QList<QPointF>> readPoints(ByteReader &r, quint32 count, bool compressed,
                                         bool relative) {
    const quint64 each = relative ? 2 : compressed ? 4 : 8;
    if (count > MaxPoints || quint64(count) * each > quint64(r.remaining()))
        return std::nullopt;
    QList<QPointF> points;
    points.reserve(count);
    QPointF at;
    for (quint32 i = 0; i < count; ++i) {
        if (relative) {
            const int dx = relativeCoordinate(r);
            const int dy = relativeCoordinate(r);
            at += QPointF(dx, dy);
            points.append(at);
        } else if (compressed) {
            const double x = r.i16();
            const double y = r.i16();
            points.append(QPointF(x, y));
        } else {
            points.append(readPointF(r));
        }
    }
    if (!r.ok())
        return std::nullopt;
    return points;
}

std::optional<Object> readObject(ObjectType type, QByteArrayView data, ImageBudget &budget) {
    ByteReader r(data);
    switch (type) {
    case ObjectType::Brush:
        if (auto b = readBrush(r, budget))
            return Object(*b);
        break;
    case ObjectType::Pen:
        if (auto p = readPen(r, budget))
            return Object(*p);
        break;
    case ObjectType::Path:
        if (auto p = readPath(r))
            return Object(*p);
        break;
    case ObjectType::Region: {
        r.u32();
        r.u32(); // node count: the tree itself says where it ends
        int nodes = 0;
        if (auto region = readRegionNode(r, 0, nodes))
            return Object(*region);
        break;
    }
    case ObjectType::Image:
        if (auto image = readImage(r, budget))
            return Object(*image);
        break;
    case ObjectType::Font:
        if (auto f = readFont(r))
            return Object(*f);
        break;
    case ObjectType::StringFormat:
        if (auto s = readStringFormat(r))
            return Object(*s);
        break;
    default:
        break;
    }
    return std::nullopt;
}

QImage hatchPattern(int style, QRgb fore, QRgb back) {
    // Rows top to bottom, the leftmost pixel in the high bit.
    static constexpr std::array<std::array<quint8, 8>, 53> Patterns{{
        {0xff, 0, 0, 0, 0, 0, 0, 0},                      // horizontal
        {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, // vertical
        {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // forward diagonal
        {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // backward diagonal
        {0xff, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, // cross
        {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // diagonal cross
        {0x80, 0, 0, 0, 0x08, 0, 0, 0},                   // 5 %
        {0x80, 0, 0x08, 0, 0x80, 0, 0x08, 0},             // 10 %
        {0x88, 0, 0x22, 0, 0x88, 0, 0x22, 0},             // 20 %
        {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22}, // 25 %
        {0xaa, 0x44, 0xaa, 0x11, 0xaa, 0x44, 0xaa, 0x11}, // 30 %
        {0xaa, 0x55, 0xaa, 0x54, 0xaa, 0x55, 0xaa, 0x45}, // 40 %
        {0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55}, // 50 %
        {0xee, 0x55, 0xbb, 0x55, 0xee, 0x55, 0xbb, 0x55}, // 60 %
        {0xee, 0xbb, 0xee, 0xbb, 0xee, 0xbb, 0xee, 0xbb}, // 70 %
        {0xee, 0xff, 0xbb, 0xff, 0xee, 0xff, 0xbb, 0xff}, // 75 %
        {0xf7, 0xff, 0x7f, 0xff, 0xf7, 0xff, 0x7f, 0xff}, // 80 %
        {0xf7, 0xff, 0xff, 0xff, 0x7f, 0xff, 0xff, 0xff}, // 90 %
        {0x88, 0x44, 0x22, 0x11, 0x88, 0x44, 0x22, 0x11}, // light downward diagonal
        {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88}, // light upward diagonal
        {0xcc, 0x66, 0x33, 0x99, 0xcc, 0x66, 0x33, 0x99}, // dark downward diagonal
        {0x33, 0x66, 0xcc, 0x99, 0x33, 0x66, 0xcc, 0x99}, // dark upward diagonal
        {0xc1, 0xe0, 0x70, 0x38, 0x1c, 0x0e, 0x07, 0x83}, // wide downward diagonal
        {0x83, 0x07, 0x0e, 0x1c, 0x38, 0x70, 0xe0, 0xc1}, // wide upward diagonal
        {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88}, // light vertical
        {0xff, 0, 0, 0, 0xff, 0, 0, 0},                   // light horizontal
        {0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa}, // narrow vertical
        {0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0},             // narrow horizontal
        {0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc}, // dark vertical
        {0xff, 0xff, 0, 0, 0xff, 0xff, 0, 0},             // dark horizontal
        {0, 0, 0x88, 0x44, 0x22, 0x11, 0, 0},             // dashed downward diagonal
        {0, 0, 0x11, 0x22, 0x44, 0x88, 0, 0},             // dashed upward diagonal
        {0xf0, 0, 0, 0, 0x0f, 0, 0, 0},                   // dashed horizontal
        {0x80, 0x80, 0x80, 0x80, 0x08, 0x08, 0x08, 0x08}, // dashed vertical
        {0x80, 0x04, 0x40, 0x02, 0x20, 0x01, 0x10, 0x08}, // small confetti
        {0xb1, 0x30, 0x03, 0x1b, 0xd8, 0xc0, 0x0c, 0x8d}, // large confetti
        {0x81, 0x42, 0x24, 0x18, 0x81, 0x42, 0x24, 0x18}, // zigzag
        {0, 0x18, 0xa4, 0x03, 0, 0x18, 0xa4, 0x03},       // wave
        {0x01, 0x02, 0x04, 0x08, 0x18, 0x24, 0x42, 0x81}, // diagonal brick
        {0xff, 0x80, 0x80, 0x80, 0xff, 0x08, 0x08, 0x08}, // horizontal brick
        {0x88, 0x54, 0x22, 0x45, 0x88, 0x14, 0x22, 0x51}, // weave
        {0xaa, 0x55, 0xaa, 0x55, 0xf0, 0xf0, 0xf0, 0xf0}, // plaid
        {0, 0x10, 0x08, 0x10, 0, 0x01, 0x80, 0x01},       // divot
        {0xaa, 0, 0x80, 0, 0x80, 0, 0x80, 0},             // dotted grid
        {0x80, 0, 0x22, 0, 0x08, 0, 0x22, 0},             // dotted diamond
        {0x03, 0x84, 0x48, 0x30, 0x0c, 0x02, 0x01, 0x01}, // shingle
        {0xff, 0x66, 0xff, 0x99, 0xff, 0x66, 0xff, 0x99}, // trellis
        {0x77, 0x89, 0x8f, 0x8f, 0x77, 0x98, 0xf8, 0xf8}, // sphere
        {0xff, 0x88, 0x88, 0x88, 0xff, 0x88, 0x88, 0x88}, // small grid
        {0x99, 0x66, 0x66, 0x99, 0x99, 0x66, 0x66, 0x99}, // small checker board
        {0xf0, 0xf0, 0xf0, 0xf0, 0x0f, 0x0f, 0x0f, 0x0f}, // large checker board
        {0x82, 0x44, 0x28, 0x10, 0x28, 0x44, 0x82, 0x01}, // outlined diamond
        {0x10, 0x38, 0x7c, 0xfe, 0x7c, 0x38, 0x10, 0},    // solid diamond
    }};
    QImage image(8, 8, QImage::Format_ARGB32);
    const auto &rows = Patterns[std::size_t(std::clamp(style, 0, 52))];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, rows[std::size_t(y)] & (0x80 >> x) ? fore : back);
    return image;
}

int imageNesting() {
    return nesting;
}

void startPicture() {
    if (nesting == 0)
        nestedMetafiles = 0;
}

} // namespace picture::emfplus
