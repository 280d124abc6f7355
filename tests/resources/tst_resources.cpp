#include "tools/picture_writers.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

QString committed(const QString &name) {
    return QDir(QStringLiteral(GLIMRA_RESOURCES_DIR)).filePath(name);
}

QByteArray contents(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint32 u16(const QByteArray &b, qsizetype at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8;
}

quint32 u32(const QByteArray &b, qsizetype at) {
    return u16(b, at) | u16(b, at + 2) << 16;
}

const QStringList &allPictures() {
    static const QStringList names{"glimra.ico", "exit.bmp",  "about.gif", "info.gif",
                                   "hide.gif",   "close.gif", "photo.jpg"};
    return names;
}

// What the block structure of a GIF says, read independently of Qt's decoder.
struct GifLayout {
    QString problem; // empty: well formed
    QByteArray version;
    int width = 0, height = 0;
    int globalColours = 0;
    int images = 0;
    int imageWidth = 0, imageHeight = 0;
    bool localTable = false;
    int transparentIndex = -1;
};

GifLayout readGifLayout(const QByteArray &b) {
    GifLayout g;
    if (b.size() < 13) {
        g.problem = QStringLiteral("shorter than a header");
        return g;
    }
    g.version = b.left(6);
    g.width = int(u16(b, 6));
    g.height = int(u16(b, 8));
    const int flags = quint8(b[10]);
    qsizetype at = 13;
    if (flags & 0x80) {
        g.globalColours = 2 << (flags & 7);
        at += 3 * g.globalColours;
    }
    auto skipSubBlocks = [&]() {
        while (at < b.size()) {
            const int n = quint8(b[at++]);
            if (n == 0)
                return true;
            at += n;
        }
        return false;
    };
    while (at < b.size()) {
        const int introducer = quint8(b[at++]);
        if (introducer == 0x3B) {
            if (at != b.size())
                g.problem = QStringLiteral("bytes after the trailer");
            return g;
        }
        if (introducer == 0x21) {
            if (at + 1 >= b.size())
                break;
            const int label = quint8(b[at++]);
            if (label == 0xF9 && quint8(b[at]) == 4 && at + 6 <= b.size()) {
                if (quint8(b[at + 1]) & 1)
                    g.transparentIndex = quint8(b[at + 4]);
            }
            if (!skipSubBlocks())
                break;
        } else if (introducer == 0x2C) {
            if (at + 10 > b.size())
                break;
            ++g.images;
            g.imageWidth = int(u16(b, at + 4));
            g.imageHeight = int(u16(b, at + 6));
            const int imageFlags = quint8(b[at + 8]);
            at += 9;
            if (imageFlags & 0x80) {
                g.localTable = true;
                at += 3 * (2 << (imageFlags & 7));
            }
            ++at; // the LZW minimum code size
            if (!skipSubBlocks())
                break;
        } else {
            g.problem = QStringLiteral("unknown block 0x%1").arg(introducer, 2, 16, QChar('0'));
            return g;
        }
    }
    g.problem = QStringLiteral("ends without a trailer");
    return g;
}

// A palette whose entries differ in red, so a decoded pixel names its index.
QList<QRgb> distinctPalette() {
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.append(qRgb(i, 255 - i, (i * 7) & 0xFF));
    return palette;
}

// A fixed sequence of bytes, the same on every run.
QByteArray noise(qsizetype n, int levels) {
    QByteArray bytes(n, '\0');
    quint32 state = 12345;
    for (char &c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char((state >> 24) % quint32(levels));
    }
    return bytes;
}

} // namespace

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void fileSizes_data();
    void fileSizes();
    void iconEntries_data();
    void iconEntries();
    void bitmapLayout();
    void gifLayout_data();
    void gifLayout();
    void loadsWithQt_data();
    void loadsWithQt();
    void gifTransparency_data();
    void gifTransparency();
    void generatorReproducesCommittedFiles_data();
    void generatorReproducesCommittedFiles();

    void lzwRoundTrip_data();
    void lzwRoundTrip();
    void quantiser_data();
    void quantiser();
    void panelIndexing_data();
    void panelIndexing();

private:
    QTemporaryDir m_generated;
    QString m_generatorProblem;
};

