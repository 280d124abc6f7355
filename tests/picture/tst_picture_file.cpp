#include "decoder_contract.h"
#include "picture/picture_errors.h"
#include "picture/picture_file.h"
#include "tests/support/bytes.h"
#include "tests/support/corpus.h"
#include "tests/support/image_compare.h"
#include "tests/support/sequential_device.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstring>
#include <sys/stat.h>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using picture::Format;
using picture::LoadResult;
namespace errors = picture::errors;

namespace {

const QString corpusDir = QStringLiteral(GLIMRA_CORPUS_DIR);

struct CorpusFile {
    QString path; // relative to the corpus
    QString kind; // good, bad, questionable
};

// The formats this module decodes itself or through Qt; the others have their own tests.
const QStringList ourFormats = {"bmp", "gif", "jpeg", "ico", "cur"};

QList<CorpusFile> corpusFiles(const QString &kind) {
    QList<CorpusFile> files;
    QStringList folders;
    for (const QString &format : ourFormats)
        folders.append(format + u'/');
    for (const corpus::Entry &entry : corpus::entries(folders, kind))
        files.append({entry.path, entry.kind});
    return files;
}

QByteArray corpusBytes(const QString &path) {
    return corpus::bytes(path);
}

LoadResult readBytes(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::readPicture(buffer);
}

quint16 le16(const QByteArray &b, qsizetype at) {
    return at + 2 <= b.size() ? qFromLittleEndian<quint16>(b.constData() + at) : 0;
}
qint32 le32(const QByteArray &b, qsizetype at) {
    return at + 4 <= b.size() ? qFromLittleEndian<qint32>(b.constData() + at) : 0;
}
quint16 be16(const QByteArray &b, qsizetype at) {
    return at + 2 <= b.size() ? qFromBigEndian<quint16>(b.constData() + at) : 0;
}

// The size a JPEG's start-of-frame segment gives.
QSize jpegFrameSize(const QByteArray &b) {
    qsizetype at = 2;
    while (at + 4 <= b.size()) {
        if (quint8(b[at]) != 0xFF)
            return {};
        const int marker = quint8(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return QSize(be16(b, at + 7), be16(b, at + 5));
        at += 2 + be16(b, at + 2);
    }
    return {};
}

QSize bmpHeaderSize(const QByteArray &b) {
    if (le32(b, 14) == 12)
        return QSize(le16(b, 18), le16(b, 20));
    return QSize(le32(b, 18), std::abs(le32(b, 22)));
}

// The size of each entry: the directory's, or the PNG's own for a PNG entry.
QList<QSize> iconEntrySizes(const QByteArray &b) {
    QList<QSize> sizes;
    for (int i = 0; i < le16(b, 4) && 6 + 16 * (i + 1) <= b.size(); ++i) {
        const int w = quint8(b[6 + 16 * i]), h = quint8(b[7 + 16 * i]);
        const qsizetype offset = quint32(le32(b, 6 + 16 * i + 12));
        if (b.mid(offset, 4) == "\x89PNG")
            sizes.append(QSize(qFromBigEndian<qint32>(b.constData() + offset + 16),
                               qFromBigEndian<qint32>(b.constData() + offset + 20)));
        else
            sizes.append(QSize(w ? w : 256, h ? h : 256));
    }
    return sizes;
}

// Good files we refuse on purpose, and why.
const QHash<QString, QString> goodButRefused = {
    // A 1.4 kB file whose header claims 64250 x 64250 pixels, far beyond MaxPixels.
    {"jpeg/gdk-pixbuf/issue205.jpg", errors::tooLarge()},
    // A JPEG start, stray bytes, then segments without a quantisation table: nothing to decode.
    {"jpeg/gdk-pixbuf/bug775218.jpg", errors::corrupt()},
    // A baseline JPEG cut inside its only scan: the missing rows would show as flat grey.
    {"jpeg/gdk-pixbuf/bug753605-atsize.jpg", errors::truncated()},
};

// Bad files we show on purpose, and why.
// Bad files that a decoder shows on purpose: its row in the decoder contract says why.
QString shownOnPurpose(const QString &path) {
    static const QList<contract::Format> rows = {contract::gif(), contract::jpeg()};
    for (const contract::Format &row : rows)
        if (path.startsWith(row.name + u'/'))
            return row.keptBad.value(path);
    return {};
}

int distanceFrom32(QSize s) {
    return std::abs(s.width() - 32) + std::abs(s.height() - 32);
}

// The first frame a GIF test-suite case expects, as raw RGBA.
QImage gifSuiteFirstFrame(const QString &gifPath) {
    const QString base = corpusDir + '/' + gifPath.chopped(4);
    QFile conf(base + ".conf");
    if (!conf.open(QIODevice::ReadOnly))
        return {};
    int width = 0, height = 0;
    QString pixels;
    while (!conf.atEnd()) {
        const QString line = QString::fromUtf8(conf.readLine()).trimmed();
        const QString value = line.section('=', 1).trimmed();
        if (line.startsWith("width "))
            width = value.toInt();
        else if (line.startsWith("height "))
            height = value.toInt();
        else if (line.startsWith("pixels ") && pixels.isEmpty())
            pixels = value;
    }
    QFile raw(QFileInfo(base).path() + '/' + pixels);
    if (pixels.isEmpty() || !raw.open(QIODevice::ReadOnly))
        return {};
    const QByteArray rgba = raw.readAll();
    if (rgba.size() != qsizetype(width) * height * 4)
        return {};
    return QImage(reinterpret_cast<const uchar *>(rgba.constData()), width, height, width * 4,
                  QImage::Format_RGBA8888)
        .copy();
}

// The references for the picture a GIF, icon or cursor shows, when the corpus has one.
QList<QImage> references(const QString &path, const QByteArray &bytes) {
    QList<QImage> images;
    const QString full = corpusDir + '/' + path;
    if (path.startsWith("gif/")) {
        // Only still pictures: for an animation the reference may combine several frames.
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        if (QImageReader(&buffer, "gif").imageCount() != 1)
            return images;
        if (path.startsWith("gif/gif-test-suite/"))
            images.append(gifSuiteFirstFrame(path));
        else if (QFile::exists(full + ".ref.png"))
            images.append(QImage(full + ".ref.png"));
    } else {
        const QFileInfo info(full);
        const QStringList refs = info.dir().entryList(
            {info.fileName() + ".ref.png", info.fileName() + ".entry-*.ref.png"}, QDir::Files);
        for (const QString &ref : refs)
            images.append(QImage(info.dir().filePath(ref)));
    }
    images.removeIf([](const QImage &image) { return image.isNull(); });
    return images;
}

QString describe(const LoadResult &result) {
    if (!result.ok())
        return "refused: " + result.error;
    return QStringLiteral("loaded %1x%2")
        .arg(result.picture->size.width())
        .arg(result.picture->size.height());
}

// --- Icon files built for the tests -----------------------------------------------------------

struct TestEntry {
    int width;
    int height;
    int bitCount;
    QRgb colour;
    int directoryWidth = -1; // -1: as the picture; 0 stands for 256
    int alpha = 255;         // of 32-bit pixels
    int maskedColumns = 0;   // columns from the left whose AND-mask bit is set
    QRgb topColour = 0;      // when set, the colour of the upper half (true-colour entries)
    bool topDown = false;
    int headerSize = 40;
};

// One bitmap entry: header, colour table (entry 0 is the colour, the rest black), colour rows
// and the AND mask.
QByteArray bitmapEntry(const TestEntry &e) {
    const int colours = e.bitCount <= 8 ? 1 << e.bitCount : 0;
    const int stride = (e.width * e.bitCount + 31) / 32 * 4;
    const int maskStride = (e.width + 31) / 32 * 4;
    testkit::Bytes b;
    b.u32(quint32(e.headerSize)).i32(e.width).i32(e.topDown ? -2 * e.height : 2 * e.height);
    b.u16(1).u16(quint16(e.bitCount)).raw(QByteArray(e.headerSize - 16, '\0'));
    for (int i = 0; i < colours; ++i)
        b.u32(i == 0 ? (e.colour & 0xFFFFFF) : 0);
    QByteArray out = b.data();
    for (int stored = 0; stored < e.height; ++stored) {
        const int y = e.topDown ? stored : e.height - 1 - stored;
        const QRgb colour = e.topColour && y < e.height / 2 ? e.topColour : e.colour;
        QByteArray row(stride, '\0');
        for (int x = 0; e.bitCount >= 24 && x < e.width; ++x) {
            char *p = row.data() + x * (e.bitCount / 8);
            p[0] = char(qBlue(colour));
            p[1] = char(qGreen(colour));
            p[2] = char(qRed(colour));
            if (e.bitCount == 32)
                p[3] = char(e.alpha);
        }
        out += row;
    }
    QByteArray maskRow(maskStride, '\0');
    for (int x = 0; x < e.maskedColumns; ++x)
        maskRow[x / 8] = char(maskRow[x / 8] | (0x80 >> (x % 8)));
    for (int y = 0; y < e.height; ++y)
        out += maskRow;
    return out;
}

QByteArray iconFile(const QList<TestEntry> &entries, int type = 1) {
    testkit::Bytes out;
    out.u16(0).u16(quint16(type)).u16(quint16(entries.size()));
    QList<QByteArray> images;
    for (const TestEntry &e : entries)
        images.append(bitmapEntry(e));
    quint32 offset = 6 + 16 * quint32(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const TestEntry &e = entries[i];
        const int dirWidth = e.directoryWidth >= 0 ? e.directoryWidth : e.width;
        out.u8(quint8(dirWidth)).u8(quint8(e.height == 256 ? 0 : e.height));
        out.u8(quint8(e.bitCount <= 8 ? (1 << e.bitCount) & 0xFF : 0)).u8(0);
        if (type == 2) // a cursor keeps its hot spot where an icon keeps planes and depth
            out.u16(3).u16(7);
        else
            out.u16(1).u16(quint16(e.bitCount));
        out.u32(quint32(images[i].size())).u32(offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &image : images)
        out.raw(image);
    return out.data();
}

QByteArray jpegBytes(QSize size, int quality = 20, bool progressive = false) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(40, 120, 200));
    // Some detail, so that the scans hold more than a few bytes.
    for (int y = 0; y < size.height() && size.width() <= 1024; ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 13) & 0xFF, (x * y) & 0xFF));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray gifHeader(quint16 width, quint16 height) {
    testkit::Bytes out;
    out.raw("GIF89a").u16(width).u16(height);
    out.u8(0x80).u8(0).u8(0); // two-colour global table
    return out.raw(QByteArray("\0\0\0\xff\xff\xff", 6)).data();
}

