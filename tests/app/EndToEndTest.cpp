// Starts the built program from the build tree's install layout, with a
// temporary home and XDG tree, as a user would.

#include <boost/python.hpp>

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "core/SysInfo.h"
#include "core/Wstr.h"
#include "platform/Process.h"
#include "python/GilLock.h"
#include "tests/app/PythonForTests.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace bp = boost::python;
namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

// Generous: a sanitizer build starts the interpreter slowly.
constexpr auto timeLimit = seconds(120);

// One start of the program, killed if the test leaves it running.
class Program {
public:
    Program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const fs::path& output) {
        std::vector<std::string> argv{std::string(QV_BUILD_DIR) + "/quorvalent"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argp;
        for (auto& a : argv)
            argp.push_back(a.data());
        argp.push_back(nullptr);
        std::vector<std::string> envs;
        for (const auto& [name, value] : env)
            envs.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& e : envs)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        spawnError_ =
            posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawnError_ == 0)
            watcher_.open(pid_);
    }
    ~Program() {
        if (!exitCode_ && pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return spawnError_ == 0; }

    // The exit code once the program ended within the time limit.
    std::optional<int> exitCode() {
        if (exitCode_)
            return exitCode_;
        if (watcher_.wait(static_cast<int>(milliseconds(timeLimit).count())) !=
            Platform::Process::Ended)
            return std::nullopt;
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_)
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode_;
    }

private:
    pid_t pid_ = 0;
    int spawnError_ = 0;
    Platform::Process watcher_;
    std::optional<int> exitCode_;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Polls until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition) {
    return qvtest::waitFor(condition, timeLimit, milliseconds(20));
}

bool waitForText(const fs::path& path, const std::string& text) {
    return waitFor([&] { return readText(path).find(text) != std::string::npos; });
}

// The plugin of the sample package: it hands in one item.
const char* const sampleScript = R"(import quorvalent
import quorvalent_api as api
class Sample(quorvalent.Plugin):
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, 'Sample item', '', 'sample', 0, False, 0,
                                          0, '')])
)";

// An archived package of one plugin in the build tree's default Packages
// folder, removed again when the test ends.
class SamplePackage {
public:
    explicit SamplePackage(const std::string& name, const std::string& script = sampleScript)
        : path_(fs::path(QV_BUILD_DIR) / "default" / "Packages" / (name + ".quorvalent-package")) {
        qvtest::ensurePython();
        GilLock gil;
        bp::dict names;
        names["path"] = path_.string();
        names["script"] = script;
        bp::exec(R"(import zipfile
with zipfile.ZipFile(path, 'w') as archive:
    archive.writestr('sample.py', script)
)",
                 names);
    }
    ~SamplePackage() {
        std::error_code error;
        fs::remove(path_, error);
    }
    SamplePackage(const SamplePackage&) = delete;
    SamplePackage& operator=(const SamplePackage&) = delete;

private:
    fs::path path_;
};

// A user of the program: a temporary home and XDG tree, the environment that
// points at it, and where the program writes its output, log and catalog.
struct UserTree {
    UserTree() {
        for (const auto& folder : {home, runtime})
            fs::create_directories(folder);
        chmod(runtime.c_str(), 0700);
        for (char** entry = environ; *entry; ++entry) {
            std::string text = *entry;
            const auto eq = text.find('=');
            if (eq != std::string::npos)
                env[text.substr(0, eq)] = text.substr(eq + 1);
        }
        // A program asked to exit gets 2.8 s before the asking start kills it,
        // and the sanitizer's exit-time leak scan of a Qt application takes
        // more than that on a busy machine; the unit tests check for leaks.
        env["ASAN_OPTIONS"] =
            env["ASAN_OPTIONS"] + (env["ASAN_OPTIONS"].empty() ? "" : ":") + "detect_leaks=0";
        env["HOME"] = home.string();
        env["XDG_CONFIG_HOME"] = config.string();
        env["XDG_STATE_HOME"] = state.string();
        env["XDG_RUNTIME_DIR"] = runtime.string();
        env.erase("XDG_DATA_HOME");
    }

    // The program's file in its local folder with this extension.
    fs::path localFile(const std::string& extension) const {
        return state / "Quorvalent" /
               ("Quorvalent." + wstr::toUtf8(wstr::lowerCopy(Sys::computerName())) + extension);
    }

    qvtest::TempDir dir;
    const fs::path home = dir.path() / "home", config = dir.path() / "config",
                   state = dir.path() / "state", runtime = dir.path() / "runtime";
    const fs::path output = dir.path() / "output.txt";
    const fs::path log = localFile(".log");
    std::map<std::string, std::string> env;
};

} // namespace

