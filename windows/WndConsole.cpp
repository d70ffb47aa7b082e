#include "windows/WndConsole.h"

#include "app/App.h"
#include "app/AppConfig.h"
#include "app/ConfigValues.h"
#include "gui/Font.h"
#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"

#include <QPalette>
#include <QWidget>

#include <stdexcept>

using namespace Gui;

namespace {

constexpr int margin = 5;

QColor themeColour(const Theme& theme, uint32_t id) {
    return QColor::fromRgb(theme.colours[id]);
}

void paintBox(Wnd& box, const Theme& theme) {
    QPalette palette = box.hwnd()->palette();
    palette.setColor(QPalette::Base, themeColour(theme, Theme::Background));
    palette.setColor(QPalette::Window, themeColour(theme, Theme::Background));
    palette.setColor(QPalette::Text, themeColour(theme, Theme::Foreground));
    box.hwnd()->setPalette(palette);
}

} // namespace

// The console's window as the state file records it.
class WndConsole::GeometrySource : public AppState::ConsoleWindow {
public:
    explicit GeometrySource(WndConsole& console) : console_(console) {}
    bool isVisible() const override { return console_.isVisible(); }
    Sys::Rect rect() const override { return toSysRect(console_.hwnd()->frameGeometry()); }
    bool placement(AppState::WindowPlacement& placement) const override {
        const QWidget* widget = console_.hwnd();
        if (!widget)
            return false;
        const bool maximized = widget->isMaximized();
        placement.showCmd = maximized ? AppState::WindowPlacement::showMaximized
                                      : AppState::WindowPlacement::showNormal;
        // The window's own area, without the window manager's frame: the
        // frame is not known before the window is shown in a new run.
        placement.normalRect = toSysRect(maximized ? widget->normalGeometry() : widget->geometry());
        return true;
    }

private:
    WndConsole& console_;
};

WndConsole::WndConsole(Host& host, std::shared_ptr<Theme> theme, Instance instance)
    : WndThemed(instance, std::move(theme)), host_(host),
      geometrySource_(std::make_unique<GeometrySource>(*this)) {
    createWindowClass(instance, L"quorvalent_wndcls_console")->createWindow(*this, new QWidget);
    if (!exists())
        throw std::runtime_error("Failed to create console dialog (error 87)");
    setText(L"Console - " + App::appTitle());
    hwnd()->setGeometry(0, 0, 100, 100);
    log_ = std::make_unique<CtrlEdit>(*this, this, CtrlEdit::EditMultiline);
    log_->setReadOnly(true);
    input_ = std::make_unique<CtrlEditPadded>(*this, this, 0, 2, 2);
    if (auto config = host_.config())
        commands_.setAliases(config->aliases);
    applyTheme();
    placeDefault();
}

WndConsole::~WndConsole() {
    // The boxes' widgets are children of the window's: they go first.
    input_.reset();
    log_.reset();
}

void WndConsole::appendLog() {
    const ConsoleLog::Batch batch = logFormat_.format(host_.fetchLog(logFormat_.lastId()));
    if (batch.records == 0)
        return;
    appendToLog(batch.text, false);
    if (logFormat_.shouldFlash(batch, isVisible()))
        host_.alert(hwnd());
}

void WndConsole::applyTheme() {
    if (auto config = host_.config()) {
        logFormat_.setShowTimePrefix(config->showTimePrefix);
        logFormat_.setFlashLevel(config->flashOn);
        log_->setWordDelimiters(config->wordSeparators);
        input_->setWordDelimiters(config->wordSeparators);
    }
    paintBox(*this, *theme());
    paintBox(*log_, *theme());
    paintBox(*input_, *theme());
    rebuildFonts();
    onFontsChanged();
    invalidate(nullptr, true);
}

void WndConsole::show(bool visible) {
    if (!exists())
        return;
    if (!visible) {
        captureGeometry(false);
        WndThemed::show(false);
        return;
    }
    AppState* state = host_.state();
    const bool persistent = persistentGeometry() && state;
    std::optional<bool> maximized;
    if (persistent && !state->consoleStates.empty())
        maximized = placeStored();
    if (!maximized)
        placeDefault();
    WndThemed::show(true);
    if (maximized.value_or(false))
        hwnd()->showMaximized();
    if (persistent && !maximized)
        captureGeometry(false);
}

intptr_t WndConsole::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case Size:
        layout(unpackSize(lParam));
        if (isVisible())
            captureGeometry(false);
        return messageResult(0);
    case Move:
        if (isVisible())
            captureGeometry(false);
        break;
    case Sizing:
    case ExitSizeMove:
        captureGeometry(true);
        break;
    default:
        break;
    }
    return WndThemed::wndProc(message, wParam, lParam);
}

