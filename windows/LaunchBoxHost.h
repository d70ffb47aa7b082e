#pragma once

#include "app/AppConfig.h"
#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "catalog/CatalogResults.h"
#include "core/SysDisplay.h"
#include "packages/PluginMsg.h"

#include <QPoint>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class MainMenus;
class QWidget;

namespace Gui {
class Wnd;
}

// What the LaunchBox asks of the application: the settings, the catalog,
// the package manager's messages, the clipboard, the stored window geometry
// and the main window's menus and commands. The application's implementation
// is AppLaunchBoxHost; tests give a fake. Every call comes from the
// user-interface thread.
class LaunchBoxHost {
public:
    virtual ~LaunchBoxHost() = default;

    // The settings in force; null during shutdown.
    virtual std::shared_ptr<const AppConfig> config() = 0;
    // False before the package manager exists and once it is released.
    virtual bool hasPackageManager() = 0;

    // --- Catalog ---------------------------------------------------------------
    // Fills the results for the text and chain item, best first (the first
    // orderedCount in their place), under the catalog's lock.
    virtual void search(const std::shared_ptr<CatalogResults>& results, const wstr& text,
                        const CatalogItemPtr& chainItem, std::size_t orderedCount) = 0;
    // Fills the results from the history under the catalog's lock; the
    // number of entries.
    virtual std::size_t historyResults(CatalogResults& results) = 0;
    virtual std::size_t countItemActions(const CatalogItemPtr& item) = 0;
    // Appends the item's actions; the row to select among them.
    virtual std::size_t getItemActions(const CatalogItemPtr& item,
                                       std::vector<CatalogActionPtr>& actions) = 0;
    // Records a hit and writes the history file.
    virtual bool recordHit(const CatalogItemPtr& item, const CatalogActionPtr& action) = 0;
    virtual void addSearchTerms(const wstr& text, const CatalogItemPtr& item) = 0;
    virtual wstr historyTerms(const CatalogItemPtr& item) = 0;
    // Ctrl+Delete: asks and erases the item from the history (the dialogue
    // belongs to another part of the program); true when it was erased.
    virtual bool eraseFromHistory(const CatalogItemPtr& item, Gui::Wnd& owner) = 0;
    virtual void clearSuggestions() = 0;
    virtual std::size_t catalogItemCount() = 0;

    // --- Package manager ---------------------------------------------------------
    // True when the message was queued for a live plugin.
    virtual bool sendMessage(uint64_t pluginId, uint32_t kind, const PluginMsg::Data& data) = 0;
    virtual void broadcastMessage(uint32_t kind, const PluginMsg::Data& data) = 0;
    virtual void cancelMessages(uint32_t kind) = 0;
    // Plugin tasks running or pending.
    virtual uint64_t activeTasks() = 0;
    virtual std::size_t packageCount() = 0;
    virtual wstr packageName(uint32_t packageId) = 0;

    // --- Desktop -------------------------------------------------------------------
    virtual wstr clipboardText() = 0;
    // The stored LaunchBox rectangle for the current monitors, if any.
    virtual std::optional<Sys::Rect> storedGeometry() = 0;
    // Records the rectangle when the geometry setting is persistent.
    virtual void captureGeometry(const Sys::Rect& rect) = 0;

    // --- Main window and the windows of other parts ------------------------------
    // Posts a main-window command (216 console, 217 diagnostics, 214 refresh).
    virtual void postMainCommand(uint32_t id) = 0;
    virtual void showAbout() = 0;
    virtual void showTrayMenu(Gui::Wnd& owner) = 0;
    virtual void showItemMenu(const CatalogItemPtr& item, Gui::Wnd& owner, QPoint at) = 0;
    // Alt+Enter; the properties window belongs to another part of the program.
    virtual void showItemProperties(const CatalogItemPtr& item) = 0;
    // The main window's menus, for the satellite's right click; null while
    // there is no main window.
    virtual MainMenus* mainMenus() = 0;
};
