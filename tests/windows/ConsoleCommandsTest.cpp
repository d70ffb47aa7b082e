#include "windows/ConsoleCommands.h"

#include <gtest/gtest.h>

namespace {

ConsoleCommands defaults() {
    return ConsoleCommands(
        {{L"qv", L"import quorvalent as qv"}, {L"qvu", L"import quorvalent_util as qvu"}});
}

TEST(ConsoleCommands, AnAliasNameStandsForItsTextAndOtherLinesPassUnchanged) {
    ConsoleCommands commands = defaults();
    const struct {
        const wchar_t* line;
        const wchar_t* toPython;
    } cases[] = {
        {L":qv", L"import quorvalent as qv"},
        {L":qvu", L"import quorvalent_util as qvu"},
        {L"print(1)", L"print(1)"},
        {L" :qv", L" :qv"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        const ConsoleCommands::Outcome outcome = commands.apply(c.line);
        EXPECT_FALSE(outcome.consumed) << wstr::toUtf8(c.line);
        EXPECT_EQ(outcome.line, c.toPython) << wstr::toUtf8(c.line);
        EXPECT_EQ(outcome.output, L"");
    }
}

// Python has no statement that starts with a colon: such a line never
// reaches it, the user hears that the alias does not exist.
TEST(ConsoleCommands, AColonLineWithoutItsAliasSaysSo) {
    ConsoleCommands commands = defaults();
    const struct {
        const wchar_t* line;
        const wchar_t* output;
    } cases[] = {
        {L":nosuch", L">>> :nosuch\nAlias not found: \"nosuch\"\n"},
        {L":QV", L">>> :QV\nAlias not found: \"QV\"\n"},    // names match exactly
        {L":qv ", L">>> :qv \nAlias not found: \"qv \"\n"}, // the whole rest is the name
        {L":aliases", L">>> :aliases\nAlias not found: \"aliases\"\n"},
        {L":", L">>> :\nAlias not found: \"\"\n"},
    };
    for (const auto& c : cases) {
        const ConsoleCommands::Outcome outcome = commands.apply(c.line);
        EXPECT_TRUE(outcome.consumed) << wstr::toUtf8(c.line);
        EXPECT_EQ(outcome.output, c.output) << wstr::toUtf8(c.line);
    }
}

TEST(ConsoleCommands, AliasListsSetsAndErases) {
    ConsoleCommands commands = defaults();
    const struct {
        const wchar_t* line;
        const wchar_t* output;
    } steps[] = {
        {L":alias", L">>> :alias\nqv = import quorvalent as qv\n"
                    L"qvu = import quorvalent_util as qvu\n"},
        {L":alias x", L">>> :alias x\nAlias not found: \"x\"\n"},
        {L":alias p  print( 1 ,\t2 )", L">>> :alias p  print( 1 ,\t2 )\np = print( 1 ,\t2 )\n"},
        {L":alias A \t import os", L">>> :alias A \t import os\nA = import os\n"},
        {L":alias qv import sys", L">>> :alias qv import sys\nqv = import sys\n"},
        {L":alias qvu", L">>> :alias qvu\nAlias erased: \"qvu\"\n"},
        // Names in code-unit order: upper case first.
        {L":alias", L">>> :alias\nA = import os\np = print( 1 ,\t2 )\nqv = import sys\n"},
    };
    for (const auto& step : steps) {
        const ConsoleCommands::Outcome outcome = commands.apply(step.line);
        EXPECT_TRUE(outcome.consumed) << wstr::toUtf8(step.line);
        EXPECT_EQ(outcome.output, step.output) << wstr::toUtf8(step.line);
    }
    EXPECT_EQ(commands.apply(L":p").line, L"print( 1 ,\t2 )");
    // ":alias" followed by anything but a blank (a tab too) is no command.
    EXPECT_EQ(commands.apply(L":aliasx").output, L">>> :aliasx\nAlias not found: \"aliasx\"\n");
    EXPECT_EQ(commands.apply(L":alias\tA import os").output,
              L">>> :alias\tA import os\nAlias not found: \"alias\tA import os\"\n");
    EXPECT_EQ(commands.apply(L":A").line, L"import os");
}

TEST(ConsoleCommands, AnAliasNamedAliasWinsOverTheCommand) {
    ConsoleCommands commands(std::map<wstr, wstr>{{L"alias", L"print('mine')"}});
    const ConsoleCommands::Outcome outcome = commands.apply(L":alias");
    EXPECT_FALSE(outcome.consumed);
    EXPECT_EQ(outcome.line, L"print('mine')");
}

} // namespace
