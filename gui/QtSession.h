#pragma once

#include <memory>

class QApplication;

namespace Gui {

class QtMessageBox;
class UiCall;

// The Qt application of the program's user interface and the desktop
// services that go with it. Makes the QApplication with Qt's own high-DPI
// scaling off (the windows scale their sizes by the monitor's DPI
// themselves, so Qt must not scale again), then installs the clipboard,
// the screens and, when there is a display to show them on, the message
// boxes. The program's life is its own: closing its last window, or a box,
// does not end the application. On destruction the process-local stand-ins
// come back before the application object goes. User-interface thread (the
// main thread).
class QtSession {
public:
    QtSession(int& argc, char** argv);
    ~QtSession();
    QtSession(const QtSession&) = delete;
    QtSession& operator=(const QtSession&) = delete;

    // False on the platforms that show nothing (offscreen, minimal).
    static bool hasDisplay();

private:
    std::unique_ptr<QApplication> app_;
    std::shared_ptr<UiCall> ui_;
    std::shared_ptr<QtMessageBox> box_;
};

} // namespace Gui
