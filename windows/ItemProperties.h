#pragma once

#include "catalog/CatalogItem.h"
#include "core/Wstr.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class Catalog;

// The history commands on one item of the LaunchBox (its properties, erasing
// it or its parent package from the history) and the main window's removal
// of the history's orphans. What they need of the application comes through
// the host, so tests give a fake. User-interface thread.
class ItemProperties {
public:
    class Host {
    public:
        virtual ~Host() = default;
        // The application's catalog, held for one command; null once the
        // application is gone.
        virtual std::shared_ptr<Catalog> catalog() = 0;
        // PackageManager::pluginFullNameOf and packageNameOf: the names, or
        // the formatted ids when the package is not loaded.
        virtual wstr pluginFullName(uint64_t pluginId) = 0;
        virtual wstr packageName(uint32_t packageId) = 0;
        // Shows the console, where the user reads the logged properties.
        virtual void showConsole() = 0;
        // A modal message box owned by the window that asks, captioned with
        // the product name; returns MessageBox's answer.
        virtual int messageBox(const wstr& text, uint32_t style) = 0;
    };

    explicit ItemProperties(Host& host) : host_(host) {}

    // Logs the item's properties and shows the console; nothing without an
    // item or an application.
    void showProperties(const CatalogItemPtr& item);
    // Asks, then erases the item from the history. True when it was erased:
    // the caller refreshes what it shows. Nothing is asked for an item the
    // history does not hold.
    bool eraseFromHistory(const CatalogItemPtr& item, const wstr& statusSeparator);
    // Asks, then erases every history reference to the item's package. True
    // when they were erased.
    bool eraseParentPackageFromHistory(const CatalogItemPtr& item, const wstr& statusSeparator);
    // Counts the history's orphans, tells the user when there are none, else
    // asks and removes them (the history file is written). Returns how many
    // were removed.
    std::size_t removeOrphans();

    // The texts, apart for tests.
    static wstr propertiesText(const CatalogItem& item, const wstr& pluginFullName);
    static wstr eraseItemQuestion(const CatalogItem& item, const wstr& statusSeparator);
    static wstr erasePackageQuestion(const CatalogItem& item, const wstr& statusSeparator,
                                     const wstr& packageName);
    static wstr orphansQuestion(std::size_t count);
    static const wchar_t* const noOrphanText;

private:
    Host& host_;
};