void TestResources::initTestCase() {
    QVERIFY(m_generated.isValid());
    QProcess generator;
    generator.setProcessChannelMode(QProcess::MergedChannels);
    generator.start(QStringLiteral(MAKE_PICTURES), {m_generated.path()});
    // No time limit of our own: CTest's timeout covers a generator that never ends.
    if (!generator.waitForFinished(-1) || generator.exitStatus() != QProcess::NormalExit ||
        generator.exitCode() != 0)
        m_generatorProblem =
            QStringLiteral("make_pictures failed (%1): %2")
                .arg(generator.errorString(), QString::fromLocal8Bit(generator.readAll()));
}

void TestResources::fileSizes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("the icon holds six uncompressed images") << "glimra.ico" << qint64(22486);
    QTest::newRow("the exit bitmap is 32x32 at 32 bits, uncompressed")
        << "exit.bmp" << qint64(14 + 40 + 32 * 32 * 4);
}

void TestResources::fileSizes() {
    QFETCH(QString, name);
    QFETCH(qint64, bytes);
    QCOMPARE(QFileInfo(committed(name)).size(), bytes);
}

void TestResources::iconEntries_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<int>("bytes");
    // BITMAPINFOHEADER, a 256-entry palette or none, the XOR bits, the AND mask in 4-byte rows.
    QTest::newRow("16x16 in 256 colours") << 0 << 16 << 8 << 40 + 1024 + 256 + 16 * 4;
    QTest::newRow("16x16 in true colour with alpha") << 1 << 16 << 32 << 40 + 1024 + 16 * 4;
    QTest::newRow("32x32 in 256 colours") << 2 << 32 << 8 << 40 + 1024 + 1024 + 32 * 4;
    QTest::newRow("32x32 in true colour with alpha") << 3 << 32 << 32 << 40 + 4096 + 32 * 4;
    QTest::newRow("48x48 in 256 colours, mask rows padded from 6 to 8 bytes")
        << 4 << 48 << 8 << 40 + 1024 + 2304 + 48 * 8;
    QTest::newRow("48x48 in true colour with alpha") << 5 << 48 << 32 << 40 + 9216 + 48 * 8;
}

void TestResources::iconEntries() {
    QFETCH(int, entry);
    QFETCH(int, size);
    QFETCH(int, bitCount);
    QFETCH(int, bytes);
    const QByteArray ico = contents(committed(QStringLiteral("glimra.ico")));
    QVERIFY2(ico.size() >= 6 + 6 * 16, "the icon's directory is cut short");
    QCOMPARE(u16(ico, 0), 0u);
    QCOMPARE(u16(ico, 2), 1u);
    QCOMPARE(u16(ico, 4), 6u);

    // Each image follows the directory and the images before it, with no gap.
    quint32 expectedOffset = 6 + 6 * 16;
    for (int i = 0; i < entry; ++i)
        expectedOffset += u32(ico, 6 + i * 16 + 8);
    const qsizetype d = 6 + entry * 16;
    QCOMPARE(int(quint8(ico[d])), size);
    QCOMPARE(int(quint8(ico[d + 1])), size);
    QCOMPARE(int(quint8(ico[d + 2])), 0);
    QCOMPARE(int(u16(ico, d + 4)), 1);
    QCOMPARE(int(u16(ico, d + 6)), bitCount);
    QCOMPARE(int(u32(ico, d + 8)), bytes);
    QCOMPARE(u32(ico, d + 12), expectedOffset);
    QVERIFY2(expectedOffset + quint32(bytes) <= quint32(ico.size()),
             "the image runs past the end of the file");

    const QByteArray image = ico.mid(expectedOffset, bytes);
    QCOMPARE(u32(image, 0), 40u);
    QCOMPARE(int(u32(image, 4)), size);
    QCOMPARE(int(u32(image, 8)), 2 * size);
    QCOMPARE(int(u16(image, 12)), 1);
    QCOMPARE(int(u16(image, 14)), bitCount);
    QCOMPARE(u32(image, 16), 0u);

    // Where the AND mask lets the screen through, the XOR bits must be black, or the screen
    // is inverted there; where it does not, a true-colour pixel must not be transparent.
    const qsizetype paletteBytes = bitCount == 8 ? 1024 : 0;
    const qsizetype xorBytes = qsizetype(size) * size * bitCount / 8;
    const qsizetype maskStride = ((size + 31) / 32) * 4;
    int transparent = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const qsizetype maskByte = 40 + paletteBytes + xorBytes + y * maskStride + x / 8;
            const bool through = quint8(image[maskByte]) & (0x80 >> (x % 8));
            const qsizetype pixel = 40 + paletteBytes + (qsizetype(y) * size + x) * bitCount / 8;
            if (bitCount == 8) {
                const int index = quint8(image[pixel]);
                const quint32 colour = u32(image, 40 + index * 4) & 0xFFFFFF;
                if (through)
                    QVERIFY2(colour == 0, qPrintable(QStringLiteral("pixel %1,%2 not black "
                                                                    "under the mask")
                                                         .arg(x)
                                                         .arg(size - 1 - y)));
            } else {
                const quint32 bgra = u32(image, pixel);
                if (!through)
                    QVERIFY2(bgra >> 24 != 0, qPrintable(QStringLiteral("pixel %1,%2 shown by "
                                                                        "the mask has no alpha")
                                                             .arg(x)
                                                             .arg(size - 1 - y)));
                else if (bgra >> 24 == 0)
                    QCOMPARE(bgra, 0u);
            }
            transparent += through;
        }
    }
    QVERIFY2(transparent > 0 && transparent < size * size,
             "the icon should have both a shape and a transparent surround");
}

