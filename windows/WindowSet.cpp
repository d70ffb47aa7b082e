#include "windows/WindowSet.h"

#include "app/App.h"
#include "app/AppConfig.h"
#include "core/Logger.h"
#include "gui/Theme.h"
#include "gui/WndMessage.h"
#include "windows/AppItemHost.h"
#include "windows/AppLaunchBoxHost.h"
#include "windows/ImageManagerIcons.h"
#include "windows/ItemProperties.h"
#include "windows/WndRun.h"
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
    theme_ = std::make_shared<Gui::Theme>();
    auto config = app_.config();
    theme_->initialize(main_->hwnd(), config ? config->themeSettings : std::map<wstr, wstr>{},
                       config ? config->themeOrigins : std::map<wstr, wstr>{});
    windowHost_ = std::make_unique<AppWindowHost>(theme_, [this] { return main_.get(); });
    // The console starts with the records the logger still keeps.
    console_ = std::make_unique<WndConsole>(*windowHost_, theme_);
    console_->appendLog();
    app_.setLogRecordsHandler([this] { console_->appendLog(); });
    diag_ = std::make_unique<WndDiag>(*windowHost_, theme_);
    createLaunchBox();
}

WindowSet::~WindowSet() {
    app_.setLogRecordsHandler({});
    launchBox_.reset();
}

void WindowSet::createLaunchBox() {
    launchBoxHost_ = std::make_unique<AppLaunchBoxHost>(app_, main_.get());
    auto& hooks = launchBoxHost_->hooks();
    hooks.postMainCommand = [this](uint32_t id) { main_->postMessage(Gui::Command, id); };
    hooks.showAbout = [this] { showAbout(launchBox_.get()); };
    hooks.showItemProperties = [this](const CatalogItemPtr& item) {
        showProperties(item, launchBox_.get());
    };
    // Ctrl+Delete: the LaunchBox refreshes its list itself.
    hooks.eraseFromHistory = [this](const CatalogItemPtr& item, Gui::Wnd& owner) {
        return askToErase(item, EraseItem, &owner);
    };
    if (auto images = app_.imageManager())
        icons_ = std::make_unique<ImageManagerIcons>(images);
    else
        icons_ = std::make_unique<NoItemIcons>();
    launchBox_ = std::make_unique<WndRun>(nullptr, theme_, *launchBoxHost_, *icons_);
}

uint32_t WindowSet::onInstanceMessage(uint32_t message) {
    return static_cast<uint32_t>(main_->sendMessage(message));
}

void WindowSet::onTimer(uint32_t id) {
    switch (id) {
    case App::TimerTrayMenu:
        main_->setMenuDirty();
        return;
    case App::TimerTrayBusy:
    case App::TimerTrayNormal:
        onTasksChanged(id == App::TimerTrayBusy);
        return;
    case App::TimerSearch:
        if (launchBox_->isVisible())
            launchBox_->runSearch(nullptr);
        return;
    case App::TimerActions:
        launchBox_->onActionsChanged();
        return;
    case App::TimerIcons:
        launchBox_->onIconsChanged();
        return;
    default:
        return;
    }
}

// Plugin tasks started or all ended: the tray icon says so, and so does the
// LaunchBox's count of workers.
void WindowSet::onTasksChanged(bool busy) {
    launchBox_->updateStatus();
    // A timer only swaps the two icons, never one shown for another reason.
    const qint64 current = main_->currentIcon().cacheKey();
    if (current != main_->normalIcon().cacheKey() && current != main_->busyIcon().cacheKey())
        return;
    main_->updateTrayIcon(busy ? main_->busyIcon() : main_->normalIcon(), false);
}

void WindowSet::onConfigChanged() {
    main_->registerHotkeys(true);
    auto config = app_.config();
    theme_->initialize(main_->hwnd(), config ? config->themeSettings : std::map<wstr, wstr>{},
                       config ? config->themeOrigins : std::map<wstr, wstr>{});
    console_->applyTheme();
    diag_->applyTheme();
    launchBox_->applyTheme();
}

bool WindowSet::onMainWindowCommand(uint32_t command) {
    return main_->postMessage(Gui::Command, command);
}

void WindowSet::showLaunchBox(int mode) {
    launchBox_->showMode(true, static_cast<uint32_t>(mode));
}

void WindowSet::hideLaunchBox() {
    launchBox_->show(false);
}

void WindowSet::toggleLaunchBox() {
    launchBox_->toggle();
}

void WindowSet::showConsole() {
    console_->show(true);
}

void WindowSet::toggleConsole() {
    console_->toggle();
}

void WindowSet::showDiagnostic() {
    diag_->show(true);
}

void WindowSet::showAbout(Gui::Wnd* owner) {
    WndAbout::showModal(*windowHost_, theme_, owner);
}

void WindowSet::showProperties(const CatalogItemPtr& item, Gui::Wnd* owner) {
    AppItemHost host(owner ? *owner : *main_, [this] { showConsole(); });
    ItemProperties(host).showProperties(item);
}

// The item menu: what the LaunchBox lists changes with the history.
bool WindowSet::eraseFromHistory(const CatalogItemPtr& item, EraseScope scope, Gui::Wnd* owner) {
    if (!askToErase(item, scope, owner))
        return false;
    if (launchBox_ && launchBox_->isVisible())
        launchBox_->onHistoryErased();
    return true;
}

bool WindowSet::askToErase(const CatalogItemPtr& item, EraseScope scope, Gui::Wnd* owner) {
    AppItemHost host(owner ? *owner : *main_, [this] { showConsole(); });
    ItemProperties commands(host);
    const wstr separator = launchBox_ ? launchBox_->statusSeparator() : wstr();
    if (scope == ErasePackage)
        return commands.eraseParentPackageFromHistory(item, separator);
    return commands.eraseFromHistory(item, separator);
}
