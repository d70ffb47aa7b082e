#include <boost/python.hpp>

#include "core/Logger.h"
#include "python/GilLock.h"
#include "python/Python.h"
#include "python/PythonBuiltins.h"
#include "python/StdStreams.h"
#include "tests/python/ApiFakes.h"
#include "tests/python/PythonTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <xxhash.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace bp = boost::python;
using qvtest::messages;
using qvtest::runPython;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

std::string str(const bp::object& value) {
    return bp::extract<std::string>(bp::str(value));
}

// Runs Python code and returns str() of its variable `result`.
std::string evaluate(const std::string& code) {
    return str(runPython("import quorvalent_api as api\n" + code)["result"]);
}

class ApiFunctions : public ::testing::Test {
protected:
    void TearDown() override { StdStreams::instance().flushAll(); }

    GilLock gil;
};

TEST_F(ApiFunctions, StandardStreamsBecomeLogLinesWhenComplete) {
    qvtest::LogRecords records;
    runPython("import sys\nprint('hello', 'world')\nsys.stderr.write('oops\\n')\n"
              "sys.stdout.write('partial')");
    EXPECT_THAT(messages(records, Logger::Info),
                ElementsAre("Python: hello world", "Python: oops"));
    runPython("import quorvalent_api\nquorvalent_api.std_flush_all()");
    EXPECT_THAT(messages(records, Logger::Info), Contains("Python: partial"));
}

TEST_F(ApiFunctions, LineBreakRunsEndOneLineAndTheRestWaits) {
    StdStreams& streams = StdStreams::instance();
    qvtest::LogRecords records;
    streams.print(1, L"a\r\n\r\nb");
    EXPECT_THAT(messages(records, Logger::Info), ElementsAre("Python: a"));
    streams.flushAll();
    EXPECT_THAT(messages(records, Logger::Info), ElementsAre("Python: a", "Python: b"));
    EXPECT_TRUE(records.all().back()->line < 0);
}

// The stream written last is flushed first; an empty text counts as a write,
// and a stream id other than 1 or 2 is stream 1.
TEST_F(ApiFunctions, FlushAllStartsWithTheStreamWrittenLast) {
    StdStreams& streams = StdStreams::instance();
    qvtest::LogRecords records;
    streams.print(2, L"err");
    streams.print(7, L"out");
    streams.flushAll();
    streams.print(2, L"err");
    streams.print(1, L"out");
    streams.print(2, L"");
    streams.flushAll();
    EXPECT_THAT(messages(records, Logger::Info),
                ElementsAre("Python: out", "Python: err", "Python: err", "Python: out"));
}

TEST_F(ApiFunctions, CapturedOutputGoesToTheTargetOnly) {
    qvtest::LogRecords records;
    wstr captured;
    runPython("print('before', end='')");
    PythonBuiltins::flushAllStd(&captured);
    runPython("import sys\nprint('one')\nsys.stderr.write('two\\nthree')");
    PythonBuiltins::flushAllStd(nullptr);
    EXPECT_EQ(captured, L"one\ntwo\nthree\n");
    EXPECT_THAT(messages(records, Logger::Info), ElementsAre("Python: before"));
}

TEST_F(ApiFunctions, LogLevelsAndSourceLocations) {
    qvtest::LogRecords records;
    runPython("import quorvalent_api as api\n"
              "api.log('', 0, 9, 'plain')\n"
              "api.log('/plugins/pack/mod.py', 12, 2, 'careful')\n"
              "api.log('mod.py', -3, 3, 'broken')\n");
    const auto all = records.all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->level, Logger::Info);
    EXPECT_EQ(all[0]->message, L"plain");
    EXPECT_EQ(all[1]->level, Logger::Warning);
    EXPECT_EQ(all[1]->message, L"mod.py(12): careful");
    EXPECT_EQ(all[2]->level, Logger::Error);
    EXPECT_EQ(all[2]->message, L"mod.py: broken");
}

TEST_F(ApiFunctions, HashStringUsesTheItemIdSeedAndStopsAtNul) {
    constexpr uint64_t seed = 0x46B4DEC784D49158ull;
    bp::dict space =
        runPython("import quorvalent_api as api\n"
                  "results = [api.hash_string(''), api.hash_string('ab'),\n"
                  "           api.hash_string('ab\\x00cd'), api.hash_string('\\u00e9')]");
    bp::object results = space["results"];
    EXPECT_EQ(bp::extract<uint64_t>(results[0])(), XXH64("", 0, seed));
    EXPECT_EQ(bp::extract<uint64_t>(results[1])(), XXH64("ab", 2, seed));
    EXPECT_EQ(bp::extract<uint64_t>(results[2])(), XXH64("ab", 2, seed));
    EXPECT_EQ(bp::extract<uint64_t>(results[3])(), XXH64("\xC3\xA9", 2, seed));
}

