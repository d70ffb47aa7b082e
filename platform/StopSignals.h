#pragma once

#include <csignal>
#include <cstdint>

namespace Platform {

// Turns SIGINT, SIGTERM and SIGHUP into a signal of an eventfd that the main
// loop watches, so that they end the program in order. The handler does
// nothing but an async-signal-safe write to the descriptor and a note of the
// signal. While the object lives its handlers are installed; its destructor
// puts the former dispositions back, so that a signal that arrives during the
// shutdown that follows ends the process at once. One object at a time; owner's
// thread.
class StopSignals {
public:
    // eventFd must stay open while the object lives.
    explicit StopSignals(int eventFd);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The number of the last stop signal received; 0 for none. Any thread.
    static int lastSignal();

private:
    static constexpr int count = 3;
    static const int signals_[count];
    struct sigaction former_[count] = {};
};

// "SIGINT", "SIGTERM", "SIGHUP"; "another signal" for the rest.
const char* signalName(int signal);

} // namespace Platform
