#include "app/ConfigValues.h"

#include "tests/app/WstrPrint.h"
#include "tests/support/FakeDisplay.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigValues, BoolWordsAreLoweredButNotTrimmed) {
    struct Case {
        const wchar_t* text;
        int expected;
    };
    for (const Case& c : std::initializer_list<Case>{{L"1", 1},
                                                     {L"TRUE", 1},
                                                     {L"yes", 1},
                                                     {L"On", 1},
                                                     {L"enable", 1},
                                                     {L"Enabled", 1},
                                                     {L"0", 0},
                                                     {L"false", 0},
                                                     {L"NO", 0},
                                                     {L"off", 0},
                                                     {L"disable", 0},
                                                     {L"disabled", 0},
                                                     {L" yes", -1},
                                                     {L"maybe", -1},
                                                     {L"", -1},
                                                     {L"2", -1}})
        EXPECT_EQ(parseBool(c.text), c.expected) << c.text;
    EXPECT_EQ(boolToString(true), L"1");
    EXPECT_EQ(boolToString(false), L"0");
}

TEST(ConfigValues, NumbersDetectTheirBaseAndStopAtTheFirstStrangeCharacter) {
    EXPECT_EQ(parseNumber(L"12px"), 12);
    EXPECT_EQ(parseNumber(L"0x1F"), 31);
    EXPECT_EQ(parseNumber(L"010"), 8);
    EXPECT_EQ(parseNumber(L"abc"), 0);
    EXPECT_EQ(parseNumber(L"-7"), -7);

    EXPECT_EQ(parseIntClamped(L"", 33, 5, 100), 33);
    EXPECT_EQ(parseIntClamped(L"3", 33, 5, 100), 5);
    EXPECT_EQ(parseIntClamped(L"99999999999999999999", 33, 5, 100), 100);
    EXPECT_EQ(parseIntClamped(L"abc", 100, 10, 1000), 10);

    EXPECT_EQ(parseIntInRange(L"", 9, 6, 72), 9);
    EXPECT_EQ(parseIntInRange(L"5", 9, 6, 72), 9);
    EXPECT_EQ(parseIntInRange(L"72", 9, 6, 72), 72);
}

// Whole numbers are those parseNumber reads to their end; the others are
// reported by the settings reader.
TEST(ConfigValues, WholeNumbersAreReadToTheirEnd) {
    for (const wchar_t* whole : {L"12", L" 12 ", L"-3", L"+4", L"0", L"0x1F", L"0X1f", L"010"})
        EXPECT_TRUE(isWholeNumber(whole)) << wstr::toUtf8(whole);
    for (const wchar_t* partial :
         {L"", L" ", L"12px", L"ten", L"08", L"0x", L"0xG", L"1 2", L"-", L"20 # twenty", L"1.5"})
        EXPECT_FALSE(isWholeNumber(partial)) << wstr::toUtf8(partial);
}

TEST(ConfigValues, ListsDropRunsOfCommasButKeepBlankElements) {
    EXPECT_EQ(splitList(L" a ,, b,"), (std::vector<wstr>{L"a", L"b"}));
    EXPECT_EQ(splitList(L"a, ,b"), (std::vector<wstr>{L"a", L"", L"b"}));
    EXPECT_TRUE(splitList(L"").empty());
}

TEST(ConfigValues, EnumeratedWords) {
    EXPECT_EQ(parseFocusLostMode(L" Yes "), FocusLostDelayed);
    EXPECT_EQ(parseFocusLostMode(L"immediate"), FocusLostImmediate);
    EXPECT_EQ(parseFocusLostMode(L"true"), 3);
    EXPECT_EQ(parseRetainLastSearch(L"on"), RetainSelected);
    EXPECT_EQ(parseRetainLastSearch(L"off"), RetainNo);
    EXPECT_EQ(parseRetainLastSearch(L"unselected"), RetainUnselected);
    EXPECT_EQ(parseRetainLastSearch(L"always"), 3);
    EXPECT_EQ(parseFlashOn(L"never"), FlashNever);
    EXPECT_EQ(parseFlashOn(L"ERR"), FlashErr);
    EXPECT_EQ(parseFlashOn(L"warning"), 1001);
    EXPECT_EQ(flashOnToString(FlashWarn), L"warning");
    EXPECT_EQ(flashOnToString(7), L"");
    EXPECT_EQ(focusLostModeToString(2), L"delayed");
    EXPECT_EQ(retainLastSearchToString(3), L"");
}

