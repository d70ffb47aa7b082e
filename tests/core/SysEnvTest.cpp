#include "core/SysEnv.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "core/Event.h"
#include "platform/Environment.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

void writeProgram(const qvtest::TempDir& dir, const std::string& name, bool executable = true) {
    fs::path file = dir.write(name, "#!/bin/sh\n");
    fs::permissions(file, executable ? fs::perms::owner_all
                                     : fs::perms::owner_read | fs::perms::owner_write);
}

TEST(SysEnv, ExpandEnvVars) {
    qvtest::ScopedEnv env;
    env.set("QV_HOME", "/home/q").set("QV_Mixed", "m").set("QV_EMPTY", "").unset("QV_UNSET");
    struct Case {
        const wchar_t* text;
        const wchar_t* expanded;
    };
    const Case cases[] = {
        {L"%QV_HOME%/x", L"/home/q/x"},
        {L"%qv_home%", L"/home/q"}, // not found as written: looked up without case
        {L"%QV_MIXED%", L"m"},
        {L"[%QV_EMPTY%]", L"[]"},
        {L"%QV_UNSET%", L"%QV_UNSET%"},
        {L"%QV_UNSET%QV_HOME%", L"%QV_UNSET/home/q"}, // the closing '%' may open the next name
        {L"100%", L"100%"},
        {L"%%", L"%%"},
        {L"%%QV_HOME%", L"%/home/q"},
        {L"a%QV_HOME%b%QV_HOME%c", L"a/home/qb/home/qc"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sys::expandEnvVars(c.text), c.expanded) << c.text;
        wstr inPlace = c.text;
        Sys::expandEnvVarsInPlace(inPlace);
        EXPECT_EQ(inPlace, c.expanded) << c.text;
    }
}

TEST(SysEnv, EnvironmentBlockUpperCasesNames) {
    qvtest::ScopedEnv env;
    env.set("qv_lower", "value=with=equals");
    Sys::EnvironmentMap block = Sys::environmentBlock();
    ASSERT_TRUE(block.count(L"QV_LOWER"));
    EXPECT_EQ(block[L"QV_LOWER"], L"value=with=equals");
    EXPECT_FALSE(block.count(L"qv_lower"));
}

// Lookups read the program's table while another thread replaces it, as an
// environment reload does; the process environment is never changed.
TEST(SysEnv, LookupsWhileTheEnvironmentIsReplaced) {
    const Platform::env::Variables saved = Platform::env::all();
    Event reading(false);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            Sys::expandEnvVars(L"%qv_sysenv_race%");
            Sys::environmentBlock();
            reading.set();
        }
    });
    ASSERT_EQ(reading.wait(5000), Platform::WAIT_OBJECT_0);
    for (int round = 0; round < 20; ++round) {
        Platform::env::Variables next = saved;
        for (int i = 0; i < (round % 2 ? 1 : 300); ++i)
            next["QV_SYSENV_FILL" + std::to_string(i)] = "x";
        next["QV_SYSENV_RACE"] = std::to_string(round);
        Platform::env::replace(next);
        reading.reset();
        ASSERT_EQ(reading.wait(5000), Platform::WAIT_OBJECT_0);
        EXPECT_EQ(Sys::expandEnvVars(L"%qv_sysenv_race%"), std::to_wstring(round));
    }
    done = true;
    reader.join();
    Platform::env::replace(saved);
    EXPECT_EQ(std::getenv("QV_SYSENV_RACE"), nullptr);
}

// Relative parts would look in the current folder.
TEST(SysEnv, SearchPathKeepsExistingFoldersInOrder) {
    qvtest::TempDir a, b;
    qvtest::ScopedEnv env;
    env.set("PATH", b.str() + "::.:" + a.str() + ":" + a.str() + "/missing:./:" + b.str() + "/");
    EXPECT_EQ(Sys::searchPath(),
              (std::vector<wstr>{wide(b.path()), wide(a.path()), wide(b.path()) + L"/"}));
    env.unset("PATH");
    EXPECT_TRUE(Sys::searchPath().empty());
}

TEST(SysEnv, PathExtensionsGetTheirDot) {
    qvtest::ScopedEnv env;
    env.set("PATHEXT", ".EXE;COM;;.Bat");
    EXPECT_EQ(Sys::pathExtensions(), (std::vector<wstr>{L".EXE", L".COM", L".Bat"}));
    env.unset("PATHEXT");
    EXPECT_TRUE(Sys::pathExtensions().empty());
}

