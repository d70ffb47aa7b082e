#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <span>

namespace Platform {

// An event object over an eventfd. A manual-reset event stays signalled until
// it is reset and releases every waiter; an auto-reset event releases exactly
// one waiter per signal and is reset by the wait that consumes it. Signalling
// an event that is already signalled changes nothing (no count is kept).
// All operations may be called from any thread.
class EventFd {
public:
    // A non-signalled event; on failure valid() is false and the last error is set.
    explicit EventFd(bool autoReset);

    bool valid() const { return fd_.valid(); }
    bool autoReset() const { return autoReset_; }
    // The descriptor, readable while the event is signalled (for poll() and
    // socket notifiers; reading it consumes the signal).
    int fd() const { return fd_.get(); }

    // Both return false and set the last error on failure.
    bool set();
    bool reset();

    // Waits up to timeoutMs (INFINITE for no limit) for the event: WAIT_OBJECT_0,
    // WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
    uint32_t wait(uint32_t timeoutMs);

    // Waits up to timeoutMs for any of the events: WAIT_OBJECT_0 + the lowest
    // index of a signalled event (only that one is consumed when it is
    // auto-reset), WAIT_TIMEOUT, or WAIT_FAILED with the last error set (also
    // for an empty list or a null or invalid event in it).
    static uint32_t waitAny(std::span<EventFd* const> events, uint32_t timeoutMs);

private:
    // True when the event was signalled and, for an auto-reset event, this
    // caller consumed the signal.
    bool tryAcquire();

    UniqueFd fd_;
    bool autoReset_;
};

} // namespace Platform
