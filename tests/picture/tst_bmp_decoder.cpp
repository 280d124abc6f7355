#include "picture/bmp_decoder.h"
#include "picture/dib.h"
#include "picture/picture_errors.h"
#include "tests/support/corpus.h"
#include "tests/support/image_compare.h"
#include "tests/support/sequential_device.h"
#include "tests/support/writers.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <map>

using picture::LoadResult;
namespace bmp = picture::bmp;
namespace errors = picture::errors;

namespace {

QByteArray corpusBytes(const QString &path) {
    return corpus::bytes(path);
}

LoadResult decode(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return bmp::read(buffer, visible);
}

// Counts the bytes the decoder actually pulls from the device.
class CountingBuffer : public QBuffer {
public:
    qint64 delivered = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const qint64 got = QBuffer::readData(data, maxSize);
        delivered += std::max<qint64>(got, 0);
        return got;
    }
};

LoadResult decodeSequentially(const QByteArray &bytes, QSize visible = {}) {
    SequentialDevice stream(bytes);
    return bmp::read(stream, visible);
}

// Empty when the two pictures agree: same size, and every pixel within `tolerance` in each
// channel. Fully transparent pixels agree whatever colour they carry.
QString difference(const QImage &actual, const QImage &expected, int tolerance = 0) {
    return testkit::compare(actual, expected, tolerance).describe();
}

using TestBitmap = testkit::bmp::Bitmap;

QImage pixels(int width, int height, const QList<QRgb> &values) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < values.size(); ++i)
        image.setPixel(i % width, i / width, values[i]);
    return image;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

} // namespace

class TestBmpDecoder : public QObject {
    Q_OBJECT

private slots:
    void partialDecodeIsTheTopLeftCrop_data();
    void partialDecodeIsTheTopLeftCrop();
    void sequentialDeviceGivesTheSamePicture_data();
    void sequentialDeviceGivesTheSamePicture();
    void builtBitmapsDecodeToTheirPixels_data();
    void builtBitmapsDecodeToTheirPixels();
    void brokenBitmapsAreRefusedWithAReason_data();
    void brokenBitmapsAreRefusedWithAReason();
    void hugeHeaderIsRefusedBeforeAllocating_data();
    void hugeHeaderIsRefusedBeforeAllocating();
    void partialDecodeReadsOnlyTheRowsShown_data();
    void partialDecodeReadsOnlyTheRowsShown();
    void canReadPeeksWithoutConsuming_data();
    void canReadPeeksWithoutConsuming();
    void dibTakenOutOfAFileDecodesAlike_data();
    void dibTakenOutOfAFileDecodesAlike();
    void mutatedFilesNeverCrash_data();
    void mutatedFilesNeverCrash();
    void embeddedProfilesConvertToSrgb_data();
    void embeddedProfilesConvertToSrgb();
};

void TestBmpDecoder::partialDecodeIsTheTopLeftCrop_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("visible");
    const struct {
        const char *what;
        const char *path;
    } files[] = {
        {"bottom-up 8-bit", "bmp/bmpsuite/g/pal8.bmp"},
        {"bottom-up 1-bit", "bmp/bmpsuite/g/pal1.bmp"},
        {"bottom-up 24-bit", "bmp/bmpsuite/g/rgb24.bmp"},
        {"top-down 8-bit", "bmp/bmpsuite/g/pal8topdown.bmp"},
        {"top-down 24-bit", "bmp/mozilla/top-to-bottom-16x16-24bpp.bmp"},
        {"RLE8", "bmp/bmpsuite/g/pal8rle.bmp"},
        {"RLE4", "bmp/bmpsuite/g/pal4rle.bmp"},
        {"RLE4 with deltas", "bmp/mozilla/rle4-delta-320x240.bmp"},
        {"RLE24", "bmp/bmpsuite/q/rgb24rle24.bmp"},
        {"top-down RLE8", "bmp/mozilla/top-to-bottom-rle-bmp-size-32x32-8bpp.bmp"},
        {"16-bit bitfields", "bmp/bmpsuite/g/rgb16-565.bmp"},
        {"32-bit bitfields", "bmp/bmpsuite/g/rgb32bf.bmp"},
        {"32-bit with alpha", "bmp/bmpsuite/q/rgba32-1.bmp"},
        {"64-bit", "bmp/bmpsuite/q/rgba64.bmp"},
        {"OS/2 core header", "bmp/bmpsuite/g/pal8os2.bmp"},
    };
    const struct {
        const char *what;
        QSize size;
    } sizes[] = {
        {"one pixel", {1, 1}},
        {"a third", {43, 21}},
        {"one full row", {127, 1}},
        {"one full column", {1, 64}},
        {"larger than the picture", {1000, 1000}},
    };
    for (const auto &f : files) {
        for (const auto &s : sizes) {
            QTest::addRow("%s, %s", f.what, s.what) << QString::fromLatin1(f.path) << s.size;
        }
    }
}

