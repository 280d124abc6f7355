// The Windows resource script compiled as a Windows build would: the version block that
// Explorer's Properties page shows and the icon group Windows picks the program's icon from.
#include "tests/install/res_file.h"
#include "tests/install/version_block.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>

namespace {

// Resource types, from winuser.h.
constexpr quint16 RT_ICON = 3;
constexpr quint16 RT_VERSION = 16;
constexpr quint16 RT_GROUP_ICON = 14;

constexpr quint32 fixedFileInfoSignature = 0xFEEF04BD;

// Fields of VS_FIXEDFILEINFO, by their byte offset.
enum FixedField : int {
    dwSignature = 0,
    dwFileVersionMS = 8,
    dwFileVersionLS = 12,
    dwProductVersionMS = 16,
    dwProductVersionLS = 20,
    dwFileFlags = 28,
    dwFileOS = 32,
    dwFileType = 36,
    dwFileSubtype = 40,
};

quint32 versionMS() {
    return quint32(GLIMRA_VERSION_MAJOR) << 16 | GLIMRA_VERSION_MINOR;
}
quint32 versionLS() {
    return quint32(GLIMRA_VERSION_PATCH) << 16 | GLIMRA_VERSION_TWEAK;
}

// The version as the program has always shown it: 2.00.0005.
QString versionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(GLIMRA_VERSION_MAJOR)
        .arg(GLIMRA_VERSION_MINOR, 2, 10, QLatin1Char('0'))
        .arg(GLIMRA_VERSION_TWEAK, 4, 10, QLatin1Char('0'));
}

struct GroupIconEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    quint32 bytesInRes = 0;
    quint16 iconId = 0;
};

} // namespace

class TestWindowsResource : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fixedPart_data();
    void fixedPart();
    void strings_data();
    void strings();
    void onlyTheUsEnglishStringTable();
    void translationIsUsEnglishUnicode();
    void iconGroup_data();
    void iconGroup();
    void iconGroupHasSixImages();

private:
    std::optional<ResFile> res_;
    std::optional<VersionBlock> version_;
    QList<GroupIconEntry> icons_;
};

void TestWindowsResource::initTestCase() {
    const QString windres = QStandardPaths::findExecutable("x86_64-w64-mingw32-windres");
    if (windres.isEmpty())
        QSKIP("x86_64-w64-mingw32-windres is not installed (Debian: binutils-mingw-w64-x86-64)");
    // windres normally preprocesses with the MinGW compiler; the script needs no Windows
    // headers, so the host's preprocessor does as well.
    const QString cpp = QStandardPaths::findExecutable("cpp");
    QVERIFY2(!cpp.isEmpty(), "no C preprocessor (cpp) to run windres with");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString resPath = dir.filePath("glimra.res");
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(windres,
                   {"--preprocessor=" + cpp, "--preprocessor-arg=-DRC_INVOKED",
                    QDir(GLIMRA_RESOURCES_DIR).filePath("glimra.rc"), "-O", "res", "-o", resPath});
    QVERIFY2(compiler.waitForFinished(120000), "windres did not finish");
    QVERIFY2(compiler.exitStatus() == QProcess::NormalExit && compiler.exitCode() == 0,
             qPrintable("windres failed: " + QString::fromLocal8Bit(compiler.readAll())));

    QFile file(resPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    res_ = ResFile::parse(file.readAll());
    QVERIFY2(res_, "windres wrote a .res file that does not parse");

    const auto versions = res_->ofType(RT_VERSION);
    QCOMPARE(versions.size(), 1);
    version_ = VersionBlock::parse(versions.first()->data);
    QVERIFY2(version_, "the version resource does not parse");
    QCOMPARE(version_->key, QStringLiteral("VS_VERSION_INFO"));

    const auto groups = res_->ofType(RT_GROUP_ICON);
    QCOMPARE(groups.size(), 1);
    const QByteArray group = groups.first()->data;
    QVERIFY2(group.size() >= 6, "the icon group has no header");
    QCOMPARE(qFromLittleEndian<quint16>(group.constData() + 2), quint16(1)); // icons, not cursors
    const int count = qFromLittleEndian<quint16>(group.constData() + 4);
    QVERIFY2(group.size() >= 6 + 14 * count, "the icon group is shorter than its count says");
    for (int i = 0; i < count; ++i) {
        const char *entry = group.constData() + 6 + 14 * i;
        // A width or height of 0 means 256.
        icons_.append({quint8(entry[0]) ? quint8(entry[0]) : 256,
                       quint8(entry[1]) ? quint8(entry[1]) : 256,
                       qFromLittleEndian<quint16>(entry + 6), qFromLittleEndian<quint32>(entry + 8),
                       qFromLittleEndian<quint16>(entry + 12)});
    }
}

void TestWindowsResource::fixedPart_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("it carries the fixed-part signature")
        << int(dwSignature) << fixedFileInfoSignature;
    QTest::newRow("file version, major and minor") << int(dwFileVersionMS) << versionMS();
    QTest::newRow("file version, release and build") << int(dwFileVersionLS) << versionLS();
    QTest::newRow("product version, major and minor") << int(dwProductVersionMS) << versionMS();
    QTest::newRow("product version, release and build") << int(dwProductVersionLS) << versionLS();
    QTest::newRow("no debug, patched or prerelease flags") << int(dwFileFlags) << quint32(0);
    QTest::newRow("built for 32-bit Windows (VOS__WINDOWS32)") << int(dwFileOS) << quint32(4);
    QTest::newRow("it is an application (VFT_APP)") << int(dwFileType) << quint32(1);
    QTest::newRow("no subtype") << int(dwFileSubtype) << quint32(0);
}

