#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <memory>

// One thing a plugin (or the application itself, plugin id appPluginId) can do
// with items of a category. An action whose id is 0 is unusable and dropped by
// every caller. Shared object; changed only under the catalog's lock.
class CatalogAction {
public:
    // The plugin id of the application's own actions (package 1, "App").
    static constexpr uint64_t appPluginId = 0x100000001ull;

    // Cleans label and short description and normalises the name. A name
    // that normalising changes, or an empty label, is logged as a warning and
    // leaves the id 0; so does plugin id 0, silently. Any thread; may ask the
    // package manager for the plugin's name, so never under the catalog's lock.
    CatalogAction(uint64_t pluginId, const wstr& name, const wstr& label, const wstr& shortDesc,
                  const wstr& dataBag);
    virtual ~CatalogAction() = default;
    CatalogAction(const CatalogAction&) = delete;
    CatalogAction& operator=(const CatalogAction&) = delete;

    // Copies label, short description and data bag where they differ (empty
    // values too); false for the same object or another id.
    bool merge(const CatalogAction& other);
    // -1, 0 or 1 by label and short description (without case), then name.
    static int compare(const CatalogAction& a, const CatalogAction& b);

    uint64_t id() const { return id_; }
    uint64_t pluginId() const { return pluginId_; }
    const wstr& name() const { return name_; }
    const wstr& label() const { return label_; }
    const wstr& shortDesc() const { return shortDesc_; }
    const wstr& dataBag() const { return dataBag_; }
    bool isValid() const { return id_ != 0; }
    bool isAppOwned() const { return pluginId_ == appPluginId; }

private:
    uint64_t id_ = 0;
    uint64_t pluginId_;
    wstr name_;
    wstr label_;
    wstr shortDesc_;
    wstr dataBag_;
};

using CatalogActionPtr = std::shared_ptr<CatalogAction>;

// Keeps printable characters, each lower-cased on its own, and spaces or tabs
// after the first kept character (as a space); drops other characters and
// trims the end. A valid action name is its own normal form.
wstr normalizeActionName(const wstr& name);
