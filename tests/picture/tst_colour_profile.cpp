#include "picture/colour_profile.h"

#include <QColorSpace>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

// Every colour whose channels are each 0 to 15 (the darks, where sRGB's curve is steepest) or
// every third level from there, with alpha running through its values.
QImage colourSample() {
    QList<int> levels;
    for (int v = 0; v < 16; ++v)
        levels << v;
    for (int v = 16; v < 255; v += 3)
        levels << v;
    levels << 255;
    const int count = int(levels.size());
    QImage image(count * count, count, QImage::Format_ARGB32);
    for (int y = 0; y < count; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < count * count; ++x)
            line[x] = qRgba(levels[x / count], levels[x % count], levels[y], 255 - x % 256);
    }
    return image;
}

// A curve given by a table, as some profiles store theirs.
QList<quint16> curveTable(double gamma) {
    QList<quint16> table;
    for (int i = 0; i < 1024; ++i)
        table << quint16(std::lround(std::pow(i / 1023.0, gamma) * 65535));
    return table;
}

} // namespace

class TestColourProfile : public QObject {
    Q_OBJECT

private slots:
    void matrixProfilesMatchQtsTransform_data();
    void matrixProfilesMatchQtsTransform();
};

void TestColourProfile::matrixProfilesMatchQtsTransform_data() {
    QTest::addColumn<QColorSpace>("space");
    QTest::newRow("Adobe RGB") << QColorSpace(QColorSpace::AdobeRgb);
    QTest::newRow("Display P3") << QColorSpace(QColorSpace::DisplayP3);
    QTest::newRow("ProPhoto RGB: coefficients beyond 2") << QColorSpace(QColorSpace::ProPhotoRgb);
    QTest::newRow("primaries at the edge of what is seen: coefficients near 3")
        << QColorSpace(QPointF(0.3127, 0.329), QPointF(0.999, 0.001), QPointF(0.0001, 0.9998),
                       QPointF(0.0001, 0.00001), QColorSpace::TransferFunction::Gamma, 2.2f);
    QTest::newRow("a curve table of its own for each channel")
        << QColorSpace(QColorSpace::AdobeRgb)
               .withTransferFunctions(curveTable(2.2), curveTable(1.8), curveTable(2.6));
}

// Our tables convert by rows, and every colour of the sample comes out within one level of
// Qt's transform; alpha stays as it was.
void TestColourProfile::matrixProfilesMatchQtsTransform() {
    QFETCH(QColorSpace, space);
    const picture::SrgbConversion conversion(space.iccProfile());
    QVERIFY(conversion.convertsRows());

    QImage ours = colourSample();
    QImage qts = ours;
    qts.applyColorTransform(space.transformationToColorSpace(QColorSpace::SRgb));
    conversion.convert(ours);
    int largest = 0;
    for (int y = 0; y < ours.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(ours.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(qts.constScanLine(y));
        for (int x = 0; x < ours.width(); ++x) {
            QCOMPARE(qAlpha(a[x]), qAlpha(b[x]));
            largest = std::max({largest, std::abs(qRed(a[x]) - qRed(b[x])),
                                std::abs(qGreen(a[x]) - qGreen(b[x])),
                                std::abs(qBlue(a[x]) - qBlue(b[x]))});
        }
    }
    QVERIFY2(largest <= 1, qPrintable(QStringLiteral("differs by %1").arg(largest)));
}

QTEST_GUILESS_MAIN(TestColourProfile)
#include "tst_colour_profile.moc"
