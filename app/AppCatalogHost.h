#pragma once

#include "catalog/CatalogHost.h"

#include <memory>

class App;

// The catalog's view of the running application: its timers, and the
// package manager's answers. It holds the application weakly, so the
// catalog never keeps it alive; once it is gone, timers are dropped and no
// plugin is known. Any thread.
class AppCatalogHost : public CatalogHost {
public:
    explicit AppCatalogHost(std::weak_ptr<App> app) : app_(std::move(app)) {}

    void setTimer(uint32_t id, uint32_t delayMs) override;
    std::set<uint64_t> knownIds() override;
    std::optional<wstr> pluginFullName(uint64_t pluginId) override;
    // Queued and running ones: a catalog being delivered is not saved half done.
    std::optional<uint64_t> pendingCatalogMessages() override;

private:
    std::weak_ptr<App> app_;
};
