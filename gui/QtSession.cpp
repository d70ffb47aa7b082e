#include "gui/QtSession.h"

#include <QApplication>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/MessageBox.h"
#include "core/SysClipboard.h"
#include "core/SysDisplay.h"
#include "gui/QtClipboard.h"
#include "gui/QtDisplay.h"
#include "gui/QtMessageBox.h"
#include "gui/UiCall.h"

namespace Gui {
namespace {

// Qt reads these once, while the application object is made; the programs
// we start must see the user's values again.
class ScalingOff {
public:
    ScalingOff() {
        set("QT_ENABLE_HIGHDPI_SCALING", "0");
        set("QT_SCALE_FACTOR", nullptr);
        set("QT_SCREEN_SCALE_FACTORS", nullptr);
    }
    ~ScalingOff() {
        for (const auto& [name, value] : saved_)
            put(name, value ? value->constData() : nullptr);
    }

private:
    void set(const char* name, const char* value) {
        saved_.emplace_back(name, qEnvironmentVariableIsSet(name)
                                      ? std::optional<QByteArray>(qgetenv(name))
                                      : std::nullopt);
        put(name, value);
    }

    static void put(const char* name, const char* value) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved_;
};

std::unique_ptr<QApplication> makeApplication(int& argc, char** argv) {
    ScalingOff scalingOff;
    auto app = std::make_unique<QApplication>(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    return app;
}

} // namespace

QtSession::QtSession(int& argc, char** argv)
    : app_(makeApplication(argc, argv)), ui_(std::make_shared<UiCall>()) {
    Sys::setClipboardService(std::make_shared<QtClipboard>(ui_));
    Sys::setDisplayService(std::make_shared<QtDisplay>(ui_));
    if (!hasDisplay())
        return;
    box_ = std::make_shared<QtMessageBox>(ui_);
    MessageBox::install(box_);
}

QtSession::~QtSession() {
    MessageBox::install(nullptr);
    if (box_)
        box_->closeInformBoxes();
    Sys::setDisplayService(nullptr);
    Sys::setClipboardService(nullptr);
    ui_->detach();
}

bool QtSession::hasDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace Gui
