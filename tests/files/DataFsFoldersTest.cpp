#include "files/DataFs.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

#include "core/SysInfo.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::string narrow(const wstr& text) {
    return wstr::toUtf8(text);
}

// An install tree <root>/inst with the program at bin/x64 and the bootstrap
// beside it, XDG folders pointing into the temporary folder.
class DataFsFolders : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    fs::path install = dir.path() / "inst";
    fs::path program = install / "bin" / "x64" / "quorvalent";
    qvtest::ScopedEnv env;

    void SetUp() override {
        dir.write("inst/bin/x64/quorvalent", "program");
        dir.write("inst/quorvalent", "bootstrap");
        env.set("XDG_STATE_HOME", (dir.path() / "xdg" / "state").string());
        env.set("XDG_CONFIG_HOME", (dir.path() / "xdg" / "config").string());
    }

    bool resolve(DataFs::Folders& folders) {
        return DataFs::resolveFolders(wide(program), folders);
    }

    std::string failure() {
        DataFs::Folders folders;
        try {
            resolve(folders);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no failure";
    }
};

TEST_F(DataFsFolders, InstalledModeUsesXdgFoldersAndCreatesEverything) {
    DataFs::Folders f;
    EXPECT_FALSE(resolve(f));
    EXPECT_EQ(narrow(f.install), install.string());
    EXPECT_EQ(narrow(f.bootstrap), (install / "quorvalent").string());
    EXPECT_EQ(narrow(f.local), (dir.path() / "xdg/state/Quorvalent").string());
    EXPECT_EQ(narrow(f.profile), (dir.path() / "xdg/config/Quorvalent").string());
    EXPECT_TRUE(f.defaultDir.empty() && f.defaultApp.empty() && f.defaultPackages.empty());
    for (const wstr* folder : {&f.local, &f.localApp, &f.localPackages, &f.profile, &f.profileUser,
                               &f.profileInstalledPackages, &f.profilePackages})
        EXPECT_TRUE(fs::is_directory(narrow(*folder))) << narrow(*folder);
    EXPECT_EQ(narrow(f.profileInstalledPackages),
              (dir.path() / "xdg/config/Quorvalent/InstalledPackages").string());
}

TEST_F(DataFsFolders, DefaultFoldersAreKeptOnlyWhenPresent) {
    fs::create_directories(install / "default" / "Packages");
    DataFs::Folders f;
    resolve(f);
    EXPECT_EQ(narrow(f.defaultDir), (install / "default").string());
    EXPECT_TRUE(f.defaultApp.empty());
    EXPECT_EQ(narrow(f.defaultPackages), (install / "default/Packages").string());
}

TEST_F(DataFsFolders, PortableIniWinsOverPortableFolder) {
    fs::create_directories(install / "portable");
    fs::create_directories(dir.path() / "data");
    env.set("QV_TEST_DATA", (dir.path() / "data").string());
    dir.write("inst/portable.ini", "PORTABLE_DIR = %QV_TEST_DATA%\n");
    DataFs::Folders f;
    EXPECT_TRUE(resolve(f));
    EXPECT_EQ(narrow(f.local), (dir.path() / "data/Local").string());
    EXPECT_EQ(narrow(f.profileUser), (dir.path() / "data/Profile/User").string());
    EXPECT_TRUE(fs::is_directory(dir.path() / "data/Profile/Packages"));
}

TEST_F(DataFsFolders, PortableFolderAndRelativePortableDir) {
    fs::create_directories(install / "portable");
    DataFs::Folders f;
    EXPECT_TRUE(resolve(f));
    EXPECT_EQ(narrow(f.profile), (install / "portable/Profile").string());

    fs::create_directories(install / "rel");
    dir.write("inst/portable.ini", "\xEF\xBB\xBFportable_dir=rel\n");
    EXPECT_TRUE(resolve(f));
    EXPECT_EQ(narrow(f.local), (install / "rel/Local").string());
}

TEST_F(DataFsFolders, PortableIniAsFolderIsIgnored) {
    fs::create_directories(install / "portable.ini");
    DataFs::Folders f;
    EXPECT_FALSE(resolve(f));
}

