#include "platform/Spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

#include "platform/Environment.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace fs = std::filesystem;
using qvtest::waitFor;

// The state letter of a process, or 0 once it is gone.
char processState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return 0;
    size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

TEST(Spawn, RunsInItsFolderAndSessionAndIsReaped) {
    qvtest::TempDir dir;
    std::string marker = (dir.path() / "marker").string();
    pid_t pid = 0;
    ASSERT_EQ(Platform::spawnDetached(
                  "sh",
                  {"sh", "-c", "{ pwd; cut -d' ' -f6 /proc/$$/stat; } > m.tmp && mv m.tmp marker"},
                  dir.str(), true, &pid),
              0);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitFor([&] { return fs::exists(marker); }));
    std::ifstream in(marker);
    std::string folder, session;
    std::getline(in, folder);
    in >> session;
    EXPECT_EQ(folder, dir.str());
    EXPECT_EQ(session, std::to_string(pid)); // a session of its own
    EXPECT_TRUE(waitFor([&] { return processState(pid) == 0; })) << "still " << processState(pid);
}

// The standard streams of the process, as the links in /proc name them.
std::string streamsOf(const std::string& pid) {
    std::string names;
    for (int fd = 0; fd < 3; ++fd)
        names += fs::read_symlink("/proc/" + pid + "/fd/" + std::to_string(fd)).string() + " ";
    return names + "\n";
}

// A detached program is the user's: our terminal or log never sees its
// output; a child we own and wait for keeps our streams.
TEST(Spawn, DetachedChildrenGetNullStreams) {
    qvtest::TempDir dir;
    const std::string script =
        "for fd in 0 1 2; do s=\"$s$(readlink /proc/$$/fd/$fd) \"; done; echo \"$s\" >m.tmp; "
        "mv m.tmp marker";
    struct Case {
        bool detached;
        std::string expected;
    };
    const Case cases[] = {{true, "/dev/null /dev/null /dev/null \n"}, {false, streamsOf("self")}};
    for (const auto& c : cases) {
        fs::remove(dir.path() / "marker");
        pid_t pid = 0;
        const std::vector<std::string> argv{"sh", "-c", script};
        ASSERT_EQ(c.detached ? Platform::spawnDetached("sh", argv, dir.str(), true, &pid)
                             : Platform::spawnChild("sh", argv, dir.str(), true, &pid),
                  0);
        if (!c.detached)
            Platform::reapInBackground(pid);
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir.path() / "marker"); }));
        std::ifstream in(dir.path() / "marker");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.expected) << c.detached;
    }
}

TEST(Spawn, ReportsFailuresAsErrno) {
    EXPECT_EQ(Platform::spawnDetached("/no/such/program", {"x"}, "", false), ENOENT);
    EXPECT_EQ(Platform::spawnDetached("no-such-program-qv", {"x"}, "", true), ENOENT);
    EXPECT_EQ(Platform::spawnDetached("/bin/true", {"true"}, "/no/such/folder", false), ENOENT);
}

size_t threadCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

// Every child is reaped from one place: ten running children do not cost
// ten threads blocked in waitpid.
TEST(Spawn, ChildrenAreReapedWithoutAThreadEach) {
    std::vector<pid_t> children;
    auto spawnSleeper = [&] {
        pid_t pid = 0;
        ASSERT_EQ(Platform::spawnDetached("/bin/sleep", {"sleep", "60"}, "", false, &pid), 0);
        children.push_back(pid);
    };
    spawnSleeper(); // the reaping thread, when it is not there yet
    const size_t before = threadCount();
    for (int i = 0; i < 10; ++i)
        spawnSleeper();
    EXPECT_EQ(threadCount(), before);
    for (pid_t pid : children)
        kill(pid, SIGKILL);
    for (pid_t pid : children)
        EXPECT_TRUE(waitFor([&] { return processState(pid) == 0; }))
            << "still " << processState(pid);
}

// Children get the program's environment, which a reload replaces without
// touching the process environment; a bare name is searched in its PATH.
TEST(Spawn, ChildrenGetTheProgramsEnvironment) {
    qvtest::TempDir dir;
    dir.write("bin/qv-env-probe", "#!/bin/sh\necho \"$QV_SPAWN_PROBE\" > \"$1\"\n");
    fs::permissions(dir.path() / "bin/qv-env-probe", fs::perms::owner_all);
    const Platform::env::Variables saved = Platform::env::all();
    Platform::env::Variables changed = saved;
    changed["QV_SPAWN_PROBE"] = "from the table";
    changed["PATH"] = (dir.path() / "bin").string() + ":" + saved.at("PATH");
    ASSERT_TRUE(Platform::env::replace(changed));
    const std::string marker = (dir.path() / "marker").string();
    const int rc = Platform::spawnDetached("qv-env-probe", {"qv-env-probe", marker}, "", true);
    Platform::env::replace(saved);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::getenv("QV_SPAWN_PROBE"), nullptr) << "the process environment is untouched";
    ASSERT_TRUE(waitFor([&] { return fs::exists(marker) && fs::file_size(marker) > 0; }));
    std::ifstream in(marker);
    std::string value;
    std::getline(in, value);
    EXPECT_EQ(value, "from the table");
}

// Started from a folder that holds a program of the name, a search of PATH
// never runs that one, whether PATH names the folder by an empty or a
// relative entry.
TEST(Spawn, TheSearchNeverLooksInTheCurrentFolder) {
    qvtest::TempDir dir;
    dir.write("here/qv-planted", "#!/bin/sh\necho planted > \"$1\"\n");
    fs::permissions(dir.path() / "here/qv-planted", fs::perms::owner_all);
    const Platform::env::Variables saved = Platform::env::all();
    const fs::path was = fs::current_path();
    fs::current_path(dir.path() / "here");
    std::vector<int> results;
    for (const char* path : {"", ":/usr/bin", "/usr/bin::/bin", ".", "./", "here/.."}) {
        Platform::env::Variables changed = saved;
        changed["PATH"] = path;
        Platform::env::replace(changed);
        results.push_back(Platform::spawnDetached(
            "qv-planted", {"qv-planted", (dir.path() / "marker").string()}, "", true));
    }
    fs::current_path(was);
    Platform::env::replace(saved);
    EXPECT_EQ(results, std::vector<int>(6, ENOENT));
    EXPECT_FALSE(fs::exists(dir.path() / "marker"));
}

} // namespace
