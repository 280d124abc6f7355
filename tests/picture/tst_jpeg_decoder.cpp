#include "jpeg_markers.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_encoder.h"
#include "picture/orientation.h"
#include "picture/picture_errors.h"
#include "tests/support/image_compare.h"
#include "tests/support/sequential_device.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstring>

Q_DECLARE_METATYPE(picture::jpeg::EncodeOptions)

using picture::LoadResult;
using namespace jpeg_test;
using picture::jpeg::ColourModel;
using picture::jpeg::EncodeOptions;

namespace {

LoadResult decode(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::jpeg::read(buffer, visible);
}

// Largest difference in any channel, or -1 when the sizes differ.
int largestDifference(const QImage &a, const QImage &b) {
    const testkit::Difference d = testkit::compare(a, b);
    return d.sameSize ? d.largest : -1;
}

// Busy in every channel, so chroma upsampling and block edges show in any comparison.
QImage testPicture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7 + y * 3) & 0xFF, (x * y / 5) & 0xFF, ((x ^ y) * 5) & 0xFF);
    }
    return image;
}

EncodeOptions layout(ColourModel model, int divisorX, int divisorY, bool progressive = false) {
    EncodeOptions options;
    options.model = model;
    options.chromaDivisorX = divisorX;
    options.chromaDivisorY = divisorY;
    options.progressive = progressive;
    return options;
}

QByteArray withFrameSize(QByteArray file, int width, int height) {
    const qsizetype at = frameSizeOffset(file);
    if (at < 0)
        return {};
    file[at] = char(height >> 8);
    file[at + 1] = char(height);
    file[at + 2] = char(width >> 8);
    file[at + 3] = char(width);
    return file;
}

// Offset of the first byte of entropy-coded data (just past the first scan header), or -1.
qsizetype scanDataOffset(const QByteArray &file) {
    for (qsizetype i = 2; i + 3 < file.size(); ++i) {
        if (quint8(file[i]) == 0xFF && quint8(file[i + 1]) == 0xDA)
            return i + 2 + ((quint8(file[i + 2]) << 8) | quint8(file[i + 3]));
    }
    return -1;
}

// ---- Exif and ICC segments, written as cameras write them ----

// One marker segment: the marker, its length, its contents.
QByteArray segment(int marker, const QByteArray &contents) {
    const int length = int(contents.size()) + 2;
    const char head[] = {char(0xFF), char(marker), char(length >> 8), char(length)};
    return QByteArray(head, 4) + contents;
}

struct IfdEntry {
    quint16 tag;
    quint16 type; // 3 SHORT (its value in the field's first two bytes), 4 LONG, …
    quint32 count;
    quint32 value;
};

// An APP1 segment's contents: "Exif", a TIFF header in either byte order, and a first
// directory at `directory` (normally just past the header) holding `entries`, though it may
// claim to hold `claimed`.
QByteArray exifContents(const QList<IfdEntry> &entries, bool bigEndian, quint32 directory = 8,
                        int claimed = -1) {
    QByteArray tiff;
    const auto put16 = [&](quint32 v) {
        tiff += char(bigEndian ? v >> 8 : v);
        tiff += char(bigEndian ? v : v >> 8);
    };
    const auto put32 = [&](quint32 v) {
        put16(bigEndian ? v >> 16 : v & 0xFFFF);
        put16(bigEndian ? v & 0xFFFF : v >> 16);
    };
    tiff += bigEndian ? "MM" : "II";
    put16(42);
    put32(directory);
    put16(quint32(claimed < 0 ? entries.size() : claimed));
    for (const IfdEntry &entry : entries) {
        put16(entry.tag);
        put16(entry.type);
        put32(entry.count);
        if (entry.type == 3) {
            put16(entry.value);
            put16(0);
        } else {
            put32(entry.value);
        }
    }
    put32(0); // no next directory
    return QByteArray("Exif\0\0", 6) + tiff;
}

IfdEntry orientationEntry(quint32 value) {
    return {0x0112, 3, 1, value};
}

// An APP1 segment with a resolution tag, as cameras write one first, then the orientation.
QByteArray exifSegment(int orientation, bool bigEndian = false) {
    return segment(0xE1, exifContents({{0x011A, 5, 1, 26}, orientationEntry(quint32(orientation))},
                                      bigEndian));
}

