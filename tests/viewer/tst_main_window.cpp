#include "controls/dir_list_box.h"
#include "controls/drive_list_box.h"
#include "controls/file_list_box.h"
#include "controls/file_names.h"
#include "controls/image_box.h"
#include "controls/picture_box.h"
#include "dialogs/about_dialog.h"
#include "dialogs/info_dialog.h"
#include "viewer/interface_font.h"
#include "viewer/main_window.h"
#include "viewer/process_services.h"

#include "ui_info_dialog.h"
#include "ui_main_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImageWriter>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const QString Corpus = QStringLiteral(GLIMRA_CORPUS_DIR);

// Third-party pictures the tests open, where the corpus is there: its path, the name here.
const std::pair<const char *, const char *> CorpusCopies[] = {
    {"gif/commons-imaging/test.gif", "anim.gif"},
    {"cur/icojs/cursor.cur", "pointer.cur"},
    {"pcx/kimageformats/bw.pcx", "scan.pcx"},
    {"wmf/imagemagick/clock.wmf", "clock.wmf"},
    {"emf/libemf2svg/ea/EA-test-file-001.emf", "chart.emf"}};
constexpr int CorpusCopyCount = int(std::size(CorpusCopies));

fs::path toPath(const QString &text) {
    return fs::path(text.toStdU16String());
}

// A window as a person sees it: built, loaded and shown at its design size.
struct Viewer {
    MainWindow frmMain;
    const Ui::frmMain &ui = frmMain.form();

    Viewer() {
        frmMain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frmMain));
    }
    ~Viewer() {
        for (QMessageBox *box : frmMain.findChildren<QMessageBox *>())
            delete box;
    }

    void openFolder(const fs::path &folder) { QVERIFY(ui.boxDir->setPath(folder)); }

    // Chooses a file in the file list with the mouse.
    void choose(const QString &name) {
        const QAbstractItemModel *model = ui.boxFile->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            if (index.data().toString() == name) {
                ui.boxFile->scrollTo(index);
                QTest::mouseClick(ui.boxFile->viewport(), Qt::LeftButton, {},
                                  ui.boxFile->visualRect(index).center());
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("%1 is not in the file list").arg(name)));
    }

    QMessageBox *message() const { return frmMain.findChild<QMessageBox *>(); }
};

// A picture whose every pixel tells where it is, so a stale or missing part shows.
QRgb patternAt(int x, int y) {
    return qRgb(x % 251, y % 241, (x / 251 * 7 + y / 241 * 13) % 256);
}

QImage patternImage(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = patternAt(x, y);
    }
    return image;
}

void writeImage(const QString &file, QSize size, const char *format) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QImageWriter writer(file, format);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void layout_data();
    void layout();
    void stacking();
    void tooltipsAndPictures_data();
    void tooltipsAndPictures();
    void fontsAndPattern();
    void tabOrder();

    void startsAtTheProgramFolder();
    void folderChangeCarriesEverything();
    void failedListingStopsTheFolderChange();
    void vanishedFolderIsReported();
    void failingDriveRecoversSilently_data();
    void failingDriveRecoversSilently();
    void naturalSize_data();
    void naturalSize();
    void failedLoadKeepsThePicture_data();
    void failedLoadKeepsThePicture();
    void pictureStaysWhenTheFolderChanges();

    void revealsTheRestAsItComesIntoView_data();
    void revealsTheRestAsItComesIntoView();
    void failureToRevealIsReported_data();
    void failureToRevealIsReported();

    void refit_data();
    void refit();
    void panel_data();
    void panel();
    void firstResizeAtDesignSize();

    void exitEndsTheEventLoop();
    void closeIgnoredWhileDisabled();
    void disabledWindowBringsTheDialogBack_data();
    void disabledWindowBringsTheDialogBack();
    void dialogProtocol_data();
    void dialogProtocol();
    void infoDialogIsLoadedAfresh();

private:
    QTemporaryDir m_dir;
    fs::path m_folder;
    // A folder whose path stays within PATH_MAX, holding a picture whose full path does not.
    fs::path m_deepFolder;
    fs::path m_deepName;
    bool m_corpus = false; // the third-party pictures are in the folder
};

