#include "controls/file_list_box.h"
#include "controls/image_box.h"
#include "dialogs/about_dialog.h"
#include "dialogs/info_dialog.h"
#include "viewer/interface_font.h"

#include "ui_about_dialog.h"
#include "ui_info_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

namespace {

// A dialog of either kind with the main window it reports to.
struct Opened {
    QWidget frmMain;
    controls::FileListBox boxFile;
    controls::ImageBox Pic;
    QPointer<ToolDialog> dialog;

    explicit Opened(const QString &kind) {
        frmMain.setEnabled(false);
        if (kind == QLatin1String("about"))
            dialog = new AboutDialog(frmMain);
        else
            dialog = new InfoDialog(frmMain, boxFile, Pic, false);
        dialog->show();
    }
    ~Opened() { delete dialog; }
};

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { viewer::loadInterfaceFont(); }

    void windows_data();
    void windows();
    void aboutGeometry_data();
    void aboutGeometry();
    void aboutTexts();
    void aboutNoticeFits();
    void noControlsOverlap_data();
    void noControlsOverlap();
    void infoGeometry_data();
    void infoGeometry();
    void infoFieldsInTabOrder();
    void infoWithoutAFileIsEmpty();
    void infoShowsTheChosenFile_data();
    void infoShowsTheChosenFile();
    void closePaths_data();
    void closePaths();
    void clicksElsewhereDoNothing();
};

void TestDialogs::windows_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("client");

    QTest::newRow("about") << "about"
                           << "frmAbout"
                           << "За програмата" << QSize(575, 272);
    QTest::newRow("information") << "info"
                                 << "frmInfo"
                                 << "Информация" << QSize(285, 125);
}

void TestDialogs::windows() {
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QSize, client);

    Opened opened(kind);
    ToolDialog &dialog = *opened.dialog;
    QCOMPARE(dialog.objectName(), name);
    QCOMPARE(dialog.windowTitle(), caption);
    QCOMPARE(dialog.size(), client);
    QCOMPARE(dialog.minimumSize(), client);
    QCOMPARE(dialog.maximumSize(), client);
    QVERIFY(dialog.isWindow());
    QCOMPARE(dialog.parentWidget(), nullptr);
    QCOMPARE(dialog.windowType(), Qt::Tool);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QVERIFY(!dialog.isModal());
    for (const QLabel *label : dialog.findChildren<QLabel *>()) {
        QCOMPARE(label->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(label->font().pointSizeF(), 9.75);
    }
    // Nothing in either dialog but its fields takes the keyboard.
    for (const QWidget *child : dialog.findChildren<QWidget *>()) {
        if (!qobject_cast<const QLineEdit *>(child))
            QVERIFY2(!(child->focusPolicy() & Qt::TabFocus), qPrintable(child->objectName()));
    }
}

void TestDialogs::aboutGeometry_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("sizesToText");

    QTest::newRow("picMe") << "picMe" << QRect(5, 5, 158, 264) << false;
    QTest::newRow("Label1") << "Label1" << QRect(175, 10, 116, 16) << true;
    QTest::newRow("Label2") << "Label2" << QRect(175, 35, 274, 16) << true;
    QTest::newRow("Label4") << "Label4" << QRect(175, 195, 202, 16) << true;
    QTest::newRow("Label5") << "Label5" << QRect(175, 220, 150, 16) << true;
    QTest::newRow("Label6") << "Label6" << QRect(175, 245, 133, 16) << true;
    QTest::newRow("Image1") << "Image1" << QRect(510, 210, 48, 48) << false;
}

void TestDialogs::aboutGeometry() {
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    QFETCH(bool, sizesToText);

    Opened opened(QStringLiteral("about"));
    const auto *widget = opened.dialog->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->pos(), geometry.topLeft());
    if (sizesToText)
        QCOMPARE(widget->size(), widget->sizeHint());
    else
        QCOMPARE(widget->size(), geometry.size());
}

