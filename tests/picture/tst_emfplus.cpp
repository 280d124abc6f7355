#include "picture/metafile/emf_decoder.h"
#include "picture/picture_errors.h"

#include "metafile_test_support.h"
#include "tests/support/bytes.h"
#include "tests/support/corpus.h"
#include "tests/support/writers.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QTest>

using namespace metafile_test;
using testkit::Bytes;

namespace {

picture::LoadResult load(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::emf::read(buffer, visible);
}

bool filled(const picture::LoadResult &result, QPoint at) {
    return result.ok() && qAlpha(result.picture->image.pixel(at)) == 255;
}

quint32 floatBits(float f) {
    return std::bit_cast<quint32>(f);
}

// One EMF+ record: its 32-bit values after the type, flags and sizes. `size` and `dataSize`
// replace the true sizes when a test wants them to lie.
QByteArray plus(quint16 type, quint16 flags, const QList<quint32> &values, qint64 size = -1,
                qint64 dataSize = -1) {
    Bytes b;
    const auto bytes = quint32(4 * values.size());
    b.u16(type).u16(flags);
    b.u32(size < 0 ? 12 + bytes : quint32(size)).u32(dataSize < 0 ? bytes : quint32(dataSize));
    for (quint32 v : values)
        b.u32(v);
    return b.data();
}

QByteArray header(bool dual) {
    return plus(0x4001, dual ? 1 : 0, {0xDBC01002, 1, 96, 96});
}

// A solid fill of a rectangle, in world units.
QByteArray fillRect(QRectF r, QRgb color = 0xff000000) {
    return plus(0x400A, 0x8000,
                {color, 1, floatBits(float(r.x())), floatBits(float(r.y())),
                 floatBits(float(r.width())), floatBits(float(r.height()))});
}

// A solid brush object in `slot`.
QByteArray solidBrush(int slot, QRgb color) {
    return plus(0x4008, quint16(0x0100 | slot), {0xDBC01002, 0, color});
}

// A fill of a rectangle with the brush in `slot`.
QByteArray fillRectWith(int slot, QRectF r) {
    return plus(0x400A, 0,
                {quint32(slot), 1, floatBits(float(r.x())), floatBits(float(r.y())),
                 floatBits(float(r.width())), floatBits(float(r.height()))});
}

// An enhanced metafile of 96 x 96 pixels: its header, the records given whole, and EOF.
QByteArray emfFile(const QList<QByteArray> &records) {
    testkit::emf::Writer w;
    for (const QByteArray &r : records)
        w.raw(r);
    return w.claimRecords(quint32(records.size() + 2)).file(QRect(0, 0, 96, 96));
}

// A comment record carrying EMF+ records.
QByteArray comment(const QByteArray &records) {
    QByteArray data = QByteArray("EMF+", 4) + records;
    data.append(QByteArray((4 - data.size() % 4) % 4, '\0'));
    Bytes b;
    b.u32(70).u32(quint32(12 + data.size())).u32(quint32(data.size())).raw(data);
    return b.data();
}

// A classic black rectangle without outline.
QByteArray classicRect(QRect r) {
    Bytes b;
    b.u32(39).u32(24).u32(1).u32(0).u32(0).u32(0);
    b.u32(37).u32(12).u32(1).u32(37).u32(12).u32(0x80000008);
    b.u32(43).u32(24).i32(r.left()).i32(r.top()).i32(r.right()).i32(r.bottom());
    return b.data();
}

// An image object holding a whole enhanced metafile.
QByteArray metafileImage(int slot, const QByteArray &file) {
    QList<quint32> values{0xDBC01002, 2, 3, quint32(file.size())};
    for (qsizetype i = 0; i + 3 < file.size(); i += 4)
        values.append(qFromLittleEndian<quint32>(file.constData() + i));
    return plus(0x4008, quint16(0x0500 | slot), values);
}

// Draws the image in `slot` over the whole 96 x 96 picture, its source 96 x 96 pixels.
QByteArray drawImage(int slot) {
    const quint32 full = floatBits(96);
    return plus(0x401A, quint16(slot), {0, 2, 0, 0, full, full, 0, 0, full, full});
}

// Whether an enhanced metafile carries an EMF+ header, and if so whether it says the classic
// records draw the picture too: nothing, "dual" or "plus".
QString emfPlusKind(const QByteArray &data) {
    const auto u32 = [&](qsizetype at) {
        return qFromLittleEndian<quint32>(data.constData() + at);
    };
    if (data.size() < 88)
        return {};
    qsizetype at = u32(4);
    while (at + 28 <= data.size()) {
        const quint32 type = u32(at), size = u32(at + 4);
        if (type == 70 && u32(at + 12) == 0x2B464D45 && (u32(at + 16) & 0xffff) == 0x4001)
            return (u32(at + 16) >> 16) & 1 ? QStringLiteral("dual") : QStringLiteral("plus");
        if (size < 8 || size > data.size() - at)
            break;
        at += size;
    }
    return {};
}

// Where our rendering of a corpus file differs from the renderer that plays EMF+ for reasons
// we accept, pinned at the difference measured (mean, far %) when the entry was last checked.
const QHash<QString, KnownDifference> &knownDifferences() {
    static const QHash<QString, KnownDifference> known = pinned([](const Pin &add) {
        const char *const smallText =
            "text a few pixels high: the reference sets the line a pixel or two further right "
            "and lower (other line metrics) and draws underlines thicker, which at this size "
            "moves most of the ink";
        add(smallText, "TestDrawString.emf", 36.27, 18.75);
        add(smallText, "TestDrawStringTransparent.emf", 18.83, 22.24);
        add(smallText, "TestDrawStringWithBrush.emf", 31.28, 23.89);
        add("a picture 27 pixels wide of hairlines and small shapes: every edge pixel counts",
            "test-182.emf", 19.30, 4.86);
        add("path gradient over a rectangle: we shade it in shrinking rectangles (the format's "
            "rule), the reference in ellipses",
            "TestEmfPlusBrushPathGradientWithBlendColors.emf", 17.68, 0.96);
        add("many thin dashed lines: the dashes start at another phase, and the reference draws "
            "a compound pen as two lines",
            "TestEmfPlusDrawLineWithDash.emf", 26.96, 13.11);
        add("hairlines: the reference draws them thinner", "fulltest.emf", 15.15, 11.69);
    });
    return known;
}

} // namespace

