// `cmake --install` into an empty directory, as a package build does, and what a desktop
// then finds there: the program, its menu entry, its icons and its software-centre entry,
// each pointing at the others by the names they were really installed under.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <map>

namespace {

const QString prefix = QStringLiteral("usr");

// The [Desktop Entry] group of a desktop entry file, without the translated keys.
std::map<QString, QString> readDesktopEntry(const QString &path) {
    std::map<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains('=') && !line.startsWith('#'))
            entry.emplace(line.section('=', 0, 0).trimmed(), line.section('=', 1).trimmed());
    }
    return entry;
}

// The text of the first element of that name (and `type` attribute, if given).
QString readMetainfo(const QString &path, const QString &element, const QString &type = {}) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element &&
            (type.isEmpty() || xml.attributes().value("type") == type))
            return xml.readElementText().trimmed();
    }
    return {};
}

// The deepest image of exactly that size in the program's ICO.
QImage icoImage(int size) {
    QImageReader reader(QDir(GLIMRA_RESOURCES_DIR).filePath("glimra.ico"), "ico");
    QImage best;
    int bestDepth = 0;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            break;
        const int depth = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
        const QImage image = reader.read();
        if (image.size() == QSize(size, size) && depth > bestDepth) {
            best = image;
            bestDepth = depth;
        }
    }
    return best;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void installsOnlyWhatADesktopNeeds();
    void programIsExecutable();
    void menuEntryOpensOneFileOfEveryListedType();
    void icons_data();
    void icons();
    void softwareCentreEntryNamesItsOwnFileAndTheMenuEntry();

private:
    QString installed(const QString &path) const { return root_.filePath(prefix + '/' + path); }

    QTemporaryDir root_;
    QString appId_;
    std::map<QString, QString> desktopEntry_;
};

void TestInstall::initTestCase() {
    QVERIFY(root_.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", root_.path());
    install.setProcessEnvironment(env);
    install.start(GLIMRA_CMAKE_COMMAND, {"--install", GLIMRA_BUILD_DIR, "--prefix", "/" + prefix});
    QVERIFY2(install.waitForFinished(300000), "cmake --install did not finish");
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
             qPrintable("cmake --install failed (is everything built?):\n" +
                        QString::fromLocal8Bit(install.readAll())));

    // The software centre's id names the rest, so find it first.
    const QStringList metainfos =
        QDir(installed("share/metainfo")).entryList({"*.metainfo.xml"}, QDir::Files);
    QCOMPARE(metainfos.size(), 1);
    appId_ = metainfos.first().chopped(int(qstrlen(".metainfo.xml")));
    desktopEntry_ = readDesktopEntry(installed("share/applications/" + appId_ + ".desktop"));
    QVERIFY2(!desktopEntry_.empty(), "the desktop entry is not named after the AppStream id");
}

void TestInstall::installsOnlyWhatADesktopNeeds() {
    QStringList files;
    QDirIterator it(root_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root_.path()).relativeFilePath(it.next()));
    files.sort();
    QStringList expected{
        "usr/bin/glimra",
        "usr/share/applications/" + appId_ + ".desktop",
        "usr/share/doc/glimra/changelog.gz",
        "usr/share/doc/glimra/copyright",
        "usr/share/icons/hicolor/16x16/apps/glimra.png",
        "usr/share/icons/hicolor/32x32/apps/glimra.png",
        "usr/share/icons/hicolor/48x48/apps/glimra.png",
        "usr/share/icons/hicolor/64x64/apps/glimra.png",
        "usr/share/icons/hicolor/128x128/apps/glimra.png",
        "usr/share/icons/hicolor/256x256/apps/glimra.png",
        "usr/share/icons/hicolor/scalable/apps/glimra.svg",
        "usr/share/man/man1/glimra.1.gz",
        "usr/share/metainfo/" + appId_ + ".metainfo.xml",
    };
    for (QString &file : expected) {
        file.replace("glimra.png", desktopEntry_["Icon"] + ".png");
        file.replace("glimra.svg", desktopEntry_["Icon"] + ".svg");
    }
    expected.sort();
    // Build-time tools, libraries and tests stay in the build tree.
    QCOMPARE(files, expected);
}

void TestInstall::programIsExecutable() {
    const QFileInfo program(installed("bin/glimra"));
    QVERIFY2(program.isFile(), "bin/glimra is missing");
    QVERIFY2(program.isExecutable(), "bin/glimra is not executable");
    QVERIFY2(program.size() > 0, "bin/glimra is empty");
}

void TestInstall::menuEntryOpensOneFileOfEveryListedType() {
    // One local path per process: a file manager starts one viewer per chosen file.
    QCOMPARE(desktopEntry_["Exec"], QStringLiteral("glimra %f"));
    QVERIFY2(QFileInfo(installed("bin/glimra")).isExecutable(), "bin/glimra is not installed");
    // The window's X11 class is the program's name, which ties it to this entry.
    QCOMPARE(desktopEntry_["StartupWMClass"], QStringLiteral("glimra"));
    QCOMPARE(desktopEntry_["StartupNotify"], QStringLiteral("true"));
    // The type the desktop's MIME database gives each extension the file list offers.
    const QStringList types = desktopEntry_["MimeType"].split(';', Qt::SkipEmptyParts);
    for (const char *type :
         {"image/bmp", "image/vnd.zbrush.pcx", "image/gif", "image/vnd.microsoft.icon",
          "image/x-win-bitmap", "image/wmf", "image/emf", "image/jpeg", "image/x-pcx",
          "image/x-wmf", "image/x-emf", "image/x-icon"})
        QVERIFY2(types.contains(QLatin1String(type)), type);
}

void TestInstall::icons_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("16 pixels, for menus and lists") << 16;
    QTest::newRow("32 pixels, for the desktop and task switcher") << 32;
    QTest::newRow("48 pixels, for launchers") << 48;
    QTest::newRow("64 pixels, for software centres") << 64;
    QTest::newRow("128 pixels, for software centres") << 128;
    QTest::newRow("256 pixels, for large launchers") << 256;
}

void TestInstall::icons() {
    QFETCH(int, size);
    const QString path = installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png")
                                       .arg(size)
                                       .arg(desktopEntry_["Icon"]));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    QImage png = reader.read();
    QVERIFY2(!png.isNull(), qPrintable(path + ": " + reader.errorString()));
    QCOMPARE(png.size(), QSize(size, size));

    // Above 48 pixels, the camera drawn at that size.
    if (size > 48) {
        QCOMPARE(
            png,
            QImage(QDir(GLIMRA_RESOURCES_DIR).filePath(QStringLiteral("glimra-%1.png").arg(size))));
        return;
    }
    // The very pixels of the program's icon, from its best image of that size.
    QImage ico = icoImage(size);
    QVERIFY2(!ico.isNull(), "glimra.ico has no image of that size");
    QCOMPARE(png.convertToFormat(QImage::Format_ARGB32),
             ico.convertToFormat(QImage::Format_ARGB32));
}

void TestInstall::softwareCentreEntryNamesItsOwnFileAndTheMenuEntry() {
    const QString metainfo = installed("share/metainfo/" + appId_ + ".metainfo.xml");
    QCOMPARE(readMetainfo(metainfo, "id"), appId_);
    QCOMPARE(readMetainfo(metainfo, "launchable", "desktop-id"), appId_ + ".desktop");
    QCOMPARE(readMetainfo(metainfo, "binary"), desktopEntry_["Exec"].section(u' ', 0, 0));
    QCOMPARE(readMetainfo(metainfo, "icon", "stock"), desktopEntry_["Icon"]);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
