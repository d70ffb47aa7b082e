// Starts the built program from the build tree's install layout, with a
// temporary home and XDG tree, as a user would.

#include <boost/python.hpp>

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "python/GilLock.h"
#include "tests/app/EndToEnd.h"
#include "tests/app/PythonForTests.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace bp = boost::python;

using namespace qvtest::e2e;

namespace {

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

// Zips the files of the folder into the archive.
void zipFolder(const fs::path& folder, const fs::path& archive) {
    qvtest::ensurePython();
    GilLock gil;
    bp::dict names;
    names["folder"] = folder.string();
    names["path"] = archive.string();
    bp::exec("import os, zipfile\n"
             "os.makedirs(os.path.dirname(path), exist_ok=True)\n"
             "with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as archive:\n"
             "    for name in os.listdir(folder):\n"
             "        if os.path.isfile(os.path.join(folder, name)):\n"
             "            archive.write(os.path.join(folder, name), name)\n",
             names);
}

// Whether the catalog cache holds an item of each label.
bool cacheHolds(const fs::path& cache, const std::vector<std::wstring>& labels) {
    Catalog catalog;
    if (!fs::exists(cache) || !catalog.loadCatalogFile(wstr::fromUtf8(cache.c_str())))
        return false;
    for (const std::wstring& label : labels) {
        auto results = std::make_shared<CatalogResults>();
        catalog.search(results, wstr::lowerCopy(label), nullptr);
        if (results->list().empty() || results->list().front()->item()->label() != label)
            return false;
    }
    return true;
}

// Every file and folder below the roots with its size, time and mode, but
// for the skipped files.
using Tree = std::map<fs::path, std::tuple<uintmax_t, fs::file_time_type, fs::perms>>;
Tree snapshot(const std::vector<fs::path>& roots, const std::vector<fs::path>& skipped) {
    Tree tree;
    for (const fs::path& root : roots)
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (std::find(skipped.begin(), skipped.end(), entry.path()) != skipped.end())
                continue;
            tree[entry.path()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                  entry.last_write_time(), entry.status().permissions()};
        }
    return tree;
}

} // namespace

