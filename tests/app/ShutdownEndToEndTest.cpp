// The program ends in order and on time whatever its plugins do: each row
// runs the built program with a package that misbehaves beside one that
// behaves, ends it, and starts it once more on the same profile.

#include "app/Entry.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "tests/app/EndToEnd.h"

#include <gtest/gtest.h>

using namespace qvtest::e2e;

namespace {

// Named so that it loads before the well-behaved package.
constexpr const char* badPackage = "AaBad";
constexpr const char* goodPackage = "ZzGood";

// A plugin that hands in one item, writes a file that it leaves to the
// interpreter to flush as it stops, and runs a thread that ends once
// should_terminate() is True (which it is from the start of the shutdown, a
// second before the thread would be interrupted).
const char* goodScript = R"(import threading, time
import quorvalent
import quorvalent_api as api
_data = open('{data}', 'w')
_data.write('written by the good plugin')
def careful():
    while not api.should_terminate():
        time.sleep(0.01)
    print('good thread saw should_terminate')
class Good(quorvalent.Plugin):
    def on_start(self):
        threading.Thread(target=careful).start()
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, 'Good item', '', 'good', 0, False, 0, 0, '')])
)";

enum class Stop { Exit, Term, Int };

struct Row {
    const char* name;
    // The misbehaving package's script; empty for none. "{go}" in it stands
    // for a file that the test creates once the good package's item is in
    // the cache, for misbehaviour that would keep it out.
    std::string script;
    Stop stop = Stop::Exit;
    // Written to the log once the misbehaviour is under way.
    std::string ready = "Python: bad";
    // More lines the log must hold by the end.
    std::vector<std::string> logged;
    // Whether no thread keeps the Python lock at the end, so that the good
    // plugin's thread stops and its file reaches the disk (flushed also when
    // the interpreter is left running).
    bool pythonEnds = true;
    // Pieces the log must not hold.
    std::vector<std::string> notLogged = {};
};

std::string plugin(const std::string& body) {
    return "import threading, time\nimport quorvalent\nimport quorvalent_api as api\n" + body;
}

const std::string stuck = std::string(badPackage) + ".Bad.on_";
const std::string leftRunning = "] Python is not finalized: ";
const std::string lockHeld = "] The Python lock is still held after 5000 ms, by thread ";
const std::string heldByBad =
    " of " + std::string(badPackage) + ".Bad; what needs Python is skipped";
const std::string heldByNoPlugin = ", which runs no plugin's message or thread; what needs Python";
// No line blames the good plugin, whose thread only waits for the lock.
const std::vector<std::string> goodNotBlamed = {"of " + std::string(goodPackage) + ".Good;",
                                                "plugin code of " + std::string(goodPackage)};

// A daemon thread that backtracks in C for ever, holding the Python lock
// without a break, once the test says go.
const std::string lockHog = R"(import os, re
def hog():
    while not os.path.exists('{go}'):
        time.sleep(0.01)
    print("bad thread")
    re.match(r'(a+)+$', 'a' * 60 + 'b')
class Bad(quorvalent.Plugin):
    def on_start(self):
        threading.Thread(target=hog, daemon=True).start()
)";

