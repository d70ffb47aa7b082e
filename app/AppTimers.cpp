#include "app/AppTimers.h"

#include "core/SysTime.h"

#include <limits>

namespace {

bool isTrayId(uint32_t id) {
    return id == AppTimers::trayBusy || id == AppTimers::trayNormal;
}

// Due times closer than half the clock's range count as later.
constexpr uint64_t halfRange = std::numeric_limits<int64_t>::max();

} // namespace

uint64_t AppTimers::monotonicMs() {
    return static_cast<uint64_t>(Sys::perfCounter()) * 1000 / Sys::perfFrequency;
}

AppTimers::AppTimers(Clock clock) : clock_(std::move(clock)) {}

bool AppTimers::isDue(const Timer& timer, uint64_t now) {
    if (timer.fired)
        return true;
    if (timer.start < timer.due)
        return now >= timer.due || now < timer.start;
    return timer.due <= now && now < timer.start;
}

bool AppTimers::isLater(uint64_t newDue, uint64_t oldDue) {
    if (newDue == oldDue)
        return false;
    if (oldDue < newDue)
        return newDue - oldDue < halfRange;
    return oldDue - newDue >= halfRange;
}

AppTimers::Timer* AppTimers::find(uint32_t id) {
    for (auto& timer : timers_)
        if (timer.id == id || (isTrayId(id) && isTrayId(timer.id)))
            return &timer;
    return nullptr;
}

void AppTimers::set(uint32_t id, uint64_t delayMs) {
    const uint64_t now = clock_();
    const Timer record{id, now, now + delayMs, delayMs == 0};
    Mutex::Lock lock(mutex_);
    Timer* existing = find(id);
    if (!existing)
        timers_.push_back(record);
    else if (isTrayId(id))
        existing->id = id;
    else if (isLater(record.due, existing->due))
        *existing = record;
    event_.set();
}

std::optional<uint64_t> AppTimers::waitTime() {
    Mutex::Lock lock(mutex_);
    const uint64_t now = clock_();
    std::optional<uint64_t> wait;
    for (auto& timer : timers_) {
        if (isDue(timer, now))
            timer.fired = true;
        const uint64_t left = timer.fired ? 0 : timer.due - now;
        if (!wait || left < *wait)
            wait = left;
        if (left == 0)
            break;
    }
    return wait;
}

AppTimers::Due AppTimers::takeDue() {
    Due due;
    Mutex::Lock lock(mutex_);
    const uint64_t now = clock_();
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (!isDue(*it, now)) {
            ++it;
            continue;
        }
        if (isTrayId(it->id))
            due.trayId = it->id;
        else
            due.ids.push_back(it->id);
        it = timers_.erase(it);
    }
    return due;
}
