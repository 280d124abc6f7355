#pragma once

#include <QDialog>

// What the two dialogs share: a fixed-size tool window, centred on the screen, shown without an
// owner while the main window is disabled. Closing it by its image, its frame, Escape or Alt+F4
// enables the main window first and then unloads the dialog, destroying its window and controls.
class ToolDialog : public QDialog {
    Q_OBJECT

public:
    explicit ToolDialog(QWidget &frmMain);

    // Enables the main window, then unloads this dialog; the main window's control that had the
    // keyboard focus before the dialog opened has it again.
    void Image1_Click();

    // Restores the dialog if it is minimised, puts it above the other windows and gives it the
    // keyboard. The disabled main window calls it when a person reaches for it.
    void bringForward();

    // Follows which control of `frmMain` has the keyboard focus, so that closing a dialog can
    // give it back: disabling a window takes the focus from its controls.
    static void rememberFocusIn(QWidget &frmMain);

signals:
    // The dialog has been unloaded; it is gone once control returns to the event loop.
    void unloaded();

protected:
    // Finishes what the stored description can't say: labels that size themselves to their
    // text and a fixed size equal to the stored one. Call after setupUi.
    void finishLoading();

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void unload();

    QWidget &m_frmMain;
    bool m_unloaded = false;
    bool m_placed = false;
};
