#include "windows/WndConsole.h"

#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"
#include "tests/support/QtTestApp.h"
#include "tests/windows/WindowFakes.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

class WndConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        host.settings->showTimePrefix = false;
        console = std::make_unique<WndConsole>(host, std::make_shared<Theme>());
    }

    void type(const wstr& text) {
        console->inputBox().setText(text);
        console->inputBox().sendMessage(KeyDown, VkReturn, 0);
    }

    qvtest::FakeConsoleHost host;
    std::unique_ptr<WndConsole> console;
};

TEST_F(WndConsoleTest, IsCreatedHiddenWithItsTitleAndAReadOnlyLogBox) {
    EXPECT_FALSE(console->isVisible());
    EXPECT_EQ(console->getText().substr(0, 10), L"Console - ");
    EXPECT_TRUE(console->logBox().isReadOnly());
    EXPECT_FALSE(console->inputBox().isReadOnly());
}

TEST_F(WndConsoleTest, EnterRunsTheLineAndShowsItsOutput) {
    host.python = [](const wstr& statement) { return L"ran " + statement + L"\n\n"; };
    type(L"  print(2)  ");
    EXPECT_EQ(host.statements, std::vector<wstr>{L"print(2)"});
    EXPECT_EQ(console->logBox().getText(), L">>> print(2)\nran print(2)\n");
    EXPECT_EQ(console->inputBox().getText(), L"");
    EXPECT_TRUE(console->logBox().isCaretAtEnd());
}

TEST_F(WndConsoleTest, AnEmptyLineIsEchoedAndRunsNothing) {
    type(L"   ");
    EXPECT_EQ(console->logBox().getText(), L">>> \n");
    EXPECT_TRUE(host.statements.empty());
    EXPECT_TRUE(console->history().entries().empty());
}

TEST_F(WndConsoleTest, AliasesComeFromTheSettingsAndCommandsRunNoPython) {
    type(L":qv");
    EXPECT_EQ(host.statements, std::vector<wstr>{L"import quorvalent as qv"});
    type(L":alias nope");
    EXPECT_EQ(host.statements.size(), 1u);
    EXPECT_EQ(console->logBox().getText(),
              L">>> import quorvalent as qv\n>>> :alias nope\nAlias not found: \"nope\"\n");
    EXPECT_EQ(console->history().entries(), (std::deque<wstr>{L":qv", L":alias nope"}));
}

TEST_F(WndConsoleTest, UpAndDownWalkTheHistoryInTheInputBox) {
    type(L"first");
    type(L"second");
    console->inputBox().setText(L"draft");
    auto key = [&](uint32_t vk) {
        console->inputBox().sendMessage(KeyDown, vk, 0);
        return console->inputBox().getText();
    };
    EXPECT_EQ(key(VkUp), L"second");
    EXPECT_EQ(key(VkUp), L"first");
    EXPECT_EQ(key(VkUp), L"first");
    EXPECT_EQ(key(VkDown), L"second");
    EXPECT_EQ(key(VkDown), L"draft");
    // Up and Down in the log box are the box's own.
    console->logBox().sendMessage(KeyDown, VkUp, 0);
    EXPECT_EQ(console->inputBox().getText(), L"draft");
}

TEST_F(WndConsoleTest, EscHidesAndF1AsksForTheAboutBoxFromEitherBox) {
    console->show(true);
    ASSERT_TRUE(console->isVisible());
    console->logBox().sendMessage(KeyDown, VkF1, 0);
    console->inputBox().sendMessage(KeyDown, VkF1, 0);
    EXPECT_EQ(host.aboutOwners, (std::vector<Wnd*>{console.get(), console.get()}));
    console->logBox().sendMessage(Char, VkEscape, 0);
    EXPECT_FALSE(console->isVisible());
    console->show(true);
    console->inputBox().sendMessage(Char, VkEscape, 0);
    EXPECT_FALSE(console->isVisible());
}

TEST_F(WndConsoleTest, EnterInTheLogBoxRunsNothing) {
    console->inputBox().setText(L"print(1)");
    console->logBox().sendMessage(KeyDown, VkReturn, 0);
    EXPECT_TRUE(host.statements.empty());
    EXPECT_EQ(console->inputBox().getText(), L"print(1)");
}

TEST_F(WndConsoleTest, ShowsNewLogRecordsAndFlashesOnlyWhileShown) {
    host.addRecord(Logger::Info, L"started");
    host.addRecord(Logger::Warning, L"careful  \n");
    console->appendLog();
    EXPECT_EQ(console->logBox().getText(), L"started\nWARNING: careful\n");
    EXPECT_TRUE(host.alerts.empty()); // hidden

    console->show(true);
    console->appendLog(); // nothing new
    host.addRecord(Logger::Info, L"quiet");
    console->appendLog();
    EXPECT_TRUE(host.alerts.empty());
    host.addRecord(Logger::Error, L"broken");
    console->appendLog();
    EXPECT_EQ(host.alerts, std::vector<QWidget*>{console->hwnd()});
    EXPECT_EQ(console->logBox().getText(), L"started\nWARNING: careful\nquiet\n** ERROR: broken\n");
}

TEST_F(WndConsoleTest, NewRecordsKeepTheUsersSelectionWhenTheCaretIsNotAtTheEnd) {
    host.addRecord(Logger::Info, L"first line");
    console->appendLog();
    console->logBox().setSelection(0, 5);
    host.addRecord(Logger::Info, L"second");
    console->appendLog();
    EXPECT_EQ(console->logBox().getSelection(), (CtrlEdit::SelectionRange{0, 5}));
    EXPECT_EQ(console->logBox().getText(), L"first line\nsecond\n");
}

// Ten thousand records of a chatty plugin, in bursts: the log box keeps the
// newest whole lines within its size and follows the end.
TEST_F(WndConsoleTest, AChattyLogKeepsItsNewestLinesAndSavesAScreenshot) {
    console->hwnd()->resize(900, 600);
    console->show(true);
    wstr line;
    for (int i = 1; i <= 10000; ++i) {
        line.clear();
        wstr::format(line, L"record {:05}: ", i);
        while (line.size() < 110)
            line += L"chatter ";
        host.addRecord(i % 1000 == 0 ? Logger::Warning : Logger::Info, line);
        if (i % 25 == 0)
            console->appendLog();
    }
    const wstr text = console->logBox().getText();
    EXPECT_LE(text.size(), WndConsole::maxLogLength);
    EXPECT_GT(text.size(), WndConsole::maxLogLength - 200) << "more than one line dropped";
    EXPECT_TRUE(text.starts_with(L"record ")) << "whole lines are dropped";
    EXPECT_NE(text.find(L"\nWARNING: record 10000: chatter"), wstr::npos);
    EXPECT_TRUE(text.ends_with(L"chatter\n"));
    EXPECT_TRUE(console->logBox().isCaretAtEnd());

    console->hwnd()->repaint();
    const QImage image = console->hwnd()->grab().toImage();
    const QString folder = QString(QV_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    ASSERT_TRUE(image.save(folder + "/console-10000-lines.png"));
}

} // namespace
