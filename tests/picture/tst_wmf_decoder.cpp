#include "picture/metafile/wmf_decoder.h"
#include "tests/support/writers.h"

#include <QBuffer>
#include <QTest>

using namespace testkit::wmf;
using testkit::Bytes;
using testkit::dibRow;
using WmfWriter = testkit::wmf::Writer;

namespace {

constexpr QRgb Red = 0xffff0000, Green = 0xff00ff00, Blue = 0xff0000ff, Black = 0xff000000;

picture::LoadResult load(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::wmf::read(buffer, visible);
}

// A 100 x 100 picture whose logical units are its pixels.
QByteArray square(const WmfWriter &w) {
    return w.placeable(0, 0, 100, 100, 96);
}

QRgb pixel(const picture::LoadResult &result, int x, int y) {
    return result.picture->image.convertToFormat(QImage::Format_ARGB32).pixel(x, y);
}

QRect inkBounds(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QRect box;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TestWmfDecoder : public QObject {
    Q_OBJECT

private slots:
    void placeableSize_data();
    void placeableSize();
    void hugeBoxIsScaledIntoThePixelLimit();
    void plainFileSizedByWindowExtent();
    void yUpWindowPutsOriginAtTheBottom();
    void newObjectsTakeTheLowestFreeSlot();
    void textAlignmentFields_data();
    void textAlignmentFields();
    void polygonFillModes_data();
    void polygonFillModes();
    void negativeBlitExtentsMirror_data();
    void negativeBlitExtentsMirror();
    void clipIsSavedAndRestored_data();
    void clipIsSavedAndRestored();
    void lyingRecords_data();
    void lyingRecords();
    void monochromePatternBrushes_data();
    void monochromePatternBrushes();
    void recognisesOnlyMetafiles_data();
    void recognisesOnlyMetafiles();
};

void TestWmfDecoder::placeableSize_data() {
    QTest::addColumn<QList<int>>("box"); // left, top, right, bottom, inch
    QTest::addColumn<QSize>("expected");
    QTest::newRow("box of 750 by 945 at 1440 per inch rounds through 0.01 mm")
        << QList<int>{0, 0, 750, 945, 1440} << QSize(50, 63);
    QTest::newRow("96 units per inch are pixels")
        << QList<int>{0, 0, 200, 100, 96} << QSize(200, 100);
    QTest::newRow("box away from the origin")
        << QList<int>{-100, 50, 100, 150, 96} << QSize(200, 100);
    QTest::newRow("an inch of zero is taken as 1440")
        << QList<int>{0, 0, 1440, 720, 0} << QSize(96, 48);
    QTest::newRow("right before left and bottom above top")
        << QList<int>{100, 50, 0, 0, 96} << QSize(100, 50);
    QTest::newRow("empty box is still one pixel") << QList<int>{10, 10, 10, 10, 96} << QSize(1, 1);
}

void TestWmfDecoder::placeableSize() {
    QFETCH(QList<int>, box);
    QFETCH(QSize, expected);
    const QByteArray file = WmfWriter().placeable(qint16(box[0]), qint16(box[1]), qint16(box[2]),
                                                  qint16(box[3]), quint16(box[4]));
    const auto result = load(file, QSize(64, 64));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->size, expected);
    QCOMPARE(result.picture->format, picture::Format::Wmf);
    QCOMPARE(result.picture->image.size(), expected.boundedTo(QSize(64, 64)));
    QCOMPARE(result.picture->image.format(), QImage::Format_ARGB32_Premultiplied);
}

void TestWmfDecoder::hugeBoxIsScaledIntoThePixelLimit() {
    const QByteArray file = WmfWriter().placeable(-32768, -32768, 32767, 32767, 1);
    const auto result = load(file, QSize(16, 16));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QSize size = result.picture->size;
    QCOMPARE(size.width(), size.height());
    QVERIFY2(qint64(size.width()) * size.height() <= picture::MaxPixels, "within the limit");
    QVERIFY2(size.width() > 16000, "scaled no further than needed");
    QCOMPARE(result.picture->image.size(), QSize(16, 16));
}

void TestWmfDecoder::plainFileSizedByWindowExtent() {
    WmfWriter w;
    w.record(SetWindowOrg, {0, 0}).record(SetWindowExt, {-150, 300});
    w.brush(Black).record(SelectObject, {0}).rectangle(0, 0, 300, 150);
    const auto result = load(w.plain());
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->size, QSize(300, 150));
}

