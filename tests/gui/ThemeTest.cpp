#include "gui/Theme.h"

#include "core/SettingValues.h"
#include "gui/Font.h"
#include "tests/support/LogRecords.h"
#include "tests/support/QtTestApp.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Gui::Theme;

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string pair(const Theme::Spacing& s) {
    return std::to_string(s.x) + "," + std::to_string(s.y);
}

std::string faces(const Theme& t) {
    std::string text;
    for (const wstr& face : t.fontFaces)
        text += (text.empty() ? "" : "|") + wstr::toUtf8(face);
    return text;
}

using Field = std::function<std::string(const Theme&)>;

Field colour(uint32_t id) {
    return [id](const Theme& t) { return hex(t.colours[id]); };
}
Field points(uint32_t font) {
    return [font](const Theme& t) { return std::to_string(t.fonts[font].points); };
}
Field style(uint32_t font) {
    return [font](const Theme& t) { return std::to_string(t.fonts[font].style); };
}
template <typename T> Field number(T Theme::*member) {
    return [member](const Theme& t) { return std::to_string(t.*member); };
}
Field spacing(Theme::Spacing Theme::*member) {
    return [member](const Theme& t) { return pair(t.*member); };
}

enum Warning { None, Invalid, Deprecated, Clamped };

struct Row {
    const wchar_t* key;
    const wchar_t* value;
    Field field;
    std::string expected;
    Warning warning;
};

