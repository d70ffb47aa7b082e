#include "platform/Process.h"

#include "platform/Error.h"
#include "platform/Poll.h"
#include "platform/Spawn.h"

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <utility>

namespace Platform {
namespace {

// Through the system calls: the C library's declarations of these lack C
// linkage in this version.
int pidfdOpen(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int fd, int signal) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0));
}

} // namespace

Process::~Process() {
    reset();
}

Process::Process(Process&& other) noexcept
    : fd_(std::move(other.fd_)), pid_(std::exchange(other.pid_, 0)),
      child_(std::exchange(other.child_, false)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::move(other.fd_);
        pid_ = std::exchange(other.pid_, 0);
        child_ = std::exchange(other.child_, false);
    }
    return *this;
}

void Process::reset() {
    if (child_ && wait(0) == TimedOut)
        reapInBackground(pid_);
    fd_.reset();
    pid_ = 0;
    child_ = false;
}

bool Process::open(pid_t pid) {
    reset();
    UniqueFd fd(pidfdOpen(pid));
    if (!fd.valid()) {
        setLastErrorFromErrno();
        return false;
    }
    fd_ = std::move(fd);
    pid_ = pid;
    return true;
}

int Process::spawn(const std::vector<std::string>& argv) {
    reset();
    if (argv.empty())
        return EINVAL;
    pid_t pid = 0;
    if (int rc = spawnChild(argv[0], argv, {}, false, &pid))
        return rc;
    // The child cannot be reaped before we do, so its id names it here.
    fd_.reset(pidfdOpen(pid));
    if (!fd_.valid()) {
        reapInBackground(pid);
        return 0;
    }
    pid_ = pid;
    child_ = true;
    return 0;
}

Process::WaitResult Process::wait(int timeoutMs) {
    if (!fd_.valid())
        return Ended;
    int ready = 0;
    try {
        ready = pollReadable({fd_.get()}, timeoutMs);
    } catch (const std::system_error& e) {
        setLastErrorFromErrno(e.code().value());
        return Failed;
    }
    if (ready < 0)
        return TimedOut;
    reap();
    return Ended;
}

void Process::reap() {
    if (!child_)
        return;
    siginfo_t info{};
    while (waitid(P_PIDFD, fd_.get(), &info, WEXITED) < 0 && errno == EINTR) {
    }
    child_ = false;
}

bool Process::kill() {
    if (!fd_.valid() || pidfdSendSignal(fd_.get(), SIGKILL) != 0) {
        setLastErrorFromErrno(fd_.valid() ? errno : EBADF);
        return false;
    }
    return true;
}

} // namespace Platform
