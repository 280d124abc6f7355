#include "controls/image_box.h"

#include <QApplication>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

// A picture whose left half is opaque red and right half fully transparent.
QImage halfTransparent(QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixelColor(x, y, Qt::red);
    return image;
}

// A parent whose background is a colour no picture here uses.
struct Backdrop {
    Backdrop() {
        parent.resize(200, 200);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, QColor(0, 128, 255));
        parent.setPalette(palette);
        parent.setAutoFillBackground(true);
    }
    QWidget parent;
};

} // namespace

// Shots below are rendered without the widget's window background, so unpainted pixels stay
// transparent and "paints nothing" can be seen.
class TestImageBox : public QObject {
    Q_OBJECT

private slots:
    void takesNaturalSizeWithoutStretch_data();
    void takesNaturalSizeWithoutStretch();
    void keepsItsSizeWithStretch();
    void stretchScalesToTheControl();
    void turningStretchOffRestoresNaturalSize();
    void emptyPictureKeepsSizeAndPaintsNothing();
    void partlyDecodedPicturePaintsThePartThereIs();
    void transparentPixelsShowTheParent();
    void borderFramesThePicture_data();
    void borderFramesThePicture();
    void clicksOnReleaseInside_data();
    void clicksOnReleaseInside();
    void doubleClickIsOneClickThenADoubleClick();
    void neverTakesFocus();
    void pictureProperty();
    void toolTipStyleSheetWaitsForTheFirstTooltip();
};

void TestImageBox::takesNaturalSizeWithoutStretch_data() {
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("the image's own size") << QSize(40, 30) << QSize() << QSize(40, 30);
    QTest::newRow("a larger natural size for a partly decoded picture")
        << QSize(40, 10) << QSize(40, 30) << QSize(40, 30);
    QTest::newRow("a one-pixel picture") << QSize(1, 1) << QSize() << QSize(1, 1);
}

void TestImageBox::takesNaturalSizeWithoutStretch() {
    QFETCH(QSize, imageSize);
    QFETCH(QSize, natural);
    QFETCH(QSize, expected);

    controls::ImageBox box;
    box.resize(123, 77);
    QImage image(imageSize, QImage::Format_RGB32);
    image.fill(Qt::green);
    box.setPicture(image, natural);
    QCOMPARE(box.size(), expected);
    QCOMPARE(box.naturalSize(), expected);

    // A smaller picture after a larger one shrinks the control again.
    QImage small(5, 6, QImage::Format_RGB32);
    small.fill(Qt::blue);
    box.setPicture(small);
    QCOMPARE(box.size(), QSize(5, 6));
}

void TestImageBox::keepsItsSizeWithStretch() {
    controls::ImageBox box;
    box.setStretch(true);
    box.resize(123, 77);
    box.setPicture(halfTransparent(QSize(40, 30)));
    QCOMPARE(box.size(), QSize(123, 77));
    QCOMPARE(box.naturalSize(), QSize(40, 30));
}

void TestImageBox::stretchScalesToTheControl() {
    controls::ImageBox box;
    box.setStretch(true);
    box.resize(100, 50);
    box.setPicture(halfTransparent(QSize(10, 10)));
    QImage shot(box.size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    box.render(&shot, {}, {}, QWidget::DrawChildren);
    QCOMPARE(shot.pixelColor(10, 25), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(40, 45), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(60, 5).alpha(), 0);
    QCOMPARE(shot.pixelColor(99, 49).alpha(), 0);
}

void TestImageBox::turningStretchOffRestoresNaturalSize() {
    controls::ImageBox box;
    box.setStretch(true);
    box.resize(100, 50);
    box.setPicture(halfTransparent(QSize(10, 12)));
    box.setStretch(false);
    QCOMPARE(box.size(), QSize(10, 12));
}

void TestImageBox::emptyPictureKeepsSizeAndPaintsNothing() {
    controls::ImageBox box;
    box.setPicture(halfTransparent(QSize(20, 20)));
    box.setPicture(QImage());
    QCOMPARE(box.size(), QSize(20, 20));
    QVERIFY(box.image().isNull());
    QImage shot(box.size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    box.render(&shot, {}, {}, QWidget::DrawChildren);
    QCOMPARE(shot.pixelColor(2, 2).alpha(), 0);
}

void TestImageBox::partlyDecodedPicturePaintsThePartThereIs() {
    controls::ImageBox box;
    QImage top(20, 5, QImage::Format_RGB32);
    top.fill(Qt::green);
    box.setPicture(top, QSize(20, 20));
    QCOMPARE(box.size(), QSize(20, 20));
    QImage shot(box.size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    box.render(&shot, {}, {}, QWidget::DrawChildren);
    QCOMPARE(shot.pixelColor(10, 2), QColor(Qt::green));
    QCOMPARE(shot.pixelColor(10, 15).alpha(), 0);

    // Stretched to twice the size, the decoded quarter covers the top quarter.
    box.setStretch(true);
    box.resize(40, 40);
    QImage stretched(box.size(), QImage::Format_ARGB32);
    stretched.fill(Qt::transparent);
    box.render(&stretched, {}, {}, QWidget::DrawChildren);
    QCOMPARE(stretched.pixelColor(30, 5), QColor(Qt::green));
    QCOMPARE(stretched.pixelColor(30, 20).alpha(), 0);
}

void TestImageBox::transparentPixelsShowTheParent() {
    Backdrop backdrop;
    auto *box = new controls::ImageBox(&backdrop.parent);
    box->move(10, 10);
    box->setPicture(halfTransparent(QSize(40, 40)));
    backdrop.parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&backdrop.parent));
    const QImage shot = backdrop.parent.grab().toImage();
    QCOMPARE(shot.pixelColor(15, 20), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(40, 20), QColor(0, 128, 255));
}

void TestImageBox::borderFramesThePicture_data() {
    QTest::addColumn<bool>("stretch");
    QTest::newRow("natural size") << false;
    QTest::newRow("stretched") << true;
}

void TestImageBox::borderFramesThePicture() {
    QFETCH(bool, stretch);
    Backdrop backdrop;
    auto *box = new controls::ImageBox(&backdrop.parent);
    box->setStretch(stretch);
    box->resize(44, 44);
    box->setBorder(true);
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    box->setPicture(red);
    // Two pixels of border on every side, the picture whole inside them.
    QCOMPARE(box->size(), QSize(44, 44));
    QCOMPARE(box->naturalSize(), QSize(40, 40));
    backdrop.parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&backdrop.parent));
    const QImage shot = box->grab().toImage();
    for (const QPoint &inside : {QPoint(2, 2), QPoint(41, 41), QPoint(2, 41), QPoint(41, 2)})
        QCOMPARE(shot.pixelColor(inside), QColor(Qt::red));
    for (const QPoint &edge : {QPoint(0, 0), QPoint(1, 20), QPoint(43, 43), QPoint(20, 42)})
        QVERIFY2(shot.pixelColor(edge) != QColor(Qt::red),
                 qPrintable(QStringLiteral("(%1, %2)").arg(edge.x()).arg(edge.y())));
}

