#pragma once

#include "app/MainWindowCommands.h"
#include "core/Wstr.h"

#include <QMenu>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// The tray menu: its entries and command ids, and the two package submenus
// (Configure Package, Refresh Catalog) that are rebuilt only when the
// package list changed and the menu is next shown or handed out. Choosing an
// entry calls the command handler with its id. User-interface thread only.
class TrayMenu {
public:
    enum Command : uint32_t {
        ConfigurePackage = 203, // the submenu
        Exit = 204,
        About = 205,
        Documentation = MainWindowCommands::Documentation,
        ChangeLog = MainWindowCommands::ChangeLog,
        OpenLaunchBox = 208,
        ConfigureApp = MainWindowCommands::ConfigureApp,
        BrowseProfile = MainWindowCommands::BrowseProfile,
        ClearHistory = 211,
        RemoveOrphans = 212,
        RefreshCatalog = 213, // the submenu
        RefreshAll = 214,
        ReloadConfig = 215,
        OpenConsole = 216,
        OpenDiagnostic = 217,
        // The LaunchBox's item commands and the item menu's own entries.
        ItemProperties = 230,
        RemoveItem = 231,
        RemoveParentPackage = 232,
        Shell = 233,
        TrayInItemMenu = 234,
        // Per-package entries; each range is capped so that no id reaches the
        // next range.
        FirstConfigurePackage = 301,
        LastConfigurePackage = 400,
        FirstRefreshPackage = 401,
        LastRefreshPackage = 549,
        // The item menu's shell entries.
        FirstShell = 550,
        LastShell = 699,
    };

    struct Package {
        wstr name;
        uint32_t id = 0;
    };
    // The loaded packages that carry a configuration file; nothing while
    // there is no package manager (the menu is then left as it is).
    using PackageSource = std::function<std::optional<std::vector<Package>>()>;
    using CommandHandler = std::function<void(uint32_t command)>;

    TrayMenu(PackageSource packages, CommandHandler onCommand);
    ~TrayMenu();
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    // The package list changed: rebuild before the menu is next used.
    void setDirty() { dirty_ = true; }
    bool dirty() const { return dirty_; }
    // The menu, its package submenus rebuilt when dirty.
    QMenu* menu();
    // The package of a per-package command, nothing for other ids.
    std::optional<uint32_t> packageOf(uint32_t command) const;
    // The action of a command id, null when the menu has none.
    QAction* action(uint32_t command) const;

    // The packages sorted by name without regard to case (equal names keep
    // their order).
    static std::vector<Package> sorted(std::vector<Package> packages);

private:
    QAction* addCommand(QMenu& menu, uint32_t command, const wchar_t* text);
    void rebuild(const std::vector<Package>& packages);

    PackageSource packages_;
    CommandHandler onCommand_;
    std::unique_ptr<QMenu> menu_;
    QMenu* configureMenu_ = nullptr;
    QMenu* refreshMenu_ = nullptr;
    std::map<uint32_t, uint32_t> packageIds_;
    bool dirty_ = true;
};
