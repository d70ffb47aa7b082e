#include "catalog/CharClass.h"

#include <gtest/gtest.h>

namespace {

// ASCII is answered without asking the locale; the answers must be the locale's.
TEST(CharClass, AsciiAnswersAreTheLocales) {
    for (wchar_t ch = 0; ch < 0x80; ++ch) {
        EXPECT_EQ(CharClass::isSpace(ch), CharClass::isSpaceSlow(ch)) << int(ch);
        EXPECT_EQ(CharClass::isControl(ch), CharClass::isControlSlow(ch)) << int(ch);
        EXPECT_EQ(CharClass::toUpper(ch), CharClass::toUpperSlow(ch)) << int(ch);
        EXPECT_EQ(CharClass::toLower(ch), CharClass::toLowerSlow(ch)) << int(ch);
    }
    EXPECT_TRUE(CharClass::isSpace(L'\u2003'));
    EXPECT_FALSE(CharClass::isSpace(L'\u00a0'));
    EXPECT_TRUE(CharClass::isControl(L'\u0085'));
    EXPECT_FALSE(CharClass::isControl(static_cast<wchar_t>(-1)));
    EXPECT_EQ(CharClass::fold(L'\u017f'), L's'); // long s
    EXPECT_EQ(CharClass::toUpper(L'\u00e9'), L'\u00c9');
}

} // namespace
