#pragma once

#include <QString>

#include <filesystem>

// File and folder names are kept as the file system holds them (bytes on Linux, UTF-16 on
// Windows); these turn them into text for a person, never back.
namespace controls {

// The text of a path or name; bytes that are not UTF-8 show as replacement characters.
QString displayName(const std::filesystem::path &path);

} // namespace controls
