#include "picture/pcx_decoder.h"
#include "picture/picture_errors.h"
#include "tests/support/corpus.h"
#include "tests/support/image_compare.h"
#include "tests/support/sequential_device.h"
#include "tests/support/writers.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cstring>

using namespace picture;

using PcxLayout = testkit::pcx::Layout;
using testkit::pcx::distinctColours;
Q_DECLARE_METATYPE(PcxLayout)

namespace {

// The standard sixteen colours, and the four of the brightest four-colour set.
const QList<QRgb> StandardColours = {
    0xff000000, 0xff0000aa, 0xff00aa00, 0xff00aaaa, 0xffaa0000, 0xffaa00aa, 0xffaa5500, 0xffaaaaaa,
    0xff555555, 0xff5555ff, 0xff55ff55, 0xff55ffff, 0xffff5555, 0xffff55ff, 0xffffff55, 0xffffffff};
const QList<QRgb> StandardFourColours = {0xff000000, 0xff55ffff, 0xffff55ff, 0xffffffff};

// What the decoder should show for an indexed picture written with `layout`.
QList<QRgb> expectedColours(const PcxLayout &layout) {
    const int count = layout.colourCount();
    if (layout.bits == 1 && layout.planes == 1)
        return {0xff000000, 0xffffffff};
    if (count == 256) {
        if (layout.colours == PcxLayout::Colours::Tail)
            return distinctColours(256, 5);
        QList<QRgb> grey;
        for (int i = 0; i < 256; ++i)
            grey.append(qRgb(i, i, i));
        return grey;
    }
    if (layout.colours == PcxLayout::Colours::ZeroHeader ||
        layout.colours == PcxLayout::Colours::Version3)
        return (layout.bits == 2 ? StandardFourColours : StandardColours).first(count);
    return distinctColours(16, 1).first(count);
}

// Deterministic pixels: the top half one flat value, so that runs grow long and can carry on
// across planes and rows, the bottom half short runs of scattered values.
QImage makePixels(const PcxLayout &layout) {
    QImage pixels(layout.width, layout.height,
                  layout.direct() ? QImage::Format_ARGB32 : QImage::Format_Indexed8);
    quint32 state = 12345;
    auto random = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const quint32 mask = layout.direct() ? 0xffffffffu : quint32(layout.colourCount() - 1);
    for (int y = 0; y < layout.height; ++y) {
        quint32 value = random() & mask;
        int runLeft = 0;
        for (int x = 0; x < layout.width; ++x) {
            if (y < layout.height / 2) {
                value = layout.direct() ? 0xc8c8c8c8u : mask;
            } else if (runLeft-- <= 0) {
                value = random() & mask;
                runLeft = int(random() % 5);
            }
            if (layout.direct())
                reinterpret_cast<QRgb *>(pixels.scanLine(y))[x] =
                    layout.planes == 4 ? value : (value | 0xff000000u);
            else
                pixels.scanLine(y)[x] = uchar(value);
        }
    }
    if (!layout.direct())
        pixels.setColorTable(expectedColours(layout));
    return pixels;
}

LoadResult decode(const QByteArray &bytes, QSize visible = {}, bool sequential = false) {
    if (sequential) {
        SequentialDevice device(bytes);
        return pcx::read(device, visible);
    }
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    return pcx::read(device, visible);
}

QImage argb(const QImage &image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestPcxDecoder : public QObject {
    Q_OBJECT

private:
    void addWrittenFiles();

private slots:
    void writtenFileDecodesExactly_data() { addWrittenFiles(); }
    void writtenFileDecodesExactly();
    void partialDecodeIsTopLeftOfWhole_data() { addWrittenFiles(); }
    void partialDecodeIsTopLeftOfWhole();
    void handWrittenRuns_data();
    void handWrittenRuns();
    void truncatedFile_data();
    void truncatedFile();
    void everyPrefixIsHandled_data();
    void everyPrefixIsHandled();
    void brokenHeaderIsRefused_data();
    void brokenHeaderIsRefused();
    void hugeHeaderIsRefused_data();
    void hugeHeaderIsRefused();
    void shortFileClaimingLargePicture_data();
    void shortFileClaimingLargePicture();
    void canRead_data();
    void canRead();
    void mutatedFileIsHandled_data();
    void mutatedFileIsHandled();
};

void TestPcxDecoder::addWrittenFiles() {
    QTest::addColumn<PcxLayout>("layout");
    using C = PcxLayout::Colours;
    auto add = [](const char *name, PcxLayout layout) {
        QTest::newRow(name) << layout;
    };
    add("1-bit black and white, odd width, header colours ignored",
        {.bits = 1, .width = 13, .height = 6});
    add("1-bit black and white, width of whole bytes", {.bits = 1, .width = 16, .height = 4});
    add("2-bit, four colours from the header", {.bits = 2, .width = 7, .height = 5});
    add("2-bit, all-zero header takes the standard four colours",
        {.bits = 2, .width = 9, .height = 4, .colours = C::ZeroHeader});
    add("1-bit in two planes, four colours", {.bits = 1, .planes = 2, .width = 10, .height = 4});
    add("1-bit in three planes, eight colours", {.bits = 1, .planes = 3, .width = 9, .height = 6});
    add("4-bit planar, odd width", {.bits = 1, .planes = 4, .width = 11, .height = 7});
    add("4-bit planar, version 3 takes the standard colours",
        {.bits = 1, .planes = 4, .width = 12, .height = 3, .colours = C::Version3});
    add("4-bit planar, all-zero header takes the standard colours",
        {.bits = 1, .planes = 4, .width = 8, .height = 3, .colours = C::ZeroHeader});
    add("4-bit packed, odd width", {.bits = 4, .width = 9, .height = 5});
    add("8-bit with 256 colours at the end", {.width = 7, .height = 6, .colours = C::Tail});
    add("8-bit without colours at the end is grey",
        {.width = 6, .height = 3, .colours = C::NoTail});
    add("8-bit marked greyscale",
        {.width = 5, .height = 4, .paletteInfo = 2, .colours = C::NoTail});
    add("24-bit in three planes, odd width", {.planes = 3, .width = 5, .height = 6});
    add("32-bit in four planes with alpha", {.planes = 4, .width = 7, .height = 6});
    add("24-bit stored raw", {.planes = 3, .width = 6, .height = 4, .encoding = 0});
    add("4-bit planar stored raw",
        {.bits = 1, .planes = 4, .width = 13, .height = 4, .encoding = 0});
    add("4-bit planar, runs across planes and rows",
        {.bits = 1, .planes = 4, .width = 16, .height = 8, .runsAcrossLines = true});
    add("24-bit, runs across planes and rows",
        {.planes = 3, .width = 10, .height = 8, .runsAcrossLines = true});
    add("8-bit, runs across rows and longer than one code",
        {.width = 300, .height = 6, .runsAcrossLines = true, .colours = C::Tail});
    add("8-bit with five bytes of padding", {.width = 5, .height = 4, .padding = 5});
    add("1-bit with a byte of padding", {.bits = 1, .width = 3, .height = 5, .padding = 1});
    add("24-bit, a single pixel", {.planes = 3, .width = 1, .height = 1});
    add("24-bit packed in one plane, odd width", {.bits = 24, .width = 5, .height = 6});
    add("24-bit packed in one plane, stored raw, padded",
        {.bits = 24, .width = 3, .height = 4, .encoding = 0, .padding = 1});
    add("24-bit packed in one plane, runs across rows",
        {.bits = 24, .width = 30, .height = 8, .runsAcrossLines = true});
    // Wide enough that a narrow part passes over most of each line eight bytes at a time.
    add("24-bit in three planes, wide, bright runs then short ones",
        {.planes = 3, .width = 1500, .height = 6});
    add("8-bit, wide, runs across rows", {.width = 2100, .height = 6, .runsAcrossLines = true});
}

void TestPcxDecoder::writtenFileDecodesExactly() {
    QFETCH(PcxLayout, layout);
    const QImage pixels = makePixels(layout);
    const QByteArray file = testkit::pcx::file(layout, pixels);
    for (const bool sequential : {false, true}) {
        const LoadResult result = decode(file, {}, sequential);
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.picture->format, Format::Pcx);
        QCOMPARE(result.picture->size, QSize(layout.width, layout.height));
        const testkit::Difference d = testkit::compare(result.picture->image, pixels);
        QVERIFY2(d.same(), qPrintable(d.describe()));
        QCOMPARE(argb(result.picture->image), argb(pixels));
    }
}

void TestPcxDecoder::partialDecodeIsTopLeftOfWhole() {
    QFETCH(PcxLayout, layout);
    const QByteArray file = testkit::pcx::file(layout, makePixels(layout));
    const LoadResult whole = decode(file);
    QVERIFY2(whole.ok(), qPrintable(whole.error));
    const QSize natural(layout.width, layout.height);
    const QList<QSize> parts = {{1, 1},
                                {layout.width / 2 + 1, layout.height / 2 + 1},
                                {layout.width + 5, 2},
                                {3, layout.height + 9},
                                natural};
    for (const QSize &visible : parts) {
        for (const bool sequential : {false, true}) {
            const LoadResult part = decode(file, visible, sequential);
            QVERIFY2(part.ok(), qPrintable(part.error));
            QCOMPARE(part.picture->size, natural);
            const QSize expected = natural.boundedTo(visible);
            QCOMPARE(part.picture->image.size(), expected);
            QCOMPARE(argb(part.picture->image),
                     argb(whole.picture->image).copy({{0, 0}, expected}));
        }
    }
}

void TestPcxDecoder::handWrittenRuns_data() {
    QTest::addColumn<PcxLayout>("layout");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QRgb>>("expected");

    const PcxLayout grey{.width = 4, .height = 3, .colours = PcxLayout::Colours::NoTail};
    QTest::newRow("one run covers three rows")
        << grey << QByteArray("\xCC\x07", 2) << QList<QRgb>(12, qRgb(7, 7, 7));
    QTest::newRow("run of zero length writes nothing")
        << grey << QByteArray("\xC0\x55\xCC\x07", 4) << QList<QRgb>(12, qRgb(7, 7, 7));
    QTest::newRow("literal bytes then a run into the next rows")
        << grey << QByteArray("\x01\x02\xCA\xD0", 4)
        << (QList<QRgb>{qRgb(1, 1, 1), qRgb(2, 2, 2)} + QList<QRgb>(10, qRgb(0xD0, 0xD0, 0xD0)));
    QTest::newRow("one run of 63 is the whole picture")
        << PcxLayout{.width = 63, .height = 1, .colours = PcxLayout::Colours::NoTail}
        << QByteArray("\xFF\x09", 2) << QList<QRgb>(63, qRgb(9, 9, 9));
    QTest::newRow("data past the last row is ignored")
        << grey << QByteArray("\xCC\x07\xFF\x01\x02", 5) << QList<QRgb>(12, qRgb(7, 7, 7));

    const PcxLayout rgb{.planes = 3, .width = 2, .height = 2};
    // Red plane, green plane, blue plane per row; each run covers one plane's end and the next
    // plane's start.
    QTest::newRow("runs cross from plane to plane and row to row")
        << rgb << QByteArray("\x10\xC2\x20\xC2\x30\xC2\x11\xC2\x21\x31\xC2\x41", 12)
        << QList<QRgb>{qRgb(0x10, 0x20, 0x30), qRgb(0x20, 0x30, 0x11), qRgb(0x11, 0x21, 0x41),
                       qRgb(0x21, 0x31, 0x41)};
}

void TestPcxDecoder::handWrittenRuns() {
    QFETCH(PcxLayout, layout);
    QFETCH(QByteArray, stream);
    QFETCH(QList<QRgb>, expected);
    const LoadResult result = decode(testkit::pcx::header(layout) + stream);
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage image = argb(result.picture->image);
    QCOMPARE(image.size(), QSize(layout.width, layout.height));
    QList<QRgb> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels.append(image.pixel(x, y));
    QCOMPARE(pixels, expected);
}

void TestPcxDecoder::truncatedFile_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("rowsKept"); // -1: refused
    QTest::addColumn<QString>("error");

