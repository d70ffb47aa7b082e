#include "windows/WndRun.h"

#include "catalog/AppIdentity.h"
#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/QtText.h"
#include "packages/PluginMsg.h"
#include "windows/LaunchBoxHost.h"

#include <QLineEdit>
#include <QSignalBlocker>

using namespace Gui;

namespace {

const CatalogItemPtr& lastItemOf(const CatalogSearchChain& chain) {
    static const CatalogItemPtr none;
    return chain.empty() ? none : chain.steps().back()->item;
}

const CatalogItemPtr& firstItemOf(const CatalogSearchChain& chain) {
    static const CatalogItemPtr none;
    return chain.empty() ? none : chain.steps().front()->item;
}

wstr firstTextOf(const CatalogSearchChain& chain) {
    return chain.empty() ? wstr() : chain.steps().front()->text;
}

const wchar_t* plural(std::size_t n, const wchar_t* suffix) {
    return n == 1 ? L"" : suffix;
}

// Puts the text into the search box without the change notification: the
// caller runs the text-changed handling itself, with the item to reselect.
void setTextQuietly(CtrlEditPadded& edit, const wstr& text) {
    QSignalBlocker block(edit.hwnd());
    edit.setText(text);
}

} // namespace

void WndRun::onSearchTextChanged(const CatalogItemPtr& reselect) {
    if (mode_ == ModeActions || mode_ == ModeHistory)
        return;
    if (!host_.config() || !host_.hasPackageManager())
        return;
    const wstr text = edit_->getText();
    host_.cancelMessages(PluginMsg::kindSuggest);
    host_.clearSuggestions();
    const CatalogItemPtr& chained = lastItemOf(chain_);
    const auto data = PluginMsg::Data::suggestion(text, chain_.items());
    if (!chained) {
        if (!text.empty())
            host_.broadcastMessage(PluginMsg::kindSuggest, data);
    } else {
        host_.sendMessage(chained->pluginId(), PluginMsg::kindSuggest, data);
    }
    runSearch(reselect);
}

void WndRun::runSearch(const CatalogItemPtr& reselect) {
    if (mode_ == ModeActions || mode_ == ModeHistory || !host_.config() || !isVisible())
        return;
    results_->clear();
    matchCount_ = 0;
    host_.search(results_, edit_->getText(), lastItemOf(chain_), maxResults_);
    matchCount_ = results_->totalCount();
    results_->truncate(maxResults_);
    CatalogItemPtr target = reselect;
    if (!target && mode_ == ModeSearch)
        target = lastItem_;
    lastItem_.reset();
    int row = 0;
    if (target) {
        for (std::size_t i = 0; i < results_->size(); ++i) {
            const CatalogItemPtr& item = (*results_)[i]->item();
            if (item == target || item->id() == target->id()) {
                row = static_cast<int>(i);
                break;
            }
        }
    }
    fillList(results_->size(), row, true);
    placeOnMonitor(false);
    invalidate(&titleRect_, true);
    updateStatus();
}

// Rows carry no data: row i draws result i, or action i in the actions list.
void WndRun::fillList(std::size_t rows, int select, bool notify) {
    QWidget* view = list_->hwnd();
    view->setUpdatesEnabled(false);
    list_->setCount(static_cast<int>(std::min<std::size_t>(rows, 32767)));
    list_->setTopIndex(0);
    if (rows > 0 && select >= 0) {
        if (notify)
            list_->select(select, true);
        else
            list_->select(select, false);
    } else if (rows == 0 && notify) {
        // Nothing is selected any more: the satellite and the status line
        // forget the item that was.
        list_->notifySelectionChange();
    }
    view->setUpdatesEnabled(true);
    list_->invalidate(nullptr, false);
}

CatalogItemPtr WndRun::selectedItem() const {
    if (!list_ || mode_ == ModeActions)
        return {};
    int row = list_->currentIndex();
    if (row < 0 && list_->count() > 0)
        row = 0;
    if (row < 0 || static_cast<std::size_t>(row) >= results_->size())
        return {};
    return (*results_)[row]->item();
}