void TestMainWindow::initTestCase() {
    viewer::loadInterfaceFont();
    QVERIFY(m_dir.isValid());
    m_folder = toPath(m_dir.path());
    writeImage(m_dir.filePath(QStringLiteral("photo.jpg")), QSize(64, 48), "jpeg");
    writeImage(m_dir.filePath(QStringLiteral("plain.bmp")), QSize(37, 23), "bmp");
    writeImage(m_dir.filePath(QStringLiteral("icon.ico")), QSize(32, 32), "ico");
    m_corpus = QFile::exists(Corpus + QStringLiteral("/MANIFEST.tsv"));
    if (!m_corpus)
        qInfo("the third-party corpus is not there: the cases that open its pictures skip");
    for (const auto &[from, to] : CorpusCopies) {
        if (m_corpus)
            QVERIFY(QFile::copy(Corpus + u'/' + QLatin1String(from),
                                m_dir.filePath(QLatin1String(to))));
    }
    QVERIFY(patternImage(QSize(2600, 1500)).save(m_dir.filePath(QStringLiteral("wide.bmp"))));
    // A name that is not UTF-8, as older systems and cameras still write them.
    fs::copy_file(m_folder / "plain.bmp", m_folder / fs::path(std::string("caf\xe9.bmp")));
    std::ofstream(m_folder / "broken.jpg") << "\xff\xd8\xff not a photograph at all";
    std::ofstream(m_folder / "empty.bmp");
    std::ofstream(m_folder / "notes.txt") << "not a picture";

    m_deepFolder = m_folder / "deep";
    while (m_deepFolder.native().size() < 3860)
        m_deepFolder /= std::string(200, 'd');
    fs::create_directories(m_deepFolder);
    m_deepName = std::string(246, 'w') + ".bmp";
    QVERIFY(m_deepFolder.native().size() + m_deepName.native().size() > 4096);
    const fs::path home = fs::current_path();
    fs::current_path(m_deepFolder);
    fs::copy_file(m_folder / "wide.bmp", m_deepName);
    fs::current_path(home);
}

void TestMainWindow::cleanupTestCase() {
    // QTemporaryDir removes by text names, which can't spell this one.
    std::error_code ignored;
    fs::remove(m_folder / fs::path(std::string("caf\xe9.bmp")), ignored);
    // Nor the picture whose full path is too long to name.
    fs::current_path(m_deepFolder, ignored);
    fs::remove(m_deepName, ignored);
    fs::current_path(m_folder, ignored);
    fs::remove_all(m_folder / "deep", ignored);
}

void TestMainWindow::cleanup() {
    QApplication::setActiveWindow(nullptr);
}

void TestMainWindow::layout_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("frmMain") << "frmMain"
                             << "" << QRect(0, 0, 617, 572);
    QTest::newRow("boxPic") << "boxPic"
                            << "frmMain" << QRect(156, 0, 461, 572);
    QTest::newRow("boxBrowser") << "boxBrowser"
                                << "frmMain" << QRect(0, 0, 159, 572);
    QTest::newRow("boxDrive") << "boxDrive"
                              << "boxBrowser" << QRect(2, 42, 150, 21);
    QTest::newRow("boxDir") << "boxDir"
                            << "boxBrowser" << QRect(2, 64, 150, 156);
    QTest::newRow("boxFile") << "boxFile"
                             << "boxBrowser" << QRect(2, 222, 150, 292);
    QTest::newRow("btnHide") << "btnHide"
                             << "boxBrowser" << QRect(5, 5, 32, 32);
    QTest::newRow("btnInfo") << "btnInfo"
                             << "boxBrowser" << QRect(40, 5, 32, 32);
    QTest::newRow("btnAbout") << "btnAbout"
                              << "boxBrowser" << QRect(79, 4, 34, 34);
    QTest::newRow("btnExit") << "btnExit"
                             << "boxBrowser" << QRect(115, 5, 32, 32);
}

void TestMainWindow::layout() {
    QFETCH(QString, control);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);

    // As built, before the first resize re-fits anything.
    MainWindow frmMain;
    QWidget *widget =
        control == frmMain.objectName() ? &frmMain : frmMain.findChild<QWidget *>(control);
    QVERIFY(widget);
    if (!container.isEmpty())
        QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(),
             container.isEmpty() ? QRect(widget->pos(), geometry.size()) : geometry);
}

void TestMainWindow::stacking() {
    Viewer v;
    // The three columns where panel and viewport overlap belong to the viewport.
    for (int x = 156; x <= 158; ++x) {
        QWidget *hit = v.frmMain.childAt(x, 300);
        QVERIFY(hit == v.ui.boxPic || v.ui.boxPic->isAncestorOf(hit));
    }
    QVERIFY(v.frmMain.childAt(155, 300) == v.ui.boxBrowser);
    // The picture sits in the viewport's client area, inside its border.
    QCOMPARE(v.ui.Pic->mapTo(v.ui.boxPic, QPoint(0, 0)), v.ui.boxPic->contentsRect().topLeft());
    QCOMPARE(v.ui.Pic->size(), QSize(1, 1));
    QCOMPARE(v.ui.Pic->parentWidget(), v.ui.boxPic);
}

