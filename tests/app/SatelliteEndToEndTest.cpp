// The real program on a plain window manager: the satellite beside the
// LaunchBox shows the selected item's icon whatever its source, as the row
// does: a package's icon, an icon of the user's theme named by a desktop
// entry (as the desktop's applications have), and the program's own icon
// for an item without one.
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"
#include "tests/support/ImageFixtures.h"

#include <QImage>
#include <QRect>

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

using namespace qvtest::e2e;

namespace {

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kGreen = 0xFF00FF00;

// The user's theme with one green application icon, named in GTK's
// settings; a package whose plugin hands in an item with a red package icon
// and a desktop entry that names the theme's icon.
void writeUser(UserTree& user) {
    user.dir.write("sys/icons/SatColours/index.theme",
                   "[Icon Theme]\nName=SatColours\nDirectories=32/apps\n"
                   "[32/apps]\nSize=32\nType=Fixed\n");
    user.dir.write("sys/icons/SatColours/32/apps/qvsat-green.png",
                   qvtest::str(qvtest::makePng(32, 32, kGreen)));
    fs::create_directories(user.dir.path() / "mimeonly");
    fs::create_directory_symlink("/usr/share/mime", user.dir.path() / "mimeonly/mime");
    user.env["XDG_DATA_DIRS"] =
        (user.dir.path() / "sys").string() + ":" + (user.dir.path() / "mimeonly").string();
    user.env.erase("XDG_CURRENT_DESKTOP");
    user.env.erase("DESKTOP_SESSION");
    user.dir.write("config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=SatColours\n");

    user.dir.write("home/fixtures/red.png", qvtest::str(qvtest::makePng(48, 48, kRed)));
    user.dir.write("home/fixtures/qvsat-theme.desktop",
                   "[Desktop Entry]\nType=Application\nName=qvsat theme\nExec=/bin/true\n"
                   "Icon=qvsat-green\n");
    user.dir.write("config/Quorvalent/Packages/Satellite/satellite.py", R"(import os
import quorvalent
class Satellite(quorvalent.Plugin):
    def on_catalog(self):
        folder = os.path.join(os.environ["HOME"], "fixtures")
        red = quorvalent.load_icon(["@" + os.path.join(folder, "red.png")], False, None)
        self.set_catalog([
            quorvalent.CatalogItem(self, 10, "qvsat package", "", "qvsat:package", 0, False, 0,
                                   red or 0, "package"),
            quorvalent.CatalogItem(self, 20, "qvsat theme", "",
                                   os.path.join(folder, "qvsat-theme.desktop"), 1, False, 0, 0,
                                   "theme")])
)");
}

QRect geometryOf(const std::string& id) {
    std::istringstream shape(runCommand("xdotool getwindowgeometry --shell " + id));
    QRect rect;
    for (std::string line; std::getline(shape, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            rect.moveLeft(value);
        else if (key == "Y")
            rect.moveTop(value);
        else if (key == "WIDTH")
            rect.setWidth(value);
        else if (key == "HEIGHT")
            rect.setHeight(value);
    }
    return rect;
}

// The program's mapped window centred above the LaunchBox, touching it (the
// default theme's satellite_pos); empty when none is.
std::string satelliteAbove(pid_t pid, const std::string& box) {
    const QRect boxRect = geometryOf(box);
    std::istringstream ids(
        runCommand("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"));
    for (std::string id; std::getline(ids, id);) {
        if (id == box)
            continue;
        const QRect rect = geometryOf(id);
        if (!rect.isEmpty() && rect.bottom() + 1 == boxRect.top() &&
            std::abs(rect.center().x() - boxRect.center().x()) <= 1)
            return id;
    }
    return {};
}

int pixelsOf(const std::string& id, QRgb colour) {
    qvtest::qtApp();
    const QImage image =
        QGuiApplication::primaryScreen()->grabWindow(WId(std::stoul(id))).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

// Saves the screen around the two windows as a PNG under the build folder.
bool saveBoth(const std::string& box, const std::string& satellite, const std::string& name) {
    qvtest::qtApp();
    const QRect area = geometryOf(box).united(geometryOf(satellite));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(QString::fromStdString(std::string(QV_BUILD_DIR) + "/" + name));
}

} // namespace

TEST(EndToEndOnDisplay, TheSatelliteShowsTheSelectedItemsIconWhateverItsSource) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    UserTree user;
    user.env["QT_QPA_PLATFORM"] = "xcb";
    writeUser(user);
    const fs::path cache = user.localFile(".catalog");
    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitFor([&] { return fs::exists(cache); }))
        << readText(user.output) << readText(user.log);

    Program show({"--show"}, user.env, user.output);
    EXPECT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
    const std::string box = waitVisibleWindow("^Quorvalent$");
    ASSERT_FALSE(box.empty()) << readText(user.log);
    ASSERT_TRUE(waitFocused(box));
    struct Case {
        const char* query;
        QRgb colour; // 0: the program's icon
        const char* screenshot;
    };
    const Case cases[] = {
        {"qvsat package", kRed, "satellite-package-icon.png"},
        {"qvsat theme", kGreen, "satellite-theme-icon.png"},
        {"quorvalent about", 0, "satellite-program-icon.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        ASSERT_TRUE(xdotool("key ctrl+a BackSpace"));
        ASSERT_TRUE(xdotool("type --delay 30 '" + std::string(c.query) + "'"));
        std::string satellite;
        const bool shown = waitFor([&] {
            satellite = satelliteAbove(program.pid(), box);
            return !satellite.empty() &&
                   (c.colour == 0 || pixelsOf(satellite, c.colour) >= 48 * 48);
        });
        EXPECT_TRUE(shown) << (satellite.empty() ? "no satellite beside the box"
                                                 : "the satellite shows another image")
                           << "\n"
                           << readText(user.log);
        if (!satellite.empty()) {
            EXPECT_TRUE(saveBoth(box, satellite, c.screenshot));
        }
    }

    ASSERT_TRUE(xdotool("key Escape"));
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}
