#include "dialogs/info_dialog.h"
#include "dialogs/number_text.h"

#include <QLocale>
#include <QTest>

#include <limits>

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void ignoresTheLocale();
    void sizeText_data();
    void sizeText();
    void formatName_data();
    void formatName();
};

void TestNumberText::numberText_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero has a leading blank") << 0.0f << " 0";
    QTest::newRow("negative zero is zero") << -0.0f << " 0";
    QTest::newRow("one") << 1.0f << " 1";
    QTest::newRow("a width") << 640.0f << " 640";
    QTest::newRow("negative whole number") << -12.0f << "-12";
    QTest::newRow("seven digits stay digits") << 9999999.0f << " 9999999";
    QTest::newRow("negative seven digits") << -1234567.0f << "-1234567";
    QTest::newRow("eight digits take an exponent") << 12345678.0f << " 1.234568E+07";
    QTest::newRow("ten million") << 10000000.0f << " 1E+07";
    QTest::newRow("a fraction") << 2.5f << " 2.5";
    QTest::newRow("a fraction below one drops the zero") << 0.5f << " .5";
    QTest::newRow("a negative fraction") << -0.25f << "-.25";
    QTest::newRow("no separators, seven significant digits") << 1234.567f << " 1234.567";
}

void TestNumberText::numberText() {
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(dialogs::numberText(value), text);
}

void TestNumberText::ignoresTheLocale() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    const QString text = dialogs::numberText(1234.5f);
    QLocale::setDefault(saved);
    QCOMPARE(text, QStringLiteral(" 1234.5"));
}

void TestNumberText::sizeText_data() {
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");
    QTest::addColumn<QString>("text");

    QTest::newRow("a photograph") << 640.0f << 480.0f << "640 * 480 пиксела";
    QTest::newRow("one pixel") << 1.0f << 1.0f << "1 * 1 пиксела";
    QTest::newRow("the empty image control") << 1.0f << 1.0f << "1 * 1 пиксела";
    QTest::newRow("a zero-size control") << 0.0f << 0.0f << "0 * 0 пиксела";
    QTest::newRow("seven digits") << 1000000.0f << 16.0f << "1000000 * 16 пиксела";
}

void TestNumberText::sizeText() {
    QFETCH(float, width);
    QFETCH(float, height);
    QFETCH(QString, text);
    QCOMPARE(InfoDialog::sizeText(width, height), text);
}

void TestNumberText::formatName_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("format"); // empty: none

    const QString jpeg = QStringLiteral("JPEG изображение");
    const QString bitmap = QStringLiteral("Bitmap изображение");
    QTest::newRow("photo.jpg") << "photo.jpg" << jpeg;
    QTest::newRow("photo.JPG") << "photo.JPG" << jpeg;
    QTest::newRow("photo.jpe") << "photo.jpe" << jpeg;
    QTest::newRow("PHOTO.JPE") << "PHOTO.JPE" << jpeg;
    QTest::newRow("mixed case Jpg gets none") << "photo.Jpg" << QString();
    QTest::newRow("mixed case jPG gets none") << "photo.jPG" << QString();
    QTest::newRow(".jpeg ends in peg") << "photo.jpeg" << QString();
    QTest::newRow("bmp") << "a.bmp" << bitmap;
    QTest::newRow("DIB") << "a.DIB" << bitmap;
    QTest::newRow("scan.pcx gets the bitmap name") << "scan.pcx" << bitmap;
    QTest::newRow("PCX") << "SCAN.PCX" << bitmap;
    QTest::newRow("wmf") << "drawing.wmf" << QStringLiteral("Windows Meta файл");
    QTest::newRow("EMF") << "drawing.EMF" << QStringLiteral("Enchanced Meta файл");
    QTest::newRow("ico") << "app.ico" << QStringLiteral("Икона");
    QTest::newRow("CUR") << "arrow.CUR" << QStringLiteral("Курсор");
    QTest::newRow("gif") << "anim.gif" << QStringLiteral("GIF изображение");
    QTest::newRow("GIF") << "ANIM.GIF" << QStringLiteral("GIF изображение");
    QTest::newRow("no dot is needed") << "xjpg" << jpeg;
    QTest::newRow("a name of three characters") << "jpg" << jpeg;
    QTest::newRow("shorter than three") << "pg" << QString();
    QTest::newRow("empty") << "" << QString();
    QTest::newRow("an extension the list does not show") << "a.png" << QString();
}

void TestNumberText::formatName() {
    QFETCH(QString, fileName);
    QFETCH(QString, format);
    QCOMPARE(InfoDialog::formatName(fileName).value_or(QString()), format);
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_number_text.moc"
