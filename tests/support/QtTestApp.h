#pragma once

#include <QApplication>

namespace qvtest {

// The test process's one Qt application object, made on first use on the
// main thread and kept to the end. Widgets render on Qt's offscreen
// platform unless the test run names another one (the display tests run
// under Xvfb with xcb).
inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "qv_test";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace qvtest
