#pragma once

#include "core/Event.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// A background thread with its stop event, started through a launch record
// with a created/started handshake and stopped by its owner with a time-out.
//
// The launch record is shared by the launcher and the new thread until both
// are done with it: a launcher whose wait for the start fails may return (by
// throwing) while the new thread still takes its callable. The new thread runs
// nothing before the launcher has filled the Thread. No exception leaves a
// thread: it is logged at level fatal and the thread ends with exit code 1.
//
// Linux has no safe way to end a thread by force. A thread that does not end
// in time is left to end by itself: the state it touches on its way out (its
// exit event, exit code, stop event) is shared, and the owner only drops its
// reference. Callables that use their owner's object should hold it shared.
class Thread {
public:
    // The launch record: the created and started events (manual-reset), made
    // by the launcher and closed when the record goes away.
    class LaunchPad {
    public:
        // Throws std::runtime_error "Failed to create Event object (error {})".
        LaunchPad();
        virtual ~LaunchPad() = default;
        LaunchPad(const LaunchPad&) = delete;
        LaunchPad& operator=(const LaunchPad&) = delete;

        // Takes the callable, signals the started event and runs the callable.
        // New thread.
        virtual void run() = 0;

    protected:
        void signalStarted();

    private:
        friend class Thread;
        Event created_;
        Event started_;
    };

    // The record for one callable without arguments: a plain function, or a
    // lambda that binds a member function to its object.
    template <typename F> class LaunchPadTmpl final : public LaunchPad {
    public:
        explicit LaunchPadTmpl(F func) : func_(std::move(func)) {}
        void run() override {
            F func = std::move(func_);
            signalStarted();
            func();
        }

    private:
        F func_;
    };

    Thread() = default;
    // Drops the handles; neither signals nor waits.
    ~Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    Thread(Thread&&) noexcept = default;
    Thread& operator=(Thread&&) noexcept = default;

    // Starts a thread running the record's callable and returns once it has
    // started. A Thread whose previous thread still runs throws
    // std::logic_error "Thread already launched"; a finished one is cleaned
    // and replaced. Other failures: std::runtime_error "Failed to create
    // thread signal (error {})", std::system_error "Failed to create thread
    // (error {})" with errno, std::runtime_error "Failed to wait for thread to
    // start (result {:#08X}; error {})". Owner's thread.
    // A launch whose wait for the start fails has signalled the thread's stop
    // event; the thread may still run its callable, and the Thread owns it.
    static void launch(std::shared_ptr<LaunchPad> pad, Thread& thread);
    template <typename F> static void launch(Thread& thread, F&& func) {
        launch(std::make_shared<LaunchPadTmpl<std::decay_t<F>>>(std::forward<F>(func)), thread);
    }

    // Tests only: points where a test makes a launch interleave as it wants.
    // startWait replaces the launcher's wait for the start (its result is the
    // wait's); beforeRun is called by the new thread before it runs the record.
    // Set while no thread is being launched.
    struct TestHooks {
        std::function<uint32_t()> startWait;
        std::function<void()> beforeRun;
    };
    static void setTestHooks(TestHooks hooks);

    // Signals the stop event, waits up to timeoutMs (Platform::INFINITE for no
    // limit) for the thread to end and empties the Thread. A thread still
    // running then is left to end by itself; with force that is logged as a
    // warning. Called on the thread itself, it returns at once and changes
    // nothing. Owner's thread.
    static void stop(Thread& thread, uint32_t timeoutMs, bool force);

    // Owner's thread, all four.
    bool running() const;
    // The kernel thread id; 0 when empty.
    uint32_t id() const;
    // Null when empty.
    const Event::Handle& stopEvent() const { return stop_; }
    // Signalled once the thread has ended; null when empty.
    Event::Handle exitEvent() const;
    // 0 after a normal end, 1 after a failure; empty while running or empty.
    std::optional<int> exitCode() const;

    // The stop event of the calling thread, when it was started by launch;
    // null on other threads. Thread procedures wait on it.
    static const Event::Handle& currentStopEvent();

private:
    struct State;
    static void* entry(void* param);
    static int runPad(State& state);

    std::shared_ptr<State> state_;
    Event::Handle stop_;
};
