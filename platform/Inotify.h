#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace Platform {

// Owns one inotify descriptor, opened non-blocking and close-on-exec, and
// parses what it delivers. Used by one thread at a time.
class Inotify {
public:
    struct Event {
        int wd = -1;         // watch descriptor; -1 for a queue overflow
        uint32_t mask = 0;   // IN_* bits
        uint32_t cookie = 0; // pairs IN_MOVED_FROM with IN_MOVED_TO
        std::string name;    // entry inside the watched folder; empty for the folder itself
    };

    // Throws std::system_error when the descriptor cannot be created.
    Inotify();
    Inotify(const Inotify&) = delete;
    Inotify& operator=(const Inotify&) = delete;

    int fd() const { return fd_.get(); }

    // Adds a watch for the path (or changes the mask of an existing one).
    // Returns the watch descriptor, or -1 with errno set.
    int addWatch(const std::string& path, uint32_t mask);
    void removeWatch(int wd);

    // Every event queued right now, in arrival order; empty when none is.
    std::vector<Event> read();

private:
    UniqueFd fd_;
};

} // namespace Platform
