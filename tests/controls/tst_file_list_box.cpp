#include "controls/file_list_box.h"
#include "controls/file_names.h"
#include "controls/file_pattern.h"
#include "temp_folder.h"

#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

const QString allPictures =
    QStringLiteral("*.bmp;*.dib;*.pcx;*.gif;*.ico;*.cur;*.wmf;*.emf;*.jpg;*.jpe");

void makeFile(const fs::path &file) {
    std::ofstream(file) << "x";
}

QStringList shownNames(const controls::FileListBox &box) {
    QStringList names;
    for (int row = 0; row < box.model()->rowCount(); ++row)
        names << box.model()->index(row, 0).data().toString();
    return names;
}

} // namespace

class TestFileListBox : public QObject {
    Q_OBJECT

private slots:
    void patternMatches_data();
    void patternMatches();
    void patternMatchesNamesThatAreNotUtf8();
    void listsOnlyMatchingRegularFiles_data();
    void listsOnlyMatchingRegularFiles();
    void sortsNaturallyIgnoringCase();
    void keepsNamesThatAreNotUtf8();
    void missingFolderChangesNothing();
    void changingThePatternRelists();
    void setPathClearsTheChoiceWithoutClick();
    void mouseClickChoosesOnce();
    void doubleClickChoosesOnce();
    void keyboardMovesChoose_data();
    void keyboardMovesChoose();
};

void TestFileListBox::patternMatches_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");

    QTest::newRow("an ending in another case") << "*.jpg"
                                               << "PHOTO.JPG" << true;
    QTest::newRow("a longer ending is a near miss") << "*.jpg"
                                                    << "x.jpeg" << false;
    QTest::newRow("an ending followed by more") << "*.jpg"
                                                << "x.jpg.txt" << false;
    QTest::newRow("the bare extension without a dot") << "*.jpg"
                                                      << "jpg" << false;
    QTest::newRow("blanks around entries") << " *.bmp ;  *.gif "
                                           << "a.gif" << true;
    QTest::newRow("an empty entry between two") << "*.bmp;;*.gif"
                                                << "a.gif" << true;
    QTest::newRow("empty pattern takes all") << ""
                                             << "anything" << true;
    QTest::newRow("star-dot-star takes names without a dot") << "*.*"
                                                             << "README" << true;
    QTest::newRow("question mark is one character") << "a?.jpg"
                                                    << "ab.jpg" << true;
    QTest::newRow("question mark is not two") << "a?.jpg"
                                              << "abc.jpg" << false;
    QTest::newRow("question mark is not none") << "a?.jpg"
                                               << "a.jpg" << false;
    QTest::newRow("star in the middle") << "img*.gif"
                                        << "IMG_0001.gif" << true;
    QTest::newRow("star in the middle, wrong start") << "img*.gif"
                                                     << "pic1.gif" << false;
    QTest::newRow("brackets are plain characters") << "a[1].jpg"
                                                   << "a[1].jpg" << true;
    QTest::newRow("brackets are no character set") << "a[1].jpg"
                                                   << "a1.jpg" << false;
    QTest::newRow("a dot is no wildcard") << "a.b"
                                          << "axb" << false;
    QTest::newRow("Cyrillic ending, other case") << "*.снимка"
                                                 << "лято.СНИМКА" << true;
    QTest::newRow("Cyrillic name, ASCII ending") << "*.jpg"
                                                 << "море.Jpg" << true;
}

void TestFileListBox::patternMatches() {
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    const controls::FilePattern compiled(pattern);
    QCOMPARE(compiled.matches(fs::path(name.toStdString())), matches);
}

void TestFileListBox::patternMatchesNamesThatAreNotUtf8() {
#ifdef Q_OS_WIN
    QSKIP("Windows names are UTF-16, never bytes");
#endif
    const fs::path latin1Name(std::string("CAF\xc9.JPG"));
    QVERIFY(controls::FilePattern(QStringLiteral("*.jpg")).matches(latin1Name));
    QVERIFY2(controls::FilePattern(QStringLiteral("caf?.jpg")).matches(latin1Name),
             "a byte that is not UTF-8 is one character");
    QVERIFY(!controls::FilePattern(QStringLiteral("caf.jpg")).matches(latin1Name));
    // A UTF-8 sequence is no ASCII ending, even when its last byte looks like one.
    const fs::path ending(std::string("x.jp\xc7"));
    QVERIFY(!controls::FilePattern(QStringLiteral("*.jpg")).matches(ending));
}

