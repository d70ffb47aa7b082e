#include "windows/WndRun.h"

#include "app/ConfigValues.h"
#include "catalog/AppIdentity.h"
#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/CtrlSizeGrip.h"
#include "gui/Font.h"
#include "gui/QtText.h"
#include "gui/VirtualKey.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "packages/PluginMsg.h"
#include "windows/LaunchBoxHost.h"
#include "windows/ModalBox.h"
#include "windows/WndSatellite.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <stdexcept>
#include <utility>

using namespace Gui;

namespace {

QColor colour(const Theme& theme, uint32_t id) {
    return QColor::fromRgba(theme.colours[id]);
}

Qt::WindowFlags windowFlags(bool onTaskbar) {
    return Qt::Window | Qt::FramelessWindowHint | (onTaskbar ? Qt::WindowFlags() : Qt::Tool);
}

} // namespace

// The list's rows live in its viewport, which is no window of its own.
class WndRun::ListWatch : public QObject {
public:
    explicit ListWatch(WndRun& owner) : owner_(owner) {}
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            owner_.list_->sendMessage(MouseWheel,
                                      static_cast<uintptr_t>(intptr_t(wheel->angleDelta().y())),
                                      packPoint(wheel->position().toPoint()));
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            return forward(static_cast<QMouseEvent*>(event));
        default:
            return false;
        }
    }

private:
    // Unless a click executes, a press of either button on a row arms a drag
    // of its item; moving the pointer far enough with that button held starts
    // it.
    bool forward(QMouseEvent* event) {
        const QPoint at = event->position().toPoint();
        const Qt::MouseButton button = event->button();
        const bool dragButton = button == Qt::LeftButton || button == Qt::RightButton;
        uint32_t message = MouseMove;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (dragButton && !owner_.singleClick_) {
                armedButton_ = button;
                pressedAt_ = at;
            }
            message = button == Qt::RightButton ? RButtonDown : LButtonDown;
            break;
        case QEvent::MouseButtonDblClick:
            message = LButtonDblClk;
            break;
        case QEvent::MouseButtonRelease:
            if (button == armedButton_)
                armedButton_ = Qt::NoButton;
            if (button != Qt::RightButton)
                return false;
            message = RButtonUp;
            break;
        default:
            if (armedButton_ != Qt::NoButton && (event->buttons() & armedButton_) &&
                (at - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
                armedButton_ = Qt::NoButton;
                return owner_.dragRow(pressedAt_);
            }
            break;
        }
        const uintptr_t flags = modifierFlags(event->modifiers());
        return owner_.onListMouse(message, flags, packPoint(at));
    }

    WndRun& owner_;
    QPoint pressedAt_;
    Qt::MouseButton armedButton_ = Qt::NoButton;
};

void WndRun::watchListViewport() {
    listWatch_ = std::make_unique<ListWatch>(*this);
    static_cast<QListView*>(list_->hwnd())->viewport()->installEventFilter(listWatch_.get());
}

WndRun::WndRun(Instance instance, std::shared_ptr<Theme> theme, LaunchBoxHost& host,
               ItemIcons& icons)
    : WndThemed(instance, std::move(theme)), host_(host), icons_(icons),
      results_(std::make_shared<CatalogResults>()) {
    readSettings();
    if (auto config = host_.config())
        showOnTaskbar_ = config->showOnTaskbar;
    separator_ = L" ";
    separator_ += wchar_t(this->theme()->fonts[Theme::Small].separatorChar);
    separator_ += L" ";
    // No Qt parent: an owner that is never shown would keep the box unmapped.
    auto* widget = new QWidget(nullptr, windowFlags(showOnTaskbar_));
    createWindowClass(instance, L"quorvalent_wndcls_run")->createWindow(*this, widget);
    if (!exists()) {
        wstr text;
        throw std::runtime_error(
            wstr::toUtf8(wstr::format(text, L"Failed to create the LaunchBox (error {})", 87)));
    }
    widget->setWindowTitle(toQString(AppIdentity::get().title));
    widget->setGeometry(0, 0, 100, 100);
    createChildren();
}

