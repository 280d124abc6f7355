#include "dialogs/tool_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QScreen>

namespace {

const char *const FocusMemoryName = "glimraFocusMemory";

// The control of one window that last had the keyboard focus.
class FocusMemory : public QObject {
public:
    explicit FocusMemory(QWidget &window)
        : QObject(&window) {
        setObjectName(QLatin1String(FocusMemoryName));
        connect(qApp, &QApplication::focusChanged, this, [this, &window](QWidget *, QWidget *now) {
            if (now && now->window() == &window)
                last = now;
        });
    }
    QPointer<QWidget> last;
};

} // namespace

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

void ToolDialog::rememberFocusIn(QWidget &frmMain) {
    if (!frmMain.findChild<QObject *>(QLatin1String(FocusMemoryName), Qt::FindDirectChildrenOnly))
        new FocusMemory(frmMain);
}

void ToolDialog::Image1_Click() {
    m_frmMain.setEnabled(true);
    unload();
    const auto *memory = static_cast<FocusMemory *>(
        m_frmMain.findChild<QObject *>(QLatin1String(FocusMemoryName), Qt::FindDirectChildrenOnly));
    if (memory && memory->last && memory->last->isEnabled())
        memory->last->setFocus(Qt::OtherFocusReason);
    m_frmMain.activateWindow();
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
