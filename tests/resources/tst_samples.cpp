// The sample folder a newcomer first opens: exactly what the generator makes, one picture of
// every kind the file list offers, and every one of them shown by the viewer.
#include "picture/picture_file.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

class TestSamples : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void samples_data();
    void samples();
    void everyKindIsThere();

private:
    QTemporaryDir m_generated;
    const QDir m_committed{QStringLiteral(GLIMRA_SAMPLES_DIR)};
};

void TestSamples::initTestCase() {
    QVERIFY(m_generated.isValid());
    QProcess generator;
    generator.setProcessChannelMode(QProcess::MergedChannels);
    generator.start(QStringLiteral(MAKE_PICTURES), {"--samples", m_generated.path()});
    QVERIFY(generator.waitForFinished(-1));
    QVERIFY2(generator.exitCode() == 0, generator.readAll().constData());
}

void TestSamples::samples_data() {
    QTest::addColumn<QString>("name");
    const QStringList made = QDir(m_generated.path()).entryList(QDir::Files);
    QCOMPARE(m_committed.entryList(QDir::Files), made);
    for (const QString &name : made)
        QTest::newRow(qPrintable(name)) << name;
}

void TestSamples::samples() {
    QFETCH(QString, name);
    QFile made(QDir(m_generated.path()).filePath(name));
    QFile kept(m_committed.filePath(name));
    QVERIFY(made.open(QIODevice::ReadOnly) && kept.open(QIODevice::ReadOnly));
    QVERIFY2(made.readAll() == kept.readAll(),
             "differs from what make_pictures --samples makes now: run it into samples/");
    if (name == QLatin1String("README"))
        return;
    const picture::LoadResult loaded =
        picture::loadPictureFile(QFile::encodeName(kept.fileName()).toStdString());
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
}

void TestSamples::everyKindIsThere() {
    QSet<QString> endings;
    for (const QString &name : m_committed.entryList(QDir::Files))
        endings.insert(name.section(u'.', -1).toLower());
    for (const char *ending :
         {"bmp", "dib", "pcx", "gif", "ico", "cur", "wmf", "emf", "jpg", "jpe"})
        QVERIFY2(endings.contains(QLatin1String(ending)), ending);
}

QTEST_MAIN(TestSamples)
#include "tst_samples.moc"
