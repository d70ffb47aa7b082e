#pragma once

#include "platform/ThreadId.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

// The shared owner of an object that must be destroyed on the thread that
// made it (the user-interface thread), whichever thread drops the last
// reference. A reference dropped last on another thread hands the object
// back to the owner's thread, which destroys it in release(); if the owner
// stopped waiting, the object is left alone for the process exit rather than
// destroyed on a foreign thread.
template <typename T> class UiThreadOwner {
public:
    // Makes the object on the calling thread, which becomes its owner thread.
    template <typename... Args>
    explicit UiThreadOwner(Args&&... args) : handoff_(std::make_shared<Handoff>()) {
        object_ = std::shared_ptr<T>(new T(std::forward<Args>(args)...), Deleter{handoff_});
    }
    ~UiThreadOwner() { release(defaultWaitMs); }
    UiThreadOwner(const UiThreadOwner&) = delete;
    UiThreadOwner& operator=(const UiThreadOwner&) = delete;

    static constexpr uint32_t defaultWaitMs = 5000;

    const std::shared_ptr<T>& get() const { return object_; }

    // Drops the owner's reference and waits up to timeoutMs for the others;
    // the object is destroyed here. True once it has been destroyed (or was
    // released before); false when it is still in use after the wait.
    // Owner thread.
    bool release(uint32_t timeoutMs) {
        if (!object_)
            return true;
        object_.reset();
        std::unique_lock lock(handoff_->mutex);
        handoff_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return handoff_->destroyed || handoff_->handedBack; });
        if (T* object = std::exchange(handoff_->handedBack, nullptr)) {
            lock.unlock();
            delete object;
            return true;
        }
        handoff_->waiting = false;
        return handoff_->destroyed;
    }

private:
    struct Handoff {
        const uint32_t ownerThread = Platform::currentThreadId();
        std::mutex mutex;
        std::condition_variable cv;
        T* handedBack = nullptr;
        bool destroyed = false;
        bool waiting = true; // the owner will still take a handed-back object
    };

    struct Deleter {
        std::shared_ptr<Handoff> handoff;
        void operator()(T* object) const {
            if (Platform::currentThreadId() == handoff->ownerThread) {
                delete object;
                std::lock_guard lock(handoff->mutex);
                handoff->destroyed = true;
                return;
            }
            std::lock_guard lock(handoff->mutex);
            if (handoff->waiting) {
                handoff->handedBack = object;
                handoff->cv.notify_all();
            }
        }
    };

    std::shared_ptr<Handoff> handoff_;
    std::shared_ptr<T> object_;
};
