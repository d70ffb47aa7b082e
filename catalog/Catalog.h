#pragma once

#include "catalog/CatalogAction.h"
#include "catalog/CatalogHistory.h"
#include "catalog/CatalogHost.h"
#include "catalog/CatalogItem.h"
#include "catalog/CatalogItemStore.h"
#include "catalog/CatalogResults.h"
#include "catalog/CatalogWriter.h"
#include "core/Event.h"
#include "core/Mutex.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

// The program's one catalog: the items plugins deliver, indexed for search,
// the history of executed items, the plugins' suggestions for the current
// search text, and the actions of plugins and of the application itself.
//
// Plugins change it from pool threads, the LaunchBox searches it on the
// user-interface thread. Every public operation holds the catalog's one lock
// for its whole duration, except search, which first copies the known plugin
// ids, and notifyChanged, which touches nothing. What an operation needs of
// the package manager is copied before the lock is taken, so the package
// manager's lock is never taken inside the catalog's.
class Catalog {
public:
    // How a plugin's suggestions are matched: listed as given, or scored.
    enum MatchMethod : uint32_t { matchAll = 0, matchFuzzy = 1000 };
    // How they are ordered: plugin's order, by target, by item, by score.
    enum SortMethod : uint32_t {
        sortKeepOrder = 0,
        sortByTarget = 100,
        sortByItem = 200,
        sortByScore = 1000,
    };
    // What notifyChanged asks the LaunchBox to refresh, and its App timers.
    enum ChangeKind : uint32_t { searchChanged = 0, actionsChanged = 1 };
    static constexpr uint32_t firstChangeTimer = 8;
    static constexpr uint32_t changeDelayMs = 50;

    struct Stats {
        struct Counters {
            uint64_t catalogItems = 0;
            uint64_t historyItems = 0;
            uint64_t keywordEntries = 0;
            uint64_t terms = 0;
            uint64_t hits = 0;
        };
        using Package = Counters;
        using Plugin = Counters;

        std::map<uint32_t, Package> packages;
        std::map<uint64_t, Plugin> plugins;
        std::map<uint64_t, wstr> pluginNames;
        uint64_t orphans = 0;
        uint64_t totalCatalogItems = 0;
        uint64_t totalHistoryItems = 0;
        uint64_t totalKeywords = 0;
        uint64_t totalKwAssocItems = 0;
        uint64_t totalHits = 0;
        wstr firstHit; // ISO 8601 with the hit's UTC offset; empty without hits
        wstr lastHit;
        int64_t historySpan = 0; // seconds
    };

    // Creates the containers and the application's own file and URL actions.
    Catalog();
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    // The configuration's exclude_nonexistent_local_files and
    // exclude_nonexistent_remote_files (initially true and false). User-
    // interface thread.
    void setExcludeNonexistentFiles(bool local, bool remote);

    // --- Items (plugin pool threads) ---------------------------------------
    // Stores a plugin's valid items (replace: and removes its items that are
    // not among them; with no items at all it removes them all). Stored
    // objects stay and take the new data. Returns the number of changes, or 0
    // when the plugin was told to terminate meanwhile.
    std::size_t insertPluginItems(CatalogPlugin& plugin, const std::vector<CatalogItemPtr>& items,
                                  bool replace);
    // Removes every item of the plugin; neither marks dirty nor notifies.
    std::size_t removePluginItems(uint64_t pluginId);
    // Stamps the change and signals the cache writer. Any thread.
    void markDirty();
    // Asks the LaunchBox to search again (searchChanged) or to refresh the
    // selected item's actions (actionsChanged) in 50 ms. Takes no lock; any
    // thread.
    static void notifyChanged(ChangeKind kind);

    // --- Search (user-interface thread) ------------------------------------
    // Fills the results for the text, ordered best first but not cut: the
    // caller truncates to what it shows. Without a chain item: catalog and
    // history items matching the text, the item associated with exactly the
    // text, and the plugins' suggestions; with one: items of its base id
    // scored on their arguments and the suggestions of its plugin. Only the
    // first orderedCount results are put in their place (the LaunchBox passes
    // its max_results); the others follow in no particular order.
    static constexpr std::size_t orderAll = SIZE_MAX;
    // Item objects that only the catalog still holds (the plugins' lists
    // gone, the results replaced) are let go of in steps of this many, by
    // each search, each insertion and each slice of the cache writer.
    static constexpr std::size_t releaseStep = 16384;
    void search(const std::shared_ptr<CatalogResults>& results, wstr text,
                const CatalogItemPtr& chainItem, std::size_t orderedCount = orderAll);
    // Scores one item against the text (its arguments when it has the chain
    // item's base id) and adds it to the results; returns the score added.
    static uint64_t scoreCandidate(CatalogResults& results, const wstr& text, const wstr& lowerText,
                                   const CatalogItemPtr& chainItem, const CatalogItemPtr& item,
                                   uint32_t source, bool addHitCount, bool allowOtherItems,
                                   uint32_t sortMethod);

    // --- Actions ------------------------------------------------------------
    // The application's actions for the item's category, then its plugin's;
    // 0 for an empty or invalid item. User-interface thread.
    std::size_t countItemActions(const CatalogItemPtr& item);
    // Appends those actions; returns the position in `actions` of the action
    // of the item's newest hit, or 0. User-interface thread.
    std::size_t getItemActions(const CatalogItemPtr& item, std::vector<CatalogActionPtr>& actions);
    // Replaces the plugin's actions for a category with the valid ones given
    // (none: removes them); returns how many were kept. Pool thread.
    std::size_t setPluginActions(CatalogPlugin& plugin, uint32_t category,
                                 const std::vector<CatalogActionPtr>& actions);
    // Removes all of a plugin's actions; 1 when it had an entry. Pool thread.
    std::size_t removePluginActions(uint64_t pluginId);

