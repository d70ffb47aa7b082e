#include "platform/Inotify.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <system_error>
#include <unistd.h>

namespace Platform {

Inotify::Inotify() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!fd_.valid())
        throw std::system_error(errno, std::generic_category(), "inotify_init1 failed");
}

int Inotify::addWatch(const std::string& path, uint32_t mask) {
    return inotify_add_watch(fd_.get(), path.c_str(), mask);
}

void Inotify::removeWatch(int wd) {
    inotify_rm_watch(fd_.get(), wd);
}

std::vector<Inotify::Event> Inotify::read() {
    std::vector<Event> events;
    alignas(inotify_event) char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return events;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            inotify_event raw;
            std::memcpy(&raw, buffer + at, sizeof raw);
            const char* name = buffer + at + sizeof(inotify_event);
            events.push_back(
                {raw.wd, raw.mask, raw.cookie, std::string(name, strnlen(name, raw.len))});
            at += sizeof(inotify_event) + raw.len;
        }
    }
}

} // namespace Platform