TEST(ConfigValues, GeometryWords) {
    struct Case {
        const wchar_t* text;
        bool valid;
        GeometrySetting setting;
        const wchar_t* written;
    };
    for (const Case& c :
         std::initializer_list<Case>{{L"auto", true, {0, 0}, L"auto"},
                                     {L" Persistent ", true, {4, 0}, L"persistent"},
                                     {L"active_monitor", true, {1, 0}, L"active_monitor"},
                                     {L"mouse_monitor", true, {2, 0}, L"mouse_monitor"},
                                     {L"mouse_pos", true, {3, 0}, L"mouse_pos"},
                                     {L"Monitor_2", true, {0, 2}, L"monitor_2"},
                                     {L"monitor_0", true, {0, 0}, L"auto"},
                                     {L"monitor_", false, {5, 0}, L"auto"},
                                     {L"monitor_2x", false, {5, 0}, L"auto"},
                                     {L"monitor_+2", false, {5, 0}, L"auto"},
                                     {L"monitor_4294967296", false, {5, 0}, L"auto"},
                                     {L"middle", false, {5, 0}, L"auto"}}) {
        GeometrySetting setting;
        EXPECT_EQ(parseGeometrySetting(c.text, setting), c.valid) << c.text;
        EXPECT_EQ(setting, c.setting) << c.text;
        EXPECT_EQ(geometryToString(setting), c.written) << c.text;
    }
}

TEST(ConfigValues, FontStyles) {
    EXPECT_EQ(parseFontStyle(L"Bold, italic", 16), std::make_pair(true, 3u));
    EXPECT_EQ(parseFontStyle(L"normal", 16), std::make_pair(true, 0u));
    EXPECT_EQ(parseFontStyle(L" , ", 16), std::make_pair(true, 16u));
    EXPECT_EQ(parseFontStyle(L"bold,heavy", 16), std::make_pair(false, 16u));
}

// A primary monitor at the origin and a second one to its right with a
// taskbar of 40 pixels.
class WorkAreaTest : public ::testing::Test {
protected:
    void SetUp() override {
        screens->list = {
            qvtest::monitor(1, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true),
            qvtest::monitor(2, {1920, 0, 3200, 1024}, {1920, 0, 3200, 984}, 96, false)};
        Sys::setDisplayService(screens);
    }
    void TearDown() override { Sys::setDisplayService(nullptr); }

    std::shared_ptr<qvtest::Screens> screens = std::make_shared<qvtest::Screens>();
};

TEST_F(WorkAreaTest, FollowsTheSettingAndFallsBackToThePrimaryMonitor) {
    const Sys::Rect primary{0, 0, 1920, 1040};
    const Sys::Rect second{1920, 0, 3200, 984};
    const ScreenPoint onSecond{2000, 10};
    const Sys::Rect windowOnSecond{1900, 0, 2500, 400};
    struct Case {
        const char* name;
        GeometrySetting setting;
        std::optional<ScreenPoint> cursor;
        Sys::Rect area;
        int32_t mode;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"auto", {0, 0}, onSecond, primary, 0},
             {"second monitor", {0, 2}, onSecond, second, 0},
             {"missing monitor", {0, 3}, onSecond, primary, 5},
             {"active monitor", {1, 0}, onSecond, second, 1},
             {"mouse monitor", {2, 0}, onSecond, second, 2},
             {"mouse position off screen", {3, 0}, ScreenPoint{-50, -50}, primary, 3},
             {"persistent", {4, 0}, onSecond, primary, 4},
             {"invalid", {5, 0}, onSecond, primary, 5},
             {"no cursor", {2, 0}, std::nullopt, primary, 5}}) {
        GeometryWorkArea result = geometryWorkArea(c.setting, c.cursor, windowOnSecond);
        EXPECT_EQ(result.mode, c.mode) << c.name;
        EXPECT_EQ(result.area.left, c.area.left) << c.name;
        EXPECT_EQ(result.area.bottom, c.area.bottom) << c.name;
    }
}

} // namespace
