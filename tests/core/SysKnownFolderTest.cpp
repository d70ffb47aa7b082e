#include "core/SysKnownFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "core/SysInfo.h"
#include "platform/Error.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

using Sys::KnownFolder;

class KnownFolders : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("HOME", home())
            .set("XDG_CONFIG_HOME", root.str() + "/config")
            .set("XDG_DATA_HOME", root.str() + "/data")
            .unset("XDG_STATE_HOME")
            .set("XDG_CONFIG_DIRS", root.str() + "/etc:/etc/xdg")
            .set("XDG_DATA_DIRS", "/usr/local/share/:" + root.str() + "/share/");
        root.write("config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                            "XDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\n"
                                            "XDG_MUSIC_DIR=\"" +
                                                root.str() +
                                                "/music\"\n"
                                                "XDG_VIDEOS_DIR=\"relative\"\n"
                                                "  XDG_DOWNLOAD_DIR=\"$HOME/Down\\\"loads\"\n");
    }
    std::string home() const { return root.str() + "/home"; }
    wstr path(const std::string& p) const { return wstr::fromUtf8(p.c_str()); }

    qvtest::TempDir root;
    qvtest::ScopedEnv env;
};

TEST_F(KnownFolders, BaseAndUserFolders) {
    struct Case {
        KnownFolder folder;
        std::string path;
    };
    const Case cases[] = {
        {KnownFolder::Profile, home()},
        {KnownFolder::LocalAppData, home() + "/.local/state"},
        {KnownFolder::RoamingAppData, root.str() + "/config"},
        {KnownFolder::Desktop, home() + "/Desktop"},
        {KnownFolder::Documents, home() + "/My Docs"},
        {KnownFolder::Downloads, home() + "/Down\"loads"},
        {KnownFolder::Music, root.str() + "/music"},
        {KnownFolder::StartMenu, root.str() + "/data/applications"},
        {KnownFolder::Programs, root.str() + "/data/applications"},
        {KnownFolder::CommonStartMenu, root.str() + "/share/applications"},
        {KnownFolder::Startup, root.str() + "/config/autostart"},
        {KnownFolder::CommonStartup, root.str() + "/etc/autostart"},
    };
    for (const auto& c : cases) {
        int32_t hresult = -1;
        EXPECT_EQ(Sys::knownFolderPath(c.folder, false, &hresult), path(c.path)) << c.path;
        EXPECT_EQ(hresult, 0) << c.path;
    }
    env.set("XDG_STATE_HOME", root.str() + "/state");
    EXPECT_EQ(Sys::knownFolderPath(KnownFolder::LocalAppData, false), path(root.str() + "/state"));
}

TEST_F(KnownFolders, UnsetAndMeaninglessFolders) {
    int32_t hresult = 0;
    for (KnownFolder folder : {KnownFolder::Videos, KnownFolder::Pictures}) {
        EXPECT_EQ(Sys::knownFolderPath(folder, false, &hresult), L"");
        EXPECT_EQ(hresult, Sys::hresultFromError(Platform::ERROR_FILE_NOT_FOUND));
    }
    for (KnownFolder folder : {KnownFolder::Windows, KnownFolder::ProgramFilesX86,
                               KnownFolder::PublicDesktop, KnownFolder::SkyDrive}) {
        EXPECT_EQ(Sys::knownFolderPath(folder, false, &hresult), L"");
        EXPECT_EQ(hresult, Sys::hresultFromError(Platform::ERROR_NOT_SUPPORTED));
        EXPECT_EQ(Platform::lastError(), Platform::ERROR_NOT_SUPPORTED);
    }
}

TEST_F(KnownFolders, VerifyWantsAnExistingFolder) {
    int32_t hresult = 0;
    EXPECT_EQ(Sys::knownFolderPath(KnownFolder::Desktop, true, &hresult), L"");
    EXPECT_EQ(hresult, Sys::hresultFromError(Platform::ERROR_FILE_NOT_FOUND));
    std::filesystem::create_directories(home() + "/Desktop");
    EXPECT_EQ(Sys::knownFolderPath(KnownFolder::Desktop, true, &hresult),
              path(home() + "/Desktop"));
    EXPECT_EQ(hresult, 0);
}

} // namespace
