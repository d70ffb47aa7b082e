#include "platform/Spawn.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

extern char** environ;

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

int prepareActions(FileActions& actions, const std::string& workDir) {
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

} // namespace

void reapInBackground(pid_t child) {
    try {
        std::thread([child] {
            while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Out of threads: the child then stays a zombie until we exit, which
        // is better than blocking the caller for as long as the child runs.
    }
}

int spawnChild(const std::string& program, const std::vector<std::string>& argv,
               const std::string& workDir, bool searchPath, pid_t* pid) {
    FileActions actions;
    SpawnAttr attr;
    if (int rc = prepareActions(actions, workDir))
        return rc;
    if (int rc = prepareAttr(attr))
        return rc;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    auto spawn = searchPath ? posix_spawnp : posix_spawn;
    if (int rc = spawn(&child, program.c_str(), actions.get(), attr.get(), args.data(), environ))
        return rc;
    *pid = child;
    return 0;
}

int spawnDetached(const std::string& program, const std::vector<std::string>& argv,
                  const std::string& workDir, bool searchPath, pid_t* pid) {
    pid_t child = 0;
    if (int rc = spawnChild(program, argv, workDir, searchPath, &child))
        return rc;
    if (pid)
        *pid = child;
    reapInBackground(child);
    return 0;
}

} // namespace Platform
