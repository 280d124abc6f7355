#pragma once

#include "corpus.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <optional>

// Helpers the two metafile tests share: the third-party corpus, a comparison of renderings, and
// builders that write small metafiles record by record.
namespace metafile_test {

struct CorpusFile {
    QString path; // relative to the corpus
    QString kind; // good, bad, questionable
    QString note;
};

// The corpus files under `folder` (wmf or emf) as MANIFEST.tsv lists them.
inline QList<CorpusFile> corpusFiles(const QString &folder) {
    QList<CorpusFile> files;
    for (const char *kind : {"good", "bad", "questionable"}) {
        for (const corpus::Entry &entry : corpus::entries({folder + u'/'}, QLatin1String(kind)))
            files.append({entry.path, entry.kind, entry.note});
    }
    return files;
}

inline QByteArray corpusBytes(const QString &path) {
    return corpus::bytes(path);
}

inline QImage onWhite(const QImage &image) {
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

// How far two renderings of the same picture are apart, both laid on white paper (a renderer
// may leave the background transparent or paint it white, and a person sees white either way):
// the mean absolute difference per channel (0-255), and the share of pixels where some channel
// differs by more than 64, which counts shapes that are missing or misplaced rather than edges
// that are antialiased differently.
struct Difference {
    double meanAbsolute = 255;
    double farShare = 1;
};

inline Difference compare(const QImage &ours, const QImage &reference) {
    Difference d;
    if (ours.size() != reference.size() || ours.isNull())
        return d;
    const QImage a = onWhite(ours), b = onWhite(reference);
    double sum = 0;
    qint64 far = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *la = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *lb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = std::abs(qRed(la[x]) - qRed(lb[x]));
            const int dg = std::abs(qGreen(la[x]) - qGreen(lb[x]));
            const int db = std::abs(qBlue(la[x]) - qBlue(lb[x]));
            sum += dr + dg + db;
            if (std::max({dr, dg, db}) > 64)
                ++far;
        }
    }
    const double pixels = double(a.width()) * a.height();
    d.meanAbsolute = sum / (3 * pixels);
    d.farShare = far / pixels;
    return d;
}

// The renderings of the second reference renderer (tools/make_metafile_references_lo.sh) lie
// beside the first one's, under metafiles-lo/, at the same size and framing. Empty when the
// corpus file has none.
inline QString secondReference(const QString &corpusPath) {
    const QString file = QStringLiteral(GLIMRA_TEST_DATA_DIR "/metafiles-lo/") +
                         QString(corpusPath).replace('/', '_') + ".png";
    return QFile::exists(file) ? file : QString();
}

// Our whole rendering against a reference, ours shrunk to the reference's size first.
inline Difference compareWithReference(const QImage &ours, const QImage &reference) {
    if (reference.isNull())
        return {};
    return compare(ours.scaled(reference.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                   reference);
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

// Our whole rendering of the corpus file `path` against its two references: `first` is null
// where only the second renderer draws the file, `secondFile` empty where it has none. Logs the
// measured differences and returns what went wrong, or nothing.
inline QString checkRendering(const QString &path, const QImage &ours, const QImage &first,
                              const QString &secondFile,
                              const QHash<QString, KnownDifference> &knownDifferences) {
    const std::optional<Difference> one =
        first.isNull() ? std::nullopt : std::optional(compareWithReference(ours, first));
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

// Writes little-endian fields.
class Bytes {
public:
    Bytes &u16(quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        m_data.append(b, 2);
        return *this;
    }
    Bytes &i16(qint16 v) { return u16(quint16(v)); }
    Bytes &u32(quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        m_data.append(b, 4);
        return *this;
    }
    Bytes &i32(qint32 v) { return u32(quint32(v)); }
    Bytes &raw(const QByteArray &bytes) {
        m_data.append(bytes);
        return *this;
    }
    const QByteArray &data() const { return m_data; }
    qsizetype size() const { return m_data.size(); }

private:
    QByteArray m_data;
};

// A packed 24-bit bottom-up DIB of one row: the colours left to right.
inline QByteArray dibRow(const QList<QRgb> &colors) {
    Bytes b;
    const int stride = (int(colors.size()) * 3 + 3) & ~3;
    b.u32(40).i32(int(colors.size())).i32(1).u16(1).u16(24).u32(0).u32(quint32(stride));
    b.i32(0).i32(0).u32(0).u32(0);
    QByteArray row;
    for (QRgb c : colors) {
        row.append(char(qBlue(c)));
        row.append(char(qGreen(c)));
        row.append(char(qRed(c)));
    }
    row.append(QByteArray(stride - row.size(), '\0'));
    return b.data() + row;
}

} // namespace metafile_test