TEST_F(ApiFunctions, FuzzyScore) {
    EXPECT_EQ(evaluate("result = [api.fuzzy_score('Notes', 'notes', False),\n"
                       "          api.fuzzy_score('  no   tes  ', 'no tes', False),\n"
                       "          api.fuzzy_score('xyz', 'notes', False),\n"
                       "          api.fuzzy_score('', 'notes', False),\n"
                       "          0 < api.fuzzy_score('nts', 'notes', False) < 1000]"),
              "[1000, 1000, 0, 0, True]");
}

TEST_F(ApiFunctions, CommandLines) {
    EXPECT_EQ(
        evaluate("result = [api.cmdline_split('a \"b c\" d\\\\\"e'), api.cmdline_split('  '),\n"
                 "          api.cmdline_quote(['a', 'b c', ''], False),\n"
                 "          api.cmdline_quote(['a'], True)]"),
        "[['a', 'b c', 'd\"e'], [], 'a \"b c\" \"\"', '\"a\"']");
}

TEST_F(ApiFunctions, ScanDirectoryListsOrGivesTheErrorCode) {
    qvtest::TempDir folder;
    folder.write("one.txt", "1");
    folder.write("two.txt", "2");
    folder.write("sub/three.txt", "3");
    bp::dict names;
    names["base"] = folder.str();
    names["missing"] = folder.str() + "/missing";
    bp::dict space = runPython("import quorvalent_api as api\n"
                               "flat = sorted(api.scan_directory(base, ['*.txt'], 1, 0))\n"
                               "deep = sorted(api.scan_directory(base, ['*.txt'], 9, 2))\n"
                               "gone = api.scan_directory(missing, ['*'], 1, 0)\n",
                               names);
    EXPECT_EQ(str(space["flat"]), "['one.txt', 'two.txt']");
    EXPECT_EQ(str(space["deep"]), "['one.txt', 'sub/three.txt', 'two.txt']");
    EXPECT_EQ(str(space["gone"]), "3");
}

TEST_F(ApiFunctions, ReadLinkReadsDesktopEntries) {
    qvtest::TempDir folder;
    folder.write("editor.desktop", "[Desktop Entry]\nType=Application\nName=Editor\n"
                                   "Exec=/bin/cat --number %f\nPath=/tmp\nComment=Reads text\n"
                                   "Icon=/usr/share/pixmaps/editor.png\n");
    folder.write("bare.desktop", "[Desktop Entry]\nType=Application\nName=Bare\nExec=/bin/true\n");
    folder.write("plain.txt", "not a link");
    bp::dict names;
    names["base"] = folder.str();
    bp::dict space = runPython("import quorvalent_api as api\n"
                               "full = api.read_link(base + '/editor.desktop')\n"
                               "bare = api.read_link(base + '/bare.desktop')\n"
                               "plain = api.read_link(base + '/plain.txt')\n",
                               names);
    EXPECT_EQ(str(space["full"]),
              "{'target': '/bin/cat', 'params': '--number', 'working_dir': '/tmp', 'desc': 'Reads "
              "text', 'show_cmd': None, 'icon_location': '/usr/share/pixmaps/editor.png,0', "
              "'runas': False, 'flags': 0, 'is_msi': False}");
    EXPECT_EQ(str(space["bare"]),
              "{'target': '/bin/true', 'params': None, 'working_dir': None, 'desc': None, "
              "'show_cmd': None, 'icon_location': None, 'runas': False, 'flags': 0, 'is_msi': "
              "False}");
    EXPECT_EQ(str(space["plain"]), "None");
}