void TestWmfDecoder::yUpWindowPutsOriginAtTheBottom() {
    WmfWriter w;
    w.record(SetWindowOrg, {100, 0}).record(SetWindowExt, {-100, 100});
    w.brush(Black).record(SelectObject, {0}).nullPen().record(SelectObject, {1});
    w.rectangle(0, 0, 50, 50);
    const auto result = load(square(w));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(pixel(result, 25, 75), Black);
    QCOMPARE(qAlpha(pixel(result, 25, 25)), 0);
}

void TestWmfDecoder::newObjectsTakeTheLowestFreeSlot() {
    WmfWriter w;
    w.brush(Red).brush(Green).record(DeleteObject, {0}).brush(Blue);
    w.nullPen().record(SelectObject, {2});
    w.record(SelectObject, {0}).rectangle(0, 0, 100, 100);
    const auto result = load(square(w));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(pixel(result, 50, 50), Blue);
}

void TestWmfDecoder::textAlignmentFields_data() {
    QTest::addColumn<int>("align");
    QTest::addColumn<QString>("horizontal");
    QTest::addColumn<QString>("vertical");
    QTest::newRow("left and top by default") << 0 << "left"
                                             << "top";
    QTest::newRow("right: the text ends at the point") << 2 << "right"
                                                       << "top";
    QTest::newRow("centre is a field of its own, not right plus a bit") << 6 << "centre"
                                                                        << "top";
    QTest::newRow("bottom: the descent ends at the point") << 8 << "left"
                                                           << "bottom";
    QTest::newRow("baseline is a field of its own, not bottom plus a bit") << 24 << "left"
                                                                           << "baseline";
    QTest::newRow("centre and baseline together") << 30 << "centre"
                                                  << "baseline";
}

void TestWmfDecoder::textAlignmentFields() {
    QFETCH(int, align);
    QFETCH(QString, horizontal);
    QFETCH(QString, vertical);
    // TextOut keeps its point after the string.
    WmfWriter t;
    t.font(-40).record(SelectObject, {0}).record(SetBkMode, {1});
    t.record(SetTextAlign, {qint16(align)});
    Bytes text;
    text.i16(2).raw("HH").i16(100).i16(200);
    t.rawRecord(3 + text.size() / 2, TextOut, text.data());
    const auto result = load(t.placeable(0, 0, 400, 200, 96));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QRect ink = inkBounds(result.picture->image);
    QVERIFY2(!ink.isEmpty(), "the text must be drawn");
    const QString where = QStringLiteral("ink %1,%2 to %3,%4")
                              .arg(ink.left())
                              .arg(ink.top())
                              .arg(ink.right())
                              .arg(ink.bottom());
    if (horizontal == "left")
        QVERIFY2(ink.left() >= 198 && ink.left() <= 210, qPrintable(where));
    else if (horizontal == "right")
        QVERIFY2(ink.right() <= 202 && ink.right() >= 190, qPrintable(where));
    else
        QVERIFY2(std::abs(ink.center().x() - 200) <= 4, qPrintable(where));
    // An "H" sits on the baseline and has no descender.
    if (vertical == "top")
        QVERIFY2(ink.top() >= 100 && ink.top() <= 115, qPrintable(where));
    else if (vertical == "baseline")
        QVERIFY2(ink.bottom() >= 97 && ink.bottom() <= 101, qPrintable(where));
    else
        QVERIFY2(ink.bottom() <= 95 && ink.bottom() >= 80, qPrintable(where));
}

void TestWmfDecoder::polygonFillModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("centreFilled");
    QTest::newRow("alternate leaves the star's middle empty") << 1 << false;
    QTest::newRow("winding fills the star's middle") << 2 << true;
    QTest::newRow("an unknown mode keeps alternate") << 7 << false;
}

