#include "python/GilLock.h"

#include "platform/Immortal.h"
#include "python/Python.h"

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
    std::function<void(uint32_t, uint32_t)> report;
    bool givenUp = false;
    uint32_t holder = 0;
};

// Left alive at exit: a helper may still wait for the GIL then.
Limit& limit() {
    static Platform::Immortal<Limit> instance;
    return instance.get();
}

static_assert(PY_VERSION_HEX < 0x030C0000,
              "from Python 3.12 the current thread state is per thread: find the holder anew");

// The thread whose state the interpreter made current when it gave it the
// GIL, which it still holds: this interpreter keeps that state in one
// process-wide slot, read here without the GIL. A holder that keeps the GIL
// keeps its state alive. 0 when none holds it.
uint32_t currentHolder() {
    const PyThreadState* holder = _PyThreadState_UncheckedGet();
    return holder ? static_cast<uint32_t>(holder->native_thread_id) : 0;
}

// Marks a wait given up; true for the first one, which is reported.
bool giveUp(uint32_t& holder) {
    std::lock_guard lock(limit().mutex);
    if (limit().givenUp)
        return false;
    limit().givenUp = true;
    limit().holder = holder = currentHolder();
    return true;
}

// The GIL came free: later work needs it no longer in vain.
void lift() {
    std::lock_guard lock(limit().mutex);
    limit().givenUp = false;
    limit().holder = 0;
}

// One hand-over between a caller and its helper thread.
struct Errand {
    enum Stage { Waiting, Running, Done, Abandoned };
    std::mutex mutex;
    std::condition_variable changed;
    Stage stage = Waiting;
    bool late = false; // given up while it ran
    std::function<void()> work;
};

void runErrand(const std::shared_ptr<Errand>& errand) {
    const PyGILState_STATE state = PyGILState_Ensure();
    {
        std::lock_guard lock(errand->mutex);
        if (errand->stage == Errand::Abandoned) {
            PyGILState_Release(state);
            lift();
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
    if (errand->late)
        lift();
    errand->changed.notify_all();
}

// True when the helper ran the work to its end within the time. Otherwise
// the wait is given up (under the errand's lock, so that a helper that gets
// the GIL right after lifts it), and `first` tells whether it is the first.
bool runOnHelper(std::function<void()> work, std::chrono::milliseconds timeout, bool& first,
                 uint32_t& holder) {
    auto errand = std::make_shared<Errand>();
    errand->work = std::move(work);
    std::thread([errand] { runErrand(errand); }).detach();
    std::unique_lock lock(errand->mutex);
    if (errand->changed.wait_for(lock, timeout, [&] { return errand->stage == Errand::Done; }))
        return true;
    // Work under way is left to end by itself; what it uses, it owns.
    if (errand->stage == Errand::Waiting)
        errand->stage = Errand::Abandoned;
    else
        errand->late = true;
    first = giveUp(holder);
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
    // The lock that took the GIL is where the thread leaves Python.
    if (state_ == PyGILState_UNLOCKED)
        Python::leaveIfForkedChild();
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
    bool first = false;
    uint32_t holder = 0;
    if (runOnHelper(std::move(work), std::chrono::milliseconds(waitedMs), first, holder))
        return true;
    std::function<void(uint32_t, uint32_t)> report;
    if (first) {
        std::lock_guard lock(limit().mutex);
        report = limit().report;
    }
    if (report)
        report(waitedMs, holder);
    return false;
}

void GilLock::limitWaits(uint32_t timeoutMs,
                         std::function<void(uint32_t waitedMs, uint32_t holder)> report) {
    std::lock_guard lock(limit().mutex);
    limit().timeoutMs = timeoutMs;
    limit().report = std::move(report);
}

bool GilLock::givenUp() {
    std::lock_guard lock(limit().mutex);
    return limit().givenUp;
}

uint32_t GilLock::holder() {
    std::lock_guard lock(limit().mutex);
    return limit().givenUp ? limit().holder : 0;
}

void GilLock::unlimitWaits() {
    std::lock_guard lock(limit().mutex);
    limit().timeoutMs.reset();
    limit().report = nullptr;
    limit().givenUp = false;
    limit().holder = 0;
}
