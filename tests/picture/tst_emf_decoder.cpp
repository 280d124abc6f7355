#include "picture/metafile/emf_decoder.h"
#include "picture/picture_errors.h"

#include "metafile_test_support.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QTest>

using namespace metafile_test;

namespace {

enum Record : quint32 {
    Header = 1,
    Eof = 14,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetMapMode = 17,
    SaveDC = 33,
    RestoreDC = 34,
    IntersectClipRect = 30,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreateBrushIndirect = 39,
    Rectangle = 43,
    BeginPath = 59,
    EndPath = 60,
    SelectClipPath = 67,
    Comment = 70,
    ExtSelectClipRgn = 75,
    SetTextColor = 24,
    SetBkColor = 25,
    MoveToEx = 27,
    LineTo = 54,
    CloseFigure = 61,
    FillPath = 62,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    AlphaBlend = 114,
};

constexpr QRgb Black = 0xff000000;
constexpr quint32 NullPen = 0x80000008, NullBrush = 0x80000005;

quint32 floatBits(float f) {
    return std::bit_cast<quint32>(f);
}

// Writes an enhanced metafile record by record; parameters are 32-bit values in file order.
class EmfWriter {
public:
    EmfWriter &record(quint32 type, const QList<quint32> &values, const QByteArray &tail = {}) {
        Q_ASSERT(tail.size() % 4 == 0);
        m_records.u32(type).u32(quint32(8 + 4 * values.size() + tail.size()));
        for (quint32 v : values)
            m_records.u32(v);
        m_records.raw(tail);
        ++m_count;
        return *this;
    }
    // The record count the header states, when it should differ from what was written.
    EmfWriter &claimRecords(quint32 count) {
        m_claimed = count;
        return *this;
    }
    EmfWriter &raw(const QByteArray &bytes) {
        m_records.raw(bytes);
        return *this;
    }
    EmfWriter &blackBrushNoPen() {
        record(CreateBrushIndirect, {1, 0, 0x000000, 0});
        record(SelectObject, {1});
        return record(SelectObject, {NullPen});
    }
    EmfWriter &rectangle(int left, int top, int right, int bottom) {
        return record(Rectangle, {quint32(left), quint32(top), quint32(right), quint32(bottom)});
    }
    // An EMF+ header inside a comment; `dual` says the classic records draw the picture too.
    EmfWriter &emfPlusHeader(bool dual) {
        Bytes plus;
        plus.u32(0x2B464D45);
        plus.u16(0x4001).u16(dual ? 1 : 0).u32(28).u32(16).u32(0xDBC01002).u32(0).u32(96).u32(96);
        return record(Comment, {quint32(plus.size())}, plus.data());
    }

