#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Platform {

// A process watched through a pidfd: another program's instance that we wait
// for and may kill, or a child we started. A child is always reaped: by
// ended() or wait() once it has ended, else, when the object goes away while
// it still runs, by the reaping thread of reapInBackground. Owner's thread.
class Process {
public:
    enum WaitResult { Ended, TimedOut, Failed };

    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Watches a process that is not our child. False, with the last error
    // set, when it does not exist (any more) or cannot be watched.
    bool open(pid_t pid);

    // Starts argv[0] (a path; PATH is not searched) with the arguments, in a
    // session of its own, with the standard streams only and the signal
    // mask and dispositions reset. Returns 0 or the errno of the failure.
    int spawn(const std::vector<std::string>& argv);

    bool valid() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Readable once the process has ended; -1 when it cannot be watched.
    int fd() const { return fd_.get(); }

    // Waits up to timeoutMs (-1: no limit) for the process to end. Failed
    // sets the last error.
    WaitResult wait(int timeoutMs);
    // True once the process has ended, and for one that cannot be watched.
    bool ended() { return wait(0) != TimedOut; }
    // Ends the process at once (SIGKILL). False, with the last error set,
    // when that fails.
    bool kill();

private:
    void reap();
    void reset();

    UniqueFd fd_;
    pid_t pid_ = 0;
    bool child_ = false;
};

} // namespace Platform
