#include "writers.h"

#include <QRectF>
#include <QString>

#include <algorithm>
#include <bit>
#include <cmath>

namespace testkit {

namespace bmp {

QByteArray Bitmap::info() const {
    Bytes h, table;
    h.u32(headerSize);
    if (headerSize == 12)
        h.u16(quint16(width)).u16(quint16(height)).u16(planes).u16(bitCount);
    else
        h.i32(width).i32(height).u16(planes).u16(bitCount);
    if (headerSize >= 40)
        h.u32(compression).u32(quint32(bits.size())).u32(0).u32(0).u32(clrUsed).u32(0);
    for (quint32 mask : masks)
        (headerSize > 40 ? h : table).u32(mask);
    h.raw(QByteArray(std::max<qsizetype>(0, headerSize - h.size()), '\0'));
    for (QRgb c : palette) {
        table.u8(quint8(qBlue(c))).u8(quint8(qGreen(c))).u8(quint8(qRed(c)));
        if (headerSize != 12)
            table.u8(0);
    }
    return h.data() + table.data();
}

QByteArray Bitmap::file() const {
    const QByteArray i = info();
    Bytes f;
    f.raw("BM").u32(quint32(14 + i.size() + bits.size())).u32(0);
    f.u32(offBits.value_or(quint32(14 + i.size())));
    return f.data() + i + bits;
}

} // namespace bmp

namespace pcx {

QList<QRgb> distinctColours(int count, int salt) {
    QList<QRgb> colours;
    for (int i = 0; i < count; ++i)
        colours.append(qRgb((i * 37 + salt) & 0xff, (255 - i * 11) & 0xff, (i * 97 + 3) & 0xff));
    return colours;
}

QByteArray header(const Layout &layout) {
    Bytes b;
    b.u8(0x0A).u8(layout.colours == Layout::Colours::Version3 ? 3 : 5);
    b.u8(quint8(layout.encoding)).u8(quint8(layout.bits));
    b.u16(0).u16(0).u16(quint16(layout.width - 1)).u16(quint16(layout.height - 1));
    b.u16(96).u16(96);
    const QList<QRgb> colours =
        layout.colours == Layout::Colours::ZeroHeader ? QList<QRgb>(16, 0) : distinctColours(16, 1);
    for (QRgb c : colours)
        b.u8(quint8(qRed(c))).u8(quint8(qGreen(c))).u8(quint8(qBlue(c)));
    b.u8(0).u8(quint8(layout.planes)).u16(quint16(layout.bytesPerLine())).u16(layout.paletteInfo);
    return b.raw(QByteArray(128 - b.size(), '\0')).data();
}

// One row, plane after plane; bits beyond the width and padding bytes hold a pattern the
// decoder must not show.
static QByteArray packRow(const Layout &layout, const QImage &pixels, int y) {
    const int stride = layout.bytesPerLine();
    QByteArray row(layout.planes * stride, char(0x5A));
    auto *bytes = reinterpret_cast<uchar *>(row.data());
    for (int x = 0; x < layout.width; ++x) {
        if (layout.direct()) {
            const QRgb colour = pixels.pixel(x, y);
            const int channels[] = {qRed(colour), qGreen(colour), qBlue(colour), qAlpha(colour)};
            const bool packed = layout.bits == 24;
            for (int c = 0; c < (packed ? 3 : layout.planes); ++c)
                bytes[packed ? 3 * x + c : c * stride + x] = uchar(channels[c]);
            continue;
        }
        const int index = pixels.pixelIndex(x, y);
        const int sampleMask = (1 << layout.bits) - 1;
        const int bit = x * layout.bits;
        const int shift = 8 - layout.bits - bit % 8;
        for (int plane = 0; plane < layout.planes; ++plane) {
            uchar &byte = bytes[plane * stride + bit / 8];
            const int sample = (index >> (plane * layout.bits)) & sampleMask;
            byte = uchar((byte & ~(sampleMask << shift)) | (sample << shift));
        }
    }
    return row;
}

// Runs of up to 63; a lone byte of 0xC0 or more must be written as a run of one.
static QByteArray encodeRuns(const QByteArray &data) {
    QByteArray coded;
    for (qsizetype i = 0; i < data.size();) {
        qsizetype run = 1;
        while (i + run < data.size() && run < 63 && data[i + run] == data[i])
            ++run;
        const uchar byte = uchar(data[i]);
        if (run > 1 || byte >= 0xC0)
            coded.append(char(0xC0 | run));
        coded.append(char(byte));
        i += run;
    }
    return coded;
}

QByteArray file(const Layout &layout, const QImage &pixels) {
    QByteArray file = header(layout);
    QByteArray stream;
    for (int y = 0; y < layout.height; ++y) {
        const QByteArray row = packRow(layout, pixels, y);
        if (layout.encoding == 0 || layout.runsAcrossLines) {
            stream += row;
            continue;
        }
        for (int plane = 0; plane < layout.planes; ++plane)
            stream += encodeRuns(row.mid(plane * layout.bytesPerLine(), layout.bytesPerLine()));
    }
    file += layout.encoding == 1 && layout.runsAcrossLines ? encodeRuns(stream) : stream;
    if (layout.colours == Layout::Colours::Tail) {
        file.append(char(0x0C));
        for (QRgb colour : distinctColours(256, 5))
            file.append(char(qRed(colour)))
                .append(char(qGreen(colour)))
                .append(char(qBlue(colour)));
    }
    return file;
}

} // namespace pcx

namespace wmf {

Writer &Writer::record(quint16 function, const QList<qint16> &words, const QByteArray &tail) {
    Q_ASSERT(tail.size() % 2 == 0);
    m_records.u32(quint32(3 + words.size() + tail.size() / 2)).u16(function);
    for (qint16 w : words)
        m_records.i16(w);
    m_records.raw(tail);
    return *this;
}

Writer &Writer::rawRecord(quint32 words, quint16 function, const QByteArray &parameters) {
    m_records.u32(words).u16(function).raw(parameters);
    return *this;
}

Writer &Writer::brush(QRgb color) {
    return record(CreateBrushIndirect,
                  {0, qint16(qRed(color) | qGreen(color) << 8), qint16(qBlue(color)), 0});
}

Writer &Writer::nullPen() {
    return record(CreatePenIndirect, {5, 0, 0, 0, 0});
}

Writer &Writer::rectangle(int left, int top, int right, int bottom) {
    return record(Rectangle, {qint16(bottom), qint16(right), qint16(top), qint16(left)});
}

Writer &Writer::font(qint16 height) {
    QByteArray face("Liberation Sans");
    face.resize(32, '\0');
    return record(CreateFontIndirect, {height, 0, 0, 0, 400, 0, 0, 0, 0}, face);
}

QByteArray Writer::plain(bool withEof) const {
    Bytes b;
    b.u16(1).u16(9).u16(0x0300).u32(0).u16(16).u32(0).u16(0);
    b.raw(m_records.data());
    if (withEof)
        b.u32(3).u16(0);
    return b.data();
}

QByteArray Writer::placeable(qint16 left, qint16 top, qint16 right, qint16 bottom, quint16 inch,
                             bool withEof) const {
    Bytes b;
    b.u32(0x9AC6CDD7).u16(0).i16(left).i16(top).i16(right).i16(bottom).u16(inch).u32(0).u16(0);
    return b.data() + plain(withEof);
}

} // namespace wmf

namespace emf {

Writer &Writer::record(quint32 type, const QList<quint32> &values, const QByteArray &tail) {
    Q_ASSERT(tail.size() % 4 == 0);
    m_records.u32(type).u32(quint32(8 + 4 * values.size() + tail.size()));
    for (quint32 v : values)
        m_records.u32(v);
    m_records.raw(tail);
    ++m_count;
    return *this;
}

Writer &Writer::claimRecords(quint32 count) {
    m_claimed = count;
    return *this;
}

Writer &Writer::raw(const QByteArray &bytes) {
    m_records.raw(bytes);
    return *this;
}

Writer &Writer::blackBrushNoPen() {
    record(CreateBrushIndirect, {1, 0, 0x000000, 0});
    record(SelectObject, {1});
    return record(SelectObject, {NullPen});
}

Writer &Writer::rectangle(int left, int top, int right, int bottom) {
    return record(Rectangle, {quint32(left), quint32(top), quint32(right), quint32(bottom)});
}

Writer &Writer::emfPlusHeader(bool dual) {
    Bytes plus;
    plus.u32(0x2B464D45);
    plus.u16(0x4001).u16(dual ? 1 : 0).u32(28).u32(16).u32(0xDBC01002).u32(0).u32(96).u32(96);
    return record(Comment, {quint32(plus.size())}, plus.data());
}

QByteArray Writer::file(QRect bounds, QRect frame, bool withEof) const {
    Bytes b;
    const quint32 total = 88 + quint32(m_records.size()) + (withEof ? 20 : 0);
    b.u32(Header).u32(88);
    b.i32(bounds.left()).i32(bounds.top()).i32(bounds.right()).i32(bounds.bottom());
    b.i32(frame.left()).i32(frame.top()).i32(frame.right()).i32(frame.bottom());
    b.u32(0x464D4520)
        .u32(0x10000)
        .u32(total)
        .u32(m_claimed ? m_claimed : quint32(m_count + 2))
        .u16(8)
        .u16(0);
    b.u32(0).u32(0).u32(0).i32(960).i32(960).i32(254).i32(254);
    b.raw(m_records.data());
    if (withEof)
        b.u32(Eof).u32(20).u32(0).u32(16).u32(20);
    return b.data();
}

} // namespace emf

QByteArray dibRow(const QList<QRgb> &colors) {
    Bytes b;
    const int stride = (int(colors.size()) * 3 + 3) & ~3;
    b.u32(40).i32(int(colors.size())).i32(1).u16(1).u16(24).u32(0).u32(quint32(stride));
    b.i32(0).i32(0).u32(0).u32(0);
    QByteArray row;
    for (QRgb c : colors) {
        row.append(char(qBlue(c)));
        row.append(char(qGreen(c)));
        row.append(char(qRed(c)));
    }
    row.append(QByteArray(stride - row.size(), '\0'));
    return b.data() + row;
}

namespace emfplus {

// An EMF drawn by EMF+ records alone: 6000 x 4000 pixels of `count` antialiased ellipses, each
// in a colour of its own, or, with `chart`, 1800 x 1000 pixels of a bar chart of 200 bars with
// grid lines, a title and a label under every bar.
Ellipse ellipse(int n) {
    return {QRectF((n * 37) % 5800, (n * 53) % 3800, 200, 140),
            0xC0000000u | (quint32(n * 2654435761u) & 0xFFFFFF)};
}

QByteArray file(int count, bool chart) {
    emf::Writer w;
    Bytes plus; // EMF+ records not yet in a comment
    const auto flush = [&] {
        if (plus.size() == 0)
            return;
        const QByteArray data = QByteArray("EMF+", 4) + plus.data();
        w.record(emf::Comment, {quint32(data.size())}, data);
        plus = Bytes();
    };
    const auto record = [&](quint16 type, quint16 flags, const Bytes &data) {
        plus.u16(type).u16(flags).u32(quint32(12 + data.size())).u32(quint32(data.size()));
        plus.raw(data.data());
        if (plus.size() > 60000)
            flush();
    };
    const auto longs = [](std::initializer_list<quint32> values) {
        Bytes b;
        for (const quint32 v : values)
            b.u32(v);
        return b;
    };
    const auto real = [](double value) {
        return std::bit_cast<quint32>(float(value));
    };
    const auto text = [&](const QString &string, QRectF box, quint32 align) {
        record(0x4008, 0x0702, longs({0xDBC01002, 0, 0, align, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        Bytes data = longs({0xff202020, 2, quint32(string.size()), real(box.x()), real(box.y()),
                            real(box.width()), real(box.height())});
        for (const QChar c : string)
            data.u16(c.unicode());
        if (string.size() % 2)
            data.u16(0);
        record(0x401C, 0x8000, data);
    };
    const auto font = [&](double size, quint32 style) {
        Bytes data = longs({0xDBC01002, real(size), 2, style, 0, 5});
        for (const char c : QByteArrayView("Arial"))
            data.u16(quint16(c));
        record(0x4008, 0x0600, data.u16(0));
    };
    record(0x4001, 0, longs({0xDBC01002, 1, 96, 96})); // header: EMF+ only
    record(0x401E, 0x9, {});                           // antialiased
    record(0x4030, 2, longs({real(1)}));               // page in pixels
    const QSize size = chart ? QSize(1800, 1000) : QSize(6000, 4000);
    if (!chart) {
        for (int n = 0; n < count; ++n) {
            const Ellipse e = ellipse(n);
            record(0x400E, 0x8000,
                   longs({e.colour, real(e.box.x()), real(e.box.y()), real(e.box.width()),
                          real(e.box.height())}));
        }
    } else {
        font(13, 0);
        record(0x4008, 0x0201,
               longs({0xDBC01002, 0, 0, 0, real(1), 0xDBC01002, 0, 0xffa0a0a0})); // grid pen
        for (int line = 0; line <= 10; ++line)
            record(0x400D, 0x0001,
                   longs({2, real(40), real(940 - line * 88), real(1780), real(940 - line * 88)}));
        for (int n = 0; n < 200; ++n) {
            const double x = 44 + n * 8.65, height = 40 + (n * 977) % 860;
            record(0x400A, 0x8000,
                   longs({0xff2060c0 + quint32(n % 7) * 0x100800, 1, real(x), real(940 - height),
                          real(6), real(height)}));
            text(QString::number(n + 1), QRectF(x - 10, 944, 26, 16), 1);
        }
        font(28, 1);
        text(QStringLiteral("Sales by week, 1990-1993"), QRectF(0, 10, 1800, 40), 1);
    }
    record(0x4002, 0, {});
    flush();
    return w.file(QRect(QPoint(0, 0), size),
                  QRect(QPoint(0, 0), QPoint(int(std::lround(size.width() * 2540.0 / 96)),
                                             int(std::lround(size.height() * 2540.0 / 96)))));
}

} // namespace emfplus

} // namespace testkit
