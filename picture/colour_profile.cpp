#include "picture/colour_profile.h"

#include <QColorSpace>
#include <QImage>

namespace picture {

void convertToSrgb(QImage &image, QByteArrayView profile) {
    if (profile.isEmpty() || image.isNull())
        return;
    const QImage::Format format = image.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32)
        return;
    // Bytes 16 to 19 of the header name the colours the profile describes. Qt takes some
    // greyscale profiles too; on a colour picture those would be wrong.
    if (profile.size() < 20 || profile.sliced(16, 4) != "RGB ")
        return;
    const QColorSpace space = QColorSpace::fromIccProfile(profile.toByteArray());
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return;
    image.applyColorTransform(space.transformationToColorSpace(QColorSpace::SRgb));
}

} // namespace picture
