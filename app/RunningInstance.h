#pragma once

#include "app/ProfileClaim.h"
#include "platform/InstanceSocket.h"
#include "platform/Process.h"

#include <cstdint>
#include <functional>
#include <optional>
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
    // After find failed: why an instance that holds the profile could not be
    // reached, for the user; empty when none holds it.
    virtual std::string unreachable() { return {}; }
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

// The real one, over the instance socket and a pidfd: the socket of this
// environment's runtime folder, else the one that the holder of the profile
// recorded (an instance started with another runtime folder).
class SocketRunningInstance : public RunningInstance {
public:
    // How long a forwarded message waits for its answer.
    static constexpr int answerTimeoutMs = 5000;
    // Looked up only when the runtime folder's socket does not answer.
    using HolderLookup = std::function<std::optional<ProfileClaim::Holder>()>;

    explicit SocketRunningInstance(std::string socketPath, HolderLookup holder = {})
        : socketPath_(std::move(socketPath)), holder_(std::move(holder)) {}

    bool find() override;
    std::string unreachable() override { return unreachable_; }
    uint32_t processId() override;
    bool openProcess() override;
    void send(uint32_t message) override;
    WaitResult waitForExit(uint32_t timeoutMs) override;
    bool terminate() override;

private:
    std::string socketPath_;
    HolderLookup holder_;
    std::string unreachable_;
    Platform::InstanceSocket::Client client_;
    Platform::Process process_;
};
