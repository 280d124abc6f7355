#include "corpus.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_encoder.h"
#include "picture/picture_errors.h"
#include "sequential_device.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstring>

Q_DECLARE_METATYPE(picture::jpeg::EncodeOptions)

using picture::LoadResult;
using picture::jpeg::ColourModel;
using picture::jpeg::EncodeOptions;

namespace {

const QString CorpusDir = QStringLiteral(GLIMRA_CORPUS_DIR);

// Qt's reader links the same libjpeg-turbo with the same IDCT and upsampling, so colour and
// greyscale pictures come out identical. CMYK may differ by one step: Qt truncates the
// product of ink and black where we round it.
int toleranceAgainstQt(int components) {
    return components == 4 ? 1 : 0;
}

LoadResult decode(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::jpeg::read(buffer, visible);
}

QByteArray corpusFile(const QString &path) {
    return corpus::bytes(path);
}

// The corpus's JPEG files of one kind (good, bad, questionable) with the manifest's note.
QList<std::pair<QString, QString>> corpusRows(const QString &kind) {
    QList<std::pair<QString, QString>> rows;
    for (const corpus::Entry &entry : corpus::entries({QStringLiteral("jpeg/")}, kind))
        rows.append({entry.path, entry.note.trimmed()});
    return rows;
}

// Largest difference in any channel, or -1 when the sizes differ.
int largestDifference(const QImage &a, const QImage &b) {
    if (a.size() != b.size())
        return -1;
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    int largest = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto *l = reinterpret_cast<const QRgb *>(left.constScanLine(y));
        const auto *r = reinterpret_cast<const QRgb *>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) {
            largest = std::max({largest, std::abs(qRed(l[x]) - qRed(r[x])),
                                std::abs(qGreen(l[x]) - qGreen(r[x])),
                                std::abs(qBlue(l[x]) - qBlue(r[x]))});
        }
    }
    return largest;
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

// Offset of the frame header's height field (SOF0, SOF1 or SOF2), or -1. Walks the markers,
// so a thumbnail inside an application marker is not taken for the picture.
qsizetype frameSizeOffset(const QByteArray &file) {
    qsizetype i = 2;
    while (i + 8 < file.size() && quint8(file[i]) == 0xFF) {
        const auto marker = quint8(file[i + 1]);
        if (marker >= 0xC0 && marker <= 0xC2)
            return i + 5;
        i += 2 + ((quint8(file[i + 2]) << 8) | quint8(file[i + 3]));
    }
    return -1;
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

// Components in the frame header, or 0 when there is none.
int componentCount(const QByteArray &file) {
    const qsizetype at = frameSizeOffset(file);
    return at < 0 ? 0 : quint8(file[at + 4]);
}

// Offset of the first byte of entropy-coded data (just past the first scan header), or -1.
qsizetype scanDataOffset(const QByteArray &file) {
    for (qsizetype i = 2; i + 3 < file.size(); ++i) {
        if (quint8(file[i]) == 0xFF && quint8(file[i + 1]) == 0xDA)
            return i + 2 + ((quint8(file[i + 2]) << 8) | quint8(file[i + 3]));
    }
    return -1;
}

} // namespace

class TestJpegDecoder : public QObject {
    Q_OBJECT

private slots:
    void recognisesTheSignature_data();
    void recognisesTheSignature();

    void goodCorpusFilesMatchQt_data();
    void goodCorpusFilesMatchQt();
    void badCorpusFilesAreRefused_data();
    void badCorpusFilesAreRefused();
    void questionableCorpusFilesNeverCrash_data();
    void questionableCorpusFilesNeverCrash();

    void visibleRegionEqualsCropOfWholePicture_data();
    void visibleRegionEqualsCropOfWholePicture();
    void layoutsMatchQt_data();
    void layoutsMatchQt();
    void sequentialDeviceGivesTheSamePicture();
    void skipsLongMarkersAcrossChunks();
    void skipsStrayBytesBetweenSegments_data();
    void skipsStrayBytesBetweenSegments();

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

void TestJpegDecoder::goodCorpusFilesMatchQt_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("refusal");
    const auto rows = corpusRows(QStringLiteral("good"));
    if (rows.isEmpty())
        QSKIP("The shared corpus is not available");
    // Listed as good, but no whole picture can come of them.
    const QHash<QString, QString> refused = {
        // Claims 64250 x 64250 pixels.
        {QStringLiteral("jpeg/gdk-pixbuf/issue205.jpg"), picture::errors::tooLarge()},
        // Stray bytes after the start of image, then no quantisation table.
        {QStringLiteral("jpeg/gdk-pixbuf/bug775218.jpg"), picture::errors::corrupt()},
        // A baseline file cut inside its only scan (Qt's reader shows it with grey rows).
        {QStringLiteral("jpeg/gdk-pixbuf/bug753605-atsize.jpg"), picture::errors::truncated()},
    };
    for (const auto &[path, note] : rows)
        QTest::newRow(qPrintable(path + QStringLiteral(" (") + note + QLatin1Char(')')))
            << path << refused.value(path);
}

