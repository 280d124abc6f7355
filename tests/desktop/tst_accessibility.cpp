// What a screen reader and a keyboard user get from the main window and the dialogs, in
// process: roles, names, press actions, shortcuts, labels and where the focus goes.
#include "../controls/temp_folder.h"
#include "controls/dir_list_box.h"
#include "controls/dir_list_model.h"
#include "controls/file_list_box.h"
#include "controls/image_box.h"
#include "controls/picture_box.h"
#include "dialogs/info_dialog.h"
#include "viewer/interface_font.h"
#include "viewer/main_window.h"

#include "ui_info_dialog.h"
#include "ui_main_window.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

namespace fs = std::filesystem;

namespace {

QAccessibleInterface *accessible(QObject *object) {
    return QAccessible::queryAccessibleInterface(object);
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pictureButtons_data();
    void pictureButtons();
    void namesAndLevels();
    void dialogFieldsAndFocus_data();
    void dialogFieldsAndFocus();

private:
    MainWindow *m_frmMain = nullptr;
    TempFolder m_dir;
};

void TestAccessibility::initTestCase() {
    viewer::loadInterfaceFont();
    QVERIFY(m_dir.isValid());
    fs::create_directories(m_dir.root() / "inner");
    QImage image(37, 23, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(image.save(QString::fromStdString((m_dir.root() / "мост.bmp").string()), "bmp"));
}

void TestAccessibility::init() {
    m_frmMain = new MainWindow;
    m_frmMain->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_frmMain));
    QApplication::setActiveWindow(m_frmMain);
    m_frmMain->openStartPath(m_dir.root() / "мост.bmp");
}

void TestAccessibility::cleanup() {
    delete m_frmMain->frmInfo();
    delete m_frmMain->frmAbout();
    delete m_frmMain;
    QApplication::setActiveWindow(nullptr);
}

void TestAccessibility::pictureButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("hide") << "btnHide" << QAccessible::Button << "Скрий менюто"
                          << QKeySequence(Qt::CTRL | Qt::Key_H);
    QTest::newRow("info") << "btnInfo" << QAccessible::Button << "Информация за изображението"
                          << QKeySequence(Qt::CTRL | Qt::Key_I);
    QTest::newRow("about") << "btnAbout" << QAccessible::Button << "За програмата"
                           << QKeySequence(Qt::Key_F1);
    QTest::newRow("the picture toggles the panel")
        << "Pic" << QAccessible::Graphic << "мост.bmp, 37 на 23 пиксела"
        << QKeySequence(Qt::Key_F9);
}

void TestAccessibility::pictureButtons() {
    QFETCH(QString, button);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    QFETCH(QKeySequence, keys);
    auto *box = m_frmMain->findChild<controls::ImageBox *>(button);
    QAccessibleInterface *iface = accessible(box);
    QVERIFY(iface);
    QCOMPARE(iface->role(), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QAccessibleActionInterface *actions = iface->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    QCOMPARE(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
             QStringList{keys.toString(QKeySequence::NativeText)});
    // Still no focus and out of the Tab order.
    QCOMPARE(box->focusPolicy(), Qt::NoFocus);

    // Pressed by the screen reader, then by its keys: the same click each time.
    QSignalSpy clicks(box, &controls::ImageBox::click);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicks.size(), 1);
    if (auto *dialog = m_frmMain->frmInfo() ? static_cast<ToolDialog *>(m_frmMain->frmInfo())
                                            : m_frmMain->frmAbout()) {
        // With a dialog open the main window takes no keys.
        QTest::keySequence(m_frmMain, keys);
        QCOMPARE(clicks.size(), 1);
        dialog->Image1_Click();
        QApplication::setActiveWindow(m_frmMain);
    }
    QTest::keySequence(m_frmMain, keys);
    QCOMPARE(clicks.size(), 2);
}

void TestAccessibility::namesAndLevels() {
    const Ui::frmMain &ui = m_frmMain->form();
    for (QWidget *widget : std::initializer_list<QWidget *>{ui.boxBrowser, ui.boxPic, ui.boxDir,
                                                            ui.boxFile, ui.boxDrive})
        QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(widget->objectName()));
    QCOMPARE(accessible(m_frmMain)->role(), QAccessible::Window);

    const QAbstractItemModel *folders = ui.boxDir->model();
    const int open = int(std::distance(m_dir.root().begin(), m_dir.root().end()));
    for (int row = 0; row < folders->rowCount(); ++row)
        QCOMPARE(folders->index(row, 0).data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("ниво %1").arg(std::min(row + 1, open + 1)));

    // A failed load keeps the picture, and its name.
    QAccessibleInterface *pic = accessible(ui.Pic);
    const QString before = pic->text(QAccessible::Name);
    m_frmMain->openStartPath(m_dir.root() / "gone.bmp");
    QCOMPARE(pic->text(QAccessible::Name), before);
}

void TestAccessibility::dialogFieldsAndFocus_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("information") << "btnInfo";
    QTest::newRow("about") << "btnAbout";
}

void TestAccessibility::dialogFieldsAndFocus() {
    QFETCH(QString, button);
    const Ui::frmMain &ui = m_frmMain->form();
    ui.boxFile->setFocus();
    QCOMPARE(QApplication::focusWidget(), ui.boxFile);
    m_frmMain->findChild<controls::ImageBox *>(button)->press();
    ToolDialog *dialog = m_frmMain->frmInfo() ? static_cast<ToolDialog *>(m_frmMain->frmInfo())
                                              : m_frmMain->frmAbout();
    QVERIFY(dialog);
    if (InfoDialog *info = m_frmMain->frmInfo()) {
        const Ui::frmInfo &form = info->form();
        for (QLineEdit *field : {form.txtName, form.txtFolder, form.txtFormat, form.txtSize}) {
            const auto labels = accessible(field)->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QVERIFY(labels.first().first->text(QAccessible::Name).endsWith(u':'));
        }
    }
    auto *close = dialog->findChild<controls::ImageBox *>(QStringLiteral("Image1"));
    QCOMPARE(accessible(close)->role(), QAccessible::Button);
    accessible(close)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(m_frmMain->isEnabled());
    QApplication::setActiveWindow(m_frmMain);
    // Back where it was, not on the first control of the window.
    QCOMPARE(QApplication::focusWidget(), ui.boxFile);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
