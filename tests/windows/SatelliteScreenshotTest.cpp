#include "windows/WndSatellite.h"

#include "gui/Theme.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

// Xlib's macros clash with Qt's names: it comes last.
#include <X11/Xlib.h>

using namespace Gui;

namespace {

const QColor kDisk(0x20, 0x90, 0xE0);

// A round icon: only the disk has pixels, the corners are transparent.
Bitmap diskIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDisk);
    painter.drawEllipse(2, 2, size - 4, size - 4);
    painter.setBrush(Qt::white);
    painter.drawEllipse(size / 3, size / 3, size / 3, size / 3);
    painter.end();
    return std::make_shared<const QImage>(std::move(image));
}

// Stands in for a compositing manager: owns the selection that announces one.
class CompositorSelection {
public:
    CompositorSelection() {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        display_ = x11->display();
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display_));
        XSetSelectionOwner(display_, XInternAtom(display_, name.c_str(), False), window_,
                           CurrentTime);
        XSync(display_, False);
    }
    ~CompositorSelection() {
        XDestroyWindow(display_, window_);
        XSync(display_, False);
    }

private:
    Display* display_;
    Window window_;
};

class LaunchBoxStandIn : public WndThemed {
public:
    explicit LaunchBoxStandIn(std::shared_ptr<Theme> theme) : WndThemed(nullptr, std::move(theme)) {
        createWindowClass(nullptr, L"quorvalent_wndcls_test_launchbox")
            ->createWindow(*this, new QWidget(nullptr, Qt::FramelessWindowHint));
        hwnd()->setGeometry(400, 300, 480, 200);
    }
};

class SatelliteOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X display";
        QDir().mkpath(folder_);
    }

    // Shows the LaunchBox stand-in with the satellite centred above it.
    std::unique_ptr<WndSatellite> showSatellite(LaunchBoxStandIn& launchBox) {
        auto satellite = std::make_unique<WndSatellite>(nullptr, theme_, launchBox, nullptr);
        satellite->setPlacement(WndSatellite::PlaceCentreAbove, {0, 0});
        satellite->showImage(diskIcon(128));
        launchBox.hwnd()->show();
        satellite->show(true);
        EXPECT_TRUE(exposed(*launchBox.hwnd()));
        EXPECT_TRUE(exposed(*satellite->hwnd()));
        return satellite;
    }

    static bool exposed(QWidget& widget) {
        QElapsedTimer timer;
        timer.start();
        while (!widget.windowHandle() || !widget.windowHandle()->isExposed()) {
            if (timer.elapsed() > qvtest::slowMachineLimit.count())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    static bool activeIs(QWidget* window) {
        QElapsedTimer timer;
        timer.start();
        while (QApplication::activeWindow() != window) {
            if (timer.elapsed() > qvtest::slowMachineLimit.count())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    std::shared_ptr<Theme> theme_ = std::make_shared<Theme>();
    const QString folder_ = QString(QV_BUILD_DIR) + "/screenshots";
};

TEST_F(SatelliteOnDisplay, WithoutACompositorTheIconSitsOnTheThemeBackground) {
    LaunchBoxStandIn launchBox(theme_);
    auto satellite = showSatellite(launchBox);
    EXPECT_EQ(satellite->appliedTransparencyFlags(), 0u);

    const QRect both = launchBox.hwnd()->frameGeometry().united(satellite->hwnd()->frameGeometry());
    const QRect area = both.adjusted(-20, -20, 20, 20);
    QImage screen;
    const QRect icon(satellite->hwnd()->pos() +
                         QPoint(satellite->controlMarginX(), satellite->controlMarginY()),
                     QSize(128, 128));
    const QColor background = QColor::fromRgb(theme_->colours[Theme::Background]);
    // The server shows the window once it has drawn it.
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        screen = QGuiApplication::primaryScreen()
                     ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                     .toImage();
    } while (screen.pixelColor(icon.topLeft() - area.topLeft() + QPoint(20, 64)) != kDisk &&
             timer.elapsed() < qvtest::slowMachineLimit.count());
    ASSERT_TRUE(screen.save(folder_ + "/satellite-opaque.png"));

    const QPoint origin = area.topLeft();
    EXPECT_EQ(screen.pixelColor(icon.topLeft() - origin + QPoint(20, 64)), kDisk);
    EXPECT_EQ(screen.pixelColor(icon.topLeft() - origin + QPoint(64, 64)), QColor(Qt::white));
    EXPECT_EQ(screen.pixelColor(icon.topLeft() - origin + QPoint(1, 1)), background)
        << "the icon's transparent corner shows the theme background";
    EXPECT_EQ(screen.pixelColor(satellite->hwnd()->pos() - origin), background);
}

TEST_F(SatelliteOnDisplay, WithACompositorOnlyTheIconsPixelsShow) {
    CompositorSelection compositor;
    LaunchBoxStandIn launchBox(theme_);
    auto satellite = showSatellite(launchBox);
    EXPECT_EQ(satellite->appliedTransparencyFlags(), uint32_t(WndThemed::PerPixelAlpha));
    EXPECT_EQ(satellite->hwnd()->size(), QSize(128, 128)) << "no margin around the icon";

    // Xvfb composites nothing itself, so the window's own rendering is what
    // a compositor would blend.
    const QImage image = satellite->hwnd()->grab().toImage();
    ASSERT_TRUE(image.save(folder_ + "/satellite-translucent.png"));
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0) << "the corner is see-through";
    const QColor disk = image.pixelColor(20, 64);
    EXPECT_NEAR(disk.alpha(), theme_->opacity, 1) << "the theme's opacity applies";
    EXPECT_NEAR(disk.red(), kDisk.red(), 2);
    EXPECT_NEAR(disk.blue(), kDisk.blue(), 2);
}

// The window manager activates a clicked satellite; it hands that on.
TEST_F(SatelliteOnDisplay, ActivationGoesBackToTheLaunchBox) {
    LaunchBoxStandIn launchBox(theme_);
    auto satellite = showSatellite(launchBox);
    QWidget elsewhere;
    elsewhere.setGeometry(50, 50, 100, 100);
    elsewhere.show();
    ASSERT_TRUE(exposed(elsewhere));
    elsewhere.activateWindow();
    ASSERT_TRUE(activeIs(&elsewhere));

    satellite->sendMessage(Activate, ActivateActive, 0);
    EXPECT_TRUE(activeIs(launchBox.hwnd()));
}

} // namespace
