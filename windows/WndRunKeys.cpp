#include "windows/WndRun.h"

#include "core/Logger.h"
#include "core/SysCommandLine.h"
#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/QtText.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"
#include "windows/ItemDrag.h"
#include "windows/LaunchBoxHost.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <cwctype>

using namespace Gui;

namespace {

constexpr uint32_t vkDigit0 = 0x30;
constexpr uint32_t vkNumpad0 = 0x60;
constexpr uint32_t vkX = 0x58;
constexpr uint32_t vkV = 0x56;
constexpr uint32_t vkF2 = VkF1 + 1;
constexpr uint32_t vkF3 = VkF1 + 2;
constexpr uint32_t vkF5 = VkF1 + 4;
constexpr std::size_t maxDropPath = 2600;

int digitOf(uintptr_t key) {
    if (key >= vkDigit0 && key <= vkDigit0 + 9)
        return static_cast<int>(key - vkDigit0);
    if (key >= vkNumpad0 && key <= vkNumpad0 + 9)
        return static_cast<int>(key - vkNumpad0);
    return -1;
}

bool isBlankOrControl(wchar_t ch) {
    return ch == L' ' || std::iswcntrl(static_cast<wint_t>(ch)) || std::iswspace(ch);
}

// Code points before the UTF-16 position.
std::size_t codePointsBefore(const QString& text, int units) {
    return toWstr(text.left(units)).size();
}

} // namespace

bool WndRun::isBidiControl(wchar_t ch) {
    return ch == 0x061C || ch == 0x200E || ch == 0x200F || (ch >= 0x202A && ch <= 0x202E) ||
           (ch >= 0x2066 && ch <= 0x2069);
}

wstr WndRun::normalizeSpaces(const wstr& text) {
    wstr out;
    out.reserve(text.size());
    bool blank = false;
    for (wchar_t ch : text) {
        if (isBidiControl(ch))
            continue;
        if (isBlankOrControl(ch)) {
            blank = true;
            continue;
        }
        if (blank)
            out += L' ';
        blank = false;
        out += ch;
    }
    return out;
}

// wchar_t holds whole code points here, so no cut splits a character.
wstr WndRun::pasteText(const wstr& clipboard) {
    wstr text = normalizeSpaces(clipboard);
    if (text.size() > maxPasteLength)
        text.resize(maxPasteLength);
    return wstr::trimRight(text);
}

// --- Keys ----------------------------------------------------------------------------------

intptr_t WndRun::onKey(Wnd* control, uint32_t message, uintptr_t key, intptr_t modifiers) {
    const auto mods = static_cast<uintptr_t>(modifiers);
    bool handled = false;
    intptr_t result = 0;
    if (message == KeyDown)
        result = onKeyDown(control, key, mods, handled);
    else if (message == Char)
        result = onChar(control, key, mods, handled);
    else if (message == KeyUp && key == VkUp && (mods & ModMeta)) {
        toggleExpanded();
        handled = true;
    } else if (message == KeyUp && key == VkMenu) {
        handled = true;
    }
    if (handled)
        return result;
    return control ? control->wndProc(message, key, modifiers)
                   : WndThemed::wndProc(message, key, modifiers);
}

