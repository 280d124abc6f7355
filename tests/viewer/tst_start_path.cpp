// The one argument the program takes: which picture or folder it opens with, as a file
// manager's "Open with" or xdg-open passes it.
#include "../controls/temp_folder.h"
#include "controls/dir_list_box.h"
#include "controls/drive_list_box.h"
#include "controls/file_list_box.h"
#include "controls/image_box.h"
#include "viewer/interface_font.h"
#include "viewer/main_window.h"
#include "viewer/process_services.h"
#include "viewer/start_path.h"

#include "ui_main_window.h"

#include <QImage>
#include <QMessageBox>
#include <QTest>

#include <fstream>
#include <optional>

namespace fs = std::filesystem;

Q_DECLARE_METATYPE(std::optional<fs::path>)

class TestStartPath : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void opens_data();
    void opens();

private:
    TempFolder m_dir;
};

void TestStartPath::initTestCase() {
    viewer::loadInterfaceFont();
    QVERIFY(m_dir.isValid());
    const fs::path folder = m_dir.root() / "Снимки от лятото";
    fs::create_directories(folder / "inner");
    QImage image(37, 23, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(image.save(QString::fromStdString((folder / "мост на реката.bmp").string()), "bmp"));
    std::ofstream(folder / "notes.txt") << "not a picture";
    std::ofstream(folder / "broken.jpg") << "\xff\xd8\xff not a photograph";
}

void TestStartPath::commandLine_data() {
    QTest::addColumn<QList<QByteArray>>("arguments");
    QTest::addColumn<std::optional<fs::path>>("path");
    QTest::addColumn<bool>("fails");

    const fs::path base("/home/ана");
    auto row = [](const char *name, QList<QByteArray> arguments, std::optional<fs::path> path,
                  bool fails = false) {
        QTest::newRow(name) << arguments << path << fails;
    };
    row("nothing: the start-up of old", {}, std::nullopt);
    row("an absolute path", {"/tmp/a b.bmp"}, fs::path("/tmp/a b.bmp"));
    row("a relative path, from the folder started in", {"../снимки/./a.bmp"},
        fs::path("/home/снимки/a.bmp"));
    row("a folder", {"/tmp/"}, fs::path("/tmp/"));
    row("a file URL, escapes undone", {"file:///tmp/%D0%BC%D0%BE%D1%81%D1%82%20x.bmp"},
        fs::path("/tmp/мост x.bmp"));
    row("a file URL on localhost", {"FILE://localhost/tmp/a.gif"}, fs::path("/tmp/a.gif"));
    row("a file URL naming bytes that are not UTF-8", {"file:///tmp/caf%E9.bmp"},
        fs::path(std::string("/tmp/caf\xe9.bmp")));
    row("a name that is not UTF-8", {"caf\xe9.bmp"}, base / std::string("caf\xe9.bmp"));
    row("a file URL of another host is no local path", {"file://server/a.bmp"},
        base / "file:/server/a.bmp");
    row("a name starting with a dash, after --", {"--", "-a.bmp"}, base / "-a.bmp");
    row("an unknown option", {"--frobnicate"}, std::nullopt, true);
    row("two paths", {"/a.bmp", "/b.bmp"}, fs::path("/a.bmp"), true);
}

void TestStartPath::commandLine() {
    QFETCH(QList<QByteArray>, arguments);
    QFETCH(std::optional<fs::path>, path);
    QFETCH(bool, fails);
    const viewer::CommandLine line = viewer::parseCommandLine(arguments, "/home/ана");
    QCOMPARE(line.path, path);
    QCOMPARE(!line.error.isEmpty(), fails);
}

void TestStartPath::opens_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("folder"); // empty: the program folder, as with no argument
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("message");

    const QString f = QStringLiteral("Снимки от лятото");
    QTest::newRow("a picture: its folder, chosen and shown")
        << f + "/мост на реката.bmp" << f << "мост на реката.bmp" << true << false;
    QTest::newRow("a folder, with a slash at the end") << f + "/inner/" << f + "/inner"
                                                       << "" << false << false;
    QTest::newRow("a listed file that can't be shown: as a click on it")
        << f + "/broken.jpg" << f << "broken.jpg" << false << true;
    QTest::newRow("a file the list does not offer") << f + "/notes.txt"
                                                    << ""
                                                    << "" << false << true;
    QTest::newRow("a path that does not exist") << f + "/gone.bmp"
                                                << ""
                                                << "" << false << true;
}

void TestStartPath::opens() {
    QFETCH(QString, argument);
    QFETCH(QString, folder);
    QFETCH(QString, chosen);
    QFETCH(bool, shown);
    QFETCH(bool, message);

    MainWindow frmMain;
    const Ui::frmMain &ui = frmMain.form();
    frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frmMain));
    frmMain.openStartPath(m_dir.root() / fs::path(argument.toStdString()));

    const fs::path expected =
        folder.isEmpty() ? viewer::programFolder() : m_dir.root() / folder.toStdString();
    QCOMPARE(ui.boxDir->path(), expected);
    QCOMPARE(ui.boxFile->path(), expected);
    QCOMPARE(fs::current_path(), expected);
    QCOMPARE(ui.boxDrive->drive(), controls::driveOf(ui.boxDrive->drives(), expected)->root);
    QCOMPARE(ui.boxFile->fileName(), fs::path(chosen.toStdString()));
    QCOMPARE(!ui.Pic->image().isNull(), shown);
    if (shown)
        QCOMPARE(ui.Pic->size(), QSize(37, 23));
    auto *box = frmMain.findChild<QMessageBox *>();
    QCOMPARE(box != nullptr, message);
    if (box) {
        QVERIFY(box->text().contains(QFileInfo(argument).fileName()));
        QVERIFY(!box->informativeText().isEmpty());
        delete box;
    }
}

QTEST_MAIN(TestStartPath)
#include "tst_start_path.moc"
