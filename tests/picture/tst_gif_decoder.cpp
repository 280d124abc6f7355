// The GIF decoder: frames built here for the cases the corpus doesn't pin down (the corpus's
// files are in the decoder contract).
#include "picture/gif_decoder.h"
#include "picture/picture_errors.h"
#include "tests/support/bytes.h"
#include "tests/support/image_compare.h"
#include "tools/picture_writers.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QRect>
#include <QTest>

using namespace picture;

namespace {

LoadResult decode(const QByteArray &bytes, QSize visible = {}) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    return gif::read(device, visible);
}

// A GIF of one frame: `indices` in the frame's row order, `colours` a global table of 2^n.
struct Built {
    QSize screen;
    QRect frame;
    QByteArray indices;
    bool interlaced = false;
    int transparent = -1;
    QList<QRgb> colours = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 0, 0), qRgb(0, 0, 255)};

    QByteArray file(const QByteArray &tail = QByteArrayLiteral("\x3B")) const {
        testkit::Bytes b;
        b.raw("GIF89a").u16(quint16(screen.width())).u16(quint16(screen.height()));
        int depth = 0;
        while ((2 << depth) < colours.size())
            ++depth;
        b.u8(quint8(0x80 | depth)).u8(0).u8(0);
        for (const QRgb c : colours)
            b.u8(quint8(qRed(c))).u8(quint8(qGreen(c))).u8(quint8(qBlue(c)));
        if (transparent >= 0)
            b.raw(QByteArray("\x21\xF9\x04\x01\0\0", 6)).u8(quint8(transparent)).u8(0);
        b.raw(",").u16(quint16(frame.x())).u16(quint16(frame.y()));
        b.u16(quint16(frame.width())).u16(quint16(frame.height()));
        QByteArray out = b.data();
        out.append(char(interlaced ? 0x40 : 0));
        const int minCodeSize = std::max(2, depth + 1);
        out.append(char(minCodeSize));
        const QByteArray data = writers::gifLzw(stored(), minCodeSize);
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const qsizetype n = std::min<qsizetype>(255, data.size() - at);
            out.append(char(n)).append(data.constData() + at, n);
        }
        return out.append('\0') + tail;
    }

    // The rows in the order the file stores them.
    QByteArray stored() const {
        if (!interlaced)
            return indices;
        QByteArray out;
        const int w = frame.width();
        for (const auto &[start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < frame.height(); y += step)
                out += indices.mid(qsizetype(y) * w, w);
        return out;
    }
};

// Frame pixels of a few colours in stripes and steps, so that rows differ from each other.
QByteArray pattern(QSize size, int colours) {
    QByteArray indices(qsizetype(size.width()) * size.height(), '\0');
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            indices[qsizetype(y) * size.width() + x] =
                char((x / 3 + y * 5 + (x * y) % 7) % colours);
    return indices;
}

// The screen and the first frame's place, read the way the file lays them out.
// Premultiplied, so every fully transparent pixel is 0 whatever colour it hides.
QImage premultiplied(const QImage &image) {
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

class TestGifDecoder : public QObject {
    Q_OBJECT

private slots:
    void builtFramesDecodeToTheirPixels_data();
    void builtFramesDecodeToTheirPixels();
    void partIsTheTopLeftOfTheWhole_data();
    void partIsTheTopLeftOfTheWhole();
    void partStopsAfterItsLastRow();
    void regressionFilesAreHandled();
};

void TestGifDecoder::builtFramesDecodeToTheirPixels_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255), red = qRgb(255, 0, 0), clear = 0;
    const auto image = [](int width, int height, const QList<QRgb> &pixels) {
        QImage out(width, height, QImage::Format_ARGB32_Premultiplied);
        for (int i = 0; i < pixels.size(); ++i)
            out.setPixel(i % width, i / width, pixels[i]);
        return out;
    };

    // Rows 0 to 9 of one column, row 1 white: interlaced, row 1 comes last but one pass.
    Built tall{QSize(1, 2), QRect(0, 0, 1, 10), QByteArray("\0\1\0\0\0\0\0\0\0\0", 10), true};
    QTest::newRow("an interlaced frame taller than the screen keeps its rows in place")
        << tall.file() << image(1, 2, {black, white});

    Built small{QSize(2, 2), QRect(0, 0, 2, 2), QByteArray("\1\2\2\1", 4)};
    const QByteArray smallFile = small.file(QByteArrayLiteral(""));
    QByteArray later = smallFile;
    later.append(",\0\0\0\0\xff\xff\xff\xff\0\x02\x02\x4c\x01\0;", 16);
    QTest::newRow("a later frame claiming 65535 x 65535 pixels is never allocated")
        << later << image(2, 2, {white, red, red, white});

    Built outside{QSize(3, 2), QRect(5, 7, 2, 2), QByteArray("\1\1\1\1", 4)};
    QTest::newRow("a first frame wholly outside the screen leaves it see-through")
        << outside.file() << image(3, 2, {clear, clear, clear, clear, clear, clear});

    // Its data ends after the one row that lies on the screen.
    Built huge{QSize(2, 1), QRect(1, 0, 65535, 65535), QByteArray(65535, '\1')};
    QTest::newRow("a first frame claiming 65535 x 65535 pixels is cut to the screen")
        << huge.file() << image(2, 1, {clear, white});

    Built offset{QSize(3, 3), QRect(1, 1, 4, 1), QByteArray("\2\1\1\1", 4)};
    offset.transparent = 1;
    QTest::newRow("a transparent colour, and a frame reaching past the right edge")
        << offset.file()
        << image(3, 3, {clear, clear, clear, clear, red, clear, clear, clear, clear});

    // The data ends after three pixels of four.
    Built early{QSize(2, 2), QRect(0, 0, 2, 2), QByteArray("\1\2\2", 3)};
    QTest::newRow("pixels the data never gives are see-through")
        << early.file() << image(2, 2, {white, red, red, clear});
}