intptr_t WndRun::onKeyDown(Wnd* control, uintptr_t key, uintptr_t mods, bool& handled) {
    const bool ctrl = mods & ModCtrl;
    const bool shift = mods & ModShift;
    const bool alt = mods & ModAlt;
    handled = true;
    if (alt && key == VkReturn) {
        if (shift)
            shellProperties();
        else if (CatalogItemPtr item = selectedItem())
            host_.showItemProperties(item);
        return 0;
    }
    if (alt && (key == VkLeft || key == VkRight || key == vkX || key == VkSpace)) {
        if (key == VkLeft)
            stepBack(true);
        else if (key == VkRight)
            pushSelection();
        else if (key == vkX)
            toggleExpanded();
        return 0;
    }
    if (control == edit_.get() && ((ctrl && !alt && key == vkV) || (shift && key == VkInsert))) {
        onPaste();
        return 0;
    }
    const int rows = list_->count();
    switch (key) {
    case VkTab:
        if (mode_ == ModeHistory || control == edit_.get())
            pushSelection();
        else
            edit_->setFocus();
        return 0;
    case VkReturn:
        if (!ctrl || shift || mode_ == ModeActions)
            executeSelection(mods);
        else
            refreshList(ModeActions, false);
        return 0;
    case VkPrior:
    case VkNext: {
        if (rows == 0)
            break;
        const int current = list_->currentIndex();
        const int step = key == VkNext ? pageRows : -pageRows;
        selectRow(current < 0 ? 0 : std::clamp(current + step, 0, rows - 1));
        return 0;
    }
    case VkHome:
    case VkEnd:
        if (!ctrl || shift)
            break;
        if (rows > 0)
            selectRow(key == VkHome ? 0 : rows - 1);
        return 0;
    case VkUp:
        list_->moveSelection(false, 1, host_.config() && host_.config()->loopList);
        return 0;
    case VkDown:
        if ((ctrl && mode_ != ModeHistory) ||
            (!ctrl && mode_ == ModeSearch && edit_->getTextLengthExact() == 0))
            refreshList(ModeHistory, false);
        else
            list_->moveSelection(true, 1, host_.config() && host_.config()->loopList);
        return 0;
    case VkDelete:
        if (!ctrl || shift)
            break;
        if (CatalogItemPtr item = selectedItem(); item && host_.eraseFromHistory(item, *this))
            onHistoryErased();
        return 0;
    case VkF1:
        host_.showAbout();
        return 0;
    case vkF2:
        host_.postMainCommand(commandConsole);
        return 0;
    case vkF3:
        host_.postMainCommand(commandDiagnostics);
        return 0;
    case vkF5:
        host_.postMainCommand(commandRefreshAll);
        return 0;
    default:
        if (const int digit = digitOf(key); digit >= 0 && ctrl && !alt && rows > 0) {
            pickRow(digit, mods);
            return 0;
        }
        break;
    }
    handled = false;
    return 0;
}

intptr_t WndRun::onChar(Wnd* control, uintptr_t ch, uintptr_t mods, bool& handled) {
    const bool ctrl = mods & ModCtrl;
    const bool shift = mods & ModShift;
    handled = true;
    if (mods & ModAlt) {
        if (ch == L'\r' || ch == L' ' || control == edit_.get())
            return 0;
        handled = false;
        return 0;
    }
    if (ch == L'\b' && edit_->getTextLengthExact() == 0 && stepBack(false))
        return 0;
    if (ch == 27) {
        auto config = host_.config();
        if (mode_ == ModeHistory && results_->empty())
            clearOrHide();
        else if (shift || (config && config->escapeAlwaysCloses))
            show(false);
        else
            clearOrHide();
        return 0;
    }
    auto config = host_.config();
    if (ch == L' ' && config && config->spaceAsTab && !ctrl && !shift &&
        (mode_ == ModeHistory ||
         (mode_ == ModeSearch && control == edit_.get() && edit_->isCaretAtEnd()))) {
        pushSelection();
        return 0;
    }
    handled = false;
    return 0;
}

// Ctrl+digit: the digit names a visible row (1 the top one, 0 the tenth); a
// row that does not exist does nothing.
void WndRun::pickRow(int digit, uintptr_t modifiers) {
    const int top = list_->topIndex();
    if (top < 0)
        return;
    const int row = top + (digit == 0 ? 9 : digit - 1);
    if (row >= list_->count())
        return;
    selectRow(row);
    if ((modifiers & ModShift) && mode_ != ModeActions) {
        if (!refreshList(ModeActions, false))
            executeSelection(modifiers);
        return;
    }
    executeSelection(modifiers);
}

void WndRun::selectRow(int row) {
    if (list_->currentIndex() != row)
        list_->select(row, false);
}

void WndRun::clearOrHide() {
    if (mode_ != ModeHistory && chain_.empty() && edit_->getTextLengthExact() == 0) {
        show(false);
        return;
    }
    resetSearch();
    edit_->setFocus();
    auto config = host_.config();
    const bool mousePos = config && config->geometry.mode == GeometrySetting::MousePos;
    placeOnMonitor(expanded_ || !mousePos);
    layout(0, 0);
    invalidate(nullptr, true);
}

void WndRun::shellProperties() {
    CatalogItemPtr item = selectedItem();
    if (!item || item->category() != CatalogItem::file)
        return;
    wstr text;
    logMessage(Logger::Warning,
               wstr::format(text,
                            L"The \"properties\" shell verb has no meaning on this system; no "
                            L"properties shown for {}",
                            item->target()));
}

// --- Paste, drops and the mouse --------------------------------------------------------------

void WndRun::onPaste() {
    const wstr text = pasteText(host_.clipboardText());
    if (!text.empty())
        edit_->replaceSelection(text);
}

// A middle click pastes the primary selection where the press put the caret,
// cleaned as the paste keys clean the clipboard.
void WndRun::onPastePrimary() {
    const wstr text = pasteText(toWstr(QGuiApplication::clipboard()->text(QClipboard::Selection)));
    if (text.empty())
        return;
    static_cast<QLineEdit*>(edit_->hwnd())->deselect();
    edit_->replaceSelection(text);
}

