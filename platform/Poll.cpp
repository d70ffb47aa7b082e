#include "platform/Poll.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <system_error>

namespace Platform {

int pollReadable(const std::vector<int>& fds, int timeoutMs) {
    std::vector<pollfd> polled;
    for (int fd : fds)
        polled.push_back({fd, POLLIN, 0});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int wait = timeoutMs;
    for (;;) {
        int n = poll(polled.data(), polled.size(), wait);
        if (n > 0)
            break;
        if (n == 0)
            return -1;
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll failed");
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait = left.count() > 0 ? int(left.count()) : 0;
        }
    }
    for (size_t i = 0; i < polled.size(); ++i)
        if (polled[i].revents & (POLLIN | POLLERR | POLLHUP))
            return int(i);
    return -1;
}

} // namespace Platform