void TestResources::bitmapLayout() {
    const QByteArray bmp = contents(committed(QStringLiteral("exit.bmp")));
    QCOMPARE(bmp.size(), 4150);
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(u32(bmp, 2), 4150u);
    QCOMPARE(u32(bmp, 10), 54u);
    QCOMPARE(u32(bmp, 14), 40u);
    QCOMPARE(u32(bmp, 18), 32u);
    QCOMPARE(u32(bmp, 22), 32u);
    QCOMPARE(u16(bmp, 26), 1u);
    QCOMPARE(u16(bmp, 28), 32u);
    QCOMPARE(u32(bmp, 30), 0u); // BI_RGB
    for (qsizetype at = 54 + 3; at < bmp.size(); at += 4)
        QVERIFY2(bmp[at] == 0, qPrintable(QStringLiteral("byte %1 is not zero").arg(at)));
    // The rounded corners are the panel's grey, not black or white: the picture has no alpha.
    const qsizetype bottomLeft = 54;
    QCOMPARE(u32(bmp, bottomLeft), 0x00F0F0F0u);
}

void TestResources::gifLayout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("transparentIndex"); // -1: any index will do
    QTest::newRow("the about button") << "about.gif" << 36 << -1;
    QTest::newRow("the information page") << "info.gif" << 32 << -1;
    QTest::newRow("the hide arrow") << "hide.gif" << 36 << -1;
    QTest::newRow("the close button, transparent at index 0") << "close.gif" << 48 << 0;
}

void TestResources::gifLayout() {
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(int, transparentIndex);
    const GifLayout g = readGifLayout(contents(committed(name)));
    QVERIFY2(g.problem.isEmpty(), qPrintable(g.problem));
    QCOMPARE(g.version, QByteArray("GIF89a"));
    QCOMPARE(g.width, size);
    QCOMPARE(g.height, size);
    QCOMPARE(g.globalColours, 256);
    QCOMPARE(g.images, 1);
    QCOMPARE(g.imageWidth, size);
    QCOMPARE(g.imageHeight, size);
    QVERIFY(!g.localTable);
    QVERIFY2(g.transparentIndex >= 0, "no Graphic Control Extension with a transparent index");
    if (transparentIndex >= 0)
        QCOMPARE(g.transparentIndex, transparentIndex);
}

void TestResources::loadsWithQt_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("images");
    QTest::newRow("the icon, all six images")
        << "glimra.ico" << QByteArray("ico") << QSize(16, 16) << 6;
    QTest::newRow("the exit bitmap") << "exit.bmp" << QByteArray("bmp") << QSize(32, 32) << 1;
    QTest::newRow("the about button") << "about.gif" << QByteArray("gif") << QSize(36, 36) << 1;
    QTest::newRow("the information page") << "info.gif" << QByteArray("gif") << QSize(32, 32) << 1;
    QTest::newRow("the hide arrow") << "hide.gif" << QByteArray("gif") << QSize(36, 36) << 1;
    QTest::newRow("the close button") << "close.gif" << QByteArray("gif") << QSize(48, 48) << 1;
    QTest::newRow("the photograph, portrait")
        << "photo.jpg" << QByteArray("jpeg") << QSize(154, 260) << 1;
}

