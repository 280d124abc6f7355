#pragma once

#include "picture/picture.h"

#include <QSize>

class QIODevice;

// GIF pictures: the first frame, with its transparency. Qt decodes the pixels; we walk the
// blocks and LZW codes first, because Qt shows a broken or cut-short GIF as if it were whole.
namespace picture::gif {

// True when the device starts with a GIF signature; reads nothing.
bool canRead(QIODevice &device);

LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::gif