void TestMainWindow::tooltipsAndPictures_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<bool>("stretch");
    // The file in resources/ whose picture the button shows.
    QTest::addColumn<QString>("file");

    QTest::newRow("btnHide") << "btnHide"
                             << "Скрий менюто" << QSize(36, 36) << true << "hide.gif";
    QTest::newRow("btnInfo") << "btnInfo"
                             << "Информация за изображението" << QSize(32, 32) << false
                             << "info.gif";
    QTest::newRow("btnAbout") << "btnAbout"
                              << "За програмата" << QSize(36, 36) << true << "about.gif";
    QTest::newRow("btnExit") << "btnExit"
                             << "Изход" << QSize(32, 32) << false << "exit.bmp";
    QTest::newRow("Pic") << "Pic"
                         << "Натисни за скриване/показване на менюто" << QSize() << false
                         << QString();
}

void TestMainWindow::tooltipsAndPictures() {
    QFETCH(QString, control);
    QFETCH(QString, tooltip);
    QFETCH(QSize, pictureSize);
    QFETCH(bool, stretch);
    QFETCH(QString, file);

    MainWindow frmMain;
    auto *image = frmMain.findChild<controls::ImageBox *>(control);
    QVERIFY(image);
    QCOMPARE(image->toolTip(), tooltip);
    // A button is named by its tooltip; the picture by the file it shows.
    if (image->isPushButton())
        QCOMPARE(image->accessibleName(), tooltip);
    QCOMPARE(image->stretch(), stretch);
    QCOMPARE(image->focusPolicy(), Qt::NoFocus);
    if (pictureSize.isValid())
        QCOMPARE(image->naturalSize(), pictureSize);
    else
        QVERIFY(image->pixmap().isNull());
    // Read by our own decoders: the very pixels Qt reads from the file.
    if (!file.isEmpty())
        QCOMPARE(image->image(), QPixmap(QStringLiteral(":/") + file).toImage());
}

void TestMainWindow::fontsAndPattern() {
    MainWindow frmMain;
    const Ui::frmMain &ui = frmMain.form();
    QCOMPARE(frmMain.windowTitle(), QStringLiteral("Glimra 2.0"));
    // Read by our own decoders: every size of the icon file, the very pixels Qt reads from it.
    const QIcon icon(QStringLiteral(":/glimra.ico"));
    QCOMPARE(frmMain.windowIcon().availableSizes(), icon.availableSizes());
    for (const QSize size : icon.availableSizes())
        QCOMPARE(frmMain.windowIcon().pixmap(size).toImage(), icon.pixmap(size).toImage());
    QCOMPARE(frmMain.font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(frmMain.font().pointSizeF(), 9.0);
    QCOMPARE(ui.boxBrowser->font().pointSizeF(), 9.75);
    for (const QWidget *list :
         {static_cast<QWidget *>(ui.boxDrive), static_cast<QWidget *>(ui.boxDir),
          static_cast<QWidget *>(ui.boxFile)}) {
        QCOMPARE(list->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(list->font().pointSizeF(), 8.25);
    }
    // The drive list's drop-down, made as it first opens, shows its rows in the box's font.
    frmMain.show();
    ui.boxDrive->showPopup();
    QCOMPARE(ui.boxDrive->view()->font().pointSizeF(), 8.25);
    ui.boxDrive->hidePopup();
    QCOMPARE(ui.boxFile->pattern(),
             QStringLiteral("*.bmp;*.dib;*.pcx;*.gif;*.ico;*.cur;*.wmf;*.emf;*.jpg;*.jpe"));
    QVERIFY(ui.boxBrowser->dockLeft());
    QCOMPARE(ui.boxPic->palette().color(QPalette::Window), QColor(171, 171, 171));
}

void TestMainWindow::tabOrder() {
    Viewer v;
    const QList<QWidget *> expected{v.ui.boxBrowser, v.ui.boxFile, v.ui.boxDir, v.ui.boxDrive,
                                    v.ui.boxPic};
    QList<QWidget *> order;
    QWidget *widget = v.ui.boxBrowser;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(&v.frmMain) &&
            widget != &v.frmMain)
            order.append(widget);
        widget = widget->nextInFocusChain();
    } while (widget != v.ui.boxBrowser);
    QCOMPARE(order, expected);
}

void TestMainWindow::startsAtTheProgramFolder() {
    Viewer v;
    const fs::path folder = viewer::programFolder();
    QCOMPARE(fs::current_path(), folder);
    QCOMPARE(v.ui.boxDir->path(), folder);
    QCOMPARE(v.ui.boxFile->path(), folder);
    const controls::Drive *drive = controls::driveOf(v.ui.boxDrive->drives(), folder);
    QVERIFY(drive);
    QCOMPARE(v.ui.boxDrive->drive(), drive->root);
    QVERIFY(v.ui.boxFile->fileName().empty());
    QVERIFY(v.ui.Pic->image().isNull());
}

