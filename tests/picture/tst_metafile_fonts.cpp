#include "picture/metafile/metafile_fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QRawFont>
#include <QSet>
#include <QTest>
#include <QTextLayout>

#include <algorithm>

using namespace picture::metafile;
using namespace Qt::Literals::StringLiterals;

namespace {

QFont fontFor(const FaceChoice &choice) {
    QFont font;
    font.setFamilies(choice.families);
    font.setPixelSize(20);
    return font;
}

// The family that draws each glyph of `text` in `font`, or "" where none has the glyph.
QStringList drawingFamilies(const QString &text, const QFont &font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        for (quint32 glyph : run.glyphIndexes())
            families.append(glyph == 0 || !raw.isValid() ? QString() : raw.familyName());
    }
    return families;
}

// Every code of a symbol layout, 0x20-0xFF, as the characters its glyphs show.
QString allCodes(FaceEncoding encoding) {
    QString codes;
    for (char16_t c = 0x20; c <= 0xFF; ++c)
        codes.append(QChar(c));
    return glyphText(codes, encoding);
}

} // namespace

class TestMetafileFonts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void onlyTheDeclaredFacesAreInstalled();
    void facesDrawInTheirStandIns_data();
    void facesDrawInTheirStandIns();
    void cyrillicComesFromAFaceThatHasIt_data();
    void cyrillicComesFromAFaceThatHasIt();
    void symbolLayouts_data();
    void symbolLayouts();
    void everySymbolCodeHasAGlyph_data();
    void everySymbolCodeHasAGlyph();
};

void TestMetafileFonts::initTestCase() {
    loadFaceFiles();
}

// The tests run under their own font configuration (tests/fonts.conf.in): more fonts on the
// machine must not change what they draw.
void TestMetafileFonts::onlyTheDeclaredFacesAreInstalled() {
    const QSet<QString> declared = {u"DejaVu Sans"_s,
                                    u"DejaVu Sans Mono"_s,
                                    u"DejaVu Sans Condensed"_s,
                                    u"DejaVu Sans Light"_s,
                                    u"DejaVu Serif Condensed"_s,
                                    u"DejaVu Serif"_s,
                                    u"DejaVu Math TeX Gyre"_s,
                                    u"Liberation Sans"_s,
                                    u"Liberation Serif"_s,
                                    u"Liberation Mono"_s,
                                    u"Carlito"_s,
                                    u"Caladea"_s,
                                    u"Symbola"_s,
                                    u"Tahoma"_s,
                                    u"Monospace"_s,
                                    u"Sans Serif"_s,
                                    u"Serif"_s};
    for (const QString &family : QFontDatabase::families())
        QVERIFY2(declared.contains(family), qPrintable(family + " is outside the declared fonts"));
}

void TestMetafileFonts::facesDrawInTheirStandIns_data() {
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QString>("family");
    QTest::newRow("Arial") << u"Arial"_s << 0 << u"Liberation Sans"_s;
    QTest::newRow("case and a Cyrillic suffix") << u"ARIAL Cyr"_s << 204 << u"Liberation Sans"_s;
    QTest::newRow("Helvetica") << u"Helvetica"_s << 0 << u"Liberation Sans"_s;
    QTest::newRow("MS Sans Serif") << u"MS Sans Serif"_s << 0 << u"Liberation Sans"_s;
    QTest::newRow("Microsoft Sans Serif") << u"Microsoft Sans Serif"_s << 0 << u"Liberation Sans"_s;
    QTest::newRow("no face") << u""_s << 0 << u"Liberation Sans"_s;
    QTest::newRow("Times New Roman") << u"Times New Roman"_s << 0 << u"Liberation Serif"_s;
    QTest::newRow("Times") << u"Times"_s << 0 << u"Liberation Serif"_s;
    QTest::newRow("MS Serif") << u"MS Serif"_s << 0 << u"Liberation Serif"_s;
    QTest::newRow("Courier New") << u"Courier New"_s << 0 << u"Liberation Mono"_s;
    QTest::newRow("Courier") << u"Courier"_s << 0 << u"Liberation Mono"_s;
    QTest::newRow("Calibri") << u"Calibri"_s << 0 << u"Carlito"_s;
    QTest::newRow("Cambria") << u"Cambria"_s << 0 << u"Caladea"_s;
    QTest::newRow("Tahoma") << u"Tahoma"_s << 0 << u"Tahoma"_s;
    QTest::newRow("Symbol") << u"Symbol"_s << 2 << u"DejaVu Sans"_s;
    QTest::newRow("symbol set in another face") << u"Times New Roman"_s << 2 << u"DejaVu Sans"_s;
    QTest::newRow("symbol set in an unknown face") << u"MT Extra"_s << 2 << u"DejaVu Sans"_s;
    QTest::newRow("Wingdings") << u"Wingdings"_s << 2 << u"Symbola"_s;
    QTest::newRow("not in the table") << u"Garamond"_s << 0 << u"DejaVu Sans"_s;
}

