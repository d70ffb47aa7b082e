#include "catalog/Catalog.h"

#include "core/Logger.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace {

struct BuiltinAction {
    const wchar_t* name;
    const wchar_t* label;
    const wchar_t* shortDesc;
};

const BuiltinAction fileActions[] = {
    {L"open", L"Open", L"Open file/application"},
    {L"edit", L"Edit", L"Edit file using the editor setting or system's default"},
    {L"runas", L"Open as Administrator", L"Launch application with elevated permissions"},
    {L"openwith", L"Open With...", L"Open file with..."},
    {L"explore", L"Explore", L"Show in file explorer"},
    {L"explore_resolved_path", L"Explore Final Path",
     L"Show target's path in the explorer if file is a link"},
    {L"properties", L"Properties", L"Display file's properties"},
    {L"copy_path", L"Copy Path", L"Copy file's path to clipboard"},
    {L"copy_resolved_path", L"Copy Final Path",
     L"Copy file's path to clipboard or the target path if file is a link"},
    {L"print", L"Print document", L"Print the document"},
};

const BuiltinAction urlActions[] = {
    {L"browse", L"Open", L"Open URL"},
    {L"browse_private", L"Open in Private mode", L"Open URL in Private mode"},
    {L"copy", L"Copy URL", L"Copy URL to clipboard"},
};

template <std::size_t N>
std::vector<CatalogActionPtr> makeActions(const BuiltinAction (&table)[N]) {
    std::vector<CatalogActionPtr> actions;
    for (const BuiltinAction& a : table)
        actions.push_back(std::make_shared<CatalogAction>(CatalogAction::appPluginId, a.name,
                                                          a.label, a.shortDesc, L""));
    return actions;
}

// The suggestion that the item updates (one of the same id, or the plugin's
// error item) or becomes.
CatalogItemPtr storeSuggestion(std::vector<CatalogItemPtr>& list, const CatalogItemPtr& item) {
    bool isError = item->category() == CatalogItem::error;
    auto existing = std::find_if(list.begin(), list.end(), [&](const CatalogItemPtr& i) {
        return isError ? i->category() == CatalogItem::error : i->id() == item->id();
    });
    if (existing == list.end()) {
        list.push_back(item);
        return item;
    }
    if (!isError && *existing != item)
        (*existing)->merge(*item);
    return *existing;
}

bool isValidMethodPair(uint32_t match, uint32_t sort) {
    bool listed = sort == Catalog::sortKeepOrder || sort == Catalog::sortByTarget ||
                  sort == Catalog::sortByItem;
    if (match == Catalog::matchAll)
        return listed;
    return match == Catalog::matchFuzzy && (listed || sort == Catalog::sortByScore);
}

} // namespace

void Catalog::addBuiltinActions() {
    std::map<uint32_t, std::vector<CatalogActionPtr>>& app = actions_[CatalogAction::appPluginId];
    app[CatalogItem::file] = makeActions(fileActions);
    app[CatalogItem::url] = makeActions(urlActions);
}

template <typename Fn> void Catalog::forEachAction(const CatalogItem& item, Fn&& fn) {
    for (uint64_t owner : {CatalogAction::appPluginId, item.pluginId()}) {
        auto plugin = actions_.find(owner);
        if (plugin == actions_.end())
            continue;
        auto category = plugin->second.find(item.category());
        if (category == plugin->second.end())
            continue;
        for (const CatalogActionPtr& action : category->second)
            fn(action);
    }
}

std::size_t Catalog::countItemActions(const CatalogItemPtr& item) {
    if (!item || !item->isValid())
        return 0;
    Mutex::Lock lock(mutex_);
    std::size_t count = 0;
    forEachAction(*item, [&count](const CatalogActionPtr&) { ++count; });
    return count;
}

std::size_t Catalog::getItemActions(const CatalogItemPtr& item,
                                    std::vector<CatalogActionPtr>& actions) {
    if (!item || !item->isValid())
        return 0;
    Mutex::Lock lock(mutex_);
    CatalogActionPtr last = history_.lastAction(item);
    std::size_t lastIndex = 0;
    forEachAction(*item, [&](const CatalogActionPtr& action) {
        if (last && action->id() == last->id() && lastIndex == 0)
            lastIndex = actions.size();
        actions.push_back(action);
    });
    return lastIndex;
}