// APP2 segments carrying `profile` in `pieces` parts, in the `order` given (numbers from 1;
// by default in order), each claiming `count` parts (by default `pieces`).
QByteArray profileSegments(const QByteArray &profile, int pieces, QList<int> order = {},
                           int count = 0) {
    if (order.isEmpty()) {
        for (int n = 1; n <= pieces; ++n)
            order.append(n);
    }
    const qsizetype step = (profile.size() + pieces - 1) / pieces;
    QByteArray segments;
    for (const int number : order) {
        const QByteArray part = profile.mid(step * std::max(number - 1, 0), step);
        segments += segment(0xE2, QByteArray("ICC_PROFILE\0", 12) + char(number) +
                                      char(count ? count : pieces) + part);
    }
    return segments;
}

QByteArray withSegments(const QByteArray &file, const QByteArray &segments) {
    return file.left(2) + segments + file.mid(2);
}

QByteArray adobeRgbProfile() {
    return QColorSpace(QColorSpace::AdobeRgb).iccProfile();
}

// A flat patch in each corner of a busy picture, so each shows where it went: red top left,
// green top right, blue bottom left, white bottom right, as stored.
constexpr int Patch = 16;
const QRgb CornerColours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                               qRgb(255, 255, 255)};

QImage cornersPicture(QSize size) {
    QImage image = testPicture(size);
    QPainter painter(&image);
    for (int corner = 0; corner < 4; ++corner) {
        const QPoint at(corner % 2 ? size.width() - Patch : 0,
                        corner / 2 ? size.height() - Patch : 0);
        painter.fillRect(QRect(at, QSize(Patch, Patch)), QColor(CornerColours[corner]));
    }
    return image;
}

// The stored corner (0 top left, 1 top right, 2 bottom left, 3 bottom right) that shows in each
// corner, for each orientation, as the Exif standard describes the eight.
const std::array<std::array<int, 4>, 9> ShownCorners = {{
    {},
    {0, 1, 2, 3}, // as stored
    {1, 0, 3, 2}, // mirrored left to right
    {3, 2, 1, 0}, // turned half round
    {2, 3, 0, 1}, // mirrored top to bottom
    {0, 2, 1, 3}, // mirrored along the main diagonal
    {2, 0, 3, 1}, // turned a quarter clockwise
    {3, 1, 2, 0}, // mirrored along the other diagonal
    {1, 3, 0, 2}, // turned a quarter anticlockwise
}};

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

class TestJpegDecoder : public QObject {
    Q_OBJECT

private slots:
    void recognisesTheSignature_data();
    void recognisesTheSignature();

    void visibleRegionEqualsCropOfWholePicture_data();
    void visibleRegionEqualsCropOfWholePicture();
    void layoutsMatchQt_data();
    void layoutsMatchQt();
    void sequentialDeviceGivesTheSamePicture();
    void skipsLongMarkersAcrossChunks();
    void skipsStrayBytesBetweenSegments_data();
    void skipsStrayBytesBetweenSegments();

    void exifOrientationIsReadSafely_data();
    void exifOrientationIsReadSafely();
    void orientationTurnsThePicture_data();
    void orientationTurnsThePicture();
    void colourProfilesConvertToSrgb_data();
    void colourProfilesConvertToSrgb();

    void cutShortFilesAreRefused_data();
    void cutShortFilesAreRefused();
    void truncationNeverCrashes();
    void byteMutationsNeverCrash();
    void hugeHeaderIsRefused_data();
    void hugeHeaderIsRefused();
};

void TestJpegDecoder::recognisesTheSignature_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<bool>("expected");
    QTest::newRow("start of image then a marker") << QByteArray("\xFF\xD8\xFF\xE0", 4) << true;
    // Stray bytes may follow the start marker; libjpeg skips them.
    QTest::newRow("start of image only") << QByteArray("\xFF\xD8", 2) << true;
    QTest::newRow("start of image then data") << QByteArray("\xFF\xD8\x00\xE0", 4) << true;
    QTest::newRow("one byte of the start") << QByteArray("\xFF", 1) << false;
    QTest::newRow("start marker reversed") << QByteArray("\xD8\xFF\xFF\xE0", 4) << false;
    QTest::newRow("bitmap") << QByteArray("BM\x36\x00", 4) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestJpegDecoder::recognisesTheSignature() {
    QFETCH(QByteArray, start);
    QFETCH(bool, expected);
    QBuffer buffer(&start);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(picture::jpeg::canRead(buffer), expected);
    QCOMPARE(buffer.pos(), qint64(0));
}

