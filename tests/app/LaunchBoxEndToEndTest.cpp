// The main road under an X display: the program with a package whose plugin
// hands in an item and writes a marker file when it is executed; "--show"
// from a second start opens the LaunchBox, XTest types the query, Enter
// executes, and the history file records the hit.
#include "tests/app/MarkerPackage.h"

#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

using namespace qvtest::e2e;

TEST(EndToEndOnDisplay, TheLaunchBoxSearchesAndExecutesThroughThePlugin) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    UserTree user;
    user.env["QT_QPA_PLATFORM"] = "xcb";
    const std::string name = "Marker" + std::to_string(getpid());
    const fs::path marker = user.dir.path() / "marker.txt";
    MarkerPackage package(name, marker, {{"Marker launch", "/opt/marker/target"}});
    const fs::path cache = user.localFile(".catalog");

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    // The cache is written once the plugin's item is in the catalog.
    ASSERT_TRUE(waitFor([&] { return fs::exists(cache); }))
        << readText(user.output) << readText(user.log);

    Program show({"--show"}, user.env, user.output);
    EXPECT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
    const std::string window = waitVisibleWindow("^Quorvalent$");
    ASSERT_FALSE(window.empty()) << readText(user.log);
    ASSERT_TRUE(waitFocused(window)) << "the LaunchBox did not get the focus";
    const int empty = windowHeight(window);
    ASSERT_EQ(std::system("xdotool type --delay 30 'marker la'"), 0);
    // The box grows by the rows of its results.
    ASSERT_TRUE(waitFor([&] { return windowHeight(window) > empty; })) << readText(user.log);
    ASSERT_EQ(std::system("xdotool key Return"), 0);
    ASSERT_TRUE(waitFor([&] { return readText(marker) == "/opt/marker/target"; }))
        << readText(user.log);
    ASSERT_TRUE(waitFor([&] {
        const fs::path history = findFile(user.config, ".history");
        return !history.empty() && readText(history).find("Marker launch") != std::string::npos;
    })) << readText(user.log);

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}