    // A picture whose frame is `frame` (0.01 mm) on a reference device of 96 pixels per inch.
    QByteArray file(QRect bounds = QRect(0, 0, 100, 100),
                    QRect frame = QRect(QPoint(0, 0), QPoint(2540, 2540)),
                    bool withEof = true) const {
        Bytes b;
        const quint32 total = 88 + quint32(m_records.size()) + (withEof ? 20 : 0);
        b.u32(Header).u32(88);
        b.i32(bounds.left()).i32(bounds.top()).i32(bounds.right()).i32(bounds.bottom());
        b.i32(frame.left()).i32(frame.top()).i32(frame.right()).i32(frame.bottom());
        b.u32(0x464D4520)
            .u32(0x10000)
            .u32(total)
            .u32(m_claimed ? m_claimed : quint32(m_count + 2))
            .u16(8)
            .u16(0);
        b.u32(0).u32(0).u32(0).i32(960).i32(960).i32(254).i32(254);
        b.raw(m_records.data());
        if (withEof)
            b.u32(Eof).u32(20).u32(0).u32(16).u32(20);
        return b.data();
    }

private:
    Bytes m_records;
    int m_count = 0;
    quint32 m_claimed = 0;
};

picture::LoadResult load(const QByteArray &bytes, QSize visible = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return picture::emf::read(buffer, visible);
}

bool filled(const picture::LoadResult &result, int x, int y) {
    return qAlpha(result.picture->image.pixel(x, y)) == 255;
}

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

// Good files refused on purpose. None now: the EMF+ player draws the files that only EMF+
// records draw.
const QHash<QString, QString> &emfPlusOnlyFiles() {
    static const QHash<QString, QString> files;
    return files;
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

// Where our rendering differs from both reference renderers for reasons we accept, pinned at
// the difference measured (mean, far %) when the entry was last checked; a file that matches
// either reference is not listed.
const QHash<QString, KnownDifference> &knownDifferences() {
    static const QHash<QString, KnownDifference> known = [] {
        QHash<QString, KnownDifference> k;
        const auto add = [&k](const char *reason, const char *name, double mean, double far) {
            k.insert(QLatin1String(name), {reason, mean, far});
        };
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
        add(thinPens, "test-027.emf", 26.71, 18.90);
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
        return k;
    }();
    return known;
}

// Files whose visible part is not yet the exact corner of the whole picture: Qt's line
// rasterizer draws a thin line that the raster's edge cuts off a pixel differently from one it
// does not cut (the part is drawn with a margin beyond its edges, which settles every other case).
const QHash<QString, QString> &cropDifferences() {
    static const QHash<QString, QString> files = {
        {"TestCreatePen.emf", "the corner pixel of a one-pixel outline round the picture"},
        {"test_libuemf_ref.emf", "the corner pixel of a one-pixel outline round the picture"},
        {"test_mm_isotropic_ref.emf", "the corner pixel of a one-pixel outline round the picture"},
        {"test_mm_text_ref.emf", "the corner pixel of a one-pixel outline round the picture"},
        {"test-166.emf", "the corner pixel of a one-pixel outline round the picture"},
        {"test-156.emf", "long thin lines across a picture 12000 pixels wide"},
        {"test-157.emf", "long thin lines across a picture 12000 pixels wide"},
        {"test-158.emf", "long thin lines across a picture 12000 pixels wide"},
        {"test-173.emf", "long thin lines across a large picture"},
        {"test-177.emf", "thin lines cut by the part"},
    };
    return files;
}

} // namespace

class TestEmfDecoder : public QObject {
    Q_OBJECT

private slots:
    void regressionFilesFromFuzzing_data();
    void regressionFilesFromFuzzing();
    void naturalSize_data();
    void naturalSize();
    void goodCorpusFilesLoad_data();
    void goodCorpusFilesLoad();
    void badCorpusFilesAreRefused_data();
    void badCorpusFilesAreRefused();
    void questionableCorpusFilesDoNotCrash_data();
    void questionableCorpusFilesDoNotCrash();
    void matchesReferenceRendering_data();
    void matchesReferenceRendering();
    void emfPlusRecords_data();
    void emfPlusRecords();
    void mapModes_data();
    void mapModes();
    void worldTransforms_data();
    void worldTransforms();
    void clipIsSavedAndRestored_data();
    void clipIsSavedAndRestored();
    void visiblePartIsACropOfTheWhole_data();
    void visiblePartIsACropOfTheWhole();
    void lyingRecords_data();
    void lyingRecords();
    void hostileObjectIndicesAreIgnored();
    void pathFiguresStartAtEachMove_data();
    void pathFiguresStartAtEachMove();
    void alphaBlendWithSourceAlpha_data();
    void alphaBlendWithSourceAlpha();
    void monochromePatternBrushes_data();
    void monochromePatternBrushes();
    void recognisesOnlyEnhancedMetafiles_data();
    void recognisesOnlyEnhancedMetafiles();
};

void TestEmfDecoder::naturalSize_data() {
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QSize>("expected");
    const QRect bounds(0, 0, 200, 100);
    QTest::newRow("frame of one inch by half an inch")
        << bounds << QRect(QPoint(0, 0), QPoint(2540, 1270)) << QSize(96, 48);
    QTest::newRow("frame away from the origin")
        << bounds << QRect(QPoint(1000, 500), QPoint(3540, 1770)) << QSize(96, 48);
    QTest::newRow("frame with right before left")
        << bounds << QRect(QPoint(2540, 1270), QPoint(0, 0)) << QSize(96, 48);
    QTest::newRow("frame rounds to the nearest pixel")
        << bounds << QRect(QPoint(0, 0), QPoint(2619, 1296)) << QSize(99, 49);
    QTest::newRow("empty frame falls back to the bounds")
        << QRect(QPoint(10, 10), QPoint(209, 109)) << QRect(QPoint(5, 5), QPoint(5, 900))
        << QSize(200, 100);
    QTest::newRow("empty frame and empty bounds give one pixel")
        << QRect(QPoint(3, 3), QPoint(3, 3)) << QRect() << QSize(1, 1);
}

void TestEmfDecoder::naturalSize() {
    QFETCH(QRect, bounds);
    QFETCH(QRect, frame);
    QFETCH(QSize, expected);
    const auto result = load(EmfWriter().file(bounds, frame), QSize(64, 64));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->size, expected);
    QCOMPARE(result.picture->format, picture::Format::Emf);
    QCOMPARE(result.picture->image.size(), expected.boundedTo(QSize(64, 64)));
    QCOMPARE(result.picture->image.format(), QImage::Format_ARGB32_Premultiplied);
}

