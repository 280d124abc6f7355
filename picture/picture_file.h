#pragma once

#include "picture/picture.h"

#include <QSize>

#include <filesystem>

class QIODevice;

namespace picture {

// Loads a picture file, recognising its format by content, not by name. Relative names resolve
// against the current working directory. Never blocks on anything but a regular file.
// A valid `visible` size asks for the picture's top-left part of that size only (all that a
// window can show of it): `Picture::size` is still the natural size, `Picture::image` may be
// smaller. An empty `visible` asks for the whole picture.
LoadResult loadPictureFile(const std::filesystem::path &file, QSize visible = {});
// The same for the file `name` within `folder`, however long the two make the full path.
LoadResult loadPictureFile(const std::filesystem::path &folder, const std::filesystem::path &name,
                           QSize visible = {});

// Decodes a picture from an open, readable device (a file or a buffer).
LoadResult readPicture(QIODevice &device, QSize visible = {});

} // namespace picture
