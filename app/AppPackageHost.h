#pragma once

#include "packages/PackageHost.h"

#include <memory>

class App;

// The packages' view of the running application: its timers, package
// manager, catalog, folders, settings, data monitor and configuration
// editor. It holds the application weakly; once it is gone, the packages
// find nothing. Any thread.
class AppPackageHost : public PackageHost {
public:
    explicit AppPackageHost(std::weak_ptr<App> app) : app_(std::move(app)) {}

    void setTimer(uint32_t id, uint32_t delayMs) override;
    std::shared_ptr<PackageManager> packageManager() override;
    std::shared_ptr<Catalog> catalog() override;
    DataFs::Folders folders() override;
    bool isPackageIgnored(const wstr& name) override;
    SettingsStore::KeyMap configVariables() override;
    void addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener) override;
    void removePackagesListener(const DataFs::PackagesListener* listener) override;
    bool postMainWindowCommand(uint32_t commandId) override;
    bool hasMainWindow() override;
    wstr commandProblem(uint32_t commandId) override;
    void editPackageConfig(const wstr& packageName) override;
    // The image manager forgets the icons it took from them.
    void forgetPackageIcons(uint32_t packageId) override;
    void forgetPackageIcon(uint64_t iconHandle) override;

private:
    std::weak_ptr<App> app_;
};
