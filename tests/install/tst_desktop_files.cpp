// The desktop entry and the AppStream metadata as the desktop's own checkers see them, and
// the Bulgarian that a Bulgarian desktop shows from them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>

namespace {

QString resource(const QString &name) {
    return QDir(GLIMRA_RESOURCES_DIR).filePath(name);
}

const QString desktopEntry = QStringLiteral("glimra.desktop");
const QString metainfo = QStringLiteral("org.example.Glimra.metainfo.xml");

// The keys of the [Desktop Entry] group, with their locale suffix ("Comment[bg]").
QStringList desktopEntryKeys() {
    QFile file(resource(desktopEntry));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList keys;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains('=') && !line.startsWith('#'))
            keys.append(line.section('=', 0, 0).trimmed());
    }
    return keys;
}

} // namespace

class TestDesktopFiles : public QObject {
    Q_OBJECT

private slots:
    void passesValidator_data();
    void passesValidator();
    void desktopEntrySaysEverythingInBulgarian_data();
    void desktopEntrySaysEverythingInBulgarian();
    void metainfoSaysEverythingInBulgarian_data();
    void metainfoSaysEverythingInBulgarian();
};

void TestDesktopFiles::passesValidator_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("the desktop entry passes desktop-file-validate")
        << "desktop-file-validate"
        << "desktop-file-utils" << QStringList{resource(desktopEntry)};
    QTest::newRow("the AppStream metadata passes appstreamcli validate")
        << "appstreamcli"
        << "appstream" << QStringList{"validate", "--no-net", "--explain", resource(metainfo)};
}

void TestDesktopFiles::passesValidator() {
    QFETCH(QString, program);
    QFETCH(QString, package);
    QFETCH(QStringList, arguments);
    const QString path = QStandardPaths::findExecutable(program);
    QVERIFY2(!path.isEmpty(), qPrintable(program + " is not installed (Debian: " + package + ")"));
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start(path, arguments);
    QVERIFY2(validator.waitForFinished(120000), qPrintable(program + " did not finish"));
    const QString output = QString::fromUtf8(validator.readAll());
    QVERIFY2(validator.exitStatus() == QProcess::NormalExit && validator.exitCode() == 0,
             qPrintable(output));
    // A warning or hint passes the exit code but is worth fixing too.
    QVERIFY2(!output.contains(QRegularExpression("^[EW]: |warning|error|hint",
                                                 QRegularExpression::MultilineOption)),
             qPrintable(output));
}

void TestDesktopFiles::desktopEntrySaysEverythingInBulgarian_data() {
    QTest::addColumn<QString>("key");
    const QStringList keys = desktopEntryKeys();
    QVERIFY2(!keys.isEmpty(), "the desktop entry has no [Desktop Entry] keys");
    // Name stays Glimra in every language; the rest is read by people and needs translating.
    for (const QString &key : QStringList{"GenericName", "Comment", "Keywords"}) {
        if (keys.contains(key))
            QTest::addRow("%s has a Bulgarian version", qPrintable(key)) << key;
    }
    QVERIFY2(keys.contains("Comment"), "the desktop entry has no Comment");
}

void TestDesktopFiles::desktopEntrySaysEverythingInBulgarian() {
    QFETCH(QString, key);
    QVERIFY2(desktopEntryKeys().contains(key + "[bg]"), qPrintable(key + "[bg] is missing"));
}

void TestDesktopFiles::metainfoSaysEverythingInBulgarian_data() {
    QTest::addColumn<QString>("element");
    QTest::newRow("the summary") << "summary";
    QTest::newRow("every paragraph of the description") << "p";
    QTest::newRow("the developer's name") << "developer_name";
}

void TestDesktopFiles::metainfoSaysEverythingInBulgarian() {
    QFETCH(QString, element);
    QFile file(resource(metainfo));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    int english = 0;
    int bulgarian = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != element)
            continue;
        const auto lang = xml.attributes().value("xml:lang");
        if (lang.isEmpty())
            ++english;
        else if (lang == QLatin1String("bg"))
            ++bulgarian;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY2(english > 0, qPrintable("no <" + element + "> at all"));
    QCOMPARE(bulgarian, english);
}

QTEST_GUILESS_MAIN(TestDesktopFiles)
#include "tst_desktop_files.moc"