// Every theme key with its grammar: the value read, or the default kept
// with or without a warning.
TEST(Theme, EveryKeyWithItsGrammarAndWarnings) {
    const Field mono = [](const Theme& t) { return wstr::toUtf8(t.fonts[Theme::Mono].face); };
    const std::vector<Row> rows = {
        {L"font_face", L"Segoe UI, Tahoma", faces, "Segoe UI|Tahoma", None},
        {L"font_face", L" Arial ,, , tahoma", faces, "Arial|tahoma", None},
        {L"font_face", L"Verdana", faces, "Verdana|Tahoma", None},
        {L"font_face", L"", faces, "Tahoma", None},
        {L"font_small_size", L"10", points(Theme::Small), "10", None},
        {L"font_snormal_size", L"0x10", points(Theme::SNormal), "16", None},
        {L"font_normal_size", L"80", points(Theme::Normal), "72", Clamped},
        {L"font_large_size", L"010pt", points(Theme::Large), "8", None},
        {L"font_large_size", L"5", points(Theme::Large), "6", Clamped},
        {L"font_large_size", L"-40", points(Theme::Large), "6", Clamped},
        {L"font_large_size", L"big", points(Theme::Large), "28", Invalid},
        {L"font_small_style", L"Bold, ITALIC", style(Theme::Small), "3", None},
        {L"font_snormal_style", L"underline,strikeout,cleartype", style(Theme::SNormal), "28",
         None},
        {L"font_normal_style", L"normal", style(Theme::Normal), "0", None},
        {L"font_large_style", L"heavy", style(Theme::Large), "17", Invalid},
        {L"font_large_style", L"", style(Theme::Large), "17", None},
        {L"mono_font_face", L" DejaVu Sans Mono ", mono, "DejaVu Sans Mono", None},
        {L"mono_font_face", L"  ", mono, "Consolas", None},
        {L"mono_font_size", L"12", points(Theme::Mono), "12", None},
        {L"mono_font_size", L"73", points(Theme::Mono), "72", Clamped},
        {L"mono_font_style", L"bold,,", style(Theme::Mono), "1", None},
        {L"mono_font_style", L"bold,x", style(Theme::Mono), "16", Invalid},
        {L"color_background", L"#123", colour(Theme::Background), "FF112233", None},
        {L"color_foreground", L"# 12 34 56", colour(Theme::Foreground), "FF123456", None},
        {L"color_faded", L"#12345", colour(Theme::Faded), "FFA2A2A2", Invalid},
        {L"color_accent", L"RGB(255, 0, 0)", colour(Theme::Accent), "FFFF0000", None},
        {L"color_warn", L"rgba(0,0,0,50%)", colour(Theme::Warn), "80000000", None},
        {L"color_title", L"rgba(0,0,0,0.5)", colour(Theme::Title), "80000000", None},
        {L"color_status", L"rgb(256,0,0)", colour(Theme::Status), "FFA2A2A2", Invalid},
        {L"color_textbox_back", L"rgb(1,2)", colour(Theme::TextboxBack), "FF303030", Invalid},
        {L"color_listitem_back", L"DarkSlateGray", colour(Theme::ListItemBack), "FF2F4F4F", None},
        {L"color_listitem_title", L"grey", colour(Theme::ListItemTitle), "FF808080", None},
        {L"color_listitem_desc", L"gray", colour(Theme::ListItemDesc), "FF808080", None},
        {L"color_listitem_tips", L"transparent", colour(Theme::ListItemTips), "FFA2A2A2", Invalid},
        {L"color_listitem_selected_back", L"rgb(10%, 50% ,100%) tail",
         colour(Theme::ListItemSelectedBack), "FF1A80FF", None},
        {L"color_listitem_selected_title", L"#ggg", colour(Theme::ListItemSelectedTitle),
         "FFA6E5FF", Invalid},
        {L"color_listitem_selected_desc", L"", colour(Theme::ListItemSelectedDesc), "FFF2F2F2",
         None},
        {L"color_listitem_selected_tips", L"rgba(1,2,3)", colour(Theme::ListItemSelectedTips),
         "FFA6E5FF", Invalid},
        {L"color_listitem_selected_tips", L"rgb(1.5,0,0)", colour(Theme::ListItemSelectedTips),
         "FFA6E5FF", Invalid},
        {L"color_listitem_selected_tips", L"rgb(,,)", colour(Theme::ListItemSelectedTips),
         "FFA6E5FF", Invalid},
        {L"color_listitem_selected_tips", L"  YellowGreen ", colour(Theme::ListItemSelectedTips),
         "FF9ACD32", None},
        {L"layout", L"list_score", number(&Theme::layout), "0", Deprecated},
        {L"layout", L"all,foo", number(&Theme::layout), "255", None},
        {L"layout", L"foo,all", number(&Theme::layout), "46", Invalid},
        {L"layout", L"minimal", number(&Theme::layout), "0", None},
        {L"layout", L"list_icon, Status", number(&Theme::layout), "68", None},
        {L"layout", L"", number(&Theme::layout), "46", None},
        {L"compact_results", L" yes ", number(&Theme::compactResults), "1", None},
        {L"compact_results", L"maybe", number(&Theme::compactResults), "0", Invalid},
        {L"opacity_back", L"5", number(&Theme::opacity), "51", Clamped},
        {L"opacity_back", L"300", number(&Theme::opacity), "255", Clamped},
        {L"opacity_back", L"100", number(&Theme::opacity), "255", None},
        {L"opacity_back", L"abc", number(&Theme::opacity), "247", Invalid},
        {L"opacity_back", L"0x32", number(&Theme::opacity), "127", None},
        {L"opacity_back", L"", number(&Theme::opacity), "247", None},
        {L"satellite_show", L"Never", number(&Theme::satelliteShow), "1", None},
        {L"satellite_show", L"sometimes", number(&Theme::satelliteShow), "0", Invalid},
        {L"satellite_pos", L" TOPLEFT ", number(&Theme::satellitePos), "0", None},
        {L"satellite_size", L"superjumbo", number(&Theme::satelliteSize), "256", None},
        {L"satellite_size", L"huge", number(&Theme::satelliteSize), "128", Invalid},
        {L"control_margin", L"1", spacing(&Theme::controlMargin), "6,6", Invalid},
        {L"control_margin", L"7", spacing(&Theme::controlMargin), "7,7", None},
        {L"control_margin", L"3,4,5", spacing(&Theme::controlMargin), "3,4", None},
        {L"control_margin", L"3,,5", spacing(&Theme::controlMargin), "6,6", Invalid},
        {L"textbox_padding", L"1", spacing(&Theme::textboxPadding), "1,1", None},
        {L"textbox_padding", L"51,2", spacing(&Theme::textboxPadding), "4,4", Invalid},
        {L"listitem_padding", L" 2, 3 ", spacing(&Theme::listItemPadding), "2,3", None},
        {L"listitem_padding", L"x", spacing(&Theme::listItemPadding), "2,2", Invalid},
        {L"listitem_title_font", L" Large ", number(&Theme::listItemTitleFont), "3", None},
        {L"listitem_title_font", L"huge", number(&Theme::listItemTitleFont), "1", Invalid},
    };
    for (const Row& row : rows) {
        const std::string name = wstr::toUtf8(row.key) + " = '" + wstr::toUtf8(row.value) + "'";
        qvtest::LogRecords log;
        Theme theme;
        theme.load({{row.key, row.value}});
        EXPECT_EQ(row.field(theme), row.expected) << name;
        std::vector<std::string> expected;
        if (row.warning == Invalid)
            expected.push_back("Invalid value for setting " + wstr::toUtf8(row.key) + ": " +
                               wstr::toUtf8(row.value));
        if (row.warning == Deprecated)
            expected.push_back("GUI layout flag \"list_score\" is deprecated");
        // The range and the value used; the exact words are shown below.
        if (row.warning == Clamped)
            expected.push_back("Out-of-range value for setting " + wstr::toUtf8(row.key) + ": " +
                               wstr::toUtf8(row.value) + " (");
        std::vector<std::string> warned;
        for (const auto& item : log.all())
            if (item->level == Logger::Warning)
                warned.push_back(wstr::toUtf8(item->message)
                                     .substr(0, row.warning == Clamped ? expected.back().size()
                                                                       : std::string::npos));
        EXPECT_EQ(warned, expected) << name;
    }
}