    // Stored raw, 24-bit, 20 rows of 3 × 12 bytes: the cut points are known exactly.
    const int header = pcx::HeaderSize;
    const int row = 36;
    QTest::newRow("three quarters of the rows: the rest is see-through")
        << header + 15 * row << 15 << QString();
    QTest::newRow("exactly half of the rows") << header + 10 * row << 10 << QString();
    QTest::newRow("a row cut in its middle counts as missing")
        << header + 12 * row + row / 2 << 12 << QString();
    QTest::newRow("less than half of the rows") << header + 9 * row << -1 << errors::truncated();
    QTest::newRow("header but no rows") << header << -1 << errors::truncated();
    QTest::newRow("header cut short") << 100 << -1 << errors::truncated();
    QTest::newRow("nothing at all") << 0 << -1 << errors::empty();
}

void TestPcxDecoder::truncatedFile() {
    QFETCH(int, length);
    QFETCH(int, rowsKept);
    QFETCH(QString, error);
    const PcxLayout layout{.planes = 3, .width = 12, .height = 20, .encoding = 0};
    const QImage pixels = makePixels(layout);
    const QByteArray file = testkit::pcx::file(layout, pixels).left(length);
    for (const bool sequential : {false, true}) {
        const LoadResult result = decode(file, {}, sequential);
        if (rowsKept < 0) {
            QVERIFY2(!result.ok(), "a mostly missing picture was reported as decoded");
            QCOMPARE(result.error, error);
            continue;
        }
        QVERIFY2(result.ok(), qPrintable(result.error));
        const QImage image = argb(result.picture->image);
        QCOMPARE(image.size(), pixels.size());
        QCOMPARE(image.copy(0, 0, layout.width, rowsKept),
                 argb(pixels).copy(0, 0, layout.width, rowsKept));
        for (int y = rowsKept; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(
                    qAlpha(image.pixel(x, y)) == 0,
                    qPrintable(
                        QStringLiteral("missing pixel %1,%2 is not see-through").arg(x).arg(y)));
    }
}

void TestPcxDecoder::everyPrefixIsHandled_data() {
    QTest::addColumn<PcxLayout>("layout");
    QTest::newRow("4-bit planar, runs across rows")
        << PcxLayout{.bits = 1, .planes = 4, .width = 11, .height = 9, .runsAcrossLines = true};
    QTest::newRow("8-bit with colours at the end")
        << PcxLayout{.width = 9, .height = 8, .colours = PcxLayout::Colours::Tail};
    QTest::newRow("32-bit with alpha") << PcxLayout{.planes = 4, .width = 6, .height = 6};
}

void TestPcxDecoder::everyPrefixIsHandled() {
    QFETCH(PcxLayout, layout);
    const QByteArray file = testkit::pcx::file(layout, makePixels(layout));
    for (qsizetype length = 0; length <= file.size(); ++length) {
        const LoadResult result = decode(file.left(length));
        if (!result.ok()) {
            QVERIFY2(!result.error.isEmpty(),
                     qPrintable(QStringLiteral("no reason at %1 bytes").arg(length)));
            continue;
        }
        QCOMPARE(result.picture->size, QSize(layout.width, layout.height));
        QCOMPARE(result.picture->image.size(), QSize(layout.width, layout.height));
    }
}

void TestPcxDecoder::brokenHeaderIsRefused_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    auto word = [](quint16 value) {
        return testkit::Bytes().u16(value).data();
    };
    // The base file: 8-bit, 10 × 10 at the origin, 10 bytes per row.
    QTest::newRow("right edge left of the left edge") << 4 << word(11) << errors::corrupt();
    QTest::newRow("bottom edge above the top edge") << 6 << word(11) << errors::corrupt();
    QTest::newRow("bytes per line one short of the width") << 66 << word(9) << errors::corrupt();
    QTest::newRow("bytes per line zero") << 66 << word(0) << errors::corrupt();
    QTest::newRow("two planes of 8 bits") << 65 << QByteArray(1, 2) << errors::unsupported();
    QTest::newRow("three bits per plane") << 3 << QByteArray(1, 3) << errors::unsupported();
    QTest::newRow("24 packed bits, bytes per line a third of the row")
        << 3 << QByteArray(1, 24) << errors::corrupt();
    QTest::newRow("five planes") << 65 << QByteArray(1, 5) << errors::unsupported();
    QTest::newRow("unknown coding") << 2 << QByteArray(1, 2) << errors::unsupported();
    QTest::newRow("unknown version") << 1 << QByteArray(1, 1) << errors::unsupported();
    QTest::newRow("wrong first byte") << 0 << QByteArray(1, 0x0B) << errors::unsupported();
}