void TestGifDecoder::builtFramesDecodeToTheirPixels() {
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const LoadResult result = decode(file);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->size, expected.size());
    const QImage actual = premultiplied(result.picture->image);
    const QString why =
        testkit::compare(actual, expected, 0, testkit::Blend::Premultiplied).describe();
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestGifDecoder::partIsTheTopLeftOfTheWhole_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("visible");
    for (const bool interlaced : {false, true}) {
        Built b{QSize(61, 47), QRect(3, 2, 70, 43), pattern({70, 43}, 4), interlaced, 2};
        const char *name = interlaced ? "interlaced" : "rows in order";
        for (const QSize visible :
             {QSize(1, 1), QSize(5, 3), QSize(20, 9), QSize(60, 46), QSize(500, 500)})
            QTest::addRow("%s, %dx%d", name, visible.width(), visible.height())
                << b.file() << visible;
    }
}

void TestGifDecoder::partIsTheTopLeftOfTheWhole() {
    QFETCH(QByteArray, file);
    QFETCH(QSize, visible);
    const LoadResult whole = decode(file);
    const LoadResult part = decode(file, visible);
    QVERIFY2(whole.ok() && part.ok(), qPrintable(whole.error + part.error));
    QCOMPARE(part.picture->size, whole.picture->size);
    const QSize expected = visible.boundedTo(whole.picture->size);
    QCOMPARE(part.picture->image.size(), expected);
    QCOMPARE(premultiplied(part.picture->image),
             premultiplied(whole.picture->image.copy(QRect(QPoint(0, 0), expected))));
}

// A file cut below the rows shown: the part shows, the whole is refused.
void TestGifDecoder::partStopsAfterItsLastRow() {
    for (const bool interlaced : {false, true}) {
        Built b{QSize(200, 200), QRect(0, 0, 200, 200), pattern({200, 200}, 4), interlaced};
        const QByteArray file = b.file();
        const QByteArray cut = file.left(file.size() * (interlaced ? 9 : 3) / 10);
        QCOMPARE(decode(cut).error, errors::truncated());
        const LoadResult part = decode(cut, QSize(50, interlaced ? 2 : 50));
        QVERIFY2(part.ok(), qPrintable(part.error));
        QCOMPARE(premultiplied(part.picture->image),
                 premultiplied(decode(file).picture->image.copy(part.picture->image.rect())));
    }
}

// Inputs that once made a decoder slow: the part a window shows comes back at once, as a
// picture or with a reason.
void TestGifDecoder::regressionFilesAreHandled() {
    const QDir data(QStringLiteral(GLIMRA_TEST_DATA_DIR "/gif"));
    const QStringList files = data.entryList(QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &name : files) {
        QFile file(data.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QElapsedTimer timer;
        timer.start();
        const LoadResult part = decode(file.readAll(), QSize(457, 568));
        QVERIFY2(part.ok() == part.error.isEmpty(), qPrintable(name));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(TestGifDecoder)
#include "tst_gif_decoder.moc"
