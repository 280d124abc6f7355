#include "picture/metafile/emf_decoder.h"
#include "picture/picture_errors.h"

#include "metafile_test_support.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QTest>

using namespace metafile_test;

namespace {

picture::LoadResult load(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::emf::read(buffer, visible);
}

// Whether an enhanced metafile carries an EMF+ header, and if so whether it says the classic
// records draw the picture too: nothing, "dual" or "plus".
QString emfPlusKind(const QByteArray &data) {
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(data.constData() + at); };
    if (data.size() < 88)
        return {};
    qsizetype at = u32(4);
    for (int records = 0; records < 100000 && at + 28 <= data.size(); ++records) {
        const quint32 type = u32(at), size = u32(at + 4);
        if (type == 70 && u32(at + 12) == 0x2B464D45 && (u32(at + 16) & 0xffff) == 0x4001)
            return (u32(at + 16) >> 16) & 1 ? QStringLiteral("dual") : QStringLiteral("plus");
        if (size < 8 || size > data.size() - at)
            break;
        at += size;
    }
    return {};
}

} // namespace

class TestEmfPlus : public QObject {
    Q_OBJECT

private slots:
    void corpusMatchesReferences_data();
    void corpusMatchesReferences();
};

void TestEmfPlus::corpusMatchesReferences_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    for (const CorpusFile &f : corpusFiles("emf")) {
        if (f.kind != "good")
            continue;
        const QString kind = emfPlusKind(corpusBytes(f.path));
        if (!kind.isEmpty())
            QTest::newRow(qPrintable(f.path)) << f.path << kind;
    }
}

void TestEmfPlus::corpusMatchesReferences() {
    if (!QTest::currentDataTag())
        QSKIP("the third-party corpus is not there");
    QFETCH(QString, path);
    QFETCH(QString, kind);
    const auto result = load(corpusBytes(path));
    const QString name = QString(path).replace('/', '_') + ".png";
    const QImage first(QStringLiteral(GLIMRA_TEST_DATA_DIR "/metafiles/") + name);
    const QImage second(QStringLiteral(GLIMRA_TEST_DATA_DIR "/metafiles-lo/") + name);
    Difference one, two;
    if (result.ok()) {
        one = compareWithReference(result.picture->image, first);
        two = compareWithReference(result.picture->image, second);
    }
    qInfo("MEASURE %s %s first %d %.2f %.2f second %d %.2f %.2f", qPrintable(QFileInfo(path).fileName()),
          qPrintable(kind), !first.isNull() && withinTolerance(one), one.meanAbsolute,
          one.farShare * 100, !second.isNull() && withinTolerance(two), two.meanAbsolute,
          two.farShare * 100);
}

QTEST_MAIN(TestEmfPlus)
#include "tst_emfplus.moc"