TEST_F(ApiFunctions, KnownFoldersByDocumentedIdentifier) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    bp::dict space = runPython(R"(
import quorvalent_api as api
def outcome(text):
    try:
        return api.shell_known_folder_path(text)
    except Exception as e:
        return '%s: %s' % (type(e).__name__, e)
results = [outcome(t) for t in [
    '{5E6C858F-0E22-4760-9AFE-EA3317B67173}', '5e6c858f-0e22-4760-9afe-ea3317b67173',
    '{f38bf404-1d43-42f2-9305-67de0b28fc23}', '{00000000-0000-0000-0000-000000000000}',
    '', '{5e6c858f-0e22-4760-9afe-ea3317b6717}', '{5e6c858f+0e22-4760-9afe-ea3317b67173}',
    '{5e6c858f-0e22-4760-9afe-ea3317b6717g}']]
)");
    const std::string unsupported = "OSError: Known Folder is virtual or not supported on this "
                                    "platform";
    const std::string invalid = "ValueError: invalid GUID value";
    std::vector<std::string> results;
    for (long i = 0; i < bp::len(space["results"]); ++i)
        results.push_back(str(space["results"][i]));
    EXPECT_THAT(results, ElementsAre(home, home, unsupported, unsupported, invalid, invalid,
                                     invalid, invalid));
}

TEST_F(ApiFunctions, ShellLookupsWithoutAnswer) {
    EXPECT_EQ(evaluate("result = [api.shell_url_scheme_to_command('no-such-scheme-qv://x'),\n"
                       "          api.shell_string_resource('@shell32.dll,-21787'),\n"
                       "          api.shell_resolve_exe_path('no-such-program-qv'),\n"
                       "          api.shell_resolve_exe_path('sh') is not None]"),
              "[(None, None), None, None, True]");
}

// A bad flags value is reported and the program still starts: the flags are
// converted before the GIL is given up.
TEST_F(ApiFunctions, ShellExecuteChecksItsFlags) {
    auto app = qvtest::ApiServices::install();
    qvtest::LogRecords records;
    EXPECT_EQ(evaluate("result = [api.shell_execute('/bin/true', '', '', '', 'bad', -1),\n"
                       "          api.shell_execute('/bin/true', '', '', '', 0x50C, 1),\n"
                       "          api.shell_execute('/no/such/program', '', '', '', None, 1)]"),
              "[0, 0, 2]");
    EXPECT_THAT(messages(records, Logger::Warning),
                ElementsAre(StartsWith("Invalid api_flags value type: TypeError: ")));
    EXPECT_THAT(app->timers(), ElementsAre(12u, 12u, 12u));
}

TEST_F(ApiFunctions, ExitFunctionsAreTrapped) {
    bp::dict space = runPython(R"(
import builtins, os, posix, sys, _thread
def trapped(function):
    try:
        function(0)
    except NotImplementedError as e:
        return str(e)
exits = [builtins.exit, builtins.quit, sys.exit, os._exit, posix._exit, _thread.exit,
         _thread.exit_thread]
results = [trapped(f) for f in exits]
all_trapped = results == ['exit() call trapped by Quorvalent'] * len(exits)
)");
    EXPECT_TRUE(bp::extract<bool>(space["all_trapped"])()) << str(space["results"]);
}

TEST_F(ApiFunctions, IdentityAndNoApplication) {
    EXPECT_EQ(evaluate("result = [api.name(), api.label(), api.version_tuple(),\n"
                       "          api.version_string(), api.arch(), api.packages_list(),\n"
                       "          api.should_terminate(), api.app_settings(),\n"
                       "          api.settings_get(1, 'app', 'x'), api.settings_load(None)]"),
              "['quorvalent', 'Quorvalent', (2, 24, 0), '2.24', 'x64', [], False, 1, None, None]");
    EXPECT_EQ(evaluate("try:\n    api.exe_path()\nexcept RuntimeError as e:\n    result = e"),
              "Shutting down!");
}

TEST_F(ApiFunctions, FoldersOfTheApplication) {
    DataFs::Folders folders;
    folders.bootstrap = L"/opt/qv/quorvalent";
    folders.profilePackages = L"/home/u/.config/Quorvalent/Packages";
    folders.profileInstalledPackages = L"/home/u/.config/Quorvalent/InstalledPackages";
    folders.profileUser = L"/home/u/.config/Quorvalent/User";
    folders.localPackages = L"/home/u/.local/state/Quorvalent/Packages";
    auto app = qvtest::ApiServices::install(folders);
    EXPECT_EQ(evaluate("result = [api.exe_path(), api.live_packages_dir(),\n"
                       "          api.installed_packages_dir(), api.user_config_dir(),\n"
                       "          api.packages_cache_dir()]"),
              "['/opt/qv/quorvalent', '/home/u/.config/Quorvalent/Packages', "
              "'/home/u/.config/Quorvalent/InstalledPackages', '/home/u/.config/Quorvalent/User', "
              "'/home/u/.local/state/Quorvalent/Packages']");
}