WndRun::~WndRun() {
    focusTimer_.reset();
    satellite_.reset();
    grip_.reset();
    list_.reset();
    edit_.reset();
    close(0);
}

// The settings each reload takes again. show_on_taskbar is not among them:
// applyTaskbarStyle compares it with the window's type to change that.
void WndRun::readSettings() {
    auto config = host_.config();
    if (!config)
        return;
    autoWidth_ = config->autoWidth;
    maxResults_ = static_cast<std::size_t>(std::max(config->maxResults, 1));
    singleClick_ = config->singleClick;
}

void WndRun::createChildren() {
    const Theme& t = *theme();
    if (t.opacity < 255)
        setTransparency(ConstantAlpha, t.opacity);
    itemHeight_ = computeItemHeight();
    satellite_ = std::make_unique<WndSatellite>(instance(), theme(), *this, host_.mainMenus());
    titleFontSlot_ = Theme::Large;
    edit_ = std::make_unique<CtrlEditPadded>(*this, this, 0, textboxPaddingX(), textboxPaddingX());
    connectSearchBox();
    list_ = std::make_unique<CtrlList>(*this, this, CtrlList::ListNotify);
    auto* view = static_cast<QListView*>(list_->hwnd());
    view->setFrameShape(QFrame::NoFrame);
    view->setFocusPolicy(Qt::NoFocus);
    view->setMouseTracking(true);
    watchListViewport();
    status_ = AppIdentity::get().title + L" " + AppIdentity::get().version;
    grip_ = std::make_unique<CtrlSizeGrip>(*this, CtrlSizeGrip::GripHorizontal,
                                           colour(t, Theme::Faded), colour(t, Theme::Background));
    focusTimer_ = std::make_unique<QTimer>();
    focusTimer_->setSingleShot(true);
    QObject::connect(focusTimer_.get(), &QTimer::timeout, [this] { onFocusTimer(); });
    applyTheme();
}

void WndRun::connectSearchBox() {
    auto* line = static_cast<QLineEdit*>(edit_->hwnd());
    line->setFrame(false);
    line->setAcceptDrops(true);
    QObject::connect(line, &QLineEdit::textChanged, line, [this] { onSearchTextChanged(nullptr); });
    installPasteMenu();
}

