#pragma once

#include "platform/InstanceSocket.h"
#include "platform/Process.h"

#include <cstdint>
#include <string>

// The instance of the program that already runs for this user, as a new
// start sees it when it forwards a request: found through the instance
// socket, sent a private message, and waited for (or ended) through its
// process. Tests replace it. Main thread, before the application exists.
class RunningInstance {
public:
    enum WaitResult { Ended, TimedOut, Failed };

    virtual ~RunningInstance() = default;

    // True when an instance answers; the other calls need it.
    virtual bool find() = 0;
    // Its process id; 0 when it cannot be told.
    virtual uint32_t processId() = 0;
    // Starts watching its process; false when that fails.
    virtual bool openProcess() = 0;
    // Sends the message and waits (a bounded time) for the answer.
    virtual void send(uint32_t message) = 0;
    // Waits up to timeoutMs for the watched process to end.
    virtual WaitResult waitForExit(uint32_t timeoutMs) = 0;
    // Ends the watched process by force; false when that fails.
    virtual bool terminate() = 0;
};

// The real one, over the instance socket and a pidfd.
class SocketRunningInstance : public RunningInstance {
public:
    // How long a forwarded message waits for its answer.
    static constexpr int answerTimeoutMs = 5000;

    explicit SocketRunningInstance(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    bool find() override;
    uint32_t processId() override;
    bool openProcess() override;
    void send(uint32_t message) override;
    WaitResult waitForExit(uint32_t timeoutMs) override;
    bool terminate() override;

private:
    std::string socketPath_;
    Platform::InstanceSocket::Client client_;
    Platform::Process process_;
};
