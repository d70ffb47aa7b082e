#include "core/Format.h"
#include "core/Wstr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

using namespace std::string_literals;

namespace {

TEST(Format, Specifications) {
    auto fmt = []<typename... Args>(detail::WideFormatString<Args...> format, Args&&... args) {
        wstr out;
        return wstr::format(out, format, std::forward<Args>(args)...);
    };
    EXPECT_EQ(fmt(L"{:#08X}", 5), L"0X000005");
    EXPECT_EQ(fmt(L"{:#08x}", 0xbeefu), L"0x00beef");
    EXPECT_EQ(fmt(L"{:04}-{:02}", 7, 3), L"0007-03");
    EXPECT_EQ(fmt(L"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", 2024, 2, 29, 23, 5, 9),
              L"2024-02-29T23:05:09Z");
    EXPECT_EQ(fmt(L"{:03}", -7), L"-07");
    EXPECT_EQ(fmt(L"{} {}", INT64_MIN, UINT64_MAX), L"-9223372036854775808 18446744073709551615");
    EXPECT_EQ(fmt(L"{} {}", true, false), L"true false");
    EXPECT_EQ(fmt(L"{:.4f} {}", 1.5, 0.25), L"1.5000 0.25");
    EXPECT_EQ(fmt(L"{}|{}|{}", L"wide", wstr(L"w\u00e9"), std::wstring(L"std")),
              L"wide|w\u00e9|std");
    EXPECT_EQ(fmt(L"{:>5}|{:<3}|", wstr(L"ab"), L"c"), L"   ab|c  |");
}

TEST(Format, AppendsToTheTarget) {
    wstr target = L"abc";
    wstr& result = wstr::format(target, L"{}", 1);
    EXPECT_EQ(&result, &target);
    EXPECT_EQ(target, L"abc1");
    wstr::format(target, L"-{}", L"x");
    EXPECT_EQ(target, L"abc1-x");
    const wstr chosenAtRunTime = L"[{:02}]";
    EXPECT_EQ(wstr::format(target, fmt::runtime(chosenAtRunTime), 4), L"abc1-x[04]");
}

// Narrow texts are UTF-8 when valid (exception texts holding file names),
// otherwise widened byte by byte.
TEST(Format, NarrowTextsAreDecodedOrWidenedByteByByte) {
    wstr out;
    const char* what = "caf\xc3\xa9";
    char mutableText[] = "m";
    const char* none = nullptr;
    wstr::format(out, L"{} ({}) [{}] <{}>", what, "lit\xff", mutableText, none);
    EXPECT_EQ(out, L"caf\u00e9 (lit\u00ff) [m] <>");
}

TEST(Format, ANulEndsTheResult) {
    wstr out;
    EXPECT_EQ(wstr::format(out, L"{}-{}", wstr(L"ab\0cd"s), 5), L"ab");
    wstr holding(L"x\0y"s);
    EXPECT_EQ(wstr::format(holding, L"{}", 1), L"x");
    wstr nulChar;
    EXPECT_EQ(wstr::format(nulChar, L"a{}b", L'\0'), L"a");
}

TEST(Format, GrowsTheTargetForLongResults) {
    wstr out = L"<";
    wstr::format(out, L"{:>10000}{}{:*^5001}", L"x", wstr(3000, L'y'), 7);
    ASSERT_EQ(out.size(), 1u + 10000 + 3000 + 5001);
    EXPECT_EQ(out.substr(0, 3), L"<  ");
    EXPECT_EQ(out[10000], L'x');
    EXPECT_EQ(out[10001 + 2999], L'y');
    EXPECT_EQ(out[13001 + 2500], L'7');
    EXPECT_EQ(out.back(), L'*');
    EXPECT_EQ(out.find(L'\0'), wstr::npos);
}

TEST(Format, AFormatErrorPropagatesAndKeepsWhatWasWritten) {
    wstr target = L"pre:";
    try {
        wstr::format(target, fmt::runtime(L"ab{}{}"), 1);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(dynamic_cast<const fmt::format_error*>(&e), nullptr);
    }
    EXPECT_EQ(target, L"pre:ab1");
    EXPECT_THROW(wstr::format(target, fmt::runtime(L"{:d}"), L"text"), fmt::format_error);
    EXPECT_THROW(wstr::format(target, fmt::runtime(L"{")), fmt::format_error);
}

TEST(Format, NarrowTextsForExceptions) {
    EXPECT_EQ(formatNarrow("Failed to create event (error {})", 5),
              "Failed to create event (error 5)");
    EXPECT_EQ(formatNarrow("Invalid UTF-8 encoding detected in \"{}\" at offset {}",
                           wstr(L"/tmp/\u00e9.txt"), 12u),
              "Invalid UTF-8 encoding detected in \"/tmp/\xc3\xa9.txt\" at offset 12");
    std::string longText(700, 'z');
    EXPECT_EQ(formatNarrow("{}!", longText), longText + "!");
    EXPECT_THROW(formatNarrow(fmt::runtime("{}")), fmt::format_error);
}

} // namespace
