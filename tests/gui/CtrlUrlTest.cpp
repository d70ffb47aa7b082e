#include "gui/CtrlUrl.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"

#include <gtest/gtest.h>

using namespace Gui;

namespace {

TEST(CtrlUrl, UnderlinedWhileTheMouseIsOverIt) {
    qvtest::qtApp();
    qvtest::WndRecorder parent;
    Wnd::create(parent, new QWidget);
    QFont font("DejaVu Sans", 12);
    parent.hwnd()->setFont(font);
    CtrlUrl link(parent, 7, Qt::white, Qt::blue, Qt::darkBlue);
    link.setText(L"Home page");
    link.hwnd()->setGeometry(0, 0, 200, 30);
    EXPECT_FALSE(link.linkFont().underline());
    EXPECT_TRUE(link.hoverFont().underline());

    auto underlineRows = [&] {
        // Blue pixels in the rows below the text's baseline.
        const QImage image = link.hwnd()->grab().toImage();
        const int baseline = (30 + QFontMetrics(link.linkFont()).ascent()) / 2;
        int count = 0;
        for (int y = baseline; y < 30; ++y)
            for (int x = 0; x < 200; ++x)
                count += image.pixelColor(x, y) == QColor(Qt::blue);
        return count;
    };
    const int plain = underlineRows();
    link.sendMessage(MouseMove, 0, packPoint({5, 5}));
    EXPECT_TRUE(link.hovering());
    EXPECT_GT(underlineRows(), plain + 20);
    link.sendMessage(MouseMove, 0, packPoint({6, 5}));
    EXPECT_TRUE(link.hovering());
    link.sendMessage(MouseLeave);
    EXPECT_FALSE(link.hovering());
    EXPECT_EQ(underlineRows(), plain);
}

} // namespace
