#pragma once

#include "app/AppState.h"
#include "core/Logger.h"
#include "core/Wstr.h"
#include "gui/CtrlEdit.h"
#include "gui/CtrlEditPadded.h"
#include "gui/WndThemed.h"
#include "windows/ConsoleCommands.h"
#include "windows/ConsoleHistory.h"
#include "windows/ConsoleLog.h"

#include <memory>
#include <optional>
#include <vector>

class AppConfig;

// The console: a read-only log box that shows the program's log records as
// they arrive, over a one-line Python prompt into the embedded interpreter.
// Created hidden; shown and hidden by the tray menu, the Console hot key and
// Esc. User-interface thread.
class WndConsole : public Gui::WndThemed, public Gui::Wnd::ParentListener {
public:
    // The log box keeps the newest lines that fit in this many characters;
    // older lines are dropped as new ones come, so that a chatty plugin
    // neither fills the memory nor slows each append down.
    static constexpr std::size_t maxLogLength = 1'000'000;

    // What the console needs of the application. Tests give a fake.
    class Host {
    public:
        virtual ~Host() = default;
        // The settings in force; null before they are loaded.
        virtual std::shared_ptr<const AppConfig> config() const = 0;
        // The log records newer than the id, oldest first.
        virtual std::vector<Logger::ItemPtr> fetchLog(uint64_t afterId) = 0;
        // Runs a Python statement in the console namespace; what it wrote.
        virtual wstr runPython(const wstr& statement) = 0;
        // The About box, owned by the window.
        virtual void showAbout(Gui::Wnd& owner) = 0;
        // Where the console's geometry is kept; null when nowhere.
        virtual AppState* state() = 0;
        // Asks the desktop to draw the user's attention to the window.
        virtual void alert(QWidget* window) = 0;
    };

    // Throws std::runtime_error "Failed to create console dialog (error {})"
    // when the window cannot be made.
    WndConsole(Host& host, std::shared_ptr<Gui::Theme> theme, Gui::Instance instance = nullptr);
    ~WndConsole() override;

    // Shows the log records newer than the last one shown.
    void appendLog();
    // Takes the theme's colours, the [console] and word-separator settings
    // and the fonts again (at creation and after a configuration reload).
    void applyTheme();
    void show(bool visible) override;

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void onFontsChanged() override;
    bool onActivate(bool active) override;
    intptr_t onChildMessage(Gui::Wnd& child, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) override;

    Gui::CtrlEdit& logBox() { return *log_; }
    Gui::CtrlEditPadded& inputBox() { return *input_; }
    const ConsoleHistory& history() const { return history_; }
    const ConsoleCommands& commands() const { return commands_; }

private:
    class GeometrySource;

    bool onKey(Gui::Wnd& child, uint32_t message, uintptr_t wParam, intptr_t lParam);
    void runInputLine();
    void browseHistory(bool older);
    // Appends to the log box, dropping the oldest lines past maxLogLength;
    // the caret follows the text when it was at the end (or always with
    // toEnd), else the user's selection stays.
    void appendToLog(const wstr& text, bool toEnd);
    void layout(QSize client);
    void placeDefault();
    // The stored placement applied: whether it is maximized; nothing when
    // it cannot be applied.
    std::optional<bool> placeStored();
    void captureGeometry(bool keepNormalRect);
    bool persistentGeometry() const;

    Host& host_;
    std::unique_ptr<Gui::CtrlEdit> log_;
    std::unique_ptr<Gui::CtrlEditPadded> input_;
    std::unique_ptr<GeometrySource> geometrySource_;
    ConsoleLog logFormat_;
    ConsoleCommands commands_;
    ConsoleHistory history_;
};
