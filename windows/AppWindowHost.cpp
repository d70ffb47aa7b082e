#include "windows/AppWindowHost.h"

#include "app/App.h"
#include "core/SysClipboard.h"

#include <QApplication>

AppWindowHost::AppWindowHost(std::shared_ptr<Gui::Theme> theme,
                             std::function<Gui::Wnd*()> mainWindow)
    : theme_(std::move(theme)), mainWindow_(std::move(mainWindow)) {}

std::shared_ptr<const AppConfig> AppWindowHost::config() const {
    auto app = App::instance();
    return app ? app->config() : nullptr;
}

std::vector<Logger::ItemPtr> AppWindowHost::fetchLog(uint64_t afterId) {
    return Logger::fetch(afterId);
}

wstr AppWindowHost::runPython(const wstr& statement) {
    return interpreter_.run(statement);
}

void AppWindowHost::showAbout(Gui::Wnd& owner) {
    WndAbout::showModal(*this, theme_, &owner);
}

AppState* AppWindowHost::state() {
    auto app = App::instance();
    return app ? &app->state() : nullptr;
}

// One flash's worth of attention: the desktop clears the request itself.
void AppWindowHost::alert(QWidget* window) {
    QApplication::alert(window, 1000);
}

std::optional<PackageManager::FullStats> AppWindowHost::packageStats() {
    auto app = App::instance();
    auto manager = app ? app->packageManager() : nullptr;
    if (!manager)
        return std::nullopt;
    return manager->getFullStats();
}

Catalog::Stats AppWindowHost::catalogStats() {
    Catalog::Stats stats;
    if (auto app = App::instance())
        app->catalog().getStats(stats);
    return stats;
}

bool AppWindowHost::portable() const {
    auto app = App::instance();
    return app && app->portable();
}

DataFs::Folders AppWindowHost::folders() const {
    auto app = App::instance();
    return app ? app->folders() : DataFs::Folders{};
}

std::vector<wstr> AppWindowHost::monitorLines() const {
    auto app = App::instance();
    return app ? app->logMonitors() : std::vector<wstr>{};
}

bool AppWindowHost::setClipboardText(const wstr& text) {
    return Sys::setClipboardText(text);
}

void AppWindowHost::openUrl(const wstr& url) {
    App::openUrl(url, false);
}

Gui::Wnd* AppWindowHost::mainWindow() {
    return mainWindow_ ? mainWindow_() : nullptr;
}
