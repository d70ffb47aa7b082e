#include "gui/IconTheme.h"
#include "gui/ImageList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <zlib.h>

#include "tests/support/ImageFixtures.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

namespace {

// Two base folders ("user" before "system") and a pixmap folder. Theme Main
// inherits Parent, which inherits Main back; hicolor comes last.
class IconThemeTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;

    IconThemeTest() {
        dir.write("system/Main/index.theme",
                  "[Icon Theme]\nName=Main\nInherits=Parent\n"
                  "Directories=16,32,scalable\nScaledDirectories=16@2\n"
                  "[16]\nSize=16\nType=Fixed\n"
                  "[16@2]\nSize=16\nScale=2\nType=Fixed\n"
                  "[32]\nSize=32\n"
                  "[scalable]\nSize=64\nType=Scalable\nMinSize=64\nMaxSize=128\n");
        dir.write("system/Parent/index.theme",
                  "[Icon Theme]\nName=Parent\nInherits=Main\nDirectories=48\n"
                  "[48]\nSize=48\nType=Fixed\n");
        dir.write("system/hicolor/index.theme",
                  "[Icon Theme]\nName=Hicolor\nDirectories=apps\n[apps]\nSize=48\nType=Fixed\n");
        for (const char* path :
             {"system/Main/16/a.png", "system/Main/32/a.png", "system/Parent/48/b.png",
              "system/hicolor/apps/c.png", "system/hicolor/apps/b.png", "pixmaps/d.png",
              "user/Main/16/e.png", "system/Main/16@2/f.png", "system/Main/scalable/g.png",
              "system/Main/16/h.gif"})
            png(path);
    }

    void png(const std::string& relative) {
        dir.write(relative, qvtest::str(qvtest::makePng(4, 4, 0xFF112233)));
    }
    Gui::IconTheme::Dirs dirs() const {
        return {{dir.str() + "/user", dir.str() + "/system"}, {dir.str() + "/pixmaps"}};
    }
    std::string at(const std::string& relative) const { return dir.str() + "/" + relative; }
};

TEST_F(IconThemeTest, FollowsInheritsOnceThenHicolor) {
    const Gui::IconTheme theme("Main", dirs());
    EXPECT_EQ(theme.chain(), (std::vector<std::string>{"Main", "Parent", "hicolor"}));
    EXPECT_EQ(Gui::IconTheme("", dirs()).chain(), std::vector<std::string>{"hicolor"});
    EXPECT_EQ(Gui::IconTheme("Missing", dirs()).chain(), std::vector<std::string>{"hicolor"});
}

