#pragma once

#include "core/Mutex.h"
#include "core/SettingsStore.h"
#include "core/Wstr.h"
#include "files/VDir.h"
#include "packages/PackageIcon.h"
#include "packages/PluginMsg.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Plugin;

// The base of the two kinds of package: the built-in one and packages of
// script plugins in folders or archives. A package owns its plugins and its
// settings (default INI text inside the package, then the user's files) and
// answers resource requests on package-relative names ('/' separated).
//
// The package's lock guards its flags, settings, icons and plugin map; it is
// never held while script code runs or while the catalog's lock is taken.
class Package : public std::enable_shared_from_this<Package> {
public:
    // The largest resource or settings file read.
    static constexpr uint64_t maxResourceSize = 16777216;

    // The outcome of readTextResource: a VDir::ReadResult status, or
    // decodeFailed with the reason in `error`; `text` is UTF-8.
    struct TextResult {
        static constexpr uint32_t decodeFailed = 4;
        uint32_t status = VDir::ReadResult::NoSuchFile;
        std::string text;
        wstr error;
    };

    // Any thread.
    Package(const wstr& name, uint64_t revision);
    // Unloads the plugins and forgets the icons.
    virtual ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    // The lower-cased name's hash, raised to 2 when 0 or 1. Any thread.
    static uint32_t idOf(const wstr& name);

    // --- Implemented by each kind of package (any thread) --------------------
    virtual bool isInternal() const = 0;
    // The stored name of a resource, empty when absent; without a case flag
    // each layer follows its own rule.
    virtual wstr findResource(const wstr& name, bool caseSensitive) = 0;
    virtual wstr findResource(const wstr& name) = 0;
    virtual std::vector<wstr> findResources(const wstr& pattern, bool recursive,
                                            bool caseSensitive) = 0;
    virtual std::vector<wstr> findResources(const wstr& pattern, bool recursive) = 0;
    // One record per layer that holds the name (existingOnly false: every
    // layer's answer).
    virtual std::vector<VDir::EntryInfo> resourceInfo(const wstr& name, bool existingOnly) = 0;
    // Reads a resource from the given layer, or with layer -1 from the first
    // that has it.
    virtual VDir::ReadResult readResource(const wstr& name, uint64_t limit, int layer) = 0;
    // Creates the plugins; false when the package cannot be used. Packages
    // monitor thread, without the manager's lock.
    virtual bool load() = 0;

    // readResource, then the bytes decoded as text (byte-order mark detection).
    TextResult readTextResource(const wstr& name, uint64_t limit, int layer);

    // Written once at construction; any thread.
    const wstr& name() const { return name_; }
    uint32_t id() const { return id_; }
    uint64_t revision() const { return revision_; }

    // --- State (any thread) ---------------------------------------------------
    bool isUnloaded() const;
    // Set by the package manager when it unloads the package: marks the
    // package unloaded and its plugins obsolete. Never undone.
    void markUnloaded();
    // True when unloaded; with aboutCaller, also when the calling thread's
    // task should terminate.
    bool shouldTerminate(bool aboutCaller);

    // --- Plugins (any thread) -------------------------------------------------
    std::shared_ptr<Plugin> findPlugin(uint64_t pluginId) const;
    // A copy, in id order.
    std::vector<std::shared_ptr<Plugin>> plugins() const;
    // Creates one message per plugin, in id order, and queues each with the
    // package manager. Nothing while the application is gone.
    void postMessage(uint32_t kind, const PluginMsg::Data& data);
    // Makes every plugin obsolete, drops them and clears their items, actions
    // and suggestions from the catalog. Without the manager's lock.
    void unloadPlugins();

    // --- Settings (any thread) ------------------------------------------------
    bool settingsLoaded() const;
    // Reads the settings; true when they changed. Without force, settings
    // already loaded are kept and false is returned at once. Takes the GIL
    // and never holds the package's lock meanwhile.
    bool loadSettings(bool force);
    // Empties the settings so that the next use reads them again.
    void invalidateSettings();
    // These load the settings first when they are not loaded and the
    // package is not unloaded.
    std::vector<wstr> settingsSections();
    std::vector<wstr> settingsKeys(const wstr& section);
    bool settingsGet(const wstr& section, const wstr& key, wstr& value);

    // --- Icons (any thread) ---------------------------------------------------
    // The icon of these sources: the one registered under its handle already,
    // else the new one, registered (unless no source was usable).
    std::shared_ptr<PackageIcon> loadIcon(const std::vector<wstr>& sources);
    // The registered icon; empty for 0 or a handle of another package.
    std::shared_ptr<PackageIcon> findIcon(uint64_t handle) const;
    // For the image manager: a plugin's default icon, else (with useHandle)
    // the icon registered under the handle; nothing for another package's
    // plugin.
    std::shared_ptr<PackageIcon> getIcon(uint64_t pluginId, bool useHandle, uint64_t handle) const;
    // Unregisters the icon; false for 0, another package's handle or an icon
    // not registered.
    bool freeIcon(uint64_t handle);
    // Makes a registered icon the plugin's default one; handle 0 removes it.
    // Anything else is ignored.
    void setDefaultIcon(uint64_t pluginId, uint64_t handle);
    // Registers the resource named after the package with the extension
    // ".ico" (found without case), when there is one.
    void loadDefaultIcon();

protected:
    // Stores a plugin made by load under its id, replacing (and releasing) one
    // of the same id.
    void addPlugin(const std::shared_ptr<Plugin>& plugin);

private:
    struct SettingsTexts;
    SettingsTexts readSettingsTexts();
    void ensureSettings();

    const wstr name_;
    const uint32_t id_;
    const uint64_t revision_;
    mutable Mutex mutex_; // guards everything below
    bool unloaded_ = false;
    SettingsStore settings_;
    bool settingsLoaded_ = false;
    std::map<uint64_t, std::shared_ptr<PackageIcon>> icons_;
    std::map<uint64_t, uint64_t> defaultIcons_; // plugin id -> icon handle
    std::map<uint64_t, std::shared_ptr<Plugin>> plugins_;
};

using PackagePtr = std::shared_ptr<Package>;
