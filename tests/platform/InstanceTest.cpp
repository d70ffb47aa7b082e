#include "platform/Error.h"
#include "platform/InstanceLock.h"
#include "platform/InstanceSocket.h"
#include "platform/Process.h"
#include "platform/RuntimeDir.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Platform;
namespace fs = std::filesystem;

TEST(InstanceLock, OneHolderAtATime) {
    qvtest::TempDir dir;
    const std::string path = (dir.path() / "app.lock").string();
    InstanceLock first;
    ASSERT_EQ(first.acquire(path), InstanceLock::Acquired);
    InstanceLock second;
    EXPECT_EQ(second.acquire(path), InstanceLock::HeldByOther);
    EXPECT_FALSE(second.held());
    first.release();
    EXPECT_EQ(second.acquire(path), InstanceLock::Acquired) << "released with the descriptor";
    EXPECT_EQ(InstanceLock().acquire((dir.path() / "no/such/folder/x.lock").string()),
              InstanceLock::Failed);
    EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);
}

// What the holder records is read by other starts only while it holds the
// lock, and reading neither creates the file nor takes the lock.
TEST(InstanceLock, TheHoldersRecordIsReadWhileItHoldsTheLock) {
    qvtest::TempDir dir;
    const std::string path = (dir.path() / "profile.lock").string();
    EXPECT_EQ(InstanceLock::heldText(path), std::nullopt);
    EXPECT_FALSE(fs::exists(path));

    InstanceLock holder;
    ASSERT_EQ(holder.acquire(path), InstanceLock::Acquired);
    ASSERT_TRUE(holder.record("4242\n/run/user/1/a-much-longer-socket-path\n"));
    ASSERT_TRUE(holder.record("17\n/run/s\n"));
    EXPECT_EQ(InstanceLock::heldText(path), std::optional<std::string>("17\n/run/s\n"))
        << "a shorter record leaves nothing of the longer one";
    EXPECT_EQ(InstanceLock().acquire(path), InstanceLock::HeldByOther) << "reading took nothing";
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    holder.release();
    EXPECT_EQ(InstanceLock::heldText(path), std::nullopt) << "a record left by a dead holder";
    EXPECT_FALSE(InstanceLock().record("x")) << "nothing held";
}