void TestEmfDecoder::goodCorpusFilesLoad_data() {
    QTest::addColumn<QString>("path");
    for (const CorpusFile &f : corpusFiles("emf"))
        if (f.kind == "good")
            QTest::newRow(qPrintable(f.path)) << f.path;
}

void TestEmfDecoder::goodCorpusFilesLoad() {
    if (!QTest::currentDataTag())
        QSKIP("the third-party corpus is not there");
    QFETCH(QString, path);
    const QByteArray data = corpusBytes(path);
    QVERIFY2(!data.isEmpty(), "corpus file missing");
    const auto result = load(data, QSize(1024, 1024));
    if (emfPlusOnlyFiles().contains(QFileInfo(path).fileName())) {
        QCOMPARE(result.error, picture::errors::emfPlusOnly());
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.picture->size, expectedSize(data));
    // test-030 holds nothing but object selections: an empty picture is its true rendering.
    if (!path.endsWith("test-030.emf"))
        QVERIFY2(hasInk(result.picture->image), "a good file must draw something");
}

void TestEmfDecoder::badCorpusFilesAreRefused_data() {
    QTest::addColumn<QString>("path");
    for (const CorpusFile &f : corpusFiles("emf"))
        if (f.kind == "bad")
            QTest::newRow(qPrintable(f.path)) << f.path;
}

void TestEmfDecoder::badCorpusFilesAreRefused() {
    if (!QTest::currentDataTag())
        QSKIP("the third-party corpus is not there");
    QFETCH(QString, path);
    const auto result = load(corpusBytes(path), QSize(512, 512));
    const QString name = QFileInfo(path).fileName();
    if (keptBadFiles().contains(name)) {
        QVERIFY2(result.ok(), qPrintable(keptBadFiles().value(name) + ": " + result.error));
        return;
    }
    QVERIFY2(!result.ok(), "a bad file must be refused");
    QVERIFY2(!result.error.isEmpty(), "a refusal gives a reason");
}

void TestEmfDecoder::questionableCorpusFilesDoNotCrash_data() {
    QTest::addColumn<QString>("path");
    for (const CorpusFile &f : corpusFiles("emf"))
        if (f.kind == "questionable")
            QTest::newRow(qPrintable(f.path)) << f.path;
}

void TestEmfDecoder::questionableCorpusFilesDoNotCrash() {
    if (!QTest::currentDataTag())
        QSKIP("the third-party corpus is not there");
    QFETCH(QString, path);
    const auto result = load(corpusBytes(path), QSize(512, 512));
    QVERIFY2(result.ok() != !result.error.isEmpty(), "either a picture or a reason");
    if (result.ok())
        QVERIFY(!result.picture->size.isEmpty());
}

void TestEmfDecoder::matchesReferenceRendering_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("second"); // the second renderer's, may be empty
    for (const CorpusFile &f : corpusFiles("emf")) {
        if (f.kind != "good" || emfPlusOnlyFiles().contains(QFileInfo(f.path).fileName()))
            continue;
        const QString reference = QStringLiteral(GLIMRA_TEST_DATA_DIR "/metafiles/") +
                                  QString(f.path).replace('/', '_') + ".png";
        const QString second = secondReference(f.path);
        if (QFile::exists(reference) || !second.isEmpty())
            QTest::newRow(qPrintable(f.path))
                << f.path << (QFile::exists(reference) ? reference : QString()) << second;
    }
}

