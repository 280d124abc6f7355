#include "picture/metafile/emf_decoder.h"
#include "picture/picture_errors.h"
#include "tests/support/writers.h"

#include <QBuffer>
#include <QTest>

using namespace testkit::emf;
using testkit::Bytes;
using EmfWriter = testkit::emf::Writer;

namespace {

constexpr QRgb Black = 0xff000000;

quint32 floatBits(float f) {
    return std::bit_cast<quint32>(f);
}

picture::LoadResult load(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::emf::read(buffer, visible);
}

bool filled(const picture::LoadResult &result, int x, int y) {
    return qAlpha(result.picture->image.pixel(x, y)) == 255;
}

} // namespace

class TestEmfDecoder : public QObject {
    Q_OBJECT

private slots:
    void naturalSize_data();
    void naturalSize();
    void emfPlusRecords_data();
    void emfPlusRecords();
    void mapModes_data();
    void mapModes();
    void worldTransforms_data();
    void worldTransforms();
    void clipIsSavedAndRestored_data();
    void clipIsSavedAndRestored();
    void lyingRecords_data();
    void lyingRecords();
    void hostileObjectIndicesAreIgnored();
    void pathFiguresStartAtEachMove_data();
    void pathFiguresStartAtEachMove();
    void alphaBlendWithSourceAlpha_data();
    void alphaBlendWithSourceAlpha();
    void monochromePatternBrushes_data();
    void monochromePatternBrushes();
    void recognisesOnlyEnhancedMetafiles_data();
    void recognisesOnlyEnhancedMetafiles();
    void partIsTheCornerOfTheWhole_data();
    void partIsTheCornerOfTheWhole();
};

void TestEmfDecoder::naturalSize_data() {
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QSize>("expected");
    const QRect bounds(0, 0, 200, 100);
    QTest::newRow("frame of one inch by half an inch")
        << bounds << QRect(QPoint(0, 0), QPoint(2540, 1270)) << QSize(96, 48);
    QTest::newRow("frame away from the origin")
        << bounds << QRect(QPoint(1000, 500), QPoint(3540, 1770)) << QSize(96, 48);
    QTest::newRow("frame with right before left")
        << bounds << QRect(QPoint(2540, 1270), QPoint(0, 0)) << QSize(96, 48);
    QTest::newRow("frame rounds to the nearest pixel")
        << bounds << QRect(QPoint(0, 0), QPoint(2619, 1296)) << QSize(99, 49);
    QTest::newRow("empty frame falls back to the bounds")
        << QRect(QPoint(10, 10), QPoint(209, 109)) << QRect(QPoint(5, 5), QPoint(5, 900))
        << QSize(200, 100);
    QTest::newRow("empty frame and empty bounds give one pixel")
        << QRect(QPoint(3, 3), QPoint(3, 3)) << QRect() << QSize(1, 1);
}

void TestEmfDecoder::naturalSize() {
    QFETCH(QRect, bounds);
    QFETCH(QRect, frame);
    QFETCH(QSize, expected);
    const auto result = load(EmfWriter().file(bounds, frame), QSize(64, 64));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->size, expected);
    QCOMPARE(result.picture->format, picture::Format::Emf);
    QCOMPARE(result.picture->image.size(), expected.boundedTo(QSize(64, 64)));
    QCOMPARE(result.picture->image.format(), QImage::Format_ARGB32_Premultiplied);
}

void TestEmfDecoder::emfPlusRecords_data() {
    QTest::addColumn<bool>("dual");
    QTest::addColumn<bool>("classicDrawing");
    QTest::addColumn<bool>("shown");
    QTest::newRow("EMF+ only drawing nothing is refused") << false << false << false;
    QTest::newRow("EMF+ only with classic drawing shows the classic part") << false << true << true;
    QTest::newRow("dual file draws its classic records") << true << true << true;
    QTest::newRow("dual file drawing nothing is refused, not shown blank")
        << true << false << false;
}

void TestEmfDecoder::emfPlusRecords() {
    QFETCH(bool, dual);
    QFETCH(bool, classicDrawing);
    QFETCH(bool, shown);
    EmfWriter w;
    w.emfPlusHeader(dual);
    if (classicDrawing)
        w.blackBrushNoPen().rectangle(0, 0, 50, 50);
    const auto result = load(w.file());
    QCOMPARE(result.ok(), shown);
    if (!shown)
        QCOMPARE(result.error, picture::errors::corrupt());
    else if (classicDrawing)
        QVERIFY(filled(result, 25, 25));
}