void TestBmpDecoder::partialDecodeIsTheTopLeftCrop() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    QFETCH(QString, path);
    QFETCH(QSize, visible);
    const QByteArray data = corpusBytes(path);
    const LoadResult full = decode(data);
    QVERIFY2(full.ok(), qPrintable(full.error));
    const LoadResult part = decode(data, visible);
    QVERIFY2(part.ok(), qPrintable(part.error));
    QCOMPARE(part.picture->size, full.picture->size);
    const QSize expected = visible.boundedTo(full.picture->size);
    QCOMPARE(part.picture->image.size(), expected);
    const QString why =
        difference(part.picture->image, full.picture->image.copy(QRect(QPoint(0, 0), expected)));
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestBmpDecoder::sequentialDeviceGivesTheSamePicture_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("visible");
    QTest::newRow("bottom-up 8-bit, whole") << "bmp/bmpsuite/g/pal8.bmp" << QSize();
    QTest::newRow("bottom-up 8-bit, top rows") << "bmp/bmpsuite/g/pal8.bmp" << QSize(20, 10);
    QTest::newRow("bitmap array") << "bmp/bmpsuite/x/ba-bm.bmp" << QSize();
    QTest::newRow("gap before the bits") << "bmp/bmpsuite/q/pal8offs.bmp" << QSize();
    QTest::newRow("RLE8") << "bmp/bmpsuite/g/pal8rle.bmp" << QSize(30, 30);
    QTest::newRow("headerless DIB") << "bmp/pillow/clipboard.dib" << QSize();
    QTest::newRow("embedded PNG") << "bmp/bmpsuite/q/rgb24png.bmp" << QSize();
}

