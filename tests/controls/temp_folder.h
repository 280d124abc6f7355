#pragma once

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

// A temporary folder for a test's files, removed through the file system's own names, so
// files whose names are not UTF-8 go too.
class TempFolder {
public:
    TempFolder()
        : m_root(QFile::encodeName(m_dir.path()).toStdString()) {}
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    const std::filesystem::path &root() const { return m_root; }

private:
    QTemporaryDir m_dir;
    std::filesystem::path m_root;
};