// As for WMF: the references come from two independent renderers, shrunk to at most 256 pixels
// a side, and ours is shrunk the same way; ours must come within the general tolerance of
// either, or, for a known difference, within its pinned difference.
void TestEmfDecoder::matchesReferenceRendering() {
    if (!QTest::currentDataTag())
        QSKIP("the third-party corpus is not there");
    QFETCH(QString, path);
    QFETCH(QString, reference);
    QFETCH(QString, second);
    const QImage expected(reference);
    QVERIFY(!expected.isNull() || !second.isEmpty());
    const QByteArray data = corpusBytes(path);
    // Render no more than the reference needs: the whole picture at a size near the reference's.
    const auto result = load(data);
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QString failure =
        checkRendering(path, result.picture->image, expected, second, knownDifferences());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestEmfDecoder::emfPlusRecords_data() {
    QTest::addColumn<bool>("dual");
    QTest::addColumn<bool>("classicDrawing");
    QTest::addColumn<bool>("shown");
    QTest::newRow("EMF+ only drawing nothing is refused") << false << false << false;
    QTest::newRow("EMF+ only with classic drawing shows the classic part") << false << true << true;
    QTest::newRow("dual file draws its classic records") << true << true << true;
    QTest::newRow("dual file drawing nothing is refused, not shown blank")
        << true << false << false;
}

void TestEmfDecoder::emfPlusRecords() {
    QFETCH(bool, dual);
    QFETCH(bool, classicDrawing);
    QFETCH(bool, shown);
    EmfWriter w;
    w.emfPlusHeader(dual);
    if (classicDrawing)
        w.blackBrushNoPen().rectangle(0, 0, 50, 50);
    const auto result = load(w.file());
    QCOMPARE(result.ok(), shown);
    if (!shown)
        QCOMPARE(result.error, picture::errors::corrupt());
    else if (classicDrawing)
        QVERIFY(filled(result, 25, 25));
}

void TestEmfDecoder::mapModes_data() {
    QTest::addColumn<QList<QList<quint32>>>("setup"); // records: type, values...
    QTest::addColumn<QRect>("rectangle");
    QTest::addColumn<QList<QPoint>>("inside");
    QTest::addColumn<QList<QPoint>>("outside");
    const QList<QPoint> square{{24, 24}};
    const QList<QPoint> beyond{{72, 72}, {24, 72}, {72, 24}};
    QTest::newRow("text mode: logical units are device pixels")
        << QList<QList<quint32>>{{SetMapMode, 1}} << QRect(QPoint(0, 0), QPoint(48, 48)) << square
        << beyond;
    QTest::newRow("tenths of a millimetre with y going up")
        << QList<QList<quint32>>{{SetMapMode, 2}} << QRect(QPoint(0, 0), QPoint(127, -127))
        << square << beyond;
    QTest::newRow("hundredths of a millimetre with y going up")
        << QList<QList<quint32>>{{SetMapMode, 3}} << QRect(QPoint(0, 0), QPoint(1270, -1270))
        << square << beyond;
    QTest::newRow("twips with y going up")
        << QList<QList<quint32>>{{SetMapMode, 6}} << QRect(QPoint(0, 0), QPoint(720, -720))
        << square << beyond;
    QTest::newRow("anisotropic stretches each axis on its own")
        << QList<QList<quint32>>{{SetMapMode, 8},
                                 {SetWindowExtEx, 200, 100},
                                 {SetViewportExtEx, 96, 96}}
        << QRect(QPoint(0, 0), QPoint(100, 50)) << square << beyond;
    QTest::newRow("isotropic keeps squares square")
        << QList<QList<quint32>>{{SetMapMode, 7},
                                 {SetWindowExtEx, 200, 100},
                                 {SetViewportExtEx, 96, 96}}
        << QRect(QPoint(0, 0), QPoint(100, 100)) << square << beyond;
    QTest::newRow("negative window extent flips with the origin moved")
        << QList<QList<quint32>>{{SetMapMode, 8},
                                 {SetWindowOrgEx, 0, 96},
                                 {SetWindowExtEx, 96, quint32(-96)},
                                 {SetViewportExtEx, 96, 96}}
        << QRect(QPoint(0, 0), QPoint(48, 48)) << QList<QPoint>{{24, 72}}
        << QList<QPoint>{{24, 24}, {72, 72}};
}

void TestEmfDecoder::mapModes() {
    QFETCH(QList<QList<quint32>>, setup);
    QFETCH(QRect, rectangle);
    QFETCH(QList<QPoint>, inside);
    QFETCH(QList<QPoint>, outside);
    EmfWriter w;
    w.blackBrushNoPen();
    for (const auto &r : setup)
        w.record(r.first(), r.mid(1));
    w.record(Rectangle, {quint32(rectangle.left()), quint32(rectangle.top()),
                         quint32(rectangle.right()), quint32(rectangle.bottom())});
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    for (const QPoint &p : inside)
        QVERIFY2(filled(result, p.x(), p.y()),
                 qPrintable(QStringLiteral("%1,%2 should be drawn").arg(p.x()).arg(p.y())));
    for (const QPoint &p : outside)
        QVERIFY2(!filled(result, p.x(), p.y()),
                 qPrintable(QStringLiteral("%1,%2 should be empty").arg(p.x()).arg(p.y())));
}

void TestEmfDecoder::worldTransforms_data() {
    QTest::addColumn<QList<QList<quint32>>>("setup");
    QTest::addColumn<QPoint>("inside");
    QTest::addColumn<QPoint>("outside");
    const auto xform = [](float m11, float m22, float dx, float dy) {
        return QList<quint32>{floatBits(m11), 0, 0, floatBits(m22), floatBits(dx), floatBits(dy)};
    };
    QTest::newRow("a set translation moves the drawing")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0)}
        << QPoint(60, 10) << QPoint(10, 10);
    QTest::newRow("left multiply scales before the earlier translation")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0),
                                 QList<quint32>{ModifyWorldTransform} + xform(2, 2, 0, 0) +
                                     QList<quint32>{2}}
        << QPoint(85, 10) << QPoint(10, 10);
    QTest::newRow("right multiply scales after it, out of the picture")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0),
                                 QList<quint32>{ModifyWorldTransform} + xform(2, 2, 0, 0) +
                                     QList<quint32>{3}}
        << QPoint(-1, -1) << QPoint(60, 10);
    QTest::newRow("identity resets")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(1, 1, 50, 0),
                                 QList<quint32>{ModifyWorldTransform} + xform(2, 2, 0, 0) +
                                     QList<quint32>{1}}
        << QPoint(10, 10) << QPoint(60, 10);
    QTest::newRow("a singular transform is ignored")
        << QList<QList<quint32>>{QList<quint32>{SetWorldTransform} + xform(0, 0, 50, 0)}
        << QPoint(10, 10) << QPoint(60, 10);
}