void TestWindowsResource::fixedPart() {
    QFETCH(int, offset);
    QFETCH(quint32, expected);
    QVERIFY2(!version_->isText && version_->value.size() == 52,
             qPrintable(
                 QStringLiteral("the fixed part is %1 bytes, not 52").arg(version_->value.size())));
    const quint32 actual = qFromLittleEndian<quint32>(version_->value.constData() + offset);
    QCOMPARE(QString::number(actual, 16), QString::number(expected, 16));
}

void TestWindowsResource::strings_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the product is Glimra") << "ProductName"
                                           << "Glimra";
    QTest::newRow("the internal name is Glimra") << "InternalName"
                                                 << "Glimra";
    QTest::newRow("the file was built as Glimra.exe") << "OriginalFilename"
                                                      << "Glimra.exe";
    QTest::newRow("the file version reads 2.00.0005") << "FileVersion" << versionText();
    QTest::newRow("the product version reads 2.00.0005") << "ProductVersion" << versionText();
}

void TestWindowsResource::strings() {
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const VersionBlock *info = version_->child("StringFileInfo");
    QVERIFY2(info, "no StringFileInfo block");
    const VersionBlock *table = info->child("040904B0");
    QVERIFY2(table, "no US English Unicode string table (040904B0)");
    const VersionBlock *string = table->child(key);
    QVERIFY2(string, qPrintable(key + " is missing"));
    QVERIFY2(string->isText, qPrintable(key + " is not marked as text"));
    QCOMPARE(string->text(), expected);
}

void TestWindowsResource::onlyTheUsEnglishStringTable() {
    const VersionBlock *info = version_->child("StringFileInfo");
    QVERIFY2(info, "no StringFileInfo block");
    QCOMPARE(info->children.size(), 1);
    QStringList keys;
    for (const VersionBlock &string : info->children.first().children)
        keys.append(string.key);
    keys.sort();
    QCOMPARE(keys, QStringList({"FileVersion", "InternalName", "OriginalFilename", "ProductName",
                                "ProductVersion"}));
}

void TestWindowsResource::translationIsUsEnglishUnicode() {
    const VersionBlock *vars = version_->child("VarFileInfo");
    QVERIFY2(vars, "no VarFileInfo block");
    const VersionBlock *translation = vars->child("Translation");
    QVERIFY2(translation, "no Translation value");
    QCOMPARE(translation->value.size(), 4);
    QCOMPARE(qFromLittleEndian<quint16>(translation->value.constData()), quint16(0x409));
    QCOMPARE(qFromLittleEndian<quint16>(translation->value.constData() + 2), quint16(1200));
}

void TestWindowsResource::iconGroup_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("bitCount");
    for (int size : {16, 32, 48}) {
        QTest::addRow("%d pixels in 256 colours", size) << size << 8;
        QTest::addRow("%d pixels in true colour with transparency", size) << size << 32;
    }
}

void TestWindowsResource::iconGroup() {
    QFETCH(int, size);
    QFETCH(int, bitCount);
    const auto entry = std::find_if(icons_.cbegin(), icons_.cend(), [&](const GroupIconEntry &e) {
        return e.width == size && e.height == size && e.bitCount == bitCount;
    });
    QVERIFY2(entry != icons_.cend(), "the icon group lists no such image");

    // The group only points at the image; the image itself must be there, as long as the
    // group says, and really be of that size and depth.
    const ResFile::Entry *icon = res_->find(RT_ICON, entry->iconId);
    QVERIFY2(icon, qPrintable(QStringLiteral("icon %1 is missing").arg(entry->iconId)));
    QCOMPARE(quint32(icon->data.size()), entry->bytesInRes);
    QVERIFY2(icon->data.size() >= 40, "the image is shorter than a bitmap header");
    const char *header = icon->data.constData();
    QCOMPARE(qFromLittleEndian<qint32>(header + 4), size);
    QCOMPARE(qFromLittleEndian<qint32>(header + 8), 2 * size); // picture and mask
    QCOMPARE(int(qFromLittleEndian<quint16>(header + 14)), bitCount);
}

void TestWindowsResource::iconGroupHasSixImages() {
    QCOMPARE(icons_.size(), 6);
}

QTEST_GUILESS_MAIN(TestWindowsResource)
#include "tst_windows_resource.moc"