void TestResources::loadsWithQt() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(int, images);
    QImageReader reader(committed(name));
    QCOMPARE(reader.format(), format);
    if (images > 1)
        QCOMPARE(reader.imageCount(), images);
    const QList<int> iconSizes{16, 16, 32, 32, 48, 48};
    for (int i = 0; i < images; ++i) {
        QVERIFY(reader.jumpToImage(i) || i == 0);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        const QSize expected = images > 1 ? QSize(iconSizes[i], iconSizes[i]) : size;
        QCOMPARE(image.size(), expected);
    }
}

void TestResources::gifTransparency_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<bool>("transparent");
    QTest::newRow("about: the corner outside the button") << "about.gif" << QPoint(0, 0) << true;
    QTest::newRow("about: the button's middle") << "about.gif" << QPoint(18, 18) << false;
    QTest::newRow("info: beyond the folded corner") << "info.gif" << QPoint(25, 2) << true;
    QTest::newRow("info: the page below the ring") << "info.gif" << QPoint(8, 28) << false;
    QTest::newRow("info: the ring beside the question mark")
        << "info.gif" << QPoint(11, 19) << false;
    QTest::newRow("info: the question mark's stem shows the panel")
        << "info.gif" << QPoint(15, 20) << true;
    QTest::newRow("hide: above the arrow's shaft") << "hide.gif" << QPoint(30, 4) << true;
    QTest::newRow("hide: the shaft") << "hide.gif" << QPoint(25, 18) << false;
    QTest::newRow("close: the corner outside the button") << "close.gif" << QPoint(1, 1) << true;
    QTest::newRow("close: the tick") << "close.gif" << QPoint(20, 31) << false;
}

void TestResources::gifTransparency() {
    QFETCH(QString, name);
    QFETCH(QPoint, pixel);
    QFETCH(bool, transparent);
    const QImage image(committed(name));
    QVERIFY(!image.isNull());
    QCOMPARE(qAlpha(image.pixel(pixel)) == 0, transparent);
    if (!transparent)
        QCOMPARE(qAlpha(image.pixel(pixel)), 255);
}

void TestResources::generatorReproducesCommittedFiles_data() {
    QTest::addColumn<QString>("name");
    // The windows' pictures, and the desktop's larger icons drawn from the same camera.
    for (const QString &name : allPictures() + QStringList{"glimra-64.png", "glimra-128.png",
                                                           "glimra-256.png", "glimra.svg"})
        QTest::newRow(qPrintable(name + QStringLiteral(" is exactly what the generator makes")))
            << name;
}

void TestResources::generatorReproducesCommittedFiles() {
    QFETCH(QString, name);
    QVERIFY2(m_generatorProblem.isEmpty(), qPrintable(m_generatorProblem));
    const QByteArray made = contents(QDir(m_generated.path()).filePath(name));
    const QByteArray kept = contents(committed(name));
    QVERIFY2(!made.isEmpty(), "the generator wrote nothing");
    if (made != kept) {
        qsizetype at = 0;
        while (at < std::min(made.size(), kept.size()) && made[at] == kept[at])
            ++at;
        QFAIL(qPrintable(QStringLiteral("differs from byte %1 (made %2 bytes, committed %3); "
                                        "run make_pictures resources/")
                             .arg(at)
                             .arg(made.size())
                             .arg(kept.size())));
    }
}

void TestResources::lzwRoundTrip_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("indices");
    QTest::newRow("a single pixel") << QSize(1, 1) << QByteArray(1, char(200));
    QTest::newRow("every index once, in order") << QSize(256, 1) << [] {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        return all;
    }();
    QTest::newRow("one colour, so strings grow long")
        << QSize(300, 300) << QByteArray(90000, char(7));
    QTest::newRow("noise over all indices fills the code table many times")
        << QSize(256, 256) << noise(256 * 256, 256);
    QTest::newRow("noise over four indices, odd width") << QSize(131, 77) << noise(131 * 77, 4);
}