void TestPcxDecoder::brokenHeaderIsRefused() {
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const PcxLayout layout{.width = 10, .height = 10};
    QByteArray file = testkit::pcx::file(layout, makePixels(layout));
    file.replace(offset, bytes.size(), bytes);
    const LoadResult result = decode(file);
    QVERIFY2(!result.ok(), "a broken header was decoded");
    QCOMPARE(result.error, error);
}

void TestPcxDecoder::hugeHeaderIsRefused_data() {
    QTest::addColumn<int>("xMax");
    QTest::addColumn<int>("yMax");
    QTest::addColumn<QSize>("visible");
    QTest::newRow("65536 × 65536, the largest a header can claim") << 65535 << 65535 << QSize();
    QTest::newRow("the largest, even when only a corner is wanted")
        << 65535 << 65535 << QSize(10, 10);
    QTest::newRow("one row over the pixel limit") << 16383 << 16384 << QSize();
}

void TestPcxDecoder::hugeHeaderIsRefused() {
    QFETCH(int, xMax);
    QFETCH(int, yMax);
    QFETCH(QSize, visible);
    QByteArray header = testkit::pcx::header({.planes = 3});
    qToLittleEndian(quint16(xMax), header.data() + 8);
    qToLittleEndian(quint16(yMax), header.data() + 10);
    qToLittleEndian(quint16(65535), header.data() + 66);
    const LoadResult result = decode(header + QByteArray(64, '\0'), visible);
    QVERIFY2(!result.ok(), "a picture over the pixel limit was decoded");
    QCOMPARE(result.error, errors::tooLarge());
}

