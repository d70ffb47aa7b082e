#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace qvtest {

// How long a test waits for what a slow machine (two cores, a sanitizer)
// does late; a wait ends as soon as its condition holds.
inline constexpr std::chrono::milliseconds slowMachineLimit = std::chrono::seconds(60);

// Checks the condition every poll interval until it holds or the time-out
// passes, for states that signal nothing a test can wait on (a child
// process, a file another process writes). True when it held.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20),
             std::chrono::milliseconds poll = std::chrono::milliseconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}

// Checks the condition each time the wake-up is signalled (anything with
// wait(uint32_t milliseconds), such as an auto-reset Event) until it holds
// or the time-out passes. True when it held.
template <typename Wakeup, typename Condition>
bool waitOn(Wakeup& wakeup, Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        wakeup.wait(static_cast<uint32_t>(left.count()));
    }
    return true;
}

} // namespace qvtest
