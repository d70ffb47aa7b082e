// The program's life under an X display: a warning box, closed with OK or
// with the window's close button, never ends it, and a warning found at
// start holds neither the start nor the requests of other starts.

#include "app/App.h"
#include "app/Entry.h"
#include "app/RunningInstance.h"
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <vector>

// Last: its macros (None, Bool, Status) would rename what comes after.
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace qvtest::e2e;

namespace {

bool onDisplay() {
    return std::getenv("DISPLAY") && std::getenv("QV_XVFB_SCREEN");
}

// The visible windows that xdotool's search finds by the criteria.
std::set<std::string> visibleWindows(const std::string& criteria) {
    std::set<std::string> ids;
    std::istringstream in(runCommand("xdotool search --onlyvisible " + criteria + " 2>/dev/null"));
    for (std::string id; std::getline(in, id);)
        if (!id.empty())
            ids.insert(id);
    return ids;
}

// The visible windows titled as the program's: its boxes and the LaunchBox.
std::set<std::string> programWindows() {
    return visibleWindows("--name '^Quorvalent$'");
}

// The windows of the program's that were not there before, once there are
// as many as expected (fewer when they did not come in time).
std::vector<std::string> newWindows(const std::set<std::string>& before, size_t expected = 1) {
    std::vector<std::string> found;
    waitFor([&] {
        found.clear();
        for (const std::string& id : programWindows()) {
            if (!before.contains(id))
                found.push_back(id);
        }
        return found.size() >= expected;
    });
    return found;
}

enum class Close { Ok, CloseButton };

// As a user closes a box: Enter on its default button (OK), or the window
// manager's close (Alt+F4, the title bar's close button).
bool closeBox(const std::string& id, Close how) {
    runCommand("xdotool windowactivate --sync " + id);
    runCommand(how == Close::Ok ? "xdotool key --clearmodifiers Return"
                                : "xdotool key --clearmodifiers alt+F4");
    return waitFor([&] { return !programWindows().contains(id); });
}

fs::path userIni(const UserTree& user) {
    return user.config / "Quorvalent" / "User" / "Quorvalent.ini";
}

void writePackage(const UserTree& user) {
    const fs::path folder = user.config / "Quorvalent" / "Packages" / "Good";
    fs::create_directories(folder);
    std::ofstream(folder / "good.py") << R"(import quorvalent
import quorvalent_api as api
class Good(quorvalent.Plugin):
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, 'Good item', '', 'good', 0, False, 0, 0, '')])
)";
}

// The user's environment on the test display, with no text editor.
void onTestDisplay(UserTree& user) {
    user.env["QT_QPA_PLATFORM"] = "xcb";
    user.env.erase("VISUAL");
    user.env.erase("EDITOR");
    fs::create_directories(userIni(user).parent_path());
}

struct BoxRow {
    const char* name;
    // Makes the boxes come up; round 0 and 1 differ so that each is a change.
    void (*raise)(const UserTree& user, int round);
    // The warning each box carries.
    const char* logged;
    // Boxes in each round.
    size_t boxes = 1;
};

const BoxRow boxRows[] = {
    {"MalformedRunHotkey",
     // The second round changes another key as well: a malformed key reads
     // as no key, so the settings would not change otherwise.
     [](const UserTree& user, int round) {
         std::ofstream(userIni(user)) << "[app]\nhotkey_run = Ctrl+Shfit+Space\n"
                                      << (round ? "hotkey_console = Ctrl+Alt+F12\n" : "");
     },
     "Malformed 'Run' hotkey"},
    {"UnknownVariable",
     [](const UserTree& user, int round) {
         std::ofstream(userIni(user)) << "[var]\nmine = ${nosuch" << round << "}\n";
     },
     "Error while reading app config data"},
    // One box for the first file: the others have no opener either.
    {"ConfigureWithoutAnEditor", [](const UserTree&, int) { chooseFromTrayMenu("c"); },
     "No program to open it was found: install xdg-utils"},
};

class BoxOnDisplay : public testing::TestWithParam<BoxRow> {};

void PrintTo(const BoxRow& row, std::ostream* out) {
    *out << row.name;
}

} // namespace

TEST_P(BoxOnDisplay, ClosingTheBoxLeavesTheProgramRunning) {
    if (!onDisplay())
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    const BoxRow& row = GetParam();
    UserTree user;
    onTestDisplay(user);
    auto report = [&] { return readText(user.output) + readText(user.log); };
    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "] Init done in ")) << report();

    int round = 0;
    for (Close how : {Close::Ok, Close::CloseButton}) {
        SCOPED_TRACE(how == Close::Ok ? "OK" : "close button");
        const std::set<std::string> before = programWindows();
        row.raise(user, round++);
        const std::vector<std::string> boxes = newWindows(before, row.boxes);
        ASSERT_EQ(boxes.size(), row.boxes) << report();
        for (const std::string& box : boxes)
            ASSERT_TRUE(closeBox(box, how)) << report();
        EXPECT_TRUE(running(program.pid())) << report();
    }
    EXPECT_EQ(occurrences(readText(user.log), row.logged), 2 * row.boxes) << report();

    const std::set<std::string> before = programWindows();
    Program show({"--show"}, user.env, user.output);
    EXPECT_EQ(show.exitCode(), std::optional<int>(0)) << report();
    EXPECT_EQ(newWindows(before).size(), 1u) << "the LaunchBox is mapped\n" << report();
    EXPECT_TRUE(running(program.pid()));
    EXPECT_EQ(readText(user.log).find("Shutting down"), std::string::npos) << report();

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << report();
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << report();
}

