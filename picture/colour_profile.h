#pragma once

#include <QByteArrayView>

class QImage;

namespace picture {

// Converts `image`, whose colours are in the ICC profile `profile`, to sRGB in place. A profile
// Qt can't use (a LUT-based, CMYK or greyscale one, or a malformed one), an empty one or one
// that is sRGB already leaves the pixels as they are: they are then taken as sRGB. Only 32-bit
// RGB pictures are converted.
void convertToSrgb(QImage &image, QByteArrayView profile);

} // namespace picture
