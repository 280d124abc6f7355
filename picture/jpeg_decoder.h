#pragma once

#include "picture/picture.h"

#include <QSize>

class QIODevice;

// JPEG files (baseline, progressive, arithmetic-coded; greyscale, YCbCr, RGB, CMYK and YCCK),
// decoded by libjpeg-turbo. The picture is turned as the camera's Exif orientation says, and
// its natural size is the size as shown. Colour pictures with an ICC profile are converted to
// sRGB. Only the part of the stored picture that becomes the shown top-left part a window can
// show is decoded; `Picture::size` stays the natural size.
namespace picture::jpeg {

// True when the device starts with a JPEG start-of-image marker. Stray bytes may follow it
// before the next marker; libjpeg skips them with a warning. Only peeks.
bool canRead(QIODevice &device);

// Decodes the top-left `visible` part of the picture as shown (all of it when `visible` is
// empty).
// A file that ends before the rows decoded are whole is refused as incomplete, except a
// progressive one that ends between scans.
LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::jpeg
