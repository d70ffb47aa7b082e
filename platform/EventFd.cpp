#include "platform/EventFd.h"

#include "platform/Error.h"
#include "platform/ThreadSanitizer.h"

#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <vector>

// The sanitizer cannot see that a wait which polls the descriptor without
// reading it (a manual-reset event) is ordered after the set that made it
// readable: tell it, so that what it reports about our threads means something.

namespace Platform {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline for poll(), rounded up so that a wait
// never ends before its time-out; -1 for no deadline.
int pollTimeout(uint32_t timeoutMs, Clock::time_point deadline) {
    if (timeoutMs == INFINITE)
        return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

EventFd::EventFd(bool autoReset)
    : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), autoReset_(autoReset) {
    if (!fd_.valid())
        setLastErrorFromErrno();
}

bool EventFd::set() {
    const uint64_t one = 1;
    tsanRelease(this);
    if (::write(fd_.get(), &one, sizeof one) == sizeof one)
        return true;
    if (errno == EAGAIN) // the counter is full: the event is signalled already
        return true;
    setLastErrorFromErrno();
    return false;
}

bool EventFd::reset() {
    uint64_t count = 0;
    if (::read(fd_.get(), &count, sizeof count) == sizeof count || errno == EAGAIN)
        return true;
    setLastErrorFromErrno();
    return false;
}

bool EventFd::tryAcquire() {
    if (!autoReset_)
        return true;
    uint64_t count = 0;
    return ::read(fd_.get(), &count, sizeof count) == sizeof count;
}

uint32_t EventFd::wait(uint32_t timeoutMs) {
    EventFd* self = this;
    return waitAny(std::span<EventFd* const>(&self, 1), timeoutMs);
}

uint32_t EventFd::waitAny(std::span<EventFd* const> events, uint32_t timeoutMs) {
    if (events.empty()) {
        setLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<pollfd> fds(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        if (!events[i] || !events[i]->valid()) {
            setLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        fds[i] = {events[i]->fd(), POLLIN, 0};
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int timeout = pollTimeout(timeoutMs, deadline);
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            setLastErrorFromErrno();
            return WAIT_FAILED;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents & (POLLERR | POLLNVAL)) {
                setLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            // Another waiter may take an auto-reset signal between poll and read:
            // then the next signalled event, or a new poll, decides.
            if ((fds[i].revents & POLLIN) && events[i]->tryAcquire()) {
                tsanAcquire(events[i]);
                return WAIT_OBJECT_0 + static_cast<uint32_t>(i);
            }
        }
        if (ready == 0 && timeout == 0)
            return WAIT_TIMEOUT;
    }
}

} // namespace Platform
