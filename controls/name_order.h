#pragma once

#include <QString>

#include <filesystem>
#include <vector>

namespace controls {

// A name in one of the lists: as the file system holds it, and as a person reads it.
struct ListedName {
    std::filesystem::path name;
    QString text;
};

// Sorts as a file manager does: case-insensitively, numbers by value ("a2" before "a10").
void sortByName(std::vector<ListedName> &names);

} // namespace controls
