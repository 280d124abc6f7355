// EMF in the decoder contract: sizes, references and the files it treats otherwise.
#include "decoder_contract.h"
#include "metafile_test_support.h"
#include "picture/metafile/emf_decoder.h"
#include "picture/picture_errors.h"

#include <QtEndian>

#include <cmath>

using namespace metafile_test;

namespace {

// The size the header states: the frame at 96 pixels per inch, the bounds when it is empty.
QSize expectedSize(const QByteArray &data) {
    const auto at = [&](int offset) {
        return qFromLittleEndian<qint32>(data.constData() + offset);
    };
    const qint64 fw = qint64(at(32)) - at(24), fh = qint64(at(36)) - at(28);
    if (fw == 0 || fh == 0)
        return QSize(int(std::max<qint64>(std::abs(qint64(at(16)) - at(8)) + 1, 1)),
                     int(std::max<qint64>(std::abs(qint64(at(20)) - at(12)) + 1, 1)));
    return QSize(int(std::max<qint64>(std::llround(std::abs(fw) * 96.0 / 2540), 1)),
                 int(std::max<qint64>(std::llround(std::abs(fh) * 96.0 / 2540), 1)));
}

// Bad files that still give a picture, and why that is right.
const QHash<QString, QString> &keptBadFiles() {
    static const QHash<QString, QString> kept = {
        {"bad_corrupted_2014-12-02-215358.emf",
         "partial: the text record with a false length is record 480 of 638"},
        {"bad_corrupted_2014-12-02-215425.emf",
         "partial: the polyline with a false point count is record 37 of 43"},
        {"fdo71307-2.emf", "partial: the lying record is record 454 of 492"},
        {"bad_corrupted_2014-12-02-215400.emf", "the description offset is never read"},
        {"bad_corrupted_2014-12-14-080539.emf", "the description length is never read"},
        {"bad_corrupted_2014-12-07-140817.emf", "selecting a missing object is ignored"},
        {"bad_corrupted_2016-02-02-210039.emf", "text with no string draws nothing"},
        {"bad_corrupted_2017-02-12-010400.emf", "EMF+ records are skipped"},
    };
    return kept;
}

const QHash<QString, KnownDifference> &knownDifferences() {
    static const QHash<QString, KnownDifference> known = pinned([](const Pin &add) {
        const char *const leftOut =
            "the reference renderer leaves out or blackens what the file draws (checked by "
            "eye)";
        add(leftOut, "test-007.emf", 135.88, 86.06);
        add(leftOut, "test-010.emf", 73.06, 73.16);
        add(leftOut, "test-012.emf", 125.93, 89.56);
        add(leftOut, "test-173.emf", 44.57, 48.72);
        const char *const thinPens =
            "pens thinner than a pixel: the device draws them one pixel wide, the reference "
            "thinner, which at these small natural sizes darkens every outline";
        add(thinPens, "test-025.emf", 39.43, 22.11);
        add(thinPens, "test-026.emf", 28.32, 20.10);
        add(thinPens, "test-027.emf", 27.80, 19.19);
        add(thinPens, "test-028.emf", 26.70, 17.56);
        add(thinPens, "test-029.emf", 25.31, 16.27);
        add(thinPens, "test-034.emf", 27.35, 22.44);
        add(thinPens, "test-182.emf", 46.71, 32.64);
        const char *const smallText =
            "charts with much small text: the reference draws other faces and sizes them "
            "differently (cell against em height), which moves and resizes every label";
        add(smallText, "TestDrawString.emf", 50.24, 29.60);
        const char *const emfPlusText =
            "EMF+ text at a small size: both references set the line a few pixels further right "
            "and lower (other faces and line metrics), and draw the underline thicker";
        add(emfPlusText, "TestDrawStringTransparent.emf", 12.84, 14.77);
        add(emfPlusText, "TestDrawStringWithBrush.emf", 24.33, 19.60);
        add("EMF+ path gradient: the first reference leaves it out; we draw its colours on "
            "ellipses through the boundary's box, the second spreads the blend wider",
            "TestEmfPlusBrushPathGradientWithBlendColors.emf", 119.68, 94.32);
        const char *const symbolText =
            "symbol-face text: we show the Symbol face's glyphs, the reference shows the "
            "codes as Latin letters";
        add(symbolText, "test-174.emf", 30.50, 22.98);
        const char *const ropSamples = "some raster-operation and pattern-brush samples differ";
        add(ropSamples, "test_libuemf_ref.emf", 14.90, 12.48);
        const char *const secondOnly =
            "only the second renderer draws it: it turns the opaque boxes of rotated text with "
            "the text, we fill them unturned";
        add(secondOnly, "TestExtTextOutOpaqueAndClipTransform.emf", 26.69, 18.90);
        add("only the second renderer draws it: it draws hairlines thinner", "fulltest.emf", 15.78,
            11.99);
    });
    return known;
}

QString checkGood(const contract::File &file, const picture::LoadResult &result) {
    if (result.picture->size != expectedSize(file.data))
        return QStringLiteral("not the size the header states");
    // test-030 holds nothing but object selections: an empty picture is its true rendering.
    if (!file.path.endsWith("test-030.emf") && !hasInk(result.picture->image))
        return QStringLiteral("a good file must draw something");
    return {};
}

} // namespace

contract::Format contract::emf() {
    Format f("emf", picture::emf::read);
    f.goodVisible = QSize(1024, 1024);
    f.otherVisible = QSize(512, 512);
    f.regressions = QStringLiteral("*.emf");
    f.keptBad = keptBadFiles();
    f.checkGood = checkGood;
    f.hasReference = [](const QString &path) {
        return hasReferences(path);
    };
    f.checkReference = [](const QString &path, const picture::LoadResult &whole) {
        return checkRendering(path, whole, knownDifferences());
    };
    return f;
}
