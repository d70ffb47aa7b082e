#pragma once

#include "catalog/CatalogAction.h"
#include "catalog/CatalogHost.h"
#include "catalog/CatalogItem.h"
#include "core/Mutex.h"
#include "core/Wstr.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

class Package;
class PluginMsg;

// The program-side object of one plugin, built in or written in a scripting
// language: its identity (full name "package.class", 64-bit id, package
// revision), its obsolete state, the sequence numbers of its messages, and
// the operations through which it hands items, suggestions and actions to the
// catalog. Those operations act only on a pool thread that runs a current
// message of the plugin while its package is loaded; elsewhere they quietly
// do nothing.
class Plugin : public CatalogPlugin, public std::enable_shared_from_this<Plugin> {
public:
    // The id is 0 and the full name empty when the name is refused or the
    // application is gone. Any thread.
    explicit Plugin(const wstr& fullName);
    ~Plugin() override = default;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // --- Implemented by each kind of plugin ---------------------------------
    bool isInternal() const override = 0;
    // Drops the scripting-language object behind the plugin. Monitor thread.
    virtual void releaseScriptObject() = 0;
    // Delivers one message. Pool worker.
    virtual void dispatchEvent(const PluginMsg& msg) = 0;
    // Whether an "execute" of the item can be carried out now. A plugin that
    // cannot logs why, and the message is not sent, so that the sender does
    // not take it as done. Any thread.
    virtual bool canExecute(const CatalogItem&) const { return true; }

    // "package.class" (exactly two non-empty parts) to the plugin id: the hash
    // of the lower-cased package part in the high half, that of the class part
    // as written in the low half, each raised to 2 when 0 or 1. 0, and an
    // empty package name, for any other name. Any thread.
    static uint64_t parseFullName(const wstr& name, wstr& packageName);
    // A 32-bit name hash as ids use it: never 0 or 1.
    static uint32_t nameHash(const wstr& text);

    // Written once before the plugin is shared; any thread.
    uint64_t id() const override { return id_; }
    const wstr& name() const override { return fullName_; }
    const wstr& fullName() const { return fullName_; }
    const wstr& packageName() const { return packageName_; }
    uint32_t packageId() const { return static_cast<uint32_t>(id_ >> 32); }
    uint64_t revision() const { return revision_; }
    // Set by the creating package before the plugin is used.
    void setRevision(uint64_t revision) { revision_ = revision; }

    // This revision of the plugin's package while it is loaded, else empty.
    // Any thread.
    std::shared_ptr<Package> package() const;

    // Marks the plugin obsolete for good and every kind of message it was sent
    // non-current. Any thread.
    void markObsolete();
    bool isObsolete() const;
    // True when obsolete; with aboutCaller, also when the calling thread's
    // task should terminate. Any thread.
    bool shouldTerminate(bool aboutCaller) override;

    // --- Message sequence numbers (the package manager's) --------------------
    // Makes the kind current again and returns its next number (from 1,
    // skipping 0). Any thread.
    uint64_t nextSequence(uint32_t kind);
    // Whether a message of this kind and number is still the current one.
    bool isCurrent(uint32_t kind, uint64_t sequence) const;

    // --- Catalog changes (pool worker running one of the plugin's messages) --
    void updateCatalog(const std::vector<CatalogItemPtr>& items, bool replace);
    void setCatalog(const std::vector<CatalogItemPtr>& items) { updateCatalog(items, true); }
    void mergeCatalog(const std::vector<CatalogItemPtr>& items) { updateCatalog(items, false); }
    void setSuggestions(const std::vector<CatalogItemPtr>& items, uint32_t matchMethod,
                        uint32_t sortMethod);
    // Returns how many actions the catalog kept; 0 when refused.
    uint64_t setActions(uint32_t category, const std::vector<CatalogActionPtr>& actions);
    void clearActions(uint32_t category);
    void clearAllActions();

private:
    // Whether the calling thread may change the catalog for this plugin.
    bool mayChangeCatalog(bool needsPackage) const;

    wstr fullName_;
    uint64_t id_ = 0;
    wstr packageName_;
    uint64_t revision_ = 0;
    mutable Mutex mutex_; // guards the three below
    bool obsolete_ = false;
    std::map<uint32_t, uint64_t> sequences_;
    std::set<uint32_t> cancelledKinds_;
};

using PluginPtr = std::shared_ptr<Plugin>;