void TestJpegDecoder::visibleRegionEqualsCropOfWholePicture_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<EncodeOptions>("options");
    QTest::addColumn<QSize>("visible");

    const auto halved = layout(ColourModel::YCbCr, 2, 2);
    const auto full = layout(ColourModel::YCbCr, 1, 1);
    const auto wide = layout(ColourModel::YCbCr, 2, 1);
    const auto grey = layout(ColourModel::Greyscale, 1, 1);
    const auto progressive = layout(ColourModel::YCbCr, 2, 2, true);
    const auto cmyk = layout(ColourModel::Cmyk, 1, 1);
    const auto ycck = layout(ColourModel::Ycck, 2, 2);
    auto restarts = halved;
    restarts.restartRows = 1;

    QTest::newRow("4:2:0, region inside") << QSize(320, 240) << halved << QSize(100, 70);
    QTest::newRow("4:2:0, region ending on a block edge")
        << QSize(320, 240) << halved << QSize(32, 48);
    QTest::newRow("4:2:0, region one past a block edge")
        << QSize(320, 240) << halved << QSize(33, 49);
    QTest::newRow("4:2:0, odd size, region inside") << QSize(333, 251) << halved << QSize(151, 99);
    QTest::newRow("4:2:0, region smaller than one MCU") << QSize(333, 251) << halved << QSize(5, 3);
    QTest::newRow("4:2:0, region of one pixel") << QSize(64, 64) << halved << QSize(1, 1);
    QTest::newRow("4:2:0, region larger than the picture")
        << QSize(333, 251) << halved << QSize(1920, 1080);
    QTest::newRow("4:2:0, region wider, not taller")
        << QSize(333, 251) << halved << QSize(1000, 100);
    QTest::newRow("4:2:0, region taller, not wider")
        << QSize(333, 251) << halved << QSize(100, 1000);
    QTest::newRow("4:2:0, region one short of the width")
        << QSize(333, 251) << halved << QSize(332, 251);
    QTest::newRow("4:2:0, no region asks for the whole") << QSize(333, 251) << halved << QSize();
    QTest::newRow("4:2:0, empty region asks for the whole")
        << QSize(333, 251) << halved << QSize(0, 0);
    QTest::newRow("4:2:0, restart markers") << QSize(333, 251) << restarts << QSize(151, 99);
    QTest::newRow("4:2:2, region inside") << QSize(333, 251) << wide << QSize(151, 99);
    QTest::newRow("4:4:4, region inside") << QSize(333, 251) << full << QSize(151, 99);
    QTest::newRow("4:4:4, region smaller than one MCU") << QSize(333, 251) << full << QSize(7, 7);
    QTest::newRow("greyscale, region inside") << QSize(333, 251) << grey << QSize(151, 99);
    QTest::newRow("greyscale, region smaller than one block")
        << QSize(333, 251) << grey << QSize(3, 5);
    QTest::newRow("progressive 4:2:0, region inside")
        << QSize(333, 251) << progressive << QSize(151, 99);
    QTest::newRow("progressive 4:2:0, region smaller than one MCU")
        << QSize(333, 251) << progressive << QSize(9, 2);
    QTest::newRow("CMYK, region inside") << QSize(333, 251) << cmyk << QSize(151, 99);
    QTest::newRow("YCCK 4:2:0, region inside") << QSize(333, 251) << ycck << QSize(151, 99);
    QTest::newRow("picture of one pixel, larger region")
        << QSize(1, 1) << halved << QSize(457, 568);
    QTest::newRow("picture one pixel wide") << QSize(1, 300) << halved << QSize(457, 100);
}

void TestJpegDecoder::visibleRegionEqualsCropOfWholePicture() {
    QFETCH(QSize, size);
    QFETCH(EncodeOptions, options);
    QFETCH(QSize, visible);
    const QByteArray file = picture::jpeg::encode(testPicture(size), options);
    QVERIFY(!file.isEmpty());

    const LoadResult whole = decode(file);
    QVERIFY2(whole.ok(), qPrintable(whole.error));
    QCOMPARE(whole.picture->size, size);
    QCOMPARE(whole.picture->image.size(), size);

    const LoadResult part = decode(file, visible);
    QVERIFY2(part.ok(), qPrintable(part.error));
    QCOMPARE(part.picture->size, size);
    const QSize expected = visible.isEmpty() ? size : size.boundedTo(visible);
    QCOMPARE(part.picture->image.size(), expected);
    QCOMPARE(part.picture->image.format(), whole.picture->image.format());
    // Exact: the crop is widened past the last wanted column, so upsampling sees the same
    // neighbours as in the whole picture.
    const QImage crop = whole.picture->image.copy(QRect(QPoint(0, 0), expected));
    QCOMPARE(largestDifference(part.picture->image, crop), 0);
}