// A child forked while the lock is held shares it through its copy of the
// descriptor, and would hold it once the instance has ended: the child's
// copy is closed at the fork, the parent's lock stays.
TEST(InstanceLock, AForkedChildDoesNotHoldIt) {
    qvtest::TempDir dir;
    const std::string path = (dir.path() / "app.lock").string();
    auto lock = std::make_unique<InstanceLock>();
    ASSERT_EQ(lock->acquire(path), InstanceLock::Acquired);
    int gate[2], ready[2];
    ASSERT_EQ(pipe(gate), 0);
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(gate[1]);
        close(ready[0]);
        // Still held by the parent; then the child lives on past its release.
        const char held = InstanceLock().acquire(path) == InstanceLock::HeldByOther ? 0 : 1;
        char byte = 0;
        [[maybe_unused]] const ssize_t sent = write(ready[1], &held, 1);
        [[maybe_unused]] const ssize_t got = read(gate[0], &byte, 1);
        _exit(held);
    }
    close(gate[0]);
    close(ready[1]);
    char held = 1;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]);
    lock.reset();
    EXPECT_EQ(InstanceLock().acquire(path), InstanceLock::Acquired) << "the child left it free";
    close(gate[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(RuntimeDir, TheSessionsFolderElseAPrivateOne) {
    qvtest::TempDir dir;
    qvtest::ScopedEnv env;
    env.set("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(runtimeDir(), "/run/user/4242");

    env.unset("XDG_RUNTIME_DIR").set("TMPDIR", dir.str());
    const std::string fallback = runtimeDir();
    EXPECT_EQ(fallback, dir.str() + "/quorvalent-runtime-" + std::to_string(getuid()));
    struct stat st {};
    ASSERT_EQ(stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// The fallback's name can be guessed: a folder that another user made there
// first, a link put in its place or one that others may enter is passed over
// for a private one under the home folder, and the start goes on.
TEST(RuntimeDir, AnUnsafeFallbackGivesWayToOneInTheHome) {
    qvtest::TempDir dir;
    qvtest::ScopedEnv env;
    env.unset("XDG_RUNTIME_DIR").set("TMPDIR", dir.str()).set("HOME", dir.str() + "/home");
    fs::create_directory(dir.path() / "home");
    const std::string fallback = dir.str() + "/quorvalent-runtime-" + std::to_string(getuid());
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string home = dir.str() + "/home/.cache/quorvalent-runtime-" + host;
    // Each plants its folder; false when this user cannot (only root gives a
    // folder away).
    const std::vector<std::pair<const char*, std::function<bool()>>> rows = {
        {"another user's folder",
         [&] {
             fs::create_directory(fallback);
             return chmod(fallback.c_str(), 0700) == 0 &&
                    chown(fallback.c_str(), 65534, 65534) == 0;
         }},
        {"a link to a folder of ours",
         [&] {
             fs::create_directory_symlink(dir.path(), fallback);
             return true;
         }},
        {"a folder others may enter",
         [&] { return fs::create_directory(fallback) && chmod(fallback.c_str(), 0755) == 0; }},
    };
    for (const auto& [name, plant] : rows) {
        SCOPED_TRACE(name);
        fs::remove_all(fallback);
        fs::remove_all(dir.path() / "home/.cache");
        if (!plant())
            continue;
        std::string refused;
        EXPECT_EQ(runtimeDir(&refused), home);
        EXPECT_EQ(refused, fallback) << "for the log";
        struct stat st {};
        ASSERT_EQ(lstat(home.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(stat((dir.path() / "home/.cache").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(runtimeDir(), home) << "the same folder every time";
    }
    // Planted in the home as well: no folder is better than a stolen one.
    fs::remove_all(home);
    fs::create_directory_symlink(dir.path(), home);
    EXPECT_EQ(runtimeDir(), "");
    EXPECT_EQ(runtimeDirCandidate(), fallback) << "messages can name it";
}

TEST(InstanceSocket, OneMessageAndItsAnswerPerConnection) {
    qvtest::TempDir dir;
    const std::string path = (dir.path() / "sock").string();
    InstanceSocket::Client client;
    EXPECT_FALSE(client.connect(path)) << "nothing listens";

    UniqueFd server = InstanceSocket::listen(path);
    ASSERT_TRUE(server.valid());
    ASSERT_TRUE(client.connect(path));
    EXPECT_EQ(client.peerPid(), getpid());
    UniqueFd connection = InstanceSocket::accept(server.get());
    ASSERT_TRUE(connection.valid());
    EXPECT_FALSE(InstanceSocket::accept(server.get()).valid()) << "no other client waits";

    // The answer is written before the client asks for it; it waits for it.
    InstanceSocket::writeReply(connection.get(), 20240000);
    EXPECT_EQ(client.send(1502, 5000), std::optional<uint32_t>(20240000));
    EXPECT_EQ(InstanceSocket::readRequest(connection.get()), std::optional<uint32_t>(1502));
    connection.reset();
    EXPECT_EQ(client.send(1510, 5000), std::nullopt) << "the instance closed the connection";
}

TEST(InstanceSocket, AFileLeftByADeadInstanceIsReplaced) {
    qvtest::TempDir dir;
    const std::string path = (dir.path() / "sock").string();
    InstanceSocket::listen(path).reset(); // closed without removing the file
    InstanceSocket::Client client;
    EXPECT_FALSE(client.connect(path));
    UniqueFd server = InstanceSocket::listen(path);
    ASSERT_TRUE(server.valid());
    EXPECT_TRUE(client.connect(path));
    EXPECT_FALSE(InstanceSocket::listen(std::string(200, 'x')).valid());
    EXPECT_EQ(lastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST(Process, AChildIsWatchedKilledAndReaped) {
    Process child;
    ASSERT_EQ(child.spawn({"/bin/sleep", "600"}), 0);
    ASSERT_TRUE(child.valid());
    const pid_t pid = child.pid();
    EXPECT_EQ(child.wait(0), Process::TimedOut);
    EXPECT_FALSE(child.ended());
    EXPECT_TRUE(child.kill());
    EXPECT_EQ(child.wait(-1), Process::Ended);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1) << "already reaped";
    EXPECT_EQ(errno, ECHILD);
}

TEST(Process, AChildStillRunningWhenDroppedIsReapedWhenItEnds) {
    pid_t pid = 0;
    {
        Process child;
        ASSERT_EQ(child.spawn({"/bin/sleep", "600"}), 0);
        pid = child.pid();
    }
    Process watcher;
    ASSERT_TRUE(watcher.open(pid));
    kill(pid, SIGKILL);
    EXPECT_EQ(watcher.wait(30000), Process::Ended);
    // A zombie still answers kill(pid, 0); a reaped child does not.
    EXPECT_TRUE(qvtest::waitFor([&] { return kill(pid, 0) == -1; }, std::chrono::seconds(30),
                                std::chrono::milliseconds(10)));
}

TEST(Process, FailuresAreReported) {
    Process process;
    EXPECT_EQ(process.spawn({"/no/such/program"}), ENOENT);
    EXPECT_FALSE(process.valid());
    EXPECT_TRUE(process.ended()) << "nothing to wait for";
    EXPECT_FALSE(process.kill());
    EXPECT_FALSE(process.open(0x3FFFFFFF));
    Process self;
    ASSERT_TRUE(self.open(getpid()));
    EXPECT_EQ(self.wait(0), Process::TimedOut);
}
