#include "app/App.h"

#include "python/GilLock.h"
#include "python/Python.h"
#include "tests/app/PythonForTests.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace bp = boost::python;
namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

// A utility module that records its calls and fails for addresses that ask
// for it, in place of the shipped one.
constexpr const char* fakeUtil = R"(
import sys, types
util = types.ModuleType('quorvalent_util')
util.calls = []
def explore_file(file):
    util.calls.append(('explore', file))
def web_browser_command(url, execute):
    if 'fail' in url:
        raise RuntimeError('no browser')
    util.calls.append(('web', url, execute))
util.explore_file = explore_file
util.web_browser_command = web_browser_command
sys.modules['quorvalent_util'] = util
)";

std::string calls() {
    GilLock gil;
    bp::object util = bp::import("quorvalent_util");
    return bp::extract<std::string>(bp::str(util.attr("calls")));
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(AppShell, TheUtilityModuleOpensFilesAndAddressesElseTheShellDoes) {
    qvtest::ensurePython();
    qvtest::TempDir dir;
    const fs::path opened = dir.path() / "opened";
    const auto opener =
        dir.write("bin/xdg-open", "#!/bin/sh\necho \"$@\" > '" + opened.string() + ".tmp' && mv '" +
                                      opened.string() + ".tmp' '" + opened.string() + "'\n");
    fs::permissions(opener, fs::perms::owner_all);
    qvtest::ScopedEnv env;
    env.set("PATH", (dir.path() / "bin").string() + ":/usr/bin:/bin");
    {
        GilLock gil;
        ASSERT_EQ(PyRun_SimpleString(fakeUtil), 0);
    }

    App::exploreFile(L"/tmp/a b");
    App::openUrl(L"https://example.org/", false);
    EXPECT_EQ(calls(), "[('explore', '/tmp/a b'), ('web', 'https://example.org/', True)]");
    EXPECT_FALSE(fs::exists(opened)) << "the shell was not asked";

    App::openUrl(L"https://fail.example/", true);
    qvtest::waitFor([&] { return fs::exists(opened); }, seconds(30), milliseconds(10));
    EXPECT_EQ(readText(opened), "https://fail.example/\n") << "the shell opened the address";
    EXPECT_FALSE(PyGILState_Check()) << "the GIL is not left held";

    GilLock gil;
    PyRun_SimpleString("import sys\ndel sys.modules['quorvalent_util']\n");
}
