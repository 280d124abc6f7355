#pragma once

#include "picture/picture_file.h"

#include <QSize>

class QIODevice;

// JPEG pictures, decoded by Qt as they are stored (no EXIF rotation). The marker structure is
// walked first, because Qt's decoder fills a cut-short file with grey and reports success.
namespace picture::jpeg {

// True when the device starts with FF D8 FF; reads nothing.
bool canRead(QIODevice &device);

LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::jpeg
