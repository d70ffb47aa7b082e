#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>

// What the catalog needs of the application and its package manager. The
// application implements it and installs one process-wide instance; tests
// install fakes. While none is installed (start-up, shutdown, tests without
// one) the catalog behaves as when the application is gone: no timers, no
// known plugins, no plugin names.
class CatalogHost {
public:
    virtual ~CatalogHost() = default;

    // App::setTimer: runs the App timer `id` on the user-interface thread
    // after delayMs; a pending timer is only ever moved later. Any thread.
    virtual void setTimer(uint32_t id, uint32_t delayMs) = 0;

    // PackageManager::knownIds: the ids of the loaded plugins, copied under
    // the package manager's lock; empty while that is not known (no package
    // manager). Any thread, but never while holding the catalog's lock.
    virtual std::set<uint64_t> knownIds() = 0;

    // PackageManager::pluginFullName: "package.plugin" of a loaded plugin, or
    // nothing. Any thread, but never while holding the catalog's lock.
    virtual std::optional<wstr> pluginFullName(uint64_t pluginId) = 0;

    // PackageManager::getTaskCounts: how many of the live pending tasks are
    // plugins' "catalog" (200) messages; nothing without a package manager.
    // The cache writer waits while any is pending. Any thread, but never
    // while holding the catalog's lock.
    virtual std::optional<uint64_t> pendingCatalogMessages() = 0;

    // The installed instance, or empty. Any thread.
    static std::shared_ptr<CatalogHost> instance();
    // Installs (or with an empty pointer removes) the instance. Any thread.
    static void setInstance(std::shared_ptr<CatalogHost> host);
};

// What the catalog reads of a plugin that hands it items, suggestions or
// actions (the package manager's Plugin implements it). Called on the
// plugin's pool thread, under the catalog's lock.
class CatalogPlugin {
public:
    virtual ~CatalogPlugin() = default;

    // The 64-bit plugin id: the package id in the upper 32 bits.
    virtual uint64_t id() const = 0;
    // The plugin's name, used in the catalog's warnings.
    virtual const wstr& name() const = 0;
    // True for the plugins built into the program: their catalog is not cached.
    virtual bool isInternal() const = 0;
    // Whether the plugin has been told to terminate; the catalog asks about
    // the calling thread (aboutCaller true) after each stored item.
    virtual bool shouldTerminate(bool aboutCaller) = 0;
};
