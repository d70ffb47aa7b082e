#include "files/FileScanner.h"

#include <algorithm>
#include <gtest/gtest.h>

#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

namespace {

wstr wide(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.c_str());
}

class FileScannerTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    wstr root = wide(dir.path());

    void SetUp() override {
        dir.write("a.ini", "");
        dir.write("B.INI", "");
        dir.write(".hidden.ini", "");
        dir.write("x[1].ini", "");
        dir.write("readme.txt", "");
        dir.write("sub/x.ini", "");
        dir.write("sub/deep/y.ini", "");
        dir.write(".hid/z.ini", "");
    }

    std::vector<wstr> scan(const wstr& pattern, uint32_t flags, uint32_t depth,
                           uint32_t expectStatus = 0) {
        std::vector<wstr> found;
        EXPECT_EQ(FileScanner::scan(found, root, pattern, flags, depth), expectStatus);
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_F(FileScannerTest, PatternsFlagsAndDepth) {
    using F = FileScanner::Flags;
    struct Case {
        const char* name;
        const wchar_t* pattern;
        uint32_t flags;
        uint32_t depth;
        std::vector<wstr> expected;
    } cases[] = {
        {"plain listing, bare names", L"*.ini", F::Files, 0, {L"B.INI", L"a.ini", L"x[1].ini"}},
        {"brackets are plain characters", L"x[1].*", F::Files, 0, {L"x[1].ini"}},
        {"hidden files with flag",
         L"*.ini",
         F::Files | F::Hidden,
         0,
         {L".hidden.ini", L"B.INI", L"a.ini", L"x[1].ini"}},
        {"case-sensitive walk", L"*.INI", F::Files | F::CaseSensitive, 0, {L"B.INI"}},
        {"one level down",
         L"*.ini",
         F::Files,
         1,
         {L".hid/z.ini", L"B.INI", L"a.ini", L"sub/x.ini", L"x[1].ini"}},
        {"unlimited, hidden folders descended",
         L"*.ini",
         F::Files,
         FileScanner::unlimitedDepth,
         {L".hid/z.ini", L"B.INI", L"a.ini", L"sub/deep/y.ini", L"sub/x.ini", L"x[1].ini"}},
        {"folders only in the walk",
         L"*",
         F::Folders,
         FileScanner::unlimitedDepth,
         {L".hid", L"sub", L"sub/deep"}},
        {"no match", L"*.none", F::Files, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan(c.pattern, c.flags, c.depth), c.expected) << c.name;
}

TEST_F(FileScannerTest, MissingRootIsPathNotFound) {
    std::vector<wstr> found;
    EXPECT_EQ(FileScanner::scan(found, root + L"/missing", L"*", FileScanner::Files, 0), 3u);
    EXPECT_EQ(FileScanner::scan(found, root + L"/a.ini", L"*", FileScanner::Files, 0), 3u);
    EXPECT_EQ(FileScanner::scan(found, root + L"/missing", L"*", FileScanner::Files, 5), 3u);
    EXPECT_TRUE(found.empty());
}

TEST_F(FileScannerTest, CallbackCanStopTheWalk) {
    int seen = 0;
    auto status = FileScanner::scanRecursive(
        [&](const wstr&, uint32_t, const FileScanner::Found&) { return ++seen < 2; }, root, wstr(),
        FileScanner::Files, FileScanner::unlimitedDepth, 0);
    EXPECT_EQ(status, FileScanner::stoppedByCallback);
    EXPECT_EQ(seen, 2);
}

TEST(FileScannerDepth, DeeperThanFiftyLevelsWarnsOnceAndKeepsWhatWasFound) {
    qvtest::TempDir dir;
    std::string path;
    for (int level = 0; level < 55; ++level) {
        path += "d/";
        dir.write(path + "f.txt", "");
    }
    qvtest::LogRecords records;
    std::vector<wstr> found;
    EXPECT_EQ(FileScanner::scan(found, wide(dir.path()), L"*.txt", FileScanner::Files,
                                FileScanner::unlimitedDepth),
              0u);
    EXPECT_EQ(found.size(), 49u);
    int warnings = 0;
    for (const auto& item : records.all())
        warnings += item->message.find(L"Reached maximum scan recursion limit (50)") == 0;
    EXPECT_EQ(warnings, 1);
}

// A link back to an ancestor used to drive the walk to the level limit, which
// ended the whole walk: folders after the loop went missing.
TEST(FileScannerLoops, ALinkLoopIsSkippedOnceAndTheWalkGoesOn) {
    qvtest::TempDir dir;
    dir.write("a/loop-target.txt", "");
    dir.write("z/after.txt", "");
    std::filesystem::create_directory_symlink("..", dir.path() / "a" / "back");
    std::filesystem::create_directory_symlink(dir.path() / "z", dir.path() / "a" / "toz");
    qvtest::LogRecords records;
    std::vector<wstr> found;
    EXPECT_EQ(FileScanner::scan(found, wide(dir.path()), L"*.txt", FileScanner::Files,
                                FileScanner::unlimitedDepth),
              0u);
    std::sort(found.begin(), found.end());
    // A link to a folder that is no ancestor is walked as usual.
    EXPECT_EQ(found, (std::vector<wstr>{L"a/loop-target.txt", L"a/toz/after.txt", L"z/after.txt"}));
    int loops = 0;
    for (const auto& item : records.all()) {
        EXPECT_EQ(item->message.find(L"Reached maximum"), wstr::npos) << wstr::toUtf8(item->message);
        loops += item->message.find(L"Skipped a folder link that loops back") == 0;
    }
    EXPECT_EQ(loops, 1);
}

// A name that is no UTF-8 reads with U+FFFD in it, which names nothing on
// disk: a folder so named failed to open with a warning at every scan.
TEST(FileScannerNames, NamesThatAreNotUtf8AreSkippedAndWarnedOnce) {
    qvtest::TempDir dir;
    dir.write("ok.py", "");
    dir.write("caf\xE9.py", "");
    dir.write("d\xE9j\xE0/inner.py", "");
    qvtest::LogRecords records;
    for (int scan = 0; scan < 3; ++scan) {
        std::vector<wstr> found;
        EXPECT_EQ(FileScanner::scan(found, wide(dir.path()), L"*", FileScanner::Files,
                                    FileScanner::unlimitedDepth),
                  0u);
        EXPECT_EQ(found, std::vector<wstr>{L"ok.py"});
    }
    int skipped = 0;
    for (const auto& item : records.all()) {
        EXPECT_EQ(item->message.find(L"Reached maximum"), wstr::npos) << wstr::toUtf8(item->message);
        skipped += item->message.starts_with(L"Skipped a file name that is not UTF-8 in ");
    }
    EXPECT_EQ(skipped, 2);
}

} // namespace