// A start without XDG_RUNTIME_DIR (a cron job, an ssh session) looks in
// another runtime folder than the running instance, yet finds it through the
// profile: it does not run as a second instance, writes nothing there and
// leaves the swap files alone, its requests reach the instance, and the
// instance's own writes land.
TEST(EndToEnd, AnotherRuntimeFolderMakesNoSecondInstanceOfAProfile) {
    UserTree user;
    SamplePackage sample("Profile" + std::to_string(getpid()));
    const fs::path profile = user.config / "Quorvalent", local = user.state / "Quorvalent";
    const fs::path cache = user.localFile(".catalog");
    Program first({}, user.env, user.output);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(waitForText(user.log, "Init done in ")) << readText(user.output);
    ASSERT_TRUE(waitFor([&] { return fs::exists(cache); })) << readText(user.log);
    // Writes of the instance in flight: the other start must not take them
    // for a killed write's leftovers.
    const fs::path swaps[] = {fs::path(cache.string() + ".qvswap"),
                              profile / "User/Quorvalent.history.qvswap"};
    for (const fs::path& swap : swaps)
        std::ofstream(swap) << "in flight";

    auto other = user.env;
    other.erase("XDG_RUNTIME_DIR");
    other["TMPDIR"] = (user.dir.path() / "tmp").string();
    fs::create_directories(user.dir.path() / "tmp");
    const fs::path output = user.dir.path() / "other.txt";
    const Tree before = snapshot({profile, local}, {user.log, cache});
    Program second({}, other, output);
    EXPECT_EQ(second.exitCode(), std::optional<int>(2)) << readText(output);
    EXPECT_NE(readText(output).find("Quorvalent already runs as process " +
                                    std::to_string(first.pid()) + " with this profile (" +
                                    (profile / "Quorvalent.lock").string() + " is held)"),
              std::string::npos)
        << readText(output);
    Program hide({"--hide"}, other, output);
    EXPECT_EQ(hide.exitCode(), std::optional<int>(0)) << readText(output);
    EXPECT_EQ(snapshot({profile, local}, {user.log, cache}), before);
    for (const fs::path& swap : swaps)
        EXPECT_EQ(readText(swap), "in flight") << swap;
    EXPECT_EQ(occurrences(readText(user.log), "] Profile dir: "), 1u) << readText(user.log);

    // A package installed now reaches the cache through the swap file.
    fs::create_directories(profile / "Packages/Landing");
    std::string landing = sampleScript;
    landing.replace(landing.find("Sample item"), 11, "Landing item");
    std::ofstream(profile / "Packages/Landing/landing.py") << landing;
    EXPECT_TRUE(waitFor([&] {
        return cacheHolds(cache, {L"Sample item", L"Landing item"});
    })) << readText(user.log);
    EXPECT_FALSE(fs::exists(swaps[0]));

    Program exit({"--exit"}, other, output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(output);
    EXPECT_EQ(first.exitCode(), std::optional<int>(0)) << readText(user.output);
}

// Under a umask that lets the group or everyone read, the history, the log,
// the caches, the state file and the folders the program makes are still the
// user's alone, and a log of an earlier version becomes so when written.
TEST(EndToEnd, WhatTheProgramWritesIsPrivateWhateverTheUmask) {
    for (const mode_t mask : {022, 002}) {
        SCOPED_TRACE(mask);
        UserTree user;
        SamplePackage sample("Private" + std::to_string(getpid()));
        fs::create_directories(user.log.parent_path());
        std::ofstream(user.log) << "written by an earlier version\r\n";
        fs::permissions(user.log, fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::group_read | fs::perms::others_read);

        const mode_t saved = umask(mask);
        Program program({}, user.env, user.output);
        umask(saved);
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(waitFor([&] {
            return cacheHolds(user.localFile(".catalog"), {L"Sample item"});
        })) << readText(user.output)
            << readText(user.log);
        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
        EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);

        for (const fs::path& written :
             {user.log, user.localFile(".catalog"), user.config / "Quorvalent/Quorvalent.lock",
              user.state / "Quorvalent/Quorvalent.lock"})
            EXPECT_TRUE(fs::exists(written)) << written;
        for (const fs::path& root : {user.config, user.state / "Quorvalent"})
            for (const auto& entry : fs::recursive_directory_iterator(root)) {
                const auto open = fs::perms::group_all | fs::perms::others_all;
                EXPECT_EQ(entry.status().permissions() & open, fs::perms::none)
                    << entry.path() << " is open to others";
            }
    }
}

// Without XDG_RUNTIME_DIR the runtime folder's name can be guessed: one that
// another user made first, or a link planted there, does not stop the start.
// The program takes a folder in the user's home, says so in the log, and the
// next start finds it there.
TEST(EndToEnd, ARuntimeFolderTakenByAnotherUserDoesNotStopTheStart) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    for (const bool link : {false, true}) {
        // Only root can give a folder away.
        if (!link && geteuid() != 0)
            continue;
        SCOPED_TRACE(link ? "a link" : "another user's folder");
        UserTree user;
        const fs::path tmp = user.dir.path() / "tmp";
        const fs::path taken = tmp / ("quorvalent-runtime-" + std::to_string(getuid()));
        fs::create_directories(tmp);
        if (link) {
            fs::create_directory_symlink(user.dir.path(), taken);
        } else {
            fs::create_directory(taken);
            ASSERT_EQ(chown(taken.c_str(), 65534, 65534), 0);
        }
        user.env.erase("XDG_RUNTIME_DIR");
        user.env["TMPDIR"] = tmp.string();

        Program program({}, user.env, user.output);
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(waitForText(user.log, "Init done in "))
            << readText(user.output) << readText(user.log);
        const fs::path home = user.home / ".cache" / ("quorvalent-runtime-" + std::string(host));
        EXPECT_NE(readText(user.log).find("] The runtime folder " + taken.string() +
                                          " is not safe (another user's, a link, or open to "
                                          "others); using " +
                                          home.string() + " instead\r\n"),
                  std::string::npos)
            << readText(user.log);
        EXPECT_TRUE(fs::exists(home / "quorvalent_wndcls_main"));

        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
        EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
    }
}

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

