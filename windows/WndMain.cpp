#include "windows/WndMain.h"

#include "app/App.h"
#include "core/Logger.h"
#include "core/MessageBox.h"
#include "gui/ImageManager.h"
#include "gui/QtText.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "packages/PackageManager.h"
#include "platform/MountWatch.h"
#include "platform/ThreadSanitizer.h"
#include "windows/AppItemHost.h"
#include "windows/ItemProperties.h"
#include "windows/ModalBox.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

constexpr int appIconId = 101;
constexpr int trayRetryMs = 1000;

// The hot keys in registration order.
struct HotkeySlot {
    const wchar_t* name;
    int id;
    Hotkey AppConfig::*setting;
};
constexpr HotkeySlot hotkeySlots[] = {
    {L"Run", WndMain::HotkeyRun, &AppConfig::hotkeyRun},
    {L"Paste", WndMain::HotkeyPaste, &AppConfig::hotkeyPaste},
    {L"History", WndMain::HotkeyHistory, &AppConfig::hotkeyHistory},
    {L"Console", WndMain::HotkeyConsole, &AppConfig::hotkeyConsole},
};

void warnWithBox(const wstr& text) {
    logMessage(Logger::Warning, MessageBox::MB_ICONWARNING, nullptr, 0, text);
}

// The loaded packages that carry a configuration file; nothing without a
// package manager.
std::optional<std::vector<TrayMenu::Package>> configurablePackages() {
    auto app = App::instance();
    auto manager = app ? app->packageManager() : nullptr;
    if (!manager)
        return std::nullopt;
    std::vector<TrayMenu::Package> packages;
    for (const auto& entry : manager->listPackages(true))
        packages.push_back({entry.name, entry.id});
    return packages;
}

// The tray's icon size.
int smallIconSize() {
    return QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize)
                                 : 16;
}

QIcon normalTrayIcon() {
    return Gui::loadIcon(appIconId, smallIconSize());
}

// The program icon with a dot that says the catalog is being built.
QIcon busyTrayIcon() {
    const int size = smallIconSize();
    QPixmap pixmap = normalTrayIcon().pixmap(size, size);
    if (pixmap.isNull())
        pixmap = QPixmap(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(230, 140, 0));
    const int dot = std::max(4, size / 2);
    painter.drawEllipse(size - dot, size - dot, dot, dot);
    painter.end();
    return QIcon(pixmap);
}

wstr trayTip() {
    wstr tip = App::appTitle() + L" " + App::appVersion();
    if (tip.size() > 127)
        tip.resize(127);
    return tip;
}

// The desktop's icon theme (or style) changed: every window hears of it;
// the image manager is reset once for all of them.
class ThemeChangeFilter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        // Every event passes here first, also those other threads queued
        // (UiCall's work, the main loop's wake-up): take their hand-off,
        // which Qt's queue makes under locks the thread sanitizer cannot see.
        Platform::tsanAcquire(event);
        if (event->type() == QEvent::ThemeChange && !pending_) {
            pending_ = true;
            QTimer::singleShot(0, this, [this] {
                pending_ = false;
                auto app = App::instance();
                if (auto images = app ? app->imageManager() : nullptr)
                    images->reset();
            });
        }
        return false;
    }

private:
    bool pending_ = false;
};

void setAppTimer(uint32_t id) {
    if (auto app = App::instance())
        app->setTimer(id, 0);
}

} // namespace

WndMain::WndMain(Host& host, ItemCommands& itemCommands, std::unique_ptr<HotkeyGrabber> grabber)
    : host_(host), grabber_(std::move(grabber)),
      trayMenu_(configurablePackages, [this](uint32_t command) { onCommand(command); }),
      itemMenu_(itemCommands, trayMenu_), normalIcon_(normalTrayIcon()), busyIcon_(busyTrayIcon()),
      tray_(std::make_unique<QSystemTrayIcon>()), trayTimer_(std::make_unique<QTimer>()),
      context_(std::make_unique<QObject>()) {
    auto widget = std::make_unique<QWidget>();
    widget->setWindowTitle(Gui::toQString(App::appTitle()));
    Gui::createWindowClass(nullptr, L"quorvalent_wndcls_main")->createWindow(*this, widget.get());
    widget.release(); // the window object owns its widget from here on
    if (grabber_)
        grabber_->setHandler([this](int id) { onHotKey(id); });
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, context_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         // Posted: the menu's Exit removes the icon, whose
                         // mouse handler is still running when it reports.
                         if (reason == QSystemTrayIcon::Trigger)
                             postMessage(TrayCallback, 0, Gui::LButtonUp);
                         else if (reason == QSystemTrayIcon::Context)
                             postMessage(TrayCallback, 0, Gui::RButtonUp);
                     });
    trayTimer_->setInterval(trayRetryMs);
    QObject::connect(trayTimer_.get(), &QTimer::timeout, context_.get(), [this] { onTrayTimer(); });
    watchDesktop();
    updateTrayIcon(normalIcon_, true);
    trayTimer_->start();
    registerHotkeys(true);
}

