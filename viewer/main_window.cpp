#include "viewer/main_window.h"

#include "controls/file_names.h"
#include "dialogs/about_dialog.h"
#include "dialogs/info_dialog.h"
#include "picture/picture_file.h"
#include "resources/resources.h"
#include "viewer/picture_name.h"
#include "viewer/process_services.h"

#include "ui_main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QWindow>

#include <cmath>

namespace {

// Where the viewport's left edge stands with the panel shown and covered, and the width it
// gains or gives up between the two.
constexpr int ShownLeft = 156;
constexpr int CoveredLeft = 2;
constexpr int Slide = ShownLeft - CoveredLeft;

// The window's outer size above which the lists and the viewport follow it, and by how much
// each falls short of it.
constexpr int MinOuterHeight = 260;
constexpr int FileListShortfall = 260;
constexpr int MinOuterWidth = 165;
constexpr int ViewportWidthShortfall = 165;
constexpr int ViewportHeightShortfall = 32;

// The frame those numbers were chosen for: 4 pixels at the sides and bottom, the caption bar
// making 30 at the top. Frames differ between desktops, and under X11 the frame isn't known
// yet when the window is first sized, so the outer size is always reckoned with this one;
// otherwise a thinner frame leaves a strip of bare window under and beside the viewport.
constexpr QSize DesignFrame(4 + 4, 30 + 4);

} // namespace

MainWindow::MainWindow(QWidget *parent, Load load)
    : QWidget(parent)
    , ui(std::make_unique<Ui::frmMain>()) {
    resources::load();
    ui->setupUi(this);
    ToolDialog::rememberFocusIn(*this);

    connect(ui->boxDrive, &controls::DriveListBox::change, this, &MainWindow::boxDrive_Change);
    connect(ui->boxDir, &controls::DirListBox::change, this, &MainWindow::boxDir_Change);
    connect(ui->boxDir, &controls::DirListBox::openFailed, this, &MainWindow::boxDir_OpenFailed);
    connect(ui->boxFile, &controls::FileListBox::click, this, &MainWindow::boxFile_Click);
    connect(ui->Pic, &controls::ImageBox::click, this, &MainWindow::Pic_Click);
    connect(ui->btnHide, &controls::ImageBox::click, this, &MainWindow::btnHide_Click);
    connect(ui->btnExit, &controls::ImageBox::click, this, &MainWindow::btnExit_Click);
    connect(ui->btnInfo, &controls::ImageBox::click, this, &MainWindow::btnInfo_Click);
    connect(ui->btnAbout, &controls::ImageBox::click, this, &MainWindow::btnAbout_Click);

    if (load == Load::Now)
        frmMain_Load();
}

MainWindow::~MainWindow() {
    // The dialogs have no owner; they go with the program.
    delete m_frmAbout;
    delete m_frmInfo;
}

void MainWindow::frmMain_Load() {
    // The form names the icon and the buttons' pictures; our own decoders read them, which
    // spares the search for Qt's image plugins at start-up.
    resources::showPictures(*this);
    const auto folder = viewer::programFolder();
    {
        // The directory list opens the folder itself just below: the drive's root need not be
        // listed first, nor its files.
        const QSignalBlocker quiet(ui->boxDrive);
        ui->boxDrive->setDrive(folder);
    }
    if (!ui->boxDir->setPath(folder)) {
        // A program folder that can't be listed (gone, no permission) would leave three empty
        // lists; start where a person can browse instead, with the drive list on the drive the
        // directory list went up to (not the one of a file system mounted below it).
        const auto home = std::filesystem::path(QDir::homePath().toStdU16String());
        for (const auto &fallback : {home, folder.root_path()}) {
            if (ui->boxDir->setPath(fallback)) {
                ui->boxDrive->setDrive(ui->boxDir->driveRoot());
                break;
            }
        }
    }
    // The directory list's Change has shown its folder's files, unless it stayed where it was.
    if (ui->boxFile->path() != ui->boxDir->path()) {
        ui->boxFile->setPath(ui->boxDir->path());
        followFolder();
    }
}