void TestEmfDecoder::worldTransforms() {
    QFETCH(QList<QList<quint32>>, setup);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, outside);
    EmfWriter w;
    w.blackBrushNoPen();
    for (const auto &r : setup)
        w.record(r.first(), r.mid(1));
    w.rectangle(0, 0, 20, 20);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    if (inside.x() >= 0)
        QVERIFY(filled(result, inside.x(), inside.y()));
    QVERIFY(!filled(result, outside.x(), outside.y()));
}

void TestEmfDecoder::clipIsSavedAndRestored_data() {
    QTest::addColumn<QList<QList<quint32>>>("afterClip");
    QTest::addColumn<bool>("clipped");
    QTest::newRow("RestoreDC(-1) brings back the unclipped state")
        << QList<QList<quint32>>{{RestoreDC, quint32(-1)}} << false;
    QTest::newRow("without a restore the clip stays") << QList<QList<quint32>>{} << true;
    QTest::newRow("restoring more saves than there are is ignored")
        << QList<QList<quint32>>{{RestoreDC, quint32(-3)}} << true;
    QTest::newRow("selecting no region resets the clip")
        << QList<QList<quint32>>{{ExtSelectClipRgn, 0, 5}} << false;
    QTest::newRow("a clip path replaces the clip")
        << QList<QList<quint32>>{{BeginPath},
                                 {Rectangle, 0, 0, 100, 100},
                                 {EndPath},
                                 {SelectClipPath, 5}}
        << false;
}

void TestEmfDecoder::clipIsSavedAndRestored() {
    QFETCH(QList<QList<quint32>>, afterClip);
    QFETCH(bool, clipped);
    EmfWriter w;
    w.blackBrushNoPen();
    w.record(SaveDC, {}).record(IntersectClipRect, {0, 0, 20, 20});
    for (const auto &r : afterClip)
        w.record(r.first(), r.mid(1));
    w.rectangle(0, 0, 100, 100);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY(filled(result, 10, 10));
    QCOMPARE(!filled(result, 50, 50), clipped);
}

void TestEmfDecoder::visiblePartIsACropOfTheWhole_data() {
    QTest::addColumn<QString>("path");
    for (const CorpusFile &f : corpusFiles("emf"))
        if (f.kind != "bad" || emfPlusOnlyFiles().contains(QFileInfo(f.path).fileName()))
            QTest::newRow(qPrintable(f.path)) << f.path;
}

