#include "app/MainLoop.h"

#include "core/Thread.h"
#include "tests/support/QtTestApp.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

using namespace std::chrono;

namespace {

// Ends a loop that the code under test failed to end.
void failSafe(QObject& context) {
    QTimer::singleShot(20000, &context, [] { MainLoop::postQuit(99); });
}

} // namespace

TEST(MainLoop, SignalledEventsRunTheirHandlersInOrderBeforeThePass) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    MainLoop loop;
    Event first{true}, second{true};
    std::vector<std::string> order;
    loop.watchEvent(first.handle(), [&] { order.push_back("first"); });
    loop.watchEvent(second.handle(), [&] { order.push_back("second"); });
    loop.setPass([&]() -> std::optional<uint64_t> {
        if (!order.empty()) {
            order.push_back("pass");
            MainLoop::postQuit(7);
        }
        return std::nullopt;
    });
    second.set();
    first.set();
    EXPECT_EQ(loop.exec(), 7);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "pass"}));
    EXPECT_EQ(first.wait(0), Platform::WAIT_TIMEOUT) << "the signal was consumed";
}

TEST(MainLoop, TheLoopSleepsUntilTheTimeThePassAsksFor) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    MainLoop loop;
    const auto start = steady_clock::now();
    int passes = 0;
    loop.setPass([&]() -> std::optional<uint64_t> {
        ++passes;
        const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
        if (elapsed >= 200) {
            MainLoop::postQuit(0);
            return std::nullopt;
        }
        return 200 - elapsed;
    });
    EXPECT_EQ(loop.exec(), 0);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 200);
    EXPECT_LT(passes, 20) << "the loop waited instead of polling";
}

TEST(MainLoop, ABusyEventDoesNotStarveThePass) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    MainLoop loop;
    Event busy{true};
    std::atomic<bool> stop{false};
    std::atomic<int> handled{0};
    Thread hammer;
    Thread::launch(hammer, [&] {
        while (!stop)
            busy.set();
    });
    loop.watchEvent(busy.handle(), [&] { ++handled; });
    const auto start = steady_clock::now();
    bool due = false;
    loop.setPass([&]() -> std::optional<uint64_t> {
        const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
        if (elapsed >= 100) {
            due = true;
            MainLoop::postQuit(0);
            return std::nullopt;
        }
        return 100 - elapsed;
    });
    EXPECT_EQ(loop.exec(), 0);
    stop = true;
    Thread::stop(hammer, Platform::INFINITE, false);
    EXPECT_TRUE(due);
    EXPECT_GT(handled.load(), 0);
}

TEST(MainLoop, AQuitPostedBeforeTheLoopEndsItAtOnce) {
    qvtest::qtApp();
    MainLoop loop;
    int passes = 0;
    loop.setPass([&]() -> std::optional<uint64_t> {
        ++passes;
        return std::nullopt;
    });
    MainLoop::postQuit(3);
    EXPECT_EQ(loop.exec(), 3);
    EXPECT_EQ(passes, 0) << "no pass runs once the quit request is seen";
}

TEST(MainLoop, AQuitFromAnotherThreadEndsTheLoop) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    MainLoop loop;
    Thread poster;
    Thread::launch(poster, [] { MainLoop::postQuit(5); });
    EXPECT_EQ(loop.exec(), 5);
    Thread::stop(poster, Platform::INFINITE, false);
}

TEST(MainLoop, AnExceptionOfThePassLeavesExec) {
    qvtest::qtApp();
    MainLoop loop;
    loop.setPass([]() -> std::optional<uint64_t> { throw std::runtime_error("broken pass"); });
    EXPECT_THROW(
        {
            try {
                loop.exec();
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "broken pass");
                throw;
            }
        },
        std::runtime_error);
}

TEST(MainLoop, NoPassRunsInsideANestedLoop) {
    qvtest::qtApp();
    QObject context;
    failSafe(context);
    MainLoop loop;
    Event event{true};
    bool handled = false;
    int passes = 0;
    int passesAfterNested = -1;
    bool handledInNested = true;
    loop.watchEvent(event.handle(), [&] { handled = true; });
    loop.setPass([&]() -> std::optional<uint64_t> {
        ++passes;
        if (passes == 1) {
            QEventLoop nested;
            QTimer::singleShot(100, &nested, &QEventLoop::quit);
            event.set();
            nested.exec();
            passesAfterNested = passes;
            handledInNested = handled;
            return 0;
        }
        if (handled)
            MainLoop::postQuit(0);
        return std::nullopt;
    });
    EXPECT_EQ(loop.exec(), 0);
    EXPECT_EQ(passesAfterNested, 1);
    EXPECT_FALSE(handledInNested) << "the handler waits for the outer loop";
    EXPECT_TRUE(handled);
}

// A box left open (a modal loop started inside the pass, with no way out of
// its own) must not keep the program from ending: a quit request and an
// urgent event (a stop signal) end the loop from inside it.
TEST(MainLoop, AQuitOrAnUrgentEventEndsTheLoopFromInsideAModalLoop) {
    struct Row {
        const char* name;
        bool urgent;
    };
    for (const Row& row : {Row{"quit request", false}, Row{"urgent event", true}}) {
        SCOPED_TRACE(row.name);
        qvtest::qtApp();
        QObject context;
        failSafe(context);
        MainLoop loop;
        Event stop{true};
        loop.watchUrgentEvent(stop.handle(), [] { MainLoop::postQuit(7); });
        int passes = 0;
        bool modalEnded = false;
        loop.setPass([&]() -> std::optional<uint64_t> {
            if (++passes > 1)
                return std::nullopt;
            QEventLoop modal;
            if (row.urgent)
                stop.set();
            else
                MainLoop::postQuit(7);
            modal.exec();
            modalEnded = true;
            return std::nullopt;
        });
        EXPECT_EQ(loop.exec(), 7);
        EXPECT_TRUE(modalEnded);
        EXPECT_EQ(passes, 1);
    }
}