void WndRun::applyTheme() {
    const Theme& t = *theme();
    if (!(t.layout & Theme::StatusBar))
        status_.clear();
    QPalette palette = edit_->hwnd()->palette();
    palette.setColor(QPalette::Base, colour(t, Theme::TextboxBack));
    palette.setColor(QPalette::Text, colour(t, Theme::Foreground));
    edit_->hwnd()->setPalette(palette);
    edit_->setPadding(textboxPaddingX(), textboxPaddingX());
    auto config = host_.config();
    edit_->setWordDelimiters(config ? config->wordSeparators : wstr());
    palette.setColor(QPalette::Base, colour(t, Theme::ListItemBack));
    list_->hwnd()->setPalette(palette);
    static_cast<QListView*>(list_->hwnd())
        ->setVerticalScrollBarPolicy((t.layout & Theme::ListScrollbar) ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
    grip_->setColours(colour(t, Theme::Faded), colour(t, Theme::Background));
    readSettings();
    // A click on a row executes it in single-click mode: the rows show a hand.
    QWidget* rows = static_cast<QListView*>(list_->hwnd())->viewport();
    if (singleClick_)
        rows->setCursor(Qt::PointingHandCursor);
    else
        rows->unsetCursor();
    itemHeight_ = computeItemHeight();
    applySatelliteTheme();
    if (t.opacity < 255)
        setTransparency(ConstantAlpha, t.opacity);
    else
        setTransparency(0, 255);
    updateStatus();
    rebuildFonts();
    applyTaskbarStyle(false);
    // The box's height follows the bands laid out with the theme's margins
    // and fonts: those first, then the place, then the bands at that size.
    layout(0, 0);
    placeOnMonitor(true);
    layout(0, 0);
    invalidate(nullptr, true);
}

void WndRun::applyTaskbarStyle(bool force) {
    auto config = host_.config();
    QWidget* widget = hwnd();
    if (!config || !widget)
        return;
    const bool visible = widget->isVisible();
    if (visible && widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != config->alwaysOnTop)
        setTopmost(config->alwaysOnTop);
    if (!force && config->showOnTaskbar == showOnTaskbar_)
        return;
    showOnTaskbar_ = config->showOnTaskbar;
    const bool onTop = widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    widget->setWindowFlags(windowFlags(showOnTaskbar_) |
                           (onTop ? Qt::WindowStaysOnTopHint : Qt::WindowFlags()));
    if (visible) {
        widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
        widget->show();
        widget->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

bool WndRun::satelliteShownForMode() const {
    const uint32_t show = theme()->satelliteShow;
    if (show == Theme::ShowNever)
        return false;
    return show == Theme::ShowAlways || mode_ == ModeChained || mode_ == ModeActions;
}

// The satellite sits in the box kept at the top left, or centred above.
void WndRun::applySatelliteTheme() {
    const Theme& t = *theme();
    const int size = static_cast<int>(t.satelliteSize);
    satellite_->setMaxImageSize(QSize(size, size));
    if (t.satellitePos == Theme::TopLeft || expanded_)
        satellite_->setPlacement(WndSatellite::PlaceTopLeft | WndSatellite::PlaceFromClientArea,
                                 {controlMarginX(), controlMarginY()});
    else
        satellite_->setPlacement(WndSatellite::PlaceCentreAbove, {0, 0});
}

int WndRun::satelliteBox() {
    if (!satelliteShownForMode() || (theme()->satellitePos != Theme::TopLeft && !expanded_))
        return 0;
    return scaleX(32);
}

void WndRun::showSatellite(bool visible) {
    if (!satellite_)
        return;
    if (!visible) {
        satellite_->showImage(nullptr);
        satelliteItem_.reset();
        satelliteImageKey_ = -1;
        satellite_->show(false);
        return;
    }
    applySatelliteTheme();
    satellite_->show(true);
    satellite_->followParent();
    updateIcons();
}

// --- Placement ---------------------------------------------------------------------

int WndRun::baseHeight() {
    const int my = controlMarginY();
    int height =
        my + std::max(titleRect_.y() + titleRect_.height(), editRect_.y() + editRect_.height());
    if (theme()->layout & Theme::StatusBar)
        height += my + createThemeFont(Theme::Small)->height();
    return height;
}

// The work area of the monitor that holds the rectangle's centre, else of
// the primary monitor.
Sys::Rect WndRun::workAreaOf(const Sys::Rect& rect) {
    const int32_t cx = rect.left + (rect.right - rect.left) / 2;
    const int32_t cy = rect.top + (rect.bottom - rect.top) / 2;
    std::optional<Sys::Rect> primary;
    for (const auto& monitor : Sys::enumMonitors()) {
        const Sys::Rect& m = monitor->monitor;
        if (cx >= m.left && cx < m.right && cy >= m.top && cy < m.bottom)
            return monitor->work;
        if (monitor->primary || !primary)
            primary = monitor->work;
    }
    return primary.value_or(Sys::Rect{0, 0, 800, 600});
}

Sys::Rect WndRun::placementRect(bool reposition, int minWidth, int base, bool& record) {
    auto config = host_.config();
    const Sys::Rect current = toSysRect(hwnd()->geometry());
    if (expanded_) {
        const Sys::Rect work = workAreaOf(current);
        return {work.left, work.top, work.right, work.top + base};
    }
    if (!reposition) {
        const int width = std::max(current.right - current.left, minWidth);
        const int height = movingOrSizing_ ? current.bottom - current.top : base;
        Sys::Rect rect{current.left, current.top, current.left + width, current.top + height};
        fitRectToMonitor(rect);
        return rect;
    }
    const GeometrySetting geometry = config ? config->geometry : GeometrySetting{};
    if (geometry.mode == GeometrySetting::Persistent) {
        if (auto stored = host_.storedGeometry()) {
            Sys::Rect rect = *stored;
            rect.right = rect.left + std::max(rect.right - rect.left, minWidth);
            rect.bottom = rect.top + std::max(rect.bottom - rect.top, base);
            fitRectToMonitor(rect);
            return rect;
        }
    }
    // The pointer is read once: a box at the mouse goes where its work area
    // was found.
    const GeometryWorkArea placed = geometryWorkArea(geometry);
    const Sys::Rect work = placed.area;
    const std::optional<ScreenPoint> cursor = placed.cursor;
    const int workWidth = work.right - work.left;
    const int width = std::max(autoWidth_ * workWidth / 100, minWidth);
    Sys::Rect rect;
    if (geometry.mode == GeometrySetting::MousePos && cursor) {
        rect.left = cursor->x - width / 2;
        rect.top = cursor->y - base / 2;
        rect.right = rect.left + width;
        rect.bottom = rect.top + base;
        clampRect(rect, work);
        return rect;
    }
    rect.left = work.left + (workWidth - width) / 2;
    rect.top = work.top + (work.bottom - work.top) / 4;
    rect.right = rect.left + width;
    rect.bottom = rect.top + base;
    (void)record;
    return rect;
}

// Grows the rectangle by the rows that fit between it and the bottom of the
// work area. When not even one row fits, the box moves up so that one does;
// a box placed at the mouse moves up (not past the work area's top) so that
// all the rows it may show fit, as it is kept inside the work area.
void WndRun::fitRows(Sys::Rect& rect, int base, const Sys::Rect& work, bool& record) {
    const std::size_t rows = mode_ == ModeActions ? actions_.size() : results_->size();
    if (rows == 0 || itemHeight_ <= 0)
        return;
    auto config = host_.config();
    const int maxHeight = config ? config->maxHeight : 10;
    const bool capped = !expanded_ && maxHeight >= 1;
    const int margin = controlMarginY();
    const auto fitting = [&] { return (work.bottom - (rect.top + base + margin)) / itemHeight_; };
    int wanted = 1;
    if (config && config->geometry.mode == GeometrySetting::MousePos)
        wanted = static_cast<int>(std::min<std::size_t>(rows, capped ? maxHeight : rows));
    if (fitting() < wanted && !movingOrSizing_) {
        const int height = rect.bottom - rect.top;
        rect.top = std::max(work.bottom - (base + margin + 1 + wanted * itemHeight_), work.top);
        rect.bottom = rect.top + height;
        record = config && config->geometry.mode == GeometrySetting::Persistent;
    }
    int available = std::max(fitting(), 1);
    if (capped)
        available = std::min(available, maxHeight);
    const int shown = static_cast<int>(std::min<std::size_t>(available, rows));
    rect.bottom = rect.top + base + margin + 1 + shown * itemHeight_;
}

void WndRun::placeOnMonitor(bool reposition) {
    if (!exists())
        return;
    bool record = false;
    const int base = baseHeight();
    Sys::Rect rect = placementRect(reposition, minWidth(), base, record);
    if (editRect_.width() <= 0) {
        layout(rect.right - rect.left, 100);
        rect.bottom = rect.top + baseHeight();
    }
    fitRows(rect, baseHeight(), workAreaOf(rect), record);
    // From here on the window is where the program put it.
    dragEnding_ = false;
    hwnd()->setGeometry(toQRect(rect));
    if (record)
        host_.captureGeometry(rect);
}

void WndRun::toggleExpanded() {
    expanded_ = !expanded_;
    applySatelliteTheme();
    placeOnMonitor(true);
    layout(0, 0);
}

// --- Layout ------------------------------------------------------------------------------

void WndRun::layoutTopRow(int width, int& top) {
    const int mx = controlMarginX();
    const int my = controlMarginY();
    const int box = satelliteBox();
    const int left = box > 0 ? mx + box + mx : mx;
    const int room = std::max(width - mx - left, 0);
    uint32_t slot = Theme::Large;
    int titleWidth = 0;
    if (!title_.empty() && (mode_ == ModeActions || mode_ == ModeHistory)) {
        titleWidth = room;
    } else if (!title_.empty()) {
        const int limit = room * 2 / 5;
        titleWidth = createThemeFont(slot)->textWidth(title_, 0);
        if (titleWidth > limit) {
            slot = Theme::Normal;
            titleWidth = createThemeFont(slot)->textWidth(title_, 0);
        }
        titleWidth = std::min(titleWidth, limit);
    }
    const bool slotChanged = slot != titleFontSlot_;
    titleFontSlot_ = slot;
    if (slotChanged || edit_->getFont() != *createThemeFont(slot)->handle())
        edit_->setFont(*createThemeFont(slot)->handle(), false);
    const int editHeight = createThemeFont(slot)->height() + textboxPaddingHeight();
    const int titleHeight = title_.empty() ? 0 : createThemeFont(slot)->height();
    top = std::max({titleHeight, editHeight, box > 0 ? scaleY(32) : 0});
    titleRect_ = QRect(left, my, titleWidth, top);
    const int editLeft = titleWidth > 0 ? left + titleWidth + mx : left;
    editRect_ = QRect(editLeft, my, std::max(width - mx - editLeft, 0), top);
    const bool searchable = mode_ == ModeSearch || mode_ == ModeChained;
    const bool wasHidden = edit_->hwnd()->isHidden();
    edit_->hwnd()->setGeometry(editLeft, my + (top - editHeight) / 2, editRect_.width(),
                               editHeight);
    edit_->hwnd()->setVisible(searchable);
    if (searchable && wasHidden && isVisible())
        edit_->setFocus();
}

void WndRun::layoutList(int width, int height, int top) {
    const int mx = controlMarginX();
    const int my = controlMarginY();
    const int listTop = my + top + my;
    const int listBottom = statusRect_.height() > 0 ? statusRect_.top() - my : height - my;
    listRect_ = QRect(mx, listTop, std::max(width - 2 * mx, 0), listBottom - listTop);
    QWidget* view = list_->hwnd();
    if (listRect_.height() <= 0) {
        view->hide();
        return;
    }
    view->setUpdatesEnabled(false);
    view->setGeometry(listRect_);
    view->show();
    view->setUpdatesEnabled(true);
    const int selected = list_->currentIndex();
    if (selected >= 0 && itemHeight_ > 0) {
        const int visibleRows = std::max(listRect_.height() / itemHeight_, 1);
        const int topRow = list_->topIndex();
        if (selected < topRow || selected >= topRow + visibleRows)
            list_->setTopIndex(selected < visibleRows ? 0 : selected);
    }
}

void WndRun::layout(int clientWidth, int clientHeight) {
    if (!exists() || !edit_)
        return;
    if (clientWidth == 0 && clientHeight == 0) {
        clientWidth = hwnd()->width();
        clientHeight = hwnd()->height();
    }
    const uint32_t slotBefore = titleFontSlot_;
    int top = 0;
    layoutTopRow(clientWidth, top);
    const int mx = controlMarginX();
    const int my = controlMarginY();
    statusRect_ = QRect();
    if (theme()->layout & Theme::StatusBar) {
        const int smallHeight = createThemeFont(Theme::Small)->height();
        statusRect_ = QRect(mx, clientHeight - my - smallHeight,
                            editRect_.x() + editRect_.width() - mx, smallHeight);
    }
    const int gripLeft = editRect_.x() + editRect_.width();
    grip_->hwnd()->setGeometry(gripLeft, 0, std::max(clientWidth - gripLeft, 0), clientHeight);
    layoutList(clientWidth, clientHeight, top);
    if (satellite_ && satellite_->isVisible())
        satellite_->followParent();
    if (slotBefore != titleFontSlot_)
        placeOnMonitor(false);
}

// --- Showing and hiding ---------------------------------------------------------------------

void WndRun::show(bool visible) {
    showMode(visible, ShowSearch);
}

void WndRun::showMode(bool visible, uint32_t showMode) {
    if (!exists())
        return;
    if (!visible) {
        hideWindow();
        return;
    }
    const bool wasShown = isVisible() && isRecentlyActive();
    if (host_.hasPackageManager() && !wasShown) {
        host_.cancelMessages(PluginMsg::kindDeactivated);
        host_.broadcastMessage(PluginMsg::kindActivated, PluginMsg::Data::none());
    }
    movingOrSizing_ = false;
    placeOnMonitor(true);
    layout(0, 0);
    WndThemed::show(true);
    auto config = host_.config();
    if (config && hwnd()->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != config->alwaysOnTop)
        setTopmost(config->alwaysOnTop);
    edit_->setFocus();
    showSatellite(satelliteShownForMode());
    if (showMode == ShowHistory)
        refreshList(ModeHistory, false);
    else if (showMode == ShowPaste)
        showPasted(wasShown);
    else
        showRetained();
}

void WndRun::showPasted(bool wasShown) {
    wstr text = normalizeSpaces(host_.clipboardText());
    if (text.size() > maxPasteLength)
        text.resize(maxPasteLength);
    CatalogItemPtr selected = selectedItem();
    if (wasShown && mode_ == ModeSearch && !text.empty() && edit_->getText() == text && selected &&
        selected->category() != CatalogItem::error) {
        executeSelection(0);
        return;
    }
    lastText_.clear();
    lastItem_.reset();
    edit_->setText(text);
    edit_->selectAll();
}

void WndRun::showRetained() {
    auto config = host_.config();
    const int32_t retain = config ? config->retainLastSearch : RetainNo;
    if (retain != RetainSelected && retain != RetainUnselected)
        return;
    wstr text;
    text.swap(lastText_);
    edit_->setText(text);
    if (retain == RetainSelected)
        edit_->selectAll();
    else
        edit_->moveCaretToEnd();
    edit_->invalidate(nullptr, true);
}

void WndRun::hideWindow() {
    focusTimer_->stop();
    rememberLastSearch();
    if (host_.hasPackageManager()) {
        host_.cancelMessages(PluginMsg::kindSuggest);
        host_.cancelMessages(PluginMsg::kindActivated);
    }
    resetSearch();
    invalidate(nullptr, true);
    showSatellite(false);
    WndThemed::show(false);
    if (host_.hasPackageManager())
        host_.broadcastMessage(PluginMsg::kindDeactivated, PluginMsg::Data::none());
}

bool WndRun::onActivate(bool active) {
    if (active) {
        focusTimer_->stop();
        updateStatus();
        if (edit_->hwnd()->isVisible())
            edit_->setFocus();
        return false;
    }
    auto config = host_.config();
    const int32_t mode = config ? config->hideOnFocusLost : FocusLostNo;
    if (mode == FocusLostImmediate)
        focusTimer_->start(1);
    else if (mode == FocusLostDelayed)
        focusTimer_->start(500);
    return false;
}

void WndRun::onFocusTimer() {
    auto config = host_.config();
    if (!isVisible() || !config || config->hideOnFocusLost == FocusLostNo)
        return;
    // The window manager holds the keyboard while the user drags the box.
    if (movingOrSizing_)
        return;
    QWidget* active = QApplication::activeWindow();
    if (active == hwnd() || (satellite_ && active == satellite_->hwnd()))
        return;
    // A confirmation or the About box asked from here takes the focus for a
    // while; the box stays to take the answer.
    if (ModalBox::isOpen() || QApplication::activeModalWidget())
        return;
    show(false);
}

// --- Moving and sizing ---------------------------------------------------------------------

// Dragging by the body: the window system moves the window once the pointer
// moved with the button held. Started on the press, a click would leave the
// window manager waiting in its move for a release it already missed.
void WndRun::moveByTheBody(QPoint cursor) {
    if (cursor == *bodyPressedAt_)
        return;
    bodyPressedAt_.reset();
    QWindow* window = hwnd()->windowHandle();
    if (window && window->startSystemMove()) {
        movingOrSizing_ = true;
        expanded_ = false;
    }
}

void WndRun::onMoved() {
    if (!isVisible() || !(movingOrSizing_ || std::exchange(dragEnding_, false)))
        return;
    recordGeometry(hwnd()->geometry());
}

void WndRun::recordGeometry(const QRect& frame) {
    expanded_ = false;
    host_.captureGeometry(toSysRect(frame));
}

// --- Messages -------------------------------------------------------------------------------

void WndRun::onFontsChanged() {
    itemHeight_ = computeItemHeight();
    separator_ = L" ";
    separator_ += wchar_t(theme()->fonts[Theme::Small].separatorChar);
    separator_ += L" ";
    if (edit_)
        edit_->setFont(*createThemeFont(titleFontSlot_)->handle(), false);
    if (list_)
        list_->setCount(list_->count());
}

void WndRun::onDpiChanged(const QRect&) {
    rebuildFonts();
    // The fonts' new sizes change the box's height; a box left off every
    // monitor goes back to its usual place.
    placeOnMonitor(Sys::windowMonitor(hwnd()) == 0);
    layout(0, 0);
    invalidate(nullptr, true);
}

intptr_t WndRun::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case Size: {
        const QSize size = unpackSize(lParam);
        layout(size.width(), size.height());
        invalidate(nullptr, true);
        return 0;
    }
    case Close:
        show(false);
        return 0;
    case Move:
        // Records the geometry when the window system moved the box for the user.
        onMoved();
        return 0;
    case DrawItem:
        onDrawItem(*reinterpret_cast<DrawItemInfo*>(lParam));
        return 1;
    case MeasureItem:
        reinterpret_cast<MeasureItemInfo*>(lParam)->height = itemHeight_;
        return 1;
    case LButtonDblClk:
        toggleExpanded();
        return 0;
    case LButtonDown:
        // A click is no drag: the move waits for the pointer to go somewhere.
        bodyPressedAt_ = hwnd()->mapToGlobal(unpackPoint(lParam));
        return 0;
    case MouseMove:
        if (bodyPressedAt_ && (wParam & ButtonLeft))
            moveByTheBody(hwnd()->mapToGlobal(unpackPoint(lParam)));
        return WndThemed::wndProc(message, wParam, lParam);
    case LButtonUp:
        bodyPressedAt_.reset();
        // The window system hands the button's release back when the move
        // by the body ends; the window's last position comes after it.
        if (std::exchange(movingOrSizing_, false))
            dragEnding_ = true;
        return WndThemed::wndProc(message, wParam, lParam);
    case RButtonDown:
        host_.showTrayMenu(*this);
        return 0;
    case KeyDown:
    case KeyUp:
    case Char:
        return onKey(nullptr, message, wParam, lParam);
    case Command:
        if (list_ && reinterpret_cast<QWidget*>(lParam) == list_->hwnd() &&
            (wParam >> 16) == ListSelChange) {
            if (theme()->layout & Theme::ListDialNum)
                list_->invalidate(nullptr, false);
            if (mode_ == ModeSearch || mode_ == ModeHistory) {
                while (!chain_.empty())
                    chain_.pop();
                updateIcons();
            }
            updateStatus();
        }
        return 0;
    case EnterSizeMove:
        movingOrSizing_ = true;
        return WndThemed::wndProc(message, wParam, lParam);
    case Sizing:
        movingOrSizing_ = true;
        recordGeometry(*reinterpret_cast<const QRect*>(lParam));
        return WndThemed::wndProc(message, wParam, lParam);
    case CaptureChanged:
    case ExitSizeMove:
        movingOrSizing_ = false;
        return WndThemed::wndProc(message, wParam, lParam);
    default:
        return WndThemed::wndProc(message, wParam, lParam);
    }
}

void WndRun::paint(QPainter& painter, const QRect& rect) {
    WndThemed::paint(painter, rect);
    const Theme& t = *theme();
    if (!title_.empty() && rect.intersects(titleRect_)) {
        painter.setFont(*createThemeFont(titleFontSlot_)->handle());
        painter.setPen(colour(t, Theme::Title));
        const QString text =
            painter.fontMetrics().elidedText(toQString(title_), Qt::ElideRight, titleRect_.width());
        painter.drawText(titleRect_, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    if ((t.layout & Theme::StatusBar) && !status_.empty()) {
        painter.setFont(*createThemeFont(Theme::Small)->handle());
        painter.setPen(colour(t, Theme::Status));
        const QString text = painter.fontMetrics().elidedText(toQString(status_), Qt::ElideRight,
                                                              statusRect_.width());
        painter.drawText(statusRect_, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
}
