#pragma once

#include "dialogs/about_dialog.h"
#include "dialogs/info_dialog.h"

#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <memory>

namespace Ui {
class frmMain;
}

// The viewer's main window, frmMain: the browser panel of lists and picture buttons beside the
// viewport that shows the chosen picture. Each handler is named for its control and notification.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    // When the window's pictures are shown and its lists filled (frmMain_Load): as it is
    // built, or by the caller once the window is on the screen.
    enum class Load { Now, Later };

    explicit MainWindow(QWidget *parent = nullptr, Load load = Load::Now);
    ~MainWindow() override;

    const Ui::frmMain &form() const { return *ui; }

    // The dialogs while they are loaded; null otherwise.
    AboutDialog *frmAbout() const { return m_frmAbout; }
    InfoDialog *frmInfo() const { return m_frmInfo; }

    // The size of the picture's top-left part that the window can show as it is laid out now,
    // in picture pixels (more than the window's own on a scaled screen).
    QSize visiblePictureSize() const;

    // Opens the picture or folder the program was started with, after the start-up: a picture
    // is chosen in its folder's list and shown as a click shows it. A path that can't be
    // opened leaves the lists where start-up put them, and says why. (viewer/start_path.cpp)
    void openStartPath(const std::filesystem::path &path);

    // Re-fits the file list and the viewport to an outer window size in pixels.
    void refit(QSize outerSize);

    // Handlers, public so the window can be driven exactly as a person drives it.
    void frmMain_Load();
    void boxDrive_Change();
    void boxDir_Change();
    void boxFile_Click();
    void Pic_Click();
    void btnHide_Click();
    void frmMain_Resize();
    void btnExit_Click();
    void btnInfo_Click();
    void btnAbout_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reportFailure(const QString &message, const QString &why);
    // While a dialog is open: brings it back to a person who clicks, activates or closes this
    // disabled window, which could otherwise cover it and leave the program looking dead.
    void bringDialogForward();
    void boxDir_OpenFailed(const std::filesystem::path &folder);
    // Moves the working directory to the file list's folder, telling the person if it can't.
    void followFolder();
    // Whether the file chosen in the file list is the one whose picture is on display.
    bool chosenIsShown() const;
    // Decodes the part of the shown picture that has just come into view, if any.
    void revealPicture();

    // The shown picture's file: the folder it was chosen in and its name there, kept so the
    // rest of it can be decoded as it comes into view whatever folder the lists have moved to.
    std::filesystem::path m_shownFolder;
    std::filesystem::path m_shownName;
    // The last file chosen is the one on display (its load did not fail).
    bool m_chosenShown = false;
    // The rest of the shown picture could not be decoded; it is not tried again.
    bool m_revealFailed = false;

    std::unique_ptr<Ui::frmMain> ui;
    QPointer<AboutDialog> m_frmAbout;
    QPointer<InfoDialog> m_frmInfo;
    bool m_placed = false;
};
