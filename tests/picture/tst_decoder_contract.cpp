#include "decoder_contract.h"
#include "tests/support/corpus.h"
#include "tests/support/image_compare.h"
#include "tests/support/sequential_device.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTest>

using picture::LoadResult;

namespace {

// A decoder joins the contract with a row here.
const QList<contract::Format> &formats() {
    static const QList<contract::Format> all = {contract::bmp(), contract::pcx(),  contract::wmf(),
                                                contract::emf(), contract::jpeg(), contract::gif()};
    return all;
}

LoadResult read(const contract::Format &format, const QByteArray &bytes, QSize visible,
                bool forwardOnly = false) {
    if (forwardOnly) {
        SequentialDevice device(bytes);
        return format.read(device, visible);
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return format.read(buffer, visible);
}

// The corpus's files of the given kinds, a row each: the format's index and the path.
void addRows(const QStringList &kinds,
             const std::function<bool(const contract::Format &, const corpus::Entry &)> &take) {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("note");
    for (int i = 0; i < formats().size(); ++i) {
        const contract::Format &format = formats()[i];
        for (const QString &kind : kinds)
            for (const corpus::Entry &entry : corpus::entries({format.name + u'/'}, kind))
                if (take(format, entry))
                    QTest::newRow(qPrintable(entry.path)) << i << entry.path << entry.note;
    }
}

// The current row's format and corpus file.
struct Row {
    Row() {
        QFETCH(int, format);
        QFETCH(QString, path);
        QFETCH(QString, note);
        f = &formats()[format];
        file = {path, note, corpus::bytes(path)};
    }
    const contract::Format *f;
    contract::File file;
    const QString &path = file.path;
    const QByteArray &data = file.data;
};

bool treatedAsBad(const contract::Format &format, const corpus::Entry &entry) {
    return entry.kind == QLatin1String("bad") || format.treatedAsBad.contains(entry.path);
}

bool shownAsAPicture(const contract::Format &format, const corpus::Entry &entry) {
    return !treatedAsBad(format, entry);
}

QString fileName(const QString &path) {
    return QFileInfo(path).fileName();
}

} // namespace

class TestDecoderContract : public QObject {
    Q_OBJECT

private slots:
    void goodFilesLoad_data();
    void goodFilesLoad();
    void badFilesAreRefused_data();
    void badFilesAreRefused();
    void questionableFilesGiveAPictureOrAReason_data();
    void questionableFilesGiveAPictureOrAReason();
    void visiblePartIsTheCornerOfTheWhole_data();
    void visiblePartIsTheCornerOfTheWhole();
    void matchesReferenceRendering_data();
    void matchesReferenceRendering();
    void regressionFilesGiveAPictureOrAReason_data();
    void regressionFilesGiveAPictureOrAReason();
};

void TestDecoderContract::goodFilesLoad_data() {
    addRows({QStringLiteral("good")}, shownAsAPicture);
}

void TestDecoderContract::goodFilesLoad() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    const Row row;
    QVERIFY2(!row.data.isEmpty(), "corpus file missing");
    const LoadResult result = read(*row.f, row.data, row.f->goodVisible);
    const QString refusal = row.f->refusedGood ? row.f->refusedGood(row.path) : QString();
    if (!refusal.isEmpty()) {
        QCOMPARE(result.error, refusal);
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.error));
    if (row.f->checkGood) {
        const QString failure = row.f->checkGood(row.file, result);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    if (row.f->forwardOnly) {
        const LoadResult forward = read(*row.f, row.data, row.f->goodVisible, true);
        QVERIFY2(forward.ok(), qPrintable(forward.error));
        QCOMPARE(forward.picture->size, result.picture->size);
        const testkit::Difference d =
            testkit::compare(forward.picture->image, result.picture->image);
        QVERIFY2(d.same(), qPrintable(d.describe()));
    }
}

void TestDecoderContract::badFilesAreRefused_data() {
    addRows({QStringLiteral("bad"), QStringLiteral("good")}, treatedAsBad);
}

void TestDecoderContract::badFilesAreRefused() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    const Row row;
    QVERIFY2(!row.data.isEmpty(), "corpus file missing");
    const QString kept = row.f->keptBad.value(row.path, row.f->keptBad.value(fileName(row.path)));
    for (const bool forwardOnly : {false, true}) {
        if (forwardOnly && !row.f->forwardOnly)
            break;
        const LoadResult result = read(*row.f, row.data, row.f->otherVisible, forwardOnly);
        if (!kept.isEmpty()) {
            QVERIFY2(result.ok(), qPrintable(kept + ": " + result.error));
            const QString failure =
                row.f->checkKeptBad ? row.f->checkKeptBad(row.file, result) : QString();
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            continue;
        }
        QVERIFY2(!result.ok(), "a bad file must be refused");
        QVERIFY2(!result.error.isEmpty(), "a refusal gives a reason");
    }
}

