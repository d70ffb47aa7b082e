#include "gui/WndThemed.h"
#include "gui/Font.h"
#include "gui/Theme.h"
#include "gui/WndMessage.h"

#include "tests/support/FakeDisplay.h"
#include "tests/support/QtTestApp.h"

#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

// Monitors and DPI as a test sets them.
class Display : public qvtest::Screens {
public:
    Sys::Dpi windowDpi(const void*, uintptr_t) override { return dpi; }
    Sys::Dpi dpi;
};

class ThemedWindow : public WndThemed {
public:
    explicit ThemedWindow(std::shared_ptr<Theme> theme) : WndThemed(nullptr, std::move(theme)) {
        Wnd::create(*this, new QWidget);
    }
    bool canBlend() const override { return blend; }
    void paint(QPainter& painter, const QRect& rect) override {
        ++paints;
        WndThemed::paint(painter, rect);
    }
    void onFontsChanged() override { ++fontsChanged; }

    bool blend = true;
    int paints = 0;
    int fontsChanged = 0;
};

class WndThemedTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        display->list = {qvtest::monitor(1, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true)};
        Sys::setDisplayService(display);
        window = std::make_unique<ThemedWindow>(theme);
        window->setClock([this] { return clock; });
        window->hwnd()->setGeometry(100, 100, 500, 300);
    }
    void TearDown() override {
        window.reset();
        Sys::setDisplayService(nullptr);
    }
    void deactivateAt(uint64_t time) {
        clock = time;
        window->sendMessage(Activate, ActivateInactive, 0);
    }

    std::shared_ptr<Display> display = std::make_shared<Display>();
    std::shared_ptr<Theme> theme = std::make_shared<Theme>();
    std::unique_ptr<ThemedWindow> window;
    uint64_t clock = 1;
};

TEST_F(WndThemedTest, RecentlyActiveForTwoHundredMilliseconds) {
    window->show(true);
    EXPECT_TRUE(window->isRecentlyActive());
    struct Case {
        uint64_t now;
        bool expected;
    };
    for (Case c : {Case{1150, true}, Case{1200, true}, Case{1201, false}}) {
        deactivateAt(1000);
        clock = c.now;
        EXPECT_EQ(window->isRecentlyActive(), c.expected) << c.now;
    }
    window->sendMessage(Activate, ActivateActive, 0);
    EXPECT_EQ(window->lastDeactivation(), 0u);
    EXPECT_TRUE(window->isRecentlyActive());
}

TEST_F(WndThemedTest, ToggleHidesARecentlyActiveWindowAndShowsAnOlderOne) {
    window->show(true);
    deactivateAt(1000);
    clock = 1150;
    window->toggle();
    EXPECT_FALSE(window->isVisible());
    window->show(true);
    deactivateAt(1000);
    clock = 1250;
    window->toggle();
    EXPECT_TRUE(window->isVisible());

    window->hwnd()->showMinimized();
    EXPECT_FALSE(window->isRecentlyActive());
    window->toggle();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WndThemedTest, ClosingOnlyHides) {
    window->show(true);
    window->hwnd()->close();
    EXPECT_FALSE(window->hwnd()->isVisible());
    EXPECT_TRUE(window->exists());
    window->sendMessage(Close);
    EXPECT_TRUE(window->exists());
}

TEST_F(WndThemedTest, TransparencyIsAppliedOnce) {
    window->setTransparency(0, 100);
    EXPECT_EQ(window->transparencyAlpha(), 255);
    window->setTransparency(WndThemed::ConstantAlpha, 200);
    EXPECT_EQ(window->appliedTransparencyFlags(), WndThemed::ConstantAlpha);
    EXPECT_EQ(window->appliedTransparencyAlpha(), 200);
    EXPECT_NEAR(window->hwnd()->windowOpacity(), 200 / 255.0, 0.01);
    EXPECT_FALSE(window->applyTransparency(WndThemed::ConstantAlpha, 200)) << "nothing changed";
}

