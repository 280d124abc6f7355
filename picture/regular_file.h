#pragma once

#include <QString>

#include <filesystem>

class QFile;

namespace picture {

// Opens `path` for reading into `file`, but only when it is a regular file: a FIFO, a device or
// a folder is refused before anything could block on it. Returns the sentence that tells a
// person why the file can't be read, or an empty string when `file` is open.
QString openRegularFile(const std::filesystem::path &path, QFile &file);
// The same for `name` within `folder` (the working directory when `folder` is empty), which
// works however long the two make the full path.
QString openRegularFile(const std::filesystem::path &folder, const std::filesystem::path &name,
                        QFile &file);

} // namespace picture
