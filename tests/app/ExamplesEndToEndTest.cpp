// The example packages and the arguments sample of docs/plugins.md, used in
// the LaunchBox of the running program under an X display as a user does:
// typed arguments reach the item, and every action does what it says.
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace qvtest::e2e;

namespace {

const std::string launchBoxTitle = "^Quorvalent$";

fs::path docs() {
    return (fs::path(QV_TEST_DATA_DIR) / "../../../docs").lexically_normal();
}

// The indented code block under the heading, as the page shows it.
std::string sampleUnder(const std::string& page, const std::string& heading) {
    std::istringstream in(page);
    std::string line, code;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0)
            inSection = line == heading;
        else if (inSection && line.rfind("    ", 0) == 0)
            code += line.substr(4) + "\n";
        else if (inSection && !line.empty() && !code.empty())
            break;
        else if (inSection && line.empty() && !code.empty())
            code += "\n";
    }
    return code;
}

void writeExecutable(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
    fs::permissions(file, fs::perms::owner_all);
}

// Records a run of a program: its name and its arguments, one line.
std::string recorder(const fs::path& runs) {
    return "#!/bin/sh\n{ printf '%s' \"$(basename \"$0\")\"; for a in \"$@\"; do printf ' [%s]' "
           "\"$a\"; done; echo; } >> '" +
           runs.string() + "'\n";
}

// The program with DesktopApps, Calculator and the arguments sample of
// docs/plugins.md installed, and one application: a probe whose runs, like
// those of the file manager (xdg-open) and the editor, are recorded.
class ExamplesOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
            GTEST_SKIP() << "needs the display of scripts/with-display.sh";
        user.env["QT_QPA_PLATFORM"] = "xcb";
        const fs::path packages = user.config / "Quorvalent/Packages";
        fs::create_directories(packages);
        for (const char* example : {"DesktopApps", "Calculator"})
            fs::copy(docs() / "examples" / example, packages / example,
                     fs::copy_options::recursive);
        const std::string sample =
            sampleUnder(readText(docs() / "plugins.md"), "## An item that takes arguments");
        ASSERT_NE(sample.find("class Greeter"), std::string::npos) << sample;
        fs::create_directories(packages / "Greeter");
        std::ofstream(packages / "Greeter/greeter.py") << sample;

        fs::create_directories(bin);
        for (const char* program : {"probe", "xdg-open", "editor"})
            writeExecutable(bin / program, recorder(runs));
        fs::create_directories(data / "applications");
        std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Probe App\n"
                                "Comment=Writes its arguments\nExec=probe --files %F\n";
        user.env["XDG_DATA_HOME"] = data.string();
        user.env["XDG_DATA_DIRS"] = (user.dir.path() / "no-system-data").string();
        user.env["PATH"] = bin.string() + ":" + user.env["PATH"];
        user.env["VISUAL"] = "editor";

        program = std::make_unique<Program>(std::vector<std::string>{}, user.env, user.output);
        ASSERT_TRUE(program->started());
        for (const char* plugin :
             {"DesktopApps.DesktopApps", "Calculator.Calculator", "Greeter.Greeter"})
            ASSERT_TRUE(waitForText(user.log, std::string("Plugin loaded: ") + plugin))
                << readText(user.output) << readText(user.log);
    }

    void TearDown() override {
        if (!program)
            return;
        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
        EXPECT_EQ(program->exitCode(), std::optional<int>(0)) << readText(user.output);
    }

    // Opens the LaunchBox and types the text; returns once the list shows
    // rows for it.
    void search(const std::string& text) {
        Program show({"--show"}, user.env, user.output);
        ASSERT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
        if (box.empty())
            box = waitVisibleWindow(launchBoxTitle);
        ASSERT_FALSE(box.empty()) << readText(user.log);
        ASSERT_TRUE(waitMapped(box, true));
        ASSERT_TRUE(waitFocused(box));
        if (empty == 0)
            empty = windowHeight(box);
        typeAndWaitForRows(text);
    }

    void typeAndWaitForRows(const std::string& text) {
        ASSERT_TRUE(xdotool("type --delay 20 '" + text + "'"));
        ASSERT_TRUE(waitFor([&] { return windowHeight(box) > empty; })) << readText(user.log);
    }

    // Tab on the selected item: the list empties while no argument is typed;
    // then the arguments are typed and their rows awaited.
    void giveArguments(const std::string& args) {
        ASSERT_TRUE(xdotool("key Tab"));
        ASSERT_TRUE(waitFor([&] { return windowHeight(box) == empty; })) << readText(user.log);
        typeAndWaitForRows(args);
    }

    // Ctrl+Enter, the action on that row of the actions list, Enter.
    void runAction(int row, const std::string& screenshot = {}) {
        const int results = windowHeight(box);
        ASSERT_TRUE(xdotool("key ctrl+Return"));
        ASSERT_TRUE(waitFor([&] { return windowHeight(box) > results; })) << readText(user.log);
        ASSERT_TRUE(xdotool("key ctrl+Home"));
        for (int i = 0; i < row; ++i)
            ASSERT_TRUE(xdotool("key Down"));
        if (!screenshot.empty()) {
            EXPECT_TRUE(saveScreenshot(box, screenshot));
        }
        enter();
    }

    void enter() {
        ASSERT_TRUE(xdotool("key Return"));
        ASSERT_TRUE(waitMapped(box, false)) << readText(user.log);
    }

    std::string clipboard() { return runCommand("xclip -o -selection clipboard 2>/dev/null"); }

    UserTree user;
    const fs::path bin = user.dir.path() / "bin", data = user.dir.path() / "data";
    const fs::path entry = data / "applications/probe.desktop";
    const fs::path runs = user.dir.path() / "runs.txt";
    std::unique_ptr<Program> program;
    std::string box;
    int empty = 0;
};