void TestJpegDecoder::layoutsMatchQt_data() {
    QTest::addColumn<EncodeOptions>("options");
    QTest::newRow("4:2:0") << layout(ColourModel::YCbCr, 2, 2);
    QTest::newRow("4:4:4") << layout(ColourModel::YCbCr, 1, 1);
    QTest::newRow("4:2:2") << layout(ColourModel::YCbCr, 2, 1);
    QTest::newRow("4:4:0") << layout(ColourModel::YCbCr, 1, 2);
    QTest::newRow("greyscale") << layout(ColourModel::Greyscale, 1, 1);
    QTest::newRow("progressive") << layout(ColourModel::YCbCr, 2, 2, true);
    QTest::newRow("progressive greyscale") << layout(ColourModel::Greyscale, 1, 1, true);
    QTest::newRow("CMYK stored inverted") << layout(ColourModel::Cmyk, 1, 1);
    QTest::newRow("YCCK stored inverted") << layout(ColourModel::Ycck, 2, 2);
    QTest::newRow("progressive CMYK") << layout(ColourModel::Cmyk, 1, 1, true);
}

void TestJpegDecoder::layoutsMatchQt() {
    QFETCH(EncodeOptions, options);
    const QByteArray file = picture::jpeg::encode(testPicture(QSize(203, 157)), options);
    const LoadResult ours = decode(file);
    QVERIFY2(ours.ok(), qPrintable(ours.error));
    const QImage qt = QImage::fromData(file, "jpeg");
    QVERIFY(!qt.isNull());
    const int difference = largestDifference(ours.picture->image, qt);
    QVERIFY2(difference >= 0 && difference <= toleranceAgainstQt(componentCount(file)),
             qPrintable(QStringLiteral("differs from Qt's decode by %1").arg(difference)));
}

void TestJpegDecoder::sequentialDeviceGivesTheSamePicture() {
    const QByteArray file =
        picture::jpeg::encode(testPicture(QSize(640, 480)), layout(ColourModel::YCbCr, 2, 2, true));
    SequentialDevice device(file);
    const LoadResult streamed = picture::jpeg::read(device, QSize(300, 200));
    QVERIFY2(streamed.ok(), qPrintable(streamed.error));
    const LoadResult seekable = decode(file, QSize(300, 200));
    QVERIFY(seekable.ok());
    QCOMPARE(streamed.picture->image, seekable.picture->image);
}

void TestJpegDecoder::skipsLongMarkersAcrossChunks() {
    const QByteArray plain =
        picture::jpeg::encode(testPicture(QSize(100, 80)), layout(ColourModel::YCbCr, 2, 2));
    // Application markers nobody reads, longer together than several reading chunks.
    QByteArray padded = plain.left(2);
    for (int n = 0; n < 5; ++n) {
        padded += QByteArray("\xFF\xE9\xFF\xFF", 4);
        padded += QByteArray(0xFFFF - 2, char(n));
    }
    padded += plain.mid(2);

    const QImage expected = decode(plain).picture->image;
    const LoadResult seekable = decode(padded);
    QVERIFY2(seekable.ok(), qPrintable(seekable.error));
    QCOMPARE(seekable.picture->image, expected);
    SequentialDevice device(padded);
    const LoadResult streamed = picture::jpeg::read(device);
    QVERIFY2(streamed.ok(), qPrintable(streamed.error));
    QCOMPARE(streamed.picture->image, expected);
}

void TestJpegDecoder::skipsStrayBytesBetweenSegments_data() {
    QTest::addColumn<QByteArray>("stray");
    QTest::addColumn<int>("segment"); // inserted before this segment (0: just after the start)
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += char(b);
    QTest::newRow("every byte value after the start marker") << everyByte << 0;
    QTest::newRow("zeros after the start marker") << QByteArray(300, '\0') << 0;
    QTest::newRow("every byte value before the second segment") << everyByte << 1;
    QTest::newRow("text before the scan header") << QByteArray("trailing words") << -1;
}