void TestEmfDecoder::mapModes_data() {
    QTest::addColumn<QList<QList<quint32>>>("setup"); // records: type, values...
    QTest::addColumn<QRect>("rectangle");
    QTest::addColumn<QList<QPoint>>("inside");
    QTest::addColumn<QList<QPoint>>("outside");
    const QList<QPoint> square{{24, 24}};
    const QList<QPoint> beyond{{72, 72}, {24, 72}, {72, 24}};
    QTest::newRow("text mode: logical units are device pixels")
        << QList<QList<quint32>>{{SetMapMode, 1}} << QRect(QPoint(0, 0), QPoint(48, 48)) << square
        << beyond;
    QTest::newRow("tenths of a millimetre with y going up")
        << QList<QList<quint32>>{{SetMapMode, 2}} << QRect(QPoint(0, 0), QPoint(127, -127))
        << square << beyond;
    QTest::newRow("hundredths of a millimetre with y going up")
        << QList<QList<quint32>>{{SetMapMode, 3}} << QRect(QPoint(0, 0), QPoint(1270, -1270))
        << square << beyond;
    QTest::newRow("twips with y going up")
        << QList<QList<quint32>>{{SetMapMode, 6}} << QRect(QPoint(0, 0), QPoint(720, -720))
        << square << beyond;
    QTest::newRow("anisotropic stretches each axis on its own")
        << QList<QList<quint32>>{{SetMapMode, 8},
                                 {SetWindowExtEx, 200, 100},
                                 {SetViewportExtEx, 96, 96}}
        << QRect(QPoint(0, 0), QPoint(100, 50)) << square << beyond;
    QTest::newRow("isotropic keeps squares square")
        << QList<QList<quint32>>{{SetMapMode, 7},
                                 {SetWindowExtEx, 200, 100},
                                 {SetViewportExtEx, 96, 96}}
        << QRect(QPoint(0, 0), QPoint(100, 100)) << square << beyond;
    QTest::newRow("negative window extent flips with the origin moved")
        << QList<QList<quint32>>{{SetMapMode, 8},
                                 {SetWindowOrgEx, 0, 96},
                                 {SetWindowExtEx, 96, quint32(-96)},
                                 {SetViewportExtEx, 96, 96}}
        << QRect(QPoint(0, 0), QPoint(48, 48)) << QList<QPoint>{{24, 72}}
        << QList<QPoint>{{24, 24}, {72, 72}};
}

void TestEmfDecoder::mapModes() {
    QFETCH(QList<QList<quint32>>, setup);
    QFETCH(QRect, rectangle);
    QFETCH(QList<QPoint>, inside);
    QFETCH(QList<QPoint>, outside);
    EmfWriter w;
    w.blackBrushNoPen();
    for (const auto &r : setup)
        w.record(r.first(), r.mid(1));
    w.record(Rectangle, {quint32(rectangle.left()), quint32(rectangle.top()),
                         quint32(rectangle.right()), quint32(rectangle.bottom())});
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    for (const QPoint &p : inside)
        QVERIFY2(filled(result, p.x(), p.y()),
                 qPrintable(QStringLiteral("%1,%2 should be drawn").arg(p.x()).arg(p.y())));
    for (const QPoint &p : outside)
        QVERIFY2(!filled(result, p.x(), p.y()),
                 qPrintable(QStringLiteral("%1,%2 should be empty").arg(p.x()).arg(p.y())));
}

void TestEmfDecoder::worldTransforms_data() {
    QTest::addColumn<QList<QList<quint32>>>("setup");
    QTest::addColumn<QPoint>("inside");
    QTest::addColumn<QPoint>("outside");
    const auto xform = [](float m11, float m22, float dx, float dy) {
        return QList<quint32>{floatBits(m11), 0, 0, floatBits(m22), floatBits(dx), floatBits(dy)};
    };
    QTest::newRow("a set translation moves the drawing")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0)}
        << QPoint(60, 10) << QPoint(10, 10);
    QTest::newRow("left multiply scales before the earlier translation")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0),
                                 QList<quint32>{ModifyWorldTransform} + xform(2, 2, 0, 0) +
                                     QList<quint32>{2}}
        << QPoint(85, 10) << QPoint(10, 10);
    QTest::newRow("right multiply scales after it, out of the picture")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0),
                                 QList<quint32>{ModifyWorldTransform} + xform(2, 2, 0, 0) +
                                     QList<quint32>{3}}
        << QPoint(-1, -1) << QPoint(60, 10);
    QTest::newRow("identity resets")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0),
                                 QList<quint32>{ModifyWorldTransform} + xform(2, 2, 0, 0) +
                                     QList<quint32>{1}}
        << QPoint(10, 10) << QPoint(60, 10);
    QTest::newRow("a singular transform is ignored")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(0, 0, 50, 0)}
        << QPoint(10, 10) << QPoint(60, 10);
}