// A whole 1 x 1 GIF: one frame, one pixel of colour 1.
QByteArray tinyGif() {
    QByteArray out = gifHeader(1, 1);
    out.append(",\0\0\0\0\x01\0\x01\0\0", 10);
    out.append("\x02\x02\x4c\x01\0", 5); // clear, 1, end
    out.append(';');
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestPictureFile : public QObject {
    Q_OBJECT

private slots:
    void goodCorpusFilesLoad_data();
    void goodCorpusFilesLoad();
    void badCorpusFilesAreRefused_data();
    void badCorpusFilesAreRefused();
    void questionableCorpusFilesNeverCrash_data();
    void questionableCorpusFilesNeverCrash();
    void formatComesFromContent_data();
    void formatComesFromContent();
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
    void sequentialDevicesAreRead_data();
    void sequentialDevicesAreRead();
    void unreadableFileIsRefused();
    void relativeNameResolvesAgainstWorkingDirectory();
    void oversizedHeadersAreRefused_data();
    void oversizedHeadersAreRefused();
    void largePhotographLoads();
    void damagedGifsAreRefused_data();
    void damagedGifsAreRefused();
    void gifFirstFrame_data();
    void gifFirstFrame();
    void cutShortJpegs_data();
    void cutShortJpegs();
    void iconEntryChoice_data();
    void iconEntryChoice();
    void iconEntryPixels_data();
    void iconEntryPixels();
    void inconsistentIconsAreRefused_data();
    void inconsistentIconsAreRefused();
};

// --- Third-party files -------------------------------------------------------------------------

void TestPictureFile::goodCorpusFilesLoad_data() {
    QTest::addColumn<QString>("path");
    const QList<CorpusFile> files = corpusFiles("good");
    if (files.isEmpty())
        QSKIP("The third-party corpus is not there.");
    for (const CorpusFile &f : files)
        QTest::newRow(qPrintable(f.path)) << f.path;
}

void TestPictureFile::goodCorpusFilesLoad() {
    QFETCH(QString, path);
    const QByteArray bytes = corpusBytes(path);
    const QString format = path.section('/', 0, 0);
    const LoadResult result = picture::loadPictureFile((corpusDir + '/' + path).toStdString());
    if (goodButRefused.contains(path)) {
        QCOMPARE(result.error, goodButRefused.value(path));
        return;
    }
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    const picture::Picture &shown = *result.picture;
    QCOMPARE(shown.size, shown.image.size());

    if (format == "jpeg") {
        QCOMPARE(shown.format, Format::Jpeg);
        // The size as shown: the frame's, turned when Qt's reading of the Exif data turns it.
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer, "jpeg");
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        QCOMPARE(shown.size, turned ? jpegFrameSize(bytes).transposed() : jpegFrameSize(bytes));
    } else if (format == "gif") {
        QCOMPARE(shown.format, Format::Gif);
        QCOMPARE(shown.size, QSize(le16(bytes, 6), le16(bytes, 8)));
    } else if (format == "bmp") {
        QCOMPARE(shown.format, Format::Bmp);
        QCOMPARE(shown.size, bmpHeaderSize(bytes));
    } else {
        QCOMPARE(shown.format, le16(bytes, 2) == 2 ? Format::Cursor : Format::Icon);
        const QList<QSize> sizes = iconEntrySizes(bytes);
        QVERIFY2(sizes.contains(shown.size), "the picture is none of the directory's entries");
        for (QSize other : sizes)
            QVERIFY2(distanceFrom32(shown.size) <= distanceFrom32(other),
                     qPrintable(QStringLiteral("an entry of %1x%2 is closer to 32 x 32")
                                    .arg(other.width())
                                    .arg(other.height())));
    }

    // GIF and icon pixels are exact colours from a palette or the file; premultiplying
    // semi-transparent icon pixels rounds by at most one step per channel.
    if (format != "jpeg" && format != "bmp") {
        const QList<QImage> refs = references(path, bytes);
        QStringList differences;
        bool sameSize = false;
        for (const QImage &ref : refs) {
            if (ref.size() != shown.size)
                continue;
            sameSize = true;
            const QString difference =
                testkit::compare(shown.image, ref, 1, testkit::Blend::Premultiplied).describe();
            if (difference.isEmpty())
                return;
            differences.append(difference);
        }
        QVERIFY2(!sameSize, qPrintable(differences.join("; ")));
    }

    const LoadResult fromBuffer = readBytes(bytes);
    QVERIFY2(fromBuffer.ok(), qPrintable(describe(fromBuffer)));
    QCOMPARE(fromBuffer.picture->image, shown.image);
}

