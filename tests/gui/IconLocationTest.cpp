#include "gui/IconLocation.h"

#include <gtest/gtest.h>

#include "tests/support/ImageFixtures.h"
#include "tests/support/TempDir.h"

using qvtest::makeDib;
using qvtest::makeIco;
using qvtest::makePng;

namespace {

class IconLocationTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    std::string ico = dir.write("Icons/App.ico", qvtest::str(makeIco({
                                                     {makeDib(16, 32, 0xFFFF0000), 32},
                                                     {makeDib(48, 32, 0xFF0000FF), 32},
                                                 })))
                          .string();
    std::string png =
        dir.write("Icons/Photo.png", qvtest::str(makePng(30, 20, 0xFF00FF00))).string();

    static wstr location(const std::string& text) { return wstr::fromUtf8(text.c_str()); }
};

TEST_F(IconLocationTest, FilesOfferOneGroup) {
    const auto icoGroup = Gui::listIconGroups(location("@" + ico + ",0"));
    ASSERT_TRUE(icoGroup);
    EXPECT_TRUE(icoGroup->iconFile);
    EXPECT_EQ(icoGroup->images, (std::vector<Gui::IconImage>{{16, 16, 32}, {48, 48, 32}}));

    const auto pngGroup = Gui::listIconGroups(location(png));
    ASSERT_TRUE(pngGroup);
    EXPECT_FALSE(pngGroup->iconFile);
    EXPECT_EQ(pngGroup->images, (std::vector<Gui::IconImage>{{30, 20, 32}}));
}

TEST_F(IconLocationTest, WhatNamesNoGroup) {
    // The bytes a Windows library starts with: its icons are resources.
    const std::string dll = dir.write("shell32.dll", "MZ" + std::string(200, '\0') + "PE").string();
    const std::string cases[] = {
        "@" + ico + ",1",                   // a file holds group 0 only
        "@" + ico + ",-3",                  // no resource ids in a file
        "@" + dir.str() + "/icons/app.ico", // paths keep their case
        "@" + dir.str() + "/missing.ico",
        "@" + dll + ",0",
        "@",
        "",
    };
    for (const auto& text : cases) {
        EXPECT_FALSE(Gui::listIconGroups(location(text))) << text;
        EXPECT_FALSE(Gui::loadImageFromModule(location(text), 16, 16)) << text;
    }
}

TEST_F(IconLocationTest, LoadsTheBestImageAtTheAskedSize) {
    struct Case {
        std::string text;
        int size;
        QSize expected;
        uint32_t colour;
    } cases[] = {
        {"@" + ico, 16, {16, 16}, 0xFFFF0000},
        {"@" + ico, 32, {32, 32}, 0xFF0000FF}, // from the larger image
        {"@" + ico, 0, {48, 48}, 0xFF0000FF},
        {png + ",0", 0, {30, 20}, 0xFF00FF00},
        {png, 10, {10, 10}, 0xFF00FF00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " at " + std::to_string(c.size));
        const auto bitmap = Gui::loadImageFromModule(location(c.text), c.size, c.size);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->size(), c.expected);
        EXPECT_EQ(qvtest::rawPixel(*bitmap, 5, 5), c.colour);
    }
}

} // namespace