void TestEmfDecoder::worldTransforms() {
    QFETCH(QList<QList<quint32>>, setup);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, outside);
    EmfWriter w;
    w.blackBrushNoPen();
    for (const auto &r : setup)
        w.record(r.first(), r.mid(1));
    w.rectangle(0, 0, 20, 20);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    if (inside.x() >= 0)
        QVERIFY(filled(result, inside.x(), inside.y()));
    QVERIFY(!filled(result, outside.x(), outside.y()));
}

void TestEmfDecoder::clipIsSavedAndRestored_data() {
    QTest::addColumn<QList<QList<quint32>>>("afterClip");
    QTest::addColumn<bool>("clipped");
    QTest::newRow("RestoreDC(-1) brings back the unclipped state")
        << QList<QList<quint32>>{{RestoreDC, quint32(-1)}} << false;
    QTest::newRow("without a restore the clip stays") << QList<QList<quint32>>{} << true;
    QTest::newRow("restoring more saves than there are is ignored")
        << QList<QList<quint32>>{{RestoreDC, quint32(-3)}} << true;
    QTest::newRow("selecting no region resets the clip")
        << QList<QList<quint32>>{{ExtSelectClipRgn, 0, 5}} << false;
    QTest::newRow("a clip path replaces the clip")
        << QList<QList<quint32>>{{BeginPath},
                                 {Rectangle, 0, 0, 100, 100},
                                 {EndPath},
                                 {SelectClipPath, 5}}
        << false;
}

void TestEmfDecoder::clipIsSavedAndRestored() {
    QFETCH(QList<QList<quint32>>, afterClip);
    QFETCH(bool, clipped);
    EmfWriter w;
    w.blackBrushNoPen();
    w.record(SaveDC, {}).record(IntersectClipRect, {0, 0, 20, 20});
    for (const auto &r : afterClip)
        w.record(r.first(), r.mid(1));
    w.rectangle(0, 0, 100, 100);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY(filled(result, 10, 10));
    QCOMPARE(!filled(result, 50, 50), clipped);
}

void TestEmfDecoder::lyingRecords_data() {
    QTest::addColumn<int>("goodRecords");
    QTest::addColumn<QByteArray>("lie");
    QTest::addColumn<bool>("kept");
    Bytes pastEnd;
    pastEnd.u32(Rectangle).u32(4000).u32(0).u32(0);
    Bytes unaligned;
    unaligned.u32(Rectangle).u32(26).u32(0).u32(0).u32(0).u32(0).u32(0);
    Bytes tooShort;
    tooShort.u32(Rectangle).u32(4).u32(0).u32(0);
    Bytes pointsPastRecord;
    pointsPastRecord.u32(86).u32(32).u32(0).u32(0).u32(0).u32(0).u32(1000).u32(0);
    QTest::newRow("record running past the end after most of the file keeps the picture")
        << 40 << pastEnd.data() << true;
    QTest::newRow("record running past the end at the start is refused")
        << 0 << pastEnd.data() << false;
    QTest::newRow("size that is not a multiple of four at the start is refused")
        << 0 << unaligned.data() << false;
    QTest::newRow("size under eight bytes at the start is refused")
        << 0 << tooShort.data() << false;
    QTest::newRow("point count past its record after most of the file keeps the picture")
        << 40 << pointsPastRecord.data() << true;
    QTest::newRow("point count past its record at the start is refused")
        << 0 << pointsPastRecord.data() << false;
}

