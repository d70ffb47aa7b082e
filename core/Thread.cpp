#include "core/Thread.h"

#include "core/Format.h"
#include "core/Logger.h"
#include "platform/ThreadId.h"

#include <atomic>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <system_error>

using namespace Platform;

namespace {

thread_local Event::Handle currentStop;

// Throws "Failed to create thread signal (error {})" when the event cannot be made.
Event::Handle makeThreadSignal() {
    auto event = std::make_shared<EventFd>(false);
    if (!event->valid())
        throw std::runtime_error(
            formatNarrow("Failed to create thread signal (error {})", lastError()));
    return event;
}

class DetachedAttr {
public:
    DetachedAttr() {
        pthread_attr_init(&attr_);
        pthread_attr_setdetachstate(&attr_, PTHREAD_CREATE_DETACHED);
    }
    ~DetachedAttr() { pthread_attr_destroy(&attr_); }
    DetachedAttr(const DetachedAttr&) = delete;
    DetachedAttr& operator=(const DetachedAttr&) = delete;
    const pthread_attr_t* get() const { return &attr_; }

private:
    pthread_attr_t attr_;
};

} // namespace

// What the thread and its owner share. The thread keeps its own reference to
// the end, so an owner that stopped waiting may drop its own at any time.
struct Thread::State {
    Event::Handle exited = makeThreadSignal();
    Event::Handle stop;
    std::shared_ptr<LaunchPad> pad; // dropped by the thread once it has started
    std::atomic<uint32_t> id{0};
    std::atomic<int> exitCode{-1};
    std::shared_ptr<State> self; // handed to the new thread by entry()
    std::function<void()> beforeRun;
};

namespace {

std::mutex hooksMutex;
Thread::TestHooks testHooks;

Thread::TestHooks currentHooks() {
    std::lock_guard lock(hooksMutex);
    return testHooks;
}

} // namespace

void Thread::setTestHooks(TestHooks hooks) {
    std::lock_guard lock(hooksMutex);
    testHooks = std::move(hooks);
}

Thread::LaunchPad::LaunchPad() {
    created_.create(false);
    started_.create(false);
}

void Thread::LaunchPad::signalStarted() {
    // The launcher may destroy the record as soon as the event is set: keep the
    // handle alive through the call.
    Event::Handle started = started_.handle();
    started->set();
}

void Thread::launch(std::shared_ptr<LaunchPad> pad, Thread& thread) {
    if (thread.state_) {
        if (thread.running())
            throw std::logic_error("Thread already launched");
        stop(thread, INFINITE, false);
    }
    thread.stop_ = makeThreadSignal();
    auto state = std::make_shared<State>();
    state->stop = thread.stop_;
    const Event::Handle created = pad->created_.handle();
    const Event::Handle started = pad->started_.handle();
    state->pad = std::move(pad);
    state->self = state;
    TestHooks hooks = currentHooks();
    state->beforeRun = std::move(hooks.beforeRun);

    DetachedAttr attr;
    pthread_t handle;
    if (int error = pthread_create(&handle, attr.get(), &Thread::entry, state.get())) {
        state->self.reset();
        throw std::system_error(error, std::system_category(),
                                formatNarrow("Failed to create thread (error {})", error));
    }
    thread.state_ = state;
    created->set();

    // A thread that ends before it starts (its created wait failed) must not
    // leave the launcher waiting for ever.
    const uint32_t result =
        hooks.startWait ? hooks.startWait() : Event::waitAny({started, state->exited}, INFINITE);
    if (result != WAIT_OBJECT_0) {
        thread.stop_->set();
        throw std::runtime_error(formatNarrow(
            "Failed to wait for thread to start (result {:#08X}; error {})", result, lastError()));
    }
}

void* Thread::entry(void* param) {
    std::shared_ptr<State> state = std::move(static_cast<State*>(param)->self);
    state->id = currentThreadId();
    currentStop = state->stop;
    state->exitCode = runPad(*state);
    currentStop.reset();
    state->exited->set();
    return nullptr;
}

int Thread::runPad(State& state) {
    wstr text;
    try {
        // Ours from here on, whatever the launcher does meanwhile.
        std::shared_ptr<LaunchPad> pad = std::move(state.pad);
        const uint32_t result = pad->created_.wait(INFINITE);
        if (result != WAIT_OBJECT_0)
            throw std::runtime_error(
                formatNarrow("Failed to wait for thread to be created (result {:#08X}; error {})",
                             result, lastError()));
        if (state.beforeRun)
            state.beforeRun();
        pad->run();
        return 0;
    } catch (const std::exception& e) {
        wstr::format(text, L"Exception caught in thread {}: {}", state.id.load(), e.what());
    } catch (...) {
        wstr::format(text, L"Unknown exception caught in thread {}", state.id.load());
    }
    logMessage(Logger::Fatal, std::move(text));
    return 1;
}

void Thread::stop(Thread& thread, uint32_t timeoutMs, bool force) {
    if (thread.id() != 0 && thread.id() == currentThreadId())
        return;
    if (thread.stop_)
        thread.stop_->set();
    if (thread.state_ && thread.state_->exited->wait(timeoutMs) != WAIT_OBJECT_0 && force) {
        wstr text;
        logMessage(Logger::Warning,
                   wstr::format(text, L"Thread {} did not end in time; it is left to end by itself",
                                thread.id()));
    }
    thread.state_.reset();
    thread.stop_.reset();
}

bool Thread::running() const {
    return state_ && state_->exited->wait(0) == WAIT_TIMEOUT;
}

uint32_t Thread::id() const {
    return state_ ? state_->id.load() : 0;
}

Event::Handle Thread::exitEvent() const {
    return state_ ? state_->exited : nullptr;
}

std::optional<int> Thread::exitCode() const {
    if (!state_ || state_->exitCode < 0)
        return std::nullopt;
    return state_->exitCode.load();
}

const Event::Handle& Thread::currentStopEvent() {
    return currentStop;
}