void TestImageBox::clicksOnReleaseInside_data() {
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");

    QTest::newRow("press and release inside") << QPoint(5, 5) << QPoint(6, 6) << 1;
    QTest::newRow("pressed inside, released outside") << QPoint(5, 5) << QPoint(50, 50) << 0;
    QTest::newRow("released at the far edge inside") << QPoint(5, 5) << QPoint(19, 19) << 1;
}

void TestImageBox::clicksOnReleaseInside() {
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(int, clicks);

    Backdrop backdrop;
    auto *box = new controls::ImageBox(&backdrop.parent);
    box->setPicture(halfTransparent(QSize(20, 20)));
    backdrop.parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&backdrop.parent));
    QSignalSpy spy(box, &controls::ImageBox::click);
    QTest::mousePress(box, Qt::LeftButton, {}, press);
    QCOMPARE(spy.count(), 0);
    QTest::mouseRelease(box, Qt::LeftButton, {}, release);
    QCOMPARE(spy.count(), clicks);
    // A release with no press before it is no click.
    QTest::mouseRelease(box, Qt::LeftButton, {}, press);
    QCOMPARE(spy.count(), clicks);
}

void TestImageBox::doubleClickIsOneClickThenADoubleClick() {
    Backdrop backdrop;
    auto *box = new controls::ImageBox(&backdrop.parent);
    box->setPicture(halfTransparent(QSize(20, 20)));
    backdrop.parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&backdrop.parent));
    QSignalSpy clicks(box, &controls::ImageBox::click);
    QSignalSpy doubleClicks(box, &controls::ImageBox::doubleClick);
    // What the system sends for a double click: press, release, double click, release.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseDClick(box, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(doubleClicks.count(), 1);
    // A third press starts a click again.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks.count(), 2);
}

void TestImageBox::neverTakesFocus() {
    Backdrop backdrop;
    auto *box = new controls::ImageBox(&backdrop.parent);
    box->setPicture(halfTransparent(QSize(20, 20)));
    backdrop.parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&backdrop.parent));
    QCOMPARE(box->focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!box->hasFocus());
}

void TestImageBox::pictureProperty() {
    controls::ImageBox box;
    QPixmap pixmap(16, 8);
    pixmap.fill(Qt::red);
    QVERIFY(box.setProperty("picture", pixmap));
    QCOMPARE(box.size(), QSize(16, 8));
    QCOMPARE(box.property("picture").value<QPixmap>().size(), QSize(16, 8));
}

void TestImageBox::toolTipStyleSheetWaitsForTheFirstTooltip() {
    const QString sheet = QStringLiteral("QToolTip { font: 9.75pt \"Tahoma\"; }");
    controls::ImageBox box;
    box.setToolTip(QStringLiteral("Изход"));
    QVERIFY(box.setProperty("toolTipStyleSheet", sheet));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(box.styleSheet().isEmpty());

    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), box.mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&box, &help);
    QCOMPARE(box.styleSheet(), sheet);
    // Later sheets take effect at once.
    box.setToolTipStyleSheet(QString());
    QVERIFY(box.styleSheet().isEmpty());
}

QTEST_MAIN(TestImageBox)
#include "tst_image_box.moc"