void TestPictureFile::badCorpusFilesAreRefused_data() {
    QTest::addColumn<QString>("path");
    const QList<CorpusFile> files = corpusFiles("bad");
    if (files.isEmpty())
        QSKIP("The third-party corpus is not there.");
    for (const CorpusFile &f : files)
        QTest::newRow(qPrintable(f.path)) << f.path;
}

void TestPictureFile::badCorpusFilesAreRefused() {
    QFETCH(QString, path);
    const QByteArray bytes = corpusBytes(path);
    const LoadResult fromBuffer = readBytes(bytes);
    QVERIFY2(fromBuffer.ok() == fromBuffer.error.isEmpty(),
             "a refusal must say why, and a picture comes without a reason");
    if (const QString reason = shownOnPurpose(path); !reason.isEmpty()) {
        QVERIFY2(fromBuffer.ok(), qPrintable(reason));
        return;
    }
    // Which broken bitmaps are still worth showing, and why, the bitmap decoder's own test
    // says file by file; here they must be read safely, alike from a file and from memory.
    if (!path.startsWith("bmp/"))
        QVERIFY2(!fromBuffer.ok(), qPrintable(describe(fromBuffer)));
    if (!path.endsWith(".rc4")) {
        const LoadResult fromFile =
            picture::loadPictureFile((corpusDir + '/' + path).toStdString());
        QCOMPARE(fromFile.ok(), fromBuffer.ok());
        QCOMPARE(fromFile.error, fromBuffer.error);
    }
}

