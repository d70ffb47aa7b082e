#pragma once

#include "windows/ConsoleInterpreter.h"
#include "windows/WndAbout.h"
#include "windows/WndConsole.h"
#include "windows/WndDiag.h"

#include <functional>
#include <memory>

namespace Gui {
class Theme;
}

// The application as the console, the diagnostic window and the About box
// see it: App::instance(), the logger, the embedded interpreter, the system
// clipboard and the desktop's attention request. Each operation does
// nothing (or answers nothing) once the application is gone.
// User-interface thread.
class AppWindowHost : public WndConsole::Host, public WndDiag::Host, public WndAbout::Host {
public:
    // The About box's theme, and where to find the main window (which
    // owns the box when no other window does).
    AppWindowHost(std::shared_ptr<Gui::Theme> theme, std::function<Gui::Wnd*()> mainWindow);

    // WndConsole::Host
    std::shared_ptr<const AppConfig> config() const override;
    std::vector<Logger::ItemPtr> fetchLog(uint64_t afterId) override;
    wstr runPython(const wstr& statement) override;
    void showAbout(Gui::Wnd& owner) override;
    AppState* state() override;
    void alert(QWidget* window) override;

    // WndDiag::Host
    std::optional<PackageManager::FullStats> packageStats() override;
    Catalog::Stats catalogStats() override;
    bool portable() const override;
    DataFs::Folders folders() const override;
    std::vector<wstr> monitorLines() const override;
    bool setClipboardText(const wstr& text) override;

    // WndAbout::Host
    void openUrl(const wstr& url) override;
    Gui::Wnd* mainWindow() override;

private:
    std::shared_ptr<Gui::Theme> theme_;
    std::function<Gui::Wnd*()> mainWindow_;
    ConsoleInterpreter interpreter_;
};