TEST(EndToEnd, OneInstanceStartsRefusesASecondAndEndsOnRequest) {
    UserTree user;

    Program first({}, user.env, user.output);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(waitForText(user.log, "Init done in "))
        << readText(user.output) << readText(user.log);
    const std::string text = readText(user.log);
    for (const std::string& line :
         {std::string("] Quorvalent 2.24 ("), std::string(") for x64\r\n"),
          std::string("] System: Linux"), std::string("] Installed mode\r\n"),
          std::string("] Monitor #1: Name["),
          std::string("] Official packages: " QV_BUILD_DIR "/default/Packages\r\n"),
          "] Profile dir: " + (user.config / "Quorvalent").string() + "\r\n",
          "] Local dir: " + (user.state / "Quorvalent").string() + "\r\n",
          std::string("%) for the Python interpreter.\r\n")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

    // A changed configuration file is noticed and applied while it runs.
    fs::create_directories(user.config / "Quorvalent/User");
    std::ofstream(user.config / "Quorvalent/User/Quorvalent.ini") << "[gui]\nmax_results = 20\n";
    EXPECT_TRUE(waitForText(user.log, "] Application configuration has changed\r\n"))
        << readText(user.log);

    Program second({}, user.env, user.output);
    EXPECT_EQ(second.exitCode(), std::optional<int>(2)) << readText(user.output);

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(first.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_NE(readText(user.log).find("] Shutting down with code 0.\r\n"), std::string::npos)
        << readText(user.log);
}

// The program loads a package of its default Packages folder, and the item
// its plugin hands in reaches the catalog cache, written 5 s after the change.
TEST(EndToEnd, APackageOfTheDefaultFolderLoadsAndItsItemIsCached) {
    UserTree user;
    const std::string name = "Sample" + std::to_string(getpid());
    SamplePackage sample(name);
    const fs::path cache = user.localFile(".catalog");

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "] Plugin loaded: " + name + ".Sample (instance #1)\r\n"))
        << readText(user.output) << readText(user.log);
    const auto loaded = steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return fs::exists(cache); })) << readText(user.log);
    EXPECT_GE(steady_clock::now() - loaded, milliseconds(4500));

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
    Catalog catalog;
    ASSERT_TRUE(catalog.loadCatalogFile(wstr::fromUtf8(cache.c_str())));
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, L"sample item", nullptr);
    ASSERT_FALSE(results->list().empty());
    EXPECT_EQ(results->list().front()->item()->label(), L"Sample item");
}

namespace {

// What another program of the X session reads from the clipboard.
std::string xclipOutput() {
    std::string text;
    if (FILE* pipe = popen("xclip -o -selection clipboard", "r")) {
        char buffer[256];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

} // namespace

// Under an X display (scripts/with-display.sh, which names the Xvfb screen):
// the banner lists the display's real monitor at its full size although the
// user asks Qt to scale by 2, the keyboard layout comes from the X server,
// and a plugin's set_clipboard reaches the other programs of the session.
TEST(EndToEndOnDisplay, BannerListsTheScreenAndAPluginsClipboardReachesX) {
    const char* screen = std::getenv("QV_XVFB_SCREEN");
    if (!std::getenv("DISPLAY") || !screen)
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(screen, "%dx%d", &width, &height), 2) << screen;
    UserTree user;
    user.env["QT_QPA_PLATFORM"] = "xcb";
    user.env["QT_SCALE_FACTOR"] = "2";
    const std::string name = "Clip" + std::to_string(getpid());
    const std::string copied = "copied by " + name;
    SamplePackage sample(name, R"(import quorvalent
import quorvalent_api as api
class Sample(quorvalent.Plugin):
    def on_catalog(self):
        print('set_clipboard:', api.set_clipboard(')" +
                                   copied + R"('))
)");

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "set_clipboard: True"))
        << readText(user.output) << readText(user.log);
    EXPECT_EQ(xclipOutput(), copied);
    const std::string text = readText(user.log);
    const std::string rect =
        "] Rect[0, 0, " + std::to_string(width) + ", " + std::to_string(height) + "] ";
    EXPECT_NE(text.find(rect), std::string::npos) << rect << " in\n" << text;
    EXPECT_EQ(text.find("] Monitor #2"), std::string::npos) << text;
    EXPECT_NE(text.find("] Keyboard layout: "), std::string::npos) << text;
    EXPECT_EQ(text.find("Failed to get keyboard layout name"), std::string::npos) << text;

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}
