#include "windows/WndMain.h"

#include "app/App.h"
#include "core/Logger.h"
#include "core/MessageBox.h"
#include "gui/QtText.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

constexpr int appIconId = 101;
constexpr int trayRetryMs = 1000;

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

void setAppTimer(uint32_t id) {
    if (auto app = App::instance())
        app->setTimer(id, 0);
}

} // namespace

WndMain::WndMain(Host& host, std::unique_ptr<HotkeyGrabber> grabber)
    : host_(host), grabber_(std::move(grabber)), normalIcon_(normalTrayIcon()),
      busyIcon_(busyTrayIcon()), tray_(std::make_unique<QSystemTrayIcon>()),
      trayTimer_(std::make_unique<QTimer>()), context_(std::make_unique<QObject>()) {
    auto widget = std::make_unique<QWidget>();
    widget->setWindowTitle(Gui::toQString(App::appTitle()));
    Gui::createWindowClass(nullptr, L"quorvalent_wndcls_main")->createWindow(*this, widget.get());
    widget.release(); // the window object owns its widget from here on
    if (grabber_)
        grabber_->setHandler([this](int id) { onHotKey(id); });
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, context_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger)
                             sendMessage(TrayCallback, 0, Gui::LButtonUp);
                         else if (reason == QSystemTrayIcon::Context)
                             sendMessage(TrayCallback, 0, Gui::RButtonUp);
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

void WndMain::registerHotkeys(bool, const AppConfig*) {}

bool WndMain::onHotKey(int) {
    return false;
}

void WndMain::showTrayMenu(Gui::Wnd*) {}

void WndMain::showItemMenu(const CatalogItemPtr&, Gui::Wnd*, std::optional<QPoint>) {}

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