const std::vector<Row> rows = {
    {"AThreadLoopingOnAnApiCall",
     plugin(R"(def spin():
    print("bad thread")
    while True:
        api.hash_string("x")
class Bad(quorvalent.Plugin):
    def on_start(self):
        threading.Thread(target=spin).start()
)"),
     Stop::Exit,
     "Python: bad",
     {}},
    {"AThreadThatSwallowsSystemExit",
     plugin(R"(def stubborn():
    print("bad thread")
    while True:
        try:
            while True:
                api.hash_string("x")
        except BaseException:
            pass
class Bad(quorvalent.Plugin):
    def on_start(self):
        threading.Thread(target=stubborn).start()
)"),
     Stop::Exit,
     "Python: bad",
     {" of " + std::string(badPackage) + ".Bad did not end and is left running", leftRunning}},
    {"OnStartThatLoops",
     plugin(R"(class Bad(quorvalent.Plugin):
    def on_start(self):
        print("bad start")
        while True:
            pass
)"),
     Stop::Exit,
     "Python: bad",
     {stuck + "start (instance #1) has run for more than"}},
    {"OnStartThatSwallowsSystemExit",
     plugin(R"(class Bad(quorvalent.Plugin):
    def on_start(self):
        print("bad start")
        while True:
            try:
                while True:
                    pass
            except BaseException:
                pass
)"),
     Stop::Exit,
     "Python: bad",
     {"is left running in plugin code of " + std::string(badPackage) + ".Bad", leftRunning}},
    {"OnCatalogThatLoops",
     plugin(R"(class Bad(quorvalent.Plugin):
    def on_catalog(self):
        print("bad catalog")
        while True:
            pass
)"),
     Stop::Exit,
     "Python: bad",
     {stuck + "catalog (instance #1) has run for more than"}},
    {"AnImportThatLoops",
     plugin(R"(print("bad import")
while True:
    pass
)"),
     Stop::Exit,
     "Python: bad",
     {"Package " + std::string(badPackage) + " is still loading after "}},
    {"AnImportThatSwallowsSystemExit",
     plugin(R"(print("bad import")
while True:
    try:
        while True:
            pass
    except BaseException:
        pass
)"),
     Stop::Exit,
     "Python: bad",
     {"Loading of package " + std::string(badPackage), leftRunning}},
    {"AnImportThatSleepsInC",
     plugin(R"(print("bad import")
time.sleep(1e6)
)"),
     Stop::Exit,
     "Python: bad",
     {"Package " + std::string(badPackage) + " is still loading after "}},
    {"FiftyThreadsThatNeverEnd",
     plugin(R"(def forever():
    while True:
        time.sleep(0.01)
class Bad(quorvalent.Plugin):
    def on_start(self):
        for i in range(50):
            threading.Thread(target=forever, daemon=i % 2 == 0).start()
        print("bad threads")
)"),
     Stop::Exit,
     "Python: bad",
     {}},
    // Its thread must not keep its start message running: its catalog
    // arrives too.
    {"AThreadStartedInOnStart",
     plugin(R"(def forever():
    while True:
        time.sleep(0.01)
class Bad(quorvalent.Plugin):
    def on_start(self):
        threading.Thread(target=forever).start()
        print("bad thread")
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, 'Bad item', '', 'bad', 0, False, 0, 0, '')])
)"),
     Stop::Exit,
     "Python: bad",
     {}},
    {"AThreadHoldingThePythonLockInC",
     plugin(lockHog),
     Stop::Exit,
     "Python: bad",
     {lockHeld, heldByBad},
     false,
     goodNotBlamed},
    {"AThreadHoldingThePythonLockInCThenSigterm",
     plugin(lockHog),
     Stop::Term,
     "Python: bad",
     {lockHeld, heldByBad, "] Received SIGTERM; shutting down."},
     false,
     goodNotBlamed},
    // Asleep in C with the lock for 3 seconds: the shutdown waits for it, and
    // nothing of the other plugins is skipped.
    {"AThreadHoldingThePythonLockForThreeSeconds",
     plugin(R"(import ctypes, os
def hog():
    while not os.path.exists('{go}'):
        time.sleep(0.01)
    print("bad thread")
    ctypes.PyDLL(None).sleep(3)
class Bad(quorvalent.Plugin):
    def on_start(self):
        threading.Thread(target=hog, daemon=True).start()
)"),
     Stop::Exit,
     "Python: bad",
     {},
     true,
     {"The Python lock is still held", "is left running"}},
    // The lock's holder is no plugin's thread but a package's import, asleep
    // in C: no plugin is named.
    {"AnImportHoldingThePythonLock",
     plugin(R"(import ctypes, os
while not os.path.exists('{go}'):
    time.sleep(0.01)
print("bad import")
ctypes.PyDLL(None).sleep(1000000)
)"),
     Stop::Exit,
     "Python: bad",
     {lockHeld, heldByNoPlugin},
     false,
     goodNotBlamed},
    {"AnExitHandlerThatNeverEnds",
     plugin(R"(import atexit
atexit.register(time.sleep, 1000000)
print("bad exit handler")
)"),
     Stop::Exit,
     "Python: bad",
     {"] Exit handler time.sleep did not end within 2000 ms; it is left running"}},
    {"Sigterm", "", Stop::Term, "] Init done in ", {"] Received SIGTERM; shutting down."}},
    {"Sigint", "", Stop::Int, "] Init done in ", {"] Received SIGINT; shutting down."}},
};

