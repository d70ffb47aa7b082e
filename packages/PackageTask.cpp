#include "packages/PackageTask.h"

#include "core/Logger.h"
#include "core/Mutex.h"
#include "core/SysTime.h"
#include "packages/Package.h"
#include "packages/PackageHost.h"
#include "packages/PackageManager.h"
#include "packages/Plugin.h"
#include "platform/ThreadId.h"

#include <exception>
#include <utility>

namespace {

struct ClockHook {
    Mutex mutex;
    std::function<uint64_t()> clock;
};

ClockHook& clockHook() {
    static ClockHook hook;
    return hook;
}

} // namespace

PackageTask::PackageTask(const std::shared_ptr<Package>& package, uint32_t delayMs,
                         const std::shared_ptr<Plugin>& plugin, uint32_t type)
    : type_(type), package_(package), plugin_(plugin) {
    if (package) {
        packageId_ = package->id();
        packageRevision_ = package->revision();
    }
    if (delayMs == 0) {
        due_ = true;
        return;
    }
    queuedTime_ = now();
    dueTime_ = queuedTime_ + delayMs;
}

uint64_t PackageTask::now() {
    ClockHook& hook = clockHook();
    {
        Mutex::Lock lock(hook.mutex);
        if (hook.clock)
            return hook.clock();
    }
    return static_cast<uint64_t>(Sys::perfCounter()) * 1000 / Sys::perfFrequency;
}

void PackageTask::setClock(std::function<uint64_t()> clock) {
    ClockHook& hook = clockHook();
    Mutex::Lock lock(hook.mutex);
    hook.clock = std::move(clock);
}

bool PackageTask::isSameAs(const PackageTask& other) const {
    return type_ == other.type_ && packageId_ == other.packageId_ &&
           packageRevision_ == other.packageRevision_ && isValid() && other.isValid();
}

bool PackageTask::merge(PackageTask& other) {
    if (!isEarlier(other.dueTime_, dueTime_))
        return false;
    queuedTime_ = other.queuedTime_;
    dueTime_ = other.dueTime_;
    due_ = other.due_;
    return true;
}

void PackageTask::run() {
    threadId_ = Platform::currentThreadId();
    runStart_ = now();
    std::shared_ptr<PackageHost> host = isValid() ? PackageHost::instance() : nullptr;
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    if (!manager) {
        finishRun();
        return;
    }
    const std::string description = describe();
    manager->registerRunningTask(std::static_pointer_cast<PackageTask>(shared_from_this()));
    try {
        execute();
    } catch (const std::exception& e) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"Exception caught while running task \"{}\": {}",
                                wstr::fromUtf8(description.c_str()), wstr::fromUtf8(e.what())));
    } catch (...) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"Unknown exception caught while running task \"{}\".",
                                wstr::fromUtf8(description.c_str())));
    }
    manager->unregisterRunningTask(*this);
    finishRun();
}

void PackageTask::finishRun() {
    runEnd_ = now();
    threadId_ = 0;
}

PluginThreadTask::PluginThreadTask(const PackageTask& owner)
    : PackageTask(owner.package().lock(), 0, owner.plugin().lock(), typeThread) {}

std::string PluginThreadTask::describe() const {
    const std::shared_ptr<Plugin> owner = plugin().lock();
    return "thread of " + (owner ? wstr::toUtf8(owner->fullName()) : std::string("a plugin"));
}
