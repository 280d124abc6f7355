#include "controls/picture_box.h"

#include <QTest>

// Resizes reach a widget only once it is shown, so each parent here is shown before it is resized.

class TestPictureBox : public QObject {
    Q_OBJECT

private slots:
    void followsTheParentsHeight_data();
    void followsTheParentsHeight();
    void followsANewParent();
    void undockedStaysPut();
};

void TestPictureBox::followsTheParentsHeight_data() {
    QTest::addColumn<QSize>("parentSize");
    QTest::addColumn<int>("margin");

    QTest::newRow("taller") << QSize(300, 500) << 0;
    QTest::newRow("shorter") << QSize(300, 80) << 0;
    QTest::newRow("a parent with a frame") << QSize(300, 400) << 7;
}

void TestPictureBox::followsTheParentsHeight() {
    QFETCH(QSize, parentSize);
    QFETCH(int, margin);

    QWidget parent;
    parent.setContentsMargins(margin, margin, margin, margin);
    parent.resize(300, 200);
    auto *box = new controls::PictureBox(&parent);
    box->setGeometry(20, 30, 50, 60);
    box->setDockLeft(true);
    QCOMPARE(box->geometry(), QRect(0, 0, 50, 200 - 2 * margin));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    parent.resize(parentSize);
    QCOMPARE(box->geometry(), QRect(0, 0, 50, parentSize.height() - 2 * margin));
}

void TestPictureBox::followsANewParent() {
    QWidget first;
    first.resize(100, 100);
    QWidget second;
    second.resize(100, 250);
    controls::PictureBox box;
    box.resize(40, 10);
    box.setDockLeft(true);
    box.setParent(&first);
    QCOMPARE(box.height(), 100);
    box.setParent(&second);
    QCOMPARE(box.height(), 250);
    box.show();
    first.show();
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&first));
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    // The first parent no longer moves it.
    first.resize(100, 50);
    QCOMPARE(box.height(), 250);
    second.resize(100, 180);
    QCOMPARE(box.height(), 180);
    box.setParent(nullptr);
}

void TestPictureBox::undockedStaysPut() {
    QWidget parent;
    parent.resize(300, 200);
    auto *box = new controls::PictureBox(&parent);
    box->setGeometry(20, 30, 50, 60);
    box->setDockLeft(true);
    box->setDockLeft(false);
    box->setGeometry(20, 30, 50, 60);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    parent.resize(300, 400);
    QCOMPARE(box->geometry(), QRect(20, 30, 50, 60));
}

QTEST_MAIN(TestPictureBox)
#include "tst_picture_box.moc"
