#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

#include <QCoreApplication>
#include <QThread>

namespace Gui {

// Runs work on the user-interface thread (the Qt application's thread) for
// callers on any thread, and hands back its result: the desktop services
// (clipboard, screens, message boxes) may be used from that thread only.
// Detached before the application object goes away; from then on every
// call gets its fallback. Any thread.
class UiCall {
public:
    using Timeout = std::optional<std::chrono::milliseconds>;
    // How long a quick question (clipboard, screens) may keep another thread
    // waiting when the user-interface thread is busy.
    static constexpr std::chrono::milliseconds quickAnswer{5000};

    // Runs work at once on the user-interface thread; from another thread
    // queues it there and waits for its result, at most the time-out (none:
    // until it is answered). The fallback when detached, when the time-out
    // passes, or when the application drops the queued work unrun.
    template <typename T>
    T run(std::function<T()> work, T fallback, Timeout timeout = std::nullopt) {
        auto promise = std::make_shared<std::promise<T>>();
        std::future<T> future = promise->get_future();
        {
            std::lock_guard lock(mutex_);
            QCoreApplication* app = QCoreApplication::instance();
            if (detached_ || !app)
                return fallback;
            if (QThread::currentThread() != app->thread()) {
                QMetaObject::invokeMethod(
                    app,
                    [promise, work] {
                        try {
                            promise->set_value(work());
                        } catch (...) {
                            promise->set_exception(std::current_exception());
                        }
                    },
                    Qt::QueuedConnection);
                work = nullptr;
            }
        }
        // Not under the lock: the work may run an event loop that calls again.
        if (work)
            return work();
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
    // detached, or when the application goes before it runs.
    void post(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        QCoreApplication* app = QCoreApplication::instance();
        if (detached_ || !app)
            return;
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
    }

    // Later calls get their fallback. User-interface thread, before the
    // application object is destroyed.
    void detach() {
        std::lock_guard lock(mutex_);
        detached_ = true;
    }

private:
    std::mutex mutex_;
    bool detached_ = false;
};

} // namespace Gui