void TestWmfDecoder::polygonFillModes() {
    QFETCH(int, mode);
    QFETCH(bool, centreFilled);
    WmfWriter w;
    w.brush(Black).record(SelectObject, {0}).nullPen().record(SelectObject, {1});
    w.record(SetPolyFillMode, {qint16(mode)});
    QList<qint16> star{5};
    for (int k = 0; k < 5; ++k) {
        const double a = (90 + 144 * k) * M_PI / 180;
        star << qint16(std::lround(50 + 45 * std::cos(a)))
             << qint16(std::lround(50 - 45 * std::sin(a)));
    }
    w.record(Polygon, star);
    const auto result = load(square(w));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(qAlpha(pixel(result, 50, 52)) == 255, centreFilled);
    QCOMPARE(pixel(result, 50, 10), Black);
}

void TestWmfDecoder::negativeBlitExtentsMirror_data() {
    QTest::addColumn<QList<int>>("rects"); // dest x, y, w, h; source x, y, w, h
    QTest::addColumn<QRgb>("left");
    QTest::newRow("positive extents draw as stored")
        << QList<int>{0, 0, 100, 100, 0, 0, 2, 1} << Red;
    QTest::newRow("negative destination width mirrors")
        << QList<int>{100, 0, -100, 100, 0, 0, 2, 1} << Blue;
    QTest::newRow("negative source width mirrors")
        << QList<int>{0, 0, 100, 100, 2, 0, -2, 1} << Blue;
    QTest::newRow("both negative cancel out") << QList<int>{100, 0, -100, 100, 2, 0, -2, 1} << Red;
    QTest::newRow("negative destination height stays in place")
        << QList<int>{0, 100, 100, -100, 0, 0, 2, 1} << Red;
}

void TestWmfDecoder::negativeBlitExtentsMirror() {
    QFETCH(QList<int>, rects);
    QFETCH(QRgb, left);
    WmfWriter w;
    // StretchDIB: rop, usage, source h, w, y, x, destination h, w, y, x, then the DIB.
    w.record(StretchDib,
             {0x0020, 0x00CC, 0, qint16(rects[7]), qint16(rects[6]), qint16(rects[5]),
              qint16(rects[4]), qint16(rects[3]), qint16(rects[2]), qint16(rects[1]),
              qint16(rects[0])},
             dibRow({Red, Blue}));
    const auto result = load(square(w));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(pixel(result, 10, 50), left);
    QCOMPARE(pixel(result, 90, 50), left == Red ? Blue : Red);
}

void TestWmfDecoder::clipIsSavedAndRestored_data() {
    QTest::addColumn<QList<qint16>>("restores"); // RestoreDC arguments after the clip
    QTest::addColumn<bool>("clipped");
    QTest::newRow("RestoreDC(-1) brings back the unclipped state") << QList<qint16>{-1} << false;
    QTest::newRow("RestoreDC(1) names the first save") << QList<qint16>{1} << false;
    QTest::newRow("without a restore the clip stays") << QList<qint16>{} << true;
    QTest::newRow("restoring more saves than there are is ignored") << QList<qint16>{-2} << true;
}

void TestWmfDecoder::clipIsSavedAndRestored() {
    QFETCH(QList<qint16>, restores);
    QFETCH(bool, clipped);
    WmfWriter w;
    w.brush(Black).record(SelectObject, {0}).nullPen().record(SelectObject, {1});
    w.record(SaveDC, {}).record(IntersectClipRect, {20, 20, 0, 0});
    for (qint16 r : restores)
        w.record(RestoreDC, {r});
    w.rectangle(0, 0, 100, 100);
    const auto result = load(square(w));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(pixel(result, 10, 10), Black);
    QCOMPARE(qAlpha(pixel(result, 50, 50)) == 0, clipped);
}