    // --- Suggestions --------------------------------------------------------
    // Replaces the plugin's suggestions; returns the number of changes (0 for
    // an invalid method pair, which is logged and changes nothing). Pool
    // thread.
    std::size_t setSuggestions(CatalogPlugin& plugin, const std::vector<CatalogItemPtr>& items,
                               uint32_t matchMethod, uint32_t sortMethod);
    // Empties one plugin's suggestions (methods back to fuzzy and score);
    // returns how many it had. Any thread.
    std::size_t clearPluginSuggestions(uint64_t pluginId);
    void clearSuggestions();

    // --- History (user-interface thread) -------------------------------------
    // Records an execution now, with the local UTC offset; false for an
    // invalid or error item or an invalid action.
    bool recordHit(const CatalogItemPtr& item, const CatalogActionPtr& action);
    void addSearchTerms(const wstr& text, const CatalogItemPtr& item);
    void clearHistory();
    void eraseHistoryItem(const CatalogItemPtr& item);
    void eraseHistoryPackage(uint32_t packageId);
    bool historyHasItem(const CatalogItemPtr& item);
    bool historyHasPackage(uint32_t packageId);
    // Orphans are history items whose plugin is not loaded now; none without
    // a package manager.
    std::size_t countHistoryOrphans();
    // Removes the orphans and writes the history file when any was removed;
    // returns how many were.
    std::size_t removeHistoryOrphans();
    wstr getHistoryTerms(const CatalogItemPtr& item);
    void getStats(Stats& stats);

    // --- Files (start-up and shutdown) ---------------------------------------
    // Loads the history file and keeps its path: the history is written to it
    // after each recorded hit and erasure. Returns the hits loaded.
    std::size_t loadHistoryFile(const wstr& path);
    // Reads the cache file and keeps its path for the writer; true when items
    // were read. Throws std::runtime_error when the path is a folder.
    bool loadCatalogFile(const wstr& path);
    // Launches the cache writer thread unless it runs (nothing before the
    // cache file's path is known); options serve tests.
    void startWriter();
    void startWriter(CatalogWriter::Options options);
    // Stops the cache writer thread; a pending change is not written. The
    // writer takes the catalog's lock for its snapshot: never call this while
    // holding it.
    void stopWriter();

    // The lock and the history, for callers that read the history directly
    // (the LaunchBox's history view). Hold the lock while using the history.
    Mutex& mutex() { return mutex_; }
    CatalogHistory& history() { return history_; }
    const CatalogItemStore& items() const { return store_; }

    // For the cache writer: the dirty signal (auto-reset) and the time of the
    // last change in milliseconds of Sys::perfCounter (0 once written).
    const Event& dirtyEvent() const { return dirtyEvent_; }
    uint64_t dirtyTime();
    // The number of items in the catalog's own store.
    std::size_t itemCount();

private:
    using ActionMap = std::map<uint64_t, std::map<uint32_t, std::vector<CatalogActionPtr>>>;
    using SuggestionList = std::vector<CatalogItemPtr>;

    // The package manager's known plugin ids, empty without one. Never under
    // the catalog's lock.
    static std::set<uint64_t> knownPluginIds();
    // Logs "Ignoring <what> with invalid property(ies) from plugin ...", and
    // which properties and why.
    static void warnInvalidItem(const wchar_t* what, const CatalogPlugin& plugin,
                                const CatalogItem& item);
    void addBuiltinActions();
    // Ids whose catalog results a later pass of the search may change: the
    // history's items, the suggestions, the text's keyword item. Sorted.
    std::vector<uint64_t> idsTouchedLater(const wstr& lowerText) const;
    void suggestionsPass(CatalogResults& results, const wstr& text, const wstr& lowerText,
                         const CatalogItemPtr& chainItem);
    // Stores the plugin's valid items as its suggestions, dropping the others
    // it had; the number of changes, or nothing when the plugin must stop.
    std::optional<std::size_t> replaceSuggestions(CatalogPlugin& plugin, SuggestionList& list,
                                                  const std::vector<CatalogItemPtr>& items);
    // Stores one valid item of a plugin, keeping the stored object of its id.
    void storePluginItem(const CatalogItemPtr& item);
    std::pair<uint32_t, uint32_t> methodsOf(uint64_t pluginId) const;
    template <typename Fn> void forEachAction(const CatalogItem& item, Fn&& fn);
    // Sets the hit counts of items whose plugin id passes to 0.
    template <typename Pred> void clearHitCounts(Pred&& pluginIdPred);
    // Writes the history file, or deletes it once the history is cleared.
    // Under the lock.
    void saveHistory();
    void deleteHistoryFile();
    // The cache writer's snapshot: the items serialised in id order; under
    // the lock in short slices only the items' records are copied (objects
    // out of the store are serialised there).
    void snapshotItems(MemWriter& out);

    Mutex mutex_;
    bool excludeNonexistentLocalFiles_ = true;
    bool excludeNonexistentRemoteFiles_ = false;
    CatalogItemStore store_{CatalogItemStore::Layout::compact};
    CatalogHistory history_;
    std::map<uint64_t, SuggestionList> suggestions_;
    std::map<uint64_t, std::pair<uint32_t, uint32_t>> suggestionMethods_;
    ActionMap actions_;
    Event dirtyEvent_{true};
    uint64_t dirtyTime_ = 0;
    wstr historyPath_;
    wstr cachePath_;
    ScanWorkers scanWorkers_;
    // Last: its thread is stopped before the containers it reads go away.
    CatalogWriter writer_;
};
