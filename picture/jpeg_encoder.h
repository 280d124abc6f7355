#pragma once

#include <QByteArray>

class QImage;

// Writes JPEG files with the layout asked for. The viewer only reads JPEG; the tests and the
// benchmark make their pictures with this, so every layout the decoder meets can be made on
// the spot.
namespace picture::jpeg {

enum class ColourModel {
    YCbCr,     // colour pictures as cameras store them
    Greyscale, // one component
    Cmyk,      // four components, stored inverted as Adobe's applications do
    Ycck,      // the same, colour-transformed
};

struct EncodeOptions {
    int quality = 90;
    ColourModel model = ColourModel::YCbCr;
    // Colour resolution, horizontal and vertical, as a divisor of the full one: 2 x 2 is 4:2:0,
    // 1 x 1 is 4:4:4.
    int chromaDivisorX = 2;
    int chromaDivisorY = 2;
    bool progressive = false;
    // MCU rows (or blocks) between restart markers; 0 for none.
    int restartRows = 0;
};

// The picture encoded, or empty when it can't be. For CMYK and YCCK the red, green and blue of
// each pixel become the stored (inverted) cyan, magenta and yellow, and their mean the stored
// black, so a decoder that converts correctly gives back a darkened copy of the picture.
QByteArray encode(const QImage &image, const EncodeOptions &options = {});

} // namespace picture::jpeg