std::size_t Catalog::setPluginActions(CatalogPlugin& plugin, uint32_t category,
                                      const std::vector<CatalogActionPtr>& actions) {
    Mutex::Lock lock(mutex_);
    if (plugin.id() == 0 || plugin.name().empty() || category == 0 || category == 0xFFFFFFFF)
        return 0;
    std::vector<CatalogActionPtr> kept;
    std::unordered_set<uint64_t> keptIds;
    for (const CatalogActionPtr& action : actions) {
        if (action && action->id() != 0 && action->pluginId() == plugin.id() &&
            keptIds.insert(action->id()).second)
            kept.push_back(action);
    }
    if (kept.empty()) {
        auto entry = actions_.find(plugin.id());
        if (entry != actions_.end() && entry->second.erase(category) != 0)
            notifyChanged(actionsChanged);
        return 0;
    }
    std::size_t count = kept.size();
    actions_[plugin.id()][category] = std::move(kept);
    notifyChanged(actionsChanged);
    return count;
}

std::size_t Catalog::removePluginActions(uint64_t pluginId) {
    if (pluginId == 0)
        return 0;
    Mutex::Lock lock(mutex_);
    return actions_.erase(pluginId);
}

std::size_t Catalog::setSuggestions(CatalogPlugin& plugin, const std::vector<CatalogItemPtr>& items,
                                    uint32_t matchMethod, uint32_t sortMethod) {
    Mutex::Lock lock(mutex_);
    SuggestionList& list = suggestions_[plugin.id()];
    if (!isValidMethodPair(matchMethod, sortMethod)) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"Ignoring suggestion from plugin {} because the specified match "
                                L"and sort methods combination is invalid (#{} and #{})",
                                plugin.name(), matchMethod, sortMethod));
        return 0;
    }
    suggestionMethods_[plugin.id()] = {matchMethod, sortMethod};
    std::optional<std::size_t> changes = items.empty() ? clearPluginSuggestions(plugin.id())
                                                       : replaceSuggestions(plugin, list, items);
    if (!changes)
        return 0;
    if (*changes != 0)
        notifyChanged(searchChanged);
    return *changes;
}

std::optional<std::size_t> Catalog::replaceSuggestions(CatalogPlugin& plugin, SuggestionList& list,
                                                       const std::vector<CatalogItemPtr>& items) {
    std::unordered_map<uint64_t, CatalogItemPtr> leftovers;
    for (const CatalogItemPtr& item : list)
        leftovers.emplace(item->id(), item);
    std::size_t changes = 0;
    bool warned = false;
    bool errorTaken = false;
    for (const CatalogItemPtr& item : items) {
        if (!item || item->pluginId() != plugin.id())
            continue;
        if (!item->isValid()) {
            if (!warned)
                warnInvalidItem(L"suggested item", plugin, *item);
            warned = true;
            continue;
        }
        // One error item per call, and one per plugin's list.
        bool isError = item->category() == CatalogItem::error;
        if (isError && errorTaken)
            continue;
        errorTaken = errorTaken || isError;
        leftovers.erase(storeSuggestion(list, item)->id());
        ++changes;
        if (plugin.shouldTerminate(true))
            return std::nullopt;
    }
    changes += std::erase_if(list, [&leftovers](const CatalogItemPtr& i) {
        auto found = leftovers.find(i->id());
        return found != leftovers.end() && found->second == i;
    });
    return changes;
}

std::size_t Catalog::clearPluginSuggestions(uint64_t pluginId) {
    Mutex::Lock lock(mutex_);
    suggestionMethods_[pluginId] = {matchFuzzy, sortByScore};
    auto found = suggestions_.find(pluginId);
    if (found == suggestions_.end())
        return 0;
    std::size_t count = found->second.size();
    found->second.clear();
    return count;
}

void Catalog::clearSuggestions() {
    Mutex::Lock lock(mutex_);
    for (auto& [pluginId, list] : suggestions_)
        list.clear();
    for (auto& [pluginId, methods] : suggestionMethods_)
        methods = {matchFuzzy, sortByScore};
}

std::pair<uint32_t, uint32_t> Catalog::methodsOf(uint64_t pluginId) const {
    auto found = suggestionMethods_.find(pluginId);
    return found == suggestionMethods_.end()
               ? std::pair<uint32_t, uint32_t>{matchFuzzy, sortByScore}
               : found->second;
}