void TestMainWindow::folderChangeCarriesEverything() {
    Viewer v;
    v.openFolder(m_folder);
    QCOMPARE(v.ui.boxFile->path(), m_folder);
    QCOMPARE(fs::current_path(), m_folder);
    // The text file is not a picture.
    QCOMPARE(v.ui.boxFile->model()->rowCount(), 7 + (m_corpus ? CorpusCopyCount : 0));
    QVERIFY(v.ui.boxFile->fileName().empty());

    // Choosing right after the change loads from the new folder.
    v.choose(QStringLiteral("photo.jpg"));
    QCOMPARE(v.ui.boxFile->fileName(), fs::path("photo.jpg"));
    QCOMPARE(v.ui.Pic->size(), QSize(64, 48));

    // From the folder the list shows, wherever the working directory stands.
    fs::current_path(m_folder.parent_path());
    v.choose(QStringLiteral("plain.bmp"));
    QVERIFY(!v.message());
    QCOMPARE(v.ui.Pic->size(), QSize(37, 23));
}

void TestMainWindow::failedListingStopsTheFolderChange() {
    Viewer v;
    v.openFolder(m_folder);
    v.choose(QStringLiteral("photo.jpg"));
    const fs::path doomed = m_folder / "doomed";
    fs::create_directory(doomed);
    // The folder goes after the directory list has opened it and before the file list reads it.
    QObject::disconnect(v.ui.boxDir, &controls::DirListBox::change, &v.frmMain, nullptr);
    connect(v.ui.boxDir, &controls::DirListBox::change, this, [&] { fs::remove_all(doomed); });
    connect(v.ui.boxDir, &controls::DirListBox::change, &v.frmMain, &MainWindow::boxDir_Change);

    v.openFolder(doomed);

    QVERIFY(v.message());
    QVERIFY(v.message()->text().contains(QStringLiteral("doomed")));
    QCOMPARE(fs::current_path(), m_folder);
    QCOMPARE(v.ui.boxFile->path(), m_folder);
    // The chosen file is still the one in the folder the file list shows.
    v.frmMain.btnInfo_Click();
    QCOMPARE(v.frmMain.frmInfo()->form().txtName->text(), QStringLiteral("photo.jpg"));
    QCOMPARE(v.frmMain.frmInfo()->form().txtFolder->text(), controls::displayName(m_folder));
    QCOMPARE(v.frmMain.frmInfo()->form().txtSize->text(), QStringLiteral("64 * 48 пиксела"));
    v.frmMain.frmInfo()->Image1_Click();
}

void TestMainWindow::vanishedFolderIsReported() {
    Viewer v;
    const fs::path gone = m_folder / "gone";
    fs::create_directory(gone);
    v.openFolder(m_folder);
    v.choose(QStringLiteral("photo.jpg"));
    const QModelIndex open = v.ui.boxDir->currentIndex();
    const QModelIndex row = v.ui.boxDir->model()
                                ->match(open, Qt::DisplayRole, QStringLiteral("gone"), 1,
                                        Qt::MatchExactly | Qt::MatchWrap)
                                .value(0);
    QVERIFY(row.isValid());
    fs::remove(gone);

    const QPoint at = v.ui.boxDir->visualRect(row).center();
    QTest::mouseClick(v.ui.boxDir->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(v.ui.boxDir->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(v.ui.boxDir->viewport(), Qt::LeftButton, {}, at);

    QVERIFY(v.message());
    QVERIFY(v.message()->text().contains(QStringLiteral("gone")));
    QCOMPARE(v.ui.boxDir->path(), m_folder);
    QCOMPARE(v.ui.boxDir->currentIndex().row(), open.row());
    QCOMPARE(v.ui.boxDir->selectionModel()->selectedIndexes(),
             QModelIndexList{v.ui.boxDir->currentIndex()});
    QCOMPARE(v.ui.boxFile->fileName(), fs::path("photo.jpg"));
}

void TestMainWindow::failingDriveRecoversSilently_data() {
    QTest::addColumn<bool>("nested");
    QTest::newRow("the open folder's own drive") << false;
    // Browsed from the root into a folder that lies in a file system mounted below it.
    QTest::newRow("a drive mounted inside the one on display") << true;
}

void TestMainWindow::failingDriveRecoversSilently() {
    QFETCH(bool, nested);

    Viewer v;
    std::vector<controls::Drive> drives = v.ui.boxDrive->drives();
    if (nested)
        drives = {{m_folder.root_path(), QString()},
                  {m_folder.parent_path(), QStringLiteral("NESTED")}};
    drives.push_back({m_folder / "no-such-mount", QStringLiteral("GONE")});
    v.ui.boxDrive->setDrives(drives);
    if (nested)
        v.ui.boxDrive->setCurrentIndex(0);
    v.openFolder(m_folder);
    v.choose(QStringLiteral("photo.jpg"));
    const fs::path driveBefore = v.ui.boxDrive->drive();
    QVERIFY(!driveBefore.empty());

    v.ui.boxDrive->setCurrentIndex(v.ui.boxDrive->count() - 1); // as a person picks it

    QCOMPARE(v.ui.boxDrive->drive(), driveBefore);
    QCOMPARE(v.ui.boxDir->path(), m_folder);
    QCOMPARE(v.ui.boxFile->path(), m_folder);
    QCOMPARE(v.ui.boxFile->fileName(), fs::path("photo.jpg"));
    QCOMPARE(fs::current_path(), m_folder);
    QCOMPARE(v.message(), nullptr);
}

void TestMainWindow::naturalSize_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");

    QTest::newRow("bitmap") << "plain.bmp" << QSize(37, 23);
    QTest::newRow("a name that is not UTF-8") << QStringLiteral("caf\uFFFD.bmp") << QSize(37, 23);
    QTest::newRow("JPEG") << "photo.jpg" << QSize(64, 48);
    QTest::newRow("GIF") << "anim.gif" << QSize(301, 320);
    QTest::newRow("icon") << "icon.ico" << QSize(32, 32);
    QTest::newRow("cursor: the 32 x 32 entry") << "pointer.cur" << QSize(32, 32);
    QTest::newRow("PCX") << "scan.pcx" << QSize(32, 32);
    QTest::newRow("placeable metafile") << "clock.wmf" << QSize(490, 495);
    QTest::newRow("enhanced metafile") << "chart.emf" << QSize(614, 672);
}

void TestMainWindow::naturalSize() {
    QFETCH(QString, file);
    QFETCH(QSize, size);
    const bool fromCorpus = std::any_of(std::begin(CorpusCopies), std::end(CorpusCopies),
                                        [&](const auto &copy) { return file == copy.second; });
    if (fromCorpus && !m_corpus)
        QSKIP("the third-party corpus is not there");

    Viewer v;
    v.openFolder(m_folder);
    v.ui.Pic->setStretch(true);
    v.choose(file);
    QVERIFY2(!v.message(), qPrintable(v.message() ? v.message()->informativeText() : QString()));
    QVERIFY(!v.ui.Pic->stretch());
    QCOMPARE(v.ui.Pic->size(), size);
    QCOMPARE(v.ui.Pic->pos(), v.ui.boxPic->contentsRect().topLeft());
    // Never scaled: a picture larger than the viewport is clipped there.
    QCOMPARE(v.ui.boxPic->width(), v.frmMain.width() + 8 - 165);
}

void TestMainWindow::failedLoadKeepsThePicture_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("vanishes");

    QTest::newRow("corrupt JPEG") << "broken.jpg" << false;
    QTest::newRow("empty bitmap") << "empty.bmp" << false;
    QTest::newRow("a file that vanished") << "doomed.jpg" << true;
}

