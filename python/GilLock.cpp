#include "python/GilLock.h"

#include "platform/Immortal.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

struct Limit {
    std::mutex mutex;
    std::optional<uint32_t> timeoutMs;
    std::function<void(uint32_t)> report;
    bool givenUp = false;
};

// Left alive at exit: a helper may still wait for the GIL then.
Limit& limit() {
    static Platform::Immortal<Limit> instance;
    return instance.get();
}

// One hand-over between a caller and its helper thread.
struct Errand {
    enum Stage { Waiting, Running, Done, Abandoned };
    std::mutex mutex;
    std::condition_variable changed;
    Stage stage = Waiting;
    std::function<void()> work;
};

void runErrand(const std::shared_ptr<Errand>& errand) {
    const PyGILState_STATE state = PyGILState_Ensure();
    {
        std::lock_guard lock(errand->mutex);
        if (errand->stage == Errand::Abandoned) {
            PyGILState_Release(state);
            return;
        }
        errand->stage = Errand::Running;
    }
    try {
        errand->work();
    } catch (...) {
    }
    errand->work = nullptr;
    PyGILState_Release(state);
    std::lock_guard lock(errand->mutex);
    errand->stage = Errand::Done;
    errand->changed.notify_all();
}

// True when the helper ran the work to its end within the time.
bool runOnHelper(std::function<void()> work, std::chrono::milliseconds timeout) {
    auto errand = std::make_shared<Errand>();
    errand->work = std::move(work);
    std::thread([errand] { runErrand(errand); }).detach();
    std::unique_lock lock(errand->mutex);
    if (errand->changed.wait_for(lock, timeout, [&] { return errand->stage == Errand::Done; }))
        return true;
    // Work under way is left to end by itself; what it uses, it owns.
    if (errand->stage == Errand::Waiting)
        errand->stage = Errand::Abandoned;
    return false;
}

} // namespace

void GilLock::acquire() {
    if (held_)
        return;
    state_ = PyGILState_Ensure();
    held_ = true;
}

void GilLock::release() {
    if (!held_)
        return;
    PyGILState_Release(state_);
    held_ = false;
}

bool GilLock::runLimited(std::function<void()> work, uint32_t extraMs) {
    if (!Py_IsInitialized())
        return false;
    std::optional<uint32_t> timeoutMs;
    {
        std::lock_guard lock(limit().mutex);
        if (limit().givenUp)
            return false;
        timeoutMs = limit().timeoutMs;
    }
    // A caller that holds the GIL already needs no helper (nor could one
    // get it).
    if (!timeoutMs || PyGILState_Check()) {
        GilLock gil;
        work();
        return true;
    }
    const uint32_t waitedMs = *timeoutMs + extraMs;
    if (runOnHelper(std::move(work), std::chrono::milliseconds(waitedMs)))
        return true;
    std::function<void(uint32_t)> report;
    {
        std::lock_guard lock(limit().mutex);
        if (!std::exchange(limit().givenUp, true))
            report = limit().report;
    }
    if (report)
        report(waitedMs);
    return false;
}

void GilLock::limitWaits(uint32_t timeoutMs, std::function<void(uint32_t waitedMs)> report) {
    std::lock_guard lock(limit().mutex);
    limit().timeoutMs = timeoutMs;
    limit().report = std::move(report);
}

bool GilLock::givenUp() {
    std::lock_guard lock(limit().mutex);
    return limit().givenUp;
}

void GilLock::unlimitWaits() {
    std::lock_guard lock(limit().mutex);
    limit().timeoutMs.reset();
    limit().report = nullptr;
    limit().givenUp = false;
}
