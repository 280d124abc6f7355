// The build-time tool that cuts the desktop icons from the program's ICO: it must take the
// best image of each size and refuse, writing nothing, when the ICO cannot give one.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString corpus(const QString &name) {
    return QDir(GLIMRA_CORPUS_DIR).filePath(name);
}

bool haveCorpus() {
    return QFileInfo::exists(corpus(QStringLiteral("MANIFEST.tsv")));
}

} // namespace

class TestIcoToPng : public QObject {
    Q_OBJECT

private slots:
    void writesTheDeepestImageOfEachSize_data();
    void writesTheDeepestImageOfEachSize();
    void refusesAndWritesNothing_data();
    void refusesAndWritesNothing();
};

void TestIcoToPng::writesTheDeepestImageOfEachSize_data() {
    QTest::addColumn<QString>("ico");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<int>>("expectedImages"); // index in the ICO, one per size

    QTest::newRow("true colour is taken though the 256-colour image comes first")
        << corpus("ico/decode-ico/apple.ico") << QList<int>{32, 16} << QList<int>{2, 3};
    QTest::newRow("a size is taken wherever it stands in the ICO")
        << corpus("ico/decode-ico/github.ico") << QList<int>{32} << QList<int>{1};
}

void TestIcoToPng::writesTheDeepestImageOfEachSize() {
    QFETCH(QString, ico);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<int>, expectedImages);
    if (!haveCorpus())
        QSKIP("the third-party corpus is not there");
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QStringList arguments{ico};
    for (int size : sizes)
        arguments << QString::number(size) << out.filePath(QStringLiteral("%1.png").arg(size));

    QProcess tool;
    tool.start(GLIMRA_ICO_TO_PNG, arguments);
    QVERIFY2(tool.waitForFinished(60000), "ico_to_png did not finish");
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
             qPrintable(QString::fromLocal8Bit(tool.readAllStandardError())));

    QImageReader source(ico, "ico");
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const QImage png(out.filePath(QStringLiteral("%1.png").arg(sizes[i])), "png");
        QVERIFY2(!png.isNull(), qPrintable(QStringLiteral("no %1-pixel PNG").arg(sizes[i])));
        QVERIFY(source.jumpToImage(expectedImages[i]));
        const QImage expected = source.read();
        QCOMPARE(png.size(), QSize(sizes[i], sizes[i]));
        QCOMPARE(png.convertToFormat(QImage::Format_ARGB32),
                 expected.convertToFormat(QImage::Format_ARGB32));
    }
}

void TestIcoToPng::refusesAndWritesNothing_data() {
    QTest::addColumn<QStringList>("arguments"); // "OUT/" stands for the output folder

    QTest::newRow("an ICO without one of the sizes asked for")
        << QStringList{corpus("ico/decode-ico/github.ico"), "16", "OUT/16.png", "48", "OUT/48.png"};
    QTest::newRow("a 35 by 40 image is no 35-pixel icon")
        << QStringList{corpus("ico/commons-imaging/OutOfMemory_epine.ico"), "35", "OUT/35.png"};
    QTest::newRow("a PNG file named .ico")
        << QStringList{corpus("ico/decode-ico/favicon-actually-a-png.ico"), "32", "OUT/32.png"};
    QTest::newRow("a text file named .ico")
        << QStringList{corpus("ico/fuzzing-corpus/sample.ico"), "16", "OUT/16.png"};
    QTest::newRow("a missing file") << QStringList{corpus("no-such.ico"), "16", "OUT/16.png"};
    QTest::newRow("a size that is not a number") << QStringList{
        corpus("ico/decode-ico/github.ico"), "16", "OUT/16.png", "large", "OUT/large.png"};
    QTest::newRow("a size without an output file")
        << QStringList{corpus("ico/decode-ico/github.ico"), "16"};
}

void TestIcoToPng::refusesAndWritesNothing() {
    QFETCH(QStringList, arguments);
    if (!haveCorpus())
        QSKIP("the third-party corpus is not there");
    // Otherwise every row would pass for want of its file.
    if (QTest::currentDataTag() != QLatin1String("a missing file"))
        QVERIFY2(QFileInfo::exists(arguments.first()),
                 qPrintable(arguments.first() + " is missing"));
    QTemporaryDir out;
    QVERIFY(out.isValid());
    arguments.replaceInStrings(QStringLiteral("OUT/"), out.path() + '/');

    QProcess tool;
    tool.start(GLIMRA_ICO_TO_PNG, arguments);
    QVERIFY2(tool.waitForFinished(60000), "ico_to_png did not finish");
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() != 0, "ico_to_png reported success");
    QVERIFY2(!tool.readAllStandardError().trimmed().isEmpty(), "ico_to_png gave no reason");
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(TestIcoToPng)
#include "tst_ico_to_png.moc"
