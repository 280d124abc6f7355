#pragma once

#include <QImage>

#include <optional>

namespace picture {

// The one place a decoder gets its pixel buffer: nothing when the size is empty, larger than
// MaxPixels, or the memory can't be had.
std::optional<QImage> allocateImage(QSize size, QImage::Format format);

} // namespace picture