void TestEmfDecoder::lyingRecords() {
    QFETCH(int, goodRecords);
    QFETCH(QByteArray, lie);
    QFETCH(bool, kept);
    EmfWriter w;
    w.blackBrushNoPen();
    for (int i = 0; i < goodRecords; ++i)
        w.rectangle(i, i, i + 10, i + 10);
    // What follows the lie is as long as ten rectangles: a lie before them is early, one after
    // forty rectangles is late.
    // What follows the lie is as long as ten rectangles, and the header counts them: a lie
    // before forty rectangles is early, one after them is late.
    w.raw(lie).raw(QByteArray(240, '\0')).claimRecords(quint32(goodRecords + 15));
    const auto result =
        load(w.file(QRect(0, 0, 100, 100), QRect(QPoint(0, 0), QPoint(2540, 2540)), false));
    QCOMPARE(result.ok(), kept);
    if (!kept)
        QVERIFY(!result.error.isEmpty());
}

void TestEmfDecoder::hostileObjectIndicesAreIgnored() {
    EmfWriter w;
    w.record(CreateBrushIndirect, {0xffffffff, 0, 0, 0});
    w.record(CreateBrushIndirect, {70000, 0, 0, 0});
    w.record(SelectObject, {0x7fffffff}).record(SelectObject, {0x8000ffff});
    w.record(SelectObject, {NullBrush});
    w.record(40, {0xffffffff});
    w.rectangle(10, 10, 90, 90);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY2(filled(result, 10, 50), "the default black pen still draws the outline");
    QVERIFY2(!filled(result, 50, 50), "the null brush leaves the inside empty");
}

