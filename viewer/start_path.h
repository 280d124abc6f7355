#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <optional>

// The program's own command line: at most one picture or folder to open, as a file manager's
// "Open with" passes it. Qt's options (-platform ...) are taken out before this sees it.
namespace viewer {

struct CommandLine {
    std::optional<std::filesystem::path> path; // absolute
    bool help = false;
    bool version = false;
    QString error; // set when the line can't be understood
};

// `arguments` without the program's name, as the bytes the system passed; a relative path is
// taken from `base`. A local file:// URL is accepted for a path.
CommandLine parseCommandLine(const QList<QByteArray> &arguments, const std::filesystem::path &base);

// The path a local file:// URL names, its escapes undone byte for byte; nothing for anything
// else (another host, another scheme, no URL).
std::optional<std::filesystem::path> localFileUrl(const QByteArray &url);

// What --help prints.
QString usage();

} // namespace viewer
