#include "viewer/process_services.h"

#include <QCoreApplication>
#include <QFile>

#include <system_error>

namespace viewer {

std::filesystem::path programFolder() {
    std::error_code error;
#if defined(Q_OS_LINUX)
    // Qt's own answer passes through text, which loses names that are not UTF-8.
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return exe.parent_path();
#endif
    const QString dir = QCoreApplication::applicationDirPath();
#if defined(Q_OS_WIN)
    return std::filesystem::path(dir.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(dir).toStdString());
#endif
}

bool setWorkingDirectory(const std::filesystem::path &folder) {
    std::error_code error;
    std::filesystem::current_path(folder, error);
    return !error;
}

} // namespace viewer
