#include "windows/WndDiag.h"

#include "app/App.h"
#include "core/SysDisplay.h"
#include "core/SysInfo.h"
#include "core/SysTime.h"
#include "gui/Font.h"
#include "gui/Theme.h"
#include "gui/VirtualKey.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "platform/Error.h"
#include "platform/KeyboardLayout.h"

#include <QPalette>
#include <QWidget>

#include <stdexcept>

using namespace Gui;

namespace {

constexpr int margin = 5;
constexpr uint32_t keyF5 = VkF1 + 4;
constexpr uint32_t keyF6 = VkF1 + 5;

void paintBox(Wnd& box, const Theme& theme) {
    QPalette palette = box.hwnd()->palette();
    const QColor back = QColor::fromRgb(theme.colours[Theme::Background]);
    palette.setColor(QPalette::Base, back);
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::Text, QColor::fromRgb(theme.colours[Theme::Foreground]));
    box.hwnd()->setPalette(palette);
}

// A name the system may fail to tell: the failure's text instead.
template <typename Query> wstr nameOrError(Query query) {
    try {
        return query();
    } catch (const std::exception& e) {
        return wstr::fromUtf8(e.what());
    }
}

} // namespace

WndDiag::WndDiag(Host& host, std::shared_ptr<Theme> theme, Instance instance)
    : WndThemed(instance, std::move(theme)), host_(host) {
    createWindowClass(instance, L"quorvalent_wndcls_diagnostic")->createWindow(*this, new QWidget);
    if (!exists())
        throw std::runtime_error("Failed to create diagnostic window (error 87)");
    setText(L"Diagnostic - " + App::appTitle());
    hwnd()->setGeometry(0, 0, 100, 100);
    box_ = std::make_unique<CtrlEdit>(*this, this, CtrlEdit::EditMultiline);
    box_->setReadOnly(true);
    applyTheme();
    placeDefault();
}

WndDiag::~WndDiag() {
    // The box's widget is a child of the window's: it goes first.
    box_.reset();
}

void WndDiag::show(bool visible) {
    if (!exists())
        return;
    if (!visible) {
        WndThemed::show(false);
        box_->clear();
        return;
    }
    const bool current = isRecentlyActive();
    WndThemed::show(true);
    if (!current)
        buildReport();
}

void WndDiag::applyTheme() {
    paintBox(*this, *theme());
    paintBox(*box_, *theme());
    rebuildFonts();
    onFontsChanged();
    invalidate(nullptr, true);
}

// The report is read from its header down.
void WndDiag::buildReport() {
    auto facts = gatherFacts(detailed_);
    if (!facts)
        return;
    box_->setText(DiagReport::build(*facts, detailed_));
    box_->moveCaretToStart();
}

std::optional<DiagReport::Facts> WndDiag::gatherFacts(bool detailed) {
    DiagReport::Facts facts;
    const int64_t start = Sys::perfCounter();
    std::optional<PackageManager::FullStats> packages = host_.packageStats();
    if (!packages)
        return std::nullopt;
    facts.packages = std::move(*packages);
    facts.catalog = host_.catalogStats();
    facts.statsSeconds = double(Sys::perfCounter() - start) / double(Sys::perfFrequency);
    facts.productName = App::appTitle();
    facts.versionString = App::appVersionString();
    facts.portable = host_.portable();
    facts.timestamp = Sys::isoTimestamp(!detailed);
    facts.uptimeSeconds = Sys::processUptimeMs() / 1000.0;
    facts.system = Sys::windowsVersionString();
    Platform::setLastError(0);
    const std::string layout = Platform::keyboardLayoutName();
    if (!layout.empty())
        facts.keyboardLayout = wstr::fromUtf8(layout.c_str());
    else if (!(facts.keyboardError = Platform::lastError()))
        facts.keyboardError = 2;
    facts.monitors = host_.monitorLines();
    const DataFs::Folders folders = host_.folders();
    facts.officialPackages = folders.defaultPackages;
    if (detailed) {
        facts.machineName = nameOrError([] { return Sys::computerName(); });
        facts.userName = nameOrError([] { return Sys::userName(); });
        facts.profileDir = folders.profile;
        facts.localDir = folders.local;
    }
    return facts;
}

intptr_t WndDiag::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == Size && box_) {
        const QSize client = unpackSize(lParam);
        const int mx = scaleX(margin);
        const int my = scaleY(margin);
        box_->hwnd()->setGeometry(mx, my, std::max(client.width() - 2 * mx, 0),
                                  std::max(client.height() - 2 * my, 0));
        return messageResult(0);
    }
    return WndThemed::wndProc(message, wParam, lParam);
}

void WndDiag::onFontsChanged() {
    const std::shared_ptr<Font> font = createThemeFont(Theme::Mono);
    if (font && font->handle())
        box_->setFont(*font->handle(), true);
}

bool WndDiag::onActivate(bool active) {
    if (active)
        box_->setFocus();
    return WndThemed::onActivate(active);
}

intptr_t WndDiag::onChildMessage(Wnd& child, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if ((message == KeyDown || message == Char) && onKey(message, wParam))
        return 0;
    return child.wndProc(message, wParam, lParam);
}

bool WndDiag::onKey(uint32_t message, uintptr_t wParam) {
    if (message == Char) {
        switch (wParam) {
        case 1:
            box_->selectAll();
            return true;
        case 9:
        case 13:
            return true;
        case VkEscape:
            show(false);
            return true;
        default:
            return false;
        }
    }
    switch (wParam) {
    case VkF1:
        host_.showAbout(*this);
        return true;
    case keyF5:
        detailed_ = true;
        buildReport();
        return true;
    case keyF6:
        detailed_ = false;
        buildReport();
        host_.setClipboardText(box_->getText());
        return true;
    default:
        return false;
    }
}

// Two thirds of the primary monitor's work area, centred, at least the
// minimum size.
void WndDiag::placeDefault() {
    Sys::Rect area{0, 0, 800, 600};
    for (const auto& monitor : Sys::enumMonitors())
        if (monitor->primary)
            area = monitor->work;
    const int areaWidth = area.right - area.left;
    const int areaHeight = area.bottom - area.top;
    const int width = std::max(areaWidth * 2 / 3, minWidth());
    const int height = std::max(areaHeight * 2 / 3, minHeight());
    hwnd()->move(area.left + (areaWidth - width) / 2, area.top + (areaHeight - height) / 2);
    hwnd()->resize(width, height);
}
