#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>

class QImage;

// Encoders for the window pictures in the exact forms the program ships them: Qt writes none of
// these layouts (a GIF with one transparent index, an icon of palette and true-colour entries
// with AND masks, a 32-bit BI_RGB bitmap with the fourth byte zero).
namespace writers {

// A palette picture: one index per pixel, rows top to bottom, no padding.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    QList<QRgb> palette; // always 256 entries
    QByteArray indices;
    int transparentIndex = -1; // 0 to 255; -1: every pixel opaque
};

// At most `maxColours` colours that represent `pixels` (opaque colours, alpha ignored) well:
// median cut on the weighted histogram, then a few rounds of nearest-mean refinement. Returns the
// distinct colours themselves when there are few enough. Deterministic.
QList<QRgb> quantise(const QList<QRgb> &pixels, int maxColours);

// The entry of `palette` nearest to `colour` (first one on a tie).
int nearestIndex(const QList<QRgb> &palette, QRgb colour);

// For a GIF shown on a panel of `panel` colour: pixels with any coverage are composited on the
// panel, so antialiased edges blend into it, and only fully transparent pixels take
// `transparentIndex`. The other 255 entries hold the quantised colours. With a negative index
// every pixel is shown, composited on the panel, in up to 256 colours.
IndexedPicture toPanelIndexed(const QImage &image, QRgb panel, int transparentIndex);

// GIF89a: one frame, a full 256-entry global colour table, a Graphic Control Extension carrying
// the transparent index, LZW-compressed pixels.
QByteArray gifFile(const IndexedPicture &picture);

// The LZW stream of a GIF image (without the minimum-code-size byte and sub-block framing).
QByteArray gifLzw(const QByteArray &indices, int minCodeSize);

// One icon image: its palette form (index 0 black, for the pixels the AND mask makes
// transparent) and its true-colour form come from the same drawing.
struct IconImage {
    QByteArray bitmap; // BITMAPINFOHEADER, palette if any, XOR bits, AND mask
    int size = 0;
    int bitCount = 0;
};
IconImage iconPalette(const QImage &image);
IconImage iconTrueColour(const QImage &image);
QByteArray icoFile(const QList<IconImage> &images);

// An uncompressed bottom-up 32-bit BI_RGB bitmap file; the alpha byte is written as zero.
QByteArray bmpFile(const QImage &image);

} // namespace writers
