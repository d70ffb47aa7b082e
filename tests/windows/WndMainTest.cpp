#include "windows/WndMain.h"

#include "app/App.h"
#include "app/MainLoop.h"
#include "gui/WndMessage.h"
#include "tests/support/QtTestApp.h"
#include "tests/windows/FakeWindowsHost.h"

#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WndMainTest : public ::testing::Test {
protected:
    void SetUp() override { qvtest::qtApp(); }

    // Runs a main loop until a quit request; a fallback request with code
    // 99 ends it when nothing else does.
    static int runLoop() {
        MainLoop loop;
        QTimer fallback;
        fallback.setSingleShot(true);
        QObject::connect(&fallback, &QTimer::timeout, [] { MainLoop::postQuit(99); });
        fallback.start(2000);
        return loop.exec();
    }

    qvtest::FakeWindowsHost host;
};

TEST_F(WndMainTest, PrivateMessagesAnswerAndReachTheLaunchBox) {
    WndMain main(host, host, nullptr);
    EXPECT_EQ(main.sendMessage(WndMain::QueryVersion), 20240000);
    EXPECT_EQ(main.sendMessage(WndMain::Noop), 0);
    EXPECT_EQ(main.sendMessage(WndMain::Show), 0);
    EXPECT_EQ(main.sendMessage(WndMain::Hide), 0);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"show 0", "hide"}));
    EXPECT_TRUE(main.exists());
}

TEST_F(WndMainTest, ExitRequestsCloseTheWindowOnceAndEndTheLoopWithZero) {
    WndMain main(host, host, nullptr);
    main.sendMessage(WndMain::Exit);
    main.sendMessage(WndMain::Exit);
    // The close is posted: the window still answers until the loop runs.
    EXPECT_TRUE(main.exists());
    EXPECT_EQ(runLoop(), 0);
    EXPECT_FALSE(main.exists());
    EXPECT_EQ(main.sendMessage(WndMain::Exit), 0);
    EXPECT_EQ(runLoop(), 99);
}

TEST_F(WndMainTest, DestroyingTheWindowObjectDoesNotAskForAnotherQuit) {
    std::make_unique<WndMain>(host, host, nullptr).reset();
    EXPECT_EQ(runLoop(), 99);
}

TEST_F(WndMainTest, TrayClicksToggleTheLaunchBox) {
    WndMain main(host, host, nullptr);
    main.sendMessage(WndMain::TrayCallback, 0, Gui::LButtonUp);
    main.sendMessage(WndMain::TrayCallback, 0, Gui::LButtonUp);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"toggle", "toggle"}));
}

} // namespace