void TestBmpDecoder::sequentialDeviceGivesTheSamePicture() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    QFETCH(QString, path);
    QFETCH(QSize, visible);
    const QByteArray data = corpusBytes(path);
    const LoadResult seekable = decode(data, visible);
    const LoadResult sequential = decodeSequentially(data, visible);
    QVERIFY2(seekable.ok(), qPrintable(seekable.error));
    QVERIFY2(sequential.ok(), qPrintable(sequential.error));
    QCOMPARE(sequential.picture->size, seekable.picture->size);
    const QString why = difference(sequential.picture->image, seekable.picture->image);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestBmpDecoder::builtBitmapsDecodeToTheirPixels_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const QRgb clear = qRgba(0, 0, 0, 0);

    TestBitmap b;
    b.bitCount = 16;
    b.width = 3;
    b.bits = bytes({0xFF, 0x7F, 0x10, 0x42, 0x00, 0x80, 0, 0});
    QTest::newRow("16-bit 5-5-5: full channels give 255 and the spare bit is ignored")
        << b.file() << pixels(3, 1, {qRgb(255, 255, 255), qRgb(132, 132, 132), qRgb(0, 0, 0)});

    b = {};
    b.headerSize = 56;
    b.bitCount = 16;
    b.compression = bmp::BI_BITFIELDS;
    b.width = 2;
    b.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    b.bits = bytes({0x00, 0x8F, 0x5A, 0xF0});
    QTest::newRow("16-bit 4-4-4-4 in a 56-byte header: alpha scaled like the colours")
        << b.file() << pixels(2, 1, {qRgba(255, 0, 0, 136), qRgba(0, 85, 170, 255)});

    b = {};
    b.bitCount = 16;
    b.compression = bmp::BI_ALPHABITFIELDS;
    b.width = 2;
    b.masks = {0x7C00, 0x03E0, 0x001F, 0x8000};
    b.bits = bytes({0x1F, 0x80, 0xE0, 0x03});
    QTest::newRow("16-bit 1-5-5-5 with alpha masks after a 40-byte header")
        << b.file() << pixels(2, 1, {qRgba(0, 0, 255, 255), qRgba(0, 255, 0, 0)});

    b = {};
    b.bitCount = 32;
    b.width = 2;
    b.bits = bytes({0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x00});
    QTest::newRow("32-bit BI_RGB whose spare bytes are all zero is opaque")
        << b.file() << pixels(2, 1, {qRgb(0x30, 0x20, 0x10), qRgb(0x60, 0x50, 0x40)});

    b.bits[7] = char(0x80);
    QTest::newRow("32-bit BI_RGB with one non-zero spare byte has alpha")
        << b.file() << pixels(2, 1, {qRgba(0x30, 0x20, 0x10, 0), qRgba(0x60, 0x50, 0x40, 0x80)});

    b = {};
    b.bitCount = 32;
    b.compression = bmp::BI_BITFIELDS;
    b.width = 1;
    b.masks = {0xFE000000, 0x01FFFF80, 0x0000007F};
    b.bits = bytes({0x7F, 0x00, 0x00, 0x00});
    b.bits += bytes({0x80, 0xFF, 0xFF, 0x01});
    b.height = -2;
    QTest::newRow("32-bit 7-18-7 masks: an 18-bit channel scaled by value, stored top-down")
        << b.file() << pixels(1, 2, {qRgb(0, 0, 255), qRgb(0, 255, 0)});

    b = {};
    b.bitCount = 4;
    b.width = 4;
    b.clrUsed = 2;
    b.palette = {qRgb(255, 0, 0), qRgb(0, 0, 255)};
    b.bits = bytes({0x01, 0x2F, 0, 0});
    QTest::newRow("indices past a short colour table are black")
        << b.file()
        << pixels(4, 1, {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 0), qRgb(0, 0, 0)});

    b = {};
    b.bitCount = 2;
    b.width = 5;
    b.height = 2;
    b.palette = {qRgb(0, 0, 0), qRgb(85, 85, 85), qRgb(170, 170, 170), qRgb(255, 255, 255)};
    b.bits = bytes({0x1B, 0x40, 0, 0, 0xE4, 0xC0, 0, 0});
    QTest::newRow("2-bit, odd width, bottom-up")
        << b.file()
        << pixels(5, 2,
                  {qRgb(255, 255, 255), qRgb(170, 170, 170), qRgb(85, 85, 85), qRgb(0, 0, 0),
                   qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(85, 85, 85), qRgb(170, 170, 170),
                   qRgb(255, 255, 255), qRgb(85, 85, 85)});

    b = {};
    b.headerSize = 12;
    b.bitCount = 1;
    b.width = 3;
    b.palette = {qRgb(10, 20, 30), qRgb(40, 50, 60)};
    b.bits = bytes({0xA0, 0, 0, 0});
    QTest::newRow("OS/2 core header with 3-byte colour table entries")
        << b.file() << pixels(3, 1, {qRgb(40, 50, 60), qRgb(10, 20, 30), qRgb(40, 50, 60)});

    QList<QRgb> grey;
    for (int i = 0; i < 256; ++i)
        grey << qRgb(i, i, i);
    b = {};
    b.bitCount = 8;
    b.compression = bmp::BI_RLE8;
    b.width = 4;
    b.height = 2;
    b.palette = grey;
    b.bits = bytes({2, 7, 0, 2, 1, 1, 1, 9, 0, 1});
    QTest::newRow("RLE8 delta leaves the pixels it skips transparent")
        << b.file()
        << pixels(4, 2,
                  {clear, clear, clear, qRgb(9, 9, 9), qRgb(7, 7, 7), qRgb(7, 7, 7), clear, clear});

    b.bits = bytes({9, 5, 0, 0, 0, 5, 1, 2, 3, 4, 6, 0, 0, 1});
    QTest::newRow("RLE8 runs longer than the row are clipped, not wrapped")
        << b.file()
        << pixels(4, 2,
                  {qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3), qRgb(4, 4, 4), qRgb(5, 5, 5),
                   qRgb(5, 5, 5), qRgb(5, 5, 5), qRgb(5, 5, 5)});

    b.bits = bytes({2, 7, 0, 2, 2, 9, 0, 1});
    QTest::newRow("RLE8 jump past the last row ends the picture")
        << b.file()
        << pixels(4, 2, {clear, clear, clear, clear, qRgb(7, 7, 7), qRgb(7, 7, 7), clear, clear});

    b.height = -2;
    b.bits = bytes({2, 7, 0, 0, 0, 4, 1, 2, 3, 4, 0, 0});
    QTest::newRow("RLE8 stored top-down, ending with an end of line")
        << b.file()
        << pixels(4, 2,
                  {qRgb(7, 7, 7), qRgb(7, 7, 7), clear, clear, qRgb(1, 1, 1), qRgb(2, 2, 2),
                   qRgb(3, 3, 3), qRgb(4, 4, 4)});

    b = {};
    b.bitCount = 32;
    b.compression = bmp::BI_BITFIELDS;
    b.masks = {0xFF0000, 0xFF00, 0xFF};
    b.bits = bytes({0x00, 0x00, 0x80, 0x00});
    b.offBits = 54;
    QTest::newRow("bits offset that leaves out the masks after a 40-byte header")
        << b.file() << pixels(1, 1, {qRgb(0x80, 0, 0)});

    b = {};
    b.bitCount = 4;
    b.compression = bmp::BI_RLE4;
    b.width = 5;
    b.height = 1;
    b.palette = grey.mid(0, 16);
    b.bits = bytes({0, 3, 0x12, 0x30, 2, 0x45, 0, 1});
    QTest::newRow("RLE4 literal run of odd length, then a two-colour run")
        << b.file()
        << pixels(5, 1,
                  {qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3), qRgb(4, 4, 4), qRgb(5, 5, 5)});

    b = {};
    b.bitCount = 24;
    b.width = 1;
    b.height = 2;
    b.bits = bytes({1, 2, 3, 0, 4, 5, 6});
    QTest::newRow("24-bit, last row without its padding")
        << b.file() << pixels(1, 2, {qRgb(6, 5, 4), qRgb(3, 2, 1)});

    // Direct-colour pictures whose header counts colours the offset leaves no room for.
    b.bits = bytes({1, 2, 3, 0, 4, 5, 6, 0});
    b.clrUsed = 256;
    b.offBits = 54;
    QTest::newRow("24-bit claiming 256 colours with none stored")
        << b.file() << pixels(1, 2, {qRgb(6, 5, 4), qRgb(3, 2, 1)});
    b.clrUsed = 100000;
    QTest::newRow("24-bit claiming 100000 colours with none stored")
        << b.file() << pixels(1, 2, {qRgb(6, 5, 4), qRgb(3, 2, 1)});
    b.bitCount = 32;
    b.clrUsed = 16;
    QTest::newRow("32-bit claiming 16 colours with none stored")
        << b.file() << pixels(1, 2, {qRgb(6, 5, 4), qRgb(3, 2, 1)});
    b.bitCount = 16;
    b.compression = bmp::BI_BITFIELDS;
    b.masks = {0xF800, 0x07E0, 0x001F};
    b.bits = bytes({0x00, 0xF8, 0, 0, 0x1F, 0x00, 0, 0});
    QTest::newRow("16-bit 5-6-5 claiming 256 colours with only its masks stored")
        << b.file() << pixels(1, 2, {qRgb(0, 0, 255), qRgb(255, 0, 0)});
}

