#pragma once

#include <cstdint>
#include <memory>

#include "core/Wstr.h"
#include "files/DataFs.h"

class AppConfig;

// What the settings and the state file need of the running application: its
// folders, its current settings, its identity and its timers. The
// application implements it and registers itself for as long as it runs;
// tests register a stand-in.
class AppServices {
public:
    virtual ~AppServices() = default;

    // The folders of this run. Any thread.
    virtual const DataFs::Folders& folders() const = 0;
    // The settings in force; null before the first load. Any thread.
    virtual std::shared_ptr<const AppConfig> config() const = 0;
    // Runs the timer's work on the user-interface thread after delayMs; a
    // pending timer is only ever pushed later. Any thread.
    virtual void setTimer(uint32_t id, uint32_t delayMs) = 0;
    // "2.24" and "2.24 (<revision>)". Any thread.
    virtual const wstr& appVersion() const = 0;
    virtual const wstr& appVersionString() const = 0;

    // The registered application, null when none runs (or it is shutting
    // down). Any thread.
    static std::shared_ptr<AppServices> instance();
    // Registers the application (held weakly); an empty pointer unregisters.
    // User-interface thread, at start-up and shutdown.
    static void setInstance(std::weak_ptr<AppServices> app);
};