void TestJpegDecoder::skipsStrayBytesBetweenSegments() {
    QFETCH(QByteArray, stray);
    QFETCH(int, segment);
    const QByteArray plain =
        picture::jpeg::encode(testPicture(QSize(100, 80)), layout(ColourModel::YCbCr, 2, 2));
    qsizetype at = 2;
    if (segment == -1)
        at = plain.indexOf("\xFF\xDA");
    for (int n = 0; n < segment; ++n)
        at += 2 + ((quint8(plain[at + 2]) << 8) | quint8(plain[at + 3]));
    QVERIFY(at >= 2);
    const QByteArray file = plain.left(at) + stray + plain.mid(at);
    const LoadResult result = decode(file);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->image, decode(plain).picture->image);
}

void TestJpegDecoder::exifOrientationIsReadSafely_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("expected");
    const IfdEntry resolution{0x011A, 5, 1, 26};
    for (const bool big : {false, true}) {
        const QString order = big ? QStringLiteral("big-endian") : QStringLiteral("little-endian");
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(order + QStringLiteral(", ") + QLatin1String(name)));
        };
        for (int value = 1; value <= 8; ++value) {
            row(qPrintable(QStringLiteral("orientation %1").arg(value)))
                << exifContents({resolution, orientationEntry(quint32(value))}, big) << value;
        }
        row("orientation as a LONG") << exifContents({{0x0112, 4, 1, 6}}, big) << 6;
        row("0 is out of range") << exifContents({orientationEntry(0)}, big) << 1;
        row("9 is out of range") << exifContents({orientationEntry(9)}, big) << 1;
        row("65535 is out of range") << exifContents({orientationEntry(65535)}, big) << 1;
        row("of type ASCII") << exifContents({{0x0112, 2, 1, 6}}, big) << 1;
        row("two values") << exifContents({{0x0112, 3, 2, 6}}, big) << 1;
        row("no orientation tag") << exifContents({resolution}, big) << 1;
        row("no entries") << exifContents({}, big) << 1;
        row("directory past the end") << exifContents({orientationEntry(6)}, big, 0xFFFFFFF0) << 1;
        row("directory at the header") << exifContents({orientationEntry(6)}, big, 0) << 1;
        row("more entries claimed than there are")
            << exifContents({resolution}, big, 8, 60000) << 1;
        row("cut inside the entry") << exifContents({orientationEntry(6)}, big).chopped(8) << 1;
    }
    QTest::newRow("no Exif signature") << exifContents({orientationEntry(6)}, false).mid(1) << 1;
    QTest::newRow("an XMP segment") << QByteArray("http://ns.adobe.com/xap/1.0/\0<x/>", 34) << 1;
    QTest::newRow("no byte order") << QByteArray("Exif\0\0XX*\0\x08\0\0\0", 14) << 1;
    QTest::newRow("signature only") << QByteArray("Exif\0\0", 6) << 1;
    QTest::newRow("empty") << QByteArray() << 1;
}

void TestJpegDecoder::exifOrientationIsReadSafely() {
    QFETCH(QByteArray, contents);
    QFETCH(int, expected);
    QCOMPARE(picture::orientation::fromExif(contents), expected);
}

void TestJpegDecoder::orientationTurnsThePicture_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("orientation");
    const QSize stored(123, 85);
    const QImage picture = cornersPicture(stored);
    const auto halved = layout(ColourModel::YCbCr, 2, 2);
    const QByteArray plain = picture::jpeg::encode(picture, halved);
    for (int value = 1; value <= 8; ++value) {
        QTest::newRow(qPrintable(QStringLiteral("orientation %1, 4:2:0").arg(value)))
            << withSegments(plain, exifSegment(value, value % 2)) << value;
    }
    auto restarts = halved;
    restarts.restartRows = 1;
    const std::pair<const char *, EncodeOptions> layouts[] = {
        {"4:2:2", layout(ColourModel::YCbCr, 2, 1)},
        {"progressive", layout(ColourModel::YCbCr, 2, 2, true)},
        {"greyscale", layout(ColourModel::Greyscale, 1, 1)},
        {"CMYK", layout(ColourModel::Cmyk, 1, 1)},
        {"restart markers", restarts},
    };
    for (const auto &[name, options] : layouts) {
        const QByteArray file = picture::jpeg::encode(picture, options);
        for (const int value : {3, 6, 7}) {
            QTest::newRow(qPrintable(QStringLiteral("orientation %1, %2").arg(value).arg(name)))
                << withSegments(file, exifSegment(value)) << value;
        }
    }
    const QByteArray xmp = segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0<x/>", 34));
    QTest::newRow("an XMP segment before the Exif one")
        << withSegments(plain, xmp + exifSegment(8)) << 8;
    QTest::newRow("of two Exif segments, the first counts")
        << withSegments(plain, exifSegment(6) + exifSegment(3)) << 6;
    QTest::newRow("malformed Exif")
        << withSegments(plain, segment(0xE1, exifContents({orientationEntry(6)}, false, 9000)))
        << 1;
    QTest::newRow("orientation 6 and an Adobe RGB profile")
        << withSegments(plain, exifSegment(6) + profileSegments(adobeRgbProfile(), 1)) << 6;
}