// Without a compositor a request fails: it says so, and the applied state is
// the opaque window actually shown, not the request.
TEST_F(WndThemedTest, FailedTransparencyLeavesTheWindowOpaqueAndSaysSo) {
    window->setTransparency(WndThemed::ConstantAlpha, 200);
    window->blend = false;
    EXPECT_FALSE(window->applyTransparency(WndThemed::PerPixelAlpha, 255));
    EXPECT_EQ(window->appliedTransparencyFlags(), 0u);
    EXPECT_EQ(window->appliedTransparencyAlpha(), 255);
    EXPECT_DOUBLE_EQ(window->hwnd()->windowOpacity(), 1.0);
    EXPECT_FALSE(window->hwnd()->testAttribute(Qt::WA_TranslucentBackground));

    window->setTransparency(WndThemed::ConstantAlpha | WndThemed::ColourKey, 128);
    EXPECT_EQ(window->transparencyFlags(), WndThemed::ConstantAlpha | WndThemed::ColourKey);
    EXPECT_EQ(window->appliedTransparencyFlags(), 0u);

    // The colour key needs no compositor.
    EXPECT_TRUE(window->applyTransparency(WndThemed::ColourKey, 128));
    EXPECT_EQ(window->appliedTransparencyFlags(), WndThemed::ColourKey);
}

TEST_F(WndThemedTest, PerPixelAlphaWindowsPaintThemselves) {
    window->hwnd()->grab();
    EXPECT_EQ(window->paints, 1);
    window->setTransparency(WndThemed::PerPixelAlpha, 0);
    ASSERT_EQ(window->appliedTransparencyFlags(), WndThemed::PerPixelAlpha);
    window->hwnd()->grab();
    EXPECT_EQ(window->paints, 1);
}

TEST_F(WndThemedTest, ShowingOnAMonitorOfAnotherDpiScalesTheWindow) {
    auto font = window->createThemeFont(Theme::Small);
    ASSERT_TRUE(font);
    const int height96 = font->height();
    display->dpi = {144, 144};
    window->show(true);
    EXPECT_EQ(window->hwnd()->size(), QSize(750, 450));
    EXPECT_EQ(window->scaleX(100), 150);
    EXPECT_EQ(window->minWidth(), 600);
    EXPECT_EQ(window->fontsChanged, 1);
    EXPECT_GT(window->createThemeFont(Theme::Small)->height(), height96);
}

TEST_F(WndThemedTest, DpiChangeMovesTheWindowOnlyWhenItIsOnAMonitor) {
    QRect suggested(200, 200, 800, 400);
    window->hwnd()->move(5000, 5000);
    window->sendMessage(DpiChanged, (120u << 16) | 120u, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(window->getDpi(false).x, 120u);
    EXPECT_EQ(window->hwnd()->geometry(), QRect(5000, 5000, 500, 300));
    window->hwnd()->move(100, 100);
    window->sendMessage(DpiChanged, (120u << 16) | 120u, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(window->hwnd()->geometry(), suggested);
}

TEST_F(WndThemedTest, FittingIntoTheWorkArea) {
    window->hwnd()->setGeometry(1800, 100, 450, 300);
    window->fitToMonitor();
    EXPECT_EQ(window->hwnd()->geometry(), QRect(1470, 100, 450, 300));
    window->hwnd()->setGeometry(100, 900, 300, 100);
    window->fitToMonitor();
    EXPECT_EQ(window->hwnd()->geometry(), QRect(100, 900, 400, 200));
}

TEST_F(WndThemedTest, TheListTitleFontFollowsTheTheme) {
    EXPECT_EQ(window->createThemeFont(WndThemed::ListTitleFont),
              window->createThemeFont(Theme::SNormal));
    theme->compactResults = true;
    ThemedWindow compact(theme);
    EXPECT_EQ(compact.createThemeFont(WndThemed::ListTitleFont),
              compact.createThemeFont(Theme::Small));
}

} // namespace
