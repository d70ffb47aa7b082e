#include "platform/Spawn.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

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

TEST(Spawn, ReportsFailuresAsErrno) {
    EXPECT_EQ(Platform::spawnDetached("/no/such/program", {"x"}, "", false), ENOENT);
    EXPECT_EQ(Platform::spawnDetached("no-such-program-qv", {"x"}, "", true), ENOENT);
    EXPECT_EQ(Platform::spawnDetached("/bin/true", {"true"}, "/no/such/folder", false), ENOENT);
}

} // namespace
