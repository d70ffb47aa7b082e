#pragma once

#include "platform/ForkedChild.h"
#include "platform/UniqueFd.h"

#include <optional>
#include <string>

namespace Platform {

// The single-instance rule: an exclusive lock (flock) on a file, held while
// the object holds the file open. The kernel drops the lock when the process
// ends, however it ends, so a crashed instance never blocks the next one.
// The descriptor is close-on-exec: programs we start never inherit the lock;
// and a child forked from the program closes it, so that a child left running
// never holds the lock for an instance that has ended.
// Owner's thread.
class InstanceLock {
public:
    enum Result { Acquired, HeldByOther, Failed };

    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Opens the file (created with mode 0600) and takes the lock without
    // waiting. Failed sets the last error.
    Result acquire(const std::string& path);
    bool held() const { return fd_.valid(); }
    void release() {
        inChild_.set(-1);
        fd_.reset();
    }

    // Replaces the held file's content with text, which the starts that find
    // the lock held read with heldText. False, with the last error set, when
    // it could not be written.
    bool record(const std::string& text);

    // The content of the file at path while another open file holds its lock;
    // nothing when the file is missing or nobody holds it. Creates nothing.
    static std::optional<std::string> heldText(const std::string& path);

private:
    UniqueFd fd_;
    ForkedChild::CloseInChild inChild_;
};

} // namespace Platform
