#include "platform/AtomicWrite.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>

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

// Whatever the umask, a new file is the user's alone, a file of an earlier
// version loses the group's and others' bits at its next rewrite, and the
// owner's own bits (a read-only file) are kept; a side file that a crash
// left open to others is not written as it was.
TEST(AtomicWrite, RewrittenFilesArePrivate) {
    struct Row {
        const char* name;
        mode_t umask;
        std::optional<fs::perms> before;
        fs::perms after;
    };
    using P = fs::perms;
    const fs::perms rw = P::owner_read | P::owner_write;
    const Row rows[] = {
        {"a new file, umask 022", 022, std::nullopt, rw},
        {"a new file, umask 002", 002, std::nullopt, rw},
        {"a new file, umask 000", 000, std::nullopt, rw},
        {"an earlier 0644 file", 022, rw | P::group_read | P::others_read, rw},
        {"an earlier 0666 file", 002,
         rw | P::group_write | P::group_read | P::others_read | P::others_write, rw},
        {"a read-only file", 022, P::owner_read | P::group_read, P::owner_read},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        const fs::path file = dir.path() / "history";
        if (row.before) {
            dir.write("history", "old");
            fs::permissions(file, *row.before);
        }
        const fs::path side = dir.write("history.side", "left over");
        fs::permissions(side, P::all);
        const mode_t saved = umask(row.umask);
        const std::string data = "new";
        const bool written = Platform::writeSideFile(side, file, data.data(), data.size(),
                                                     Platform::SideName::Fixed) &&
                             Platform::replaceWithSideFile(side, file);
        umask(saved);
        ASSERT_TRUE(written);
        EXPECT_EQ(fs::status(file).permissions(), row.after);
        EXPECT_EQ(contentOf(file), "new");
    }
}

} // namespace
