#pragma once

#include "core/ThreadPool.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class Package;
class Plugin;

// The unit of work the package manager hands to the thread pool on behalf of
// one package: it knows its package and plugin, carries the schedule by which
// the packages monitor starts it, and wraps its body in the per-task set-up
// (registration with the manager, exception containment, timing). PluginMsg
// is the one concrete kind.
class PackageTask : public ThreadPool::Task {
public:
    // Task types; the manager treats only messages as messages.
    static constexpr uint32_t typeMessage = 0;
    static constexpr uint32_t typeThread = 1; // a thread a plugin started

    // With a delay, the task is queued now and due after the delay; without
    // one, both times are 0 and it is due at once. Any thread.
    PackageTask(const std::shared_ptr<Package>& package, uint32_t delayMs,
                const std::shared_ptr<Plugin>& plugin, uint32_t type = typeMessage);

    // The task's text for log lines and the diagnostic window.
    virtual std::string describe() const = 0;
    // Runs the body on a pool worker (see the class comment). Worker thread.
    void run() override;
    virtual bool isValid() const = 0;
    // Takes over the other task's schedule when it is due earlier; true then.
    // Under the manager's lock.
    virtual bool merge(PackageTask& other);
    // Whether this pending task must not start while `running` runs. Under
    // the manager's lock.
    virtual bool mustWaitFor(const PackageTask& running) const = 0;
    // Same type, package id and revision, both valid.
    virtual bool isSameAs(const PackageTask& other) const;
    // The body. Worker thread.
    virtual void execute() = 0;

    uint32_t type() const { return type_; }
    uint64_t queuedTime() const { return queuedTime_; }
    uint64_t dueTime() const { return dueTime_; }
    // The due flag is kept by the manager under its lock.
    bool isDue() const { return due_; }
    void setDue() { due_ = true; }
    const std::weak_ptr<Package>& package() const { return package_; }
    uint32_t packageId() const { return packageId_; }
    uint64_t packageRevision() const { return packageRevision_; }
    const std::weak_ptr<Plugin>& plugin() const { return plugin_; }

    // Written by the running thread, read by anyone: the worker's kernel
    // thread id while the task runs (else 0) and the run's clock readings.
    uint32_t threadId() const { return threadId_; }
    uint64_t runStart() const { return runStart_; }
    uint64_t runEnd() const { return runEnd_; }

    // "Should terminate": set by the manager when the task's messages are
    // cancelled, its package is unloaded or it is superseded; never cleared.
    // Any thread.
    bool isCancelled() const { return cancelled_; }
    void cancel() { cancelled_ = true; }

    // Set once by the packages monitor when the run has taken longer than it
    // waits for (reported in the log): nothing waits for the task any more.
    // Any thread.
    bool isStuck() const { return stuck_; }
    // True for the call that set the mark.
    bool markStuck() { return !stuck_.exchange(true); }

    // Milliseconds of the monotonic clock, the one clock of tasks and of the
    // packages monitor. Any thread.
    static uint64_t now();
    // Replaces the clock (an empty function restores the system's); for
    // tests. Any thread, while no task is created or scheduled.
    static void setClock(std::function<uint64_t()> clock);
    // Whether a reading lies before another, wrap-safe: the other lies less
    // than 2^63 ahead of it.
    static bool isEarlier(uint64_t a, uint64_t b) { return a != b && b - a < (uint64_t(1) << 63); }

private:
    void finishRun();

    uint32_t type_ = typeMessage;
    uint64_t queuedTime_ = 0;
    uint64_t dueTime_ = 0;
    bool due_ = false;
    std::weak_ptr<Package> package_;
    uint32_t packageId_ = 0;
    uint64_t packageRevision_ = 0;
    std::weak_ptr<Plugin> plugin_;
    std::atomic<uint32_t> threadId_ = 0;
    std::atomic<bool> cancelled_ = false;
    std::atomic<bool> stuck_ = false;
    std::atomic<uint64_t> runStart_ = 0;
    std::atomic<uint64_t> runEnd_ = 0;
};

using PackageTaskPtr = std::shared_ptr<PackageTask>;

// What a thread that a plugin started serves: the package and plugin of the
// task that started it. It is never queued or run; it only answers which
// plugin the thread belongs to, so that the thread does not keep the message
// that started it alive (and "running").
class PluginThreadTask : public PackageTask {
public:
    // Any thread.
    explicit PluginThreadTask(const PackageTask& owner);
    std::string describe() const override;
    bool isValid() const override { return true; }
    bool mustWaitFor(const PackageTask&) const override { return false; }
    void execute() override {}
};