class TestEmfPlus : public QObject {
    Q_OBJECT

private slots:
    void records_data();
    void records();
    void classicRecordsOnlyAfterGetDC_data();
    void classicRecordsOnlyAfterGetDC();
    void rawBitmaps_data();
    void rawBitmaps();
    void nestedMetafileImages_data();
    void nestedMetafileImages();
    void visiblePartIsTheCorner();
    void corpusMatchesReferences_data();
    void corpusMatchesReferences();
};

void TestEmfPlus::records_data() {
    QTest::addColumn<QList<QByteArray>>("comments"); // the EMF+ records of each comment
    QTest::addColumn<QList<QPoint>>("inside");
    QTest::addColumn<QList<QPoint>>("outside");
    const QRectF square(10, 10, 40, 40);
    const QList<QPoint> in{{20, 20}}, out{{70, 70}};
    const QByteArray black = fillRectWith(3, square);
    const quint32 version = 0xDBC01002, solid = 0;
    const auto chunk = [](quint16 flags, const QList<quint32> &values) {
        return plus(0x4008, flags, values);
    };
    QTest::newRow("solid colour fill") << QList<QByteArray>{fillRect(square)} << in << out;
    QTest::newRow("brush from its slot")
        << QList<QByteArray>{solidBrush(3, 0xff000000) + black} << in << out;
    QTest::newRow("slot 64 is out of range")
        << QList<QByteArray>{solidBrush(64, 0xff000000) + fillRectWith(64, square)}
        << QList<QPoint>{} << in;
    QTest::newRow("object in two chunks, the last without the continue flag")
        << QList<QByteArray>{chunk(0x8103, {12, version, solid}),
                             chunk(0x0103, {0xff000000}) + black}
        << in << out;
    QTest::newRow("both chunks flagged: the byte count ends the object")
        << QList<QByteArray>{chunk(0x8103, {12, version, solid}) + chunk(0x8103, {12, 0xff000000}) +
                             black}
        << in << out;
    QTest::newRow("a chunk past the stated total drops the object")
        << QList<QByteArray>{chunk(0x8103, {10, version, solid}) + chunk(0x8103, {10, 0xff000000}) +
                             black}
        << QList<QPoint>{} << in;
    QTest::newRow("another record between the chunks drops the object")
        << QList<QByteArray>{chunk(0x8103, {12, version, solid}) + plus(0x401E, 1, {}) +
                             chunk(0x0103, {0xff000000}) + black}
        << QList<QPoint>{} << in;
    QTest::newRow("an object larger than the file is not waited for")
        << QList<QByteArray>{chunk(0x8103, {0x7fffffff, version, solid}) +
                             chunk(0x0103, {0xff000000}) + black}
        << QList<QPoint>{} << in;
    QTest::newRow("unknown records are skipped")
        << QList<QByteArray>{plus(0x4080, 0, {1, 2, 3}) + plus(0x8888, 0, {}) + fillRect(square)}
        << in << out;
    QTest::newRow("a record overrunning its comment ends that comment only")
        << QList<QByteArray>{fillRect(square) + plus(0x401E, 0, {}, 4000),
                             fillRect(QRectF(60, 60, 30, 30))}
        << QList<QPoint>{{20, 20}, {70, 70}} << QList<QPoint>{{55, 20}};
    QTest::newRow("data overrunning its record skips the record")
        << QList<QByteArray>{plus(0x400A, 0x8000, {0xff000000, 1, 0, 0, 0, 0}, -1, 400) +
                             fillRect(square)}
        << in << out;
    QTest::newRow("a point count beyond the record draws nothing")
        << QList<QByteArray>{plus(0x400C, 0x8000, {0xff000000, 0x10000000, 0, 0})}
        << QList<QPoint>{} << in;
    const QByteArray scale = plus(0x402E, 0, {floatBits(2), floatBits(2)});
    const QList<quint32> by20{floatBits(20), 0};
    QTest::newRow("a translation appended after the scale")
        << QList<QByteArray>{scale + plus(0x402D, 0x2000, by20) + fillRect(QRectF(0, 0, 10, 10))}
        << QList<QPoint>{{30, 10}} << QList<QPoint>{{50, 10}};
    QTest::newRow("a translation prepended before the scale")
        << QList<QByteArray>{scale + plus(0x402D, 0, by20) + fillRect(QRectF(0, 0, 10, 10))}
        << QList<QPoint>{{50, 10}} << QList<QPoint>{{30, 10}};
    const QByteArray moved = plus(0x402D, 0, {floatBits(50), 0});
    QTest::newRow("restore brings back the transform")
        << QList<QByteArray>{plus(0x4025, 0, {1}) + moved + plus(0x4026, 0, {1}) +
                             fillRect(QRectF(0, 0, 10, 10))}
        << QList<QPoint>{{5, 5}} << QList<QPoint>{{55, 5}};
    QTest::newRow("restoring a state never saved changes nothing")
        << QList<QByteArray>{plus(0x4025, 0, {1}) + moved + plus(0x4026, 0, {7}) +
                             fillRect(QRectF(0, 0, 10, 10))}
        << QList<QPoint>{{55, 5}} << QList<QPoint>{{5, 5}};
    const QList<quint32> leftStrip{0, 0, floatBits(20), floatBits(96)};
    const QByteArray everything = fillRect(QRectF(0, 0, 96, 96));
    QTest::newRow("clip replaced by a rectangle")
        << QList<QByteArray>{plus(0x4032, 0x0000, leftStrip) + everything}
        << QList<QPoint>{{10, 50}} << QList<QPoint>{{50, 50}};
    QTest::newRow("clip excluding a rectangle from everything")
        << QList<QByteArray>{plus(0x4032, 0x0400, leftStrip) + everything}
        << QList<QPoint>{{50, 50}} << QList<QPoint>{{10, 50}};
    QTest::newRow("clip reset") << QList<QByteArray>{plus(0x4032, 0x0000, leftStrip) +
                                                     plus(0x4031, 0, {}) + everything}
                                << QList<QPoint>{{10, 50}, {50, 50}} << QList<QPoint>{};
    // A region of the two strips outside the middle: the exclusive or of two overlapping halves.
    const QByteArray xorRegion =
        plus(0x4008, 0x0404,
             {0xDBC01002, 2, 3, 0x10000000, 0, 0, floatBits(60), floatBits(96), 0x10000000,
              floatBits(30), 0, floatBits(66), floatBits(96)});
    const QList<QPoint> strips{{10, 50}, {80, 50}}, middle{{45, 50}};
    QTest::newRow("clip set to a region")
        << QList<QByteArray>{xorRegion + plus(0x4034, 0x0004, {}) + everything} << strips << middle;
    QTest::newRow("region filled")
        << QList<QByteArray>{xorRegion + plus(0x4013, 0x8004, {0xff000000})} << strips << middle;
    QTest::newRow("16-bit rectangles")
        << QList<QByteArray>{plus(0x400A, 0xC000, {0xff000000, 1, 10 | 10 << 16, 40 | 40 << 16})}
        << in << out;
    // (10, 10) in 15-bit form, then (+60, 0), (0, +60) and (-60, 0) in 7-bit form.
    QTest::newRow("relative points of 7 and 15 bits")
        << QList<QByteArray>{plus(0x400C, 0x8800,
                                  {0xff000000, 4, 0x0A800A80, 0x3C00003C, 0x00000044})}
        << QList<QPoint>{{40, 40}, {65, 15}} << QList<QPoint>{{80, 80}, {5, 5}};
}