void TestMainWindow::failedLoadKeepsThePicture() {
    QFETCH(QString, file);
    QFETCH(bool, vanishes);

    if (vanishes)
        writeImage(m_dir.filePath(file), QSize(5, 5), "jpeg");
    Viewer v;
    v.openFolder(m_folder);
    v.choose(QStringLiteral("photo.jpg"));
    const QImage shown = v.ui.Pic->image();
    QCOMPARE(v.ui.Pic->size(), QSize(64, 48));
    if (vanishes)
        QVERIFY(QFile::remove(m_dir.filePath(file)));

    v.choose(file);

    QCOMPARE(v.ui.Pic->size(), QSize(64, 48));
    QCOMPARE(v.ui.Pic->image(), shown);
    QMessageBox *message = v.message();
    QVERIFY(message);
    QVERIFY(message->text().contains(file));
    QVERIFY(!message->informativeText().isEmpty());
    message->accept();
    // The chosen file has no size to tell: the one on display is another file's.
    v.frmMain.btnInfo_Click();
    QCOMPARE(v.frmMain.frmInfo()->form().txtName->text(), file);
    QVERIFY(v.frmMain.frmInfo()->form().txtSize->text().isEmpty());
    QVERIFY(!v.frmMain.frmInfo()->form().txtFormat->text().isEmpty());
    v.frmMain.frmInfo()->Image1_Click();
    // Still fully usable.
    v.choose(QStringLiteral("plain.bmp"));
    QCOMPARE(v.ui.Pic->size(), QSize(37, 23));
}

void TestMainWindow::pictureStaysWhenTheFolderChanges() {
    Viewer v;
    v.openFolder(m_folder);
    v.choose(QStringLiteral("photo.jpg"));
    v.openFolder(m_folder.parent_path());
    QVERIFY(v.ui.boxFile->fileName().empty());
    QCOMPARE(v.ui.Pic->size(), QSize(64, 48));
    QVERIFY(!v.ui.Pic->image().isNull());
}

void TestMainWindow::revealsTheRestAsItComesIntoView_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("deep");
    QTest::newRow("window enlarged") << "enlarge" << false;
    QTest::newRow("window maximised") << "maximise" << false;
    QTest::newRow("panel covered") << "cover" << false;
    QTest::newRow("panel covered twice") << "cover twice" << false;
    QTest::newRow("full path longer than PATH_MAX") << "enlarge" << true;
}