CatalogItemPtr WndRun::copyOf(const CatalogItemPtr& item) const {
    CatalogItemPtr copy = item->clone();
    copy->setArgs(item->rawArgs(), item->displayArgsField());
    return copy;
}

void WndRun::afterModeChange() {
    updateStatus();
    placeOnMonitor(false);
    layout(0, 0);
    invalidate(nullptr, true);
}

// --- Mode switch ------------------------------------------------------------------------

bool WndRun::refreshList(uint32_t newMode, bool back) {
    if (newMode == mode_ && (mode_ == ModeSearch || mode_ == ModeActions))
        return true;
    if (!host_.config() || !host_.hasPackageManager())
        return false;
    switch (newMode) {
    case ModeSearch:
        if (mode_ == ModeChained && !firstTextOf(chain_).empty()) {
            backToSearch();
        } else {
            resetSearch();
            edit_->setFocus();
        }
        return true;
    case ModeHistory:
        showHistory();
        return true;
    case ModeChained:
        if (mode_ == ModeActions)
            return leaveActions();
        if (mode_ == ModeChained && back)
            return popChain();
        return pushChain(mode_);
    case ModeActions:
        return mode_ == ModeChained ? chainedActions() : showActions();
    default:
        return false;
    }
}

// Back to an empty search in mode 0 with the text given.
void WndRun::clearSearch(const wstr& text) {
    mode_ = ModeSearch;
    chain_ = CatalogSearchChain();
    results_->clear();
    matchCount_ = 0;
    actions_.clear();
    title_.clear();
    setTextQuietly(*edit_, text);
    list_->setCount(0);
    updateStatus();
}

void WndRun::backToSearch() {
    const CatalogItemPtr noted = lastItemOf(chain_);
    const wstr text = firstTextOf(chain_);
    host_.cancelMessages(PluginMsg::kindSuggest);
    clearSearch(text);
    onSearchTextChanged(noted);
    afterModeChange();
}

// Pushes the selected item onto the chain: mode 1 with its arguments to type,
// or its actions when it takes no arguments. From mode 1 this adds a step.
bool WndRun::pushChain(uint32_t fromMode) {
    const CatalogItemPtr item = selectedItem();
    if (!item || item->category() == CatalogItem::error)
        return false;
    if (!item->acceptsArgs()) {
        if (host_.countItemActions(item) == 0)
            return false;
        return showActions();
    }
    host_.cancelMessages(PluginMsg::kindSuggest);
    const wstr text = fromMode == ModeHistory ? host_.historyTerms(item) : edit_->getText();
    chain_.push(text, copyOf(item));
    mode_ = ModeChained;
    results_->clear();
    matchCount_ = 0;
    actions_.clear();
    setTitle(item->label());
    list_->setCount(0);
    setTextQuietly(*edit_, item->displayedArgs());
    onSearchTextChanged(nullptr);
    afterModeChange();
    return true;
}

bool WndRun::popChain() {
    if (chain_.size() <= 1) {
        backToSearch();
        return true;
    }
    const auto popped = chain_.pop();
    setTitle(lastItemOf(chain_)->label());
    setTextQuietly(*edit_, popped->text);
    updateStatus();
    onSearchTextChanged(popped->item);
    afterModeChange();
    return true;
}

bool WndRun::leaveActions() {
    const auto& steps = chain_.steps();
    if (steps.size() <= 1 || !steps[steps.size() - 2]->item ||
        !steps[steps.size() - 2]->item->acceptsArgs()) {
        backToSearch();
        return true;
    }
    host_.cancelMessages(PluginMsg::kindSuggest);
    mode_ = ModeChained;
    results_->clear();
    matchCount_ = 0;
    actions_.clear();
    setTitle(steps[steps.size() - 2]->item->label());
    list_->setCount(0);
    const auto popped = chain_.pop();
    setTextQuietly(*edit_, popped->text);
    edit_->selectAll();
    onSearchTextChanged(popped->item);
    afterModeChange();
    return true;
}

