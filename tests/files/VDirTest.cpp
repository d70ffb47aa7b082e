#include "files/VDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/files/ZipFixture.h"
#include "tests/support/TempDir.h"

namespace {

wstr wide(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::string text(const VDir::ReadResult& result) {
    return std::string(result.bytes.begin(), result.bytes.end());
}

class VDirTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    std::filesystem::path folder = dir.path() / "pack";
    std::filesystem::path archive = dir.path() / "pack.quorvalent-package";

    void SetUp() override {
        dir.write("pack/Main.py", "print('main')");
        dir.write("pack/Sub/Deep/a.py", "a");
        dir.write("pack/__init__.py", "");
        dir.write("pack/.hidden.py", "h");
        qvtest::writeZip(
            archive,
            {{"Main.py", "print('zip')"}, {"sub/", ""}, {"sub/a.py", "za"}, {"empty.py", ""}});
    }
};

TEST_F(VDirTest, CreatePicksTheKind) {
    dir.write("plain.txt", "text, not an archive");
    EXPECT_FALSE(VDir::create(wide(dir.path() / "plain.txt")));
    EXPECT_FALSE(VDir::create(wide(dir.path() / "missing")));
    auto phys = VDir::create(wide(folder));
    ASSERT_TRUE(phys);
    EXPECT_EQ(phys->type(), VDir::Phys);
    EXPECT_FALSE(phys->isCaseSensitive());
    auto zip = VDir::create(wide(archive));
    ASSERT_TRUE(zip);
    EXPECT_EQ(zip->type(), VDir::Zip);
    EXPECT_EQ(zip->path(), wide(archive));
}

TEST_F(VDirTest, FolderLookupsFoldCaseAndAnswerWithTheNameOnDisk) {
    auto vdir = VDir::create(wide(folder));
    EXPECT_EQ(vdir->findFile(L"main.PY"), L"Main.py");
    EXPECT_EQ(vdir->findFile(L"sub\\DEEP//A.py"), L"Sub/Deep/a.py");
    EXPECT_EQ(vdir->findFile(L"sub/deep/a.py", true), L"");
    EXPECT_EQ(vdir->findFile(L"Sub/Deep/a.py", true), L"Sub/Deep/a.py");
    EXPECT_EQ(vdir->findFile(L"M*.py", true), L"");
    EXPECT_EQ(vdir->findFile(L"sub"), L""); // a folder is no file
    EXPECT_EQ(text(vdir->readFile(L"SUB/deep/A.PY", 0)), "a");
    auto info = vdir->stat(L"main.py");
    EXPECT_TRUE(info.exists && info.onDisk);
    EXPECT_EQ(info.name, L"Main.py");
    EXPECT_EQ(info.folder, wide(folder));
    EXPECT_EQ(info.size, 13u);
    EXPECT_FALSE(vdir->stat(L"nothing.py").exists);
}

TEST_F(VDirTest, FolderReadStatuses) {
    auto vdir = VDir::create(wide(folder));
    EXPECT_EQ(vdir->readFile(L"Main.py", 0).status, VDir::ReadResult::Done);
    EXPECT_EQ(vdir->readFile(L"Main.py", 13).status, VDir::ReadResult::Done);
    auto tooLarge = vdir->readFile(L"Main.py", 12);
    EXPECT_EQ(tooLarge.status, VDir::ReadResult::TooLarge);
    EXPECT_TRUE(tooLarge.bytes.empty());
    EXPECT_EQ(vdir->readFile(L"none.py", 0).status, VDir::ReadResult::NoSuchFile);
    // An empty module is a module, as it is in an archive.
    auto empty = vdir->readFile(L"__init__.py", 0);
    EXPECT_EQ(empty.status, VDir::ReadResult::Done);
    EXPECT_TRUE(empty.bytes.empty());
    chmod((folder / "Main.py").c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(vdir->readFile(L"Main.py", 0).status, VDir::ReadResult::ReadFailed);
    }
    EXPECT_TRUE(vdir->stat(L"Main.py").readOnly);
}

TEST_F(VDirTest, ListingsOfBothKinds) {
    auto phys = VDir::create(wide(folder));
    auto zip = VDir::create(wide(archive));
    EXPECT_EQ(phys->listFiles(L"*.py", false), (std::vector<wstr>{L"Main.py", L"__init__.py"}));
    EXPECT_EQ(phys->listFiles(L"a.py", true), std::vector<wstr>{L"Sub/Deep/a.py"});
    EXPECT_TRUE(phys->listFiles(L"a.py", false).empty());
    EXPECT_EQ(zip->listFiles(L"*", true),
              (std::vector<wstr>{L"Main.py", L"sub/a.py", L"empty.py"}));
    EXPECT_EQ(zip->listFiles(L"a.py", true), std::vector<wstr>{L"sub/a.py"});
    EXPECT_TRUE(zip->listFiles(L"a.py", false).empty());
    EXPECT_EQ(zip->listFiles(L"MAIN.PY", false, true), std::vector<wstr>{});
    EXPECT_EQ(zip->listFiles(L"MAIN.PY", false, false), std::vector<wstr>{L"Main.py"});
}

// Names that climb out of the package or are absolute name nothing, in a
// folder as in an archive; a link is followed only while it stays inside.
TEST_F(VDirTest, NamesAndLinksNeverLeaveThePackage) {
    dir.write("secret.txt", "outside");
    dir.write("pack/Sub/inside.txt", "inside");
    std::filesystem::create_symlink(dir.path() / "secret.txt", folder / "linked.txt");
    std::filesystem::create_symlink("Sub/inside.txt", folder / "near.txt");
    std::filesystem::create_directory_symlink(dir.path(), folder / "up");
    qvtest::writeZip(archive, {{"Main.py", "zip"}});
    auto phys = VDir::create(wide(folder));
    auto zip = VDir::create(wide(archive));
    const std::vector<wstr> escaping = {
        L"../secret.txt",  L"Sub/../../secret.txt",
        L"..\\secret.txt", wide(dir.path() / "secret.txt"),
        L"/etc/hostname",  L"linked.txt",
        L"up/secret.txt",  L"\\etc\\hostname",
    };
    for (const auto& name : escaping) {
        for (const auto& vdir : {phys, zip}) {
            EXPECT_EQ(vdir->findFile(name), L"") << wstr::toUtf8(name);
            EXPECT_EQ(vdir->readFile(name, 0).status, VDir::ReadResult::NoSuchFile)
                << wstr::toUtf8(name);
            EXPECT_FALSE(vdir->stat(name).exists) << wstr::toUtf8(name);
        }
    }
    EXPECT_EQ(text(phys->readFile(L"near.txt", 0)), "inside");
    auto listed = phys->listFiles(L"*.txt", true);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<wstr>{L"Sub/inside.txt", L"near.txt"}));
}