// Each comment of EMF+ records after a comment with the header; black is drawn, nothing else.
void TestEmfPlus::records() {
    QFETCH(QList<QByteArray>, comments);
    QFETCH(QList<QPoint>, inside);
    QFETCH(QList<QPoint>, outside);
    QList<QByteArray> records{comment(header(false))};
    for (const QByteArray &c : comments)
        records.append(comment(c));
    // Something the picture draws in any case, so that it is not refused as empty.
    records.append(comment(fillRect(QRectF(94, 94, 2, 2))));
    const auto result = load(emfFile(records));
    QVERIFY2(result.ok(), qPrintable(result.error));
    for (const QPoint &p : inside)
        QVERIFY2(filled(result, p),
                 qPrintable(QStringLiteral("%1,%2 drawn").arg(p.x()).arg(p.y())));
    for (const QPoint &p : outside)
        QVERIFY2(!filled(result, p),
                 qPrintable(QStringLiteral("%1,%2 empty").arg(p.x()).arg(p.y())));
}

void TestEmfPlus::classicRecordsOnlyAfterGetDC_data() {
    QTest::addColumn<bool>("dual");
    QTest::addColumn<QList<QByteArray>>("before"); // EMF+ records before the classic rectangle
    QTest::addColumn<bool>("classicShown");
    const QByteArray plusDraws = fillRect(QRectF(60, 60, 30, 30));
    const QByteArray getDC = plus(0x4004, 0, {});
    QTest::newRow("dual: the classic records stand back")
        << true << QList<QByteArray>{plusDraws} << false;
    QTest::newRow("EMF+ only: the classic records stand back")
        << false << QList<QByteArray>{plusDraws} << false;
    QTest::newRow("after GetDC the classic records draw")
        << true << QList<QByteArray>{plusDraws, getDC} << true;
    QTest::newRow("after GetDC in an EMF+-only file too")
        << false << QList<QByteArray>{plusDraws + getDC} << true;
    QTest::newRow("the next EMF+ record closes the GetDC window")
        << true << QList<QByteArray>{plusDraws, getDC, plus(0x401E, 1, {})} << false;
    QTest::newRow("EMF+ records that draw nothing leave the picture to the classic ones")
        << true << QList<QByteArray>{plus(0x401E, 1, {})} << true;
}

