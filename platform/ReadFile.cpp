#include "platform/ReadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

namespace Platform {

bool readFile(const std::string& path, std::string& out) {
    out.clear();
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return false;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            out.clear();
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace Platform