void TestWmfDecoder::lyingRecords_data() {
    QTest::addColumn<int>("goodRecords");
    QTest::addColumn<QByteArray>("lie");
    QTest::addColumn<bool>("kept");
    Bytes pastEnd;
    pastEnd.u32(1000).u16(Rectangle).i16(1).i16(1);
    Bytes tooShort;
    tooShort.u32(2).u16(Rectangle);
    Bytes countPastRecord;
    countPastRecord.u32(5).u16(Polygon).i16(50).i16(1).i16(1);
    QTest::newRow("record running past the end after most of the file keeps the picture")
        << 40 << pastEnd.data() << true;
    QTest::newRow("record running past the end at the start is refused")
        << 0 << pastEnd.data() << false;
    QTest::newRow("record shorter than three words at the start is refused")
        << 0 << tooShort.data() << false;
    QTest::newRow("point count past its record after most of the file keeps the picture")
        << 40 << countPastRecord.data() << true;
    QTest::newRow("point count past its record at the start is refused")
        << 0 << countPastRecord.data() << false;
    QTest::newRow("file ending without an end record keeps the picture")
        << 5 << QByteArray() << true;
}

void TestWmfDecoder::lyingRecords() {
    QFETCH(int, goodRecords);
    QFETCH(QByteArray, lie);
    QFETCH(bool, kept);
    WmfWriter w;
    w.brush(Black).record(SelectObject, {0});
    for (int i = 0; i < goodRecords; ++i)
        w.rectangle(i, i, i + 10, i + 10);
    QByteArray file = w.placeable(0, 0, 100, 100, 96, false) + lie;
    // What follows the lie is as long as ten rectangles: a lie before them is early, one after
    // forty rectangles is late.
    if (!lie.isEmpty())
        file += QByteArray(140, '\0');
    const auto result = load(file);
    QCOMPARE(result.ok(), kept);
    if (!kept)
        QVERIFY(!result.error.isEmpty());
}

void TestWmfDecoder::monochromePatternBrushes_data() {
    QTest::addColumn<bool>("table"); // a colour table of red and blue
    QTest::addColumn<QRgb>("set");   // what a set bit shows
    QTest::addColumn<QRgb>("clear");
    QTest::newRow("without a colour table: text and background colours")
        << false << 0xffffff00u << 0xff008000u;
    QTest::newRow("with a colour table: its colours") << true << Blue << Red;
}

// An 8 x 8 pattern of vertical stripes, four pixels wide: clear, then set.
void TestWmfDecoder::monochromePatternBrushes() {
    QFETCH(bool, table);
    QFETCH(QRgb, set);
    QFETCH(QRgb, clear);
    Bytes dib;
    dib.u32(40).i32(8).i32(8).u16(1).u16(1).u32(0).u32(32).i32(0).i32(0).u32(0).u32(0);
    if (table)
        dib.u32(0x00ff0000).u32(0x000000ff);
    for (int row = 0; row < 8; ++row)
        dib.u32(0x0f);
    WmfWriter w;
    w.record(SetTextColor, {qint16(0x8000), 0}).record(SetBkColor, {-1, 0});
    w.record(DibCreatePatternBrush, {5, 0}, dib.data()).record(SelectObject, {0});
    w.nullPen().record(SelectObject, {1}).rectangle(0, 0, 100, 100);
    const auto result = load(square(w));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(pixel(result, 1, 1), clear);
    QCOMPARE(pixel(result, 5, 1), set);
    QCOMPARE(pixel(result, 9, 9), clear);
    QCOMPARE(pixel(result, 13, 9), set);
}

void TestWmfDecoder::recognisesOnlyMetafiles_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("recognised");
    QTest::newRow("placeable key") << QByteArray::fromHex("d7cdc69a0000") << true;
    QTest::newRow("plain header of a disk metafile")
        << QByteArray::fromHex("010009000003aaaa0000") << true;
    QTest::newRow("plain header with a wrong header size")
        << QByteArray::fromHex("010008000003aaaa0000") << false;
    QTest::newRow("enhanced metafile") << QByteArray::fromHex("0100000058000000") << false;
    QTest::newRow("bitmap file") << QByteArray("BM\x36\0\0\0\0\0", 8) << false;
    QTest::newRow("nothing") << QByteArray() << false;
}

void TestWmfDecoder::recognisesOnlyMetafiles() {
    QFETCH(QByteArray, head);
    QFETCH(bool, recognised);
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(picture::wmf::canRead(buffer), recognised);
    QCOMPARE(buffer.pos(), 0);
}

QTEST_MAIN(TestWmfDecoder)
#include "tst_wmf_decoder.moc"
