// The real program on a plain window manager (no XDG_CURRENT_DESKTOP): the
// LaunchBox rows show the icons of the theme named in the user's GTK
// settings, each as soon as it is found, without a key press.
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"
#include "tests/support/ImageFixtures.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <memory>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace qvtest::e2e;

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kMagenta = 0xFF00FF;

// How many pixels of the window the X server shows in each colour (RGB).
class WindowPixels {
public:
    WindowPixels() : display_(XOpenDisplay(nullptr), &XCloseDisplay) {}

    std::map<uint32_t, int> count(Window window, const std::vector<uint32_t>& colours) {
        std::map<uint32_t, int> found;
        XWindowAttributes attributes;
        if (!display_ || !XGetWindowAttributes(display_.get(), window, &attributes))
            return found;
        XImage* image = XGetImage(display_.get(), window, 0, 0, attributes.width, attributes.height,
                                  AllPlanes, ZPixmap);
        if (!image)
            return found;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                const uint32_t pixel = XGetPixel(image, x, y) & 0xFFFFFF;
                for (uint32_t colour : colours)
                    found[colour] += pixel == colour;
            }
        XDestroyImage(image);
        return found;
    }

private:
    std::unique_ptr<Display, int (*)(Display*)> display_;
};

// A theme of one colour per icon, named in GTK's settings; the system's
// MIME database without the system's themes.
void writeUser(UserTree& user) {
    const fs::path data = user.dir.path() / "sys";
    const std::string theme = "[Icon Theme]\nName=Plain\nDirectories=32/places,32/mimetypes\n"
                              "[32/places]\nSize=32\nType=Fixed\n"
                              "[32/mimetypes]\nSize=32\nType=Fixed\n";
    user.dir.write("sys/icons/PlainColours/index.theme", theme);
    const std::pair<const char*, uint32_t> icons[] = {
        {"32/places/inode-directory.png", kBlue},
        {"32/mimetypes/text-plain.png", kRed},
        {"32/mimetypes/image-png.png", kGreen},
        {"32/mimetypes/application-x-shellscript.png", kMagenta},
    };
    for (const auto& [file, colour] : icons)
        user.dir.write(std::string("sys/icons/PlainColours/") + file,
                       qvtest::str(qvtest::makePng(32, 32, 0xFF000000 | colour)));
    fs::create_directories(user.dir.path() / "mimeonly");
    fs::create_directory_symlink("/usr/share/mime", user.dir.path() / "mimeonly/mime");
    user.env["XDG_DATA_DIRS"] = data.string() + ":" + (user.dir.path() / "mimeonly").string();
    user.env.erase("XDG_CURRENT_DESKTOP");
    user.env.erase("DESKTOP_SESSION");
    user.dir.write("config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=PlainColours\n");

    user.dir.write("home/qvz folder/inside.txt", "x");
    user.dir.write("home/qvz note.txt", "hello\n");
    user.dir.write("home/qvz picture.png", qvtest::str(qvtest::makePng(4, 4, 0xFF808080)));
    user.dir.write("home/qvy script.sh", "#!/bin/sh\necho hi\n");
    // A package of the profile whose plugin hands in those files.
    user.dir.write("config/Quorvalent/Packages/Places/places.py", R"(import os
import quorvalent
class Places(quorvalent.Plugin):
    def on_catalog(self):
        home = os.environ["HOME"]
        self.set_catalog([quorvalent.CatalogItem(self, 20, name, "", os.path.join(home, name),
                                                 1, False, 0, 0, name)
                          for name in sorted(os.listdir(home)) if name.startswith("qv")])
)");
}

} // namespace

TEST(EndToEndOnDisplay, TheLaunchBoxShowsTheIconsOfTheUsersThemeAsTheyArrive) {
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
    EXPECT_NE(readText(user.log).find("] Icon theme: PlainColours (GTK settings " +
                                      (user.config / "gtk-3.0/settings.ini").string() + ")"),
              std::string::npos)
        << readText(user.log);

    Program show({"--show"}, user.env, user.output);
    EXPECT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
    const std::string window = waitVisibleWindow("^Quorvalent$");
    ASSERT_FALSE(window.empty()) << readText(user.log);
    ASSERT_TRUE(waitFocused(window));
    const Window id = std::strtoul(window.c_str(), nullptr, 10);
    WindowPixels pixels;
    const int icon = 32 * 32;
    // Each query's rows are new to the image manager: they are drawn with
    // the placeholder first, and their icons must follow on their own.
    struct Query {
        const char* text;
        std::vector<uint32_t> colours;
    };
    const Query queries[] = {{"qvz", {kBlue, kRed, kGreen}}, {"qvy", {kMagenta}}};
    for (const auto& query : queries) {
        ASSERT_EQ(std::system("xdotool key ctrl+a BackSpace"), 0);
        ASSERT_EQ(
            std::system(("xdotool type --delay 30 '" + std::string(query.text) + "'").c_str()), 0);
        // Nothing else happens meanwhile: the icons come without more input.
        const bool shown = waitFor([&] {
            const auto counts = pixels.count(id, query.colours);
            for (uint32_t colour : query.colours)
                if (counts.count(colour) == 0 || counts.at(colour) < icon)
                    return false;
            return true;
        });
        EXPECT_TRUE(shown) << query.text << "\n" << readText(user.log);
    }

    ASSERT_EQ(std::system("xdotool key Escape"), 0);
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}

// Qt answers a built-in theme for some desktops whose settings it cannot read
// (no GTK platform theme installed): the theme the user's GTK settings name
// must win over it on each of them, and on a bare window manager too.
TEST(EndToEndOnDisplay, TheUsersGtkIconThemeWinsOverQtsDefaultOnEachDesktop) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    for (const char* desktop : {"XFCE", "MATE", "GNOME", ""}) {
        UserTree user;
        user.env["QT_QPA_PLATFORM"] = "xcb";
        user.env.erase("QT_QPA_PLATFORMTHEME");
        user.env.erase("DESKTOP_SESSION");
        user.env["XDG_CURRENT_DESKTOP"] = desktop;
        // Qt's own answers installed too, so only the order can pick them.
        for (const char* theme : {"Mine", "Adwaita", "hicolor"})
            user.dir.write(std::string("sys/icons/") + theme + "/index.theme",
                           std::string("[Icon Theme]\nName=") + theme + "\n");
        user.env["XDG_DATA_DIRS"] = (user.dir.path() / "sys").string();
        user.dir.write("config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Mine\n");

        Program program({}, user.env, user.output);
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(waitForText(user.log, "] Icon theme: "))
            << desktop << "\n"
            << readText(user.output) << readText(user.log);
        EXPECT_NE(readText(user.log).find("] Icon theme: Mine (GTK settings " +
                                          (user.config / "gtk-3.0/settings.ini").string() + ")"),
                  std::string::npos)
            << "XDG_CURRENT_DESKTOP=" << desktop << "\n"
            << readText(user.log);
        // The instance answers requests once its start is done.
        ASSERT_TRUE(waitForText(user.log, "] Init done in ")) << readText(user.log);
        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
        EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
    }
}
