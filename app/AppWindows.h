#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class App;

// The program's windows as the application reaches them. The windows build
// on the application (windows/ sits above app/), so the application knows
// them only through this interface: the program's entry passes a factory,
// and init() calls it once the settings, the package manager and the state
// file exist. An application without a factory (the tests of app/) runs
// without windows. The object is destroyed first in shutdown(), while every
// service the windows use still runs. User-interface thread only.
class AppWindows {
public:
    // Makes the windows (the QApplication exists by then); throws when the
    // main window cannot be created.
    using Factory = std::function<std::unique_ptr<AppWindows>(App& app)>;

    virtual ~AppWindows() = default;

    // A private message of another start: 1500 (nothing), 1501 (exit: the
    // main window is closed once, which ends the loop with 0), 1502 (the
    // version number), 1510 and 1511 (show or hide the LaunchBox). Returns
    // the answer. Stop signals come the same way as 1501.
    virtual uint32_t onInstanceMessage(uint32_t message) = 0;

    // An App timer that belongs to the windows came due: 5 (tray menu),
    // 6 and 7 (tray icon busy or normal), 8 (search), 9 (actions),
    // 10 (icons), 12 (activate), 13 (monitors changed).
    virtual void onTimer(uint32_t id) = 0;

    // The application settings changed (after every reload that changed
    // them), or the user asked for a reload (tray "Reload Configuration"):
    // hot keys and whatever the windows copy from the settings.
    virtual void onConfigChanged() = 0;

    // A tray-menu command that another thread handed to the main window
    // (App::postMainWindowCommand): the main window carries it out as its
    // menu does. False when there was no main window to take it.
    virtual bool onMainWindowCommand(uint32_t command) = 0;
};