void TestDialogs::aboutTexts() {
    Opened opened(QStringLiteral("about"));
    const auto &form = static_cast<AboutDialog &>(*opened.dialog).form();
    QCOMPARE(form.Label1->text(), QStringLiteral("Glimra - версия 2.0"));
    QVERIFY(form.Label2->text().contains(u'©'));
    QVERIFY(form.Label4->text().startsWith(QStringLiteral("Web сайт: ")));
    QVERIFY(form.Label5->text().startsWith(QStringLiteral("E-mail: ")));
    QVERIFY(form.Label6->text().startsWith(QStringLiteral("Телефон: ")));
    // The contacts are placeholders, plainly not anybody's.
    QVERIFY(form.Label4->text().contains(QStringLiteral("example.org")));
    QVERIFY(form.Label5->text().contains(QStringLiteral("@example.org")));

    const QString notice = form.Label3->text();
    QCOMPARE(notice.count(u'\n'), 1);
    QVERIFY(!notice.startsWith(u'\n') && !notice.endsWith(u'\n'));
    QVERIFY(notice.contains(QStringLiteral("БЕЗ НИКАКВА ГАРАНЦИЯ")));
    QVERIFY(form.Label3->wordWrap());
    QCOMPARE(form.Label3->frameShape(), QFrame::Box);

    QCOMPARE(form.picMe->naturalSize(), QSize(154, 260));
    QCOMPARE(form.Image1->naturalSize(), QSize(48, 48));
}

void TestDialogs::aboutNoticeFits() {
    Opened opened(QStringLiteral("about"));
    const QLabel &notice = *static_cast<AboutDialog &>(*opened.dialog).form().Label3;
    QVERIFY2(notice.heightForWidth(notice.width()) <= notice.height(),
             qPrintable(QStringLiteral("the notice needs %1 pixels of %2")
                            .arg(notice.heightForWidth(notice.width()))
                            .arg(notice.height())));
}

void TestDialogs::noControlsOverlap_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("about") << "about";
    QTest::newRow("information") << "info";
}

void TestDialogs::noControlsOverlap() {
    QFETCH(QString, kind);
    Opened opened(kind);
    const QList<QWidget *> controls =
        opened.dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        QVERIFY2(opened.dialog->rect().contains(controls[i]->geometry()),
                 qPrintable(controls[i]->objectName()));
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(controls[i]->objectName() + QLatin1String(" and ") +
                                controls[j]->objectName()));
        }
    }
}

void TestDialogs::infoGeometry_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("Label1") << "Label1" << QRect(10, 10, 28, 16) << "Име:";
    QTest::newRow("txtName") << "txtName" << QRect(70, 8, 150, 22) << "";
    QTest::newRow("Label2") << "Label2" << QRect(10, 40, 40, 16) << "Папка:";
    QTest::newRow("txtFolder") << "txtFolder" << QRect(70, 38, 150, 22) << "";
    QTest::newRow("Label4") << "Label4" << QRect(10, 70, 50, 16) << "Формат:";
    QTest::newRow("txtFormat") << "txtFormat" << QRect(70, 68, 150, 22) << "";
    QTest::newRow("Label3") << "Label3" << QRect(10, 100, 54, 16) << "Размери:";
    QTest::newRow("txtSize") << "txtSize" << QRect(70, 98, 150, 22) << "";
    QTest::newRow("Image1") << "Image1" << QRect(230, 70, 48, 48) << "";
}

void TestDialogs::infoGeometry() {
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    Opened opened(QStringLiteral("info"));
    const QWidget *widget = opened.dialog->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->pos(), geometry.topLeft());
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->size(), label->sizeHint());
    } else {
        QCOMPARE(widget->size(), geometry.size());
    }
}

void TestDialogs::infoFieldsInTabOrder() {
    Opened opened(QStringLiteral("info"));
    const auto &form = static_cast<InfoDialog &>(*opened.dialog).form();
    QList<QWidget *> order;
    QWidget *widget = form.txtName;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order.append(widget);
        widget = widget->nextInFocusChain();
    } while (widget != form.txtName);
    QCOMPARE(order, (QList<QWidget *>{form.txtName, form.txtFolder, form.txtFormat, form.txtSize}));
}

