#pragma once

#include "app/AppWindows.h"
#include "windows/WndMain.h"

#include <memory>

class App;

// The program's windows: creates them in order at start-up, owns them and
// destroys them, main window last, at the start of the shutdown. It is the
// application's way to its windows (AppWindows) and the windows' way to
// each other (WndMain::Host). User-interface thread only.
class WindowSet : public AppWindows, public WndMain::Host {
public:
    // The factory that the program's entry hands the application.
    static std::unique_ptr<AppWindows> create(App& app);

    explicit WindowSet(App& app);
    ~WindowSet() override;

    // AppWindows.
    uint32_t onInstanceMessage(uint32_t message) override;
    void onTimer(uint32_t id) override;
    void onConfigChanged() override;

    // WndMain::Host: the tray click, the hot keys and the private messages.
    void showLaunchBox(int mode) override;
    void hideLaunchBox() override;
    void toggleLaunchBox() override;
    void toggleConsole() override;

    WndMain& mainWindow() { return *main_; }

private:
    App& app_;
    std::unique_ptr<WndMain> main_;
};
