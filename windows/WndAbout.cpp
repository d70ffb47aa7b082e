#include "windows/WndAbout.h"

#include "app/App.h"
#include "core/SysDisplay.h"
#include "files/DataFs.h"
#include "gui/Font.h"
#include "gui/QtText.h"
#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"

#include <QDialog>
#include <QFontMetrics>
#include <QPainter>

using namespace Gui;

namespace {

constexpr int iconSize = 128;
constexpr int unmeasuredWidth = 100;
constexpr int largeIconResource = 102;
constexpr int programIconResource = 101;

WndAbout* openBox = nullptr;

QColor themeColour(const Theme& theme, uint32_t id) {
    return QColor::fromRgb(theme.colours[id]);
}

// The size of the text drawn in the font, lines kept; a text that cannot be
// measured counts as 100 pixels wide.
QSize measure(const std::shared_ptr<Font>& font, const wstr& text) {
    if (!font || !font->handle())
        return {unmeasuredWidth, 0};
    const QRect bounds =
        QFontMetrics(*font->handle())
            .boundingRect(QRect(0, 0, 10000, 10000), Qt::TextExpandTabs, toQString(text));
    return {bounds.width() > 0 ? bounds.width() : unmeasuredWidth, bounds.height()};
}

} // namespace

const std::array<WndAbout::Link, 2>& WndAbout::links() {
    static const std::array<Link, 2> table = {{
        {1, L"Website", DataFs::appWebsite().c_str()},
        {101, L"Documentation", DataFs::appDocumentation().c_str()},
    }};
    return table;
}

void WndAbout::showModal(Host& host, std::shared_ptr<Theme> theme, Wnd* owner) {
    if (openBox) {
        openBox->setForeground();
        return;
    }
    if (!owner)
        owner = host.mainWindow();
    auto box = std::make_unique<WndAbout>(host, std::move(theme));
    openBox = box.get();
    box->runDialog(owner ? owner->hwnd() : nullptr);
    openBox = nullptr;
}

WndAbout* WndAbout::current() {
    return openBox;
}

WndAbout::WndAbout(Host& host, std::shared_ptr<Theme> theme, Instance instance)
    : WndThemed(instance, std::move(theme)), host_(host) {}

WndAbout::~WndAbout() {
    for (auto& link : links_)
        link.reset();
}

int WndAbout::runDialog(QWidget* owner) {
    auto* dialog = new QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    dialog->setModal(true);
    createWindowClass(instance(), L"quorvalent_wndcls_about")->createWindow(*this, dialog, true);
    return dialog->exec();
}

void WndAbout::initDialog() {
    setText(L"About " + App::appTitle());
    icon_ = loadIcon(largeIconResource, iconSize);
    if (icon_.isNull())
        icon_ = loadIcon(programIconResource, iconSize);
    const Theme& theme = *this->theme();
    for (std::size_t i = 0; i < links_.size(); ++i) {
        links_[i] = std::make_unique<CtrlUrl>(
            *this, links()[i].id, themeColour(theme, Theme::Background),
            themeColour(theme, Theme::Accent), themeColour(theme, Theme::Faded));
        links_[i]->setText(links()[i].text);
        links_[i]->setParentListener(this);
    }
    title_ = App::appTitle();
    wstr::format(body_,
                 L"\nVersion {} for {}\n\u00A9 The {} developers.\nFree software: see the "
                 L"licence that came with it.",
                 App::appVersionString(), L"x64", App::appTitle());
    onFontsChanged();

    const int m = scaleX(10);
    iconRect_ = QRect(m, m, scaleX(iconSize), scaleY(iconSize));
    const int textLeft = iconRect_.right() + 1 + m;
    const QSize title = measure(createThemeFont(Theme::Large), title_);
    titleRect_ = QRect(textLeft, m, title.width(), title.height());
    const QSize body = measure(createThemeFont(Theme::Small), body_);
    bodyRect_ = QRect(textLeft, titleRect_.bottom() + 1, body.width(), body.height());
    int linkTop = std::max(iconRect_.bottom(), bodyRect_.bottom()) + 1 + m;
    int linkLeft = textLeft;
    int linkHeight = 0;
    for (auto& link : links_) {
        const QSize size = measure(createThemeFont(Theme::Small), link->getText());
        link->hwnd()->setGeometry(linkLeft, linkTop, size.width() + 2, size.height() + 2);
        linkLeft += size.width() + 2 + 2 * m;
        linkHeight = std::max(linkHeight, size.height() + 2);
    }
    const int width = std::max({titleRect_.right(), bodyRect_.right(), linkLeft - 2 * m}) + 1 + m;
    const int height = linkTop + linkHeight + m;
    hwnd()->setFixedSize(std::max(width, minWidth()), std::max(height, minHeight()));

    Sys::Rect area{0, 0, 800, 600};
    for (const auto& monitor : Sys::enumMonitors())
        if (monitor->primary)
            area = monitor->work;
    const QSize size = hwnd()->size();
    hwnd()->move(area.left + (area.right - area.left - size.width()) / 2,
                 area.top + (area.bottom - area.top - size.height()) / 2);
}

intptr_t WndAbout::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case InitDialog:
        initDialog();
        return messageResult(1);
    case KeyDown:
        if (wParam == VkReturn) {
            openLink(links()[0].id);
            return messageResult(0);
        }
        if (wParam == VkEscape) {
            close(1);
            return messageResult(0);
        }
        break;
    case Close:
    case LButtonUp:
    case RButtonUp:
        close(1);
        return messageResult(0);
    default:
        break;
    }
    return WndThemed::wndProc(message, wParam, lParam);
}

intptr_t WndAbout::onChildMessage(Wnd& child, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == LButtonUp) {
        for (std::size_t i = 0; i < links_.size(); ++i)
            if (links_[i].get() == &child)
                openLink(links()[i].id);
        return 0;
    }
    return child.wndProc(message, wParam, lParam);
}

void WndAbout::openLink(int id) {
    for (const Link& link : links())
        if (link.id == id)
            host_.openUrl(link.url);
}

void WndAbout::paint(QPainter& painter, const QRect& rect) {
    WndThemed::paint(painter, rect);
    const Theme& theme = *this->theme();
    painter.setPen(themeColour(theme, Theme::Foreground));
    if (iconRect_.intersects(rect) && !icon_.isNull())
        icon_.paint(&painter, iconRect_);
    if (titleRect_.intersects(rect)) {
        if (auto font = createThemeFont(Theme::Large); font && font->handle())
            painter.setFont(*font->handle());
        painter.drawText(titleRect_, Qt::TextExpandTabs, toQString(title_));
    }
    if (bodyRect_.intersects(rect)) {
        if (auto font = createThemeFont(Theme::Small); font && font->handle())
            painter.setFont(*font->handle());
        painter.drawText(bodyRect_, Qt::TextExpandTabs, toQString(body_));
    }
}

void WndAbout::onFontsChanged() {
    const std::shared_ptr<Font> font = createThemeFont(Theme::Small);
    for (auto& link : links_)
        if (link)
            link->setLinkFont(font ? font->handle() : nullptr);
}

bool WndAbout::onActivate(bool active) {
    if (!active) {
        close(1);
        return false;
    }
    return WndThemed::onActivate(active);
}
