#include "app/Entry.h"

#include <gtest/gtest.h>

namespace {

// A running instance that answers as the row says and records what it is asked.
class FakeInstance : public RunningInstance {
public:
    bool present = true;
    uint32_t pid = 4242;
    bool canOpen = true;
    WaitResult waitResult = Ended;
    bool canTerminate = true;

    std::vector<uint32_t> sent;
    bool waited = false;
    bool terminated = false;

    std::string unreachableText;

    bool find() override { return present; }
    std::string unreachable() override { return unreachableText; }
    uint32_t processId() override { return pid; }
    bool openProcess() override { return canOpen; }
    void send(uint32_t message) override { sent.push_back(message); }
    WaitResult waitForExit(uint32_t timeoutMs) override {
        waited = true;
        EXPECT_EQ(timeoutMs, exitWaitMs);
        return waitResult;
    }
    bool terminate() override {
        terminated = true;
        return canTerminate;
    }
};

struct Row {
    const char* name;
    std::vector<wstr> args;
    std::function<void(FakeInstance&)> setUp;
    uint32_t command;
    bool handled;
    uint32_t exitCode;
    std::vector<uint32_t> sent;
};

} // namespace

TEST(Entry, CommandLineForwarding) {
    auto none = [](FakeInstance&) {};
    auto absent = [](FakeInstance& f) { f.present = false; };
    auto unreachable = [](FakeInstance& f) {
        f.present = false;
        f.unreachableText = "Quorvalent already runs as process 4242 but does not answer.";
    };
    const std::vector<Row> rows = {
        {"no argument starts normally", {L"qv"}, none, StartNormal, false, 0, {}},
        {"autorun starts normally", {L"qv", L"--autorun"}, none, StartNormal, false, 0, {}},
        {"exit ends the running instance", {L"qv", L"--exit"}, none, StartExit, true, 0, {1501}},
        {"exit without an instance", {L"qv", L"--exit"}, absent, StartExit, true, 0, {}},
        {"the last request wins: exit",
         {L"qv", L"--show", L"--exit"},
         none,
         StartExit,
         true,
         0,
         {1501}},
        {"the last request wins: show",
         {L"qv", L"--exit", L"--show"},
         none,
         StartShow,
         true,
         0,
         {1510}},
        {"show is forwarded", {L"qv", L"--show"}, none, StartShow, true, 0, {1510}},
        {"show without an instance starts", {L"qv", L"--show"}, absent, StartShow, false, 0, {}},
        {"hide is forwarded", {L"qv", L"--hide"}, none, StartHide, true, 0, {1511}},
        {"hide without an instance fails", {L"qv", L"--hide"}, absent, StartHide, true, 1, {}},
        {"letter case matters", {L"qv", L"--Show"}, none, StartNormal, false, 0, {}},
        {"a value after it is another word", {L"qv", L"--show=1"}, none, StartNormal, false, 0, {}},
        {"a slash is not two dashes", {L"qv", L"/show"}, none, StartNormal, false, 0, {}},
        {"argument 0 is the program", {L"--exit"}, none, StartNormal, false, 0, {}},
        // The profile's holder started with another runtime folder and does
        // not answer: no start of its own, whatever the request.
        {"show to a holder out of reach", {L"qv", L"--show"}, unreachable, StartShow, true, 2, {}},
        {"hide to a holder out of reach", {L"qv", L"--hide"}, unreachable, StartHide, true, 2, {}},
        {"exit to a holder out of reach", {L"qv", L"--exit"}, unreachable, StartExit, true, 2, {}},
        {"an unknown process id fails",
         {L"qv", L"--exit"},
         [](FakeInstance& f) { f.pid = 0; },
         StartExit,
         true,
         1,
         {1501}},
        {"an unwatchable process fails",
         {L"qv", L"--exit"},
         [](FakeInstance& f) { f.canOpen = false; },
         StartExit,
         true,
         1,
         {1501}},
        {"a failed wait fails",
         {L"qv", L"--exit"},
         [](FakeInstance& f) { f.waitResult = RunningInstance::Failed; },
         StartExit,
         true,
         1,
         {1501}},
        {"an instance that stays is ended, and that is a failure",
         {L"qv", L"--exit"},
         [](FakeInstance& f) { f.waitResult = RunningInstance::TimedOut; },
         StartExit,
         true,
         3,
         {1501}},
        {"an instance that cannot be ended fails",
         {L"qv", L"--exit"},
         [](FakeInstance& f) {
             f.waitResult = RunningInstance::TimedOut;
             f.canTerminate = false;
         },
         StartExit,
         true,
         3,
         {1501}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeInstance instance;
        row.setUp(instance);
        uint32_t command = 0;
        uint32_t exitCode = 99;
        EXPECT_EQ(forwardToRunningInstance(row.args, instance, command, exitCode), row.handled);
        EXPECT_EQ(command, row.command);
        if (row.handled) {
            EXPECT_EQ(exitCode, row.exitCode);
        }
        EXPECT_EQ(instance.sent, row.sent);
    }
}

TEST(Entry, AnExitRequestWaitsBeforeItEndsTheInstance) {
    FakeInstance instance;
    instance.waitResult = RunningInstance::TimedOut;
    uint32_t command = 0;
    uint32_t exitCode = 0;
    forwardToRunningInstance({L"qv", L"--exit"}, instance, command, exitCode);
    EXPECT_TRUE(instance.waited);
    EXPECT_TRUE(instance.terminated);

    FakeInstance ending;
    forwardToRunningInstance({L"qv", L"--exit"}, ending, command, exitCode);
    EXPECT_TRUE(ending.waited);
    EXPECT_FALSE(ending.terminated) << "an instance that ends in time is left alone";
}
