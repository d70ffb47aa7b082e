#pragma once

#include "app/AppWindows.h"
#include "gui/Theme.h"
#include "windows/AppWindowHost.h"
#include "windows/HotkeyGrabber.h"
#include "windows/ItemCommands.h"
#include "windows/WndMain.h"

#include <memory>

class App;
class AppLaunchBoxHost;
class ItemIcons;
class WndRun;

// The program's windows: creates them in order at start-up, owns them and
// destroys them, main window last, at the start of the shutdown. It is the
// application's way to its windows (AppWindows) and the windows' way to
// each other (WndMain::Host, ItemCommands). User-interface thread only.
class WindowSet : public AppWindows, public WndMain::Host, public ItemCommands {
public:
    // The factory that the program's entry hands the application.
    static std::unique_ptr<AppWindows> create(App& app);
    // The grabber of global hot keys for the platform Qt runs on: X11 keys,
    // one that explains why there are none in a Wayland session without X11,
    // nothing on the platforms that show nothing.
    static std::unique_ptr<HotkeyGrabber> createHotkeyGrabber();

    explicit WindowSet(App& app);
    ~WindowSet() override;

    // AppWindows.
    uint32_t onInstanceMessage(uint32_t message) override;
    void onTimer(uint32_t id) override;
    void onConfigChanged() override;
    // Posted: the command runs from the event loop as a menu's does, not
    // inside the App timers' pass (a modal box would hold the timers up).
    bool onMainWindowCommand(uint32_t command) override;

    // WndMain::Host: the tray, the hot keys and the private messages.
    void showLaunchBox(int mode) override;
    void hideLaunchBox() override;
    void toggleLaunchBox() override;
    void showConsole() override;
    void toggleConsole() override;
    void showDiagnostic() override;
    void showAbout(Gui::Wnd* owner) override;

    // ItemCommands: the item menu's properties and history commands.
    void showProperties(const CatalogItemPtr& item, Gui::Wnd* owner) override;
    bool eraseFromHistory(const CatalogItemPtr& item, EraseScope scope, Gui::Wnd* owner) override;

    WndMain& mainWindow() { return *main_; }
    WndRun& launchBox() { return *launchBox_; }

private:
    App& app_;
    std::unique_ptr<WndMain> main_;
    std::shared_ptr<Gui::Theme> theme_;
    std::unique_ptr<AppWindowHost> windowHost_;
    std::unique_ptr<WndConsole> console_;
    std::unique_ptr<WndDiag> diag_;
    // Made after the main window and destroyed before it.
    std::unique_ptr<AppLaunchBoxHost> launchBoxHost_;
    std::unique_ptr<ItemIcons> icons_;
    std::unique_ptr<WndRun> launchBox_;

    void createLaunchBox();
    void onTasksChanged(bool busy);
    // Asks and erases; true when something was erased.
    bool askToErase(const CatalogItemPtr& item, EraseScope scope, Gui::Wnd* owner);
};
