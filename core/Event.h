#pragma once

#include "platform/Error.h"
#include "platform/EventFd.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

// An event object, used as stop, wake and dirty signal. The object that owns
// an Event creates and closes it; its handle is shared, so a thread that still
// waits on it, or signals it, after the owner closed it never touches a freed
// descriptor. Waits return Platform::WAIT_OBJECT_0 (+ index), WAIT_TIMEOUT or
// WAIT_FAILED; a time-out is a result, not an error.
class Event {
public:
    using Handle = std::shared_ptr<Platform::EventFd>;

    // A closed event: no handle.
    Event() = default;
    // Event(autoReset) is create(autoReset).
    explicit Event(bool autoReset) { create(autoReset); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Creates a non-signalled event, manual-reset unless autoReset is set, in
    // place of the current one. Throws std::runtime_error "Failed to create
    // Event object (error {})". Owner's thread.
    void create(bool autoReset);
    // Drops the handle; nothing when already closed. Owner's thread.
    void close() { handle_.reset(); }

    bool valid() const { return handle_ != nullptr; }
    const Handle& handle() const { return handle_; }

    // Any thread. False (with the last error set) when closed or failing.
    bool set() const;
    bool reset() const;
    // Any thread; WAIT_FAILED when closed.
    uint32_t wait(uint32_t timeoutMs) const;

    // Waits for any of the handles; the lowest signalled index wins. A null
    // handle fails the wait with ERROR_INVALID_HANDLE. Any thread.
    static uint32_t waitAny(std::initializer_list<Handle> handles, uint32_t timeoutMs);
    static uint32_t waitAny(std::span<const Handle> handles, uint32_t timeoutMs);

private:
    Handle handle_;
};