// Warnings come in the order of the key list, whatever the map's order.
TEST(Theme, WarnsInKeyOrderAndKeysIgnoreCase) {
    std::map<wstr, wstr> values;
    for (const wstr& key : themeKeyList())
        values[key] = L"@bad";
    values.erase(L"font_small_size");
    values[L"FONT_SMALL_SIZE"] = L"20";
    qvtest::LogRecords log;
    Theme theme;
    theme.load(values);
    std::vector<std::string> warned;
    for (const auto& item : log.all())
        warned.push_back(wstr::toUtf8(item->message));
    std::vector<std::string> expected;
    for (const wstr& key : themeKeyList()) {
        if (key == L"font_small_size" || key.ends_with(L"_face"))
            continue;
        expected.push_back("Invalid value for setting " + wstr::toUtf8(key) + ": @bad");
    }
    EXPECT_EQ(warned, expected);
    EXPECT_EQ(theme.fonts[Theme::Small].points, 20);
}

// What the application says of each key's origin goes into its warnings.
TEST(Theme, WarningsNameTheThemeTheFileAndTheKey) {
    const wstr big = L"theme \"Big\" in /p/User/Quorvalent.ini";
    qvtest::LogRecords log;
    Theme theme;
    theme.load({{L"font_large_size", L"-40"},
                {L"color_background", L"notacolour"},
                {L"opacity_back", L"300"}},
               {{L"font_large_size", big}, {L"color_background", big}});
    std::vector<wstr> warned;
    for (const auto& item : log.all())
        warned.push_back(item->message);
    EXPECT_EQ(warned, (std::vector<wstr>{
                          L"Out-of-range value for setting font_large_size of " + big +
                              L": -40 (from 6 to 72); 6 is used",
                          L"Invalid value for setting color_background of " + big + L": notacolour",
                          L"Out-of-range value for setting opacity_back: 300 (from 20 to 100); 100 "
                          L"is used",
                      }));
    EXPECT_EQ(theme.fonts[Theme::Large].points, 6);
    EXPECT_EQ(theme.opacity, 255);
}

TEST(Theme, KnowsTheCssColourNames) {
    qvtest::qtApp();
    int accepted = 0;
    for (const QString& name : QColor::colorNames()) {
        uint32_t value = 0;
        if (Theme::parseColour(name.toUpper().toStdWString(), value)) {
            ++accepted;
            EXPECT_EQ(value >> 24, 0xFFu) << name.toStdString();
        }
    }
    EXPECT_EQ(accepted, 147);
    uint32_t value = 0;
    EXPECT_TRUE(Theme::parseColour(L"aliceblue", value));
    EXPECT_EQ(value, 0xFFF0F8FFu);
}

class ThemeFonts : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        if (QFontDatabase::families().isEmpty())
            GTEST_SKIP() << "no font installed";
    }
};

TEST_F(ThemeFonts, MissingFacesEndWithTheSystemFonts) {
    Theme theme;
    theme.initialize(nullptr, {{L"font_face", L"Qv Missing One, Qv Missing Two"},
                               {L"mono_font_face", L"Qv Missing Mono"}});
    const QString system =
        QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
    for (uint32_t i = Theme::Small; i <= Theme::Large; ++i)
        EXPECT_EQ(theme.fonts[i].face, system.toStdWString()) << i;
    QFont mono(QString::fromStdWString(theme.fonts[Theme::Mono].face));
    EXPECT_TRUE(QFontInfo(mono).fixedPitch()) << wstr::toUtf8(theme.fonts[Theme::Mono].face);
}

TEST_F(ThemeFonts, FirstInstalledFaceWinsWithCoveredCharacters) {
    const wstr installed = QFontDatabase::families().front().toStdWString();
    Theme theme;
    theme.initialize(nullptr, {{L"font_face", L"Qv Missing, " + installed}});
    EXPECT_EQ(theme.fontFaces, (std::vector<wstr>{L"Qv Missing", installed, L"Tahoma"}));
    const Theme::FontEntry& entry = theme.fonts[Theme::Normal];
    EXPECT_EQ(entry.face, installed);
    EXPECT_EQ(entry.points, 14);
    EXPECT_EQ(entry.style, Gui::Font::Bold | Gui::Font::ClearType);
    Gui::Font font;
    ASSERT_TRUE(font.create(96, entry.face, entry.points, entry.style));
    for (char16_t ch : {entry.separatorChar, entry.arrowChar}) {
        ASSERT_NE(ch, 0);
        EXPECT_EQ(Gui::fontCoversChar(font, ch), 1) << int(ch);
    }
}

} // namespace