// The whole picture shows each stored corner where the orientation puts it; every part of it
// decoded alone is exactly the same corner of the whole, wherever the part's edges fall.
void TestJpegDecoder::orientationTurnsThePicture() {
    QFETCH(QByteArray, file);
    QFETCH(int, orientation);
    const QSize stored(123, 85);
    const QSize shown = orientation >= 5 ? stored.transposed() : stored;

    const LoadResult whole = decode(file);
    QVERIFY2(whole.ok(), qPrintable(whole.error));
    QCOMPARE(whole.picture->size, shown);
    const QImage image = whole.picture->image.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), shown);
    const bool grey = whole.picture->image.format() == QImage::Format_Grayscale8;
    const bool cmyk = componentCount(file) == 4;
    for (int corner = 0; corner < 4; ++corner) {
        const QPoint at(corner % 2 ? shown.width() - Patch / 2 : Patch / 2,
                        corner / 2 ? shown.height() - Patch / 2 : Patch / 2);
        QRgb expected = CornerColours[ShownCorners[size_t(orientation)][size_t(corner)]];
        if (grey)
            expected = qRgb(qGray(expected), qGray(expected), qGray(expected));
        if (cmyk) {
            // Darkened by the black the encoder adds: the mean of the three.
            const int black = (qRed(expected) + qGreen(expected) + qBlue(expected)) / 3;
            expected = qRgb(qRed(expected) * black / 255, qGreen(expected) * black / 255,
                            qBlue(expected) * black / 255);
        }
        QVERIFY2(
            near(image.pixel(at), expected, 40),
            qPrintable(QStringLiteral("corner %1 is #%2").arg(corner).arg(image.pixel(at), 0, 16)));
    }

    const QSize parts[] = {{1, 1},
                           {17, 9},
                           {shown.width() / 2 + 3, shown.height() / 3 + 1},
                           {shown.width() - 1, 5},
                           {7, shown.height() + 40},
                           {2000, 2000}};
    for (const QSize visible : parts) {
        const LoadResult part = decode(file, visible);
        QVERIFY2(part.ok(), qPrintable(part.error));
        QCOMPARE(part.picture->size, shown);
        const QSize expected = shown.boundedTo(visible);
        QCOMPARE(part.picture->image.size(), expected);
        QCOMPARE(part.picture->image.format(), whole.picture->image.format());
        QCOMPARE(part.picture->image, whole.picture->image.copy(QRect(QPoint(0, 0), expected)));
    }
}

void TestJpegDecoder::colourProfilesConvertToSrgb_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("plain"); // the same without the profile
    QTest::addColumn<bool>("converted");

    // A flat colour stored in Adobe RGB, whose sRGB value follows from the two spaces'
    // primaries and curves: (128, 200, 64) there is (77, 201, 44) here.
    const QImage flat = [] {
        QImage image(40, 24, QImage::Format_RGB32);
        image.fill(qRgb(128, 200, 64));
        return image;
    }();
    EncodeOptions exact = layout(ColourModel::YCbCr, 1, 1);
    exact.quality = 100;
    const QByteArray plain = picture::jpeg::encode(flat, exact);
    const QByteArray adobe = adobeRgbProfile();
    const auto row = [&](const char *name, const QByteArray &segments, bool converted,
                         const QByteArray &base) {
        QTest::newRow(name) << withSegments(base, segments) << base << converted;
    };
    row("no profile", {}, false, plain);
    row("Adobe RGB", profileSegments(adobe, 1), true, plain);
    row("Adobe RGB in three segments out of order", profileSegments(adobe, 3, {2, 3, 1}), true,
        plain);
    row("Adobe RGB after an unrelated APP2 segment",
        segment(0xE2, "FPXR\0\0\0\0") + profileSegments(adobe, 1), true, plain);
    row("sRGB", profileSegments(QColorSpace(QColorSpace::SRgb).iccProfile(), 1), false, plain);
    row("one segment of three missing", profileSegments(adobe, 3, {1, 3}), false, plain);
    row("a segment numbered 0", profileSegments(adobe, 3, {0, 1, 2}), false, plain);
    row("segments that disagree on their count", profileSegments(adobe, 2, {1}, 3), false, plain);
    row("profile cut short", profileSegments(adobe.left(adobe.size() / 2), 1), false, plain);
    QByteArray cmyk = adobe;
    cmyk.replace(16, 4, "CMYK");
    row("CMYK profile", profileSegments(cmyk, 1), false, plain);
    QByteArray lut = adobe;
    for (const char *tag : {"rXYZ", "gXYZ", "bXYZ"})
        lut.replace(lut.indexOf(tag), 4, "A2B0");
    row("profile without a matrix", profileSegments(lut, 1), false, plain);
    QByteArray countless = adobe;
    countless.replace(128, 4, "\xFF\xFF\xFF\xFF");
    row("hostile: four billion tags", profileSegments(countless, 1), false, plain);
    QByteArray farOff = adobe;
    for (int tag = 0; tag < 4; ++tag)
        farOff.replace(132 + 12 * tag + 4, 4, "\x7F\xFF\xFF\xF0");
    row("hostile: tags far past the end", profileSegments(farOff, 1), false, plain);
    row("hostile: 300 empty pieces", profileSegments(QByteArray(300, 'x'), 300, {}, 255), false,
        plain);

    const QByteArray grey = picture::jpeg::encode(flat, layout(ColourModel::Greyscale, 1, 1));
    row("Adobe RGB on a greyscale picture", profileSegments(adobe, 1), false, grey);
    const QByteArray cmykFile = picture::jpeg::encode(flat, layout(ColourModel::Cmyk, 1, 1));
    row("Adobe RGB on a CMYK picture", profileSegments(adobe, 1), false, cmykFile);
}