void TestPictureFile::questionableCorpusFilesNeverCrash_data() {
    QTest::addColumn<QString>("path");
    const QList<CorpusFile> files = corpusFiles("questionable");
    if (files.isEmpty())
        QSKIP("The third-party corpus is not there.");
    for (const CorpusFile &f : files)
        QTest::newRow(qPrintable(f.path)) << f.path;
}

void TestPictureFile::questionableCorpusFilesNeverCrash() {
    QFETCH(QString, path);
    const QByteArray bytes = corpusBytes(path);
    const LoadResult fromBuffer = readBytes(bytes);
    QVERIFY2(fromBuffer.ok() == fromBuffer.error.isEmpty(),
             "a refusal must say why, and a picture comes without a reason");
    if (fromBuffer.ok())
        QCOMPARE(fromBuffer.picture->size, fromBuffer.picture->image.size());
    if (!path.endsWith(".rc4")) {
        const LoadResult fromFile =
            picture::loadPictureFile((corpusDir + '/' + path).toStdString());
        QCOMPARE(fromFile.ok(), fromBuffer.ok());
        QCOMPARE(fromFile.error, fromBuffer.error);
    }
}

// --- Files made here ---------------------------------------------------------------------------

void TestPictureFile::formatComesFromContent_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("error");

    QTest::newRow("a JPEG named .bmp loads") << "photo.bmp" << jpegBytes({40, 30}) << true << "";
    QTest::newRow("a GIF named .ico loads") << "icon.ico" << tinyGif() << true << "";
    QTest::newRow("an icon named .txt loads")
        << "notes.txt" << iconFile({{16, 16, 8, qRgb(255, 0, 0)}}) << true << "";
    QTest::newRow("a text file named .jpg is refused")
        << "photo.jpg" << QByteArray("Not a picture at all, just words.\n") << false
        << errors::unsupported();
    QTest::newRow("a JPEG signature with nothing after it is cut short")
        << "photo.jpg" << QByteArray("\xFF\xD8\xFF", 3) << false << errors::truncated();
    QTest::newRow("a GIF signature alone is cut short")
        << "anim.gif" << QByteArray("GIF89a") << false << errors::truncated();
    QTest::newRow("a file too short for a PCX header is not taken for one")
        << "scan.pcx" << QByteArray("\x0A\x05\x01\x08\0\0\0\0\x0f\0\x0f\0", 12) << false
        << errors::unsupported();
    QTest::newRow("a placeable metafile key named .jpg is read as a metafile cut short")
        << "drawing.jpg" << QByteArray("\xD7\xCD\xC6\x9A\0\0", 6) << false << errors::truncated();
}

