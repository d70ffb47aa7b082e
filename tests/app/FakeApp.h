#pragma once

#include "app/AppConfig.h"
#include "app/AppServices.h"

#include <memory>
#include <utility>
#include <vector>

namespace qvtest {

// The running application as the settings and the state file see it:
// folders, settings, identity, and a record of the timers asked for.
// Registered for the life of the object.
class FakeApp : public AppServices {
public:
    struct Timer {
        uint32_t id;
        uint32_t delayMs;
        bool operator==(const Timer&) const = default;
    };

    static std::shared_ptr<FakeApp> install(DataFs::Folders folders = {}) {
        auto app = std::make_shared<FakeApp>();
        app->folders_ = std::move(folders);
        AppServices::setInstance(app);
        return app;
    }
    ~FakeApp() override { AppServices::setInstance({}); }

    const DataFs::Folders& folders() const override { return folders_; }
    std::shared_ptr<const AppConfig> config() const override { return config_; }
    void setTimer(uint32_t id, uint32_t delayMs) override { timers.push_back({id, delayMs}); }
    const wstr& appVersion() const override { return version_; }
    const wstr& appVersionString() const override { return versionString_; }

    void setConfig(std::shared_ptr<const AppConfig> config) { config_ = std::move(config); }

    std::vector<Timer> timers;

private:
    DataFs::Folders folders_;
    std::shared_ptr<const AppConfig> config_;
    wstr version_ = L"2.24";
    wstr versionString_ = L"2.24 (0123abc)";
};

} // namespace qvtest
