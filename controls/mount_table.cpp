#include "controls/mount_table.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string_view>

namespace controls {

namespace {

// The mount table escapes space, tab, newline and backslash in folder names as \ooo.
std::string unescapeOctal(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' &&
            field[i + 3] <= '7') {
            out.push_back(char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                               (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "/run/media" is "/run" or below it; "/runner" is not.
bool isAtOrUnder(std::string_view folder, std::string_view top) {
    return startsWith(folder, top) && (folder.size() == top.size() || folder[top.size()] == '/');
}

bool isUnderAny(std::string_view folder, std::initializer_list<std::string_view> tops) {
    return std::any_of(tops.begin(), tops.end(),
                       [&](std::string_view top) { return isAtOrUnder(folder, top); });
}

} // namespace

std::vector<Mount> parseMountInfo(const QByteArray &text) {
    std::vector<Mount> mounts;
    const std::string_view table(text.constData(), std::size_t(text.size()));
    // Views into the table: read at every start-up, so no line or field is copied.
    std::vector<std::string_view> fields;
    for (std::size_t start = 0; start <= table.size();) {
        const std::size_t end = std::min(table.find('\n', start), table.size());
        const std::string_view line = table.substr(start, end - start);
        start = end + 1;
        // "36 35 98:0 /dir /mnt/point rw,noatime master:1 - ext4 /dev/sdb1 rw": a variable
        // number of optional fields ends at the lone "-".
        fields.clear();
        for (std::size_t at = 0;;) {
            const std::size_t space = std::min(line.find(' ', at), line.size());
            fields.push_back(line.substr(at, space - at));
            if (space == line.size())
                break;
            at = space + 1;
        }
        const auto dash = std::find(fields.begin() + std::min<std::size_t>(6, fields.size()),
                                    fields.end(), std::string_view("-"));
        if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 3)
            continue;
        Mount mount{unescapeOctal(fields[4]), unescapeOctal(dash[1]), unescapeOctal(dash[2])};
        if (mount.point.empty() || mount.point.front() != '/')
            continue;
        const auto same = std::find_if(mounts.begin(), mounts.end(), [&](const Mount &earlier) {
            return earlier.point == mount.point;
        });
        if (same != mounts.end())
            mounts.erase(same);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

bool isNetworkMount(const Mount &mount) {
    static constexpr std::array<std::string_view, 15> networkTypes{
        "nfs",        "nfs4",        "cifs",      "smb3",      "smbfs",
        "ncpfs",      "afs",         "ceph",      "glusterfs", "davfs",
        "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "9p",        "fuse.glusterfs"};
    return std::find(networkTypes.begin(), networkTypes.end(), mount.type) != networkTypes.end();
}

// The rules for what the drive list shows on Linux:
//  - "/" always, whatever it is (in a container it may be an overlay).
//  - Nothing mounted in the system's own folders: /proc, /sys, /dev, /run (except
//    /run/media, where removable media appear), /boot, /etc, /usr, /var, /opt, /snap, /tmp.
//    Those hold pseudo file systems, boot partitions, package images (snap loops), container
//    layers and the bind mounts containers make of single files.
//  - Elsewhere (home, /media, /mnt, /srv, any folder a person made): file systems that store
//    files somewhere real: on a device (the source is a /dev node; snap and other squashfs
//    images excepted), on another machine (nfs, cifs, sshfs and the like), in a pool (zfs),
//    or shared in from a host (virtiofs, VirtualBox and WSL shares).
//  - Memory file systems (tmpfs, ramfs) only as home or inside it, as on a live system.
//  - Never pseudo file systems (proc, sysfs, cgroup, devpts, autofs triggers, overlay, ...):
//    none of them has a /dev source and none is in the lists above.
bool isBrowsable(const Mount &mount) {
    const std::string &folder = mount.point;
    if (folder == "/")
        return true;
    if (isUnderAny(folder, {"/proc", "/sys", "/dev", "/boot", "/etc", "/usr", "/var", "/opt",
                            "/snap", "/tmp"}))
        return false;
    if (isAtOrUnder(folder, "/run") && !isAtOrUnder(folder, "/run/media"))
        return false;
    if (mount.type == "tmpfs" || mount.type == "ramfs")
        return isAtOrUnder(folder, "/home");
    if (mount.type == "squashfs" || mount.type == "autofs")
        return false;
    if (isNetworkMount(mount))
        return true;
    static constexpr std::array<std::string_view, 6> sourcelessTypes{
        "zfs", "virtiofs", "vboxsf", "drvfs", "fuse.vmhgfs-fuse", "fuse.mergerfs"};
    if (std::find(sourcelessTypes.begin(), sourcelessTypes.end(), mount.type) !=
        sourcelessTypes.end())
        return true;
    return startsWith(mount.source, "/dev/");
}

} // namespace controls
