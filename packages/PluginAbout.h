#pragma once

#include "packages/PluginInternal.h"

#include <cstdint>
#include <vector>

// "Internal.About": fills the catalog with the program's own commands and a
// refresh and a configure item per loaded package, and carries them out:
// commands through the main window, package items through the package
// manager and the configuration editor.
class PluginAbout : public PluginInternal {
public:
    // One command item: the main window's tray command it stands for.
    struct Command {
        const wchar_t* target;
        const wchar_t* label;
        const wchar_t* shortDesc;
        uint32_t commandId;
    };
    static const std::vector<Command>& commands();
    // The first row of the target (compared exactly), null when none.
    static const Command* findCommand(const wstr& target);

    PluginAbout();

    // What each "catalog" message hands to the catalog: the command items in
    // table order, a refresh item per loaded package and a configure item per
    // package with its own settings file. Empty while the application or its
    // package manager is gone. Any thread.
    std::vector<CatalogItemPtr> items() const;

    // A command item can run while its target is in the table and the main
    // window exists to carry it out; package items always can. Any thread.
    bool canExecute(const CatalogItem& item) const override;

protected:
    // Pool worker, all three.
    void onCatalog() override;
    void onExecute(const std::vector<CatalogItemPtr>& items,
                   const CatalogActionPtr& action) override;
    void onActivated() override { onCatalog(); }

private:
    CatalogItemPtr makeItem(uint32_t category, const wstr& label, const wstr& shortDesc,
                            const wstr& target) const;
    void executeCommand(const CatalogItem& item);
    void executePackageItem(const wstr& target);
};