void TestBmpDecoder::builtBitmapsDecodeToTheirPixels() {
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const LoadResult result = decode(file);
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QString why = difference(result.picture->image, expected);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestBmpDecoder::brokenBitmapsAreRefusedWithAReason_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    TestBitmap b;
    b.width = 2;
    b.height = 2;
    b.bits = QByteArray(16, '\x7F');
    const QByteArray sound = b.file();

    QTest::newRow("empty file") << QByteArray() << errors::empty();
    QTest::newRow("only the file header") << sound.left(14) << errors::truncated();
    QTest::newRow("header cut short") << sound.left(30) << errors::truncated();
    QTest::newRow("pixel rows cut short") << sound.left(sound.size() - 6) << errors::truncated();

    b.offBits = quint32(sound.size() + 1);
    QTest::newRow("bits said to start past the end of the file") << b.file() << errors::corrupt();
    b.offBits = 20;
    QTest::newRow("bits said to start inside the header") << b.file() << errors::corrupt();
    b.offBits.reset();

    QByteArray odd = sound;
    qToLittleEndian<quint32>(66, odd.data() + 14);
    QTest::newRow("header size no version has") << odd << errors::corrupt();

    b.planes = 2;
    QTest::newRow("two planes") << b.file() << errors::corrupt();
    b.planes = 1;

    b.width = -2;
    QTest::newRow("negative width") << b.file() << errors::corrupt();
    b.width = 2;

    b.bitCount = 7;
    QTest::newRow("7 bits per pixel") << b.file() << errors::corrupt();
    b.bitCount = 24;

    b.bitCount = 8;
    b.clrUsed = 100000;
    QTest::newRow("8-bit colour count whose table runs past the pixels")
        << b.file() << errors::corrupt();
    b.bitCount = 24;
    b.clrUsed = 0;

    TestBitmap indexed;
    indexed.bitCount = 8;
    indexed.palette = {qRgb(1, 2, 3)};
    indexed.bits = QByteArray(4, '\0');
    indexed.offBits = 54;
    QTest::newRow("8-bit picture whose pixels start where its colours should")
        << indexed.file() << errors::corrupt();

    TestBitmap rle;
    rle.bitCount = 8;
    rle.compression = bmp::BI_RLE8;
    rle.width = 4;
    rle.height = -2;
    rle.clrUsed = 1;
    rle.palette = {qRgb(1, 2, 3)};
    rle.bits = bytes({4, 1, 0, 0, 4, 1, 0, 1});
    rle.height = 2;
    rle.bits = bytes({4, 1, 0, 0, 2, 1});
    QTest::newRow("RLE stream that stops before the picture is done")
        << rle.file() << errors::truncated();
    rle.bits = bytes({2, 1, 0, 2, 3, 0, 0, 1});
    QTest::newRow("RLE jump past the end of the row") << rle.file() << errors::corrupt();
    rle.bits = bytes({4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 0, 1});
    QTest::newRow("RLE stream with more rows than the picture") << rle.file() << errors::corrupt();
    rle.bitCount = 4;
    rle.bits = bytes({4, 1, 0, 0, 4, 1, 0, 1});
    QTest::newRow("RLE8 coding with 4 bits per pixel") << rle.file() << errors::corrupt();

    TestBitmap huffman;
    huffman.headerSize = 64;
    huffman.bitCount = 1;
    huffman.compression = 3;
    huffman.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    huffman.bits = QByteArray(8, '\0');
    QTest::newRow("OS/2 Huffman-coded 1-bit bitmap") << huffman.file() << errors::unsupported();

    TestBitmap masks;
    masks.bitCount = 16;
    masks.compression = bmp::BI_BITFIELDS;
    masks.masks = {0, 0, 0};
    masks.bits = QByteArray(4, '\xFF');
    QTest::newRow("bitfields with no colour bits") << masks.file() << errors::corrupt();

    QTest::newRow("not a bitmap at all")
        << QByteArray("GIF89a\x01\x00\x01\x00") << errors::unsupported();
}

