#include "windows/WndDiag.h"

#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"
#include "tests/support/QtTestApp.h"
#include "tests/windows/WindowFakes.h"

#include <QPlainTextEdit>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

class WndDiagTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        diag = std::make_unique<WndDiag>(host, std::make_shared<Theme>());
    }

    qvtest::FakeDiagHost host;
    std::unique_ptr<WndDiag> diag;
};

bool contains(const wstr& text, const wstr& part) {
    return text.find(part) != wstr::npos;
}

TEST_F(WndDiagTest, ShowingBuildsTheDetailedReportAndHidingEmptiesIt) {
    EXPECT_FALSE(diag->isVisible());
    EXPECT_EQ(diag->getText().substr(0, 13), L"Diagnostic - ");
    EXPECT_EQ(diag->reportBox().getText(), L"");
    diag->show(true);
    const wstr report = diag->reportBox().getText();
    EXPECT_TRUE(report.starts_with(L"```\n"));
    EXPECT_TRUE(report.ends_with(L"\n```"));
    EXPECT_TRUE(contains(report, L"Installed mode\n"));
    EXPECT_TRUE(contains(report, L"Profile dir: /home/tester/.config/qv-test-profile\n"));
    EXPECT_TRUE(contains(report, L"Package Sample:\n"));
    EXPECT_TRUE(contains(report, L"Monitor #1: test\n"));
    diag->reportBox().sendMessage(Char, VkEscape, 0);
    EXPECT_FALSE(diag->isVisible());
    EXPECT_EQ(diag->reportBox().getText(), L"");
}

// The report is longer than the window: it opens at its header, and so
// does each report F5 and F6 build again.
TEST_F(WndDiagTest, TheReportOpensAtItsHeader) {
    diag->hwnd()->resize(400, 150);
    auto* view = static_cast<QPlainTextEdit*>(diag->reportBox().hwnd());
    const auto atTop = [&] {
        return view->verticalScrollBar()->value() == 0 &&
               diag->reportBox().getCaretPos(nullptr) == 0;
    };
    for (int round = 0; round < 2; ++round) {
        diag->show(true);
        ASSERT_GT(view->verticalScrollBar()->maximum(), 0) << "the report fits in the view";
        EXPECT_TRUE(atTop()) << "shown " << round + 1;
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
        diag->reportBox().sendMessage(KeyDown, VkF1 + 4, 0);
        EXPECT_TRUE(atTop()) << "F5";
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
        diag->reportBox().sendMessage(KeyDown, VkF1 + 5, 0);
        EXPECT_TRUE(atTop()) << "F6";
        diag->show(false);
    }
}

TEST_F(WndDiagTest, F6CopiesAShortReportWithoutPersonalDetails) {
    diag->show(true);
    diag->reportBox().sendMessage(KeyDown, VkF1 + 5, 0);
    EXPECT_FALSE(diag->detailed());
    const wstr report = host.clipboard;
    EXPECT_EQ(report, diag->reportBox().getText());
    EXPECT_TRUE(contains(report, L"Echo (0x000007.0x000001)\n"));
    EXPECT_TRUE(contains(report, L"Official packages directory found.\n"));
    for (const wchar_t* personal : {L"NetBIOS", L"User name", L"uptime", L"/home/tester",
                                    L"/opt/qv-test", L"Profile dir", L"Local dir"})
        EXPECT_FALSE(contains(report, personal)) << wstr::toUtf8(personal);
    // The time stamp is in UTC.
    const std::size_t at = report.find(L"Diagnostic timestamp: ");
    ASSERT_NE(at, wstr::npos);
    EXPECT_EQ(report[report.find(L'\n', at) - 1], L'Z');

    // F5 brings back the detailed report and leaves the clipboard alone.
    host.clipboard.clear();
    diag->reportBox().sendMessage(KeyDown, VkF1 + 4, 0);
    EXPECT_TRUE(diag->detailed());
    EXPECT_TRUE(contains(diag->reportBox().getText(), L"User name (current thread): \""));
    EXPECT_EQ(host.clipboard, L"");
}

TEST_F(WndDiagTest, WithoutAPackageManagerNoReportIsBuilt) {
    host.hasPackageManager = false;
    diag->show(true);
    EXPECT_EQ(diag->reportBox().getText(), L"");
    diag->reportBox().sendMessage(KeyDown, VkF1 + 5, 0);
    EXPECT_EQ(host.clipboard, L"");
}

TEST_F(WndDiagTest, ShowingAnActiveWindowAgainDoesNotRebuild) {
    diag->show(true);
    ASSERT_EQ(host.snapshots, 1);
    diag->sendMessage(Activate, ActivateActive, 0);
    diag->show(true);
    EXPECT_EQ(host.snapshots, 1);
    // Long after it lost activation it counts as inactive again.
    uint64_t now = 1000;
    diag->setClock([&now] { return now; });
    diag->sendMessage(Activate, ActivateInactive, 0);
    now += WndThemed::recentlyActiveMs + 1;
    diag->show(true);
    EXPECT_EQ(host.snapshots, 2);
}

TEST_F(WndDiagTest, F1AsksForTheAboutBoxOwnedByTheWindow) {
    diag->reportBox().sendMessage(KeyDown, VkF1, 0);
    EXPECT_EQ(host.aboutOwners, std::vector<Wnd*>{diag.get()});
}

} // namespace