void TestEmfDecoder::pathFiguresStartAtEachMove_data() {
    QTest::addColumn<QString>("segments"); // lines, beziers, records
    QTest::addColumn<bool>("closed");
    for (const char *kind : {"lines", "beziers", "records"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, closed").arg(kind))) << kind << true;
        QTest::newRow(qPrintable(QStringLiteral("%1, left open").arg(kind))) << kind << false;
    }
}

// A ring (a square with a square hole) and a separate square, drawn as one path of three
// figures, each begun by a move: the fill rule works across the figures, and nothing joins them.
void TestEmfDecoder::pathFiguresStartAtEachMove() {
    QFETCH(QString, segments);
    QFETCH(bool, closed);
    const QList<QPolygon> figures{QPolygon({{10, 10}, {50, 10}, {50, 50}, {10, 50}}),
                                  QPolygon({{20, 20}, {40, 20}, {40, 40}, {20, 40}}),
                                  QPolygon({{90, 80}, {60, 80}, {60, 20}, {90, 20}})};
    EmfWriter w;
    w.blackBrushNoPen().record(BeginPath, {});
    for (const QPolygon &figure : figures) {
        w.record(MoveToEx, {quint32(figure[0].x()), quint32(figure[0].y())});
        QList<QPoint> to = figure.mid(1);
        to.append(figure[0]);
        if (segments == "records") {
            for (const QPoint &p : to)
                w.record(LineTo, {quint32(p.x()), quint32(p.y())});
        } else {
            QList<QPoint> points;
            for (const QPoint &p : to) {
                if (segments == "beziers") // straight, with the controls on the ends
                    points << points.value(points.size() - 1, figure[0]) << p;
                points << p;
            }
            Bytes b;
            b.u32(0).u32(0).u32(100).u32(100).u32(quint32(points.size()));
            for (const QPoint &p : points)
                b.i16(qint16(p.x())).i16(qint16(p.y()));
            w.record(segments == "beziers" ? PolyBezierTo16 : PolylineTo16, {}, b.data());
        }
        if (closed)
            w.record(CloseFigure, {});
    }
    w.record(EndPath, {}).record(FillPath, {0, 0, 100, 100});
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QRegion expected =
        QRegion(QRect(10, 10, 40, 40)) - QRect(20, 20, 20, 20) + QRect(60, 20, 30, 60);
    int wrong = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            wrong += filled(result, x, y) != expected.contains(QPoint(x, y));
    QCOMPARE(wrong, 0);
}

void TestEmfDecoder::alphaBlendWithSourceAlpha_data() {
    QTest::addColumn<int>("headerSize");  // 40, or 124 with colour masks
    QTest::addColumn<int>("compression"); // 0 BI_RGB, 3 BI_BITFIELDS
    QTest::addColumn<int>("constant");
    QTest::addColumn<bool>("sourceAlpha");
    QTest::newRow("per-pixel alpha") << 40 << 0 << 255 << true;
    QTest::newRow("per-pixel alpha with colour masks") << 40 << 3 << 255 << true;
    QTest::newRow("per-pixel alpha in a version 5 header") << 124 << 3 << 255 << true;
    QTest::newRow("per-pixel alpha with half the constant on top") << 40 << 0 << 128 << true;
    QTest::newRow("constant alpha alone ignores the fourth byte") << 40 << 0 << 128 << false;
}

// A 2 x 1 source: an opaque red pixel and a transparent one, blended over a blue ground.
void TestEmfDecoder::alphaBlendWithSourceAlpha() {
    QFETCH(int, headerSize);
    QFETCH(int, compression);
    QFETCH(int, constant);
    QFETCH(bool, sourceAlpha);
    Bytes info;
    info.u32(quint32(headerSize)).i32(2).i32(1).u16(1).u16(32).u32(quint32(compression));
    info.u32(8).i32(0).i32(0).u32(0).u32(0);
    if (compression == 3)
        info.u32(0x00ff0000).u32(0x0000ff00).u32(0x000000ff);
    if (compression == 3 && headerSize > 40)
        info.u32(0xff000000);
    info.raw(QByteArray(
        headerSize + (compression == 3 && headerSize == 40 ? 12 : 0) - int(info.size()), '\0'));
    Bytes bits;
    bits.u32(0xffff0000).u32(0x00000000);
    const quint32 offBmi = 108, offBits = offBmi + quint32(info.size());
    const quint32 blend = quint32(constant) << 16 | (sourceAlpha ? 1u << 24 : 0);
    EmfWriter w;
    w.record(CreateBrushIndirect, {1, 0, 0xff0000, 0}).record(SelectObject, {1});
    w.record(SelectObject, {NullPen}).rectangle(0, 0, 100, 100);
    w.record(AlphaBlend,
             {0,
              0,
              100,
              100,
              0,
              0,
              100,
              100,
              blend,
              0,
              0,
              0x3f800000,
              0,
              0,
              0x3f800000,
              0,
              0,
              0,
              0,
              offBmi,
              quint32(info.size()),
              offBits,
              quint32(bits.size()),
              2,
              1},
             info.data() + bits.data());
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage image = result.picture->image.convertToFormat(QImage::Format_ARGB32);
    const auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
               std::abs(qBlue(a) - qBlue(b)) <= 2;
    };
    const int a = constant;
    const QRgb redOverBlue = qRgb(a, 0, 255 - a);
    const QRgb right = sourceAlpha ? qRgb(0, 0, 255) : qRgb(0, 0, 255 - a);
    QVERIFY2(near(image.pixel(25, 50), redOverBlue),
             qPrintable(QString::number(image.pixel(25, 50), 16)));
    QVERIFY2(near(image.pixel(75, 50), right),
             qPrintable(QString::number(image.pixel(75, 50), 16)));
}

void TestEmfDecoder::monochromePatternBrushes_data() {
    QTest::addColumn<quint32>("record");
    QTest::addColumn<bool>("table"); // a colour table of red and blue
    QTest::addColumn<QRgb>("set");   // what a set bit shows
    QTest::addColumn<QRgb>("clear");
    const QRgb text = 0xff008000, background = 0xffffff00;
    QTest::newRow("DIB pattern without a colour table takes text and background colours")
        << quint32(CreateDibPatternBrushPt) << false << background << text;
    QTest::newRow("DIB pattern with a colour table keeps it")
        << quint32(CreateDibPatternBrushPt) << true << 0xff0000ffu << 0xffff0000u;
    QTest::newRow("monochrome brush without a table")
        << quint32(CreateMonoBrush) << false << background << text;
    QTest::newRow("monochrome brush takes the DC colours even with a table")
        << quint32(CreateMonoBrush) << true << background << text;
}

