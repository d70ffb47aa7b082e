#include "windows/WndAbout.h"

#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"
#include "tests/support/QtTestApp.h"
#include "tests/windows/WindowFakes.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace Gui;

namespace {

int openDialogs() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<QDialog*>(widget) && widget->isVisible();
    return count;
}

// Runs the About box modally and, once its loop runs, the step inside it.
void runAbout(qvtest::FakeAboutHost& host, std::function<void(WndAbout&)> step) {
    QTimer::singleShot(0, [&] {
        WndAbout* box = WndAbout::current();
        ASSERT_NE(box, nullptr);
        step(*box);
        // A step that left the box open closes it, so the test never hangs.
        if (WndAbout::current() && WndAbout::current()->hwnd()->isVisible())
            WndAbout::current()->close(1);
    });
    WndAbout::showModal(host, std::make_shared<Theme>(), nullptr);
}

TEST(WndAbout, ShowsTheVersionAndASecondRequestOpensNoSecondBox) {
    qvtest::qtApp();
    qvtest::FakeAboutHost host;
    bool checked = false;
    runAbout(host, [&](WndAbout& box) {
        EXPECT_TRUE(box.hwnd()->isVisible());
        EXPECT_EQ(box.getText().substr(0, 6), L"About ");
        EXPECT_NE(box.bodyText().find(L"Version "), wstr::npos);
        EXPECT_NE(box.bodyText().find(L" for x64"), wstr::npos);
        EXPECT_EQ(box.link(0)->getText(), WndAbout::links()[0].text);
        WndAbout::showModal(host, std::make_shared<Theme>(), nullptr);
        EXPECT_EQ(WndAbout::current(), &box);
        EXPECT_EQ(openDialogs(), 1);
        checked = true;
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(WndAbout::current(), nullptr);
    EXPECT_EQ(openDialogs(), 0);
}

// The icon fills its 128-pixel place: the ring of the program's icon
// reaches the place's edges, its white middle is at the centre.
TEST(WndAbout, DrawsTheProgramIconAtItsFullSizeAndSavesAScreenshot) {
    qvtest::qtApp();
    qvtest::FakeAboutHost host;
    QImage image;
    QRect place;
    runAbout(host, [&](WndAbout& box) {
        box.hwnd()->repaint();
        image = box.hwnd()->grab().toImage();
        place = box.iconRect();
    });
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(place.size(), QSize(128, 128));
    const QColor ring(0x1e, 0x5a, 0xc8);
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
               std::abs(a.blue() - b.blue()) < 24;
    };
    const QPoint centre = place.center();
    for (const QPoint at :
         {QPoint(place.left() + 8, centre.y()), QPoint(centre.x(), place.top() + 8),
          QPoint(place.right() - 8, centre.y() - 8), QPoint(centre.x(), place.bottom() - 8)})
        EXPECT_TRUE(near(image.pixelColor(at), ring)) << at.x() << "," << at.y();
    EXPECT_TRUE(near(image.pixelColor(centre - QPoint(20, 20)), Qt::white));
    const QString folder = QString(QV_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    EXPECT_TRUE(image.save(folder + "/about.png"));
}

TEST(WndAbout, ClosesOnLosingActivationOnAClickAndOnEsc) {
    qvtest::qtApp();
    qvtest::FakeAboutHost host;
    const std::function<void(WndAbout&)> closers[] = {
        [](WndAbout& box) { box.sendMessage(Activate, ActivateInactive, 0); },
        [](WndAbout& box) { box.sendMessage(LButtonUp, 0, 0); },
        [](WndAbout& box) { box.sendMessage(RButtonUp, 0, 0); },
        [](WndAbout& box) { box.sendMessage(KeyDown, VkEscape, 0); },
    };
    for (const auto& close : closers) {
        bool closed = false;
        runAbout(host, [&](WndAbout& box) {
            close(box);
            closed = !box.hwnd()->isVisible();
        });
        EXPECT_TRUE(closed);
    }
    EXPECT_TRUE(host.urls.empty());
}

TEST(WndAbout, EnterOpensTheFirstLinkAndAClickOnALinkItsOwn) {
    qvtest::qtApp();
    qvtest::FakeAboutHost host;
    runAbout(host, [&](WndAbout& box) {
        box.sendMessage(KeyDown, VkReturn, 0);
        box.link(1)->sendMessage(LButtonUp, 0, 0);
    });
    EXPECT_EQ(host.urls, (std::vector<wstr>{WndAbout::links()[0].url, WndAbout::links()[1].url}));
}

} // namespace