// A reload of a changed configuration reaches the plugins as "events": 1,
// with 1024 when the [network] settings changed (here from the default
// system proxy, which this environment leaves direct, to none: the same
// proxy in force, another setting); plugins read the setting as written.
TEST(EndToEnd, AReloadTellsPluginsWhetherTheNetworkSettingsChanged) {
    UserTree user;
    for (auto it = user.env.begin(); it != user.env.end();)
        it = wstr::lowerCopy(wstr::fromUtf8(it->first.c_str())).ends_with(L"_proxy")
                 ? user.env.erase(it)
                 : std::next(it);
    const fs::path package = user.config / "Quorvalent/Packages/Listener";
    fs::create_directories(package);
    fs::create_directories(user.config / "Quorvalent/User");
    std::ofstream(package / "listener.py")
        << "import quorvalent\n"
           "class Listener(quorvalent.Plugin):\n"
           "    def on_events(self, flags):\n"
           "        handle = quorvalent.app_settings()\n"
           "        proxy = quorvalent.settings_get(handle, 'network', 'proxy')\n"
           "        print('listener events %d proxy %s' % (flags, proxy))\n";
    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "] Plugin loaded: Listener.Listener (instance #1)\r\n"))
        << readText(user.output) << readText(user.log);

    const fs::path ini = user.config / "Quorvalent/User/Quorvalent.ini";
    std::ofstream(ini) << "[network]\nproxy = none\n";
    EXPECT_TRUE(waitForText(user.log, "] Python: listener events 1025 proxy none\r\n"))
        << readText(user.log);
    std::ofstream(ini) << "[network]\nproxy = none\n[gui]\nmax_results = 20\n";
    EXPECT_TRUE(waitForText(user.log, "] Python: listener events 1 proxy none\r\n"))
        << readText(user.log);

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
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

// The example packages of docs/examples installed as a user would, one as a
// folder of the profile's Packages and the other as an archive of
// InstalledPackages, then the other way round: both load and their items
// reach the catalog cache.
TEST(EndToEnd, TheExamplePackagesLoadAndTheirItemsAreCached) {
    const fs::path examples =
        (fs::path(QV_TEST_DATA_DIR) / "../../../docs/examples").lexically_normal();
    for (const auto& [folder, archive] :
         {std::pair{"DesktopApps", "Calculator"}, std::pair{"Calculator", "DesktopApps"}}) {
        SCOPED_TRACE(std::string(folder) + " as a folder, " + archive + " as an archive");
        UserTree user;
        const fs::path profile = user.config / "Quorvalent";
        fs::create_directories(profile / "Packages" / folder);
        for (const auto& entry : fs::directory_iterator(examples / folder)) {
            if (entry.is_regular_file())
                fs::copy_file(entry.path(),
                              profile / "Packages" / folder / entry.path().filename());
        }
        zipFolder(examples / archive,
                  profile / "InstalledPackages" / (std::string(archive) + ".quorvalent-package"));
        const fs::path data = user.dir.path() / "data";
        fs::create_directories(data / "applications");
        std::ofstream(data / "applications/sample-tool.desktop")
            << "[Desktop Entry]\nType=Application\nName=Sample Tool\nExec=true\n";
        user.env["XDG_DATA_HOME"] = data.string();
        user.env["XDG_DATA_DIRS"] = (user.dir.path() / "no-system-data").string();

        Program program({}, user.env, user.output);
        ASSERT_TRUE(program.started());
        for (const char* plugin : {"DesktopApps.DesktopApps", "Calculator.Calculator"})
            EXPECT_TRUE(waitForText(user.log, std::string("] Plugin loaded: ") + plugin +
                                                  " (instance #1)\r\n"))
                << readText(user.output) << readText(user.log);
        EXPECT_TRUE(waitFor([&] {
            return cacheHolds(user.localFile(".catalog"), {L"Sample Tool", L"Calculator"});
        })) << readText(user.log);

        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
        EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
        std::istringstream log(readText(user.log));
        for (std::string line; std::getline(log, line);) {
            const bool problem =
                line.find(" [W] ") != std::string::npos || line.find(" [E] ") != std::string::npos;
            EXPECT_FALSE(problem && (line.find("DesktopApps") != std::string::npos ||
                                     line.find("Calculator") != std::string::npos))
                << line;
        }
    }
}
