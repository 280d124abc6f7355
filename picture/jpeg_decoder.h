#pragma once

#include "picture/picture_file.h"

#include <QSize>

class QIODevice;

// JPEG files (baseline, progressive, arithmetic-coded; greyscale, YCbCr, RGB, CMYK and YCCK),
// decoded by libjpeg-turbo. Only the picture's top-left part that a window can show is decoded;
// `Picture::size` stays the natural size. EXIF orientation is not applied: the picture shows as
// it is stored.
namespace picture::jpeg {

// True when the device starts with a JPEG start-of-image marker. Stray bytes may follow it
// before the next marker; libjpeg skips them with a warning. Only peeks.
bool canRead(QIODevice &device);

// Decodes the top-left `visible` part of the picture (all of it when `visible` is empty).
// A file that ends before the rows decoded are whole is refused as incomplete, except a
// progressive one that ends between scans.
LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::jpeg
