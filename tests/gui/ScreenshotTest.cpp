#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/Font.h"
#include "gui/Theme.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "gui/WndThemed.h"

#include "tests/support/QtTestApp.h"

#include <QDir>
#include <QLineEdit>
#include <QPainter>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

QColor colour(const Theme& theme, uint32_t id) {
    return QColor::fromRgb(theme.colours[id]);
}

// A search box over an owner-drawn result list, laid out with the theme's
// margins and paddings at the window's DPI.
class SearchWindow : public WndThemed {
public:
    explicit SearchWindow(std::shared_ptr<Theme> theme) : WndThemed(nullptr, theme) {
        createWindowClass(nullptr, L"quorvalent_wndcls_screenshot")
            ->createWindow(*this, new QWidget);
        const Theme& t = *this->theme();
        edit = std::make_unique<CtrlEditPadded>(*this, nullptr, 0, textboxPaddingX(),
                                                textboxPaddingX());
        QPalette palette = edit->hwnd()->palette();
        palette.setColor(QPalette::Base, colour(t, Theme::TextboxBack));
        palette.setColor(QPalette::Text, colour(t, Theme::Foreground));
        edit->hwnd()->setPalette(palette);
        edit->setFont(*createThemeFont(Theme::Normal)->handle(), false);
        list = std::make_unique<CtrlList>(*this, nullptr, 0);
        palette.setColor(QPalette::Base, colour(t, Theme::ListItemBack));
        list->hwnd()->setPalette(palette);
        static_cast<QFrame*>(list->hwnd())->setFrameShape(QFrame::NoFrame);
    }

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        switch (message) {
        case Size:
            layout(unpackSize(lParam));
            return 0;
        case MeasureItem:
            reinterpret_cast<MeasureItemInfo*>(lParam)->height = rowHeight();
            return 1;
        case DrawItem:
            drawItem(*reinterpret_cast<DrawItemInfo*>(lParam));
            return 1;
        default:
            return WndThemed::wndProc(message, wParam, lParam);
        }
    }

    int rowHeight() { return createThemeFont(ListTitleFont)->height() + listItemPaddingHeight(); }

    void layout(QSize client) {
        const int x = controlMarginX();
        const int y = controlMarginY();
        const int editHeight = createThemeFont(Theme::Normal)->height() + textboxPaddingHeight();
        edit->hwnd()->setGeometry(x, y, client.width() - 2 * x, editHeight);
        const int top = y + editHeight + controlSpacingY();
        list->hwnd()->setGeometry(x, top, client.width() - 2 * x, client.height() - top - y);
    }

    void drawItem(const DrawItemInfo& item) {
        const Theme& t = *theme();
        QPainter& painter = *item.painter;
        painter.fillRect(item.rect, colour(t, item.selected ? Theme::ListItemSelectedBack
                                                            : Theme::ListItemBack));
        painter.setFont(*createThemeFont(ListTitleFont)->handle());
        painter.setPen(
            colour(t, item.selected ? Theme::ListItemSelectedTitle : Theme::ListItemTitle));
        const QRect text = item.rect.adjusted(listItemPaddingX(), 0, 0, 0);
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, titles[item.index]);
    }

    std::unique_ptr<CtrlEditPadded> edit;
    std::unique_ptr<CtrlList> list;
    const QString titles[3] = {"IIIII Terminal", "IIIII Text Editor", "IIIII Files"};
};

// Counts the pixels of exactly that colour in the rectangle.
int pixelsOf(const QImage& image, const QRect& rect, const QColor& wanted) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixelColor(x, y).rgb() == wanted.rgb();
    return count;
}

TEST(Screenshot, ThemedWindowWithAPaddedEditAndAnOwnerDrawnList) {
    qvtest::qtApp();
    auto theme = std::make_shared<Theme>();
    SearchWindow window(theme);
    window.hwnd()->resize(480, 260);
    window.show(true);
    window.edit->setText(L"IIIII term");
    window.list->setCount(3);
    window.list->select(0, false);

    const QImage image = window.hwnd()->grab().toImage();
    const QString folder = QString(QV_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    ASSERT_TRUE(image.save(folder + "/themed-window.png"));

    const Theme& t = *theme;
    // The window's margin is the theme's background.
    EXPECT_EQ(image.pixelColor(1, 1), colour(t, Theme::Background));
    const QRect editRect = window.edit->hwnd()->geometry();
    const QRect listRect = window.list->hwnd()->geometry();
    // The edit's padding band and its text.
    EXPECT_EQ(image.pixelColor(editRect.left() + 1, editRect.top() + 1),
              colour(t, Theme::TextboxBack));
    EXPECT_GT(pixelsOf(image, editRect, colour(t, Theme::Foreground)), 20);
    // The selected row, then an unselected one, each with its title colour.
    const int row = window.rowHeight();
    const QRect first(listRect.left(), listRect.top(), listRect.width(), row);
    const QRect second = first.translated(0, row);
    EXPECT_EQ(image.pixelColor(first.left() + 1, first.top() + 1),
              colour(t, Theme::ListItemSelectedBack));
    EXPECT_EQ(image.pixelColor(second.left() + 1, second.top() + 1),
              colour(t, Theme::ListItemBack));
    EXPECT_GT(pixelsOf(image, first, colour(t, Theme::ListItemSelectedTitle)), 20);
    EXPECT_GT(pixelsOf(image, second, colour(t, Theme::ListItemTitle)), 20);
}

} // namespace