void TestEmfPlus::classicRecordsOnlyAfterGetDC() {
    QFETCH(bool, dual);
    QFETCH(QList<QByteArray>, before);
    QFETCH(bool, classicShown);
    QList<QByteArray> records{comment(header(dual))};
    for (const QByteArray &c : before)
        records.append(comment(c));
    records.append(classicRect(QRect(10, 10, 30, 30)));
    const auto result = load(emfFile(records));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(filled(result, QPoint(20, 20)), classicShown);
}

void TestEmfPlus::rawBitmaps_data() {
    QTest::addColumn<quint32>("format");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("data"); // the palette, if any, and the rows
    QTest::addColumn<QRgb>("left");       // what the two pixels show, 0 for nothing
    QTest::addColumn<QRgb>("right");
    const QRgb red = 0xffff0000, blue = 0xff0000ff;
    const auto bytes = [](std::initializer_list<int> values) {
        QByteArray b;
        for (int v : values)
            b.append(char(v));
        return b;
    };
    Bytes palette;
    palette.u32(0).u32(2).u32(red).u32(blue);
    QTest::newRow("8-bit with a palette")
        << 0x00030803u << 1 << palette.data() + bytes({0, 1, 0, 0}) << red << blue;
    QTest::newRow("an index past the palette is transparent")
        << 0x00030803u << 1 << palette.data() + bytes({0, 7, 0, 0}) << red << 0u;
    QTest::newRow("1-bit with a palette")
        << 0x00030101u << 1 << palette.data() + bytes({0x40, 0, 0, 0}) << red << blue;
    QTest::newRow("16-bit 5-6-5") << 0x00021006u << 1 << bytes({0, 0xf8, 0x1f, 0}) << red << blue;
    QTest::newRow("24-bit") << 0x00021808u << 1 << bytes({0, 0, 255, 255, 0, 0, 0, 0}) << red
                            << blue;
    QTest::newRow("32-bit with alpha")
        << 0x0026200Au << 1 << bytes({0, 0, 255, 255, 255, 0, 0, 0}) << red << 0u;
    QTest::newRow("more rows than the data holds draw nothing")
        << 0x00021808u << 50 << bytes({0, 0, 255, 255, 0, 0, 0, 0}) << 0u << 0u;
}

