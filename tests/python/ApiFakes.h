#pragma once

#include "app/AppConfig.h"
#include "packages/PackageHost.h"
#include "python/PythonHost.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace qvtest {

// The running application as the plugin API sees it: its folders, settings
// and timers. Registered for the life of the object.
class ApiServices : public PythonHost {
public:
    static std::shared_ptr<ApiServices> install(DataFs::Folders folders = {}) {
        auto app = std::make_shared<ApiServices>();
        app->folders_ = std::move(folders);
        PythonHost::setInstance(app);
        return app;
    }
    ~ApiServices() override { PythonHost::setInstance({}); }

    const DataFs::Folders& folders() const override { return folders_; }
    std::shared_ptr<const SettingsStore> appSettings() const override {
        std::lock_guard lock(mutex_);
        if (!config_)
            return nullptr;
        return std::shared_ptr<const SettingsStore>(config_, &config_->settingsStore);
    }
    void setTimer(uint32_t id, uint32_t) override {
        std::lock_guard lock(mutex_);
        timers_.push_back(id);
    }

    void setConfig(std::shared_ptr<const AppConfig> config) {
        std::lock_guard lock(mutex_);
        config_ = std::move(config);
    }
    std::vector<uint32_t> timers() const {
        std::lock_guard lock(mutex_);
        return timers_;
    }

private:
    mutable std::mutex mutex_;
    DataFs::Folders folders_;
    std::shared_ptr<const AppConfig> config_;
    std::vector<uint32_t> timers_;
};

// A package host without packages: plugins get their ids, and find no
// package, package manager or catalog. Installed for the life of the object.
class BarePackageHost : public PackageHost {
public:
    static std::shared_ptr<BarePackageHost> install() {
        auto host = std::make_shared<BarePackageHost>();
        PackageHost::setInstance(host);
        return host;
    }
    ~BarePackageHost() override = default;

    void setTimer(uint32_t, uint32_t) override {}
    std::shared_ptr<PackageManager> packageManager() override { return nullptr; }
    std::shared_ptr<Catalog> catalog() override { return nullptr; }
    DataFs::Folders folders() override { return {}; }
    bool isPackageIgnored(const wstr&) override { return false; }
    SettingsStore::KeyMap configVariables() override { return {}; }
    void addPackagesListener(std::weak_ptr<DataFs::PackagesListener>) override {}
    void removePackagesListener(const DataFs::PackagesListener*) override {}
    bool postMainWindowCommand(uint32_t) override { return false; }
    bool hasMainWindow() override { return false; }
    void editPackageConfig(const wstr&) override {}
    void forgetPackageIcons(uint32_t) override {}
    void forgetPackageIcon(uint64_t) override {}
};

// Installs a BarePackageHost and removes it again.
class BarePackageHostScope {
public:
    BarePackageHostScope() : host_(BarePackageHost::install()) {}
    ~BarePackageHostScope() { PackageHost::setInstance(nullptr); }
    BarePackageHostScope(const BarePackageHostScope&) = delete;
    BarePackageHostScope& operator=(const BarePackageHostScope&) = delete;

private:
    std::shared_ptr<BarePackageHost> host_;
};

} // namespace qvtest
