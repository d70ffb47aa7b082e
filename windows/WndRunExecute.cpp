#include "windows/WndRun.h"

#include "core/Logger.h"
#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/WndMessage.h"
#include "packages/PluginMsg.h"
#include "windows/LaunchBoxHost.h"

using namespace Gui;

namespace {

void logNotSent(const CatalogItem& item) {
    wstr text;
    logMessage(
        Logger::Warning,
        wstr::format(text, L"\"{}\" was not executed: its plugin is not loaded or refused it",
                     item.label()));
}

} // namespace

CatalogItemPtr WndRun::chooseHitItem(const CatalogItemPtr& first, const CatalogItemPtr& executed) {
    if (first->baseId() != executed->baseId())
        return executed;
    return executed->hitHint() == CatalogItem::noargs ? first : executed;
}

void WndRun::executeSelection(uintptr_t modifiers) {
    if (!host_.config() || !host_.hasPackageManager())
        return;
    const bool sent = mode_ == ModeActions ? executeAction() : executeItem(modifiers);
    if (sent)
        afterExecution(modifiers);
}

// Modes 0, 1 and 3. True when the item's plugin received "execute".
bool WndRun::executeItem(uintptr_t) {
    const CatalogItemPtr item = selectedItem();
    if (!item || item->category() == CatalogItem::error)
        return false;
    if (mode_ != ModeHistory && item->requiresArgs() && !item->hasArgs()) {
        refreshList(ModeChained, false);
        return false;
    }
    const CatalogItemPtr first =
        chain_.empty() || !chain_.steps().front()->item ? item : chain_.steps().front()->item;
    if (!host_.sendMessage(item->pluginId(), PluginMsg::kindExecute,
                           PluginMsg::Data::execution(item, nullptr))) {
        logNotSent(*item);
        return false;
    }
    if (mode_ == ModeSearch)
        host_.addSearchTerms(edit_->getText(), first);
    host_.clearSuggestions();
    recordHits(first, item, nullptr);
    return true;
}

// Mode 2: the chain's last item with the chosen action.
bool WndRun::executeAction() {
    if (chain_.empty())
        return false;
    const CatalogItemPtr last = chain_.steps().back()->item;
    if (!last || last->category() == CatalogItem::error)
        return false;
    int row = list_->currentIndex();
    if (row < 0 && !actions_.empty())
        row = 0;
    CatalogActionPtr action;
    if (row >= 0 && static_cast<std::size_t>(row) < actions_.size())
        action = actions_[row];
    if (!host_.sendMessage(last->pluginId(), PluginMsg::kindExecute,
                           PluginMsg::Data::execution(last, action))) {
        logNotSent(*last);
        return false;
    }
    host_.clearSuggestions();
    const CatalogItemPtr& first =
        chain_.steps().front()->item ? chain_.steps().front()->item : last;
    recordHits(first, last, action);
    return true;
}

// At most two hits, the chain's first item first.
void WndRun::recordHits(const CatalogItemPtr& first, const CatalogItemPtr& executed,
                        const CatalogActionPtr& action) {
    const CatalogItemPtr hit = chooseHitItem(first, executed);
    if (first->baseId() != hit->baseId() && !first->loopOnSuggest())
        host_.recordHit(first, nullptr);
    host_.recordHit(hit, action);
}

void WndRun::afterExecution(uintptr_t modifiers) {
    const bool ctrl = modifiers & ModCtrl;
    const bool shift = modifiers & ModShift;
    if (!shift) {
        show(false);
        return;
    }
    rememberLastSearch();
    if (!ctrl) {
        resetSearch();
        return;
    }
    if (mode_ != ModeChained && mode_ != ModeActions)
        return;
    const wstr text = chain_.empty() ? wstr() : chain_.steps().front()->text;
    resetSearch();
    edit_->setText(text);
}
