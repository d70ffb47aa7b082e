#include "catalog/SwapFile.h"
#include "catalog/PluginFullName.h"
#include "core/Hash.h"
#include "platform/Error.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class SwapFileTest : public ::testing::Test {
protected:
    bool replaceWith(const std::string& text) {
        return SwapFile::writeAndReplace(qvtest::widePath(file_), text.data(), text.size());
    }

    qvtest::TempDir dir_;
    fs::path file_ = dir_.path() / "data.json";
    fs::path swap_ = dir_.path() / "data.json.qvswap";
};

TEST_F(SwapFileTest, ReplacesTheFileAndKeepsItsPermissions) {
    qvtest::writeBytes(file_, "old");
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(replaceWith("new"));
    EXPECT_EQ(qvtest::readBytes(file_), "new");
    EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists(swap_));
    EXPECT_EQ(SwapFile::swapPath(qvtest::widePath(file_)), qvtest::widePath(swap_));
}

TEST_F(SwapFileTest, WritesThroughASymbolicLink) {
    fs::create_directory(dir_.path() / "real");
    const fs::path target = dir_.path() / "real" / "data.json";
    qvtest::writeBytes(target, "old");
    fs::create_symlink(target, file_);
    ASSERT_TRUE(replaceWith("new"));
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(qvtest::readBytes(target), "new");
    EXPECT_FALSE(fs::exists(dir_.path() / "real" / "data.json.qvswap"));
}

TEST_F(SwapFileTest, AFailureLeavesTheOldFileAndNoSwapFile) {
    // The swap file cannot be created: a folder stands in its place.
    qvtest::writeBytes(file_, "old");
    fs::create_directory(swap_);
    EXPECT_FALSE(replaceWith("new"));
    EXPECT_NE(Platform::lastError(), 0u);
    EXPECT_EQ(qvtest::readBytes(file_), "old");
    fs::remove(swap_);

    // The swap file cannot be renamed over a folder that holds files.
    fs::remove(file_);
    fs::create_directories(file_ / "inside");
    EXPECT_FALSE(replaceWith("new"));
    EXPECT_NE(Platform::lastError(), 0u);
    EXPECT_TRUE(fs::is_directory(file_ / "inside"));
    EXPECT_FALSE(fs::exists(swap_));
}

TEST(PluginFullNameTest, NamesTwoPiecesAroundOneDot) {
    wstr package = L"stale";
    const uint64_t id = parsePluginFullName(L"Files.Index", &package);
    EXPECT_EQ(package, L"Files");
    EXPECT_EQ(id >> 32, hashWstr32(L"files"));
    EXPECT_EQ(id & 0xFFFFFFFF, hashWstr32(L"Index"));
    EXPECT_EQ(parsePluginFullName(L"FILES.Index"), id) << "the package name has no case";
    EXPECT_NE(parsePluginFullName(L"Files.index"), id) << "the plugin name has";
    for (const wchar_t* refused :
         {L"", L"Files", L".Index", L"Files.", L"Files..Index", L"Files.Index.More", L"."}) {
        EXPECT_EQ(parsePluginFullName(refused, &package), 0u) << wstr::toUtf8(refused);
        EXPECT_TRUE(package.empty());
    }
}

} // namespace
