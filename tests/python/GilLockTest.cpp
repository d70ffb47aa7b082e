#include <boost/python.hpp>

#include "platform/ThreadId.h"
#include "python/GilLock.h"
#include "tests/python/PythonTestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

TEST(GilLock, Nests) {
    ASSERT_FALSE(PyGILState_Check());
    {
        GilLock outer;
        {
            GilLock inner;
            EXPECT_TRUE(PyGILState_Check());
        }
        EXPECT_TRUE(PyGILState_Check());
        outer.release();
        outer.release();
        EXPECT_FALSE(outer.held());
        EXPECT_FALSE(PyGILState_Check());
        outer.acquire();
        EXPECT_TRUE(PyGILState_Check());
    }
    EXPECT_FALSE(PyGILState_Check());
}

// A lock released on its own thread lets the next thread in; a lock that
// kept the GIL would block the main thread here for good.
TEST(GilLock, ReleasesOnItsOwnThread) {
    bool heldAfterRelease = true;
    std::thread worker([&] {
        GilLock gil;
        qvtest::runPython("import threading\nname = threading.current_thread().name");
        gil.release();
        heldAfterRelease = PyGILState_Check();
    });
    worker.join();
    EXPECT_FALSE(heldAfterRelease);
    GilLock gil;
    EXPECT_TRUE(PyGILState_Check());
}

// A thread that holds the GIL until told to let go, as a plugin thread in a
// long call into C does.
class GilHog {
public:
    GilHog() {
        thread_ = std::thread([this] {
            id_ = Platform::currentThreadId();
            GilLock gil;
            held_.set_value();
            release_.get_future().wait();
        });
        held_.get_future().wait();
    }
    ~GilHog() { letGo(); }
    void letGo() {
        if (!thread_.joinable())
            return;
        release_.set_value();
        thread_.join();
    }
    uint32_t id() const { return id_; }

private:
    std::atomic<uint32_t> id_{0};
    std::promise<void> held_, release_;
    std::thread thread_;
};

TEST(GilLock, LimitedWorkRunsOnAHelperWithinTheLimit) {
    GilLock::limitWaits(5000, nullptr);
    std::thread::id ranOn;
    bool held = false;
    EXPECT_TRUE(GilLock::runLimited([&] {
        ranOn = std::this_thread::get_id();
        held = PyGILState_Check();
    }));
    GilLock::unlimitWaits();
    EXPECT_TRUE(held);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(PyGILState_Check());
}

// Without a limit the caller would wait here for good. The report names the
// thread that holds the GIL; once it lets go, work runs again.
TEST(GilLock, AGilHeldPastTheLimitIsGivenUpOnceAndLaterWorkRunsOnceItIsFree) {
    std::vector<std::pair<uint32_t, uint32_t>> reports;
    auto ran = std::make_shared<std::atomic<int>>(0);
    uint32_t hogId = 0;
    {
        GilHog hog;
        hogId = hog.id();
        GilLock::limitWaits(50, [&](uint32_t waitedMs, uint32_t holder) {
            reports.emplace_back(waitedMs, holder);
        });
        EXPECT_FALSE(GilLock::runLimited([ran] { ++*ran; }, 20));
        EXPECT_TRUE(GilLock::givenUp());
        EXPECT_EQ(GilLock::holder(), hogId);
        const auto before = std::chrono::steady_clock::now();
        // A call that waited would take the whole half minute.
        EXPECT_FALSE(GilLock::runLimited([ran] { ++*ran; }, 30000));
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30))
            << "skipped at once";
        hog.letGo();
    }
    // The helper left waiting gets the GIL now, runs nothing and lets it go:
    // the next work runs.
    EXPECT_TRUE(qvtest::waitFor([] { return !GilLock::givenUp(); }, std::chrono::seconds(30),
                                std::chrono::milliseconds(5)));
    EXPECT_EQ(GilLock::holder(), 0u);
    EXPECT_EQ(*ran, 0);
    EXPECT_TRUE(GilLock::runLimited([ran] { ++*ran; }));
    EXPECT_EQ(*ran, 1);
    GilLock::unlimitWaits();
    {
        GilLock gil;
        EXPECT_TRUE(gil.held());
    }
    EXPECT_EQ(reports, (std::vector<std::pair<uint32_t, uint32_t>>{{70, hogId}}));
}

} // namespace