void TestPictureFile::formatComesFromContent() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath(name), bytes));
    const LoadResult result = picture::loadPictureFile(dir.filePath(name).toStdString());
    QCOMPARE(result.ok(), loads);
    QCOMPARE(result.error, error);
}

void TestPictureFile::onlyRegularFilesAreRead_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("error");
    QTest::newRow("a FIFO named photo.jpg is refused at once") << "fifo" << errors::notAFile();
    QTest::newRow("a folder named x.gif is refused") << "folder" << errors::notAFile();
    QTest::newRow("a missing file is reported missing") << "missing" << errors::notFound();
    QTest::newRow("a name under a missing folder is reported missing")
        << "missing folder" << errors::notFound();
    QTest::newRow("an empty file is reported empty") << "empty" << errors::empty();
}

void TestPictureFile::onlyRegularFilesAreRead() {
    QFETCH(QString, what);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path;
    if (what == "fifo") {
#ifdef Q_OS_WIN
        QSKIP("Windows has no FIFOs in the file system.");
#else
        path = dir.filePath("photo.jpg");
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#endif
    } else if (what == "folder") {
        path = dir.filePath("x.gif");
        QVERIFY(QDir(dir.path()).mkdir("x.gif"));
    } else if (what == "missing") {
        path = dir.filePath("gone.jpg");
    } else if (what == "missing folder") {
        path = dir.filePath("nowhere/gone.jpg");
    } else {
        path = dir.filePath("empty.gif");
        QVERIFY(writeFile(path, {}));
    }
    // A FIFO with no writer would block an ordinary open() for ever; the test would hang here.
    const LoadResult result = picture::loadPictureFile(path.toStdString());
    QVERIFY(!result.ok());
    QCOMPARE(result.error, error);
}

void TestPictureFile::sequentialDevicesAreRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::newRow("a GIF from a pipe") << tinyGif() << QSize(1, 1);
    QTest::newRow("a JPEG from a pipe") << jpegBytes({30, 20}) << QSize(30, 20);
    QTest::newRow("an icon from a pipe")
        << iconFile({{16, 16, 4, qRgb(0, 0, 255)}, {32, 32, 8, qRgb(255, 0, 0)}}) << QSize(32, 32);
    QTest::newRow("nothing from a pipe") << QByteArray() << QSize();
}

void TestPictureFile::sequentialDevicesAreRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    SequentialDevice device(bytes);
    const LoadResult result = picture::readPicture(device);
    if (size.isEmpty()) {
        QCOMPARE(result.error, errors::empty());
        return;
    }
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    QCOMPARE(result.picture->size, size);
}

void TestPictureFile::unreadableFileIsRefused() {
#ifdef Q_OS_WIN
    QSKIP("Permissions are not set with chmod on Windows.");
#else
    if (::geteuid() == 0)
        QSKIP("Root reads any file whatever its permissions.");
    QTemporaryDir dir;
    const QString path = dir.filePath("secret.gif");
    QVERIFY(writeFile(path, tinyGif()));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
    const LoadResult result = picture::loadPictureFile(path.toStdString());
    QVERIFY(!result.ok());
    QCOMPARE(result.error, errors::cannotOpen());
#endif
}

void TestPictureFile::relativeNameResolvesAgainstWorkingDirectory() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath("here.gif"), tinyGif()));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const LoadResult result = picture::loadPictureFile("here.gif");
    QDir::setCurrent(previous);
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    QCOMPARE(result.picture->size, QSize(1, 1));
}

void TestPictureFile::oversizedHeadersAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");

    testkit::Bytes bmp;
    bmp.raw("BM").u32(1000).u32(0).u32(54).u32(40).u32(100000).u32(100000).u16(1).u16(24);
    bmp.raw(QByteArray(24, '\0')).raw(QByteArray(64, '\x55'));
    QTest::newRow("a BMP claiming 100000 x 100000 pixels") << bmp.data();

    QByteArray gif = gifHeader(65535, 65535);
    gif.append(",\0\0\0\0\xff\xff\xff\xff\0\x02\x02\x4c\x01\0;", 16);
    QTest::newRow("a GIF claiming 65535 x 65535 pixels") << gif;

    QByteArray jpeg = jpegBytes({16, 16});
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    qToBigEndian<quint16>(60000, jpeg.data() + sof + 5);
    qToBigEndian<quint16>(60000, jpeg.data() + sof + 7);
    QTest::newRow("a JPEG claiming 60000 x 60000 pixels") << jpeg;
}

void TestPictureFile::oversizedHeadersAreRefused() {
    QFETCH(QByteArray, bytes);
    const LoadResult result = readBytes(bytes);
    QVERIFY2(!result.ok(), qPrintable(describe(result)));
    QCOMPARE(result.error, errors::tooLarge());
}