// The part decoded for a window is the top-left corner of the whole picture, pixel for pixel.
void TestEmfDecoder::visiblePartIsACropOfTheWhole() {
    if (!QTest::currentDataTag())
        QSKIP("the third-party corpus is not there");
    QFETCH(QString, path);
    const QByteArray data = corpusBytes(path);
    const auto whole = load(data);
    if (!whole.ok())
        return;
    const QSize part = (whole.picture->size / 2).expandedTo(QSize(1, 1));
    const auto cropped = load(data, part);
    QVERIFY2(cropped.ok(), qPrintable(cropped.error));
    QCOMPARE(cropped.picture->size, whole.picture->size);
    QCOMPARE(cropped.picture->image.size(), part);
    const QImage expected = whole.picture->image.copy(QRect(QPoint(0, 0), part));
    if (cropped.picture->image == expected)
        return;
    const Difference d = compare(cropped.picture->image, expected);
    const QString numbers = QStringLiteral("mean %1, far %2").arg(d.meanAbsolute).arg(d.farShare);
    const QString name = QFileInfo(path).fileName();
    QVERIFY2(cropDifferences().contains(name), qPrintable(numbers));
    // Thin outlines that the part's raster cuts off: the rasterizer may set a pixel or two of
    // them differently, nothing more.
    QVERIFY2(d.farShare < 0.002 && d.meanAbsolute < 0.5,
             qPrintable(numbers + ": " + cropDifferences().value(name)));
}

void TestEmfDecoder::lyingRecords_data() {
    QTest::addColumn<int>("goodRecords");
    QTest::addColumn<QByteArray>("lie");
    QTest::addColumn<bool>("kept");
    Bytes pastEnd;
    pastEnd.u32(Rectangle).u32(4000).u32(0).u32(0);
    Bytes unaligned;
    unaligned.u32(Rectangle).u32(26).u32(0).u32(0).u32(0).u32(0).u32(0);
    Bytes tooShort;
    tooShort.u32(Rectangle).u32(4).u32(0).u32(0);
    Bytes pointsPastRecord;
    pointsPastRecord.u32(86).u32(32).u32(0).u32(0).u32(0).u32(0).u32(1000).u32(0);
    QTest::newRow("record running past the end after most of the file keeps the picture")
        << 40 << pastEnd.data() << true;
    QTest::newRow("record running past the end at the start is refused")
        << 0 << pastEnd.data() << false;
    QTest::newRow("size that is not a multiple of four at the start is refused")
        << 0 << unaligned.data() << false;
    QTest::newRow("size under eight bytes at the start is refused")
        << 0 << tooShort.data() << false;
    QTest::newRow("point count past its record after most of the file keeps the picture")
        << 40 << pointsPastRecord.data() << true;
    QTest::newRow("point count past its record at the start is refused")
        << 0 << pointsPastRecord.data() << false;
}

void TestEmfDecoder::lyingRecords() {
    QFETCH(int, goodRecords);
    QFETCH(QByteArray, lie);
    QFETCH(bool, kept);
    EmfWriter w;
    w.blackBrushNoPen();
    for (int i = 0; i < goodRecords; ++i)
        w.rectangle(i, i, i + 10, i + 10);
    // What follows the lie is as long as ten rectangles: a lie before them is early, one after
    // forty rectangles is late.
    // What follows the lie is as long as ten rectangles, and the header counts them: a lie
    // before forty rectangles is early, one after them is late.
    w.raw(lie).raw(QByteArray(240, '\0')).claimRecords(quint32(goodRecords + 15));
    const auto result =
        load(w.file(QRect(0, 0, 100, 100), QRect(QPoint(0, 0), QPoint(2540, 2540)), false));
    QCOMPARE(result.ok(), kept);
    if (!kept)
        QVERIFY(!result.error.isEmpty());
}

void TestEmfDecoder::hostileObjectIndicesAreIgnored() {
    EmfWriter w;
    w.record(CreateBrushIndirect, {0xffffffff, 0, 0, 0});
    w.record(CreateBrushIndirect, {70000, 0, 0, 0});
    w.record(SelectObject, {0x7fffffff}).record(SelectObject, {0x8000ffff});
    w.record(SelectObject, {NullBrush});
    w.record(40, {0xffffffff});
    w.rectangle(10, 10, 90, 90);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY2(filled(result, 10, 50), "the default black pen still draws the outline");
    QVERIFY2(!filled(result, 50, 50), "the null brush leaves the inside empty");
}

