#include "platform/AtomicWrite.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The two ways of naming the side file differ in what they do with one that
// is already there; the rewrite through either leaves only the file.
TEST(AtomicWrite, SideNamesAndTheirLeftOvers) {
    qvtest::TempDir dir;
    const fs::path file = dir.write("data", "old");
    const fs::path side = dir.write("data.side", "left over by a crash");
    const std::string data = "new";

    errno = 0;
    EXPECT_FALSE(
        Platform::writeSideFile(side, file, data.data(), data.size(), Platform::SideName::Unique));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(contentOf(side), "left over by a crash") << "another writer's file stays";

    ASSERT_TRUE(
        Platform::writeSideFile(side, file, data.data(), data.size(), Platform::SideName::Fixed));
    ASSERT_TRUE(Platform::replaceWithSideFile(side, file));
    EXPECT_EQ(contentOf(file), "new");
    EXPECT_FALSE(fs::exists(side));
}

TEST(AtomicWrite, AFailedRenameRemovesTheSideFileAndKeepsErrno) {
    qvtest::TempDir dir;
    fs::create_directories(dir.path() / "data" / "inside");
    const fs::path side = dir.write("data.side", "new");
    errno = 0;
    EXPECT_FALSE(Platform::replaceWithSideFile(side, dir.path() / "data"));
    EXPECT_TRUE(errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) << errno;
    EXPECT_FALSE(fs::exists(side));
    EXPECT_TRUE(fs::is_directory(dir.path() / "data" / "inside"));
}

} // namespace