// A bitmap of 2 x `height` pixels stretched over the picture without smoothing.
void TestEmfPlus::rawBitmaps() {
    QFETCH(quint32, format);
    QFETCH(int, height);
    QFETCH(QByteArray, data);
    QFETCH(QRgb, left);
    QFETCH(QRgb, right);
    const int stride = format == 0x00030101u ? 4 : ((2 * int((format >> 8) & 0xff) / 8 + 3) & ~3);
    QList<quint32> values{0xDBC01002, 1, 2, quint32(height), quint32(stride), format, 0};
    data.append(QByteArray((4 - data.size() % 4) % 4, '\0'));
    for (qsizetype i = 0; i < data.size(); i += 4)
        values.append(qFromLittleEndian<quint32>(data.constData() + i));
    const quint32 full = floatBits(96);
    const QByteArray draw =
        plus(0x401A, 0, {0, 2, 0, 0, floatBits(2), floatBits(float(height)), 0, 0, full, full});
    const auto result =
        load(emfFile({comment(header(false) + plus(0x4021, 5, {}) + plus(0x4008, 0x0500, values) +
                              draw + fillRect(QRectF(94, 94, 2, 2)))}));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage image = result.picture->image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.pixel(20, 50), left);
    QCOMPARE(image.pixel(70, 50), right);
}

void TestEmfPlus::nestedMetafileImages_data() {
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("shown");
    QTest::newRow("a metafile in a metafile") << 1 << true;
    QTest::newRow("two levels down") << 2 << true;
    QTest::newRow("three levels down is too deep") << 3 << false;
}

// The innermost picture is a black square, each level around it an EMF+ image of the one within.
void TestEmfPlus::nestedMetafileImages() {
    QFETCH(int, depth);
    QFETCH(bool, shown);
    QByteArray file = emfFile({comment(header(false) + fillRect(QRectF(0, 0, 96, 96)))});
    for (int i = 0; i < depth; ++i)
        file = emfFile({comment(header(false) + metafileImage(0, file) + drawImage(0))});
    const auto result = load(file);
    QCOMPARE(filled(result, QPoint(48, 48)), shown);
    if (!shown)
        QVERIFY(!result.error.isEmpty());
}

