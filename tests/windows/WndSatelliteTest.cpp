#include "windows/WndSatellite.h"

#include "gui/Theme.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "windows/MainMenus.h"

#include "tests/support/QtTestApp.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

using namespace Gui;

namespace {

// Runs the event loop until the condition holds (the window system's
// answers to moves and resizes arrive as events).
template <typename Condition> bool processUntil(Condition condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

Bitmap solidImage(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return std::make_shared<const QImage>(std::move(image));
}

// The LaunchBox's part: it records what the satellite hands on to it.
class FakeLaunchBox : public WndThemed {
public:
    explicit FakeLaunchBox(std::shared_ptr<Theme> theme) : WndThemed(nullptr, std::move(theme)) {
        createWindowClass(nullptr, L"quorvalent_wndcls_test_launchbox")
            ->createWindow(*this, new QWidget(nullptr, Qt::FramelessWindowHint));
        hwnd()->setGeometry(300, 300, 400, 120);
    }
    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message == KeyDown || message == Char || message == LButtonDblClk)
            received.push_back({message, wParam, lParam});
        return WndThemed::wndProc(message, wParam, lParam);
    }
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::vector<Message> received;
};

class FakeMenus : public MainMenus {
public:
    void showTrayMenu(Wnd* owner) override { trayOwners.push_back(owner); }
    void showItemMenu(const CatalogItemPtr&, Wnd*, std::optional<QPoint>) override {}
    std::vector<Wnd*> trayOwners;
};

class WndSatelliteTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        launchBox_ = std::make_unique<FakeLaunchBox>(theme_);
        satellite_ = std::make_unique<WndSatellite>(nullptr, theme_, *launchBox_, &menus_);
    }
    void TearDown() override {
        satellite_.reset();
        launchBox_.reset();
    }

    QSize margins() const {
        return {2 * satellite_->controlMarginX(), 2 * satellite_->controlMarginY()};
    }

    std::shared_ptr<Theme> theme_ = std::make_shared<Theme>();
    FakeMenus menus_;
    std::unique_ptr<FakeLaunchBox> launchBox_;
    std::unique_ptr<WndSatellite> satellite_;
};

TEST(WndSatellitePlacement, EachFlagPutsTheSatelliteItsOwnWay) {
    const QRect parent(100, 200, 400, 300);
    const QPoint client(3, 20);
    const QSize size(64, 48);
    const QPoint offset(10, 5);
    struct Case {
        uint32_t flags;
        QPoint expected;
    };
    const Case cases[] = {
        {WndSatellite::PlaceTopLeft, {110, 205}},
        {WndSatellite::PlaceTopLeft | WndSatellite::PlaceFromClientArea, {113, 225}},
        {WndSatellite::PlaceBottomRightAt, {46, 157}},
        {WndSatellite::PlaceBottomRightAt | WndSatellite::PlaceFromClientArea, {49, 177}},
        {WndSatellite::PlaceCentreAbove, {268, 157}},
        {0, {110, 205}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WndSatellite::placeBeside(c.flags, offset, parent, client, size), c.expected)
            << "flags " << c.flags;
}

TEST(WndSatelliteImage, ImagesLargerThanTheLimitAreScaledIntoItKeepingTheirShape) {
    const QSize limit(256, 256);
    const Bitmap icon = solidImage(48, 48, Qt::red);
    EXPECT_EQ(WndSatellite::fitImage(icon, limit), icon) << "small enough: shown as it is";
    const Bitmap exact = solidImage(256, 256, Qt::red);
    EXPECT_EQ(WndSatellite::fitImage(exact, limit), exact);

    struct Case {
        QSize source;
        QSize fitted;
    };
    const Case cases[] = {
        {{512, 512}, {256, 256}}, {{512, 128}, {256, 64}}, {{300, 1200}, {64, 256}}};
    for (const Case& c : cases) {
        const Bitmap fitted =
            WndSatellite::fitImage(solidImage(c.source.width(), c.source.height(), Qt::red), limit);
        ASSERT_TRUE(fitted);
        EXPECT_EQ(fitted->size(), c.fitted);
    }
    EXPECT_FALSE(WndSatellite::fitImage(nullptr, limit));
}

TEST(WndSatelliteImage, PixelsWithoutRealAlphaAreRepaired) {
    struct Case {
        uint32_t pixel;
        uint32_t shown;
    };
    const Case cases[] = {
        {0x00FF8000, 0xFFFF8000}, // no alpha channel at all: opaque, not invisible
        {0x00000000, 0x00000000}, // truly transparent stays so
        {0x80FF4000, 0x80802000}, // straight alpha is premultiplied
        {0x80404040, 0x80404040}, // premultiplied already
        {0xFF123456, 0xFF123456},
    };
    QImage image(int(std::size(cases)), 1, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < image.width(); ++i)
        reinterpret_cast<uint32_t*>(image.scanLine(0))[i] = cases[i].pixel;
    const QImage repaired = WndSatellite::repairAlpha(image);
    for (int i = 0; i < image.width(); ++i)
        EXPECT_EQ(reinterpret_cast<const uint32_t*>(repaired.constScanLine(0))[i], cases[i].shown)
            << std::hex << cases[i].pixel;
}

// Without a compositor (Qt's offscreen platform has none) the window is
// opaque and the image sits inside the control margin.
TEST_F(WndSatelliteTest, TheWindowTakesTheSizeOfItsImageScaledTo256) {
    EXPECT_FALSE(satellite_->appliedTransparencyFlags() & WndThemed::PerPixelAlpha);
    EXPECT_EQ(satellite_->transparencyFlags(), uint32_t(WndThemed::PerPixelAlpha));

    satellite_->showImage(solidImage(512, 512, Qt::blue));
    ASSERT_TRUE(satellite_->shownImage());
    EXPECT_EQ(satellite_->shownImage()->size(), QSize(256, 256));
    EXPECT_EQ(satellite_->hwnd()->size(), QSize(256, 256) + margins());

    satellite_->showImage(solidImage(48, 48, Qt::blue));
    EXPECT_EQ(satellite_->hwnd()->size(), QSize(48, 48) + margins());

    satellite_->setMaxImageSize({32, 32});
    satellite_->showImage(solidImage(48, 48, Qt::green));
    EXPECT_EQ(satellite_->shownImage()->size(), QSize(32, 32));

    satellite_->show(true);
    satellite_->show(false);
    EXPECT_FALSE(satellite_->shownImage()) << "hiding drops the image";
    EXPECT_EQ(satellite_->hwnd()->size(), margins());
}

TEST_F(WndSatelliteTest, TheOpaqueWindowPaintsTheBackgroundAndTheImageInsideTheMargin) {
    satellite_->showImage(solidImage(40, 40, QColor(0x12, 0x34, 0x56)));
    const QImage image = satellite_->hwnd()->grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor::fromRgb(theme_->colours[Theme::Background]));
    const QPoint inside(satellite_->controlMarginX() + 20, satellite_->controlMarginY() + 20);
    EXPECT_EQ(image.pixelColor(inside), QColor(0x12, 0x34, 0x56));
}