TEST_F(IconThemeTest, FindsTheBestFileOfTheChain) {
    const Gui::IconTheme theme("Main", dirs());
    struct Case {
        const char* name;
        const char* icon;
        int32_t size;
        int32_t scale;
        std::string expected;
    };
    const Case cases[] = {
        {"exact fixed size", "a", 16, 1, at("system/Main/16/a.png")},
        {"threshold of 2 matches", "a", 34, 1, at("system/Main/32/a.png")},
        {"closest when none matches", "a", 20, 1, at("system/Main/16/a.png")},
        {"closest above", "a", 27, 1, at("system/Main/32/a.png")},
        {"scalable range", "g", 100, 1, at("system/Main/scalable/g.png")},
        {"scaled folder at its scale", "f", 16, 2, at("system/Main/16@2/f.png")},
        {"scaled folder when nothing else", "f", 32, 1, at("system/Main/16@2/f.png")},
        {"parent before hicolor", "b", 48, 1, at("system/Parent/48/b.png")},
        {"hicolor", "c", 16, 1, at("system/hicolor/apps/c.png")},
        {"pixmaps last", "d", 16, 1, at("pixmaps/d.png")},
        {"theme spread over base folders", "e", 16, 1, at("user/Main/16/e.png")},
        {"unreadable format ignored", "h", 16, 1, ""},
        {"missing", "zzz", 16, 1, ""},
        {"no paths as names", "../16/a", 16, 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(theme.findIcon(c.icon, c.size, c.scale), c.expected) << c.name;
}

TEST_F(IconThemeTest, ReadsIconsAtTheSizeAsked) {
    const QImage natural = Gui::IconTheme::readIcon(at("system/Main/16/a.png"), 0);
    EXPECT_EQ(natural.size(), QSize(4, 4));
    EXPECT_TRUE(Gui::IconTheme::readIcon(at("nothing.png"), 16).isNull());
}

TEST_F(IconThemeTest, ImageListsScaleAndKeepTheirEntries) {
    auto theme = std::make_shared<const Gui::IconTheme>("Main", dirs());
    Gui::ImageList small;
    ASSERT_TRUE(small.init(Gui::ImageList::small, theme, 1.5));
    EXPECT_EQ(small.size(), 24);
    Gui::ImageList jumbo;
    ASSERT_TRUE(jumbo.init(Gui::ImageList::jumbo, theme, 1.0));
    EXPECT_EQ(jumbo.size(), 256);

    const int32_t index = small.indexOf({"zzz", "a"});
    ASSERT_GE(index, 0);
    EXPECT_EQ(small.indexOf({"a"}), index);
    EXPECT_NE(small.indexOf({"c"}), index);
    ASSERT_TRUE(small.image(index));
    EXPECT_EQ(small.image(index)->size(), QSize(24, 24));
    EXPECT_EQ(small.indexOf({"zzz"}), -1);
    EXPECT_FALSE(small.image(-1));
    EXPECT_FALSE(small.image(99));
}

TEST_F(IconThemeTest, ImageListFailuresAreLogged) {
    auto theme = std::make_shared<const Gui::IconTheme>("Main", dirs());
    qvtest::LogRecords log;
    Gui::ImageList list;
    EXPECT_FALSE(list.init(9, theme, 1.0));
    EXPECT_FALSE(list.init(Gui::ImageList::large, theme, 0.0));
    EXPECT_FALSE(list.valid());
    EXPECT_EQ(list.indexOf({"a"}), -1);
    EXPECT_EQ(
        log.matching(Logger::Error, L"Failed to get shell's image list #9 (HRESULT 0X80070057)!")
            .size(),
        1u);
    EXPECT_EQ(
        log.matching(Logger::Error, L"Unexpected icon size for the shell's image list #0 (0x0)!")
            .size(),
        1u);
}

std::string svgOf(uint32_t argb) {
    char fill[8];
    std::snprintf(fill, sizeof fill, "#%06x", argb & 0xFFFFFF);
    return std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                       "viewBox=\"0 0 16 16\"><rect width=\"16\" height=\"16\" fill=\"") +
           fill + "\"/></svg>\n";
}

// A theme that lists its scalable folder first, as many do, and ships SVG,
// SVGZ and, for one icon, a PNG drawn for 16 pixels.
class VectorIconThemeTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;

    VectorIconThemeTest() {
        dir.write("icons/Vector/index.theme",
                  "[Icon Theme]\nName=Vector\nDirectories=scalable/apps,16/apps\n"
                  "[scalable/apps]\nSize=16\nType=Scalable\nMinSize=8\nMaxSize=512\n"
                  "[16/apps]\nSize=16\nType=Fixed\n");
        dir.write("icons/Vector/scalable/apps/both.svg", svgOf(0xFFFF0000));
        dir.write("icons/Vector/16/apps/both.png",
                  qvtest::str(qvtest::makePng(16, 16, 0xFF0000FF)));
        dir.write("icons/Vector/scalable/apps/only.svg", svgOf(0xFF00FF00));
        const std::string packed = svgOf(0xFF008080);
        gzFile file = gzopen(at("icons/Vector/scalable/apps/packed.svgz").c_str(), "wb");
        gzwrite(file, packed.data(), static_cast<unsigned>(packed.size()));
        gzclose(file);
    }
    std::string at(const std::string& relative) const { return dir.str() + "/" + relative; }
    Gui::IconTheme::Dirs dirs() const { return {{dir.str() + "/icons"}, {}}; }
};

TEST_F(VectorIconThemeTest, PrefersAPngOfTheSizeElseTheVectorIcon) {
    const Gui::IconTheme theme("Vector", dirs());
    EXPECT_EQ(theme.findIcon("both", 16), at("icons/Vector/16/apps/both.png"));
    EXPECT_EQ(theme.findIcon("both", 24), at("icons/Vector/scalable/apps/both.svg"));
    EXPECT_EQ(theme.findIcon("only", 16), at("icons/Vector/scalable/apps/only.svg"));
    EXPECT_EQ(theme.findIcon("packed", 32), at("icons/Vector/scalable/apps/packed.svgz"));
}

TEST_F(VectorIconThemeTest, VectorIconsAreDrawnAtTheSizeAsked) {
    struct Case {
        const char* file;
        uint32_t colour;
    };
    const Case cases[] = {{"only.svg", 0xFF00FF00}, {"packed.svgz", 0xFF008080}};
    for (const auto& c : cases) {
        for (const int32_t size : {16, 24, 40, 256}) {
            const QImage image =
                Gui::IconTheme::readIcon(at("icons/Vector/scalable/apps/") + c.file, size);
            ASSERT_EQ(image.size(), QSize(size, size)) << c.file;
            EXPECT_EQ(image.pixel(size / 2, size / 2), c.colour) << c.file << " at " << size;
        }
        EXPECT_EQ(Gui::IconTheme::readIcon(at("icons/Vector/scalable/apps/") + c.file, 0).size(),
                  QSize(16, 16))
            << "its own size";
    }
    // A list of 24 pixels takes the SVG, drawn for it.
    Gui::ImageList list;
    ASSERT_TRUE(list.init(Gui::ImageList::small,
                          std::make_shared<const Gui::IconTheme>("Vector", dirs()), 1.5));
    const int32_t index = list.indexOf({"both"});
    ASSERT_GE(index, 0);
    EXPECT_EQ(list.image(index)->size(), QSize(24, 24));
    EXPECT_EQ(list.image(index)->pixel(12, 12), 0xFFFF0000);
}

} // namespace
