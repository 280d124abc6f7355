#pragma once

#include "picture/picture.h"

#include <QSize>

class QIODevice;

// Icon and cursor files: a directory of pictures of several sizes and depths. We show the one
// closest to the classic large-icon size of 32 x 32, at its own size.
namespace picture::icon {

// True for a directory header of icons (type 1) or cursors (type 2) with a sane entry count
// that fits the device; reads nothing.
bool canRead(QIODevice &device);

LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::icon