void TestMainWindow::revealsTheRestAsItComesIntoView() {
    QFETCH(QString, change);
    QFETCH(bool, deep);

    Viewer v;
    v.openFolder(deep ? m_deepFolder : m_folder);
    v.choose(deep ? controls::displayName(m_deepName) : QStringLiteral("wide.bmp"));
    QVERIFY2(!v.message(), qPrintable(v.message() ? v.message()->informativeText() : QString()));
    const QSize natural(2600, 1500);
    QCOMPARE(v.ui.Pic->size(), natural);

    if (change == QLatin1String("enlarge"))
        v.frmMain.resize(1200, 900);
    else if (change == QLatin1String("maximise"))
        v.frmMain.resize(1920, 1080);
    else
        for (int i = change == QLatin1String("cover") ? 1 : 2; i > 0; --i)
            v.frmMain.btnHide_Click();

    // Everything the window shows now has been decoded, and it is the picture's own pixels.
    const QSize visible = v.frmMain.visiblePictureSize();
    const QImage &decoded = v.ui.Pic->image();
    QCOMPARE(v.ui.Pic->size(), natural);
    QVERIFY2(decoded.width() >= visible.width() && decoded.height() >= visible.height(),
             qPrintable(QStringLiteral("%1 x %2 decoded, %3 x %4 visible")
                            .arg(decoded.width())
                            .arg(decoded.height())
                            .arg(visible.width())
                            .arg(visible.height())));
    for (const QPoint &at :
         {QPoint(visible.width() - 1, visible.height() - 1), QPoint(visible.width() - 1, 0),
          QPoint(0, visible.height() - 1), QPoint(visible.width() / 2, visible.height() - 1)}) {
        QCOMPARE(decoded.pixel(at), patternAt(at.x(), at.y()));
    }
    // And it is what reaches the screen.
    const QImage screen = v.ui.Pic->grab(QRect(QPoint(0, 0), visible)).toImage();
    QCOMPARE(screen.pixel(visible.width() - 1, visible.height() - 1),
             patternAt(visible.width() - 1, visible.height() - 1));
}

void TestMainWindow::failureToRevealIsReported_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("the file is gone") << "remove";
    QTest::newRow("the file is damaged now") << "damage";
    QTest::newRow("the file is another picture now") << "replace";
}

void TestMainWindow::failureToRevealIsReported() {
    QFETCH(QString, change);

    const fs::path folder = m_folder / "changing";
    fs::create_directory(folder);
    fs::copy_file(m_folder / "wide.bmp", folder / "wide.bmp", fs::copy_options::overwrite_existing);
    Viewer v;
    v.openFolder(folder);
    v.choose(QStringLiteral("wide.bmp"));
    const QImage shown = v.ui.Pic->image();
    QVERIFY(shown.width() < 2600);

    fs::remove(folder / "wide.bmp");
    if (change == QLatin1String("damage"))
        std::ofstream(folder / "wide.bmp") << "BM not a bitmap any more";
    else if (change == QLatin1String("replace"))
        fs::copy_file(m_folder / "plain.bmp", folder / "wide.bmp");
    v.frmMain.resize(1200, 900);

    QMessageBox *message = v.message();
    QVERIFY(message);
    QVERIFY(message->text().contains(QStringLiteral("wide.bmp")));
    QVERIFY(!message->informativeText().isEmpty());
    QCOMPARE(v.ui.Pic->size(), QSize(2600, 1500));
    QCOMPARE(v.ui.Pic->image(), shown);
    // Told once, not at every step of a dragged edge.
    v.frmMain.resize(1300, 950);
    QCOMPARE(v.frmMain.findChildren<QMessageBox *>().size(), 1);
    fs::remove_all(folder);
}

void TestMainWindow::refit_data() {
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<int>("fileListHeight");
    QTest::addColumn<QSize>("viewport");

    // Design values before: file list 292 high, viewport 461 x 572.
    QTest::newRow("design size with a 4-pixel frame") << QSize(625, 606) << 346 << QSize(460, 574);
    QTest::newRow("exactly at both guards") << QSize(165, 260) << 292 << QSize(461, 572);
    QTest::newRow("below both guards") << QSize(100, 100) << 292 << QSize(461, 572);
    QTest::newRow("one past both guards") << QSize(166, 261) << 1 << QSize(1, 229);
    QTest::newRow("only wider than the guard") << QSize(1000, 260) << 292 << QSize(835, 572);
    QTest::newRow("only taller than the guard") << QSize(165, 900) << 640 << QSize(461, 868);
    QTest::newRow("maximised on 1920 x 1080") << QSize(1920, 1080) << 820 << QSize(1755, 1048);
}

