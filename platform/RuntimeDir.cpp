#include "platform/RuntimeDir.h"

#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/XdgDirs.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string fallbackDir() {
    const std::string tmp = env::value("TMPDIR");
    return withoutTrailingSlashes(!tmp.empty() && tmp[0] == '/' ? tmp : "/tmp") +
           "/quorvalent-runtime-" + std::to_string(getuid());
}

// Home folders may be shared between computers; sockets and locks may not.
std::string homeFallbackDir() {
    const std::string home = withoutTrailingSlashes(xdg::home());
    char host[HOST_NAME_MAX + 1] = {};
    if (home.empty() || home[0] != '/' || gethostname(host, sizeof host - 1) != 0)
        return {};
    return home + "/.cache/quorvalent-runtime-" + host;
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

bool makePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        setLastErrorFromErrno();
        return false;
    }
    return isPrivateFolder(path);
}

} // namespace

std::string runtimeDirCandidate() {
    const std::string xdg = env::value("XDG_RUNTIME_DIR");
    return !xdg.empty() && xdg[0] == '/' ? xdg : fallbackDir();
}

std::string runtimeDir(std::string* refused) {
    const std::string xdg = env::value("XDG_RUNTIME_DIR");
    if (!xdg.empty() && xdg[0] == '/')
        return xdg;
    const std::string dir = fallbackDir();
    if (makePrivateFolder(dir))
        return dir;
    const std::string home = homeFallbackDir();
    if (home.empty())
        return {};
    // ~/.cache is the usual place of caches; made private when it is new.
    const std::string cache = home.substr(0, home.rfind('/'));
    if (mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) {
        setLastErrorFromErrno();
        return {};
    }
    if (!makePrivateFolder(home))
        return {};
    if (refused)
        *refused = dir;
    return home;
}

} // namespace Platform