// An 8 x 8 pattern of vertical stripes, four pixels wide: clear, then set.
void TestEmfDecoder::monochromePatternBrushes() {
    QFETCH(quint32, record);
    QFETCH(bool, table);
    QFETCH(QRgb, set);
    QFETCH(QRgb, clear);
    Bytes info;
    info.u32(40).i32(8).i32(8).u16(1).u16(1).u32(0).u32(32).i32(0).i32(0);
    info.u32(table ? 2 : 0).u32(0);
    if (table)
        info.u32(0x00ff0000).u32(0x000000ff);
    Bytes bits;
    for (int row = 0; row < 8; ++row)
        bits.u32(0x0f);
    const quint32 offBmi = 32;
    EmfWriter w;
    w.record(SetTextColor, {0x008000}).record(SetBkColor, {0x00ffff});
    w.record(record,
             {1, record == CreateMonoBrush ? 2u : 0u, offBmi, quint32(info.size()),
              offBmi + quint32(info.size()), quint32(bits.size())},
             info.data() + bits.data());
    w.record(SelectObject, {1}).record(SelectObject, {NullPen}).rectangle(0, 0, 64, 64);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage image = result.picture->image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.pixel(1, 1), clear);
    QCOMPARE(image.pixel(5, 1), set);
    QCOMPARE(image.pixel(9, 9), clear);
    QCOMPARE(image.pixel(13, 9), set);
}

void TestEmfDecoder::recognisesOnlyEnhancedMetafiles_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("recognised");
    const QByteArray emf = EmfWriter().file().left(44);
    QTest::newRow("enhanced metafile header") << emf << true;
    QByteArray wrongSignature = emf;
    wrongSignature[41] = 'X';
    QTest::newRow("header record without the signature") << wrongSignature << false;
    QTest::newRow("placeable metafile") << QByteArray::fromHex("d7cdc69a0000") << false;
    QTest::newRow("cut short") << emf.left(40) << false;
}

void TestEmfDecoder::recognisesOnlyEnhancedMetafiles() {
    QFETCH(QByteArray, head);
    QFETCH(bool, recognised);
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(picture::emf::canRead(buffer), recognised);
    QCOMPARE(buffer.pos(), 0);
}

void TestEmfDecoder::partIsTheCornerOfTheWhole_data() {
    QTest::addColumn<QByteArray>("file");
    constexpr quint32 CreatePen = 38, Ellipse = 42, PsDot = 2;
    const auto pen = [](quint32 style, quint32 width) {
        return QList<quint32>{1, style, width, 0, 0x800000};
    };
    const auto drawn = [](const QList<QList<quint32>> &records) {
        EmfWriter w;
        w.record(SelectObject, {NullBrush});
        for (const QList<quint32> &r : records)
            w.record(r.first(), r.mid(1));
        // 1000 x 600 pixels.
        return w.file(QRect(0, 0, 1000, 600), QRect(QPoint(0, 0), QPoint(26458, 15875)));
    };
    const QList<quint32> usePen{SelectObject, 1};
    QTest::newRow("a one-pixel frame round the picture") << drawn({{Rectangle, 0, 0, 1000, 600}});
    QList<QList<quint32>> fan;
    for (int x = 0; x <= 1000; x += 40)
        fan << QList<quint32>{MoveToEx, 150, 100} << QList<quint32>{LineTo, quint32(x), 599};
    for (int y = 0; y < 600; y += 30)
        fan << QList<quint32>{MoveToEx, 150, 100} << QList<quint32>{LineTo, 999, quint32(y)};
    QTest::newRow("lines fanning out across the part's edges") << drawn(fan);
    QTest::newRow("a dotted one-pixel circle")
        << drawn({QList<quint32>{CreatePen} + pen(PsDot, 0), usePen, {Ellipse, 20, 10, 980, 590}});
    QTest::newRow("a dotted circle a pixel and a half wide, mostly beyond the picture")
        << drawn({QList<quint32>{SetWorldTransform, floatBits(1.5), 0, 0, floatBits(1.5), 0, 0},
                  QList<quint32>{CreatePen} + pen(PsDot, 1),
                  usePen,
                  {Ellipse, quint32(-4000), quint32(-3000), 4000, 3000}});
}

// A thin line that the window's part of the picture cuts off is set pixel for pixel as in the
// whole picture.
void TestEmfDecoder::partIsTheCornerOfTheWhole() {
    QFETCH(QByteArray, file);
    const auto whole = load(file);
    const auto part = load(file, QSize(300, 200));
    QVERIFY2(whole.ok() && part.ok(), qPrintable(whole.error + part.error));
    const QImage corner = whole.picture->image.copy(0, 0, 300, 200);
    QCOMPARE(part.picture->image, corner);
}

QTEST_MAIN(TestEmfDecoder)
#include "tst_emf_decoder.moc"