void TestPictureFile::largePhotographLoads() {
    // Beyond Qt's default allocation limit of 128 MB once decoded.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("camera.jpg");
    QVERIFY(writeFile(path, jpegBytes({8000, 6000}, 5)));
    const LoadResult result = picture::loadPictureFile(path.toStdString());
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    QCOMPARE(result.picture->size, QSize(8000, 6000));
    QCOMPARE(result.picture->image.pixel(7999, 5999) & 0xFFFFFF,
             result.picture->image.pixel(0, 0) & 0xFFFFFF);
}

void TestPictureFile::damagedGifsAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray whole = tinyGif();
    QTest::newRow("the whole picture loads") << whole << QString();
    QTest::newRow("without its trailer byte it still loads") << whole.chopped(1) << QString();
    QTest::newRow("cut inside the pixel data") << whole.chopped(3) << errors::truncated();
    QTest::newRow("cut inside the frame header") << whole.left(20) << errors::truncated();

    QByteArray undefinedCode = gifHeader(1, 1);
    undefinedCode.append(",\0\0\0\0\x01\0\x01\0\0", 10);
    undefinedCode.append("\x02\x01\x07\0;", 5); // code 7 before any string is defined
    QTest::newRow("an LZW code that refers to nothing") << undefinedCode << errors::corrupt();

    QByteArray outsidePalette = gifHeader(1, 1);
    outsidePalette.append(",\0\0\0\0\x01\0\x01\0\0", 10);
    outsidePalette.append("\x02\x02\x5c\x01\0;", 6); // clear, colour 3 of 2, end
    QTest::newRow("a colour beyond the palette") << outsidePalette << errors::corrupt();

    QByteArray tooManyPixels = gifHeader(1, 1);
    tooManyPixels.append(",\0\0\0\0\x01\0\x01\0\0", 10);
    tooManyPixels.append("\x02\x02\x4c\x0a\0;", 6); // clear, 1, 1, end: two pixels for one
    QTest::newRow("more pixels than the frame holds") << tooManyPixels << errors::corrupt();

    QByteArray farAway = whole.chopped(1);
    farAway.append(",\xff\xff\xff\xff\x01\0\x01\0\0\x02\x02\x4c\x01\0;", 16);
    QTest::newRow("a second frame placed 65535 pixels away is never shown") << farAway << QString();

    QByteArray fewRows = gifHeader(1, 3);
    fewRows.append(",\0\0\0\0\x01\0\x03\0\0", 10).append("\x02\x02\x4c\x01\0;", 6);
    QTest::newRow("data that ends before half of the rows") << fewRows << errors::truncated();

    QByteArray noMinCode = gifHeader(1, 1);
    noMinCode.append(",\0\0\0\0\x01\0\x01\0\0\0\x01\x01\0;", 15);
    QTest::newRow("an LZW minimum code size of 0") << noMinCode << errors::corrupt();

    QByteArray noFrame = gifHeader(1, 1);
    noFrame.append(";");
    QTest::newRow("no frame at all") << noFrame << errors::corrupt();
}

void TestPictureFile::damagedGifsAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const LoadResult result = readBytes(bytes);
    QCOMPARE(result.error, error);
    QCOMPARE(result.ok(), error.isEmpty());
}

void TestPictureFile::gifFirstFrame_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QRgb>("pixel");
    const QRgb white = qRgb(255, 255, 255), clear = 0;
    const QByteArray onePixel("\x02\x02\x4c\x01\0", 5);  // clear, colour 1, end
    const QByteArray twoPixels("\x02\x02\x4c\x0a\0", 5); // clear, 1, 1, end

    QTest::newRow("a frame covering the screen")
        << tinyGif() << QSize(1, 1) << QPoint(0, 0) << white;

    QByteArray narrowFrame = gifHeader(2, 1);
    narrowFrame.append(",\0\0\0\0\x01\0\x01\0\0", 10).append(onePixel).append(';');
    QTest::newRow("inside the first frame") << narrowFrame << QSize(2, 1) << QPoint(0, 0) << white;
    QTest::newRow("outside the first frame is see-through")
        << narrowFrame << QSize(2, 1) << QPoint(1, 0) << clear;

    QByteArray wideFrame = gifHeader(1, 1);
    wideFrame.append(",\0\0\0\0\x02\0\x01\0\0", 10).append(twoPixels).append(';');
    QTest::newRow("a first frame reaching past the screen is cut to it")
        << wideFrame << QSize(1, 1) << QPoint(0, 0) << white;

    QByteArray transparent = gifHeader(1, 1);
    transparent.append("!\xf9\x04\x01\0\0\x01\0", 8); // colour 1 is transparent
    transparent.append(",\0\0\0\0\x01\0\x01\0\0", 10).append(onePixel).append(';');
    QTest::newRow("the transparent colour is see-through")
        << transparent << QSize(1, 1) << QPoint(0, 0) << clear;
}

