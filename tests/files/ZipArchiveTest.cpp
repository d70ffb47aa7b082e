#include "files/ZipArchive.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

#include "tests/files/ZipFixture.h"
#include "tests/support/TempDir.h"

namespace {

using qvtest::ZipItem;

wstr wide(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::string text(const ZipArchive::Extracted& extracted) {
    return std::string(extracted.bytes.begin(), extracted.bytes.end());
}

std::vector<wstr> names(ZipArchive& archive) {
    std::vector<wstr> result;
    for (const auto& entry : archive.entries())
        result.push_back(entry->name);
    return result;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    std::filesystem::path file = dir.path() / "p.quorvalent-package";
    ZipArchive archive;

    void write(const std::vector<ZipItem>& items) { qvtest::writeZip(file, items); }
    bool open() { return archive.open(wide(file)); }
};

TEST(ZipArchiveNames, NormalizeFoldsSeparators) {
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"a\\b.txt", L"a/b.txt"},
        {L"/a//b.txt/", L"a/b.txt"},
        {L"a/b.txt", L"a/b.txt"},
        {L"\\\\x\\\\", L"x"},
        {L"///", L""},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZipArchive::normalizeEntryName(c.in), wstr(c.out)) << wstr::toUtf8(c.in);
}

TEST(ZipArchiveNames, Cp437HighHalf) {
    EXPECT_EQ(ZipArchive::decodeCp437("a\x81\xE1\xFF", 4), wstr(L"a\u00FC\u00DF\u00A0"));
}

TEST_F(ZipArchiveTest, ListsFilesOnlyAndFindsThemUnderAnySpelling) {
    write({{"docs/", ""}, {"docs/a/", ""}, {"docs/a/b.txt", "bee"}, {"top.py", "print(1)"}});
    ASSERT_TRUE(open());
    EXPECT_EQ(names(archive), (std::vector<wstr>{L"docs/a/b.txt", L"top.py"}));
    for (const wchar_t* spelling : {L"docs\\a\\b.txt", L"/docs//a/b.txt/", L"docs/a/b.txt"}) {
        auto entry = archive.findEntry(spelling, true);
        ASSERT_TRUE(entry) << wstr::toUtf8(spelling);
        EXPECT_EQ(entry->size, 3u);
        EXPECT_EQ(text(archive.extract(entry)), "bee");
    }
    EXPECT_FALSE(archive.findEntry(L"DOCS/A/B.TXT", true));
    EXPECT_TRUE(archive.findEntry(L"DOCS/A/B.TXT", false));
}

TEST_F(ZipArchiveTest, EmptyEntryExtractsAsEmpty) {
    write({{"__init__.py", ""}});
    ASSERT_TRUE(open());
    auto extracted = archive.extract(archive.findEntry(L"__init__.py", true));
    EXPECT_TRUE(extracted.ok);
    EXPECT_TRUE(extracted.bytes.empty());
}

TEST_F(ZipArchiveTest, OpenRefusesWhatIsNoArchive) {
    dir.write("plain.txt", "not a zip at all, just some text that is long enough");
    EXPECT_FALSE(archive.open(wide(dir.path() / "plain.txt")));
    EXPECT_FALSE(archive.open(wide(dir.path())));
    EXPECT_FALSE(archive.open(wide(dir.path() / "missing.zip")));
    EXPECT_FALSE(archive.isOpen());
}

TEST_F(ZipArchiveTest, ReplacedArchiveIsReadAgain) {
    write({{"a.py", "old"}});
    ASSERT_TRUE(open());
    auto before = archive.findEntry(L"a.py", true);
    ASSERT_TRUE(before);
    write({{"new.py", "x"}, {"a.py", "replaced content"}});
    EXPECT_TRUE(archive.findEntry(L"new.py", true));
    // A record taken before the change is found again by its name.
    EXPECT_EQ(text(archive.extract(before)), "replaced content");
}

TEST_F(ZipArchiveTest, StaleRecordIsFoundAgainByNameWhenExtracted) {
    write({{"a.py", "first"}});
    ASSERT_TRUE(open());
    auto before = archive.findEntry(L"a.py", true);
    write({{"pad.txt", "padding"}, {"a.py", "second!"}});
    EXPECT_EQ(text(archive.extract(before)), "second!");
    write({{"pad.txt", "padding, longer"}});
    EXPECT_FALSE(archive.extract(before).ok);
}

TEST_F(ZipArchiveTest, DeletedArchiveFailsUntilRestored) {
    write({{"a.py", "one"}});
    ASSERT_TRUE(open());
    std::filesystem::remove(file);
    EXPECT_FALSE(archive.findEntry(L"a.py", true));
    EXPECT_TRUE(archive.entries().empty());
    write({{"a.py", "restored"}});
    auto entry = archive.findEntry(L"a.py", true);
    ASSERT_TRUE(entry);
    EXPECT_EQ(text(archive.extract(entry)), "restored");
}