// An antialiased ellipse, a gradient and text crossing the part's edges: the part decoded for a
// window is the top-left corner of the whole picture, pixel for pixel.
void TestEmfPlus::visiblePartIsTheCorner() {
    const QList<quint32> rect{floatBits(5), floatBits(5), floatBits(80), floatBits(60)};
    const QByteArray gradient = plus(
        0x4008, 0x0101,
        {0xDBC01002, 4, 0, 0, 0, 0, floatBits(90), floatBits(90), 0xffff0000, 0xff0000ff, 0, 0});
    QByteArray font = plus(0x4008, 0x0602,
                           {0xDBC01002, floatBits(18), 2, 0, 0, 6, 'D' | 'e' << 16, 'j' | 'a' << 16,
                            'V' | 'u' << 16, 0});
    const QByteArray text = plus(0x401C, 0x8002,
                                 {0xff008000, 0xffffffff, 4, floatBits(20), floatBits(30),
                                  floatBits(70), floatBits(30), 'T' | 'e' << 16, 'x' | 't' << 16});
    const QByteArray file =
        emfFile({comment(header(false) + plus(0x401E, 1, {}) + gradient +
                         plus(0x400E, 0, QList<quint32>{1} + rect) + font + text)});
    // Pens a pixel wide, solid and dashed, on lines from inside the part out across its edges
    // and beyond the margin it is drawn with, in a picture of 600 x 400 pixels.
    QByteArray lines;
    for (const quint32 dashed : {0u, 1u}) {
        // A dashed pen says so in its optional data: a line style of dashes.
        const QList<quint32> style = dashed ? QList<quint32>{1} : QList<quint32>{};
        lines += plus(0x4008, 0x0202,
                      QList<quint32>{0xDBC01002, 0, dashed ? 0x20u : 0u, 2, floatBits(1)} + style +
                          QList<quint32>{0xDBC01002, 0, 0xff000080});
        for (int k = 0; k < 12; ++k)
            lines += plus(0x400D, 2,
                          {2, floatBits(7.3f), floatBits(11.6f + 3 * dashed),
                           floatBits(595.f - 49 * k), floatBits(238.f + 15 * k)});
    }
    testkit::emf::Writer big;
    big.raw(comment(header(false) + lines));
    for (const QByteArray &f :
         {file, big.claimRecords(3).file(QRect(0, 0, 600, 400),
                                         QRect(QPoint(0, 0), QPoint(15875, 10583)))}) {
        const auto whole = load(f);
        QVERIFY2(whole.ok(), qPrintable(whole.error));
        const QSize part(40, 40);
        const auto cropped = load(f, part);
        QVERIFY2(cropped.ok(), qPrintable(cropped.error));
        QCOMPARE(cropped.picture->size, whole.picture->size);
        QCOMPARE(cropped.picture->image, whole.picture->image.copy(QRect(QPoint(0, 0), part)));
    }
}

void TestEmfPlus::corpusMatchesReferences_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    for (const corpus::Entry &f :
         corpus::entries({QStringLiteral("emf/")}, QStringLiteral("good"))) {
        const QString kind = emfPlusKind(corpus::bytes(f.path));
        if (!kind.isEmpty())
            QTest::newRow(qPrintable(f.path)) << f.path << kind;
    }
}

// Against the renderings of the reference renderer that plays EMF+ (metafiles-lo/), with the
// tolerance of the metafile suites; the first reference draws most of these files from their
// classic records, so the EMF suite weighs it.
void TestEmfPlus::corpusMatchesReferences() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    QFETCH(QString, path);
    QFETCH(QString, kind);
    const auto result = load(corpus::bytes(path));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QString reference = secondReference(path);
    if (reference.isEmpty())
        QSKIP("no rendering of the reference renderer");
    const Difference d = compareWithReference(result.picture->image, QImage(reference));
    qInfo("%s (%s): %s", qPrintable(path), qPrintable(kind), qPrintable(describe(d)));
    const auto known = knownDifferences().constFind(QFileInfo(path).fileName());
    const QString failure = checkAgainstReferences(
        std::nullopt, d, known == knownDifferences().cend() ? nullptr : &*known);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_MAIN(TestEmfPlus)
#include "tst_emfplus.moc"
