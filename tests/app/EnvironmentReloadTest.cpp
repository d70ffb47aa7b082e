#include "app/App.h"
#include "app/EnvironmentSource.h"

#include "tests/support/QtTestApp.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

extern char** environ;

namespace {

// A source that answers with a fixed block, or fails.
class FixedSource : public EnvironmentSource {
public:
    std::optional<std::vector<wstr>> block;
    bool read(std::vector<wstr>& out) override {
        if (!block)
            return false;
        out = *block;
        return true;
    }
};

std::vector<wstr> currentBlock() {
    std::vector<wstr> block;
    for (char** entry = environ; *entry; ++entry)
        block.push_back(wstr::fromUtf8(*entry));
    return block;
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "<unset>";
}

// Installs the source for one test and puts the process environment back.
class EnvironmentReload : public testing::Test {
protected:
    void SetUp() override {
        original_ = currentBlock();
        EnvironmentSource::install(source);
    }
    void TearDown() override {
        source->block = original_;
        App::reloadEnvironment();
        EnvironmentSource::install(nullptr);
    }

    std::shared_ptr<FixedSource> source = std::make_shared<FixedSource>();
    std::vector<wstr> original_;
};

} // namespace

TEST_F(EnvironmentReload, TheProcessTakesTheSourcesEnvironment) {
    auto block = original_;
    block.push_back(L"QV_RELOAD_ADDED=1");
    block.push_back(L"QV_RELOAD_EQUALS=a=b");
    block.push_back(L"no separator");
    block.push_back(L"=hidden");
    source->block = block;
    std::map<wstr, wstr> variables;
    EXPECT_EQ(App::reloadEnvironment(&variables), 1);
    EXPECT_EQ(env("QV_RELOAD_ADDED"), "1");
    EXPECT_EQ(env("QV_RELOAD_EQUALS"), "a=b") << "split at the first '='";
    EXPECT_EQ(variables[L"QV_RELOAD_EQUALS"], L"a=b");
    EXPECT_EQ(variables.size(), original_.size() + 2) << "entries without a name are skipped";

    EXPECT_EQ(App::reloadEnvironment(&variables), 0) << "the same environment again";
    EXPECT_EQ(variables[L"QV_RELOAD_ADDED"], L"1") << "the map is filled in any case";

    block.erase(block.begin() + static_cast<long>(original_.size()));
    source->block = block;
    EXPECT_EQ(App::reloadEnvironment(), 1);
    EXPECT_EQ(env("QV_RELOAD_ADDED"), "<unset>") << "a variable gone from the source goes";
}

TEST_F(EnvironmentReload, AChangedValueIsAChange) {
    auto block = original_;
    block.push_back(L"QV_RELOAD_VALUE=old");
    source->block = block;
    App::reloadEnvironment();
    block.back() = L"QV_RELOAD_VALUE=new";
    block.push_back(L"QV_RELOAD_VALUE=newest");
    source->block = block;
    EXPECT_EQ(App::reloadEnvironment(), 1);
    EXPECT_EQ(env("QV_RELOAD_VALUE"), "newest") << "a later entry of the same name wins";
}

TEST_F(EnvironmentReload, ASilentSourceChangesNothing) {
    source->block.reset();
    setenv("QV_RELOAD_KEPT", "1", 1);
    std::map<wstr, wstr> variables{{L"stale", L"x"}};
    EXPECT_EQ(App::reloadEnvironment(&variables), -1);
    EXPECT_TRUE(variables.empty());
    EXPECT_EQ(env("QV_RELOAD_KEPT"), "1");
    unsetenv("QV_RELOAD_KEPT");
}

TEST(SystemEnvironmentSource, TheUserManagersEnvironmentElseTheOneAtStart) {
    qvtest::qtApp();
    qvtest::TempDir dir;
    qvtest::ScopedEnv env;
    env.set("PATH", (dir.path() / "bin").string()).set("QV_AT_START", "1");
    SystemEnvironmentSource source;
    env.set("QV_AFTER_START", "1");

    const auto busctl = dir.write("bin/busctl", "#!/bin/sh\necho '{\"type\":\"as\",\"data\":"
                                                "[\"HOME=/home/u\",\"LANG=C.UTF-8\"]}'\n");
    std::filesystem::permissions(busctl, std::filesystem::perms::owner_all);
    std::vector<wstr> block;
    ASSERT_TRUE(source.read(block));
    EXPECT_EQ(block, (std::vector<wstr>{L"HOME=/home/u", L"LANG=C.UTF-8"}));

    dir.write("bin/busctl", "#!/bin/sh\nexit 1\n");
    ASSERT_TRUE(source.read(block));
    EXPECT_NE(std::find(block.begin(), block.end(), L"QV_AT_START=1"), block.end());
    EXPECT_EQ(std::find(block.begin(), block.end(), L"QV_AFTER_START=1"), block.end())
        << "the environment the program started with";
}