void TestEmfDecoder::pathFiguresStartAtEachMove_data() {
    QTest::addColumn<QString>("segments"); // lines, beziers, records
    QTest::addColumn<bool>("closed");
    for (const char *kind : {"lines", "beziers", "records"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, closed").arg(kind))) << kind << true;
        QTest::newRow(qPrintable(QStringLiteral("%1, left open").arg(kind))) << kind << false;
    }
}

// A ring (a square with a square hole) and a separate square, drawn as one path of three
// figures, each begun by a move: the fill rule works across the figures, and nothing joins them.
void TestEmfDecoder::pathFiguresStartAtEachMove() {
    QFETCH(QString, segments);
    QFETCH(bool, closed);
    const QList<QPolygon> figures{QPolygon({{10, 10}, {50, 10}, {50, 50}, {10, 50}}),
                                  QPolygon({{20, 20}, {40, 20}, {40, 40}, {20, 40}}),
                                  QPolygon({{90, 80}, {60, 80}, {60, 20}, {90, 20}})};
    EmfWriter w;
    w.blackBrushNoPen().record(BeginPath, {});
    for (const QPolygon &figure : figures) {
        w.record(MoveToEx, {quint32(figure[0].x()), quint32(figure[0].y())});
        QList<QPoint> to = figure.mid(1);
        to.append(figure[0]);
        if (segments == "records") {
            for (const QPoint &p : to)
                w.record(LineTo, {quint32(p.x()), quint32(p.y())});
        } else {
            QList<QPoint> points;
            for (const QPoint &p : to) {
                if (segments == "beziers") // straight, with the controls on the ends
                    points << points.value(points.size() - 1, figure[0]) << p;
                points << p;
            }
            Bytes b;
            b.u32(0).u32(0).u32(100).u32(100).u32(quint32(points.size()));
            for (const QPoint &p : points)
                b.i16(qint16(p.x())).i16(qint16(p.y()));
            w.record(segments == "beziers" ? PolyBezierTo16 : PolylineTo16, {}, b.data());
        }
        if (closed)
            w.record(CloseFigure, {});
    }
    w.record(EndPath, {}).record(FillPath, {0, 0, 100, 100});
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QRegion expected =
        QRegion(QRect(10, 10, 40, 40)) - QRect(20, 20, 20, 20) + QRect(60, 20, 30, 60);
    int wrong = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            wrong += filled(result, x, y) != expected.contains(QPoint(x, y));
    QCOMPARE(wrong, 0);
}

void TestEmfDecoder::alphaBlendWithSourceAlpha_data() {
    QTest::addColumn<int>("headerSize");  // 40, or 124 with colour masks
    QTest::addColumn<int>("compression"); // 0 BI_RGB, 3 BI_BITFIELDS
    QTest::addColumn<int>("constant");
    QTest::addColumn<bool>("sourceAlpha");
    QTest::newRow("per-pixel alpha") << 40 << 0 << 255 << true;
    QTest::newRow("per-pixel alpha with colour masks") << 40 << 3 << 255 << true;
    QTest::newRow("per-pixel alpha in a version 5 header") << 124 << 3 << 255 << true;
    QTest::newRow("per-pixel alpha with half the constant on top") << 40 << 0 << 128 << true;
    QTest::newRow("constant alpha alone ignores the fourth byte") << 40 << 0 << 128 << false;
}

// A 2 x 1 source: an opaque red pixel and a transparent one, blended over a blue ground.
void TestEmfDecoder::alphaBlendWithSourceAlpha() {
    QFETCH(int, headerSize);
    QFETCH(int, compression);
    QFETCH(int, constant);
    QFETCH(bool, sourceAlpha);
    Bytes info;
    info.u32(quint32(headerSize)).i32(2).i32(1).u16(1).u16(32).u32(quint32(compression));
    info.u32(8).i32(0).i32(0).u32(0).u32(0);
    if (compression == 3)
        info.u32(0x00ff0000).u32(0x0000ff00).u32(0x000000ff);
    if (compression == 3 && headerSize > 40)
        info.u32(0xff000000);
    info.raw(QByteArray(
        headerSize + (compression == 3 && headerSize == 40 ? 12 : 0) - int(info.size()), '\0'));
    Bytes bits;
    bits.u32(0xffff0000).u32(0x00000000);
    const quint32 offBmi = 108, offBits = offBmi + quint32(info.size());
    const quint32 blend = quint32(constant) << 16 | (sourceAlpha ? 1u << 24 : 0);
    EmfWriter w;
    w.record(CreateBrushIndirect, {1, 0, 0xff0000, 0}).record(SelectObject, {1});
    w.record(SelectObject, {NullPen}).rectangle(0, 0, 100, 100);
    w.record(AlphaBlend,
             {0,
              0,
              100,
              100,
              0,
              0,
              100,
              100,
              blend,
              0,
              0,
              0x3f800000,
              0,
              0,
              0x3f800000,
              0,
              0,
              0,
              0,
              offBmi,
              quint32(info.size()),
              offBits,
              quint32(bits.size()),
              2,
              1},
             info.data() + bits.data());
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage image = result.picture->image.convertToFormat(QImage::Format_ARGB32);
    const auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
               std::abs(qBlue(a) - qBlue(b)) <= 2;
    };
    const int a = constant;
    const QRgb redOverBlue = qRgb(a, 0, 255 - a);
    const QRgb right = sourceAlpha ? qRgb(0, 0, 255) : qRgb(0, 0, 255 - a);
    QVERIFY2(near(image.pixel(25, 50), redOverBlue),
             qPrintable(QString::number(image.pixel(25, 50), 16)));
    QVERIFY2(near(image.pixel(75, 50), right),
             qPrintable(QString::number(image.pixel(75, 50), 16)));
}