void TestJpegDecoder::goodCorpusFilesMatchQt() {
    QFETCH(QString, path);
    QFETCH(QString, refusal);
    const QByteArray bytes = corpusFile(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path + QStringLiteral(" can't be read")));

    const LoadResult ours = decode(bytes);
    if (!refusal.isEmpty()) {
        QVERIFY2(!ours.ok(), "a file that holds no picture was shown");
        QCOMPARE(ours.error, refusal);
        return;
    }
    QVERIFY2(ours.ok(), qPrintable(path + QStringLiteral(": ") + ours.error));

    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    const QImage qt = reader.read();
    QVERIFY2(!qt.isNull(), qPrintable(QStringLiteral("Qt can't read it: ") + reader.errorString()));

    QCOMPARE(ours.picture->size, qt.size());
    QCOMPARE(ours.picture->image.size(), qt.size());
    QCOMPARE(ours.picture->format, picture::Format::Jpeg);
    const int difference = largestDifference(ours.picture->image, qt);
    QVERIFY2(difference <= toleranceAgainstQt(componentCount(bytes)),
             qPrintable(QStringLiteral("differs from Qt's decode by %1").arg(difference)));

    // A part that ends off every block edge is the corner of the whole, exactly.
    const QSize size = ours.picture->size;
    const QSize visible(size.width() / 2 + 3, size.height() / 3 + 1);
    const LoadResult part = decode(bytes, visible);
    QVERIFY2(part.ok(), qPrintable(part.error));
    const QSize expected = size.boundedTo(visible);
    QCOMPARE(part.picture->image.size(), expected);
    QCOMPARE(largestDifference(part.picture->image,
                               ours.picture->image.copy(QRect(QPoint(0, 0), expected))),
             0);
}

void TestJpegDecoder::badCorpusFilesAreRefused_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("shown");
    const auto rows = corpusRows(QStringLiteral("bad"));
    if (rows.isEmpty())
        QSKIP("The shared corpus is not available");
    // Listed as bad, but whole pictures: the first's scan data ends at a marker and libjpeg
    // takes the rest of that scan as zero, as Qt's reader does; the second, progressive, lacks
    // its end marker and ends inside its last scan, but after every bit libjpeg reads from it.
    const QStringList shown = {
        QStringLiteral("jpeg/jpeg-decoder/crashtest/dc-predictor-overflow.jpg"),
        QStringLiteral("jpeg/pillow/truncated_jpeg.jpg"),
    };
    for (const auto &[path, note] : rows) {
        QTest::newRow(qPrintable(path + QStringLiteral(" (") + note + QLatin1Char(')')))
            << path << shown.contains(path);
    }
}

void TestJpegDecoder::badCorpusFilesAreRefused() {
    QFETCH(QString, path);
    QFETCH(bool, shown);
    const LoadResult result = decode(corpusFile(path));
    if (shown) {
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.picture->image.size(), result.picture->size);
        return;
    }
    QVERIFY2(!result.ok(), "a broken file was reported as a picture");
    QVERIFY2(!result.error.isEmpty(), "refused without a reason");
}

void TestJpegDecoder::questionableCorpusFilesNeverCrash_data() {
    QTest::addColumn<QString>("path");
    const auto rows = corpusRows(QStringLiteral("questionable"));
    if (rows.isEmpty())
        QSKIP("The shared corpus is not available");
    for (const auto &[path, note] : rows)
        QTest::newRow(qPrintable(path + QStringLiteral(" (") + note + QLatin1Char(')'))) << path;
}

void TestJpegDecoder::questionableCorpusFilesNeverCrash() {
    QFETCH(QString, path);
    const QByteArray bytes = corpusFile(path);
    const LoadResult whole = decode(bytes);
    const LoadResult part = decode(bytes, QSize(40, 30));
    QVERIFY2(part.ok() || !part.error.isEmpty(), "refused without a reason");
    // A file cut below the top corner still shows that corner; the reverse never happens.
    if (!whole.ok()) {
        QVERIFY2(!whole.error.isEmpty(), "refused without a reason");
        return;
    }
    QVERIFY2(part.ok(), qPrintable(part.error));
    QCOMPARE(whole.picture->image.size(), whole.picture->size);
    QCOMPARE(part.picture->size, whole.picture->size);
    QCOMPARE(part.picture->image.size(), whole.picture->size.boundedTo(QSize(40, 30)));
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
