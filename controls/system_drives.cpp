// The one place that asks the operating system which drives it has.
#include "controls/drive_list_box.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#else
#include "controls/file_names.h"
#include "controls/mount_table.h"

#include <QFile>

#include <algorithm>
#include <map>
#include <system_error>
#endif

namespace controls {

#ifdef Q_OS_WIN

std::vector<Drive> systemDrives() {
    std::vector<Drive> drives;
    for (const QFileInfo &info : QDir::drives()) {
        const QString root = QDir::toNativeSeparators(info.absoluteFilePath());
        QString label;
        // A drive with no medium (an empty card reader) is still listed, without a label;
        // opening it is what fails.
        if (const QStorageInfo storage(root); storage.isValid() && storage.isReady())
            label = storage.name();
        drives.push_back({std::filesystem::path(root.toStdWString()), label});
    }
    return drives;
}

#else

namespace {

// udev names the links in /dev/disk/by-label with unsafe bytes written as \xNN.
QString decodeLabel(const std::string &name) {
    QByteArray bytes;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bool ok = false;
            const int byte = QByteArray(name.data() + i + 2, 2).toInt(&ok, 16);
            if (ok) {
                bytes.append(char(byte));
                i += 3;
                continue;
            }
        }
        bytes.append(name[i]);
    }
    return QString::fromUtf8(bytes);
}

// Device node -> volume label.
std::map<std::filesystem::path, QString> volumeLabels() {
    std::map<std::filesystem::path, QString> labels;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/dev/disk/by-label", error), end;
         !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const std::filesystem::path device = std::filesystem::canonical(it->path(), ignored);
        if (!ignored)
            labels[device] = decodeLabel(it->path().filename().native());
    }
    return labels;
}

} // namespace

std::vector<Drive> systemDrives() {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    std::vector<Drive> drives;
    if (!table.open(QIODevice::ReadOnly)) {
        drives.push_back({"/", {}});
        return drives;
    }
    // Files in /proc report size 0, so read until the end rather than by size.
    const std::vector<Mount> mounts = parseMountInfo(table.readAll());
    const std::map<std::filesystem::path, QString> labels = volumeLabels();
    for (const Mount &mount : mounts) {
        if (!isBrowsable(mount))
            continue;
        QString label;
        if (isNetworkMount(mount)) {
            label = displayName(std::filesystem::path(mount.source));
        } else if (mount.source.rfind("/dev/", 0) == 0) {
            std::error_code ignored;
            const auto found = labels.find(std::filesystem::canonical(mount.source, ignored));
            if (!ignored && found != labels.end())
                label = found->second;
        }
        drives.push_back({std::filesystem::path(mount.point), label});
    }
    if (std::none_of(drives.begin(), drives.end(), [](const Drive &d) { return d.root == "/"; }))
        drives.push_back({"/", {}});
    std::sort(drives.begin(), drives.end(),
              [](const Drive &a, const Drive &b) { return a.root.native() < b.root.native(); });
    return drives;
}

#endif

} // namespace controls
