#include "app/CurrentConfig.h"

std::shared_ptr<const AppConfig> CurrentConfig::get() const {
    Mutex::Lock lock(mutex_);
    return config_;
}

std::shared_ptr<const AppConfig> CurrentConfig::load(const std::vector<wstr>& files) {
    auto config = std::make_shared<AppConfig>();
    config->load(files);
    makeCurrent(config);
    return config;
}

std::shared_ptr<const AppConfig> CurrentConfig::reload(const std::vector<wstr>& files) {
    // Loaded without the lock: readers are never held up by the files.
    std::shared_ptr<const AppConfig> config = AppConfig::reload(get(), files);
    if (config)
        makeCurrent(config);
    return config;
}

void CurrentConfig::makeCurrent(std::shared_ptr<const AppConfig> config) {
    Mutex::Lock lock(mutex_);
    config_ = std::move(config);
    config_->applyLaunchAtStartup();
}
