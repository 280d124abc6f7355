#pragma once

#include "picture/picture.h"

#include <QSize>

class QIODevice;

// GIF pictures: the first frame, with its transparency, on the logical screen. The picture is
// the screen: a frame is cut to it, and what the frame leaves uncovered is see-through.
namespace picture::gif {

// True when the device starts with a GIF signature; reads nothing.
bool canRead(QIODevice &device);

// With a non-empty `visible`, decodes only that top-left part of the screen and stops reading
// once its last row has come (for an interlaced frame, its last pass); `Picture::size` is
// always the screen's size. A frame cut short or broken below that part shows until the part
// grows.
LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::gif
