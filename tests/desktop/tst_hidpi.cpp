// On a scaled screen (run with QT_SCALE_FACTOR) the window's layout grows, but the picture
// shows one of its pixels to each pixel of the screen, and the information dialog still tells
// its own size.
#include "../controls/temp_folder.h"
#include "controls/image_box.h"
#include "controls/picture_box.h"
#include "dialogs/info_dialog.h"
#include "viewer/interface_font.h"
#include "viewer/main_window.h"

#include "ui_info_dialog.h"
#include "ui_main_window.h"

#include <QImage>
#include <QTest>

#include <cmath>

namespace fs = std::filesystem;

namespace {

// Every pixel tells where it is, so a scaled or shifted picture shows.
QImage patternImage(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x % 251, y % 241, (x / 251 * 7 + y / 241 * 13) % 256));
    return image;
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void onePicturePixelPerScreenPixel_data();
    void onePicturePixelPerScreenPixel();

private:
    TempFolder m_dir;
};

void TestHiDpi::initTestCase() {
    viewer::loadInterfaceFont();
    QVERIFY(m_dir.isValid());
    QVERIFY(qEnvironmentVariableIsSet("QT_SCALE_FACTOR"));
    for (const QSize size : {QSize(301, 203), QSize(2400, 1700)})
        QVERIFY(patternImage(size).save(QStringLiteral("%1/%2x%3.bmp")
                                            .arg(QString::fromStdString(m_dir.root().string()))
                                            .arg(size.width())
                                            .arg(size.height()),
                                        "bmp"));
}

void TestHiDpi::onePicturePixelPerScreenPixel_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("smaller than the viewport") << QSize(301, 203);
    QTest::newRow("larger: the visible part counts the screen's pixels") << QSize(2400, 1700);
}

void TestHiDpi::onePicturePixelPerScreenPixel() {
    QFETCH(QSize, size);
    MainWindow frmMain;
    const Ui::frmMain &ui = frmMain.form();
    frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frmMain));
    const qreal ratio = frmMain.devicePixelRatioF();
    QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    frmMain.openStartPath(
        m_dir.root() /
        QStringLiteral("%1x%2.bmp").arg(size.width()).arg(size.height()).toStdString());

    // The control is the picture's size in the window's pixels, rounded up.
    QCOMPARE(ui.Pic->size(),
             QSize(int(std::ceil(size.width() / ratio)), int(std::ceil(size.height() / ratio))));
    // What the viewport shows, in the screen's pixels, is the picture's corner exactly.
    const QImage shown = ui.boxPic->grab(ui.boxPic->contentsRect()).toImage();
    const QSize seen = shown.size().boundedTo(size);
    QVERIFY(seen.width() > 300 && seen.height() > 200);
    const QImage expected = patternImage(size).copy(QRect(QPoint(0, 0), seen));
    QImage corner = shown.copy(QRect(QPoint(0, 0), seen)).convertToFormat(QImage::Format_RGB32);
    corner.setDevicePixelRatio(1);
    QCOMPARE(corner, expected);

    frmMain.btnInfo_Click();
    QVERIFY(frmMain.frmInfo());
    QCOMPARE(frmMain.frmInfo()->form().txtSize->text(),
             QStringLiteral("%1 * %2 пиксела").arg(size.width()).arg(size.height()));
    frmMain.frmInfo()->Image1_Click();
}

QTEST_MAIN(TestHiDpi)
#include "tst_hidpi.moc"