// A FIFO would block the reader for ever, a device would never end.
TEST_F(VDirTest, OnlyRegularFilesAreRead) {
    ASSERT_EQ(mkfifo((folder / "pipe.txt").c_str(), 0600), 0);
    auto vdir = VDir::create(wide(folder));
    EXPECT_EQ(vdir->readFile(L"pipe.txt", 0).status, VDir::ReadResult::NotRegular);
}

TEST_F(VDirTest, ArchiveReadsAndStats) {
    auto zip = VDir::create(wide(archive));
    EXPECT_EQ(text(zip->readFile(L"main.py", 0)), "print('zip')");
    EXPECT_EQ(zip->readFile(L"main.py", 11).status, VDir::ReadResult::TooLarge);
    EXPECT_EQ(zip->readFile(L"gone.py", 0).status, VDir::ReadResult::NoSuchFile);
    auto empty = zip->readFile(L"empty.py", 0);
    EXPECT_EQ(empty.status, VDir::ReadResult::Done);
    EXPECT_TRUE(empty.bytes.empty());
    auto info = zip->stat(L"SUB\\A.PY");
    EXPECT_TRUE(info.exists && info.readOnly);
    EXPECT_FALSE(info.onDisk);
    EXPECT_EQ(info.name, L"sub/a.py");
    EXPECT_EQ(info.size, 2u);
    EXPECT_FALSE(zip->stat(L"sub").exists);
}

TEST_F(VDirTest, ArchiveCaseRuleFollowsItsNames) {
    qvtest::writeZip(archive, {{"Readme.txt", "a"}});
    auto zip = VDir::create(wide(archive));
    EXPECT_FALSE(zip->isCaseSensitive());
    EXPECT_EQ(zip->findFile(L"readme.txt"), L"Readme.txt");
    qvtest::writeZip(archive, {{"Readme.txt", "a"}, {"README.TXT", "b"}});
    EXPECT_TRUE(zip->isCaseSensitive());
    EXPECT_EQ(zip->findFile(L"readme.txt"), L"");
    EXPECT_EQ(text(zip->readFile(L"README.TXT", 0)), "b");
}

} // namespace