// A usable profile converts the pixels to sRGB; any other leaves them as stored, and never
// makes the file fail.
void TestJpegDecoder::colourProfilesConvertToSrgb() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, plain);
    QFETCH(bool, converted);
    const LoadResult result = decode(file);
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage expected = decode(plain).picture->image;
    if (!converted) {
        QCOMPARE(result.picture->image, expected);
        return;
    }
    const QImage image = result.picture->image;
    for (const QPoint at : {QPoint(0, 0), QPoint(20, 12), QPoint(39, 23)})
        QVERIFY2(near(image.pixel(at), qRgb(77, 201, 44), 3),
                 qPrintable(QString::number(image.pixel(at), 16)));
    // A part is the corner of the whole, converted alike.
    const LoadResult part = decode(file, QSize(9, 5));
    QVERIFY2(part.ok(), qPrintable(part.error));
    QCOMPARE(part.picture->image, image.copy(0, 0, 9, 5));
}

void TestJpegDecoder::cutShortFilesAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("visible");
    QTest::addColumn<QString>("error");
    const QSize size(320, 240);
    const QByteArray baseline =
        picture::jpeg::encode(testPicture(size), layout(ColourModel::YCbCr, 2, 2));
    const QByteArray progressive =
        picture::jpeg::encode(testPicture(size), layout(ColourModel::YCbCr, 2, 2, true));
    const qsizetype data = scanDataOffset(baseline);
    QVERIFY(data > 0);
    QList<qsizetype> scans;
    for (qsizetype at = 0; (at = progressive.indexOf("\xFF\xDA", at)) >= 0; at += 2)
        scans.append(at);
    QVERIFY(scans.size() > 2);
    const QString truncated = picture::errors::truncated();

    QTest::newRow("baseline, whole") << baseline << QSize() << QString();
    QTest::newRow("baseline, bytes after the end marker")
        << baseline + "trailing words" << QSize() << QString();
    QTest::newRow("baseline cut inside a header segment")
        << baseline.left(30) << QSize() << truncated;
    QTest::newRow("baseline cut before its scan data")
        << baseline.left(data) << QSize() << truncated;
    QTest::newRow("baseline cut a third into its scan")
        << baseline.left(data + (baseline.size() - data) / 3) << QSize() << truncated;
    QTest::newRow("baseline without its end marker") << baseline.chopped(2) << QSize() << truncated;
    QTest::newRow("baseline cut below the visible rows shows them")
        << baseline.left(data + (baseline.size() - data) * 2 / 3) << QSize(320, 16) << QString();
    QTest::newRow("baseline cut inside the visible rows")
        << baseline.left(data + (baseline.size() - data) / 3) << QSize(320, 200) << truncated;
    QTest::newRow("progressive, whole") << progressive << QSize() << QString();
    QTest::newRow("progressive cut before its last scan shows")
        << progressive.left(scans.last()) << QSize() << QString();
    QTest::newRow("progressive cut after its first scan shows")
        << progressive.left(scans[1]) << QSize() << QString();
    QTest::newRow("progressive cut inside its first scan")
        << progressive.left(scans[0] + 40) << QSize() << truncated;
    QTest::newRow("progressive cut inside its last scan")
        << progressive.left(scans.last() + 40) << QSize() << truncated;
    QTest::newRow("progressive cut inside its last scan, small region")
        << progressive.left(scans.last() + 40) << QSize(16, 16) << truncated;
}

