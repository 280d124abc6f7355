// WMF in the decoder contract: sizes, references and the files it treats otherwise.
#include "decoder_contract.h"
#include "metafile_test_support.h"
#include "picture/metafile/wmf_decoder.h"

#include <QtEndian>

#include <cmath>

using namespace metafile_test;

namespace {

// The size a placeable header states: 0.01 mm rounded, then pixels at 96 per inch rounded.
QSize expectedPlaceableSize(const QByteArray &data) {
    const auto word = [&](int at) {
        return qFromLittleEndian<qint16>(data.constData() + at);
    };
    const qint64 inch = quint16(word(14)) ? quint16(word(14)) : 1440;
    const auto mulDiv = [](qint64 a, qint64 b, qint64 c) {
        return qint64(std::llround(double(a) * b / c));
    };
    const qint64 w = mulDiv(mulDiv(std::abs(word(10) - word(6)), 2540, inch), 96, 2540);
    const qint64 h = mulDiv(mulDiv(std::abs(word(12) - word(8)), 2540, inch), 96, 2540);
    return QSize(int(std::max<qint64>(w, 1)), int(std::max<qint64>(h, 1)));
}

// Bad files that still give a picture, and why that is right.
const QHash<QString, QString> &keptBadFiles() {
    static const QHash<QString, QString> kept = {
        {"bitcount-1.wmf", "partial: the lying record is at byte 1904 of 1916"},
        {"facename-1.wmf", "partial: the lying record is the 16th, at byte 4034 of 4197"},
        {"seek-1.wmf", "partial: its first record is most of the file and plays before the lie"},
        {"evil_poly_extreme.wmf",
         "the records are sound; extreme polygon coordinates draw within the work allowance"},
        {"CVE-2005-2124-1.wmf.rc4",
         "the records are sound (four stray bytes at the end); the fault hit an old decoder"},
    };
    return kept;
}

const QHash<QString, KnownDifference> &knownDifferences() {
    static const QHash<QString, KnownDifference> known = pinned([](const Pin &add) {
        const char *const noPlaceable =
            "no placeable header: each renderer frames the page its own way, so the "
            "renderings are framed and sized differently";
        add(noPlaceable, "TestBitBltStretchBlt.wmf", 35.69, 28.71);
        add(noPlaceable, "TestPalette.wmf", 135.58, 66.69);
        const char *const maskPair =
            "mask pair: the mask is taken from the half of the two-part bitmap that bottom-up "
            "row counting names; the reference takes the other half";
        add(maskPair, "TestBigPPI.wmf", 25.49, 11.29);
        const char *const otherFaces =
            "faces outside the face table (a bold serif title, Garamond) fall back to another "
            "face than the reference's";
        add(otherFaces, "text.wmf", 18.05, 11.76);
        const char *const symbolText =
            "symbol-face text: we show the Symbol face's glyphs (a delta, a brace built of "
            "pieces, a dot operator), the reference shows the codes as Latin letters (a D, i "
            "with accents, a times sign)";
        add(symbolText, "formula1.wmf", 25.87, 14.17);
        add(symbolText, "formula3.wmf", 19.03, 11.57);
        add(symbolText, "symbol-font-tables.wmf", 20.43, 8.57);
    });
    return known;
}

QString checkGood(const contract::File &file, const picture::LoadResult &result) {
    const bool placeable = qFromLittleEndian<quint32>(file.data.constData()) == 0x9AC6CDD7;
    const QSize size = result.picture->size;
    if (placeable && size != expectedPlaceableSize(file.data))
        return QStringLiteral("not the size the placeable header states");
    if (!placeable &&
        (size.width() < 1 || size.height() < 1 || size.width() > 1024 || size.height() > 1024))
        return QStringLiteral(
            "a metafile without a stated size is shown at most 1024 pixels wide or high");
    return hasInk(result.picture->image) ? QString()
                                         : QStringLiteral("a good file must draw something");
}

} // namespace

contract::Format contract::wmf() {
    Format f("wmf", picture::wmf::read);
    f.goodVisible = QSize(1024, 1024);
    f.otherVisible = QSize(512, 512);
    f.regressions = QStringLiteral("*.wmf");
    f.keptBad = keptBadFiles();
    f.checkGood = checkGood;
    f.hasReference = hasReferences;
    f.checkReference = [](const QString &path, const picture::LoadResult &whole) {
        return checkRendering(path, whole, knownDifferences());
    };
    return f;
}