void TestBmpDecoder::brokenBitmapsAreRefusedWithAReason() {
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    const LoadResult result = decode(file);
    QVERIFY2(!result.ok(), "a broken bitmap was decoded");
    QCOMPARE(result.error, error);
    const LoadResult sequential = decodeSequentially(file);
    QVERIFY2(!sequential.ok(), "a broken bitmap was decoded from a sequential device");
}

void TestBmpDecoder::hugeHeaderIsRefusedBeforeAllocating_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("sequential");
    TestBitmap b;
    b.width = 100000;
    b.height = 100000;
    b.bits = QByteArray(64, '\0');
    QTest::newRow("24-bit 100000 x 100000") << b.file() << false;
    QTest::newRow("24-bit 100000 x 100000 on a sequential device") << b.file() << true;
    b.bitCount = 8;
    b.compression = bmp::BI_RLE8;
    b.palette = {qRgb(1, 2, 3)};
    b.bits = bytes({0, 1});
    QTest::newRow("RLE8 100000 x 100000") << b.file() << true;
    b.bitCount = 1;
    b.compression = bmp::BI_RGB;
    b.width = 0x7FFFFFFF;
    b.height = -0x7FFFFFFF;
    QTest::newRow("1-bit, largest dimensions a header can hold") << b.file() << false;
}