void TestJpegDecoder::cutShortFilesAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, visible);
    QFETCH(QString, error);
    const LoadResult result = decode(bytes, visible);
    QCOMPARE(result.error, error);
    QCOMPARE(result.ok(), error.isEmpty());
    if (result.ok())
        QCOMPARE(result.picture->size, QSize(320, 240));
}

void TestJpegDecoder::truncationNeverCrashes() {
    for (const bool progressive : {false, true}) {
        const QByteArray file = picture::jpeg::encode(
            testPicture(QSize(97, 61)), layout(ColourModel::YCbCr, 2, 2, progressive));
        for (qsizetype length = 0; length < file.size(); length += 7) {
            const LoadResult result = decode(file.left(length), QSize(50, 50));
            QVERIFY2(result.ok() || !result.error.isEmpty(),
                     qPrintable(QStringLiteral("cut at %1: refused without a reason").arg(length)));
        }
    }
}

void TestJpegDecoder::byteMutationsNeverCrash() {
    QRandomGenerator random(20261208);
    for (const bool progressive : {false, true}) {
        const QByteArray file = picture::jpeg::encode(
            testPicture(QSize(97, 61)), layout(ColourModel::YCbCr, 2, 2, progressive));
        for (int round = 0; round < 400; ++round) {
            QByteArray mutated = file;
            const int changes = 1 + int(random.bounded(4));
            for (int n = 0; n < changes; ++n)
                mutated[random.bounded(mutated.size())] = char(random.bounded(256));
            for (const QSize visible : {QSize(), QSize(20, 20)}) {
                const LoadResult result = decode(mutated, visible);
                if (result.ok()) {
                    QVERIFY(!result.picture->image.isNull());
                    QVERIFY(result.picture->size.width() >= result.picture->image.width());
                    QVERIFY(result.picture->size.height() >= result.picture->image.height());
                } else {
                    QVERIFY2(!result.error.isEmpty(), "refused without a reason");
                }
            }
        }
    }
}

void TestJpegDecoder::hugeHeaderIsRefused_data() {
    QTest::addColumn<EncodeOptions>("options");
    QTest::addColumn<QSize>("claimed");
    QTest::addColumn<QSize>("visible");
    const auto baseline = layout(ColourModel::YCbCr, 2, 2);
    const auto progressive = layout(ColourModel::YCbCr, 2, 2, true);
    QTest::newRow("baseline claiming 65500 x 65500, whole picture")
        << baseline << QSize(65500, 65500) << QSize();
    QTest::newRow("baseline claiming 65500 x 65500, small region")
        << baseline << QSize(65500, 65500) << QSize(64, 64);
    QTest::newRow("progressive claiming 65500 x 65500, small region")
        << progressive << QSize(65500, 65500) << QSize(64, 64);
    QTest::newRow("baseline claiming one pixel over the limit, small region")
        << baseline << QSize(16385, 16384) << QSize(64, 64);
    // Within the pixel limit, but its coefficients alone would take 1.5 GiB.
    QTest::newRow("progressive 4:4:4 claiming 16384 x 16384, small region")
        << layout(ColourModel::YCbCr, 1, 1, true) << QSize(16384, 16384) << QSize(64, 64);
}

void TestJpegDecoder::hugeHeaderIsRefused() {
    QFETCH(EncodeOptions, options);
    QFETCH(QSize, claimed);
    QFETCH(QSize, visible);
    const QByteArray file =
        withFrameSize(picture::jpeg::encode(testPicture(QSize(64, 64)), options), claimed.width(),
                      claimed.height());
    QVERIFY(!file.isEmpty());
    // With a small region nothing large is allocated for the pixels: only the checks of the
    // header against the limits, before decoding starts, refuse it.
    const LoadResult result = decode(file, visible);
    QVERIFY2(!result.ok(), "an oversized picture was accepted");
    QCOMPARE(result.error, picture::errors::tooLarge());
}

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "tst_jpeg_decoder.moc"
