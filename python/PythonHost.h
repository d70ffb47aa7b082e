#pragma once

#include "core/SettingsStore.h"
#include "files/DataFs.h"

#include <cstdint>
#include <memory>

// What the plugin API needs of the running application: its folders, its
// settings in force and its timers. The application implements it and
// registers itself for as long as it runs; tests register a stand-in.
class PythonHost {
public:
    virtual ~PythonHost() = default;

    // The folders of this run. Any thread.
    virtual const DataFs::Folders& folders() const = 0;
    // The application's settings in force, sharing the ownership of what
    // holds them; null before the first load. Any thread.
    virtual std::shared_ptr<const SettingsStore> appSettings() const = 0;
    // Runs the application's timer `id` on the user-interface thread after
    // delayMs; a pending timer is only ever moved later. Any thread.
    virtual void setTimer(uint32_t id, uint32_t delayMs) = 0;

    // The registered application, null when none runs (or it is shutting
    // down). Any thread.
    static std::shared_ptr<PythonHost> instance();
    // Registers the application (held weakly); an empty pointer unregisters.
    // User-interface thread, at start-up and shutdown.
    static void setInstance(std::weak_ptr<PythonHost> host);
};