void TestFileListBox::listsOnlyMatchingRegularFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("listed");

    for (const QString &ending : allPictures.split(u';'))
        QTest::addRow("a %s file", qPrintable(ending.mid(2)))
            << QStringLiteral("picture") + ending.mid(1) << "file" << true;
    QTest::newRow("upper-case ending") << "PHOTO.JPG"
                                       << "file" << true;
    QTest::newRow("mixed-case ending") << "Photo.Jpg"
                                       << "file" << true;
    QTest::newRow("near miss: .jpeg") << "x.jpeg"
                                      << "file" << false;
    QTest::newRow("near miss: .jpg.txt") << "x.jpg.txt"
                                         << "file" << false;
    QTest::newRow("near miss: no dot") << "jpg"
                                       << "file" << false;
    QTest::newRow("hidden picture") << ".jpg"
                                    << "file" << false;
    QTest::newRow("hidden picture with a name") << ".secret.bmp"
                                                << "file" << false;
    QTest::newRow("text file") << "notes.txt"
                               << "file" << false;
    QTest::newRow("folder named like a picture") << "album.jpg"
                                                 << "folder" << false;
    QTest::newRow("pipe named like a picture") << "pipe.gif"
                                               << "fifo" << false;
    QTest::newRow("link to a picture") << "link.bmp"
                                       << "link" << true;
    QTest::newRow("link to a folder") << "folderlink.bmp"
                                      << "folderlink" << false;
    QTest::newRow("dangling link") << "gone.bmp"
                                   << "dangling" << false;
}

void TestFileListBox::listsOnlyMatchingRegularFiles() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, listed);

    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    const fs::path folder = root / "pictures";
    fs::create_directory(folder);
    makeFile(root / "target.bmp");
    fs::create_directory(root / "target-folder");
    makeFile(folder / "anchor.bmp");
    const fs::path entry = folder / name.toStdString();
    if (kind == u"file")
        makeFile(entry);
    else if (kind == u"folder")
        fs::create_directory(entry);
    else if (kind == u"fifo")
#ifdef Q_OS_UNIX
        QVERIFY2(::mkfifo(entry.c_str(), 0600) == 0, "mkfifo failed");
#else
        QSKIP("no named pipes in folders here");
#endif
    else if (kind == u"link")
        fs::create_symlink(root / "target.bmp", entry);
    else if (kind == u"folderlink")
        fs::create_directory_symlink(root / "target-folder", entry);
    else if (kind == u"dangling")
        fs::create_symlink(root / "nowhere.bmp", entry);

    controls::FileListBox box;
    box.setPattern(allPictures);
    QVERIFY(box.setPath(folder));
    const QStringList names = shownNames(box);
    QVERIFY2(names.contains(u"anchor.bmp"), qPrintable(names.join(u", ")));
    QVERIFY2(names.contains(name) == listed,
             qPrintable(QStringLiteral("%1 (%2) %3 in: %4")
                            .arg(name, kind, listed ? "missing" : "listed", names.join(u", "))));
}

void TestFileListBox::sortsNaturallyIgnoringCase() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    for (const char *name : {"a10.jpg", "a2.jpg", "B1.jpg", "a1.jpg", "b02.jpg", "A3.jpg"})
        makeFile(root / name);
    controls::FileListBox box;
    box.setPattern(QStringLiteral("*.jpg"));
    QVERIFY(box.setPath(root));
    const QStringList expected{"a1.jpg", "a2.jpg", "A3.jpg", "a10.jpg", "B1.jpg", "b02.jpg"};
    QCOMPARE(shownNames(box), expected);
}

void TestFileListBox::keepsNamesThatAreNotUtf8() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    const fs::path latin1Name(std::string("caf\xe9.jpg"));
    makeFile(root / latin1Name);

    controls::FileListBox box;
    box.setPattern(allPictures);
    QVERIFY(box.setPath(root));
    QCOMPARE(box.model()->rowCount(), 1);
    QCOMPARE(box.model()->index(0, 0).data().toString(), QStringLiteral("caf\uFFFD.jpg"));
    box.setCurrentIndex(box.model()->index(0, 0));
    QCOMPARE(box.fileName().native(), latin1Name.native());
    QVERIFY(fs::exists(root / box.fileName()));
}

void TestFileListBox::missingFolderChangesNothing() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    makeFile(root / "one.gif");
    controls::FileListBox box;
    box.setPattern(allPictures);
    QVERIFY(box.setPath(root));
    box.setCurrentIndex(box.model()->index(0, 0));

    QVERIFY(!box.setPath(root / "missing"));
    QVERIFY(!box.setPath(root / "one.gif"));
    QCOMPARE(box.path(), root);
    QCOMPARE(shownNames(box), QStringList{"one.gif"});
    QCOMPARE(box.fileName(), fs::path("one.gif"));
}

void TestFileListBox::changingThePatternRelists() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    makeFile(root / "a.gif");
    makeFile(root / "b.bmp");
    controls::FileListBox box;
    box.setPattern(QStringLiteral("*.gif"));
    QVERIFY(box.setPath(root));
    QCOMPARE(shownNames(box), QStringList{"a.gif"});
    box.setPattern(QStringLiteral("*.bmp"));
    QCOMPARE(shownNames(box), QStringList{"b.bmp"});
}

