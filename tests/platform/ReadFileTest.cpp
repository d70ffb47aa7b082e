#include "platform/ReadFile.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

namespace {

// A FIFO used to block the reader for ever and /dev/zero to take all memory:
// only regular files are read, and never above the cap.
TEST(ReadFile, ReadsRegularFilesWithinTheirCapOnly) {
    qvtest::TempDir dir;
    auto file = dir.write("entry.desktop", "[Desktop Entry]\n");
    ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.desktop");
    std::string out = "stale";
    ASSERT_TRUE(Platform::readFile(file.string(), out));
    EXPECT_EQ(out, "[Desktop Entry]\n");
    struct Case {
        std::string path;
        size_t cap;
        int error;
    };
    const Case cases[] = {
        {(dir.path() / "fifo").string(), Platform::maxTextFileSize, EINVAL},
        {(dir.path() / "zero.desktop").string(), Platform::maxTextFileSize, EINVAL},
        {dir.path().string(), Platform::maxTextFileSize, EISDIR},
        {file.string(), 15, EFBIG},
        {(dir.path() / "missing").string(), Platform::maxTextFileSize, ENOENT},
    };
    for (const auto& c : cases) {
        out = "stale";
        errno = 0;
        EXPECT_FALSE(Platform::readFile(c.path, out, c.cap)) << c.path;
        EXPECT_EQ(errno, c.error) << c.path;
        EXPECT_TRUE(out.empty()) << c.path;
    }
    // /proc files report no size: the cap holds while reading.
    EXPECT_FALSE(Platform::readFile("/proc/self/maps", out, 16));
    EXPECT_EQ(errno, EFBIG);
}

} // namespace