TEST(SysEnv, HasExtensionIn) {
    EXPECT_TRUE(Path::hasExtensionIn(L"tool.EXE", {L".com", L".exe"}));
    EXPECT_FALSE(Path::hasExtensionIn(L"tool", {L".exe"}));
    EXPECT_FALSE(Path::hasExtensionIn(L"tool.sh", {L".exe"}));
    EXPECT_FALSE(Path::hasExtensionIn(L".exe", {L".exe"}));
}

class ResolveExecutable : public ::testing::Test {
protected:
    void SetUp() override {
        writeProgram(first, "tool");
        writeProgram(second, "tool");
        writeProgram(second, "other.sh");
        writeProgram(first, "plain.txt", false);
        fs::create_directories(first.path() / "folder");
        fs::permissions(first.path() / "folder", fs::perms::owner_all);
        env.set("PATH", first.str() + ":" + second.str()).unset("PATHEXT");
    }

    qvtest::TempDir first, second;
    qvtest::ScopedEnv env;
};

TEST_F(ResolveExecutable, BareNamesFollowTheFolderOrder) {
    EXPECT_EQ(Sys::resolveExecutable(L"  tool ", {}, {}), wide(first.path() / "tool"));
    EXPECT_EQ(Sys::resolveExecutable(L"tool", {wide(second.path())}, {}),
              wide(second.path() / "tool"));
    EXPECT_EQ(Sys::resolveExecutable(L"other.sh", {}, {}), wide(second.path() / "other.sh"));
}

TEST_F(ResolveExecutable, OnlyExecutableRegularFiles) {
    EXPECT_EQ(Sys::resolveExecutable(L"plain.txt", {}, {}), L"");
    EXPECT_EQ(Sys::resolveExecutable(L"folder", {}, {}), L"");
    EXPECT_EQ(Sys::resolveExecutable(L"missing", {}, {}), L"");
    EXPECT_EQ(Sys::resolveExecutable(L"   ", {}, {}), L"");
}

TEST_F(ResolveExecutable, MissingFoldersNeverFallBackToPath) {
    EXPECT_EQ(Sys::resolveExecutable(L"tool", {wide(first.path() / "nope")}, {}), L"");
    env.unset("PATH");
    EXPECT_EQ(Sys::resolveExecutable(L"tool", {}, {}), L"");
}

TEST_F(ResolveExecutable, ExtensionsAreTriedAfterTheNameItself) {
    EXPECT_EQ(Sys::resolveExecutable(L"other", {}, {L" sh ", L""}),
              wide(second.path() / "other.sh"));
    env.set("PATHEXT", ".sh");
    EXPECT_EQ(Sys::resolveExecutable(L"other", {}, {}), wide(second.path() / "other.sh"));
    // A name that carries a listed extension is only tried as it is.
    EXPECT_EQ(Sys::resolveExecutable(L"tool.sh", {}, {}), L"");
}

TEST_F(ResolveExecutable, PathsAndVariables) {
    env.set("QV_BIN", second.str());
    EXPECT_EQ(Sys::resolveExecutable(L"%QV_BIN%/tool", {wide(first.path())}, {}),
              wide(second.path() / "tool"));
    EXPECT_EQ(Sys::resolveExecutable(wide(first.path() / "plain.txt"), {}, {}), L"");
    EXPECT_EQ(Sys::resolveExecutable(wide(second.path() / "other"), {}, {L".sh"}),
              wide(second.path() / "other.sh"));
}

TEST_F(ResolveExecutable, ResolveCommandLine) {
    fs::create_symlink(second.path() / "tool", first.path() / "linked");
    EXPECT_EQ(Sys::resolveCommandLine(L"tool \"a b\" c", {}, {}),
              Sys::resolveExecutable(L"tool", {}, {}) + L" \"a b\" c");
    // A link to a program keeps the name it is called by.
    EXPECT_EQ(Sys::resolveCommandLine(L"linked", {}, {}), wide(first.path() / "linked"));
    EXPECT_EQ(Sys::resolveCommandLine(L"missing x", {}, {}), L"");
    EXPECT_EQ(Sys::resolveCommandLine(L"  ", {}, {}), L"");
}

} // namespace
