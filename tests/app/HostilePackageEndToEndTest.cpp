// A package that tries to read what it must not, run by the built program:
// each attempt is refused with one log line, nothing outside the package is
// read, and the program stays up and ends on request. And a package with a
// script that does not compile: the log says where, once.

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "tests/app/EndToEnd.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using namespace qvtest::e2e;

namespace {

// What the plugin must never see.
constexpr const char* secret = "TOPSECRET-7f3a";

// The plugin tries every way out of its package at its first "catalog"
// message and hands in one item that says whether it saw the secret.
std::string hostileScript(const fs::path& scanned, const fs::path& zeroLink) {
    return R"(import quorvalent
import quorvalent_api as api
def attempt(what, call):
    try:
        return '%s=%r' % (what, call())
    except Exception as e:
        return '%s=%s' % (what, type(e).__name__)
class Hostile(quorvalent.Plugin):
    def on_catalog(self):
        seen = [attempt('list', lambda: sorted(self.find_resources('*')))]
        for name in ('../secret.txt', 'outside.txt', 'pipe.txt', 'inside.txt'):
            seen.append(attempt(name, lambda: self.load_text_resource(name)))
        seen.append(attempt('zero', lambda: api.read_link(')" +
           zeroLink.string() + R"(')))
        seen.append(attempt('loop', lambda: api.scan_directory(')" +
           scanned.string() + R"(', ['*'], 1, 0xFFFFFFFF)))
        print('hostile saw: ' + ' '.join(seen))
        label = 'Hostile leaked' if ')" +
           secret + R"(' in ''.join(seen) else 'Hostile contained'
        self.set_catalog([api.CatalogItem(self, 30, label, '', 'hostile', 0, False, 0, 0, '')])
)";
}

// The lines of the log that contain the piece.
std::vector<std::string> linesWith(const std::string& log, const std::string& piece) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.find(piece) != std::string::npos)
            lines.push_back(line);
    return lines;
}

bool cacheHolds(const fs::path& cache, const std::wstring& label) {
    Catalog catalog;
    if (!fs::exists(cache) || !catalog.loadCatalogFile(wstr::fromUtf8(cache.c_str())))
        return false;
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, wstr::lowerCopy(label), nullptr);
    return !results->list().empty() && results->list().front()->item()->label() == label;
}

} // namespace

TEST(EndToEnd, AHostilePackageReadsNothingOutsideItselfAndTheProgramStaysUp) {
    UserTree user;
    const fs::path package = user.config / "Quorvalent/Packages/Hostile";
    const fs::path scanned = user.dir.path() / "scanned";
    const fs::path zeroLink = user.dir.path() / "links/zero.desktop";
    fs::create_directories(package);
    fs::create_directories(scanned / "sub");
    fs::create_directories(zeroLink.parent_path());
    std::ofstream(package / "hostile.py") << hostileScript(scanned, zeroLink);
    std::ofstream(package / "inside.txt") << "inside";
    std::ofstream(package.parent_path() / "secret.txt") << secret;
    fs::create_symlink(package.parent_path() / "secret.txt", package / "outside.txt");
    ASSERT_EQ(mkfifo((package / "pipe.txt").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", zeroLink);
    std::ofstream(scanned / "sub/file.txt") << "file";
    fs::create_symlink("..", scanned / "sub/loop");

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Python: hostile saw: "))
        << readText(user.output) << readText(user.log);
    EXPECT_TRUE(waitFor([&] {
        return cacheHolds(user.localFile(".catalog"), L"Hostile contained");
    })) << readText(user.log);

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);

    const std::string log = readText(user.log);
    EXPECT_EQ(linesWith(log, secret).size(), 0u) << log;
    const std::string inPackage = "Refused package file " + package.string();
    for (const std::string& refusal :
         {std::string("Refused resource name of package Hostile: \"../secret.txt\" is absolute "
                      "or climbs out with \"..\""),
          inPackage + "/outside.txt: it leads outside the package",
          inPackage + "/pipe.txt: it is not a regular file",
          "Refused to read shell link " + zeroLink.string() + ": not a regular file",
          "Skipped a folder link that loops back: " + (scanned / "sub/loop").string()})
        EXPECT_EQ(linesWith(log, refusal).size(), 1u) << refusal << " in\n" << log;
    const std::vector<std::string> saw = linesWith(log, "Python: hostile saw: ");
    ASSERT_EQ(saw.size(), 1u) << log;
    for (const char* result : {"inside.txt='inside'", "zero=None", "loop=['sub/file.txt']"})
        EXPECT_NE(saw.front().find(result), std::string::npos) << result << " in " << saw.front();
}

// Each way a plugin can reach the process's exit functions is trapped: the
// program logs the refusal and stays up, and its catalog is written.
TEST(EndToEnd, APluginCannotEndTheProgramThroughAnExitFunction) {
    const std::vector<std::string> exits = {"os._exit(3)",
                                            "posix._exit(3)",
                                            "sys.exit(3)",
                                            "exit(3)",
                                            "quit(3)",
                                            "_thread.exit()",
                                            "_thread.exit_thread()",
                                            "importlib.import_module(\"posix\")._exit(3)",
                                            "importlib.util.module_from_spec(importlib.util."
                                            "find_spec(\"posix\"))._exit(3)"};
    UserTree user;
    const fs::path package = user.config / "Quorvalent/Packages/Quitter";
    fs::create_directories(package);
    std::string script = R"(import importlib, importlib.util, os, posix, sys, _thread
import quorvalent
import quorvalent_api as api
class Quitter(quorvalent.Plugin):
    def on_catalog(self):
        seen = []
        for call in [)";
    for (const std::string& call : exits)
        script += "'" + call + "', ";
    script += R"(]:
            try:
                eval(call)
                seen.append(call + '=returned')
            except BaseException as e:
                seen.append(call + '=' + type(e).__name__)
        print('quitter saw: ' + '; '.join(seen))
        self.set_catalog([api.CatalogItem(self, 30, 'Quitter stayed', '', 'q', 0, False, 0, 0, '')])
)";
    std::ofstream(package / "quitter.py") << script;

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Python: quitter saw: "))
        << readText(user.output) << readText(user.log);
    EXPECT_TRUE(waitFor([&] { return cacheHolds(user.localFile(".catalog"), L"Quitter stayed"); }))
        << readText(user.log);
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);

    const std::vector<std::string> saw = linesWith(readText(user.log), "Python: quitter saw: ");
    ASSERT_EQ(saw.size(), 1u);
    for (const std::string& call : exits)
        EXPECT_NE(saw.front().find(call + "=NotImplementedError"), std::string::npos)
            << call << " in " << saw.front();
}

// A script that does not compile, run by the built program: one error record
// naming the package, the file and the line, in the program's log and
// without the frames of its importer; the package's other plugin loads.
TEST(EndToEnd, AScriptThatDoesNotCompileIsOneErrorRecordWithItsPlace) {
    UserTree user;
    const fs::path package = user.config / "Quorvalent/Packages/Faulty";
    fs::create_directories(package);
    std::ofstream(package / "a_broken.py")
        << "import quorvalent\n\nclass Broken(quorvalent.Plugin)\n    pass\n";
    std::ofstream(package / "b_good.py") << "import quorvalent\nclass Good(quorvalent.Plugin):\n"
                                            "    pass\n";

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Plugin loaded: Faulty.Good (instance #1)"))
        << readText(user.output) << readText(user.log);
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);

    const std::string log = readText(user.log);
    const std::vector<std::string> reports = linesWith(log, "a_broken.py");
    ASSERT_EQ(reports.size(), 1u) << log;
    EXPECT_NE(reports[0].find("[E] Error while loading Python script Faulty/a_broken.py: File \"" +
                              (package / "a_broken.py").string() + "\", line 3"),
              std::string::npos)
        << reports[0];
    EXPECT_EQ(linesWith(log, "SyntaxError: expected ':'").size(), 1u) << log;
    for (const char* noise : {"Python:", "importlib", "quorvalent_private"})
        EXPECT_EQ(linesWith(log, noise).size(), 0u) << noise << " in\n" << log;
}

// An exception that ends a plugin's thread, here the exit trap's: one error
// record naming the thread, its plugin, the script and the line, without the
// program's own frames.
TEST(EndToEnd, AnExceptionThatEndsAPluginsThreadIsOneErrorRecord) {
    UserTree user;
    const fs::path package = user.config / "Quorvalent/Packages/Thrower";
    fs::create_directories(package);
    std::ofstream(package / "thrower.py") << R"(import os, threading
import quorvalent
def leave():
    os._exit(3)
class Thrower(quorvalent.Plugin):
    def on_start(self):
        thread = threading.Thread(target=leave, name='leaver')
        thread.start()
        thread.join()
        print('thrower done')
)";

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Python: thrower done"))
        << readText(user.output) << readText(user.log);
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);

    const std::string log = readText(user.log);
    const std::vector<std::string> records = linesWith(log, "[E] ");
    ASSERT_EQ(records.size(), 1u) << log;
    EXPECT_NE(records[0].find("Uncaught exception in thread leaver of Thrower.Thrower: "
                              "NotImplementedError: exit() call trapped by Quorvalent"),
              std::string::npos)
        << records[0];
    const std::string place =
        "File \"" + (package / "thrower.py").string() + "\", line 4, in leave";
    EXPECT_NE(log.find(place), std::string::npos) << log;
    EXPECT_EQ(linesWith(log, "Python: ").size(), 1u) << "only the plugin's own print\n" << log;
    EXPECT_EQ(log.find("quorvalent_private"), std::string::npos) << log;
}
