// The icon theme of a session that names no desktop (a plain window
// manager): the application's image host finds the user's theme, and the
// image manager draws its icons.
#include "app/AppImageHost.h"

#include "catalog/CatalogItem.h"

#include <gtest/gtest.h>

#include <QIcon>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "tests/core/ScopedEnv.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/LogRecords.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kGrey = 0xFF808080;

// The real host; only the timer, which needs a running application, is
// turned into an event the test waits on.
class TimedHost : public AppImageHost {
public:
    TimedHost() : AppImageHost({}) {}
    void setTimer(uint32_t, uint32_t) override { icons.set(); }
    Event icons{true};
};

// The icon files a theme gives a folder, a text file and a PNG image.
struct ThemeColours {
    uint32_t folder = 0;
    uint32_t text = 0;
    uint32_t image = 0;
};

class AppImageHostTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    qvtest::ScopedEnv env;
    QString qtTheme;

    AppImageHostTest() {
        qvtest::qtApp();
        // What Qt answers without a desktop it knows.
        qtTheme = QIcon::themeName();
        QIcon::setThemeName("hicolor");
        std::filesystem::create_directories(dir.path() / "mimeonly");
        // The system's MIME database, without the system's icon themes.
        std::filesystem::create_directory_symlink("/usr/share/mime", dir.path() / "mimeonly/mime");
        env.set("HOME", at("home"))
            .set("XDG_CONFIG_HOME", at("config"))
            .set("XDG_DATA_HOME", at("data"))
            .set("XDG_DATA_DIRS", at("sys") + ":" + at("mimeonly"))
            .unset("XDG_CURRENT_DESKTOP")
            .unset("DISPLAY");
        dir.write("files/note.txt", "hello\n");
        dir.write("files/picture.png", qvtest::str(qvtest::makePng(4, 4, kGrey)));
        dir.write("files/folder/inside.txt", "x");
        writeTheme("hicolor", {kGrey, kGrey, kGrey});
    }
    ~AppImageHostTest() override { QIcon::setThemeName(qtTheme); }

    std::string at(const std::string& relative) const { return dir.str() + "/" + relative; }

    // A theme of PNG icons drawn for 32 pixels, or of SVG icons only.
    void writeTheme(const std::string& name, ThemeColours colours, bool vector = false) {
        const std::string root = "sys/icons/" + name + "/";
        const std::string size = vector ? "scalable" : "32";
        const std::string group =
            vector ? "Size=16\nType=Scalable\nMinSize=8\nMaxSize=512\n" : "Size=32\nType=Fixed\n";
        std::string index = "[Icon Theme]\nName=" + name + "\nDirectories=" + size + "/places," +
                            size + "/mimetypes\n";
        for (const char* context : {"/places", "/mimetypes"})
            index += "[" + size + context + "]\n" + group;
        dir.write(root + "index.theme", index);
        const std::pair<std::string, uint32_t> icons[] = {
            {"/places/inode-directory", colours.folder},
            {"/mimetypes/text-plain", colours.text},
            {"/mimetypes/image-png", colours.image},
        };
        for (const auto& [file, colour] : icons) {
            if (vector)
                dir.write(root + size + file + ".svg", svg(colour));
            else
                dir.write(root + size + file + ".png",
                          qvtest::str(qvtest::makePng(32, 32, colour)));
        }
    }
    static std::string svg(uint32_t argb) {
        char fill[8];
        std::snprintf(fill, sizeof fill, "#%06x", argb & 0xFFFFFF);
        return std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                           "viewBox=\"0 0 16 16\"><rect width=\"16\" height=\"16\" fill=\"") +
               fill + "\"/></svg>\n";
    }

    // The colour in the middle of each item's icon and its width, once
    // resolved; 0 and 0 for an item without one.
    struct Seen {
        uint32_t colour = 0;
        int width = 0;
    };
    std::vector<Seen> icons(const std::vector<std::string>& files, int32_t size) {
        auto host = std::make_shared<TimedHost>();
        auto manager = ImageManager::create(host);
        auto seen = resolve(*manager, *host, files, size);
        manager->stop(5000);
        return seen;
    }
    std::vector<Seen> resolve(ImageManager& manager, TimedHost& host,
                              const std::vector<std::string>& files, int32_t size) {
        std::vector<std::shared_ptr<CatalogItem>> items;
        for (const auto& file : files)
            items.push_back(std::make_shared<CatalogItem>(
                1, CatalogItem::file, L"label", L"", wstr::fromUtf8(at(file).c_str()),
                CatalogItem::forbidden, false, CatalogItem::keepall, 0, L""));
        // Every answer arrives with the image manager's timer.
        EXPECT_TRUE(qvtest::waitOn(
            host.icons,
            [&] {
                bool done = true;
                for (const auto& item : items)
                    done = manager.requestIcon(item, size, false) != ImageManager::queued && done;
                return done;
            },
            20s));
        std::vector<Seen> seen;
        for (const auto& item : items) {
            Gui::Bitmap image;
            if (manager.requestIcon(item, size, false, &image) == ImageManager::have && image)
                seen.push_back(
                    {image->pixel(image->width() / 2, image->height() / 2), image->width()});
            else
                seen.push_back({});
        }
        return seen;
    }
    wstr gtkSettingsLine(const std::string& theme, const char* folder = "gtk-3.0") const {
        return L"Icon theme: " + wstr::fromUtf8(theme.c_str()) + L" (GTK settings " +
               wstr::fromUtf8(at("config").c_str()) + L"/" + wstr::fromUtf8(folder) +
               L"/settings.ini)";
    }
};

