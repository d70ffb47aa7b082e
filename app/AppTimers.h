#pragma once

#include "core/Event.h"
#include "core/Mutex.h"

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <vector>

// The pending App timers: the one way other threads hand work to the
// user-interface thread. There is at most one entry per id, and the two tray
// icon ids share one entry. A pending entry is only ever pushed later, never
// earlier, so a burst of requests collapses into one run; entries keep their
// place in the list, and due ids are handed out in list order.
//
// Times are monotonic milliseconds and wrap modulo 2^64.
class AppTimers {
public:
    // The tray icon ids: busy and normal.
    static constexpr uint32_t trayBusy = 6;
    static constexpr uint32_t trayNormal = 7;

    using Clock = std::function<uint64_t()>;

    // What one pass found due, removed from the list.
    struct Due {
        std::vector<uint32_t> ids;      // in list order, tray ids excluded
        std::optional<uint32_t> trayId; // the tray entry's id, when it was due
    };

    // Sys::perfCounter in milliseconds.
    static uint64_t monotonicMs();

    // Throws when the mutex or the event cannot be created.
    explicit AppTimers(Clock clock = monotonicMs);
    AppTimers(const AppTimers&) = delete;
    AppTimers& operator=(const AppTimers&) = delete;

    // Arms the timer id to run delayMs from now (0: at the next pass) and
    // signals the event, also when nothing changed. Any thread.
    void set(uint32_t id, uint64_t delayMs);

    // The time until the nearest entry is due: 0 when one is due (it is then
    // marked fired, so that a clock going back cannot undo that), nothing
    // when the list is empty. User-interface thread.
    std::optional<uint64_t> waitTime();

    // Removes and returns every entry that is fired or due. User-interface
    // thread.
    Due takeDue();

    // Signalled (auto-reset) by each set().
    const Event& event() const { return event_; }

private:
    struct Timer {
        uint32_t id = 0;
        uint64_t start = 0;
        uint64_t due = 0;
        bool fired = false;
    };

    static bool isDue(const Timer& timer, uint64_t now);
    static bool isLater(uint64_t newDue, uint64_t oldDue);
    Timer* find(uint32_t id);

    Clock clock_;
    Mutex mutex_;
    Event event_{true};
    std::list<Timer> timers_;
};
