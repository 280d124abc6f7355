#pragma once

#include <QString>
#include <QStringList>

// The faces metafile text is drawn in. Metafiles name Windows faces; each is drawn in a free
// face from Debian's packages with the same metrics, so that text keeps its width and its line
// breaks, and so that every machine with those packages shows the same pixels.
namespace picture::metafile {

// How the codes of a run map onto the glyphs its face shows.
enum class FaceEncoding {
    Text,      // ordinary text: the codes are the characters
    Symbol,    // the symbol face's layout: Greek letters and mathematical signs
    Wingdings, // the dingbat face's layout: pictographs, arrows, circled digits
};

struct FaceChoice {
    QStringList families; // tried in order, glyph by glyph
    FaceEncoding encoding = FaceEncoding::Text;
};

// The families to draw a face in, for text in the given character set (charset 2 is the symbol
// set). A face not in the table is left to the system's font configuration.
FaceChoice chooseFace(const QString &face, quint8 charset);

// The characters the glyphs of `text` show in a face of the given encoding. Symbol faces may
// carry their codes moved into the private-use area (U+F020-U+F0FF), as Unicode text records
// store them; both forms give the same characters.
QString glyphText(const QString &text, FaceEncoding encoding);

// Registers the faces the program loads from files of its own choosing rather than through the
// font configuration (Tahoma from Debian's fonts-wine). Cheap after the first call.
void loadFaceFiles();

} // namespace picture::metafile