void TestBmpDecoder::hugeHeaderIsRefusedBeforeAllocating() {
    QFETCH(QByteArray, file);
    QFETCH(bool, sequential);
    const LoadResult result = sequential ? decodeSequentially(file) : decode(file);
    QVERIFY2(!result.ok(), "a picture larger than MaxPixels was decoded");
    QCOMPARE(result.error, errors::tooLarge());
}

void TestBmpDecoder::partialDecodeReadsOnlyTheRowsShown_data() {
    QTest::addColumn<qint32>("height");
    QTest::newRow("bottom-up: the rows shown are stored last") << 400;
    QTest::newRow("top-down: the rows shown are stored first") << -400;
}

// A big picture shown in a small window must not be read whole: 108 of 400 rows are needed, so
// with the device's read-ahead well under half of the file should be read.
void TestBmpDecoder::partialDecodeReadsOnlyTheRowsShown() {
    QFETCH(qint32, height);
    TestBitmap b;
    b.width = 600;
    b.height = height;
    b.bits = QByteArray(600 * 3 * 400, '\x40');
    const QByteArray file = b.file();
    CountingBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    const LoadResult result = bmp::read(buffer, QSize(192, 108));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->image.size(), QSize(192, 108));
    QCOMPARE(result.picture->size, QSize(600, 400));
    QVERIFY2(
        buffer.delivered < file.size() / 3,
        qPrintable(QStringLiteral("read %1 of %2 bytes").arg(buffer.delivered).arg(file.size())));
}

void TestBmpDecoder::canReadPeeksWithoutConsuming_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("readable");
    TestBitmap b;
    b.bits = QByteArray(4, '\0');
    QTest::newRow("BM file") << b.file() << true;
    QTest::newRow("headerless 40-byte DIB") << b.info() + b.bits << true;
    b.headerSize = 12;
    QTest::newRow("headerless core DIB") << b.info() + b.bits << true;
    b.headerSize = 108;
    b.planes = 3;
    QTest::newRow("headerless DIB with three planes") << b.info() + b.bits << false;
    if (corpus::present())
        QTest::newRow("bitmap array")
            << corpusBytes(QStringLiteral("bmp/bmpsuite/x/ba-bm.bmp")) << true;
    QTest::newRow("PNG signature") << QByteArray("\x89PNG\r\n\x1a\n", 8) << false;
    QTest::newRow("text") << QByteArray("Hello, this is plain text, not a picture.") << false;
    QTest::newRow("nothing") << QByteArray() << false;
}

void TestBmpDecoder::canReadPeeksWithoutConsuming() {
    QFETCH(QByteArray, head);
    QFETCH(bool, readable);
    QBuffer buffer;
    buffer.setData(head);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(bmp::canRead(buffer), readable);
    QCOMPARE(buffer.pos(), qint64(0));
}

