#include "app/App.h"

#include "app/EnvironmentSource.h"
#include "app/MainLoop.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/LogRecords.h"

#include <QTimer>

#include <chrono>
#include <gtest/gtest.h>

extern char** environ;
using namespace std::chrono;

namespace {

// A network settings watch driven by the test.
class FakeWatch : public NetworkSettingsWatch {
public:
    std::function<bool(int arms, const Event::Handle& event)> onArm;
    int arms = 0;
    int disarms = 0;

    bool arm(const Event::Handle& event) override { return onArm(++arms, event); }
    void disarm() override { ++disarms; }
};

void failSafe(QObject& context) {
    QTimer::singleShot(30000, &context, [] { MainLoop::postQuit(99); });
}

} // namespace

TEST(App, IdentityValues) {
    EXPECT_EQ(App::appName(), L"Quorvalent");
    EXPECT_EQ(App::appVersion(), L"2.24");
    ASSERT_EQ(App::appRevision().size(), 40u);
    EXPECT_EQ(App::appVersionString(), L"2.24 (" + App::appRevision().substr(0, 7) + L")");
}

TEST(App, InstanceIsEmptyWithoutARunningApplication) {
    EXPECT_EQ(App::instance(), nullptr);
    auto app = std::make_shared<App>();
    EXPECT_EQ(App::instance(), nullptr) << "only init() makes it the instance";
}

TEST(App, PrivateMessagesOfOtherStarts) {
    qvtest::qtApp();
    auto app = std::make_shared<App>();
    EXPECT_EQ(app->onInstanceMessage(App::messageVersion), App::versionAnswer);
    EXPECT_EQ(app->onInstanceMessage(App::messageExit), 0u);
    MainLoop loop;
    EXPECT_EQ(loop.exec(), 0) << "an exit request ends the loop with code 0";

    QObject context;
    QTimer::singleShot(300, &context, [] { MainLoop::postQuit(42); });
    app->onInstanceMessage(App::messageExit);
    EXPECT_EQ(loop.exec(), 42) << "the program is closed once; later requests change nothing";
}

TEST(App, TheEnvironmentTimerReloadsTheEnvironment) {
    std::vector<wstr> block;
    for (char** entry = environ; *entry; ++entry)
        block.push_back(wstr::fromUtf8(*entry));
    class Source : public EnvironmentSource {
    public:
        std::vector<wstr> block;
        bool read(std::vector<wstr>& out) override {
            out = block;
            return true;
        }
    };
    auto source = std::make_shared<Source>();
    source->block = block;
    source->block.push_back(L"QV_APP_TIMER_0=1");
    EnvironmentSource::install(source);
    qvtest::LogRecords log;
    auto app = std::make_shared<App>();

    app->setTimer(App::TimerEnvironment, 0);
    app->processTimers();
    EXPECT_EQ(log.matching(Logger::Info, L"Environment changed.").size(), 1u);
    app->setTimer(App::TimerEnvironment, 0);
    app->processTimers();
    EXPECT_EQ(log.matching(Logger::Info, L"Environment changed.").size(), 1u)
        << "an unchanged environment is not reported";

    source->block = block;
    App::reloadEnvironment();
    EnvironmentSource::install(nullptr);
}

TEST(App, AFailedNetworkWatchIsArmedAgainASecondLater) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    auto app = std::make_shared<App>();
    auto watch = std::make_unique<FakeWatch>();
    FakeWatch& w = *watch;
    steady_clock::time_point rearmed;
    w.onArm = [&](int arms, const Event::Handle&) {
        if (arms == 1)
            return false;
        rearmed = steady_clock::now();
        MainLoop::postQuit(0);
        return true;
    };
    app->setNetworkSettingsWatch(std::move(watch));
    const auto start = steady_clock::now();
    EXPECT_EQ(app->run(), 0u);
    EXPECT_EQ(w.arms, 2);
    EXPECT_GE(duration_cast<milliseconds>(rearmed - start).count(), 1000);
}

TEST(App, ANetworkSettingsChangeRearmsTheWatch) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    auto app = std::make_shared<App>();
    auto watch = std::make_unique<FakeWatch>();
    FakeWatch& w = *watch;
    w.onArm = [&](int arms, const Event::Handle& event) {
        if (arms == 1)
            event->set(); // the settings change at once
        else
            MainLoop::postQuit(0);
        return true;
    };
    app->setNetworkSettingsWatch(std::move(watch));
    EXPECT_EQ(app->run(), 0u);
    EXPECT_EQ(w.arms, 2);
    EXPECT_EQ(w.disarms, 1) << "the change disarmed the watch";
}
