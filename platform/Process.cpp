#include "platform/Process.h"

#include "platform/Error.h"
#include "platform/Poll.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

extern char** environ;

namespace Platform {
namespace {

// The spawn attributes and file actions, released whatever happens.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;

    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    int prepare() {
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        if (int rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                         POSIX_SPAWN_SETSIGDEF))
            return rc;
        return posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    }
};

// Through the system calls: the C library's declarations of these lack C
// linkage in this version.
int pidfdOpen(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int fd, int signal) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0));
}

// Waits for a child in the background so that it leaves no zombie.
void reapInBackground(pid_t pid) {
    try {
        std::thread([pid] {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Out of threads: the child stays a zombie until we exit.
    }
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
    SpawnSetup setup;
    if (int rc = setup.prepare())
        return rc;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (int rc =
            posix_spawn(&pid, argv[0].c_str(), &setup.actions, &setup.attr, args.data(), environ))
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
