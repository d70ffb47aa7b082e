#include "windows/WindowSet.h"

#include "app/App.h"
#include "core/Logger.h"
#include "windows/X11HotkeyGrabber.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const wchar_t* bindShowAdvice =
    L"bind \"quorvalent --show\" to a key in your desktop's own keyboard shortcuts";

// A Wayland session without X11: no program may grab keys for the whole
// desktop; the desktop's shortcuts can start "quorvalent --show" instead.
class WaylandHotkeyGrabber : public HotkeyGrabber {
public:
    std::optional<Failure> grab(int, uint32_t, uint32_t) override {
        return Failure{0, wstr(L"A Wayland session gives no program global hot keys; ") +
                              bindShowAdvice + L"."};
    }
    void release(int) override {}
    void setHandler(Handler) override {}
    bool fullScreenActive() const override { return false; }
};

bool waylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return type && std::strcmp(type, "wayland") == 0;
}

void logDebug(const wchar_t* text) {
    logMessage(Logger::Debug, text);
}

} // namespace

std::unique_ptr<AppWindows> WindowSet::create(App& app) {
    return std::make_unique<WindowSet>(app);
}

std::unique_ptr<HotkeyGrabber> WindowSet::createHotkeyGrabber() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return std::make_unique<WaylandHotkeyGrabber>();
    auto grabber = X11HotkeyGrabber::create();
    if (grabber && waylandSession())
        logMessage(Logger::Info,
                   wstr(L"Wayland session: the hot keys work only while a window of an X11 "
                        L"program has the focus; ") +
                       bindShowAdvice + L".");
    if (!grabber)
        logDebug(L"No global hot keys on this display");
    return grabber;
}

WindowSet::WindowSet(App& app) : app_(app) {
    main_ = std::make_unique<WndMain>(*this, *this, createHotkeyGrabber());
}

WindowSet::~WindowSet() = default;

uint32_t WindowSet::onInstanceMessage(uint32_t message) {
    return static_cast<uint32_t>(main_->sendMessage(message));
}

void WindowSet::onTimer(uint32_t id) {
    switch (id) {
    case App::TimerTrayMenu:
        main_->setMenuDirty();
        return;
    case App::TimerTrayBusy:
    case App::TimerTrayNormal: {
        // A timer only swaps the two icons, never one shown for another reason.
        const qint64 current = main_->currentIcon().cacheKey();
        if (current != main_->normalIcon().cacheKey() && current != main_->busyIcon().cacheKey())
            return;
        main_->updateTrayIcon(id == App::TimerTrayBusy ? main_->busyIcon() : main_->normalIcon(),
                              false);
        return;
    }
    default:
        return;
    }
}

void WindowSet::onConfigChanged() {
    main_->registerHotkeys(true);
}

void WindowSet::showLaunchBox(int mode) {
    wstr text;
    logMessage(Logger::Debug, wstr::format(text, L"Show the LaunchBox (mode {})", mode));
}

void WindowSet::hideLaunchBox() {
    logDebug(L"Hide the LaunchBox");
}

void WindowSet::toggleLaunchBox() {
    logDebug(L"Toggle the LaunchBox");
}

void WindowSet::showConsole() {
    logDebug(L"Show the console");
}

void WindowSet::toggleConsole() {
    logDebug(L"Toggle the console");
}

void WindowSet::showDiagnostic() {
    logDebug(L"Show the diagnostic window");
}

void WindowSet::showAbout(Gui::Wnd*) {
    logDebug(L"Show the About box");
}

void WindowSet::showProperties(const CatalogItemPtr&, Gui::Wnd*) {
    logDebug(L"Show the item's properties");
}

void WindowSet::eraseFromHistory(const CatalogItemPtr&, EraseScope, Gui::Wnd*) {
    logDebug(L"Erase from the history");
}