void TestBmpDecoder::dibTakenOutOfAFileDecodesAlike_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("8-bit with a 252-colour table") << "bmp/bmpsuite/g/pal8.bmp";
    QTest::newRow("1-bit") << "bmp/bmpsuite/g/pal1.bmp";
    QTest::newRow("16-bit with masks after the header") << "bmp/bmpsuite/g/rgb16-565.bmp";
    QTest::newRow("OS/2 core header") << "bmp/bmpsuite/g/pal8os2.bmp";
    QTest::newRow("RLE8") << "bmp/bmpsuite/g/pal8rle.bmp";
    QTest::newRow("V5 header, 32-bit alpha") << "bmp/bmpsuite/q/rgba32-1.bmp";
    QTest::newRow("top-down") << "bmp/bmpsuite/g/pal8topdown.bmp";
}

void TestBmpDecoder::dibTakenOutOfAFileDecodesAlike() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    QFETCH(QString, path);
    const QByteArray file = corpusBytes(path);
    const LoadResult whole = decode(file);
    QVERIFY2(whole.ok(), qPrintable(whole.error));
    const QImage expected = whole.picture->image;
    const qsizetype offBits = qFromLittleEndian<quint32>(file.constData() + 10);

    const QImage apart = picture::decodeDib(QByteArrayView(file).sliced(14, offBits - 14),
                                            QByteArrayView(file).sliced(offBits));
    QVERIFY2(!apart.isNull(), "decodeDib refused the bitmap");
    QString why = difference(apart, expected);
    QVERIFY2(why.isEmpty(), qPrintable("decodeDib: " + why));

    const QImage packed = picture::decodePackedDib(QByteArrayView(file).sliced(14));
    QVERIFY2(!packed.isNull(), "decodePackedDib refused the bitmap");
    why = difference(packed, expected);
    QVERIFY2(why.isEmpty(), qPrintable("decodePackedDib: " + why));

    QVERIFY2(picture::decodeDib(QByteArrayView(file).sliced(14, 20), {}).isNull(),
             "a cut-off header gave a picture");
    QVERIFY2(picture::decodePackedDib(file).isNull(), "a BM file passed as a packed DIB");
}

void TestBmpDecoder::mutatedFilesNeverCrash_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("RLE8") << "bmp/bmpsuite/g/pal8rle.bmp";
    QTest::newRow("RLE4") << "bmp/bmpsuite/g/pal4rle.bmp";
    QTest::newRow("RLE24") << "bmp/bmpsuite/q/rgb24rle24.bmp";
    QTest::newRow("16-bit bitfields") << "bmp/bmpsuite/g/rgb16-565.bmp";
    QTest::newRow("32-bit V5 alpha") << "bmp/bmpsuite/q/rgba32-1.bmp";
    QTest::newRow("OS/2 core header") << "bmp/bmpsuite/g/pal8os2.bmp";
    QTest::newRow("64-bit") << "bmp/bmpsuite/q/rgba64.bmp";
    QTest::newRow("headerless DIB") << "bmp/pillow/clipboard.dib";
}

// Every outcome is allowed except a crash, a picture of the wrong size, or a silent refusal.
void TestBmpDecoder::mutatedFilesNeverCrash() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    QFETCH(QString, path);
    const QByteArray original = corpusBytes(path);
    QVERIFY(!original.isEmpty());
    auto check = [](const QByteArray &data, const QString &what) {
        for (const QSize visible : {QSize(), QSize(7, 5)}) {
            const LoadResult r = decode(data, visible);
            if (r.ok()) {
                const QSize expected =
                    visible.isEmpty() ? r.picture->size : visible.boundedTo(r.picture->size);
                QVERIFY2(r.picture->image.size() == expected, qPrintable(what));
            } else {
                QVERIFY2(!r.error.isEmpty(), qPrintable(what + ": refused without a reason"));
            }
        }
    };

    const qsizetype step = std::max<qsizetype>(1, original.size() / 300);
    for (qsizetype length = 0; length < original.size(); length += step) {
        check(original.left(length), QStringLiteral("cut to %1 bytes").arg(length));
        if (QTest::currentTestFailed())
            return;
    }

    const qsizetype headerEnd = std::min<qsizetype>(original.size(), 160);
    for (qsizetype at = 0; at < headerEnd; ++at) {
        for (const int value : {0x00, 0xFF, 0x80, 0x7F, 0x01}) {
            QByteArray data = original;
            data[at] = char(value);
            check(data, QStringLiteral("byte %1 set to %2").arg(at).arg(value));
            if (QTest::currentTestFailed())
                return;
        }
    }

    QRandomGenerator random(20261208);
    for (int round = 0; round < 400; ++round) {
        QByteArray data = original;
        const int changes = 1 + random.bounded(8);
        for (int i = 0; i < changes; ++i)
            data[random.bounded(data.size())] = char(random.bounded(256));
        check(data, QStringLiteral("random mutation round %1").arg(round));
        if (QTest::currentTestFailed())
            return;
    }
}