void TestMainWindow::refit() {
    QFETCH(QSize, outer);
    QFETCH(int, fileListHeight);
    QFETCH(QSize, viewport);

    MainWindow frmMain; // not shown: nothing but the call under test resizes it
    const Ui::frmMain &ui = frmMain.form();
    frmMain.refit(outer);
    QCOMPARE(ui.boxFile->height(), fileListHeight);
    QCOMPARE(ui.boxPic->size(), viewport);
    QCOMPARE(ui.boxPic->pos(), QPoint(156, 0));
    QCOMPARE(ui.boxFile->width(), 150);
    QCOMPARE(ui.boxDir->geometry(), QRect(2, 64, 150, 156));
}

void TestMainWindow::panel_data() {
    QTest::addColumn<bool>("fileChosen");
    QTest::addColumn<QString>("clicks"); // P: the picture, H: btnHide, R: resize to 825 x 606
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");

    // Starting from the design viewport, 156 and 461 wide.
    QTest::newRow("toggle covers") << true << "P" << 2 << 615;
    QTest::newRow("toggle twice restores") << true << "PP" << 156 << 461;
    QTest::newRow("cover covers") << true << "H" << 2 << 615;
    QTest::newRow("cover then toggle restores") << true << "HP" << 156 << 461;
    QTest::newRow("a second cover widens again") << true << "HH" << 2 << 769;
    QTest::newRow("two covers and a toggle keep 154 more") << true << "HHP" << 156 << 615;
    QTest::newRow("cover with no file does nothing") << false << "H" << 156 << 461;
    QTest::newRow("toggle works with no file") << false << "P" << 2 << 615;
    QTest::newRow("resize while covered fits beside the panel") << true << "HR" << 2 << 660;
    QTest::newRow("then a toggle narrows again") << true << "HRP" << 156 << 506;
}

void TestMainWindow::panel() {
    QFETCH(bool, fileChosen);
    QFETCH(QString, clicks);
    QFETCH(int, left);
    QFETCH(int, width);

    MainWindow frmMain;
    const Ui::frmMain &ui = frmMain.form();
    if (fileChosen) {
        QVERIFY(ui.boxDir->setPath(m_folder));
        const QModelIndex first = ui.boxFile->model()->index(0, 0);
        ui.boxFile->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
        QVERIFY(!ui.boxFile->fileName().empty());
    }
    for (const QChar click : clicks) {
        if (click == u'P')
            frmMain.Pic_Click();
        else if (click == u'H')
            frmMain.btnHide_Click();
        else
            frmMain.refit(QSize(825, 606));
    }
    QCOMPARE(ui.boxPic->x(), left);
    QCOMPARE(ui.boxPic->width(), width);
}

void TestMainWindow::firstResizeAtDesignSize() {
    Viewer v;
    // Whatever frame the desktop draws, the first resize fits both as the design's frame would:
    // the viewport one column short of the right edge and two rows past the bottom.
    QCOMPARE(v.frmMain.size(), QSize(617, 572));
    QCOMPARE(v.ui.boxFile->height(), 346);
    QCOMPARE(v.ui.boxPic->size(), QSize(460, 574));
    QCOMPARE(v.ui.boxBrowser->geometry(), QRect(0, 0, 159, v.frmMain.height()));

    // Clicking on the picture itself is what toggles; the empty viewport does nothing.
    QTest::mouseClick(v.ui.boxPic, Qt::LeftButton, {}, QPoint(100, 100));
    QCOMPARE(v.ui.boxPic->x(), 156);
    QTest::mouseClick(v.ui.Pic, Qt::LeftButton, {}, QPoint(0, 0));
    QCOMPARE(v.ui.boxPic->x(), 2);

    v.frmMain.resize(700, 650);
    QCOMPARE(v.ui.boxBrowser->height(), 650);
    QCOMPARE(v.ui.boxBrowser->width(), 159);
}

void TestMainWindow::exitEndsTheEventLoop() {
    Viewer v;
    QTimer::singleShot(0, v.ui.btnExit, [&] {
        QTest::mouseClick(v.ui.btnExit, Qt::LeftButton, {}, QPoint(16, 16));
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestMainWindow::closeIgnoredWhileDisabled() {
    Viewer v;
    v.frmMain.btnAbout_Click();
    QVERIFY(!v.frmMain.close());
    QVERIFY(v.frmMain.isVisible());
    v.frmMain.frmAbout()->Image1_Click();
    QVERIFY(v.frmMain.isEnabled());
}

void TestMainWindow::disabledWindowBringsTheDialogBack_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("action");
    // Here the dialog is minimised first; covering it takes a window manager.
    for (const char *button : {"btnAbout", "btnInfo"}) {
        for (const char *action : {"activated", "clicked", "closed"})
            QTest::addRow("%s, main window %s", button, action) << button << action;
    }
}

void TestMainWindow::disabledWindowBringsTheDialogBack() {
    QFETCH(QString, button);
    QFETCH(QString, action);

    Viewer v;
    QTest::mouseClick(v.frmMain.findChild<controls::ImageBox *>(button), Qt::LeftButton, {},
                      QPoint(10, 10));
    QWidget *dialog = v.frmMain.frmAbout() ? static_cast<QWidget *>(v.frmMain.frmAbout())
                                           : static_cast<QWidget *>(v.frmMain.frmInfo());
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
    dialog->showMinimized();
    QTRY_VERIFY(dialog->isMinimized());

    if (action == QLatin1String("activated"))
        v.frmMain.activateWindow();
    else if (action == QLatin1String("closed"))
        QVERIFY(!v.frmMain.close());
    else
        QTest::mouseClick(v.frmMain.windowHandle(), Qt::LeftButton, {}, QPoint(300, 300));

    QTRY_VERIFY(!dialog->isMinimized());
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!v.frmMain.isEnabled());
    QVERIFY(v.frmMain.isVisible());
}

void TestMainWindow::dialogProtocol_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::newRow("about") << "btnAbout"
                           << "frmAbout";
    QTest::newRow("information") << "btnInfo"
                                 << "frmInfo";
}