TEST_F(DataFsFolders, Failures) {
    const std::string noValue =
        "portable.ini file found but does not contain a portable_dir value.\nPlease delete the "
        "file or specify a portable_dir value.";
    struct Case {
        const char* name;
        std::string ini;
        std::string message;
    } cases[] = {
        {"key after a section", "[s]\nportable_dir=x\n", noValue},
        {"empty file", "", noValue},
        {"missing folder", "portable_dir=nowhere\n",
         "The portable_dir specified in " + (install / "portable.ini").string() +
             " was not found or is not a directory:\n" + (install / "nowhere").string()},
        {"UTF-16 with a lone lead surrogate", std::string("\xFF\xFE\x61\x00\x00\xD8", 6),
         "Failed to decode " + (install / "portable.ini").string() +
             ". Error: Invalid UTF-16 encoding detected in \"" +
             (install / "portable.ini").string() + "\""},
    };
    for (const auto& c : cases) {
        dir.write("inst/portable.ini", c.ini);
        EXPECT_EQ(failure(), c.message) << c.name;
    }
    fs::remove(install / "portable.ini");
    fs::remove(install / "quorvalent");
    fs::create_directories(install / "quorvalent");
    EXPECT_EQ(failure(), "Bootstrap executable not found. Please reinstall the application.");
    program = dir.path() / "gone" / "bin" / "x64" / "quorvalent";
    EXPECT_EQ(failure(), "Failed to find install folder. Please reinstall the application.");
}

TEST_F(DataFsFolders, OversizedPortableIniReadsAsEmpty) {
    std::string big(16777216, '#');
    big += "\nportable_dir=.\n";
    dir.write("inst/portable.ini", big);
    EXPECT_NE(failure().find("does not contain a portable_dir value"), std::string::npos);
}

TEST(DataFsNames, Builders) {
    DataFs::Folders f;
    f.program = L"/opt/qv/bin/x64/quorvalent";
    f.defaultApp = L"/opt/qv/default/App";
    f.local = L"/l";
    f.profileUser = L"/p/User";
    wstr computer = Sys::computerName();
    wstr user = Sys::userName();
    wstr lc = wstr::lowerCopy(computer);
    wstr lu = wstr::lowerCopy(user);
    EXPECT_EQ(DataFs::logFilePath(f), L"/l/Quorvalent." + lc + L".log");
    EXPECT_EQ(DataFs::catalogFilePath(f), L"/l/Quorvalent." + lc + L".catalog");
    EXPECT_EQ(DataFs::stateFilePath(f, false), L"/l/Quorvalent.state");
    EXPECT_EQ(DataFs::stateFilePath(f, true), L"/l/Quorvalent." + lu + L"@" + lc + L".state");
    EXPECT_EQ(DataFs::editorExePath(f), L"/opt/qv/bin/x64/notepad2/Notepad2.exe");
    EXPECT_EQ(DataFs::defaultEditorConfigPath(f), L"/opt/qv/default/App/Notepad2.ini");
    EXPECT_EQ(DataFs::userEditorConfigPath(f), L"/p/User/Quorvalent-Notepad2.ini");
    EXPECT_EQ(DataFs::appConfigFiles(f),
              (std::vector<wstr>{L"/opt/qv/default/App/Quorvalent.ini", L"/p/User/Quorvalent.ini",
                                 L"/p/User/Quorvalent.@" + computer + L".ini",
                                 L"/p/User/Quorvalent." + user + L".ini",
                                 L"/p/User/Quorvalent." + user + L"@" + computer + L".ini"}));
    f.defaultApp.clear();
    EXPECT_EQ(DataFs::appConfigFiles(f).front(), L"Quorvalent.ini");
    EXPECT_EQ(DataFs::configFileVariants(L"MyPack", false), std::vector<wstr>{L"mypack.ini"});
    EXPECT_EQ(
        DataFs::configFileVariants(L"MyPack", true),
        (std::vector<wstr>{L"mypack.ini", L"mypack.@" + lc + L".ini", L"mypack." + lu + L".ini",
                           L"mypack." + lu + L"@" + lc + L".ini"}));
}

} // namespace
