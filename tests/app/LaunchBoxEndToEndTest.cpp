// The main road under an X display: the program with a package whose plugin
// hands in an item and writes a marker file when it is executed; "--show"
// from a second start opens the LaunchBox, XTest types the query, Enter
// executes, and the history file records the hit.
#include "tests/app/MarkerPackage.h"

#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

using namespace qvtest::e2e;

namespace {

// A user of the display with the marker package, whose instance is started
// and has its item in the catalog cache.
struct MarkerUser {
    MarkerUser() { user.env["QT_QPA_PLATFORM"] = "xcb"; }

    UserTree user;
    const fs::path marker = user.dir.path() / "marker.txt";
    MarkerPackage package{"Marker" + std::to_string(getpid()), marker,
                          {{"Marker launch", "/opt/marker/target"}}};
};

// Types the item's name into the shown LaunchBox and executes it with Enter:
// the plugin writes its marker and the history file records the hit.
void executeTheMarker(const std::string& window, const MarkerUser& m) {
    ASSERT_TRUE(waitFocused(window)) << "the LaunchBox did not get the focus";
    const int empty = windowHeight(window);
    ASSERT_EQ(std::system("xdotool type --delay 30 'marker la'"), 0);
    // The box grows by the rows of its results.
    ASSERT_TRUE(waitFor([&] { return windowHeight(window) > empty; })) << readText(m.user.log);
    ASSERT_EQ(std::system("xdotool key Return"), 0);
    ASSERT_TRUE(waitFor([&] { return readText(m.marker) == "/opt/marker/target"; }))
        << readText(m.user.log);
    ASSERT_TRUE(waitFor([&] {
        const fs::path history = findFile(m.user.config, ".history");
        return !history.empty() && readText(history).find("Marker launch") != std::string::npos;
    })) << readText(m.user.log);
}

} // namespace

TEST(EndToEndOnDisplay, TheLaunchBoxSearchesAndExecutesThroughThePlugin) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    MarkerUser m;
    UserTree& user = m.user;

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    // The cache is written once the plugin's item is in the catalog.
    ASSERT_TRUE(waitFor([&] { return fs::exists(user.localFile(".catalog")); }))
        << readText(user.output) << readText(user.log);

    Program show({"--show"}, user.env, user.output);
    EXPECT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
    const std::string window = waitVisibleWindow("^Quorvalent$");
    ASSERT_FALSE(window.empty()) << readText(user.log);
    ASSERT_NO_FATAL_FAILURE(executeTheMarker(window, m));

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}

// "--show" from a start without XDG_RUNTIME_DIR (another runtime folder than
// the instance's) shows the LaunchBox of the instance that holds the
// profile, and the hit executed there reaches the history although a swap
// file of it was in flight while the other start ran.
TEST(EndToEndOnDisplay, AShowRequestFromAnotherRuntimeFolderReachesTheProfilesInstance) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    MarkerUser m;
    UserTree& user = m.user;
    const fs::path swap = user.config / "Quorvalent/User/Quorvalent.history.qvswap";

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitFor([&] { return fs::exists(user.localFile(".catalog")); }))
        << readText(user.output) << readText(user.log);
    std::ofstream(swap) << "in flight";

    auto other = user.env;
    other.erase("XDG_RUNTIME_DIR");
    other["TMPDIR"] = (user.dir.path() / "tmp").string();
    fs::create_directories(user.dir.path() / "tmp");
    Program show({"--show"}, other, user.output);
    EXPECT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
    const std::string window = waitVisibleWindow("^Quorvalent$");
    ASSERT_FALSE(window.empty()) << readText(user.log);
    EXPECT_EQ(runCommand("xdotool getwindowpid " + window), std::to_string(program.pid()));
    EXPECT_EQ(readText(swap), "in flight");
    ASSERT_NO_FATAL_FAILURE(executeTheMarker(window, m));
    EXPECT_FALSE(fs::exists(swap)) << "the instance's own write went through it";

    Program exit({"--exit"}, other, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}