void MainWindow::boxDrive_Change() {
    if (ui->boxDir->openDrive(ui->boxDrive->drive()))
        return;
    // The drive can't be opened (no medium, unmounted, no permission): quietly go back to the
    // drive the lists are on. Its Change reopens the folder that is open, so nothing moves.
    ui->boxDrive->setDrive(ui->boxDir->driveRoot());
    followFolder();
}

void MainWindow::boxDir_Change() {
    if (!ui->boxFile->setPath(ui->boxDir->path())) {
        // The file list still shows the folder it showed, and the working directory stays with
        // it.
        reportFailure(QStringLiteral("Папката „%1“ не може да бъде прочетена.")
                          .arg(controls::displayName(ui->boxDir->path())),
                      QString());
        return;
    }
    followFolder();
}

void MainWindow::followFolder() {
    // Nothing in the viewer reads the working directory (a picture is looked up within the
    // file list's folder), but it follows the lists, as it always has. A folder that can be
    // listed but not entered keeps its files closed too, so the person hears of it now.
    const auto folder = ui->boxFile->path();
    if (!folder.empty() && !viewer::setWorkingDirectory(folder))
        reportFailure(QStringLiteral("Папката „%1“ не може да бъде отворена.")
                          .arg(controls::displayName(folder)),
                      QString());
}

void MainWindow::boxDir_OpenFailed(const std::filesystem::path &folder) {
    reportFailure(
        QStringLiteral("Папката „%1“ не може да бъде отворена.").arg(controls::displayName(folder)),
        QString());
}

void MainWindow::boxFile_Click() {
    ui->Pic->setStretch(false);
    const auto name = ui->boxFile->fileName();
    if (name.empty())
        return;
    // Looked up within the folder the list shows, so a name whose full path is too long for
    // the system still opens. Only the part the window can show is decoded; the rest waits
    // until it comes into view.
    const auto folder = ui->boxFile->path();
    const picture::LoadResult loaded = picture::loadPictureFile(folder, name, visiblePictureSize());
    if (!loaded.ok()) {
        m_chosenShown = false;
        reportFailure(
            QStringLiteral("Файлът „%1“ не може да бъде показан.").arg(controls::displayName(name)),
            loaded.error);
        return;
    }
    ui->Pic->setPicture(loaded.picture->image, loaded.picture->size);
    ui->Pic->setAccessibleName(viewer::pictureName(name, loaded.picture->size));
    m_shownFolder = folder;
    m_shownName = name;
    m_chosenShown = true;
    m_revealFailed = false;
}

bool MainWindow::chosenIsShown() const {
    return m_chosenShown && ui->boxFile->path() == m_shownFolder &&
           ui->boxFile->fileName() == m_shownName;
}

QSize MainWindow::visiblePictureSize() const {
    // Where the picture's top-left corner stands, and how far the viewport and the window
    // reach from there: the picture never scrolls, so nothing beyond can ever be seen.
    const QPoint origin = ui->Pic->mapTo(this, QPoint(0, 0));
    const QRect viewport(ui->boxPic->mapTo(this, ui->boxPic->contentsRect().topLeft()),
                         ui->boxPic->contentsRect().size());
    const QRect reach = viewport.intersected(rect());
    // In picture pixels, which are the screen's: more than the window's on a scaled screen.
    const qreal ratio = devicePixelRatioF();
    return QSize(int(std::ceil(std::max(0, reach.right() + 1 - origin.x()) * ratio)),
                 int(std::ceil(std::max(0, reach.bottom() + 1 - origin.y()) * ratio)));
}