void TestPcxDecoder::shortFileClaimingLargePicture_data() {
    QTest::addColumn<PcxLayout>("layout");
    QTest::addColumn<int>("dataBytes");
    QTest::newRow("8-bit at the pixel limit, a hundred bytes of data")
        << PcxLayout{.width = 16384, .height = 16384} << 100;
    QTest::newRow("24-bit at the pixel limit, stored raw, a megabyte of data")
        << PcxLayout{.planes = 3, .width = 16384, .height = 16384, .encoding = 0} << (1 << 20);
    QTest::newRow("one wide row, one byte short of the longest runs")
        << PcxLayout{.width = 63 * 1000, .height = 1} << 1999;
}

void TestPcxDecoder::shortFileClaimingLargePicture() {
    QFETCH(PcxLayout, layout);
    QFETCH(int, dataBytes);
    QByteArray file = testkit::pcx::header(layout);
    for (int i = 0; i < dataBytes / 2; ++i)
        file.append("\xFF\x11", 2);
    file.append(QByteArray(dataBytes % 2, '\x11'));
    const LoadResult result = decode(file);
    QVERIFY2(!result.ok(), "a picture with most of its data missing was decoded");
    QCOMPARE(result.error, errors::truncated());
}

void TestPcxDecoder::canRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("expected");
    const QByteArray good = testkit::pcx::header({.planes = 3, .width = 4, .height = 4});
    QTest::newRow("a header of ours") << good << true;
    QTest::newRow("ours, though its extent is broken")
        << QByteArray(good).replace(6, 2, QByteArray(2, '\xFF')) << true;
    QTest::newRow("header cut before the plane count") << good.left(60) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("a line of text") << QByteArray(128, 'a').prepend('\n') << false;
    QTest::newRow("a PNG signature")
        << QByteArray("\x89PNG\r\n\x1a\n").leftJustified(128, 0) << false;
    QTest::newRow("a multi-page container")
        << QByteArray("\xB1\x68\xDE\x3A", 4).leftJustified(128, 0) << false;
}

