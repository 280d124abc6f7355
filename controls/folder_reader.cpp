#include "controls/folder_reader.h"

#include <QtGlobal>

#include <system_error>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace controls {

#ifdef Q_OS_WIN

struct FolderReader::State {
    std::filesystem::directory_iterator it;
    std::filesystem::path name;
    std::error_code error;
    bool started = false;
};

FolderReader::FolderReader(const std::filesystem::path &folder)
    : m_state(std::make_unique<State>()) {
    m_state->it = std::filesystem::directory_iterator(folder, m_state->error);
}

FolderReader::~FolderReader() = default;

bool FolderReader::next() {
    State &s = *m_state;
    if (s.error)
        return false;
    if (s.started)
        s.it.increment(s.error);
    s.started = true;
    if (s.error || s.it == std::filesystem::directory_iterator())
        return false;
    s.name = s.it->path().filename();
    return true;
}

bool FolderReader::failed() const {
    return bool(m_state->error);
}

FolderReader::NameView FolderReader::name() const {
    return m_state->name.native();
}

bool FolderReader::isRegularFile() const {
    std::error_code ignored;
    return m_state->it->is_regular_file(ignored);
}

bool FolderReader::isFolder() const {
    std::error_code ignored;
    return m_state->it->is_directory(ignored);
}

#else

struct FolderReader::State {
    DIR *dir = nullptr;
    dirent *entry = nullptr;
    bool failed = false;

    // The type of what the entry names, links followed; DT_UNKNOWN when it can't be had.
    unsigned char targetType() const {
        if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            return entry->d_type;
        struct stat info;
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0)
            return DT_UNKNOWN;
        if (S_ISREG(info.st_mode))
            return DT_REG;
        if (S_ISDIR(info.st_mode))
            return DT_DIR;
        return DT_UNKNOWN;
    }
};

FolderReader::FolderReader(const std::filesystem::path &folder)
    : m_state(std::make_unique<State>()) {
    m_state->dir = ::opendir(folder.c_str());
    m_state->failed = m_state->dir == nullptr;
}

FolderReader::~FolderReader() {
    if (m_state->dir)
        ::closedir(m_state->dir);
}

bool FolderReader::next() {
    State &s = *m_state;
    if (s.failed)
        return false;
    for (;;) {
        errno = 0;
        s.entry = ::readdir(s.dir);
        if (!s.entry) {
            s.failed = errno != 0;
            return false;
        }
        const char *name = s.entry->d_name;
        if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))))
            return true;
    }
}

bool FolderReader::failed() const {
    return m_state->failed;
}

FolderReader::NameView FolderReader::name() const {
    return m_state->entry->d_name;
}

bool FolderReader::isRegularFile() const {
    return m_state->targetType() == DT_REG;
}

bool FolderReader::isFolder() const {
    return m_state->targetType() == DT_DIR;
}

#endif

} // namespace controls
