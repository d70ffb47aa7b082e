#include "gui/Font.h"

#include "tests/support/QtTestApp.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Gui::Font;

class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        const QStringList families = QFontDatabase::families();
        if (families.isEmpty())
            GTEST_SKIP() << "no font installed";
        installed = families.front().toStdWString();
    }

    wstr installed;
    const wstr missing = L"Qv No Such Face";
};

TEST_F(Fonts, SizedFromPointsAndDpi) {
    Font font;
    ASSERT_TRUE(font.create(144, installed, 9, 0));
    EXPECT_EQ(font.handle()->pixelSize(), 18);
    Font small;
    ASSERT_TRUE(small.create(96, installed, 9, 0));
    EXPECT_EQ(small.handle()->pixelSize(), 12);
    EXPECT_GT(font.height(), small.height());
    EXPECT_GE(small.height(), 12);
}

TEST_F(Fonts, ExactFaceFailsOnASubstituteAndHoldsNothing) {
    Font font;
    ASSERT_TRUE(font.create(96, installed, 10, Font::Bold));
    EXPECT_FALSE(font.create(96, missing, 10, Font::Bold | Font::ExactFace));
    EXPECT_EQ(font.handle(), nullptr);
    EXPECT_EQ(font.height(), 0);
    EXPECT_EQ(font.style(), 0u);
    EXPECT_EQ(font.textWidth(L"abc", -7), -7);
    EXPECT_EQ(Gui::fontCoversChar(font, U'a'), -1);
    EXPECT_THROW(font.clone(Font::Underline), std::runtime_error);

    // Without the flag the system's substitute is taken.
    ASSERT_TRUE(font.create(96, missing, 10, 0));
    EXPECT_NE(QFontInfo(*font.handle()).family().toStdWString(), missing);
}

TEST_F(Fonts, StyleRules) {
    struct Case {
        const char* name;
        wstr face;
        uint32_t style;
        uint32_t stored;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"exact face is not stored", installed, Font::Bold | Font::ExactFace, Font::Bold},
             {"no style", installed, Font::noStyle, 0},
             {"every flag", installed, 31, 31},
             {"empty face takes the system font", L"", Font::Italic, Font::Italic},
         }) {
        Font font;
        ASSERT_TRUE(font.create(96, c.face, 10, c.style)) << c.name;
        EXPECT_EQ(font.style(), c.stored) << c.name;
        const QFont& q = *font.handle();
        EXPECT_EQ(q.bold(), (c.stored & Font::Bold) != 0) << c.name;
        EXPECT_EQ(q.italic(), (c.stored & Font::Italic) != 0) << c.name;
        EXPECT_EQ(q.underline(), (c.stored & Font::Underline) != 0) << c.name;
        EXPECT_EQ(q.strikeOut(), (c.stored & Font::Strikeout) != 0) << c.name;
    }
    Font system;
    ASSERT_TRUE(system.create(96, L"", 10, 0));
    EXPECT_EQ(system.handle()->family(),
              QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
}

TEST_F(Fonts, CloneAddsStyleKeepingTheLineHeight) {
    Font bold;
    ASSERT_TRUE(bold.create(120, installed, 11, Font::Bold | Font::ClearType));
    std::shared_ptr<Font> underlined = bold.clone(Font::Underline | Font::ExactFace);
    EXPECT_EQ(underlined->style(), Font::Bold | Font::ClearType | Font::Underline);
    EXPECT_EQ(underlined->height(), bold.height());
    EXPECT_TRUE(underlined->handle()->bold());
    EXPECT_TRUE(underlined->handle()->underline());
    EXPECT_FALSE(bold.handle()->underline());

    std::shared_ptr<Font> same = bold.clone(Font::noStyle);
    EXPECT_EQ(same->style(), bold.style());
    EXPECT_EQ(*same->handle(), *bold.handle());
}

TEST_F(Fonts, AdoptReadsSizeAndStyle) {
    QFont control(QString::fromStdWString(installed));
    control.setPointSize(9);
    control.setBold(true);
    control.setStrikeOut(true);
    Font font;
    font.adopt(144, control);
    EXPECT_EQ(font.style(), Font::Bold | Font::Strikeout);
    EXPECT_EQ(font.handle()->pixelSize(), 18);
    EXPECT_GT(font.height(), 0);
}

TEST_F(Fonts, WidthAndCoverage) {
    Font font;
    ASSERT_TRUE(font.create(96, installed, 10, 0));
    EXPECT_GT(font.textWidth(L"WWWW", 0), font.textWidth(L"W", 0));
    EXPECT_EQ(font.textWidth(L"", 5), 0);
    EXPECT_EQ(Gui::fontCoversChar(font, U'A'), 1);
    // A private-use code point no font of the system draws.
    EXPECT_EQ(Gui::fontCoversChar(font, U'\U0010FFFD'), 0);
}

} // namespace