void TestPictureFile::gifFirstFrame() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QPoint, point);
    QFETCH(QRgb, pixel);
    const LoadResult result = readBytes(bytes);
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    QCOMPARE(result.picture->size, size);
    QCOMPARE(result.picture->image.size(), size);
    const QRgb actual = result.picture->image.pixel(point);
    if (qAlpha(pixel) == 0)
        QCOMPARE(qAlpha(actual), 0);
    else
        QCOMPARE(actual, pixel);
}

void TestPictureFile::cutShortJpegs_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray baseline = jpegBytes({64, 64}, 90);
    const QByteArray progressive = jpegBytes({64, 64}, 90, true);
    const qsizetype firstScan = progressive.indexOf("\xFF\xDA");
    const qsizetype lastScan = progressive.lastIndexOf("\xFF\xDA");
    QVERIFY(firstScan > 0 && lastScan > firstScan);

    QTest::newRow("a whole baseline JPEG loads") << baseline << QString();
    QTest::newRow("bytes after the end marker are left alone")
        << baseline + "trailing words" << QString();
    QTest::newRow("a baseline JPEG cut inside its scan")
        << baseline.left(baseline.size() / 2) << errors::truncated();
    QTest::newRow("a baseline JPEG without its end marker")
        << baseline.chopped(2) << errors::truncated();
    QTest::newRow("a JPEG cut inside a header segment") << baseline.left(30) << errors::truncated();
    QTest::newRow("a whole progressive JPEG loads") << progressive << QString();
    QTest::newRow("a progressive JPEG cut before its last scan loads")
        << progressive.left(lastScan) << QString();
    QTest::newRow("a progressive JPEG cut inside its first scan")
        << progressive.left(firstScan + 40) << errors::truncated();
    QTest::newRow("a progressive JPEG cut inside its last scan")
        << progressive.left(lastScan + 40) << errors::truncated();
}

void TestPictureFile::cutShortJpegs() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const LoadResult result = readBytes(bytes);
    QCOMPARE(result.error, error);
    if (result.ok())
        QCOMPARE(result.picture->size, QSize(64, 64));
}

void TestPictureFile::iconEntryChoice_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRgb>("colour");
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);

    QTest::newRow("16, 32 and 48: the 32")
        << iconFile({{16, 16, 8, red}, {32, 32, 8, green}, {48, 48, 8, blue}}) << QSize(32, 32)
        << green;
    QTest::newRow("48 only: the 48") << iconFile({{48, 48, 4, blue}}) << QSize(48, 48) << blue;
    QTest::newRow("32 at 4 bpp and at 32 bpp: the 32-bit one")
        << iconFile({{32, 32, 4, red}, {32, 32, 32, green}}) << QSize(32, 32) << green;
    QTest::newRow("32 at 24 bpp before 32 at 8 bpp: the 24-bit one")
        << iconFile({{32, 32, 24, blue}, {32, 32, 8, red}}) << QSize(32, 32) << blue;
    QTest::newRow("two equal entries: the first")
        << iconFile({{32, 32, 8, red}, {32, 32, 8, green}}) << QSize(32, 32) << red;
    QTest::newRow("24 and 40 are equally far: the first")
        << iconFile({{40, 40, 8, green}, {24, 24, 8, red}}) << QSize(40, 40) << green;
    QTest::newRow("a width of 0 means 256, farther than 16")
        << iconFile({{256, 256, 8, red, 0}, {16, 16, 8, green}}) << QSize(16, 16) << green;
    QTest::newRow("a lone width-0 entry shows at 256 x 256")
        << iconFile({{256, 256, 32, blue, 0}}) << QSize(256, 256) << blue;
    QTest::newRow("a cursor's depth comes from its bitmap, not its hot spot")
        << iconFile({{32, 32, 4, red}, {32, 32, 32, green}}, 2) << QSize(32, 32) << green;
    QTest::newRow("a 1-bit entry keeps its own size")
        << iconFile({{20, 12, 1, blue}}) << QSize(20, 12) << blue;
}

void TestPictureFile::iconEntryChoice() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QRgb, colour);
    const LoadResult result = readBytes(bytes);
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    QCOMPARE(result.picture->size, size);
    QCOMPARE(result.picture->image.size(), size);
    QCOMPARE(result.picture->image.pixel(size.width() / 2, size.height() / 2), colour);
}

