#include "core/SysFile.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "core/Logger.h"
#include "platform/Error.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Makes every write past `bytes` into a file fail with EFBIG, as a full disk
// would halfway through a write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST(SysFile, CreateDirectories) {
    qvtest::TempDir dir;
    fs::path tree = dir.path() / "a" / "b" / "c";
    EXPECT_FALSE(Sys::createDirectories(wide(tree), false));
    EXPECT_TRUE(Sys::createDirectories(wide(tree) + L"/", true));
    EXPECT_EQ(Platform::lastError(), 0u);
    EXPECT_EQ(Sys::isDirectory(wide(tree)), 1);
    EXPECT_TRUE(Sys::createDirectories(wide(tree), false));
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(Sys::createDirectories(wide(tree), true));

    fs::path file = dir.write("file", "x");
    EXPECT_FALSE(Sys::createDirectories(wide(file), false));
    EXPECT_FALSE(Sys::createDirectories(wide(file), true));
    EXPECT_FALSE(Sys::createDirectories(wide(file / "below"), true));
    EXPECT_EQ(Sys::isDirectory(wide(file)), 0);
    EXPECT_EQ(Sys::isDirectory(wide(dir.path() / "missing")), -1);
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_FILE_NOT_FOUND);
}

TEST(SysFile, ClearReadOnly) {
    qvtest::TempDir dir;
    fs::path file = dir.write("ro", "x");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(Sys::fileAttributes(wide(file), false) & Sys::FileAttrReadOnly);
    EXPECT_TRUE(Sys::clearReadOnly(wide(file)));
    EXPECT_TRUE((fs::status(file).permissions() & fs::perms::owner_write) != fs::perms::none);
    EXPECT_TRUE((fs::status(file).permissions() & fs::perms::group_read) != fs::perms::none);
    EXPECT_TRUE(Sys::clearReadOnly(wide(file)));
    EXPECT_FALSE(Sys::clearReadOnly(wide(dir.path() / "missing")));
}

TEST(SysFile, WriteFileReplacesTheWholeContent) {
    qvtest::TempDir dir;
    fs::path file = dir.write("state.json", "old content that is longer");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    std::string data = "new";
    ASSERT_TRUE(Sys::writeFile(wide(file), data.data(), data.size()));
    EXPECT_EQ(contentOf(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(entriesIn(dir.path()), 1u);

    ASSERT_TRUE(Sys::writeFile(wide(dir.path() / "fresh"), nullptr, 0));
    EXPECT_EQ(contentOf(dir.path() / "fresh"), "");
}

TEST(SysFile, WriteFileThroughASymbolicLinkKeepsTheLink) {
    qvtest::TempDir dir;
    fs::path real = dir.write("real.ini", "old");
    fs::create_symlink(real, dir.path() / "link.ini");
    std::string data = "new";
    ASSERT_TRUE(Sys::writeFile(wide(dir.path() / "link.ini"), data.data(), data.size()));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
    EXPECT_EQ(contentOf(real), "new");
}

TEST(SysFile, FailedWriteKeepsThePreviousContent) {
    qvtest::TempDir dir;
    fs::path file = dir.write("history.json", "precious");
    std::string big(64 * 1024, 'x');
    uint64_t lastId = 0;
    for (const auto& item : Logger::fetch(0))
        lastId = item->id;
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(Sys::writeFile(wide(file), big.data(), big.size()));
    }
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(contentOf(file), "precious");
    EXPECT_EQ(entriesIn(dir.path()), 1u);

    auto records = Logger::fetch(lastId);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->level, Logger::Warning);
    wstr expected;
    wstr::format(expected, L"Failed to write to file {} (error {})", wide(file),
                 Platform::ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(records[0]->message, expected);

    EXPECT_FALSE(Sys::writeFile(wide(dir.path() / "no" / "folder"), big.data(), 1));
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_FILE_NOT_FOUND);
}