TEST_F(ApiFunctions, ApplicationSettingsThroughHandleOne) {
    auto app = qvtest::ApiServices::install();
    auto config = std::make_shared<AppConfig>();
    config->settingsStore.set(L"external", L"Web_Browser", L"firefox %1");
    config->settingsStore.set(L"Mixed", L"key", L"v");
    app->setConfig(config);
    EXPECT_EQ(evaluate("result = [api.settings_get(1, 'external', 'WEB_BROWSER'),\n"
                       "          api.settings_has(1, 'external', 'web_browser'),\n"
                       "          api.settings_has(1, 'external', 'nothing'),\n"
                       "          api.settings_has_section(1, 'Mixed'),\n"
                       "          api.settings_has_section(1, 'mixed'),\n"
                       "          'web_browser' in api.settings_keys(1, 'external'),\n"
                       "          'Mixed' in api.settings_sections(1),\n"
                       "          api.settings_get(0, 'external', 'web_browser'),\n"
                       "          api.settings_sections(0), api.settings_keys(7, None)]"),
              "['firefox %1', True, False, True, False, True, True, None, [], []]");
    EXPECT_EQ(evaluate("try:\n    api.settings_get(1, 3, 'x')\nexcept TypeError:\n"
                       "    result = 'refused'"),
              "refused");
}

// Plugins read the proxy setting as written; quorvalent_net resolves
// "system" through the environment as the program does.
TEST_F(ApiFunctions, TheProxySettingAsWrittenAndTheProxiesItMeans) {
    auto app = qvtest::ApiServices::install();
    const std::pair<const wchar_t*, const char*> rows[] = {
        {L"system", "('system', {'http': 'http://near:3128', 'https': 'socks5://all:1080', "
                    "'ftp': 'socks5://all:1080'})"},
        {L"none", "('none', {})"},
        {L"http=http://h:81\nhttps=http://s:82",
         "('http=http://h:81\\nhttps=http://s:82', {'http': 'http://h:81', 'https': "
         "'http://s:82'})"},
    };
    for (const auto& [setting, expected] : rows) {
        auto config = std::make_shared<AppConfig>();
        config->settingsStore.set(L"network", L"proxy", setting);
        app->setConfig(config);
        EXPECT_EQ(evaluate("import os, quorvalent_net\n"
                           "saved = dict(os.environ)\n"
                           "for name in [n for n in os.environ if n.lower().endswith('_proxy')]:\n"
                           "    del os.environ[name]\n"
                           "os.environ.update(HTTP_PROXY='http://near:3128', "
                           "ALL_PROXY='socks5://all:1080')\n"
                           "try:\n"
                           "    result = (api.settings_get(1, 'network', 'proxy'), "
                           "quorvalent_net.proxies())\n"
                           "finally:\n"
                           "    os.environ.clear()\n"
                           "    os.environ.update(saved)\n"),
                  expected)
            << wstr::toUtf8(setting);
    }
}

// The helpers the program calls to show files and open addresses run the
// configured programs.
TEST_F(ApiFunctions, UtilityModuleUsesTheExternalSettings) {
    auto app = qvtest::ApiServices::install();
    auto config = std::make_shared<AppConfig>();
    config->settingsStore.set(L"external", L"web_browser", L"/usr/bin/browser --new %1");
    config->settingsStore.set(L"external", L"file_explorer", L"/bin/true --select");
    config->settingsStore.set(L"external", L"editor", L"/bin/true --line=1 %1");
    app->setConfig(config);
    EXPECT_EQ(evaluate("import quorvalent_util as qvu\n"
                       "result = [qvu.web_browser_command(url='https://a.example/b c'),\n"
                       "          qvu.explore_file(file='/tmp/some file.txt'),\n"
                       "          qvu.edit_file(file='/tmp/some file.txt')]"),
              "['/usr/bin/browser --new \"https://a.example/b c\"', "
              "'/bin/true --select \"/tmp/some file.txt\"', "
              "'/bin/true --line=1 \"/tmp/some file.txt\"']");
    // Without an editor the desktop's is asked, and its failure raised.
    config->settingsStore.set(L"external", L"editor", L"");
    EXPECT_EQ(evaluate("import quorvalent_util as qvu\n"
                       "try:\n    qvu.edit_file('/no/such/file')\n"
                       "except OSError as e:\n    result = e.args"),
              "(2, 'Failed to edit /no/such/file')");
}

} // namespace