void TestDecoderContract::questionableFilesGiveAPictureOrAReason_data() {
    addRows({QStringLiteral("questionable")}, [](auto &, auto &) { return true; });
}

void TestDecoderContract::questionableFilesGiveAPictureOrAReason() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    const Row row;
    QVERIFY2(!row.data.isEmpty(), "corpus file missing");
    const LoadResult result = read(*row.f, row.data, row.f->otherVisible);
    QVERIFY2(result.ok() != !result.error.isEmpty(), "either a picture or a reason");
    const LoadResult forward =
        row.f->forwardOnly ? read(*row.f, row.data, row.f->otherVisible, true) : result;
    QCOMPARE(forward.ok(), result.ok());
    if (!result.ok())
        return;
    QVERIFY(!result.picture->size.isEmpty());
    QVERIFY(!result.picture->image.isNull());
    const QSize shown = row.f->otherVisible.isEmpty()
                            ? result.picture->size
                            : result.picture->size.boundedTo(row.f->otherVisible);
    QCOMPARE(result.picture->image.size(), shown);
    const testkit::Difference d = testkit::compare(forward.picture->image, result.picture->image);
    QVERIFY2(d.same(), qPrintable("a forward-only device gives another picture: " + d.describe()));
    const QString failure =
        row.f->checkQuestionable ? row.f->checkQuestionable(row.file, result) : QString();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestDecoderContract::visiblePartIsTheCornerOfTheWhole_data() {
    addRows({QStringLiteral("good"), QStringLiteral("questionable"), QStringLiteral("bad")},
            shownAsAPicture);
}

// The part decoded for a window is the top-left corner of the whole picture, pixel for pixel.
void TestDecoderContract::visiblePartIsTheCornerOfTheWhole() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    const Row row;
    const LoadResult whole = read(*row.f, row.data, {});
    if (!whole.ok())
        return;
    const QSize size = whole.picture->size;
    const QSize part = row.f->part(size).expandedTo(QSize(1, 1)).boundedTo(size);
    const LoadResult cropped = read(*row.f, row.data, part);
    QVERIFY2(cropped.ok(), qPrintable(cropped.error));
    QCOMPARE(cropped.picture->size, size);
    QCOMPARE(cropped.picture->image.size(), part);
    const testkit::Difference d =
        testkit::compare(cropped.picture->image, whole.picture->image.copy(QRect({}, part)));
    QVERIFY2(d.same(), qPrintable(d.describe()));
}

void TestDecoderContract::matchesReferenceRendering_data() {
    addRows({QStringLiteral("good")}, [](const contract::Format &format, const corpus::Entry &e) {
        return format.hasReference && format.hasReference(e.path);
    });
}

// Our whole rendering against the references the format keeps for the file.
void TestDecoderContract::matchesReferenceRendering() {
    GLIMRA_SKIP_WITHOUT_CORPUS();
    const Row row;
    const LoadResult result = read(*row.f, row.data, {});
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QString failure = row.f->checkReference(row.path, result);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// Inputs the fuzzer found to crash, hang or crawl, named after what they broke.
void TestDecoderContract::regressionFilesGiveAPictureOrAReason_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("path");
    const QDir data(QStringLiteral(GLIMRA_TEST_DATA_DIR));
    for (int i = 0; i < formats().size(); ++i) {
        if (formats()[i].regressions.isEmpty())
            continue;
        for (const QString &name : data.entryList({formats()[i].regressions}, QDir::Files))
            QTest::newRow(qPrintable(name)) << i << data.filePath(name);
    }
}

void TestDecoderContract::regressionFilesGiveAPictureOrAReason() {
    if (!QTest::currentDataTag())
        QSKIP("no regression files");
    QFETCH(int, format);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    for (const QSize visible : formats()[format].regressionVisible) {
        const LoadResult result = read(formats()[format], data, visible);
        QVERIFY2(result.ok() != !result.error.isEmpty(), "either a picture or a reason");
    }
}

QTEST_MAIN(TestDecoderContract)
#include "tst_decoder_contract.moc"
