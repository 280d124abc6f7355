#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace controls {

// Reads the entries of one folder, name by name, asking the file system for an entry's type
// only when asked, so a folder of a hundred thousand files lists at about the speed of the
// system's own directory calls. Names stay in the file system's own form throughout.
class FolderReader {
public:
    using NameView = std::basic_string_view<std::filesystem::path::value_type>;

    explicit FolderReader(const std::filesystem::path &folder);
    ~FolderReader();
    FolderReader(const FolderReader &) = delete;
    FolderReader &operator=(const FolderReader &) = delete;

    // Moves to the next entry ("." and ".." skipped); false at the end or on an error.
    bool next();
    // The folder could not be opened, or reading it failed part way.
    bool failed() const;

    // The current entry's bare name, valid until next().
    NameView name() const;
    // Following links: a dangling link is neither.
    bool isRegularFile() const;
    bool isFolder() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace controls