// The actions of the selected result of a chained search, or of the chained
// item itself.
bool WndRun::chainedActions() {
    const CatalogItemPtr& chained = lastItemOf(chain_);
    if (!chained)
        return false;
    CatalogItemPtr item;
    const int row = list_->currentIndex();
    if (row >= 0 && static_cast<std::size_t>(row) < results_->size())
        item = (*results_)[row]->item();
    else if (!chained->requiresArgs())
        item = chained;
    if (!item || item->category() == CatalogItem::error ||
        (item->requiresArgs() && !item->hasArgs()))
        return false;
    std::vector<CatalogActionPtr> actions;
    const std::size_t select = host_.getItemActions(item, actions);
    if (actions.empty())
        return false;
    host_.cancelMessages(PluginMsg::kindSuggest);
    mode_ = ModeActions;
    chain_.push(edit_->getText(), copyOf(item));
    actions_ = std::move(actions);
    results_->clear();
    matchCount_ = 0;
    host_.clearSuggestions();
    setTitle(actionsTitle(*item));
    fillList(actions_.size(), static_cast<int>(select), true);
    afterModeChange();
    return true;
}

// Plugins name the items: a label must not rearrange the title band.
void WndRun::setTitle(wstr title) {
    std::erase_if(title, isBidiControl);
    title_ = std::move(title);
}

// The actions list names the chain's last item and the arguments it gets.
wstr WndRun::actionsTitle(const CatalogItem& item) const {
    wstr title = lastItemOf(chain_)->label();
    if (!item.displayedArgs().empty())
        title += separator_ + item.displayedArgs();
    return title;
}

bool WndRun::showActions() {
    const CatalogItemPtr item = selectedItem();
    if (!item || item->category() == CatalogItem::error)
        return false;
    std::vector<CatalogActionPtr> actions;
    const std::size_t select = host_.getItemActions(item, actions);
    if (actions.empty())
        return false;
    host_.cancelMessages(PluginMsg::kindSuggest);
    const wstr text = mode_ == ModeHistory ? host_.historyTerms(item) : edit_->getText();
    chain_.push(text, copyOf(item));
    if (item->acceptsArgs())
        chain_.push(item->displayedArgs(), copyOf(item));
    mode_ = ModeActions;
    actions_ = std::move(actions);
    results_->clear();
    matchCount_ = 0;
    host_.clearSuggestions();
    setTitle(actionsTitle(*item));
    fillList(actions_.size(), static_cast<int>(select), true);
    afterModeChange();
    return true;
}

void WndRun::showHistory() {
    const bool wasExpanded = expanded_;
    resetSearch();
    expanded_ = wasExpanded;
    mode_ = ModeHistory;
    matchCount_ = host_.historyResults(*results_);
    results_->truncate(maxResults_);
    setTitle(matchCount_ > 0 ? L"History" : L"History is empty (press Esc)");
    fillList(results_->size(), 0, true);
    afterModeChange();
}

void WndRun::onHistoryErased() {
    if (mode_ == ModeHistory)
        showHistory();
    else
        runSearch(nullptr);
}

void WndRun::pushSelection() {
    if (mode_ == ModeActions)
        return;
    if (mode_ == ModeChained) {
        const CatalogItemPtr item = selectedItem();
        refreshList(item && item->loopOnSuggest() ? ModeChained : ModeActions, false);
        return;
    }
    const uint32_t from = mode_;
    if (refreshList(ModeChained, false) && from == ModeSearch && firstItemOf(chain_))
        host_.addSearchTerms(firstTextOf(chain_), firstItemOf(chain_));
}