void TestPcxDecoder::canRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, expected);
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    QCOMPARE(pcx::canRead(device), expected);
    QCOMPARE(device.pos(), qint64(0));
    SequentialDevice sequential(bytes);
    QCOMPARE(pcx::canRead(sequential), expected);
    QCOMPARE(sequential.readAll(), bytes);
}

void TestPcxDecoder::mutatedFileIsHandled_data() {
    QTest::addColumn<QByteArray>("file");
    const PcxLayout planar{.bits = 1, .planes = 4, .width = 21, .height = 9};
    QTest::newRow("written 4-bit planar") << testkit::pcx::file(planar, makePixels(planar));
    const PcxLayout tail{.width = 9, .height = 7, .colours = PcxLayout::Colours::Tail};
    QTest::newRow("written 8-bit with colours at the end")
        << testkit::pcx::file(tail, makePixels(tail));
    for (const corpus::Entry &entry : corpus::entries({QStringLiteral("pcx/")}, "good")) {
        const QByteArray file = corpus::bytes(entry.path);
        if (!file.isEmpty() && file.size() <= 4096)
            QTest::newRow(qPrintable(entry.path)) << file;
    }
    // Fuzzing finds, kept so that they stay fixed.
    const QDir findings(QStringLiteral(GLIMRA_TEST_DATA_DIR "/pcx"), QStringLiteral("crash-*"));
    for (const QFileInfo &finding : findings.entryInfoList(QDir::Files)) {
        QFile file(finding.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(finding.fileName())) << file.readAll();
    }
}