TEST_F(ZipArchiveTest, NameEncodingFollowsTheUtf8Flag) {
    const std::string bytes = "\xC3\xBC.py";
    write({{bytes, "u", true}, {"x/" + bytes, "c"}});
    ASSERT_TRUE(open());
    EXPECT_EQ(names(archive), (std::vector<wstr>{L"\u00FC.py", L"x/\u251C\u255D.py"}));
}

TEST_F(ZipArchiveTest, CaseConflictIsNoticed) {
    write({{"Readme.txt", "a"}});
    ASSERT_TRUE(open());
    EXPECT_FALSE(archive.hasCaseConflict());
    write({{"Readme.txt", "a"}, {"README.TXT", "b"}});
    EXPECT_TRUE(archive.hasCaseConflict());
}

TEST_F(ZipArchiveTest, DamagedEntriesFailToExtract) {
    auto badCrc = qvtest::rawItem("crc.txt", "hello", 5);
    badCrc.rawCrc ^= 0x1;
    write({badCrc, qvtest::rawItem("short.txt", "hello", 9),
           qvtest::rawItem("good.txt", "hello", 5),
           qvtest::rawItem("huge.txt", "hello", uint64_t(1) << 33)});
    ASSERT_TRUE(open());
    EXPECT_FALSE(archive.extract(archive.findEntry(L"crc.txt", true)).ok);
    // Fewer bytes than declared is a failure, never zero padding.
    EXPECT_FALSE(archive.extract(archive.findEntry(L"short.txt", true)).ok);
    EXPECT_EQ(text(archive.extract(archive.findEntry(L"good.txt", true))), "hello");
    // A size above the limit, or above the cap without one, is refused unread.
    EXPECT_FALSE(archive.extract(archive.findEntry(L"good.txt", true), 4).ok);
    EXPECT_FALSE(archive.extract(archive.findEntry(L"huge.txt", true)).ok);
}

TEST_F(ZipArchiveTest, RecordOfAnotherDirectoryIsRefused) {
    write({{"aa.py", "one"}, {"bb.py", "two"}});
    ASSERT_TRUE(open());
    auto other = std::filesystem::path(dir.path() / "other.zip");
    qvtest::writeZip(other, {{"zz.py", "three"}, {"bb.py", "four"}});
    ZipArchive second;
    ASSERT_TRUE(second.open(wide(other)));
    // Same revision, same offset, another name: the offset alone must not decide.
    EXPECT_FALSE(archive.extract(second.findEntry(L"zz.py", true)).ok);
}

// Archives made by the zip program and by Python's zipfile read as zipfile
// reads them: stored, deflated, with data descriptors, ZIP64 records on small
// files (zip -fz), streamed, bzip2. A method the reader lacks (LZMA) is
// refused by name, never handed back as its compressed bytes.
TEST(ZipArchiveFormats, ReadsWhatZipfileReadsAndNamesWhatItCannot) {
    if (std::system("command -v zip >/dev/null") != 0)
        GTEST_SKIP() << "the zip program is missing (scripts/setup.sh installs it)";
    qvtest::TempDir dir;
    const std::string command =
        "/usr/bin/python3 " QV_TEST_DATA_DIR "/make_zip_table.py '" + dir.path().string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream manifest(dir.path() / "manifest");
    int rows = 0;
    std::set<std::string> labels;
    for (std::string line; std::getline(manifest, line); ++rows) {
        std::istringstream fields(line);
        std::string path, name;
        int method = -1;
        std::getline(fields, path, '\t');
        std::getline(fields, name, '\t');
        fields >> method;
        labels.insert(std::filesystem::path(path).stem());
        ZipArchive archive;
        ASSERT_TRUE(archive.open(wide(path))) << path;
        auto entry = archive.findEntry(wstr::fromUtf8(name.c_str()), true);
        ASSERT_TRUE(entry) << path << " " << name;
        std::ifstream expectedFile(path + ".d/" + name, std::ios::binary);
        std::string expected((std::istreambuf_iterator<char>(expectedFile)), {});
        EXPECT_EQ(entry->size, expected.size()) << path << " " << name;
        auto extracted = archive.extract(entry);
        if (method == 14) {
            EXPECT_FALSE(extracted.ok) << path << " " << name;
            EXPECT_TRUE(extracted.bytes.empty());
            EXPECT_NE(extracted.error.find(L"method 14 (LZMA)"), wstr::npos)
                << wstr::toUtf8(extracted.error);
            continue;
        }
        EXPECT_TRUE(extracted.ok) << path << " " << name << ": " << wstr::toUtf8(extracted.error);
        EXPECT_TRUE(text(extracted) == expected) << path << " " << name;
    }
    EXPECT_EQ(labels.size(), 9u);
    EXPECT_EQ(rows, 9 * 4);
}

} // namespace