void TestFileListBox::setPathClearsTheChoiceWithoutClick() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    makeFile(root / "a.jpg");
    makeFile(root / "b.jpg");
    controls::FileListBox box;
    box.setPattern(allPictures);
    QSignalSpy clicks(&box, &controls::FileListBox::click);
    QVERIFY(box.setPath(root));
    QVERIFY(box.fileName().empty());
    box.setCurrentIndex(box.model()->index(1, 0));
    QCOMPARE(box.fileName(), fs::path("b.jpg"));
    QVERIFY(box.setPath(root));
    QVERIFY2(box.fileName().empty(), qPrintable(controls::displayName(box.fileName())));
    QCOMPARE(clicks.count(), 0);
}

void TestFileListBox::mouseClickChoosesOnce() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        makeFile(root / name);
    controls::FileListBox box;
    box.setPattern(allPictures);
    box.resize(200, 200);
    QVERIFY(box.setPath(root));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy clicks(&box, &controls::FileListBox::click);

    const QPoint second = box.visualRect(box.model()->index(1, 0)).center();
    QTest::mousePress(box.viewport(), Qt::LeftButton, {}, second);
    QVERIFY2(clicks.isEmpty(), "the choice is made on release, not on press");
    QTest::mouseRelease(box.viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(box.fileName(), fs::path("b.jpg"));

    // Clicking the entry already chosen chooses it again: a person may want it reloaded.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(clicks.count(), 2);

    const QPoint third = box.visualRect(box.model()->index(2, 0)).center();
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, third);
    QCOMPARE(clicks.count(), 3);
    QCOMPARE(box.fileName(), fs::path("c.jpg"));

    // Below the last entry nothing is chosen.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(5, box.viewport()->height() - 3));
    QCOMPARE(clicks.count(), 3);
    QTest::mouseClick(box.viewport(), Qt::RightButton, {}, second);
    QCOMPARE(clicks.count(), 3);
}

void TestFileListBox::doubleClickChoosesOnce() {
    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    makeFile(root / "a.jpg");
    makeFile(root / "b.jpg");
    controls::FileListBox box;
    box.setPattern(allPictures);
    box.resize(200, 200);
    QVERIFY(box.setPath(root));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy clicks(&box, &controls::FileListBox::click);

    const QPoint first = box.visualRect(box.model()->index(0, 0)).center();
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(box.fileName(), fs::path("a.jpg"));
}

void TestFileListBox::keyboardMovesChoose_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("clicks");

    QTest::newRow("down from nothing chosen") << QList<int>{Qt::Key_Down} << "alpha1.jpg" << 1;
    QTest::newRow("down twice") << QList<int>{Qt::Key_Down, Qt::Key_Down} << "alpha2.jpg" << 2;
    QTest::newRow("end then home") << QList<int>{Qt::Key_End, Qt::Key_Home} << "alpha1.jpg" << 2;
    QTest::newRow("end pressed again moves nowhere")
        << QList<int>{Qt::Key_End, Qt::Key_End} << "gamma.jpg" << 1;
    QTest::newRow("up at the top moves nowhere")
        << QList<int>{Qt::Key_Home, Qt::Key_Up} << "alpha1.jpg" << 1;
    QTest::newRow("end from nothing chosen") << QList<int>{Qt::Key_End} << "gamma.jpg" << 1;
    QTest::newRow("page down from the first")
        << QList<int>{Qt::Key_Down, Qt::Key_PageDown} << "gamma.jpg" << 2;
    QTest::newRow("typing the first entry's letter from nothing chosen")
        << QList<int>{Qt::Key_A} << "alpha1.jpg" << 1;
    QTest::newRow("typing a first letter") << QList<int>{Qt::Key_B} << "beta.jpg" << 1;
}

void TestFileListBox::keyboardMovesChoose() {
    QFETCH(QList<int>, keys);
    QFETCH(QString, chosen);
    QFETCH(int, clicks);

    TempFolder dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.root();
    for (const char *name : {"alpha1.jpg", "alpha2.jpg", "beta.jpg", "gamma.jpg"})
        makeFile(root / name);
    controls::FileListBox box;
    box.setPattern(allPictures);
    box.resize(200, 300);
    QVERIFY(box.setPath(root));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy spy(&box, &controls::FileListBox::click);

    for (const int key : keys) {
        const char text = key >= Qt::Key_A && key <= Qt::Key_Z ? char('a' + key - Qt::Key_A) : 0;
        if (text)
            QTest::keyClick(&box, text);
        else
            QTest::keyClick(&box, Qt::Key(key));
    }
    QCOMPARE(controls::displayName(box.fileName()), chosen);
    QCOMPARE(spy.count(), clicks);
}

QTEST_MAIN(TestFileListBox)
#include "tst_file_list_box.moc"
