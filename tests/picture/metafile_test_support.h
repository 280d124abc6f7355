#pragma once

#include "picture/picture.h"
#include "tests/support/image_compare.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

// What the metafile suites share: our renderings against the two reference renderers', and
// whether a picture draws anything.
namespace metafile_test {

using testkit::Difference;

// The renderings of the second reference renderer (tools/make_metafile_references_lo.sh) lie
// beside the first one's, under metafiles-lo/, at the same size and framing. Empty when the
// corpus file has none.
inline QString secondReference(const QString &corpusPath) {
    const QString file = QStringLiteral(GLIMRA_TEST_DATA_DIR "/metafiles-lo/") +
                         QString(corpusPath).replace('/', '_') + ".png";
    return QFile::exists(file) ? file : QString();
}

// The first reference renderer's rendering (tools/make_metafile_references.sh); empty when the
// corpus file has none.
inline QString firstReference(const QString &corpusPath) {
    const QString file = QStringLiteral(GLIMRA_TEST_DATA_DIR "/metafiles/") +
                         QString(corpusPath).replace('/', '_') + ".png";
    return QFile::exists(file) ? file : QString();
}

// Our whole rendering against a reference, ours shrunk to the reference's size first, both laid
// on white paper (a renderer may leave the background transparent or paint it white, and a
// person sees white either way).
inline Difference compareWithReference(const QImage &ours, const QImage &reference) {
    if (reference.isNull())
        return {};
    return testkit::compare(
        ours.scaled(reference.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation), reference,
        0, testkit::Blend::OnWhite);
}

// The general tolerance: fonts, antialiasing and line widths differ between renderers, so it is
// loose enough for those (mean difference up to 16 of 255, at most 10 % of pixels far apart) and
// tight enough to catch a picture that is misplaced, flipped, mis-scaled or missing shapes.
inline bool withinTolerance(const Difference &d) {
    return d.meanAbsolute <= 16 && d.farShare <= 0.10;
}

inline QString describe(const Difference &d) {
    return QStringLiteral("mean %1, far %2 %")
        .arg(d.meanAbsolute, 0, 'f', 2)
        .arg(d.farShare * 100, 0, 'f', 2);
}

// A rendering that differs from both references for a reason we accept. It stays under test,
// pinned at the difference measured when it was listed (against the first reference, or the
// second where only that one draws the file): the row fails when either number grows past that
// by more than PinMargin, so that a regression in the file still shows.
struct KnownDifference {
    const char *reason;
    double meanAbsolute; // as measured, 0-255
    double farPercent;   // as measured, 0-100
};

// Where our rendering differs from both reference renderers for reasons we accept, by file
// name, pinned at the difference measured (mean, far %) when the entry was last checked; a file
// that matches either reference is not listed. `list` adds them a reason at a time.
using Pin = std::function<void(const char *reason, const char *name, double mean, double far)>;
inline QHash<QString, KnownDifference> pinned(const std::function<void(const Pin &)> &list) {
    QHash<QString, KnownDifference> known;
    list([&known](const char *reason, const char *name, double mean, double far) {
        known.insert(QLatin1String(name), {reason, mean, far});
    });
    return known;
}

inline constexpr double PinMargin = 1.0; // in mean units and in percentage points alike

inline bool withinPin(const Difference &d, const KnownDifference &known) {
    return d.meanAbsolute <= known.meanAbsolute + PinMargin &&
           d.farShare * 100 <= known.farPercent + PinMargin;
}

// Checks a rendering against its two references: within the general tolerance of either (each
// renderer is wrong in places), or, for a known difference, within its pin. `first` is empty
// where only the second renderer draws the file. Returns what went wrong, or nothing.
inline QString checkAgainstReferences(const std::optional<Difference> &first,
                                      const std::optional<Difference> &second,
                                      const KnownDifference *known) {
    const bool matches = (first && withinTolerance(*first)) || (second && withinTolerance(*second));
    if (!known) {
        if (matches)
            return {};
        return QStringLiteral("%1; second reference: %2")
            .arg(first ? describe(*first) : QStringLiteral("none"),
                 second ? describe(*second) : QStringLiteral("none"));
    }
    if (matches)
        qInfo("within the tolerance of a reference now: its known difference can come off");
    const Difference &pinned = first ? *first : *second;
    if (withinPin(pinned, *known))
        return {};
    return QStringLiteral("%1, grown past the pinned mean %2, far %3 % (known difference: %4)")
        .arg(describe(pinned))
        .arg(known->meanAbsolute, 0, 'f', 2)
        .arg(known->farPercent, 0, 'f', 2)
        .arg(QLatin1String(known->reason));
}

// Whether either reference renderer draws the corpus file `path`.
inline bool hasReferences(const QString &path) {
    return !firstReference(path).isEmpty() || !secondReference(path).isEmpty();
}

// Our whole rendering of the corpus file `path` against its two references (one of them may be
// missing). The references are shrunk to at most 256 pixels a side; ours is shrunk the same way
// before comparing, and must come within the general tolerance of at least one of them, or, for
// a known difference, within its pinned difference. Logs the measured differences and returns
// what went wrong, or nothing.
inline QString checkRendering(const QString &path, const picture::LoadResult &whole,
                              const QHash<QString, KnownDifference> &knownDifferences) {
    const QString firstFile = firstReference(path), secondFile = secondReference(path);
    const QImage &ours = whole.picture->image;
    const std::optional<Difference> one =
        firstFile.isEmpty() ? std::nullopt
                            : std::optional(compareWithReference(ours, QImage(firstFile)));
    const std::optional<Difference> two =
        secondFile.isEmpty() ? std::nullopt
                             : std::optional(compareWithReference(ours, QImage(secondFile)));
    qInfo("%s: %s; second reference: %s", qPrintable(path),
          one ? qPrintable(describe(*one)) : "none", two ? qPrintable(describe(*two)) : "none");
    const auto known = knownDifferences.constFind(QFileInfo(path).fileName());
    return checkAgainstReferences(one, two, known == knownDifferences.cend() ? nullptr : &*known);
}

// True when some pixel is not fully transparent.
inline bool hasInk(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 0)
                return true;
    }
    return false;
}

} // namespace metafile_test