void writePackage(const UserTree& user, const std::string& name, const std::string& script) {
    const fs::path folder = user.config / "Quorvalent" / "Packages" / name;
    fs::create_directories(folder);
    std::ofstream(folder / (name + ".py")) << script;
}

// The items of the cache file whose label matches.
bool cacheHolds(const fs::path& cache, const wstr& label) {
    if (!fs::exists(cache))
        return false;
    Catalog catalog;
    if (!catalog.loadCatalogFile(wstr::fromUtf8(cache.c_str())))
        return false;
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, label, nullptr);
    return !results->list().empty() && results->list().front()->item()->label() == label;
}

class Shutdown : public testing::TestWithParam<Row> {};

// Rows print as their names.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

} // namespace

TEST_P(Shutdown, EndsInOrderAndOnTime) {
    const Row& row = GetParam();
    UserTree user;
    const fs::path go = user.dir.path() / "go";
    const fs::path data = user.dir.path() / "data.txt";
    std::string script = row.script;
    if (const auto at = script.find("{go}"); at != std::string::npos)
        script.replace(at, 4, go.string());
    std::string good = goodScript;
    good.replace(good.find("{data}"), 6, data.string());
    writePackage(user, goodPackage, good);
    if (!script.empty())
        writePackage(user, badPackage, script);
    const fs::path cache = user.localFile(".catalog");
    auto report = [&] { return readText(user.output) + readText(user.log); };

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    if (script == row.script) {
        ASSERT_TRUE(waitForText(user.log, row.ready)) << report();
    }
    // The well-behaved package loads, and its item reaches the cache, beside
    // the misbehaving one.
    ASSERT_TRUE(waitFor([&] { return cacheHolds(cache, L"Good item"); })) << report();
    if (script != row.script) {
        std::ofstream(go) << "go";
        ASSERT_TRUE(waitForText(user.log, row.ready)) << report();
    }
    if (row.script.find("Bad item") != std::string::npos) {
        EXPECT_TRUE(waitFor([&] { return cacheHolds(cache, L"Bad item"); })) << report();
    }

    const auto stopped = steady_clock::now();
    if (row.stop == Stop::Exit) {
        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << report();
    } else {
        ASSERT_EQ(kill(program.pid(), row.stop == Stop::Term ? SIGTERM : SIGINT), 0);
    }
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << report();
    const auto stopTime = steady_clock::now() - stopped;
    const std::string log = readText(user.log);
    // On time: within the budget that "--exit" waits for, whatever the
    // machine's speed (the budget's waits are the program's own).
    EXPECT_LT(stopTime, milliseconds(exitWaitMs)) << log;
    EXPECT_NE(log.find("] Shutting down with code 0.\r\n"), std::string::npos) << log;
    for (const std::string& line : row.logged)
        EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
    for (const std::string& piece : row.notLogged)
        EXPECT_EQ(log.find(piece), std::string::npos) << piece << " in\n" << log;
    if (row.pythonEnds) {
        EXPECT_NE(log.find("Python: good thread saw should_terminate"), std::string::npos) << log;
        EXPECT_EQ(readText(data), "written by the good plugin") << log;
    }

    // The next start finds the cache whole.
    fs::remove_all(user.config / "Quorvalent" / "Packages" / badPackage);
    fs::remove(user.log);
    Program next({}, user.env, user.output);
    ASSERT_TRUE(waitForText(user.log, "] Init done in ")) << report();
    const std::string started = readText(user.log);
    EXPECT_NE(started.find(" from catalog file.\r\n"), std::string::npos) << started;
    EXPECT_EQ(started.find("Catalog file"), std::string::npos) << started;
    ASSERT_EQ(kill(next.pid(), SIGTERM), 0);
    EXPECT_EQ(next.exitCode(), std::optional<int>(0)) << report();
}

INSTANTIATE_TEST_SUITE_P(Rows, Shutdown, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });
