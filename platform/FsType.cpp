#include "platform/FsType.h"

#include <cstdio>
#include <linux/magic.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include "platform/ReadFile.h"

namespace Platform {
namespace {

constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kV9fsMagic = 0x01021997;
constexpr long kFuseMagic = 0x65735546;

// statfs calls every FUSE mount the same; the mount table names sshfs.
bool isSshfsMount(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    std::string mounts;
    Platform::readFile("/proc/self/mountinfo", mounts);
    std::istringstream in(mounts);
    std::string line;
    std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev;
        fields >> id >> parent >> dev;
        if (dev != device)
            continue;
        size_t dash = line.find(" - ");
        return dash != std::string::npos && line.compare(dash + 3, 10, "fuse.sshfs") == 0;
    }
    return false;
}

} // namespace

bool isNetworkFileSystem(const std::string& path) {
    struct statfs info;
    if (path.empty() || statfs(path.c_str(), &info) != 0)
        return false;
    switch (static_cast<long>(info.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case kCifsMagic:
    case kSmb2Magic:
    case kV9fsMagic:
        return true;
    case kFuseMagic:
        return isSshfsMount(path);
    default:
        return false;
    }
}

} // namespace Platform