void TestDialogs::infoWithoutAFileIsEmpty() {
    Opened opened(QStringLiteral("info"));
    const auto &form = static_cast<InfoDialog &>(*opened.dialog).form();
    for (const QLineEdit *field : {form.txtName, form.txtFolder, form.txtFormat, form.txtSize})
        QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
}

void TestDialogs::infoShowsTheChosenFile_data() {
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("size");
    QTest::newRow("the file on display") << true << "640 * 480 пиксела";
    // Its load failed: the picture on display is another file's, whose size is not this one's.
    QTest::newRow("another file on display") << false << "";
}

void TestDialogs::infoShowsTheChosenFile() {
    QFETCH(bool, shown);
    QFETCH(QString, size);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Deep enough that the field can show only part of it.
    const std::filesystem::path folder =
        std::filesystem::path(dir.path().toStdString()) / "holidays" / "2026" / "the seaside";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "photo.jpg") << "not really a photograph";

    QWidget frmMain;
    controls::FileListBox boxFile;
    controls::ImageBox Pic;
    QVERIFY(boxFile.setPath(folder));
    boxFile.setPattern(QStringLiteral("*.jpg"));
    boxFile.setCurrentIndex(boxFile.model()->index(0, 0));
    QCOMPARE(boxFile.fileName(), std::filesystem::path("photo.jpg"));
    Pic.setPicture(QImage(640, 480, QImage::Format_RGB32));

    QPointer<InfoDialog> dialog = new InfoDialog(frmMain, boxFile, Pic, shown);
    const auto &form = dialog->form();
    QCOMPARE(form.txtName->text(), QStringLiteral("photo.jpg"));
    QCOMPARE(form.txtFolder->text(), dir.path() + QStringLiteral("/holidays/2026/the seaside"));
    QCOMPARE(form.txtSize->text(), size);
    QCOMPARE(form.txtFormat->text(), QStringLiteral("JPEG изображение"));
    // A text longer than its field shows its start.
    for (const QLineEdit *field : {form.txtName, form.txtFolder, form.txtFormat, form.txtSize})
        QCOMPARE(field->cursorPosition(), 0);
    delete dialog;
}

void TestDialogs::closePaths_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("path");

    for (const char *kind : {"about", "info"}) {
        for (const char *path : {"image click", "frame close", "Escape"})
            QTest::addRow("%s, %s", kind, path) << kind << path;
    }
}

void TestDialogs::closePaths() {
    QFETCH(QString, kind);
    QFETCH(QString, path);

    Opened opened(kind);
    QPointer<ToolDialog> dialog = opened.dialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QSignalSpy unloaded(dialog.data(), &ToolDialog::unloaded);
    // The main window must be enabled before the dialog goes.
    bool enabledWhenUnloaded = false;
    connect(dialog.data(), &ToolDialog::unloaded, dialog.data(),
            [&] { enabledWhenUnloaded = opened.frmMain.isEnabled(); });

    if (path == QLatin1String("image click")) {
        auto *image = dialog->findChild<controls::ImageBox *>(QStringLiteral("Image1"));
        QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(24, 24));
    } else if (path == QLatin1String("frame close")) {
        dialog->close();
    } else {
        QTest::keyClick(dialog, Qt::Key_Escape);
    }
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(enabledWhenUnloaded);
    QVERIFY(opened.frmMain.isEnabled());
    QVERIFY(!dialog->isVisible());
    // Unloading destroys the window and its controls.
    QTRY_VERIFY(dialog.isNull());
}

void TestDialogs::clicksElsewhereDoNothing() {
    Opened opened(QStringLiteral("about"));
    QVERIFY(QTest::qWaitForWindowExposed(opened.dialog));
    const auto &form = static_cast<AboutDialog &>(*opened.dialog).form();
    for (QWidget *widget :
         {static_cast<QWidget *>(form.picMe), static_cast<QWidget *>(form.Label1),
          static_cast<QWidget *>(form.Label3), static_cast<QWidget *>(opened.dialog)}) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(opened.dialog);
        QVERIFY(opened.dialog->isVisible());
        QVERIFY(!opened.frmMain.isEnabled());
    }
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