void TestBmpDecoder::embeddedProfilesConvertToSrgb_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("converted");
    // Two pixels of a flat colour stored in Adobe RGB: (128, 200, 64) there is (77, 201, 44) in
    // sRGB, by the two spaces' primaries and curves.
    TestBitmap b;
    b.headerSize = 124;
    b.width = 2;
    b.bits = bytes({64, 200, 128, 64, 200, 128, 0, 0});
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    // The file with `profile` appended, and the header's profile fields set.
    const auto withProfile = [&](const QByteArray &profile, quint32 type = bmp::PROFILE_EMBEDDED,
                                 std::optional<quint32> at = {}, std::optional<quint32> size = {}) {
        QByteArray file = b.file() + profile;
        qToLittleEndian<quint32>(type, file.data() + 14 + 56);
        qToLittleEndian<quint32>(at.value_or(quint32(b.file().size() - 14)),
                                 file.data() + 14 + 112);
        qToLittleEndian<quint32>(size.value_or(quint32(profile.size())), file.data() + 14 + 116);
        return file;
    };
    QTest::newRow("Adobe RGB after the pixels") << withProfile(adobe) << true;
    // The profile between the header and the pixels.
    b.offBits = quint32(14 + 124 + adobe.size());
    QByteArray before = withProfile({}, bmp::PROFILE_EMBEDDED, 124, quint32(adobe.size()));
    before.insert(14 + 124, adobe);
    b.offBits.reset();
    QTest::newRow("Adobe RGB before the pixels") << before << true;
    QTest::newRow("no profile, sRGB") << withProfile({}, 0x73524742) << false;
    QTest::newRow("a linked profile's file name")
        << withProfile("/usr/share/color/icc/x.icc", 0x4C494E4B) << false;
    QTest::newRow("profile past the end")
        << withProfile(adobe, bmp::PROFILE_EMBEDDED, 0x7FFFFFF0) << false;
    QTest::newRow("profile longer than the file")
        << withProfile(adobe, bmp::PROFILE_EMBEDDED, {}, 0xFFFFFFFF) << false;
    QTest::newRow("profile cut short") << withProfile(adobe.left(200)) << false;
    QByteArray cmyk = adobe;
    cmyk.replace(16, 4, "CMYK");
    QTest::newRow("CMYK profile") << withProfile(cmyk) << false;
    QTest::newRow("garbage for a profile") << withProfile(QByteArray(600, '\x5A')) << false;
}

void TestBmpDecoder::embeddedProfilesConvertToSrgb() {
    QFETCH(QByteArray, file);
    QFETCH(bool, converted);
    for (const QSize visible : {QSize(), QSize(1, 1)}) {
        for (const bool stream : {false, true}) {
            const LoadResult result =
                stream ? decodeSequentially(file, visible) : decode(file, visible);
            QVERIFY2(result.ok(), qPrintable(result.error));
            // A stream can't go back for a profile stored before the pixels.
            const bool behind = stream && QByteArray(QTest::currentDataTag()).contains("before");
            QImage expected(result.picture->image.size(), QImage::Format_RGB32);
            expected.fill(converted && !behind ? qRgb(77, 201, 44) : qRgb(128, 200, 64));
            const QString why = difference(result.picture->image, expected, 1);
            QVERIFY2(why.isEmpty(), qPrintable(why));
        }
    }
}

QTEST_MAIN(TestBmpDecoder)
#include "tst_bmp_decoder.moc"
