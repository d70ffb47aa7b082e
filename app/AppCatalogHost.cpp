#include "app/AppCatalogHost.h"

#include "app/App.h"
#include "packages/PackageManager.h"

void AppCatalogHost::setTimer(uint32_t id, uint32_t delayMs) {
    if (auto app = app_.lock())
        app->setTimer(id, delayMs);
}

std::set<uint64_t> AppCatalogHost::knownIds() {
    auto app = app_.lock();
    auto manager = app ? app->packageManager() : nullptr;
    return manager ? manager->knownIds() : std::set<uint64_t>();
}

std::optional<wstr> AppCatalogHost::pluginFullName(uint64_t pluginId) {
    auto app = app_.lock();
    auto manager = app ? app->packageManager() : nullptr;
    bool found = false;
    wstr name = manager ? manager->pluginFullName(pluginId, &found) : wstr();
    return found ? std::optional<wstr>(std::move(name)) : std::nullopt;
}

std::optional<uint64_t> AppCatalogHost::pendingCatalogMessages() {
    auto app = app_.lock();
    auto manager = app ? app->packageManager() : nullptr;
    if (!manager)
        return std::nullopt;
    const auto counts = manager->getTaskCounts();
    // A stuck plugin's catalog may never come: the others' is written.
    return counts.pendingCatalog + counts.runningCatalog - counts.stuckCatalog;
}
