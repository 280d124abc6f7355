#include "picture/metafile/metafile_fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <iterator>
#include <mutex>

namespace picture::metafile {

namespace {

// Symbol and Wingdings faces draw their glyphs at these codes, 0x20 to 0xFF.
constexpr char16_t FirstCode = 0x20;
constexpr int CodeCount = 0x100 - FirstCode;

// The Symbol face's glyphs. Letters are Greek by transliteration (C is chi, Q theta, V final
// sigma); the extenders of large brackets and integrals, which the face once kept in the
// private-use area, are the Unicode pieces made for them. Codes without a glyph show nothing.
// clang-format off
constexpr std::array<char16_t, CodeCount> SymbolGlyphs = {
    // 0x20
    u' ', u'!', u'∀', u'#', u'∃', u'%', u'&', u'∋', u'(', u')', u'∗', u'+', u',', u'−', u'.', u'/',
    // 0x30
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u':', u';', u'<', u'=', u'>', u'?',
    // 0x40
    u'≅', u'Α', u'Β', u'Χ', u'Δ', u'Ε', u'Φ', u'Γ', u'Η', u'Ι', u'ϑ', u'Κ', u'Λ', u'Μ', u'Ν', u'Ο',
    // 0x50
    u'Π', u'Θ', u'Ρ', u'Σ', u'Τ', u'Υ', u'ς', u'Ω', u'Ξ', u'Ψ', u'Ζ', u'[', u'∴', u']', u'⊥', u'_',
    // 0x60
    u'‾', u'α', u'β', u'χ', u'δ', u'ε', u'φ', u'γ', u'η', u'ι', u'ϕ', u'κ', u'λ', u'μ', u'ν', u'ο',
    // 0x70
    u'π', u'θ', u'ρ', u'σ', u'τ', u'υ', u'ϖ', u'ω', u'ξ', u'ψ', u'ζ', u'{', u'|', u'}', u'∼', u' ',
    // 0x80, 0x90: no glyphs
    u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ',
    u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ',
    // 0xA0
    u'€', u'ϒ', u'′', u'≤', u'⁄', u'∞', u'ƒ', u'♣', u'♦', u'♥', u'♠', u'↔', u'←', u'↑', u'→', u'↓',
    // 0xB0
    u'°', u'±', u'″', u'≥', u'×', u'∝', u'∂', u'•', u'÷', u'≠', u'≡', u'≈', u'…', u'⏐', u'⎯', u'↵',
    // 0xC0
    u'ℵ', u'ℑ', u'ℜ', u'℘', u'⊗', u'⊕', u'∅', u'∩', u'∪', u'⊃', u'⊇', u'⊄', u'⊂', u'⊆', u'∈', u'∉',
    // 0xD0
    u'∠', u'∇', u'®', u'©', u'™', u'∏', u'√', u'⋅', u'¬', u'∧', u'∨', u'⇔', u'⇐', u'⇑', u'⇒', u'⇓',
    // 0xE0
    u'◊', u'⟨', u'®', u'©', u'™', u'∑', u'⎛', u'⎜', u'⎝', u'⎡', u'⎢', u'⎣', u'⎧', u'⎨', u'⎩', u'⎪',
    // 0xF0
    u' ', u'⟩', u'∫', u'⌠', u'⎮', u'⌡', u'⎞', u'⎟', u'⎠', u'⎤', u'⎥', u'⎦', u'⎫', u'⎬', u'⎭', u' ',
};
// clang-format on

// The Wingdings face's glyphs, as Unicode 7.0 encoded them. Codes without a glyph show nothing.
// clang-format off
constexpr std::array<char32_t, CodeCount> WingdingsGlyphs = {
    // 0x20: pencil, scissors, glasses, bell, book, candle, telephones, envelopes, mailboxes
    0x0020, 0x1F589, 0x2702, 0x2701, 0x1F453, 0x1F56D, 0x1F56E, 0x1F56F,
    0x1F57F, 0x2706, 0x1F582, 0x1F583, 0x1F4EA, 0x1F4EB, 0x1F4EC, 0x1F4ED,
    // 0x30: folders, documents, hourglass, keyboard, mouse, computer, disks, writing hand
    0x1F5C0, 0x1F5C1, 0x1F5CE, 0x1F5CF, 0x1F5D0, 0x1F5C4, 0x231B, 0x1F5AE,
    0x1F5B0, 0x1F5B2, 0x1F5B3, 0x1F5B4, 0x1F5AB, 0x1F5AC, 0x2707, 0x270D,
    // 0x40: hands, faces, bomb, skull, flags, aeroplane, sun, drop, snowflake, crosses
    0x1F58E, 0x270C, 0x1F44C, 0x1F44D, 0x1F44E, 0x261C, 0x261E, 0x261D,
    0x261F, 0x1F590, 0x263A, 0x1F610, 0x2639, 0x1F4A3, 0x2620, 0x1F3F3,
    // 0x50: religious signs, the zodiac
    0x1F3F1, 0x2708, 0x263C, 0x1F4A7, 0x2744, 0x1F546, 0x271E, 0x1F548,
    0x2720, 0x2721, 0x262A, 0x262F, 0x1F549, 0x2638, 0x2648, 0x2649,
    // 0x60: the zodiac, ampersands, circles, squares, lozenges
    0x264A, 0x264B, 0x264C, 0x264D, 0x264E, 0x264F, 0x2650, 0x2651,
    0x2652, 0x2653, 0x1F670, 0x1F675, 0x25CF, 0x1F53E, 0x25A0, 0x25A1,
    // 0x70: squares, lozenges, keys, rosettes, quotation marks
    0x1F790, 0x2751, 0x2752, 0x2B27, 0x29EB, 0x25C6, 0x2756, 0x2B25,
    0x2327, 0x2BB9, 0x2318, 0x1F3F5, 0x1F3F6, 0x1F676, 0x1F677, 0x0020,
    // 0x80: circled digits
    0x24EA, 0x2460, 0x2461, 0x2462, 0x2463, 0x2464, 0x2465, 0x2466,
    0x2467, 0x2468, 0x2469, 0x24FF, 0x2776, 0x2777, 0x2778, 0x2779,
    // 0x90: circled digits, leaves, dots
    0x277A, 0x277B, 0x277C, 0x277D, 0x277E, 0x277F, 0x1F662, 0x1F660,
    0x1F661, 0x1F663, 0x1F65E, 0x1F65C, 0x1F65D, 0x1F65F, 0x00B7, 0x2022,
    // 0xA0: dots, circles, squares, stars
    0x25AA, 0x26AA, 0x1F786, 0x1F788, 0x25C9, 0x25CE, 0x1F53F, 0x25AA,
    0x25FB, 0x1F7C2, 0x2726, 0x2605, 0x2736, 0x2734, 0x2739, 0x2735,
    // 0xB0: targets, stars, clock faces
    0x2BD0, 0x2316, 0x27E1, 0x2311, 0x2BD1, 0x272A, 0x2730, 0x1F550,
    0x1F551, 0x1F552, 0x1F553, 0x1F554, 0x1F555, 0x1F556, 0x1F557, 0x1F558,
    // 0xC0: clock faces, curved arrows, leaves
    0x1F559, 0x1F55A, 0x1F55B, 0x2BB0, 0x2BB1, 0x2BB2, 0x2BB3, 0x2BB4,
    0x2BB5, 0x2BB6, 0x2BB7, 0x1F66A, 0x1F66B, 0x1F655, 0x1F654, 0x1F657,
    // 0xD0: leaves, erase keys, arrowheads, arrows
    0x1F656, 0x1F650, 0x1F651, 0x1F652, 0x1F653, 0x232B, 0x2326, 0x2B98,
    0x2B9A, 0x2B99, 0x2B9B, 0x2B88, 0x2B8A, 0x2B89, 0x2B8B, 0x1F868,
    // 0xE0: arrows
    0x1F86A, 0x1F869, 0x1F86B, 0x1F86C, 0x1F86D, 0x1F86F, 0x1F86E, 0x1F878,
    0x1F87A, 0x1F879, 0x1F87B, 0x1F87C, 0x1F87D, 0x1F87F, 0x1F87E, 0x21E6,
    // 0xF0: white arrows, ballot marks
    0x21E8, 0x21E7, 0x21E9, 0x2B04, 0x21F3, 0x2B00, 0x2B01, 0x2B03,
    0x2B02, 0x1F8AC, 0x1F8AD, 0x1F5F6, 0x2714, 0x1F5F7, 0x1F5F9, 0x0020,
};
// clang-format on

// The stand-ins. Each is metric-compatible with the faces that name it: same advances, so text
// keeps its width. A later family supplies what an earlier one lacks (Caladea has no Cyrillic).
const QStringList SansFamilies = {QStringLiteral("Liberation Sans")};
const QStringList SerifFamilies = {QStringLiteral("Liberation Serif")};
const QStringList MonoFamilies = {QStringLiteral("Liberation Mono")};
const QStringList CalibriFamilies = {QStringLiteral("Carlito")};
const QStringList CambriaFamilies = {QStringLiteral("Caladea"), QStringLiteral("Liberation Serif")};
const QStringList TahomaFamilies = {QStringLiteral("Tahoma")};
// DejaVu Sans has all of the Symbol face's glyphs but two bracket extenders; Symbola has those.
const QStringList SymbolFamilies = {QStringLiteral("DejaVu Sans"), QStringLiteral("Symbola")};
const QStringList WingdingsFamilies = {QStringLiteral("Symbola"), QStringLiteral("DejaVu Sans")};

struct Substitute {
    const char *face;
    const QStringList &families;
    FaceEncoding encoding = FaceEncoding::Text;
};

// The face table: Windows faces (and the names Windows 3 used for them) and what stands in.
const Substitute Table[] = {
    {"Arial", SansFamilies},
    {"Helvetica", SansFamilies},
    {"Helv", SansFamilies},
    {"MS Sans Serif", SansFamilies},
    {"Microsoft Sans Serif", SansFamilies},
    {"Times New Roman", SerifFamilies},
    {"Times", SerifFamilies},
    {"Tms Rmn", SerifFamilies},
    {"MS Serif", SerifFamilies},
    {"Courier New", MonoFamilies},
    {"Courier", MonoFamilies},
    {"Calibri", CalibriFamilies},
    {"Cambria", CambriaFamilies},
    {"Tahoma", TahomaFamilies},
    {"Symbol", SymbolFamilies, FaceEncoding::Symbol},
    {"Wingdings", WingdingsFamilies, FaceEncoding::Wingdings},
};

// Windows names the Cyrillic members of some families with a suffix ("Arial CYR").
QString baseFace(const QString &face) {
    QString name = face.trimmed();
    if (name.endsWith(QLatin1String(" CYR"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

} // namespace

FaceChoice chooseFace(const QString &face, quint8 charset) {
    const QString name = face.trimmed().isEmpty() ? QStringLiteral("Arial") : baseFace(face);
    const auto entry = std::find_if(std::begin(Table), std::end(Table), [&](const Substitute &s) {
        return name.compare(QLatin1String(s.face), Qt::CaseInsensitive) == 0;
    });
    const bool known = entry != std::end(Table);
    if (known && entry->encoding != FaceEncoding::Text)
        return {entry->families, entry->encoding};
    // Symbol-set text in any other face: Windows' font mapper puts the Symbol face in, the only
    // one that has that set.
    if (charset == 2)
        return {SymbolFamilies, FaceEncoding::Symbol};
    if (!known)
        return {{name}, FaceEncoding::Text};
    // Where a stand-in is missing, the face itself (or what the system puts in its place) is the
    // next best thing.
    FaceChoice choice{entry->families, FaceEncoding::Text};
    if (!choice.families.contains(name, Qt::CaseInsensitive))
        choice.families.append(name);
    return choice;
}

QString glyphText(const QString &text, FaceEncoding encoding) {
    if (encoding == FaceEncoding::Text)
        return text;
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        char16_t code = c.unicode();
        if (code >= 0xF000 + FirstCode && code <= 0xF0FF)
            code -= 0xF000;
        if (code < FirstCode || code > 0xFF) {
            out.append(c);
            continue;
        }
        const int index = code - FirstCode;
        if (encoding == FaceEncoding::Symbol) {
            out.append(QChar(SymbolGlyphs[index]));
        } else {
            const char32_t glyph = WingdingsGlyphs[index];
            out.append(QString::fromUcs4(&glyph, 1));
        }
    }
    return out;
}

void loadFaceFiles() {
#if !defined(Q_OS_WIN)
    if (!QGuiApplication::instance())
        return;
    static std::once_flag once;
    std::call_once(once, [] {
        // Registering the files directly avoids a scan of every installed family. The copy in
        // fonts-wine is metric-compatible with Windows' Tahoma and has its Cyrillic letters.
        for (const char *file :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (QFile::exists(QString::fromLatin1(file)))
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    });
#endif
}

} // namespace picture::metafile