void TestEmfDecoder::monochromePatternBrushes_data() {
    QTest::addColumn<quint32>("record");
    QTest::addColumn<bool>("table"); // a colour table of red and blue
    QTest::addColumn<QRgb>("set");   // what a set bit shows
    QTest::addColumn<QRgb>("clear");
    const QRgb text = 0xff008000, background = 0xffffff00;
    QTest::newRow("DIB pattern without a colour table takes text and background colours")
        << quint32(CreateDibPatternBrushPt) << false << background << text;
    QTest::newRow("DIB pattern with a colour table keeps it")
        << quint32(CreateDibPatternBrushPt) << true << 0xff0000ffu << 0xffff0000u;
    QTest::newRow("monochrome brush without a table")
        << quint32(CreateMonoBrush) << false << background << text;
    QTest::newRow("monochrome brush takes the DC colours even with a table")
        << quint32(CreateMonoBrush) << true << background << text;
}

// An 8 x 8 pattern of vertical stripes, four pixels wide: clear, then set.
void TestEmfDecoder::monochromePatternBrushes() {
    QFETCH(quint32, record);
    QFETCH(bool, table);
    QFETCH(QRgb, set);
    QFETCH(QRgb, clear);
    Bytes info;
    info.u32(40).i32(8).i32(8).u16(1).u16(1).u32(0).u32(32).i32(0).i32(0);
    info.u32(table ? 2 : 0).u32(0);
    if (table)
        info.u32(0x00ff0000).u32(0x000000ff);
    Bytes bits;
    for (int row = 0; row < 8; ++row)
        bits.u32(0x0f);
    const quint32 offBmi = 32;
    EmfWriter w;
    w.record(SetTextColor, {0x008000}).record(SetBkColor, {0x00ffff});
    w.record(record,
             {1, record == CreateMonoBrush ? 2u : 0u, offBmi, quint32(info.size()),
              offBmi + quint32(info.size()), quint32(bits.size())},
             info.data() + bits.data());
    w.record(SelectObject, {1}).record(SelectObject, {NullPen}).rectangle(0, 0, 64, 64);
    const auto result = load(w.file());
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QImage image = result.picture->image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.pixel(1, 1), clear);
    QCOMPARE(image.pixel(5, 1), set);
    QCOMPARE(image.pixel(9, 9), clear);
    QCOMPARE(image.pixel(13, 9), set);
}

void TestEmfDecoder::recognisesOnlyEnhancedMetafiles_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("recognised");
    const QByteArray emf = EmfWriter().file().left(44);
    QTest::newRow("enhanced metafile header") << emf << true;
    QByteArray wrongSignature = emf;
    wrongSignature[41] = 'X';
    QTest::newRow("header record without the signature") << wrongSignature << false;
    QTest::newRow("placeable metafile") << QByteArray::fromHex("d7cdc69a0000") << false;
    QTest::newRow("cut short") << emf.left(40) << false;
}

void TestEmfDecoder::recognisesOnlyEnhancedMetafiles() {
    QFETCH(QByteArray, head);
    QFETCH(bool, recognised);
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(picture::emf::canRead(buffer), recognised);
    QCOMPARE(buffer.pos(), 0);
}

// Inputs the fuzzer found to crash, hang or crawl, named after what they broke.
void TestEmfDecoder::regressionFilesFromFuzzing_data() {
    QTest::addColumn<QString>("file");
    const QDir data(QStringLiteral(GLIMRA_TEST_DATA_DIR));
    for (const QString &name : data.entryList({QStringLiteral("*.emf")}, QDir::Files))
        QTest::newRow(qPrintable(name)) << data.filePath(name);
}

void TestEmfDecoder::regressionFilesFromFuzzing() {
    if (!QTest::currentDataTag())
        QSKIP("no regression files");
    QFETCH(QString, file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto result = load(f.readAll(), QSize(256, 256));
    QVERIFY2(result.ok() != !result.error.isEmpty(), "either a picture or a reason");
}

QTEST_MAIN(TestEmfDecoder)
#include "tst_emf_decoder.moc"
