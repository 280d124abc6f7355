#include "picture/regular_file.h"

#include "picture/picture_errors.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <system_error>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace picture {

#ifdef Q_OS_WIN

// Windows opens neither FIFOs nor folders through QFile, so asking first is enough; the wide
// path keeps names that are not in the ANSI code page.
QString openRegularFile(const std::filesystem::path &folder, const std::filesystem::path &name,
                        QFile &file) {
    const std::filesystem::path path = folder.empty() ? name : folder / name;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return errors::notFound();
    if (error)
        return errors::cannotOpen();
    if (status.type() != std::filesystem::file_type::regular)
        return errors::notAFile();
    file.setFileName(QString::fromStdWString(path.wstring()));
    if (!file.open(QIODevice::ReadOnly))
        return errors::cannotOpen();
    return {};
}

#else

namespace {

QString openFailure(int error) {
    return error == ENOENT || error == ENOTDIR ? errors::notFound() : errors::cannotOpen();
}

} // namespace

// The folder is opened first and the name looked up within it, so a picture whose full path is
// longer than the system allows a path to be still opens. O_NONBLOCK makes opening a FIFO
// return at once instead of waiting for a writer; fstat on the descriptor we hold then tells
// what it really is, with no window for the name to change.
QString openRegularFile(const std::filesystem::path &folder, const std::filesystem::path &name,
                        QFile &file) {
    int dir = AT_FDCWD;
    if (!folder.empty()) {
#ifdef O_PATH
        constexpr int folderFlags = O_PATH;
#else
        constexpr int folderFlags = O_RDONLY;
#endif
        dir = ::open(folder.c_str(), folderFlags | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            return openFailure(errno);
    }
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int error = errno;
    if (dir != AT_FDCWD)
        ::close(dir);
    if (fd < 0)
        return openFailure(error);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return errors::cannotOpen();
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return errors::notAFile();
    }
    // Reads from a regular file never block, but a descriptor left non-blocking could surprise
    // whoever reads it later, so it goes back to ordinary blocking reads.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(fd);
        return errors::cannotOpen();
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return errors::cannotOpen();
    }
    return {};
}

#endif

QString openRegularFile(const std::filesystem::path &path, QFile &file) {
    return openRegularFile({}, path, file);
}

} // namespace picture
