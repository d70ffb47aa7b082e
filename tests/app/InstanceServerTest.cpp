#include "app/InstanceServer.h"

#include "core/Format.h"
#include "core/Logger.h"
#include "platform/InstanceSocket.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>

#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Platform::InstanceSocket::Client;

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Runs the Qt loop for ms milliseconds; the number of times it woke up.
int runLoop(int ms) {
    QEventLoop loop;
    int wakes = 0;
    auto connection = QObject::connect(QAbstractEventDispatcher::instance(),
                                       &QAbstractEventDispatcher::awake, [&] { ++wakes; });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return wakes;
}

// A start of the program asking from another thread while the loop runs.
std::optional<uint32_t> ask(const std::string& path, uint32_t message) {
    auto answer = std::async(std::launch::async, [&] {
        Client client;
        return client.connect(path) ? client.send(message, 10000) : std::nullopt;
    });
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        runLoop(20);
    return answer.get();
}

class InstanceServerTest : public ::testing::Test {
protected:
    void SetUp() override { qvtest::qtApp(); }

    qvtest::TempDir dir;
    std::string path = (dir.path() / "instance").string();
    InstanceServer::Handler twice = [](uint32_t message) { return message * 2; };
};

// Silent clients of the same user are held a bounded number at a time and
// for a bounded time; a real start is still answered.
TEST_F(InstanceServerTest, SilentClientsAreBoundedInNumberAndTime) {
    InstanceServer server(path, twice, {4, 300, 50});
    const int before = openDescriptors();
    std::vector<Client> silent(10);
    for (auto& client : silent)
        ASSERT_TRUE(client.connect(path));
    runLoop(100);
    EXPECT_LE(openDescriptors(), before + 10 + 4) << "more connections held than allowed";
    EXPECT_EQ(ask(path, 21), std::optional<uint32_t>(42));
}

// Out of descriptors, accepting pauses instead of waking the loop without
// end, and resumes once descriptors are free again.
TEST_F(InstanceServerTest, RunningOutOfDescriptorsBacksOffAndRecovers) {
    InstanceServer server(path, twice, {32, 5000, 100});
    qvtest::LogRecords log;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<Client> waiting(3);
    for (auto& client : waiting)
        ASSERT_TRUE(client.connect(path));
    // The sanitizers check a type through a pipe the first time they meet it,
    // which fails without descriptors: meet the warning's types beforehand.
    logMessage(Logger::Info, wstr::fromUtf8(formatNarrow("warm-up {} {}", 1, 2).c_str()));
    rlimit low = saved;
    low.rlim_cur = rlim_t(openDescriptors() + 8);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> fillers;
    for (int fd; (fd = dup(0)) >= 0;)
        fillers.push_back(fd);
    const int wakes = runLoop(500);
    for (int fd : fillers)
        close(fd);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_LT(wakes, 100) << "the loop spun on the listening socket";
    bool warned = false;
    for (const auto& item : log.all())
        warned =
            warned || item->message.starts_with(L"The instance socket cannot take a connection");
    EXPECT_TRUE(warned);
    EXPECT_EQ(ask(path, 5), std::optional<uint32_t>(10));
}

} // namespace
