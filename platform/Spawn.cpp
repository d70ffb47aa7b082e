#include "platform/Spawn.h"

#include "platform/Environment.h"
#include "platform/Immortal.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Platform {
namespace {

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttr {
public:
    SpawnAttr() { posix_spawnattr_init(&attr_); }
    ~SpawnAttr() { posix_spawnattr_destroy(&attr_); }
    SpawnAttr(const SpawnAttr&) = delete;
    SpawnAttr& operator=(const SpawnAttr&) = delete;
    posix_spawnattr_t* get() { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

// A detached child is the user's program, not ours: it reads no input of
// ours and writes nothing into the terminal or log we may be started from.
int detachStreams(FileActions& actions) {
    if (int rc = posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0))
        return rc;
    for (int fd : {1, 2})
        if (int rc = posix_spawn_file_actions_addopen(actions.get(), fd, "/dev/null", O_WRONLY, 0))
            return rc;
    return 0;
}

int prepareActions(FileActions& actions, const std::string& workDir, bool detached) {
    if (detached)
        if (int rc = detachStreams(actions))
            return rc;
    if (!workDir.empty()) {
        if (int rc = posix_spawn_file_actions_addchdir_np(actions.get(), workDir.c_str()))
            return rc;
    }
    return posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
}

int prepareAttr(SpawnAttr& attr) {
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(attr.get(), &none);
    posix_spawnattr_setsigdefault(attr.get(), &all);
    return posix_spawnattr_setflags(attr.get(), POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                    POSIX_SPAWN_SETSIGDEF);
}

// posix_spawnp would search the PATH of the process environment: search the
// program's PATH instead, as the shell does (a found file that cannot run
// ends the search only when nothing later can), but never the current
// folder, which an empty or relative entry would name: anyone may have left
// a program there.
int spawnSearching(pid_t* child, const std::string& program, FileActions& actions, SpawnAttr& attr,
                   std::vector<char*>& args, std::vector<char*>& envp) {
    if (program.find('/') != std::string::npos)
        return posix_spawn(child, program.c_str(), actions.get(), attr.get(), args.data(),
                           envp.data());
    std::string path = env::get("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    int failure = ENOENT;
    size_t start = 0;
    for (;;) {
        size_t end = path.find(':', start);
        std::string folder = path.substr(start, end == std::string::npos ? end : end - start);
        std::string candidate = folder + "/" + program;
        int rc = folder.starts_with('/') ? posix_spawn(child, candidate.c_str(), actions.get(),
                                                       attr.get(), args.data(), envp.data())
                                         : ENOENT;
        if (rc == 0)
            return 0;
        if (rc == EACCES)
            failure = EACCES;
        else if (rc != ENOENT && rc != ENOTDIR)
            return rc;
        if (end == std::string::npos)
            return failure;
        start = end + 1;
    }
}

// Reaps the children handed to it on one thread: each child's pidfd becomes
// readable when it ends, and one poll waits for all of them. The thread is
// started with the first child and lives as long as the process.
class Reaper {
public:
    // False when the thread cannot be started or the wake-up not signalled.
    bool add(pid_t child, UniqueFd pidfd) {
        std::lock_guard lock(mutex_);
        if (!wake_.valid()) {
            wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
            if (!wake_.valid())
                return false;
            try {
                std::thread([this] { run(); }).detach();
            } catch (const std::system_error&) {
                wake_.reset();
                return false;
            }
        }
        children_.push_back({child, std::move(pidfd)});
        const uint64_t one = 1;
        return ::write(wake_.get(), &one, sizeof one) == sizeof one || errno == EAGAIN;
    }

private:
    struct Child {
        pid_t pid;
        UniqueFd pidfd;
    };

    void run() {
        std::vector<pollfd> fds;
        for (;;) {
            collectEnded(fds);
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                return;
        }
    }

    // Reaps the children whose pidfd was readable in the last poll, drains
    // the wake-up, and rebuilds the poll list.
    void collectEnded(std::vector<pollfd>& fds) {
        std::lock_guard lock(mutex_);
        uint64_t count;
        if (!fds.empty() && (fds[0].revents & POLLIN))
            (void)!::read(wake_.get(), &count, sizeof count);
        std::erase_if(children_, [&](const Child& child) {
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].fd == child.pidfd.get() && fds[i].revents)
                    return waitpid(child.pid, nullptr, WNOHANG) != 0;
            return false;
        });
        fds.assign(1, {wake_.get(), POLLIN, 0});
        for (const auto& child : children_)
            fds.push_back({child.pidfd.get(), POLLIN, 0});
    }

    std::mutex mutex_;
    UniqueFd wake_;
    std::vector<Child> children_;
};

Reaper& reaper() {
    static Immortal<Reaper> instance;
    return instance.get();
}

} // namespace

void reapInBackground(pid_t child) {
    UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    if (!pidfd.valid() || !reaper().add(child, std::move(pidfd))) {
        // Out of descriptors or threads: the child then stays a zombie until
        // it is collected with the next one or we exit, which is better than
        // blocking the caller for as long as the child runs.
        waitpid(child, nullptr, WNOHANG);
    }
}

namespace {

int spawn(const std::string& program, const std::vector<std::string>& argv,
          const std::string& workDir, bool searchPath, bool detached, pid_t* pid) {
    FileActions actions;
    SpawnAttr attr;
    if (int rc = prepareActions(actions, workDir, detached))
        return rc;
    if (int rc = prepareAttr(attr))
        return rc;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The program's environment, not the process one, which nothing updates.
    const std::vector<std::string> variables = env::block();
    std::vector<char*> envp;
    for (const auto& entry : variables)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    pid_t child = 0;
    if (int rc = searchPath ? spawnSearching(&child, program, actions, attr, args, envp)
                            : posix_spawn(&child, program.c_str(), actions.get(), attr.get(),
                                          args.data(), envp.data()))
        return rc;
    *pid = child;
    return 0;
}

} // namespace

int spawnChild(const std::string& program, const std::vector<std::string>& argv,
               const std::string& workDir, bool searchPath, pid_t* pid) {
    return spawn(program, argv, workDir, searchPath, false, pid);
}

int spawnDetached(const std::string& program, const std::vector<std::string>& argv,
                  const std::string& workDir, bool searchPath, pid_t* pid) {
    pid_t child = 0;
    if (int rc = spawn(program, argv, workDir, searchPath, true, &child))
        return rc;
    if (pid)
        *pid = child;
    reapInBackground(child);
    return 0;
}

} // namespace Platform