void TestMainWindow::dialogProtocol() {
    QFETCH(QString, button);
    QFETCH(QString, dialog);

    Viewer v;
    auto *btn = v.frmMain.findChild<controls::ImageBox *>(button);

    // Record the main window's state at the moments the dialog is shown and unloaded.
    struct Watch : QObject {
        QString name;
        QWidget *frmMain;
        std::optional<bool> enabledAtShow;
        bool eventFilter(QObject *watched, QEvent *event) override {
            if (event->type() == QEvent::Show && watched->objectName() == name && !enabledAtShow)
                enabledAtShow = frmMain->isEnabled();
            return false;
        }
    } watch;
    watch.name = dialog;
    watch.frmMain = &v.frmMain;
    qApp->installEventFilter(&watch);

    for (int opening = 0; opening < 2; ++opening) {
        watch.enabledAtShow.reset();
        QTest::mouseClick(btn, Qt::LeftButton, {}, QPoint(10, 10));
        ToolDialog *opened = dialog == QLatin1String("frmAbout")
                                 ? static_cast<ToolDialog *>(v.frmMain.frmAbout())
                                 : static_cast<ToolDialog *>(v.frmMain.frmInfo());
        QVERIFY(opened);
        QCOMPARE(opened->objectName(), dialog);
        QVERIFY(opened->isVisible());
        QCOMPARE(watch.enabledAtShow, std::optional<bool>(false));
        QVERIFY(!v.frmMain.isEnabled());

        // The disabled window ignores its buttons.
        QTest::mouseClick(v.ui.btnExit, Qt::LeftButton, {}, QPoint(16, 16));
        QTest::mouseClick(btn, Qt::LeftButton, {}, QPoint(10, 10));
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(
                     windows.begin(), windows.end(),
                     [&](const QWidget *w) { return w->objectName() == dialog && w->isVisible(); }),
                 1);

        bool enabledAtUnload = false;
        connect(opened, &ToolDialog::unloaded, this,
                [&] { enabledAtUnload = v.frmMain.isEnabled(); });
        QPointer<ToolDialog> gone = opened;
        auto *image = opened->findChild<controls::ImageBox *>(QStringLiteral("Image1"));
        QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(24, 24));
        QVERIFY(enabledAtUnload);
        QVERIFY(v.frmMain.isEnabled());
        QTRY_VERIFY(gone.isNull());
    }
    qApp->removeEventFilter(&watch);
}

void TestMainWindow::infoDialogIsLoadedAfresh() {
    Viewer v;
    v.openFolder(m_folder);
    v.choose(QStringLiteral("photo.jpg"));
    v.frmMain.btnInfo_Click();
    QCOMPARE(v.frmMain.frmInfo()->form().txtSize->text(), QStringLiteral("64 * 48 пиксела"));
    QCOMPARE(v.frmMain.frmInfo()->form().txtFolder->text(), controls::displayName(m_folder));
    v.frmMain.frmInfo()->Image1_Click();

    if (m_corpus) {
        v.choose(QStringLiteral("anim.gif"));
        v.frmMain.btnInfo_Click();
        QCOMPARE(v.frmMain.frmInfo()->form().txtName->text(), QStringLiteral("anim.gif"));
        QCOMPARE(v.frmMain.frmInfo()->form().txtSize->text(), QStringLiteral("301 * 320 пиксела"));
        QCOMPARE(v.frmMain.frmInfo()->form().txtFormat->text(), QStringLiteral("GIF изображение"));
        v.frmMain.frmInfo()->Image1_Click();
    }

    // After a folder change nothing is chosen: four empty fields, the picture still shown.
    v.openFolder(m_folder.parent_path());
    v.frmMain.btnInfo_Click();
    QVERIFY(v.frmMain.frmInfo()->form().txtName->text().isEmpty());
    QVERIFY(v.frmMain.frmInfo()->form().txtSize->text().isEmpty());
    v.frmMain.frmInfo()->Image1_Click();
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
