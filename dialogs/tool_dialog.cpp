#include "dialogs/tool_dialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

ToolDialog::ToolDialog(QWidget &frmMain)
    : QDialog(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_frmMain(frmMain) {}

void ToolDialog::finishLoading() {
    for (QLabel *label : findChildren<QLabel *>()) {
        if (label->property("autoSize").toBool())
            label->adjustSize();
    }
    setFixedSize(size());
}

void ToolDialog::Image1_Click() {
    m_frmMain.setEnabled(true);
    unload();
}

void ToolDialog::bringForward() {
    if (m_unloaded)
        return;
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void ToolDialog::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    hide();
    emit unloaded();
    deleteLater();
}

void ToolDialog::showEvent(QShowEvent *event) {
    if (!m_placed) {
        m_placed = true;
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
    // A tool window is not given the keyboard by every desktop; without it Escape would do
    // nothing until the dialog is clicked.
    activateWindow();
}

void ToolDialog::closeEvent(QCloseEvent *event) {
    // Closed through the frame or by the keyboard: the same way as a click on the image, so the
    // main window is never left disabled with no dialog open.
    event->accept();
    Image1_Click();
}

void ToolDialog::reject() {
    close();
}
