#include "platform/RuntimeDir.h"

#include "platform/Environment.h"
#include "platform/Error.h"

#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

std::string fallbackDir() {
    const std::string tmp = env::value("TMPDIR");
    std::string base = !tmp.empty() && tmp[0] == '/' ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/quorvalent-runtime-" + std::to_string(getuid());
}

// A folder that another user made (or a link planted in its place) would let
// them see or steal the instance's socket.
bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
        setLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

} // namespace

std::string runtimeDirCandidate() {
    const std::string xdg = env::value("XDG_RUNTIME_DIR");
    return !xdg.empty() && xdg[0] == '/' ? xdg : fallbackDir();
}

std::string runtimeDir() {
    const std::string xdg = env::value("XDG_RUNTIME_DIR");
    if (!xdg.empty() && xdg[0] == '/')
        return xdg;
    std::string dir = fallbackDir();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        setLastErrorFromErrno();
        return {};
    }
    return isPrivateFolder(dir) ? dir : std::string();
}

} // namespace Platform