TEST_F(ExamplesOnDisplay, AnApplicationTakesArgumentsAndEachActionDoesWhatItSays) {
    // Tab, arguments, Enter: the application gets them as its files.
    ASSERT_NO_FATAL_FAILURE(search("Probe App"));
    EXPECT_TRUE(saveScreenshot(box, "examples-application.png"));
    ASSERT_NO_FATAL_FAILURE(giveArguments("one two"));
    EXPECT_TRUE(saveScreenshot(box, "examples-arguments.png"));
    ASSERT_NO_FATAL_FAILURE(enter());
    ASSERT_TRUE(waitForText(runs, "probe [--files] [one] [two]\n")) << readText(user.log);

    // The actions that do not start it, then "Open", which does: the runs
    // then hold the probe's two runs and the others' own, in this order.
    const std::string folder = entry.parent_path().string();
    ASSERT_NO_FATAL_FAILURE(search("Probe App"));
    ASSERT_NO_FATAL_FAILURE(runAction(1, "examples-actions.png"));
    ASSERT_TRUE(waitFor([&] { return clipboard() == entry.string(); })) << clipboard();
    ASSERT_NO_FATAL_FAILURE(search("Probe App"));
    ASSERT_NO_FATAL_FAILURE(runAction(2));
    ASSERT_TRUE(waitForText(runs, "xdg-open [" + folder + "]\n")) << readText(user.log);
    ASSERT_NO_FATAL_FAILURE(search("Probe App"));
    ASSERT_NO_FATAL_FAILURE(runAction(3));
    ASSERT_TRUE(waitForText(runs, "editor [" + entry.string() + "]\n")) << readText(user.log);
    ASSERT_NO_FATAL_FAILURE(search("Probe App"));
    ASSERT_NO_FATAL_FAILURE(runAction(0));
    const std::string expected = "probe [--files] [one] [two]\nxdg-open [" + folder +
                                 "]\neditor [" + entry.string() + "]\nprobe [--files]\n";
    ASSERT_TRUE(waitFor([&] { return readText(runs) == expected; })) << readText(runs);
    EXPECT_EQ(clipboard(), entry.string());
}

TEST_F(ExamplesOnDisplay, ArgumentsSampleAndCalculatorAnswerInTheChain) {
    // The sample of docs/plugins.md, as written there.
    ASSERT_NO_FATAL_FAILURE(search("Greet"));
    ASSERT_NO_FATAL_FAILURE(giveArguments("Ann"));
    ASSERT_NO_FATAL_FAILURE(enter());
    ASSERT_TRUE(waitForText(user.log, "Python: Hello, Ann!")) << readText(user.log);

    // Enter on "Calculator" asks for the expression; Enter copies the answer.
    ASSERT_NO_FATAL_FAILURE(search("Calculator"));
    ASSERT_TRUE(xdotool("key Return"));
    ASSERT_TRUE(waitFor([&] { return windowHeight(box) == empty; })) << readText(user.log);
    ASSERT_NO_FATAL_FAILURE(typeAndWaitForRows("6*7"));
    ASSERT_NO_FATAL_FAILURE(enter());
    ASSERT_TRUE(waitFor([&] { return clipboard() == "42"; })) << clipboard();
    // Without the chain, a sum is answered all the same.
    ASSERT_NO_FATAL_FAILURE(search("2*(3+4)"));
    ASSERT_NO_FATAL_FAILURE(enter());
    ASSERT_TRUE(waitFor([&] { return clipboard() == "14"; })) << clipboard();
}

} // namespace
