#include "platform/FileMode.h"

#include "platform/Error.h"

#include <sys/stat.h>

namespace Platform {

bool makeReadOnly(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || chmod(path.c_str(), st.st_mode & ~0222 & 07777) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

} // namespace Platform