void TestResources::lzwRoundTrip() {
    QFETCH(QSize, size);
    QFETCH(QByteArray, indices);
    writers::IndexedPicture picture;
    picture.width = size.width();
    picture.height = size.height();
    picture.palette = distinctPalette();
    picture.indices = indices;
    QByteArray file = writers::gifFile(picture);
    QBuffer buffer(&file);
    QImageReader reader(&buffer, "gif");
    const QImage decoded = reader.read();
    QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(decoded.size(), size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int expected = quint8(indices[y * size.width() + x]);
            const int got = qRed(decoded.pixel(x, y));
            if (got != expected)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 decodes as %3, not %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(got)
                                     .arg(expected)));
        }
    }
}

void TestResources::quantiser_data() {
    QTest::addColumn<QList<QRgb>>("pixels");
    QTest::addColumn<int>("maxColours");
    QTest::addColumn<int>("tolerance"); // the largest difference in any channel allowed
    QList<QRgb> few;
    for (int i = 0; i < 40; ++i)
        few.append(qRgb(i * 6, 255 - i, i % 3 * 100));
    QTest::newRow("fewer colours than allowed are kept exactly") << few << 255 << 0;
    QList<QRgb> gradient;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            gradient.append(qRgb(x * 4, y * 4, 128));
    QTest::newRow("a smooth two-way gradient of 4096 colours") << gradient << 255 << 12;
    QList<QRgb> two;
    for (int i = 0; i < 1000; ++i)
        two.append(i % 10 == 0 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    QTest::newRow("a rare colour keeps its own entry") << two << 2 << 0;
}

void TestResources::quantiser() {
    QFETCH(QList<QRgb>, pixels);
    QFETCH(int, maxColours);
    QFETCH(int, tolerance);
    const QList<QRgb> palette = writers::quantise(pixels, maxColours);
    QVERIFY2(palette.size() <= maxColours, qPrintable(QString::number(palette.size())));
    for (QRgb p : pixels) {
        const QRgb q = palette[writers::nearestIndex(palette, p)];
        const int worst = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
        QVERIFY2(worst <= tolerance, qPrintable(QStringLiteral("#%1 is represented by #%2")
                                                    .arg(p & 0xFFFFFF, 6, 16, QChar('0'))
                                                    .arg(q & 0xFFFFFF, 6, 16, QChar('0'))));
    }
}

void TestResources::panelIndexing_data() {
    QTest::addColumn<QRgb>("pixel"); // not premultiplied
    QTest::addColumn<int>("transparentIndex");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<QRgb>("shown"); // the palette colour expected when not transparent
    QTest::newRow("a pixel with no coverage takes the transparent index")
        << qRgba(255, 0, 0, 0) << 0 << true << QRgb(0);
    QTest::newRow("the transparent index need not be 0")
        << qRgba(0, 0, 0, 0) << 200 << true << QRgb(0);
    QTest::newRow("an opaque pixel keeps its colour")
        << qRgb(10, 200, 30) << 0 << false << qRgb(10, 200, 30);
    QTest::newRow("a half-covered edge is blended on the panel, not made transparent")
        << qRgba(0, 0, 0, 128) << 0 << false << qRgb(0x78, 0x78, 0x78);
    QTest::newRow("a barely covered edge still shows, as nearly the panel")
        << qRgba(0, 0, 0, 1) << 0 << false << qRgb(0xEF, 0xEF, 0xEF);
    QTest::newRow("without a transparent index, nothing is transparent")
        << qRgba(0, 0, 0, 0) << -1 << false << qRgb(0xF0, 0xF0, 0xF0);
}

void TestResources::panelIndexing() {
    QFETCH(QRgb, pixel);
    QFETCH(int, transparentIndex);
    QFETCH(bool, transparent);
    QFETCH(QRgb, shown);
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, pixel);
    image.setPixel(1, 0, qRgb(0, 0, 255));
    const writers::IndexedPicture picture =
        writers::toPanelIndexed(image, qRgb(0xF0, 0xF0, 0xF0), transparentIndex);
    QCOMPARE(picture.palette.size(), 256);
    QCOMPARE(picture.indices.size(), 2);
    QCOMPARE(picture.transparentIndex, transparentIndex);
    const int index = quint8(picture.indices[0]);
    QCOMPARE(index == transparentIndex, transparent);
    if (!transparent)
        QCOMPARE(picture.palette[index] & 0xFFFFFF, shown & 0xFFFFFF);
    QVERIFY2(quint8(picture.indices[1]) != transparentIndex, "an opaque pixel became transparent");
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
