// BMP in the decoder contract: each file against the renderings its manifest note names, and
// Qt's reader as a second opinion of the natural size.
#include "decoder_contract.h"
#include "picture/bmp_decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/image_compare.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>

#include <map>

namespace {

// The renderings a file's own reference and its manifest note name, any one of which may match.
QStringList referencesOf(const contract::File &file) {
    static const QRegularExpression named(
        QStringLiteral(R"(bmp/bmpsuite/html/[A-Za-z0-9_-]+\.png)"));
    QStringList references;
    const QString own = file.path + QStringLiteral(".ref.png");
    if (QFileInfo::exists(corpus::dir() + '/' + own))
        references << own;
    const qsizetype at = file.note.indexOf(QStringLiteral("REFERENCE:"));
    if (at >= 0) {
        for (auto it = named.globalMatch(file.note, at); it.hasNext();)
            references << it.next().captured();
    }
    return references;
}

// Renderings that are themselves approximations: the 64-bit picture holds linear light at
// 13 fractional bits, and its reference was made from the same source at 8 bits, so a sample
// may land one step away after conversion to sRGB.
int toleranceFor(const QString &path) {
    return path.endsWith(QStringLiteral("rgba64.bmp")) ? 1 : 0;
}

// Renderings made by a decoder whose choices differ from ours where the file leaves the choice
// open; such a file must decode, and its difference is reported rather than failed.
const std::map<QString, QString> &knownDifferences() {
    static const std::map<QString, QString> files{
        {QStringLiteral("bmp/qtbase/tst7.bmp"),
         QStringLiteral("its pixels use colours 8-15 of a table that has room for 8; the "
                        "rendering repeats colour 0 for them, we show black")},
    };
    return files;
}

// Bad files that are decoded on purpose, each because refusing it would hide a picture whose
// pixels are all there.
const std::map<QString, QString> &deliberatelyDecoded() {
    static const std::map<QString, QString> files{
        {QStringLiteral("bmp/bmpsuite/b/badbitssize.bmp"),
         QStringLiteral("biSizeImage is wrong, but uncompressed rows are located by width and "
                        "depth")},
        {QStringLiteral("bmp/bmpsuite/b/baddens1.bmp"),
         QStringLiteral("the pixels-per-metre fields don't affect decoding")},
        {QStringLiteral("bmp/bmpsuite/b/baddens2.bmp"),
         QStringLiteral("the pixels-per-metre fields don't affect decoding")},
        {QStringLiteral("bmp/bmpsuite/b/badfilesize.bmp"),
         QStringLiteral("bfSize is unreliable in real files and not used")},
        {QStringLiteral("bmp/bmpsuite/b/pal8badindex.bmp"),
         QStringLiteral("indices past the colour table are shown black")},
        {QStringLiteral("bmp/bmpsuite/b/rletopdown.bmp"),
         QStringLiteral("top-down RLE is written in practice (another corpus lists such a file "
                        "as good) and decodes unambiguously")},
        {QStringLiteral("bmp/commons-imaging/SanselanTest.bmp"),
         QStringLiteral("its colour table is cut short by the bits' offset, which is shown as for "
                        "any short table")},
        {QStringLiteral("bmp/libgd/bug00450.bmp"),
         QStringLiteral("a well-formed 1-bit picture that once crashed another decoder")},
        {QStringLiteral("bmp/bmpsuite/b/rgb16-880.bmp"),
         QStringLiteral("a channel without mask bits is zero; the suite has a rendering for it")},
    };
    return files;
}

// Empty when the picture matches one of the file's renderings (or it has none); else why not.
QString matchesARendering(const contract::File &file, const QImage &image) {
    QStringList reasons;
    for (const QString &reference : referencesOf(file)) {
        const QImage expected(corpus::dir() + '/' + reference);
        if (expected.isNull())
            return reference + QStringLiteral(" can't be read");
        const QString why = testkit::compare(image, expected, toleranceFor(file.path)).describe();
        if (why.isEmpty())
            return {};
        reasons << reference + ": " + why;
    }
    return reasons.join(QStringLiteral("; "));
}

QString checkGood(const contract::File &file, const picture::LoadResult &result) {
    if (result.picture->format != picture::Format::Bmp)
        return QStringLiteral("not reported as a BMP");
    if (result.picture->image.size() != result.picture->size)
        return QStringLiteral("the picture is not its natural size");
    // Qt's own reader is an independent opinion of the natural size.
    QBuffer buffer;
    buffer.setData(file.data);
    QImageReader qtReader(&buffer, "bmp");
    if (qtReader.canRead() && qtReader.size().isValid() && qtReader.size() != result.picture->size)
        return QStringLiteral("natural size differs from Qt's");
    const QString why = matchesARendering(file, result.picture->image);
    if (why.isEmpty())
        return {};
    if (const auto known = knownDifferences().find(file.path); known != knownDifferences().end()) {
        qInfo("%s differs as expected: %s", qPrintable(file.path), qPrintable(known->second));
        return {};
    }
    return why;
}

// A bad file decoded on purpose must match each rendering it has.
QString checkKeptBad(const contract::File &file, const picture::LoadResult &result) {
    if (result.picture->image.size() != result.picture->size)
        return QStringLiteral("the picture is not its natural size");
    for (const QString &reference : referencesOf(file)) {
        const QString why =
            testkit::compare(result.picture->image, QImage(corpus::dir() + '/' + reference))
                .describe();
        if (!why.isEmpty())
            return reference + ": " + why;
    }
    return {};
}

// Either outcome is acceptable for a questionable file; what loads is compared with its
// rendering where the suite has one, and a mismatch is told, not failed.
QString checkQuestionable(const contract::File &file, const picture::LoadResult &result) {
    const QString why = matchesARendering(file, result.picture->image);
    if (!why.isEmpty())
        qInfo("%s loads but matches none of its renderings: %s", qPrintable(file.path),
              qPrintable(why));
    return {};
}

} // namespace

contract::Format contract::bmp() {
    Format f("bmp", picture::bmp::read);
    f.forwardOnly = true;
    f.regressions = QStringLiteral("*.bmp");
    f.regressionVisible = {QSize(), QSize(3, 3)};
    for (const auto &[path, reason] : deliberatelyDecoded())
        f.keptBad.insert(path, reason);
    f.checkGood = checkGood;
    f.checkKeptBad = checkKeptBad;
    f.checkQuestionable = checkQuestionable;
    return f;
}