void TestPcxDecoder::mutatedFileIsHandled() {
    QFETCH(QByteArray, file);
    // Every header byte, and about a hundred spots spread over the data, each set to a few
    // telling values.
    const qsizetype step = std::max<qsizetype>(1, (file.size() - pcx::HeaderSize) / 100);
    for (qsizetype offset = 0; offset < file.size();
         offset += offset < pcx::HeaderSize ? 1 : step) {
        const uchar original = uchar(file[offset]);
        for (const uchar value : {uchar(0x00), uchar(0xFF), uchar(0xC1), uchar(original + 1)}) {
            QByteArray mutated = file;
            mutated[offset] = char(value);
            const LoadResult result = decode(mutated, {}, offset % 2 == 1);
            const QString where = QStringLiteral("byte %1 set to %2").arg(offset).arg(value);
            if (!result.ok()) {
                QVERIFY2(!result.error.isEmpty(),
                         qPrintable(where + QStringLiteral(": no reason")));
                continue;
            }
            QVERIFY2(!result.picture->image.isNull(),
                     qPrintable(where + QStringLiteral(": null image")));
            QVERIFY2(result.picture->image.size() == result.picture->size,
                     qPrintable(where + QStringLiteral(": image and natural size differ")));
        }
    }
}

QTEST_GUILESS_MAIN(TestPcxDecoder)
#include "tst_pcx_decoder.moc"
