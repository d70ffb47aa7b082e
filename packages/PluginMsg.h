#pragma once

#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "core/Wstr.h"
#include "packages/PackageTask.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One message of one kind to one plugin, queued by the package manager and
// run as a package task on a pool worker, where the plugin's dispatchEvent
// receives it.
class PluginMsg : public PackageTask {
public:
    enum Kind : uint32_t {
        kindStart = 150,
        kindCatalog = 200,
        kindSuggest = 210,
        kindExecute = 220,
        kindActivated = 300,
        kindDeactivated = 301,
        kindEvents = 400,
    };

    // The flag word of an "events" message; merged messages OR their words.
    enum EventFlags : uint32_t {
        appConfigChanged = 1,
        packageConfigChanged = 2,
        environmentChanged = 256,
        deviceChanged = 512,
        internetSettingsChanged = 1024,
        desktopChanged = 4096,
        startMenuChanged = 8192,
    };

    // One row of the kind table.
    struct KindInfo {
        uint32_t id;
        std::string name;
        bool carriesData;
    };
    // The table, in kind order.
    static const std::vector<KindInfo>& kinds();
    // The name of a kind; the static empty name for a kind not in the table.
    static const std::string& kindName(uint32_t kind);

    // What a message carries, read by kind: "events" its flags, "suggest"
    // the text and the search chain, "execute" the item and the action.
    struct Data {
        uint32_t flags = 0;
        wstr text;
        std::vector<CatalogItemPtr> items;
        CatalogItemPtr item;
        CatalogActionPtr action;

        static Data none() { return {}; }
        static Data eventFlags(uint32_t flags) { return {flags, {}, {}, {}, {}}; }
        static Data suggestion(const wstr& text, const std::vector<CatalogItemPtr>& chain) {
            return {0, text, chain, {}, {}};
        }
        static Data execution(const CatalogItemPtr& item, const CatalogActionPtr& action) {
            return {0, {}, {}, item, action};
        }
    };

    // A new message due at once, or empty when the plugin or the package is
    // missing or the package is unloaded. Any thread.
    static std::shared_ptr<PluginMsg> create(const std::shared_ptr<Package>& package,
                                             const std::shared_ptr<Plugin>& plugin, uint32_t kind,
                                             const Data& data);

    // A refused message keeps kind 0 (see isValid): plugin id 0, a kind not in
    // the table, "execute" without an item, "suggest" while the application
    // is gone. Any thread.
    PluginMsg(const std::shared_ptr<Package>& package, const std::shared_ptr<Plugin>& plugin,
              uint32_t kind, const Data& data, uint32_t delayMs);

    // The method the message calls, as the log names it:
    // "<package>.<class>.on_<kind> (instance #<revision>)".
    std::string describe() const override;
    bool isValid() const override;
    // Absorbs a newer equal message (same plugin and kind): "suggest" takes
    // its text and chain, "events" ORs its flags, "execute" only with the
    // same item, arguments and action. The schedule moves to the earlier.
    bool merge(PackageTask& other) override;
    // The conflict rule between two messages of one plugin.
    bool mustWaitFor(const PackageTask& running) const override;
    bool isSameAs(const PackageTask& other) const override;
    // Hands the message to the plugin unless it should terminate; "catalog"
    // runs in the background scheduling class. Worker thread.
    void execute() override;

    uint64_t pluginId() const { return pluginId_; }
    uint32_t kind() const { return kind_; }
    const std::string& kindName() const { return *kindName_; }
    // Set by the manager under its lock when the message is queued.
    uint64_t sequence() const { return sequence_; }
    void setSequence(uint64_t sequence) { sequence_ = sequence; }
    uint32_t flags() const { return flags_; }
    const wstr& text() const { return text_; }
    const std::vector<CatalogItemPtr>& items() const { return items_; }
    const CatalogActionPtr& action() const { return action_; }

private:
    bool mergeExecution(const PluginMsg& other) const;

    uint64_t pluginId_ = 0;
    uint32_t kind_ = 0;
    const std::string* kindName_;
    uint64_t sequence_ = 0;
    uint32_t flags_ = 0;
    wstr text_;
    std::vector<CatalogItemPtr> items_;
    CatalogActionPtr action_;
};

using PluginMsgPtr = std::shared_ptr<PluginMsg>;

// The key strings of package icon sources and of the About plugin's
// per-package items (the trailing blank is part of the last two).
namespace PackageKeys {
const wstr& iconSchemeResource(); // "res"
const wstr& iconSchemeCache();    // "cache"
const wstr& packConfigPrefix();   // "pack_config "
const wstr& packRefreshPrefix();  // "pack_refresh "
} // namespace PackageKeys

// A 32-bit package or plugin half as shown: "None" for 0, "App" for 1, else
// "{:#08x}". Any thread.
wstr formatPluginId(uint32_t id);
// A 64-bit plugin id: "None", "App" for 0x100000001, else both halves joined
// by a dot. Any thread.
wstr formatFullId(uint64_t id);