void TestPictureFile::iconEntryPixels_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QRgb>("pixel");
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), clear = 0;
    const QPoint left(2, 16), middle(16, 16), top(16, 2), bottom(16, 29);

    TestEntry masked24{32, 32, 24, red};
    masked24.maskedColumns = 8;
    QTest::newRow("a 24-bit entry is see-through where its mask is set")
        << iconFile({masked24}) << left << clear;
    QTest::newRow("a 24-bit entry is opaque where its mask is clear")
        << iconFile({masked24}) << middle << red;

    TestEntry noAlpha{32, 32, 32, green};
    noAlpha.alpha = 0;
    noAlpha.maskedColumns = 8;
    QTest::newRow("a 32-bit entry without alpha takes its shape from the mask")
        << iconFile({noAlpha}) << left << clear;
    QTest::newRow("a 32-bit entry without alpha is opaque inside its mask")
        << iconFile({noAlpha}) << middle << green;

    TestEntry withAlpha{32, 32, 32, green};
    withAlpha.maskedColumns = 8;
    QTest::newRow("a 32-bit entry with alpha keeps it whatever the mask says")
        << iconFile({withAlpha}) << left << green;

    TestEntry masked8{32, 32, 8, red};
    masked8.maskedColumns = 8;
    QTest::newRow("an 8-bit entry is see-through where its mask is set")
        << iconFile({masked8}) << left << clear;

    TestEntry bottomUp{32, 32, 32, red};
    bottomUp.topColour = green;
    QTest::newRow("a bottom-up entry keeps its top at the top")
        << iconFile({bottomUp}) << top << green;
    TestEntry topDown = bottomUp;
    topDown.topDown = true;
    QTest::newRow("a top-down entry shows upright") << iconFile({topDown}) << top << green;
    QTest::newRow("a top-down entry keeps its bottom at the bottom")
        << iconFile({topDown}) << bottom << red;

    TestEntry largeHeader{32, 32, 8, green};
    largeHeader.headerSize = 124;
    QTest::newRow("an entry with a 124-byte header") << iconFile({largeHeader}) << middle << green;
}

void TestPictureFile::iconEntryPixels() {
    QFETCH(QByteArray, bytes);
    QFETCH(QPoint, point);
    QFETCH(QRgb, pixel);
    const LoadResult result = readBytes(bytes);
    QVERIFY2(result.ok(), qPrintable(describe(result)));
    const QRgb actual = result.picture->image.pixel(point);
    if (qAlpha(pixel) == 0)
        QCOMPARE(qAlpha(actual), 0);
    else
        QCOMPARE(actual, pixel);
}

void TestPictureFile::inconsistentIconsAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray good = iconFile({{32, 32, 8, qRgb(1, 2, 3)}});
    const int header = 22; // the bitmap header of the only entry

    QByteArray widthDisagrees = good;
    qToLittleEndian<quint32>(4000, widthDisagrees.data() + header + 4);
    QTest::newRow("bitmap width differs from the directory") << widthDisagrees << errors::corrupt();

    QByteArray hugePalette = good;
    qToLittleEndian<quint32>(49135, hugePalette.data() + header + 32);
    QTest::newRow("more colours than 8 bits can index") << hugePalette << errors::corrupt();

    QByteArray oddCompression = good;
    qToLittleEndian<quint32>(0xDE00, oddCompression.data() + header + 16);
    QTest::newRow("an unknown compression") << oddCompression << errors::corrupt();

    QTest::newRow("the mask cut off") << good.chopped(10) << errors::truncated();

    QByteArray sixteenBit = iconFile({{32, 32, 24, qRgb(1, 2, 3)}});
    qToLittleEndian<quint16>(16, sixteenBit.data() + header + 14);
    QTest::newRow("a 16-bit entry is not supported") << sixteenBit << errors::unsupported();

    QByteArray oddDepth = good;
    qToLittleEndian<quint16>(7, oddDepth.data() + header + 14);
    QTest::newRow("a depth of 7 bits") << oddDepth << errors::corrupt();

    QByteArray heightDisagrees = good;
    qToLittleEndian<quint32>(50, heightDisagrees.data() + header + 8);
    QTest::newRow("bitmap height neither the directory's nor twice it")
        << heightDisagrees << errors::corrupt();

    QByteArray beyondFile = good;
    qToLittleEndian<quint32>(0x7FFFFFFF, beyondFile.data() + 18);
    QTest::newRow("an entry starting beyond the file") << beyondFile << errors::truncated();

    QByteArray sizeShort = good;
    qToLittleEndian<quint32>(200, sizeShort.data() + 14);
    QTest::newRow("an entry size too short for its pixels") << sizeShort << errors::truncated();

    QByteArray sizeUnset = good;
    qToLittleEndian<quint32>(8, sizeUnset.data() + 14);
    QTest::newRow("an entry size never filled in still loads") << sizeUnset << QString();

    QByteArray noEntries = good.left(6);
    qToLittleEndian<quint16>(0, noEntries.data() + 4);
    QTest::newRow("a directory with no entries") << noEntries << errors::unsupported();
}

void TestPictureFile::inconsistentIconsAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const LoadResult result = readBytes(bytes);
    QCOMPARE(result.error, error);
    QCOMPARE(result.ok(), error.isEmpty());
}

QTEST_MAIN(TestPictureFile)
#include "tst_picture_file.moc"
