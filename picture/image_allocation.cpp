#include "picture/image_allocation.h"

#include "picture/picture.h"

namespace picture {

std::optional<QImage> allocateImage(QSize size, QImage::Format format) {
    if (size.width() <= 0 || size.height() <= 0)
        return std::nullopt;
    if (qint64(size.width()) * size.height() > MaxPixels)
        return std::nullopt;
    QImage image(size, format);
    if (image.isNull())
        return std::nullopt;
    return image;
}

} // namespace picture