WndMain::~WndMain() {
    destroying_ = true;
    close(0);
}

// Screens and the session: the desktop's broadcasts.
void WndMain::watchDesktop() {
    auto* app = qGuiApp;
    auto screensChanged = [] { setAppTimer(App::TimerMonitors); };
    auto watchScreen = [this, screensChanged](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context_.get(), screensChanged);
        QObject::connect(screen, &QScreen::availableGeometryChanged, context_.get(),
                         screensChanged);
        QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, context_.get(),
                         screensChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    QObject::connect(app, &QGuiApplication::screenAdded, context_.get(),
                     [watchScreen, screensChanged](QScreen* screen) {
                         watchScreen(screen);
                         screensChanged();
                     });
    QObject::connect(app, &QGuiApplication::screenRemoved, context_.get(), screensChanged);
    QObject::connect(app, &QGuiApplication::primaryScreenChanged, context_.get(), screensChanged);
    QObject::connect(app, &QGuiApplication::commitDataRequest, context_.get(), [this] {
        logMessage(Logger::Info, L"Received end-of-session message");
        close(0);
    });
    themeFilter_ = std::make_unique<ThemeChangeFilter>();
    app->installEventFilter(themeFilter_.get());
    mounts_ = std::make_unique<Platform::MountWatch>();
    if (!mounts_->valid())
        return;
    mountNotifier_ = std::make_unique<QSocketNotifier>(mounts_->fd(), QSocketNotifier::Exception);
    QObject::connect(mountNotifier_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { onMountsChanged(); });
}

// A volume came or went: the plugins hear of it through "events".
void WndMain::onMountsChanged() {
    if (!mounts_->changed())
        return;
    auto app = App::instance();
    if (auto manager = app ? app->packageManager() : nullptr)
        manager->broadcastMessage(PluginMsg::kindEvents,
                                  PluginMsg::Data::eventFlags(PluginMsg::deviceChanged));
}

void WndMain::updateTrayIcon(const QIcon& icon, bool add) {
    if (!add && icon.cacheKey() == currentIcon_.cacheKey())
        return;
    tray_->setIcon(icon);
    tray_->setToolTip(Gui::toQString(trayTip()));
    if (add) {
        tray_->hide();
        tray_->show();
    }
    currentIcon_ = icon;
    trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
}

bool WndMain::trayIconDocked() const {
    return tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

// Without a tray the icon is offered again every second; a tray that comes
// later, or again after its host was restarted, gets the icon then.
void WndMain::onTrayTimer() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !trayAvailable_) {
        logMessage(Logger::Info, L"A tray appeared: adding the icon");
        updateTrayIcon(currentIcon_.isNull() ? normalIcon_ : currentIcon_, true);
    }
    trayAvailable_ = available;
}

void WndMain::registerHotkeys(bool reg) {
    auto app = App::instance();
    auto config = app ? app->config() : nullptr;
    if (config)
        registerHotkeys(reg, config.get());
}

void WndMain::registerHotkeys(bool reg, const AppConfig* config) {
    if (!config)
        return;
    if (grabber_) {
        for (const HotkeySlot& slot : hotkeySlots)
            grabber_->release(slot.id);
    }
    if (!reg)
        return;
    for (const HotkeySlot& slot : hotkeySlots) {
        const Hotkey& hotkey = config->*slot.setting;
        wstr text;
        if (hotkey.key == 0)
            continue;
        if (hotkey.isMalformed()) {
            warnWithBox(wstr::format(text, L"Malformed '{}' hotkey: \"{}\"! Please reconfigure.",
                                     slot.name, hotkey.text));
            continue;
        }
        if (!grabber_)
            continue;
        auto failure = grabber_->grab(slot.id, uint32_t(hotkey.modifiers), uint32_t(hotkey.key));
        if (failure)
            warnWithBox(wstr::format(
                text,
                L"Failed to register the '{}' hotkey \"{}\"! Please reconfigure. Error {}: {}",
                slot.name, hotkeyToString(hotkey), failure->code, failure->text));
    }
}

