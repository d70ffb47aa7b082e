#pragma once

#include <QCoreApplication>

namespace qvtest {

// The test process's one Qt application object, made on first use on the
// main thread and kept to the end.
inline QCoreApplication& qtApp() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

} // namespace qvtest
