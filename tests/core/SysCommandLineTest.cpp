#include "core/SysCommandLine.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace {

using Args = std::vector<wstr>;

TEST(SysCommandLine, Split) {
    struct Case {
        const wchar_t* line;
        Args args;
    };
    const Case cases[] = {
        {L"", {}},
        {L"   \t ", {}},
        {L"prog", {L"prog"}},
        {L"  prog  a   b  ", {L"prog", L"a", L"b"}},
        {L"\"C:\\Program Files\\x.exe\" arg", {L"C:\\Program Files\\x.exe", L"arg"}},
        {L"prog\\\" a", {L"prog\"", L"a"}}, // argument 0 takes the escapes too
        {L"\"a b\"c d", {L"a bc", L"d"}},   // and goes on after its closing quote
        {L"\"unterminated name", {L"unterminated name"}},
        {L"p \"a b\" c", {L"p", L"a b", L"c"}},
        {L"p a\\\\b", {L"p", L"a\\\\b"}},       // backslashes without a quote are literal
        {L"p a\\\\\"b c\"", {L"p", L"a\\b c"}}, // 2n backslashes: n, quote toggles
        {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},   // 2n+1 backslashes: n and a literal quote
        {L"p \"\" x", {L"p", L"", L"x"}},
        {L"p \"unterminated arg", {L"p", L"unterminated arg"}},
        {L"p\ta\tb", {L"p", L"a", L"b"}},
    };
    for (const auto& c : cases) {
        Args args = {L"stale"};
        EXPECT_TRUE(Sys::splitCommandLine(args, c.line));
        EXPECT_EQ(args, c.args) << c.line;
    }
}

// The split follows the program's fixed locale, not whatever locale the
// process was switched to.
TEST(SysCommandLine, SplitDoesNotDependOnTheProcessLocale) {
    const std::string saved = setlocale(LC_ALL, nullptr);
    std::vector<std::vector<wstr>> results;
    for (const char* locale : {"C", "C.UTF-8"}) {
        ASSERT_NE(setlocale(LC_ALL, locale), nullptr) << locale;
        std::vector<wstr> args;
        EXPECT_TRUE(Sys::splitCommandLine(args, L"\u2003prog arg"));
        results.push_back(args);
    }
    setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], (std::vector<wstr>{L"prog", L"arg"}));
}

TEST(SysCommandLine, Quote) {
    struct Case {
        const wchar_t* arg;
        bool always;
        const wchar_t* quoted;
    };
    const Case cases[] = {
        {L"plain", false, L"plain"},
        {L"plain", true, L"\"plain\""},
        {L"", false, L"\"\""},
        {L"a b\\", false, L"\"a b\\\\\""},
        {L"a\\\"b", false, L"\"a\\\\\\\"b\""},
        {L"a\\b c", false, L"\"a\\b c\""},
        {L"tab\there", false, L"\"tab\there\""},
        {L"line\nfeed", false, L"\"line\nfeed\""},
        {L"back\\slash", false, L"back\\slash"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sys::quoteArgument(c.arg, c.always), c.quoted) << c.arg;
    EXPECT_EQ(Sys::joinArguments({}), L"");
    EXPECT_EQ(Sys::joinArguments({L"a", L"b c", L""}), L"a \"b c\" \"\"");
}

// Joining arguments and splitting again gives them back, argument 0 (the
// program, which a configuration editor's path may be) included.
TEST(SysCommandLine, RoundTrip) {
    const Args samples[] = {
        {L"x", L"plain", L"two words", L"", L"trailing\\", L"trail space\\", L"q\"uote", L"\\\"",
         L"\\\\\"x\" y", L"tab\tin", L"ünïcødé 文字"},
        {L"x", L"\"", L"\\", L"a\\\\b", L"-flag=\"v\""},
        {L"/opt/my \"quoted\" app/run", L"a"},
        {L"/opt/ends in\\", L"a"},
        {L"/opt/ends\\", L"a b"},
        {L"/opt/\\\"mixed\\\\\" dir/x"},
        {L""},
        {L"", L""},
        {L"C:\\Program Files\\x.exe", L"arg"},
    };
    for (const auto& args : samples) {
        for (bool always : {false, true}) {
            Args split;
            ASSERT_TRUE(Sys::splitCommandLine(split, Sys::joinArguments(args, always)));
            EXPECT_EQ(split, args) << wstr::toUtf8(Sys::joinArguments(args, always));
        }
    }
}

TEST(SysCommandLine, FirstArgument) {
    EXPECT_EQ(Sys::firstArgument(L"\"/opt/my app/run\" -x"), L"/opt/my app/run");
    EXPECT_EQ(Sys::firstArgument(L"   "), L"");
    // An empty command line stands for the process's own.
    wstr own = Sys::firstArgument(L"");
    EXPECT_NE(own.find(L"test_core"), wstr::npos) << wstr::toUtf8(own);
    Args args;
    ASSERT_TRUE(Sys::splitCommandLine(args));
    EXPECT_EQ(args.front(), own);
}

} // namespace