bool WndMain::onHotKey(int id) {
    // A full-screen program (a game, a presentation) keeps its keys.
    if (grabber_ && grabber_->fullScreenActive())
        return false;
    switch (id) {
    case HotkeyRun:
        host_.toggleLaunchBox();
        return true;
    case HotkeyPaste:
        host_.showLaunchBox(1);
        return true;
    case HotkeyHistory:
        host_.showLaunchBox(2);
        return true;
    case HotkeyConsole:
        host_.toggleConsole();
        return true;
    default:
        return false;
    }
}

void WndMain::showTrayMenu(Gui::Wnd* owner) {
    QMenu* menu = trayMenu_.menu();
    Gui::Wnd* target = owner && owner->exists() ? owner : this;
    target->setForeground();
    menu->exec(QCursor::pos());
}

void WndMain::showItemMenu(const CatalogItemPtr& item, Gui::Wnd* owner, std::optional<QPoint> at) {
    itemMenu_.show(item, owner ? owner : this, at);
}

void WndMain::removeOrphans() {
    AppItemHost items(*this, [this] { host_.showConsole(); });
    ItemProperties(items).removeOrphans();
}

void WndMain::clearHistory(Catalog& catalog) {
    if (ModalBox::show(this,
                       L"Clear the history of executed items?\nBy doing so, your associated "
                       L"keywords and the scoring system will be reset as well.",
                       MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING) == MessageBox::IDOK)
        catalog.clearHistory();
}

void WndMain::onCommand(uint32_t command) {
    auto app = App::instance();
    auto manager = app ? app->packageManager() : nullptr;
    if (auto package = trayMenu_.packageOf(command)) {
        if (command <= TrayMenu::LastConfigurePackage) {
            if (auto edit = app ? app->configEdit() : nullptr)
                edit->editPackageById(*package);
        } else if (auto found = manager ? manager->findPackage(*package, 0) : nullptr) {
            found->postMessage(PluginMsg::kindCatalog, {});
        }
        return;
    }
    switch (command) {
    case TrayMenu::Exit:
        close(1);
        return;
    case TrayMenu::About:
        host_.showAbout(this);
        return;
    case TrayMenu::OpenLaunchBox:
        host_.showLaunchBox(0);
        return;
    case TrayMenu::OpenConsole:
        host_.showConsole();
        return;
    case TrayMenu::OpenDiagnostic:
        host_.showDiagnostic();
        return;
    case TrayMenu::ReloadConfig:
        if (app)
            app->setTimer(App::TimerReloadAll, 0);
        return;
    case TrayMenu::RefreshAll:
        if (manager)
            manager->broadcastMessage(PluginMsg::kindCatalog, {});
        return;
    default:
        break;
    }
    if (!app)
        return;
    switch (command) {
    case TrayMenu::Documentation:
    case TrayMenu::ChangeLog:
    case TrayMenu::ConfigureApp:
    case TrayMenu::BrowseProfile:
        app->runOpeningCommand(command);
        return;
    case TrayMenu::ClearHistory:
        clearHistory(app->catalog());
        return;
    case TrayMenu::RemoveOrphans:
        removeOrphans();
        return;
    default:
        return;
    }
}

void WndMain::onDestroy() {
    registerHotkeys(false);
    trayTimer_->stop();
    tray_->hide();
    if (!destroying_)
        App::postQuitMessage(0);
}

intptr_t WndMain::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case Gui::Destroy:
        onDestroy();
        return 0;
    case Gui::Close:
        close(0);
        return 0;
    case TrayCallback:
        if (lParam == Gui::LButtonUp)
            host_.toggleLaunchBox();
        else if (lParam == Gui::RButtonUp)
            showTrayMenu(nullptr);
        else
            break;
        return 0;
    case Exit:
        if (!std::exchange(exitRequested_, true))
            postMessage(Gui::Close);
        return 0;
    case QueryVersion:
        return App::versionAnswer;
    case Gui::Command:
        onCommand(uint32_t(wParam & 0xFFFF));
        return 0;
    case Show:
        host_.showLaunchBox(0);
        return 0;
    case Hide:
        host_.hideLaunchBox();
        return 0;
    default:
        break;
    }
    return Gui::Wnd::wndProc(message, wParam, lParam);
}