bool WndRun::stepBack(bool forced) {
    if (!forced && edit_->getTextLengthExact() > 0)
        return false;
    switch (mode_) {
    case ModeHistory:
        return refreshList(ModeSearch, false);
    case ModeActions:
    case ModeChained:
        return refreshList(ModeChained, true);
    default:
        return false;
    }
}

void WndRun::onActionsChanged() {
    if (!isVisible() || mode_ != ModeActions || !lastItemOf(chain_))
        return;
    actions_.clear();
    const std::size_t select = host_.getItemActions(lastItemOf(chain_), actions_);
    list_->setCount(static_cast<int>(actions_.size()));
    if (!actions_.empty() && static_cast<int>(select) != list_->currentIndex())
        list_->select(static_cast<int>(select), true);
    placeOnMonitor(false);
    updateStatus();
    layout(0, 0);
    invalidate(nullptr, true);
}

void WndRun::resetSearch() {
    if (host_.hasPackageManager())
        host_.cancelMessages(PluginMsg::kindSuggest);
    expanded_ = false;
    clearSearch({});
    if (host_.hasPackageManager())
        host_.clearSuggestions();
}

void WndRun::rememberLastSearch() {
    if (mode_ == ModeHistory)
        return;
    auto config = host_.config();
    const int32_t retain = config ? config->retainLastSearch : RetainNo;
    if (retain != RetainSelected && retain != RetainUnselected) {
        lastText_.clear();
        lastItem_.reset();
        return;
    }
    if (mode_ == ModeSearch) {
        lastText_ = edit_->getText();
        lastItem_.reset();
        return;
    }
    lastText_ = firstTextOf(chain_);
    lastItem_ = firstItemOf(chain_);
}

// --- Status line -------------------------------------------------------------------------

void WndRun::statusParts(std::vector<wstr>& parts) {
    wstr text;
    const uint64_t tasks = host_.hasPackageManager() ? host_.activeTasks() : 0;
    if (tasks > 0)
        parts.push_back(wstr::format(text, L"{} worker{} active", tasks, plural(tasks, L"s")));
    const bool listsResults = mode_ != ModeActions;
    if (CatalogItemPtr item = listsResults ? selectedItem() : nullptr) {
        const std::size_t count = host_.countItemActions(item);
        if (count > 0)
            parts.push_back(
                wstr::format(text = {}, L"{} action{} available", count, plural(count, L"s")));
        parts.push_back(wstr::format(text = {}, L"{} item", host_.packageName(item->packageId())));
    }
    if (listsResults && matchCount_ > 0) {
        const std::size_t shown = results_->size();
        if (shown == matchCount_)
            parts.push_back(wstr::format(text = {}, L"{} result{}", shown, plural(shown, L"s")));
        else
            parts.push_back(wstr::format(text = {}, L"{} result{} out of {} match{}", shown,
                                         plural(shown, L"s"), matchCount_,
                                         plural(matchCount_, L"es")));
    }
    const bool emptySearch = mode_ == ModeSearch && edit_->getTextLengthExact() == 0;
    if (emptySearch) {
        const std::size_t items = host_.catalogItemCount();
        const std::size_t packages = host_.packageCount();
        parts.push_back(
            wstr::format(text = {}, L"{} item{} in catalog", items, plural(items, L"s")));
        parts.push_back(wstr::format(text = {}, L"{} package{}", packages, plural(packages, L"s")));
    }
    if (parts.empty() || emptySearch) {
        const AppIdentity identity = AppIdentity::get();
        parts.push_back(wstr::format(text = {}, L"{} {}", identity.title, identity.version));
    }
}

void WndRun::updateStatus() {
    if (!(theme()->layout & Theme::StatusBar) || !edit_)
        return;
    std::vector<wstr> parts;
    statusParts(parts);
    wstr joined;
    wstr::join(joined, parts, separator_);
    // A package's name must not rearrange the line either.
    std::erase_if(joined, isBidiControl);
    if (joined == status_)
        return;
    status_ = std::move(joined);
    invalidate(&statusRect_, true);
}
