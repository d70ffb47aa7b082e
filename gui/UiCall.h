#pragma once

#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace Gui {

// Runs work on the user-interface thread (the Qt application's thread) for
// callers on any thread, and hands back its result: the desktop services
// (clipboard, screens, message boxes) may be used from that thread only.
// Detached before the application object goes away; from then on every
// call gets its fallback. Made on the user-interface thread; used from any.
//
// The work waits in a queue of ours, under our own lock, and Qt's queue
// carries only a plain event, whose hand-off is told to the thread
// sanitizer (it cannot see Qt's locks).
class UiCall {
public:
    using Timeout = std::optional<std::chrono::milliseconds>;
    // How long a quick question (clipboard, screens) may keep another thread
    // waiting when the user-interface thread is busy.
    static constexpr std::chrono::milliseconds quickAnswer{5000};

    UiCall();
    // User-interface thread, unless detached.
    ~UiCall();
    UiCall(const UiCall&) = delete;
    UiCall& operator=(const UiCall&) = delete;

    // Runs work at once on the user-interface thread; from another thread
    // queues it there and waits for its result, at most the time-out (none:
    // until it is answered). The fallback when detached, when the time-out
    // passes, or when the queued work is dropped unrun.
    template <typename T>
    T run(std::function<T()> work, T fallback, Timeout timeout = std::nullopt) {
        if (onUiThread())
            return attached() ? work() : fallback;
        auto promise = std::make_shared<std::promise<T>>();
        std::future<T> future = promise->get_future();
        // Only the queued work holds the promise: dropped unrun, it breaks it.
        const bool queued = queue([promise = std::move(promise), work = std::move(work)] {
            try {
                promise->set_value(work());
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        });
        if (!queued)
            return fallback;
        if (timeout && future.wait_for(*timeout) != std::future_status::ready)
            return fallback;
        try {
            return future.get();
        } catch (const std::future_error&) {
            return fallback;
        }
    }

    // Queues work for the user-interface thread and returns at once, also
    // when called there: the work runs once the loop runs. Dropped when
    // detached, also when queued before.
    void post(std::function<void()> work) { queue(std::move(work)); }

    // Drops the queued work; later calls get their fallback. User-interface
    // thread, before the application object is destroyed.
    void detach();

private:
    class Receiver;

    bool onUiThread() const;
    bool attached();
    // False, and the work not taken, when detached or without an application.
    bool queue(std::function<void()> work);
    // The oldest queued work, run outside the lock. User-interface thread.
    void runNext();

    QThread* const thread_;
    std::mutex mutex_;
    bool detached_ = false;
    std::deque<std::function<void()>> queue_;
    // Receives the events that run the queue; gone once detached.
    std::unique_ptr<Receiver> receiver_;
};

} // namespace Gui