INSTANTIATE_TEST_SUITE_P(EndToEndOnDisplay, BoxOnDisplay, testing::ValuesIn(boxRows),
                         [](const testing::TestParamInfo<BoxRow>& info) {
                             return info.param.name;
                         });

namespace {

// Another X client's grab of the default Run hot key (Ctrl+Win+K).
class KeyGrab {
public:
    KeyGrab() : display_(XOpenDisplay(nullptr), &XCloseDisplay) {
        if (!display_)
            return;
        XGrabKey(display_.get(), XKeysymToKeycode(display_.get(), XK_k), ControlMask | Mod4Mask,
                 DefaultRootWindow(display_.get()), True, GrabModeAsync, GrabModeAsync);
        XSync(display_.get(), False);
    }
    bool held() const { return display_ != nullptr; }

private:
    std::unique_ptr<Display, int (*)(Display*)> display_;
};

enum class StartBox { Grabbed, Malformed };
enum class End { Exit, Sigterm };

struct StartRow {
    const char* name;
    StartBox box;
    End end;
    const char* logged;
};

const StartRow startRows[] = {
    {"GrabbedRunHotkeyThenExit", StartBox::Grabbed, End::Exit, "Failed to register the 'Run'"},
    {"GrabbedRunHotkeyThenSigterm", StartBox::Grabbed, End::Sigterm,
     "Failed to register the 'Run'"},
    {"MalformedRunHotkeyThenExit", StartBox::Malformed, End::Exit, "Malformed 'Run' hotkey"},
    {"MalformedRunHotkeyThenSigterm", StartBox::Malformed, End::Sigterm, "Malformed 'Run' hotkey"},
};

class StartOnDisplay : public testing::TestWithParam<StartRow> {};

void PrintTo(const StartRow& row, std::ostream* out) {
    *out << row.name;
}

// The exit code a start with the request gets. The start forwards it as a
// real one does, from this process.
uint32_t request(const char* what, const UserTree& user) {
    SocketRunningInstance instance((user.runtime / App::instanceSocketName()).string());
    uint32_t command = 0, code = 99;
    if (!forwardToRunningInstance({L"quorvalent", wstr::fromUtf8(what)}, instance, command, code))
        code = 98;
    return code;
}

} // namespace

TEST_P(StartOnDisplay, TheStartAndOtherStartsDoNotWaitForTheBox) {
    if (!onDisplay())
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    const StartRow& row = GetParam();
    UserTree user;
    onTestDisplay(user);
    auto report = [&] { return readText(user.output) + readText(user.log); };
    writePackage(user);
    KeyGrab grab;
    if (row.box == StartBox::Grabbed)
        ASSERT_TRUE(grab.held());
    else
        std::ofstream(userIni(user)) << "[app]\nhotkey_run = Ctrl+Shfit+Space\n";

    const std::set<std::string> before = programWindows();
    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    const std::vector<std::string> boxes = newWindows(before);
    ASSERT_EQ(boxes.size(), 1u) << report();
    const std::string box = boxes.front();
    ASSERT_TRUE(waitForText(user.log, "] Plugin loaded: Good.Good")) << report();
    EXPECT_TRUE(programWindows().contains(box)) << "the box is still up";
    EXPECT_NE(readText(user.log).find(row.logged), std::string::npos) << report();
    EXPECT_NE(readText(user.log).find("] Init done in "), std::string::npos) << report();

    // The box stays up (nobody closes it) while the instance serves other
    // starts: the LaunchBox shows and goes again, and the program ends.
    const std::set<std::string> withBox = programWindows();
    EXPECT_EQ(request("--show", user), 0u) << report();
    const std::vector<std::string> shown = newWindows(withBox);
    ASSERT_EQ(shown.size(), 1u) << "the LaunchBox is mapped\n" << report();
    EXPECT_EQ(request("--hide", user), 0u) << report();
    EXPECT_TRUE(waitFor([&] { return !programWindows().contains(shown.front()); })) << report();
    EXPECT_TRUE(programWindows().contains(box)) << "the box is still up";
    if (row.end == End::Exit) {
        SocketRunningInstance instance((user.runtime / App::instanceSocketName()).string());
        ASSERT_TRUE(instance.find() && instance.openProcess()) << report();
        instance.send(StartExit);
        EXPECT_EQ(instance.waitForExit(exitWaitMs), RunningInstance::Ended) << report();
    } else {
        ASSERT_EQ(kill(program.pid(), SIGTERM), 0);
    }
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << report();
    const std::string log = readText(user.log);
    const auto received = log.find("] Received SIGTERM; shutting down.");
    const auto shutting = log.find("] Shutting down with code 0.");
    EXPECT_NE(shutting, std::string::npos) << log;
    if (row.end == End::Sigterm) {
        EXPECT_LT(received, shutting) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(EndToEndOnDisplay, StartOnDisplay, testing::ValuesIn(startRows),
                         [](const testing::TestParamInfo<StartRow>& info) {
                             return info.param.name;
                         });