TEST(SysFile, IsPeFile) {
    qvtest::TempDir dir;
    std::string pe(128, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[60] = 64;
    pe.replace(64, 4, std::string("PE\0\0", 4));
    std::string mzOnly = pe;
    mzOnly[64] = 'X';
    EXPECT_EQ(Sys::isPeFile(wide(dir.write("a.exe", pe))), 1);
    EXPECT_EQ(Sys::isPeFile(wide(dir.write("b.exe", mzOnly))), 0);
    EXPECT_EQ(Sys::isPeFile(wide(dir.write("small.exe", pe.substr(0, 64)))), 0);
    EXPECT_EQ(Sys::isPeFile(wide(dir.write("text", std::string(100, 'a')))), 0);
    EXPECT_EQ(Sys::isPeFile(wide(dir.path() / "missing")), -1);
    // A FIFO used to block the open for ever.
    ASSERT_EQ(mkfifo((dir.path() / "pipe.exe").c_str(), 0600), 0);
    EXPECT_EQ(Sys::isPeFile(wide(dir.path() / "pipe.exe")), 0);
}

TEST(SysFile, FileAttributes) {
    qvtest::TempDir dir;
    fs::path program = dir.write("tool", "#!/bin/sh\n");
    fs::permissions(program, fs::perms::owner_all);
    fs::path hidden = dir.write(".hidden", "x");
    fs::path link = dir.write(
        "tool.desktop", "[Desktop Entry]\nType=Application\nExec=" + program.string() + " %f\n");
    fs::path broken = dir.write("broken.desktop", "[Desktop Entry]\nType=Application\n");
    using namespace Sys;
    EXPECT_EQ(fileAttributes(wide(dir.path()), false), uint32_t(FileAttrFolder));
    EXPECT_EQ(fileAttributes(wide(program), false),
              uint32_t(FileAttrFile | FileAttrExecutable | FileAttrConsole));
    EXPECT_EQ(fileAttributes(wide(hidden), false), uint32_t(FileAttrFile | FileAttrHidden));
    EXPECT_EQ(fileAttributes(wide(link), false), uint32_t(FileAttrFile | FileAttrLink));
    EXPECT_EQ(fileAttributes(wide(link), true), 0x34u);
    EXPECT_EQ(fileAttributes(wide(link), true, 0), uint32_t(FileAttrFile | FileAttrLink));
    EXPECT_EQ(fileAttributes(wide(broken), true), 0u);
    EXPECT_EQ(fileAttributes(wide(dir.path() / "missing"), false), 0u);
    EXPECT_EQ(fileAttributes(L"/dev/null", false), uint32_t(FileAttrNonFileSystem));
}

TEST(SysFile, FinalPathName) {
    qvtest::TempDir dir;
    fs::create_directories(dir.path() / "real");
    fs::path target = dir.write("real/prog", "x");
    fs::create_symlink(dir.path() / "real", dir.path() / "alias");
    fs::create_symlink(target, dir.path() / "real" / "name");
    wstr base = wide(fs::canonical(dir.path()));

    EXPECT_EQ(Sys::finalPathName(wide(dir.path() / "alias" / ".." / "alias" / "prog")),
              base + L"/real/prog");
    EXPECT_EQ(Platform::lastError(), 0u);
    EXPECT_EQ(Sys::finalPathName(wide(dir.path() / "alias" / "name")), base + L"/real/name");
    EXPECT_EQ(Sys::finalPathName(wide(dir.path() / "alias") + L"/"), base + L"/real");

    wstr missing = wide(dir.path() / "missing");
    EXPECT_EQ(Sys::finalPathName(missing), missing);
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Sys::finalPathName(L""), L"");
    EXPECT_EQ(Platform::lastError(), 0u);
    EXPECT_EQ(Sys::longPathName(missing), L"");
    EXPECT_EQ(Sys::longPathName(wide(target)), wide(target));
}

TEST(SysFile, LocalAndRelativePathsAreNotRemote) {
    qvtest::TempDir dir;
    EXPECT_FALSE(Path::isRemote(wide(dir.path())));
    EXPECT_FALSE(Path::isRemote(L"relative/path"));
    EXPECT_FALSE(Path::isRemote(L"/no/such/path"));
}

} // namespace
