#pragma once

#include "packages/Plugin.h"

#include <vector>

// A plugin written in the program itself, in the built-in package: its full
// name is "Internal." followed by its short name. Messages reach the
// handlers below; those a plugin does not override do nothing.
class PluginInternal : public Plugin {
public:
    explicit PluginInternal(const wstr& shortName);

    bool isInternal() const override { return true; }
    void releaseScriptObject() override {}
    // Routes "catalog", "execute" and "activated"; ignores the other kinds.
    // Pool worker.
    void dispatchEvent(const PluginMsg& msg) override;

protected:
    // Pool worker, all three.
    virtual void onCatalog() {}
    virtual void onExecute(const std::vector<CatalogItemPtr>&, const CatalogActionPtr&) {}
    virtual void onActivated() {}
};
