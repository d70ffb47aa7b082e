#include "app/Autorun.h"
#include "app/AppConfig.h"
#include "platform/DesktopEntry.h"

#include "tests/app/FakeApp.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include "tests/app/WstrPrint.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class AutorunTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("HOME", home.str()).set("XDG_CONFIG_HOME", home.str() + "/config");
    }
    std::filesystem::path entry() const {
        return home.path() / "config/autostart/Quorvalent.desktop";
    }

    qvtest::TempDir home;
    qvtest::ScopedEnv env;
    qvtest::LogRecords log;
};

TEST_F(AutorunTest, OnWritesAnEntryThatRunsTheBootstrap) {
    const wstr bootstrap = L"/opt/my \"apps\"/$HOME\\quorvalent";
    ASSERT_TRUE(Autorun::apply(true, bootstrap));
    Platform::DesktopEntry desktop;
    ASSERT_TRUE(desktop.load(entry().string()));
    EXPECT_EQ(desktop.value("Type"), "Application");
    auto args = Platform::DesktopEntry::splitExec(desktop.value("Exec"));
    ASSERT_TRUE(args);
    EXPECT_EQ(*args, (std::vector<std::string>{wstr::toUtf8(bootstrap), "--autorun"}));

    // Written again whatever it held.
    std::filesystem::resize_file(entry(), 0);
    ASSERT_TRUE(Autorun::apply(true, L"/opt/qv/quorvalent"));
    EXPECT_GT(std::filesystem::file_size(entry()), 0u);
    EXPECT_TRUE(log.all().empty());
}

TEST_F(AutorunTest, OffDeletesTheEntryAndAMissingOneIsSuccess) {
    ASSERT_TRUE(Autorun::apply(true, L"/opt/qv/quorvalent"));
    EXPECT_TRUE(Autorun::apply(false, L"/opt/qv/quorvalent"));
    EXPECT_FALSE(std::filesystem::exists(entry()));
    EXPECT_TRUE(Autorun::apply(false, L"/opt/qv/quorvalent"));
    EXPECT_TRUE(log.all().empty());
}

TEST_F(AutorunTest, FailuresAreWarnings) {
    home.write("config/autostart", "a file where the folder should be");
    const wstr folder = wstr::fromUtf8((home.path() / "config/autostart").c_str());
    EXPECT_FALSE(Autorun::apply(true, L"/opt/qv/quorvalent"));
    ASSERT_EQ(log.all().size(), 1u);
    EXPECT_TRUE(log.all()[0]->message.starts_with(L"Error while opening registry key \"" + folder +
                                                  L"\" (error "))
        << wstr::toUtf8(log.all()[0]->message);

    std::filesystem::remove(home.path() / "config/autostart");
    std::filesystem::create_directories(entry() / "busy");
    EXPECT_FALSE(Autorun::apply(false, L"/opt/qv/quorvalent"));
    EXPECT_TRUE(log.all().back()->message.starts_with(
        L"Error while removing key from the Registry (key: HKEY_CURRENT_USER\\" + folder +
        L"\\Quorvalent; error "))
        << wstr::toUtf8(log.all().back()->message);
}

TEST_F(AutorunTest, TheSettingAppliesThroughTheApplication) {
    AppConfig config;
    config.launchAtStartup = true;
    EXPECT_FALSE(config.applyLaunchAtStartup()) << "no application runs";

    DataFs::Folders folders;
    folders.bootstrap = L"/opt/qv/quorvalent";
    auto app = qvtest::FakeApp::install(folders);
    EXPECT_TRUE(config.applyLaunchAtStartup());
    EXPECT_TRUE(std::filesystem::exists(entry()));
    config.launchAtStartup = false;
    EXPECT_TRUE(config.applyLaunchAtStartup());
    EXPECT_FALSE(std::filesystem::exists(entry()));
}

} // namespace
