#include "viewer/start_path.h"

#include "controls/dir_list_box.h"
#include "controls/drive_list_box.h"
#include "controls/file_list_box.h"
#include "controls/file_names.h"
#include "picture/picture_errors.h"
#include "viewer/main_window.h"

#include "ui_main_window.h"

#include <system_error>

namespace viewer {

std::optional<std::filesystem::path> localFileUrl(const QByteArray &url) {
    static const QByteArray scheme("file://");
    if (url.size() < scheme.size() || url.left(scheme.size()).toLower() != scheme)
        return std::nullopt;
    const QByteArray rest = url.mid(scheme.size());
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0)
        return std::nullopt;
    const QByteArray host = rest.left(slash);
    if (!host.isEmpty() && host.toLower() != "localhost")
        return std::nullopt;
    // Names on Linux are bytes: undo the escapes into bytes, not text, so a name that is not
    // UTF-8 survives. A query or fragment can't be part of a local path.
    QByteArray path = rest.mid(slash);
    if (const qsizetype end = path.indexOf('?'); end >= 0)
        path.truncate(end);
    if (const qsizetype end = path.indexOf('#'); end >= 0)
        path.truncate(end);
    const QByteArray bytes = QByteArray::fromPercentEncoding(path);
#if defined(Q_OS_WIN)
    // "file:///C:/a.bmp"
    QString text = QString::fromUtf8(bytes);
    if (text.size() >= 3 && text[0] == u'/' && text[2] == u':')
        text.remove(0, 1);
    return std::filesystem::path(text.toStdWString());
#else
    return std::filesystem::path(bytes.toStdString());
#endif
}

CommandLine parseCommandLine(const QList<QByteArray> &arguments,
                             const std::filesystem::path &base) {
    CommandLine line;
    bool options = true;
    for (const QByteArray &argument : arguments) {
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            line.help = true;
        } else if (options && argument == "--version") {
            line.version = true;
        } else if (options && argument.startsWith('-') && argument.size() > 1) {
            line.error =
                QStringLiteral("непозната настройка „%1“").arg(QString::fromLocal8Bit(argument));
        } else if (line.path) {
            line.error = QStringLiteral("може да се отвори само един файл или папка");
        } else if (!argument.isEmpty()) {
            std::filesystem::path path;
            if (const auto url = localFileUrl(argument))
                path = *url;
            else
#if defined(Q_OS_WIN)
                path = std::filesystem::path(QString::fromLocal8Bit(argument).toStdWString());
#else
                path = std::filesystem::path(argument.toStdString());
#endif
            line.path = (base / path).lexically_normal();
        }
    }
    return line;
}

QString usage() {
    return QStringLiteral("Употреба: glimra [Qt настройки] [ФАЙЛ | ПАПКА]\n"
                          "Показва картината ФАЙЛ в нейната папка или отваря ПАПКА.\n"
                          "\n"
                          "  -h, --help    тази помощ\n"
                          "  --version     версията на програмата\n");
}

} // namespace viewer

void MainWindow::openStartPath(const std::filesystem::path &path) {
    namespace fs = std::filesystem;
    // The lists move together, drive first, as at start-up.
    auto open = [this](const fs::path &folder) {
        ui->boxDrive->setDrive(folder);
        return ui->boxDir->setPath(folder);
    };
    const fs::path started = ui->boxDir->path();
    const fs::path target = path.has_filename() ? path : path.parent_path();
    const QString name = controls::displayName(target);

    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (fs::is_directory(status)) {
        if (!open(target)) {
            open(started);
            reportFailure(QStringLiteral("Папката „%1“ не може да бъде прочетена.").arg(name),
                          QString());
        }
        return;
    }
    const QString cannotShow = QStringLiteral("Файлът „%1“ не може да бъде показан.").arg(name);
    if (!fs::exists(status)) {
        reportFailure(cannotShow, picture::errors::notFound());
        return;
    }
    if (!open(target.parent_path())) {
        open(started);
        reportFailure(cannotShow, picture::errors::cannotOpen());
        return;
    }
    // Chosen in the list and shown exactly as a click on it does.
    if (!ui->boxFile->choose(target.filename())) {
        open(started);
        reportFailure(
            cannotShow,
            QStringLiteral("Файлът не е сред картините, които списъкът с файлове предлага."));
        return;
    }
    boxFile_Click();
}