void WndConsole::onFontsChanged() {
    const std::shared_ptr<Font> font = createThemeFont(Theme::Mono);
    if (!font || !font->handle())
        return;
    log_->setFont(*font->handle(), true);
    input_->setFont(*font->handle(), true);
    layout(hwnd()->size());
}

bool WndConsole::onActivate(bool active) {
    if (active) {
        log_->moveCaretToEnd();
        input_->setFocus();
    }
    return WndThemed::onActivate(active);
}

intptr_t WndConsole::onChildMessage(Wnd& child, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
    if ((message == KeyDown || message == Char) && onKey(child, message, wParam, lParam))
        return 0;
    return child.wndProc(message, wParam, lParam);
}

bool WndConsole::onKey(Wnd& child, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const bool inInput = &child == input_.get();
    if (message == Char) {
        if (wParam != VkEscape)
            return false;
        show(false);
        return true;
    }
    switch (wParam) {
    case VkTab:
        if (!inInput)
            input_->setFocus();
        else if (lParam & ModCtrl)
            log_->setFocus();
        return true;
    case VkReturn:
        if (inInput)
            runInputLine();
        return true;
    case VkUp:
    case VkDown:
        if (!inInput)
            return false;
        browseHistory(wParam == VkUp);
        return true;
    case VkF1:
        host_.showAbout(*this);
        return true;
    default:
        return false;
    }
}

void WndConsole::runInputLine() {
    const wstr text = wstr::trimCopy(input_->getText());
    history_.add(text);
    history_.endBrowsing();
    input_->clear();
    const ConsoleCommands::Outcome outcome = commands_.apply(text);
    if (outcome.consumed) {
        appendToLog(outcome.output, true);
        return;
    }
    appendToLog(L">>> " + outcome.line + L"\n", true);
    if (outcome.line.empty())
        return;
    const wstr output = host_.runPython(outcome.line);
    if (!output.empty())
        appendToLog(ConsoleLog::normalise(output), true);
}

void WndConsole::browseHistory(bool older) {
    const wstr input = input_->getText();
    const std::optional<wstr> text = older ? history_.older(input) : history_.newer(input);
    if (text)
        input_->setText(*text);
}

void WndConsole::appendToLog(const wstr& text, bool toEnd) {
    if (text.empty())
        return;
    const bool follow = toEnd || log_->isCaretAtEnd();
    log_->appendText(text, nullptr);
    log_->dropLeadingLines(maxLogLength);
    if (follow)
        log_->moveCaretToEnd();
    log_->scrollToCaret();
}

void WndConsole::layout(QSize client) {
    if (!log_ || !input_)
        return;
    const int mx = scaleX(margin);
    const int my = scaleY(margin);
    const std::shared_ptr<Font> font = createThemeFont(Theme::Mono);
    const int inputHeight = (font ? font->height() : 0) + 4;
    const int width = std::max(client.width() - 2 * mx, 0);
    const int inputTop = client.height() - my - inputHeight;
    input_->hwnd()->setGeometry(mx, inputTop, width, inputHeight);
    log_->hwnd()->setGeometry(mx, my, width, std::max(inputTop - my - my, 0));
}

// Two thirds of the work area the geometry setting names, centred in it.
void WndConsole::placeDefault() {
    GeometrySetting setting;
    if (auto config = host_.config())
        setting = config->consoleGeometry;
    const Sys::Rect area = geometryWorkArea(setting).area;
    const int areaWidth = area.right - area.left;
    const int areaHeight = area.bottom - area.top;
    int width = areaWidth * 2 / 3;
    int height = areaHeight * 2 / 3;
    int x = area.left + (areaWidth - width) / 2;
    int y = area.top + (areaHeight - height) / 2;
    if (width < minWidth()) {
        width = minWidth();
        x = 0;
    }
    if (height < minHeight()) {
        height = minHeight();
        y = 0;
    }
    hwnd()->move(x, y);
    hwnd()->resize(width, height);
}

std::optional<bool> WndConsole::placeStored() {
    const AppState::WindowPlacement placement =
        host_.state()->applyConsoleGeometry(minWidth(), minHeight());
    const QRect rect = toQRect(placement.normalRect);
    if (rect.width() <= 0 || rect.height() <= 0)
        return std::nullopt;
    hwnd()->setGeometry(rect);
    return placement.showCmd == AppState::WindowPlacement::showMaximized;
}

void WndConsole::captureGeometry(bool keepNormalRect) {
    if (AppState* state = host_.state(); state && persistentGeometry())
        state->captureConsoleGeometry(*geometrySource_, keepNormalRect);
}

bool WndConsole::persistentGeometry() const {
    auto config = host_.config();
    return config && config->consoleGeometry.mode == GeometrySetting::Persistent;
}