void MainWindow::revealPicture() {
    const QSize natural = ui->Pic->naturalSize();
    const QSize decoded = ui->Pic->image().size();
    if (m_shownName.empty() || m_revealFailed || decoded == natural)
        return;
    const QSize wanted = visiblePictureSize().boundedTo(natural);
    if (wanted.width() <= decoded.width() && wanted.height() <= decoded.height())
        return;
    // Grow by a margin, so dragging the window's edge does not decode at every step.
    const QSize ahead = wanted.expandedTo(decoded * 5 / 4).boundedTo(natural);
    const picture::LoadResult loaded = picture::loadPictureFile(m_shownFolder, m_shownName, ahead);
    if (loaded.ok() && loaded.picture->size == natural) {
        ui->Pic->setPicture(loaded.picture->image, natural);
        return;
    }
    // Damaged past the part first decoded, or changed or gone since it was chosen: what is
    // shown stays, and the person is told once, not at every step of a dragged edge.
    m_revealFailed = true;
    reportFailure(QStringLiteral("Файлът „%1“ не може да бъде показан.")
                      .arg(controls::displayName(m_shownName)),
                  loaded.ok() ? QStringLiteral("Файлът е променен, след като беше показан.")
                              : loaded.error);
}

void MainWindow::Pic_Click() {
    QWidget &boxPic = *ui->boxPic;
    if (boxPic.x() == CoveredLeft) {
        boxPic.move(ShownLeft, boxPic.y());
        boxPic.resize(boxPic.width() - Slide, boxPic.height());
    } else {
        boxPic.move(CoveredLeft, boxPic.y());
        boxPic.resize(boxPic.width() + Slide, boxPic.height());
    }
    revealPicture();
}

void MainWindow::btnHide_Click() {
    if (ui->boxFile->fileName().empty())
        return;
    // Covers whatever the panel's state: a second click widens the viewport again.
    QWidget &boxPic = *ui->boxPic;
    boxPic.move(CoveredLeft, boxPic.y());
    boxPic.resize(boxPic.width() + Slide, boxPic.height());
    revealPicture();
}

void MainWindow::frmMain_Resize() {
    refit(size() + DesignFrame);
}

void MainWindow::refit(QSize outerSize) {
    // Three independent rules; none looks at whether the panel is covered.
    if (outerSize.height() > MinOuterHeight)
        ui->boxFile->resize(ui->boxFile->width(), outerSize.height() - FileListShortfall);
    if (outerSize.width() > MinOuterWidth)
        ui->boxPic->resize(outerSize.width() - ViewportWidthShortfall, ui->boxPic->height());
    if (outerSize.height() > MinOuterHeight)
        ui->boxPic->resize(ui->boxPic->width(), outerSize.height() - ViewportHeightShortfall);
    revealPicture();
}

void MainWindow::btnExit_Click() {
    QCoreApplication::quit();
}

void MainWindow::btnInfo_Click() {
    setEnabled(false);
    if (!m_frmInfo) {
        m_frmInfo = new InfoDialog(*this, *ui->boxFile, *ui->Pic, chosenIsShown());
        connect(m_frmInfo, &ToolDialog::unloaded, this, [this] { m_frmInfo = nullptr; });
    }
    m_frmInfo->show();
}

void MainWindow::btnAbout_Click() {
    setEnabled(false);
    if (!m_frmAbout) {
        m_frmAbout = new AboutDialog(*this);
        connect(m_frmAbout, &ToolDialog::unloaded, this, [this] { m_frmAbout = nullptr; });
    }
    m_frmAbout->show();
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    frmMain_Resize();
}

void MainWindow::showEvent(QShowEvent *event) {
    if (!m_placed) {
        m_placed = true;
        if (const QScreen *screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        // Clicks reach the window even while it is disabled, before any of its controls.
        if (QWindow *window = windowHandle())
            window->installEventFilter(this);
    }
    QWidget::showEvent(event);
}

void MainWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        bringDialogForward();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == windowHandle() && event->type() == QEvent::MouseButtonPress)
        bringDialogForward();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::bringDialogForward() {
    if (isEnabled())
        return;
    if (m_frmInfo)
        m_frmInfo->bringForward();
    else if (m_frmAbout)
        m_frmAbout->bringForward();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // While a dialog is open the window is disabled and stays until the dialog is closed.
    if (!isEnabled()) {
        event->ignore();
        bringDialogForward();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void MainWindow::reportFailure(const QString &message, const QString &why) {
    // Window-modal and non-blocking: the viewer keeps its picture and stays usable.
    auto *box =
        new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
    box->setInformativeText(why);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
