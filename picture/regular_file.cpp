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
QString openRegularFile(const std::filesystem::path &path, QFile &file) {
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

// O_NONBLOCK makes opening a FIFO return at once instead of waiting for a writer; fstat on the
// descriptor we hold then tells what it really is, with no window for the name to change.
QString openRegularFile(const std::filesystem::path &path, QFile &file) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return errors::notFound();
        return errors::cannotOpen();
    }
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

} // namespace picture