bool WndRun::onDropFiles(const std::vector<wstr>& paths, Wnd& target, QPoint at) {
    if (&target != edit_.get() || paths.size() != 1)
        return false;
    wstr path = paths.front().substr(0, paths.front().find(L'\0'));
    if (path.empty() || path.size() > maxDropPath)
        return false;
    if (mode_ == ModeChained)
        path = Sys::quoteArgument(path);
    auto* line = static_cast<QLineEdit*>(edit_->hwnd());
    edit_->insertText(path, codePointsBefore(line->text(), line->cursorPositionAt(at)));
    return true;
}

intptr_t WndRun::onChildMessage(Wnd& child, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case KeyDown:
    case KeyUp:
    case Char:
        return onKey(&child, message, wParam, lParam);
    case MouseWheel: {
        const auto delta = static_cast<intptr_t>(wParam);
        list_->moveSelection(delta < 0, pageRows, host_.config() && host_.config()->loopList);
        return 0;
    }
    case Paste:
        if (&child != edit_.get())
            break;
        onPaste();
        return 0;
    case MButtonUp:
        if (&child != edit_.get() || !QGuiApplication::clipboard()->supportsSelection())
            break;
        onPastePrimary();
        return 0;
    case Drop: {
        auto* event = reinterpret_cast<QDropEvent*>(lParam);
        std::vector<wstr> paths;
        for (const QUrl& url : event->mimeData()->urls())
            if (url.isLocalFile())
                paths.push_back(toWstr(url.toLocalFile()));
        if (event->mimeData()->urls().size() == static_cast<int>(paths.size()) &&
            onDropFiles(paths, child, event->position().toPoint()))
            event->acceptProposedAction();
        else
            event->ignore();
        return 0;
    }
    case RButtonDown:
    case RButtonUp:
    case LButtonDown:
    case LButtonDblClk:
    case MouseMove:
        if (&child == list_.get() && onListMouse(message, wParam, lParam))
            return 0;
        break;
    default:
        break;
    }
    return child.wndProc(message, wParam, lParam);
}

// True when the mouse message was taken.
bool WndRun::onListMouse(uint32_t message, uintptr_t flags, intptr_t point) {
    auto* view = static_cast<QListView*>(list_->hwnd());
    const QPoint at = unpackPoint(point);
    const int row = view->indexAt(at).row();
    const bool resultRow =
        row >= 0 && mode_ != ModeActions && static_cast<std::size_t>(row) < results_->size();
    // The item menu comes with the release: a press may begin a drag.
    if (message == RButtonDown)
        return true;
    if (message == RButtonUp) {
        if (resultRow) {
            selectRow(row);
            host_.showItemMenu(selectedItem(), *this, view->viewport()->mapToGlobal(at));
        }
        return true;
    }
    if (message == LButtonDblClk) {
        if (row >= 0)
            executeSelection(flags);
        return true;
    }
    if (!singleClick_ || row < 0)
        return false;
    if (message == MouseMove) {
        selectRow(row);
        return false;
    }
    list_->select(row, false);
    const bool ctrl = flags & ModCtrl;
    const bool shift = flags & ModShift;
    if (ctrl && !shift && mode_ != ModeActions)
        refreshList(ModeActions, false);
    else if (ctrl || shift)
        return false;
    else
        executeSelection(flags);
    return true;
}

bool WndRun::dragRow(QPoint at) {
    auto* view = static_cast<QListView*>(list_->hwnd());
    const int row = view->indexAt(at).row();
    if (row < 0 || mode_ == ModeActions || static_cast<std::size_t>(row) >= results_->size())
        return false;
    selectRow(row);
    CatalogItemPtr item = selectedItem();
    if (!item || !ItemDrag::isDraggable(*item))
        return false;
    ItemDrag::start(view, item);
    return true;
}

void WndRun::installPasteMenu() {
    auto* line = static_cast<QLineEdit*>(edit_->hwnd());
    line->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(line, &QLineEdit::customContextMenuRequested, line, [this, line](QPoint at) {
        std::unique_ptr<QMenu> menu(line->createStandardContextMenu());
        // The menu's paste goes through the same cleaning as the paste keys.
        for (QAction* action : menu->actions()) {
            if (action->objectName() != QStringLiteral("edit-paste"))
                continue;
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            QObject::connect(action, &QAction::triggered, line, [this] { onPaste(); });
        }
        menu->exec(line->mapToGlobal(at));
    });
}
