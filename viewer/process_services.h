#pragma once

#include <filesystem>

// The two process services the viewer needs, kept apart because each platform answers them in
// its own way.
namespace viewer {

// The folder that holds the running program, exactly as the file system names it.
std::filesystem::path programFolder();

// Makes `folder` the working directory; false when it can't be.
[[nodiscard]] bool setWorkingDirectory(const std::filesystem::path &folder);

} // namespace viewer