void TestMetafileFonts::facesDrawInTheirStandIns() {
    QFETCH(QString, face);
    QFETCH(int, charset);
    QFETCH(QString, family);
    QCOMPARE(QFontInfo(fontFor(chooseFace(face, quint8(charset)))).family(), family);
}

void TestMetafileFonts::cyrillicComesFromAFaceThatHasIt_data() {
    QTest::addColumn<QString>("face");
    QTest::addColumn<QString>("family");
    QTest::newRow("Arial") << u"Arial"_s << u"Liberation Sans"_s;
    QTest::newRow("Times New Roman") << u"Times New Roman"_s << u"Liberation Serif"_s;
    QTest::newRow("Courier New") << u"Courier New"_s << u"Liberation Mono"_s;
    QTest::newRow("Calibri") << u"Calibri"_s << u"Carlito"_s;
    QTest::newRow("Cambria has none: its second entry") << u"Cambria"_s << u"Liberation Serif"_s;
    QTest::newRow("Tahoma") << u"Tahoma"_s << u"Tahoma"_s;
}

void TestMetafileFonts::cyrillicComesFromAFaceThatHasIt() {
    QFETCH(QString, face);
    QFETCH(QString, family);
    const QStringList families = drawingFamilies(u"Жълтица"_s, fontFor(chooseFace(face, 204)));
    QCOMPARE(families, QStringList(7, family));
}

void TestMetafileFonts::symbolLayouts_data() {
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("symbol letters are Greek") << u"Symbol"_s << 2 << u"aDj"_s << u"αΔϕ"_s;
    QTest::newRow("private-use codes alike")
        << u"Symbol"_s << 0 << u"\uF061\uF044\uF0E5"_s << u"αΔ∑"_s;
    QTest::newRow("symbol signs") << u"Symbol"_s << 2 << u"\x22\xB6\xD6\xF2"_s << u"∀∂√∫"_s;
    QTest::newRow("brace pieces") << u"Symbol"_s << 2 << u"\xEC\xED\xEE"_s << u"⎧⎨⎩"_s;
    QTest::newRow("charset 2 in any face") << u"MT Extra"_s << 2 << u"p"_s << u"π"_s;
    QTest::newRow("other characters pass")
        << u"Symbol"_s << 2 << u"\u0416\uF100"_s << u"\u0416\uF100"_s;
    QTest::newRow("Wingdings") << u"Wingdings"_s << 2 << u"\x22\xFC\x6C"_s << u"✂✔●"_s;
    QTest::newRow("Wingdings beyond the BMP") << u"Wingdings"_s << 2 << u"!"_s << u"\U0001F589"_s;
    QTest::newRow("ordinary text is left alone") << u"Arial"_s << 0 << u"abc"_s << u"abc"_s;
}

void TestMetafileFonts::symbolLayouts() {
    QFETCH(QString, face);
    QFETCH(int, charset);
    QFETCH(QString, codes);
    QFETCH(QString, shown);
    QCOMPARE(glyphText(codes, chooseFace(face, quint8(charset)).encoding), shown);
}

// Catches a stand-in whose package is missing, and a hole in the layouts.
void TestMetafileFonts::everySymbolCodeHasAGlyph_data() {
    QTest::addColumn<QString>("face");
    QTest::newRow("Symbol") << u"Symbol"_s;
    QTest::newRow("Wingdings") << u"Wingdings"_s;
}

void TestMetafileFonts::everySymbolCodeHasAGlyph() {
    QFETCH(QString, face);
    const FaceChoice choice = chooseFace(face, 2);
    QList<QRawFont> fonts;
    for (const QString &family : choice.families) {
        QFont font(family);
        fonts.append(QRawFont::fromFont(font));
        QCOMPARE(fonts.last().familyName(), family);
    }
    const QList<uint> text = allCodes(choice.encoding).toUcs4();
    QCOMPARE(text.size(), 0x100 - 0x20);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool drawn = std::any_of(fonts.cbegin(), fonts.cend(), [&](const QRawFont &f) {
            return f.supportsCharacter(text[i]);
        });
        QVERIFY2(drawn, qPrintable(QString::number(0x20 + i, 16)));
    }
}

QTEST_MAIN(TestMetafileFonts)
#include "tst_metafile_fonts.moc"