TEST_F(WndSatelliteTest, TheSatelliteFollowsTheLaunchBoxAndDragsItAlong) {
    satellite_->setPlacement(WndSatellite::PlaceCentreAbove, {0, 0});
    satellite_->showImage(solidImage(64, 64, Qt::blue));
    launchBox_->hwnd()->show();
    satellite_->show(true);
    const QSize size = satellite_->hwnd()->size();
    auto expectedAt = [&] {
        const QRect box = launchBox_->hwnd()->frameGeometry();
        return QPoint(box.left() + (box.width() - size.width()) / 2, box.top() - size.height());
    };
    EXPECT_EQ(satellite_->hwnd()->pos(), expectedAt());

    launchBox_->hwnd()->move(500, 420);
    ASSERT_TRUE(processUntil([&] { return satellite_->hwnd()->pos() == expectedAt(); }));

    // Dragging the satellite by any point moves the LaunchBox by as much.
    const QPoint boxBefore = launchBox_->hwnd()->frameGeometry().topLeft();
    const QPoint grip = satellite_->hwnd()->mapToGlobal(QPoint(10, 10));
    QCursor::setPos(grip);
    satellite_->sendMessage(LButtonDown, ButtonLeft, packPoint({10, 10}));
    QCursor::setPos(grip + QPoint(-70, 35));
    satellite_->sendMessage(MouseMove, ButtonLeft, packPoint({-60, 45}));
    satellite_->sendMessage(LButtonUp, 0, packPoint({-60, 45}));
    EXPECT_EQ(launchBox_->hwnd()->frameGeometry().topLeft(), boxBefore + QPoint(-70, 35));
    EXPECT_EQ(satellite_->hwnd()->pos(), expectedAt());

    // A move without the button held is no drag.
    satellite_->sendMessage(MouseMove, 0, packPoint({0, 0}));
    EXPECT_EQ(launchBox_->hwnd()->frameGeometry().topLeft(), boxBefore + QPoint(-70, 35));
}

TEST_F(WndSatelliteTest, RightClickKeysAndDoubleClicksGoToTheLaunchBox) {
    satellite_->sendMessage(RButtonUp, 0, packPoint({5, 5}));
    ASSERT_EQ(menus_.trayOwners.size(), 1u);
    EXPECT_EQ(menus_.trayOwners[0], launchBox_.get());

    launchBox_->hwnd()->show();
    satellite_->showImage(solidImage(48, 48, Qt::blue));
    satellite_->show(true);
    satellite_->sendMessage(KeyDown, 0x28, 0);
    satellite_->sendMessage(Char, L'x', 0);
    const QPoint point(7, 9);
    satellite_->sendMessage(LButtonDblClk, ButtonLeft, packPoint(point));
    ASSERT_EQ(launchBox_->received.size(), 3u);
    EXPECT_EQ(launchBox_->received[0].message, uint32_t(KeyDown));
    EXPECT_EQ(launchBox_->received[0].wParam, 0x28u);
    EXPECT_EQ(launchBox_->received[1].wParam, uintptr_t(L'x'));
    const QPoint global = satellite_->hwnd()->mapToGlobal(point);
    EXPECT_EQ(unpackPoint(launchBox_->received[2].lParam),
              launchBox_->hwnd()->mapFromGlobal(global));
}

TEST(WndSatelliteCreation, NeedsTheLaunchBoxWindow) {
    qvtest::qtApp();
    auto theme = std::make_shared<Theme>();
    Wnd noWindow;
    try {
        WndSatellite satellite(nullptr, theme, noWindow, nullptr);
        FAIL() << "created without a parent window";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to create the satellite window (error 1400)");
    }
}

} // namespace
