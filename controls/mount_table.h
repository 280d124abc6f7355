#pragma once

#include <QByteArray>

#include <string>
#include <vector>

namespace controls {

// One mounted file system, as the kernel's mount table lists it.
struct Mount {
    std::string point;  // the folder it is mounted on, as the kernel's bytes
    std::string type;   // "ext4", "nfs4", "fuse.sshfs"
    std::string source; // "/dev/sdb1", "nas:/photos", "//nas/photos"
};

// The mounts in the text of /proc/self/mountinfo, one per mount folder: where a folder has
// been mounted over, the later mount is the one a person sees there.
std::vector<Mount> parseMountInfo(const QByteArray &text);

// Whether a person browses this file system, as opposed to one the system keeps for itself.
bool isBrowsable(const Mount &mount);

// Whether the file system lives on another machine.
bool isNetworkMount(const Mount &mount);

} // namespace controls