const std::vector<std::string> kItems = {"files/folder", "files/note.txt", "files/picture.png"};

TEST_F(AppImageHostTest, IconsComeFromTheThemeOfTheUsersSettings) {
    struct Case {
        const char* name;
        std::string gtkSettings; // $XDG_CONFIG_HOME/gtk-3.0/settings.ini
        ThemeColours colours;    // of the items, in order
        wstr logged;
    };
    const Case cases[] = {
        {"named only in GTK's settings",
         "[Settings]\ngtk-theme-name=Plain\ngtk-icon-theme-name=Mine\n",
         {kBlue, kRed, kGreen},
         gtkSettingsLine("Mine")},
        {"no setting: an installed full theme before hicolor",
         "",
         {kGreen, kBlue, kRed},
         L"Icon theme: breeze (installed theme)"},
    };
    writeTheme("Mine", {kBlue, kRed, kGreen});
    writeTheme("breeze", {kGreen, kBlue, kRed});
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir.path() / "config");
        if (!c.gtkSettings.empty())
            dir.write("config/gtk-3.0/settings.ini", c.gtkSettings);
        qvtest::LogRecords log;
        const auto seen = icons(kItems, 32);
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[0].colour, c.colours.folder) << c.name << ": folder";
        EXPECT_EQ(seen[1].colour, c.colours.text) << c.name << ": text";
        EXPECT_EQ(seen[2].colour, c.colours.image) << c.name << ": image";
        EXPECT_EQ(log.matching(Logger::Info, c.logged).size(), 1u) << c.name;
    }
}

// Many current themes ship nothing but SVG: each size is drawn as asked.
TEST_F(AppImageHostTest, AnSvgOnlyThemeGivesImagesOfTheSizesAsked) {
    writeTheme("Vector", {kBlue, kRed, kGreen}, true);
    dir.write("config/gtk-4.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Vector\n");
    for (const int32_t size : {16, 24, 32, 48, 96}) {
        const auto seen = icons(kItems, size);
        ASSERT_EQ(seen.size(), 3u);
        const uint32_t expected[] = {kBlue, kRed, kGreen};
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].colour, expected[i]) << kItems[i] << " at " << size;
            EXPECT_EQ(seen[i].width, size) << kItems[i];
        }
    }
}

// The theme is logged when it is chosen and again only when a reset finds
// another one, whose icons the reset then brings.
TEST_F(AppImageHostTest, AResetFollowsAChangedThemeAndLogsItOnce) {
    writeTheme("Mine", {kBlue, kRed, kGreen});
    writeTheme("Other", {kRed, kGreen, kBlue});
    dir.write("config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Mine\n");
    qvtest::LogRecords log;
    auto host = std::make_shared<TimedHost>();
    auto manager = ImageManager::create(host);
    manager->reset();
    EXPECT_EQ(resolve(*manager, *host, {"files/note.txt"}, 32)[0].colour, kRed);
    manager->reset();
    EXPECT_EQ(log.matching(Logger::Info, gtkSettingsLine("Mine")).size(), 1u);

    dir.write("config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Other\n");
    manager->reset();
    manager->reset();
    EXPECT_EQ(log.matching(Logger::Info, gtkSettingsLine("Other")).size(), 1u);
    EXPECT_EQ(resolve(*manager, *host, {"files/note.txt"}, 32)[0].colour, kGreen);
    manager->stop(5000);
}

} // namespace
