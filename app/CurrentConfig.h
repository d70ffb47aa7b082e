#pragma once

#include "app/AppConfig.h"
#include "core/Mutex.h"

#include <memory>
#include <vector>

// The settings in force. A record never changes once it is current: a
// reload builds a new one and swaps it in under the configuration mutex, so
// a reader that took a copy keeps a consistent record for as long as it
// holds it.
class CurrentConfig {
public:
    CurrentConfig() = default;
    CurrentConfig(const CurrentConfig&) = delete;
    CurrentConfig& operator=(const CurrentConfig&) = delete;

    // The record in force; null before the first load. Any thread.
    std::shared_ptr<const AppConfig> get() const;

    // Loads the files into a new record, makes it current and applies its
    // autorun setting. Start-up, user-interface thread.
    std::shared_ptr<const AppConfig> load(const std::vector<wstr>& files);

    // Loads the files again. When they give other settings, the new record
    // becomes current, its autorun setting is applied and it is returned;
    // null when they give the same settings or could not be read completely
    // (the settings in force stay). User-interface thread.
    std::shared_ptr<const AppConfig> reload(const std::vector<wstr>& files);

private:
    void makeCurrent(std::shared_ptr<const AppConfig> config);

    mutable Mutex mutex_;
    std::shared_ptr<const AppConfig> config_;
};
