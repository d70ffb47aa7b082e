#pragma once

#include "gui/Wnd.h"
#include "windows/HotkeyGrabber.h"
#include "windows/ItemCommands.h"
#include "windows/ItemMenu.h"
#include "windows/MainMenus.h"
#include "windows/TrayMenu.h"

#include <QIcon>

#include <cstdint>
#include <memory>
#include <set>

class AppConfig;
class Catalog;
class QSocketNotifier;
class QSystemTrayIcon;
class QTimer;

namespace Platform {
class MountWatch;
}

// The program's hidden top-level window. It is never shown; it owns the tray
// icon and the tray menu, the global hot keys, receives the private messages
// of other starts (through the application's instance socket) and the
// desktop's broadcasts, and runs every tray-menu command. Closing it starts
// the orderly shutdown: the loop ends with 0. User-interface thread only.
class WndMain : public Gui::Wnd, public MainMenus {
public:
    // The private messages (the numbers other starts send).
    enum Msg : uint32_t {
        TrayCallback = 1025, // lParam: Gui::LButtonUp or Gui::RButtonUp
        Noop = 1500,
        Exit = 1501,
        QueryVersion = 1502,
        Show = 1510,
        Hide = 1511,
    };

    // The hot keys' ids.
    enum HotkeyId : int {
        HotkeyRun = 100,
        HotkeyPaste = 101,
        HotkeyHistory = 102,
        HotkeyConsole = 103
    };

    // What the main window asks of the other windows, which it does not own.
    class Host {
    public:
        virtual ~Host() = default;
        // mode: 0 search, 1 paste (the clipboard's text), 2 history.
        virtual void showLaunchBox(int mode) = 0;
        virtual void hideLaunchBox() = 0;
        virtual void toggleLaunchBox() = 0;
        virtual void showConsole() = 0;
        virtual void toggleConsole() = 0;
        virtual void showDiagnostic() = 0;
        // Modal, owned by owner.
        virtual void showAbout(Gui::Wnd* owner) = 0;
    };

    // Creates the window, puts the icon into the tray (or retries every
    // second until there is one) and registers the hot keys through the
    // grabber (none: no hot keys on this display). The item menu's own
    // commands go to itemCommands.
    WndMain(Host& host, ItemCommands& itemCommands, std::unique_ptr<HotkeyGrabber> grabber);
    ~WndMain() override;

    // Puts the icon into the tray: re-adds it with add, else only replaces
    // the icon (nothing when it is the current one).
    void updateTrayIcon(const QIcon& icon, bool add);
    const QIcon& normalIcon() const { return normalIcon_; }
    const QIcon& busyIcon() const { return busyIcon_; }
    const QIcon& currentIcon() const { return currentIcon_; }
    // The tray holds the icon now.
    bool trayIconDocked() const;
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }

    // Unregisters the four hot keys, then registers those the settings give
    // (the application's settings when none are given) when reg is set.
    void registerHotkeys(bool reg);
    void registerHotkeys(bool reg, const AppConfig* config);
    // A grabbed hot key was pressed; true when the id is one of ours.
    bool onHotKey(int id);

    // The package list changed: the tray menu's package submenus are rebuilt
    // when it is next used.
    void setMenuDirty() { trayMenu_.setDirty(); }
    TrayMenu& trayMenu() { return trayMenu_; }
    ItemMenu& itemMenu() { return itemMenu_; }

    // Asks, then removes the history's orphans; the confirmation boxes are
    // owned by this window.
    void removeOrphans();
    // Asks, then clears the history.
    void clearHistory(Catalog& catalog);

    // MainMenus.
    void showTrayMenu(Gui::Wnd* owner) override;
    void showItemMenu(const CatalogItemPtr& item, Gui::Wnd* owner,
                      std::optional<QPoint> at) override;

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

private:
    void onCommand(uint32_t command);
    void onMountsChanged();
    void onTrayTimer();
    void onDestroy();
    void watchDesktop();

    Host& host_;
    std::unique_ptr<HotkeyGrabber> grabber_;
    TrayMenu trayMenu_;
    ItemMenu itemMenu_;
    QIcon normalIcon_;
    QIcon busyIcon_;
    QIcon currentIcon_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QTimer> trayTimer_;
    std::unique_ptr<QObject> themeFilter_;
    std::unique_ptr<Platform::MountWatch> mounts_;
    std::unique_ptr<QSocketNotifier> mountNotifier_;
    std::unique_ptr<QObject> context_;
    bool trayAvailable_ = false;
    bool exitRequested_ = false;
    // The window goes with the windows at shutdown: the loop has ended.
    bool destroying_ = false;
};
