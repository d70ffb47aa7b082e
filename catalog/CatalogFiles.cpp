// The catalog's files: the history file, the cache file and the writer
// thread that keeps the cache file up to date.
#include "catalog/Catalog.h"
#include "catalog/CatalogFile.h"
#include "catalog/CatalogHistoryFile.h"
#include "core/Format.h"
#include "core/Logger.h"
#include "core/SysFile.h"
#include "platform/BatchScheduling.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

// The cache is written only while the application and its package manager
// run and no plugin's "catalog" message is pending, so that a reload of the
// plugins' catalogs is not saved half done.
bool mayWriteCache() {
    std::shared_ptr<CatalogHost> host = CatalogHost::instance();
    if (!host)
        return false;
    std::optional<uint64_t> pending = host->pendingCatalogMessages();
    return pending && *pending == 0;
}

void logLoaded(std::size_t count, const wchar_t* file) {
    wstr message;
    logMessage(Logger::Info, wstr::format(message, L"Loaded {} item{} from {} file.", count,
                                          count >= 2 ? L"s" : L"", file));
}

} // namespace

std::size_t Catalog::loadHistoryFile(const wstr& path) {
    // Parsed and built without the lock: building an action may ask the
    // package manager for its plugin's name.
    CatalogHistoryFile::Content content;
    CatalogHistoryFile::read(path, content);
    std::size_t hits = 0;
    wstr failure;
    {
        Mutex::Lock lock(mutex_);
        historyPath_ = path;
        history_.clear();
        hits = CatalogHistoryFile::apply(content, history_, path, &failure);
    }
    // Its box waits for the user: never under the lock.
    if (!failure.empty())
        CatalogHistoryFile::reportReadError(path, failure);
    if (hits > 0)
        logLoaded(hits, L"history");
    notifyChanged(searchChanged);
    return hits;
}

bool Catalog::loadCatalogFile(const wstr& path) {
    {
        Mutex::Lock lock(mutex_);
        cachePath_ = path;
    }
    const int folder = Sys::isDirectory(path);
    if (folder < 0)
        return false;
    if (folder > 0)
        throw std::runtime_error(
            formatNarrow("Could not read Catalog from: {} (error: not a file)", path));
    std::vector<CatalogFile::Loaded> items;
    if (!CatalogFile::readRecords(path, items) || items.empty())
        return false;
    const std::size_t count = items.size();
    // The records are stored, counted and indexed without the lock, in a
    // store that becomes the catalog's when it has no items yet. Then the
    // items with arguments, the error items and the records whose id the
    // history knows take the plugins' way, in id order as the file has them.
    CatalogItemStore loaded(CatalogItemStore::Layout::compact);
    std::vector<std::pair<uint64_t, CatalogItemPtr>> others;
    {
        std::vector<std::pair<uint64_t, ItemRecord>> records;
        records.reserve(items.size());
        for (CatalogFile::Loaded& item : items) {
            if (item.item)
                others.emplace_back(item.id, std::move(item.item));
            else
                records.emplace_back(item.id, std::move(item.record));
        }
        items.clear();
        items.shrink_to_fit();
        ScanWorkers workers(std::max(std::thread::hardware_concurrency(), 1u));
        loaded.insertRecords(std::move(records), workers);
    }
    Mutex::Lock lock(mutex_);
    auto takeOut = [&](uint64_t id) {
        if (CatalogItemPtr item = loaded.find(id)) {
            others.emplace_back(id, std::move(item));
            loaded.removeId(id);
        }
    };
    if (store_.size() == 0) {
        history_.items().forEach([&](const CatalogItemPtr& item) { takeOut(item->baseId()); });
        std::swap(store_, loaded);
    } else {
        std::vector<uint64_t> ids;
        loaded.ids(ids);
        for (uint64_t id : ids)
            takeOut(id);
    }
    std::sort(others.begin(), others.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [id, item] : others)
        storePluginItem(item);
    logLoaded(count, L"catalog");
    return true;
}

void Catalog::startWriter() {
    startWriter(CatalogWriter::Options());
}

void Catalog::startWriter(CatalogWriter::Options options) {
    Mutex::Lock lock(mutex_);
    if (cachePath_.empty())
        return;
    writer_.start(
        cachePath_,
        {dirtyEvent_.handle(), mayWriteCache, [this](MemWriter& out) { snapshotItems(out); }},
        std::move(options));
}

void Catalog::stopWriter() {
    writer_.stop();
}

void Catalog::saveHistory() {
    if (!historyPath_.empty())
        CatalogHistoryFile::save(history_, historyPath_);
}

void Catalog::deleteHistoryFile() {
    if (!historyPath_.empty())
        CatalogHistoryFile::remove(historyPath_);
}

// Serialising a million items takes seconds, and a search must not wait that
// long: the lock is taken once to list the ids, then once per slice of items,
// to copy their records (or serialise the few objects handed out and changed
// since, which their holders may change under the lock); records are
// serialised after, on all cores, and the objects let go of destroyed.
// An item that changes meanwhile is written as it is when its slice is taken
// (each item whole); one added meanwhile waits for the next write, which its
// change has asked for.
void Catalog::snapshotItems(MemWriter& out) {
    constexpr std::size_t itemsPerSlice = 1024, itemsPerTask = 128;
    constexpr uint64_t objectRoom = 1 << 16;
    ScanWorkers workers(std::max(std::thread::hardware_concurrency(), 1u));
    std::vector<uint64_t> ids(itemCount() + itemsPerSlice); // touched before the lock
    {
        Mutex::Lock lock(mutex_);
        store_.ids(ids);
        dirtyTime_ = 0;
    }
    std::sort(ids.begin(), ids.end());
    MemWriter records;
    std::size_t count = 0;
    struct Taken {
        uint64_t id = 0;
        ItemRecord record;     // when used
        std::size_t begin = 0; // else the item serialised in `objects`
        std::size_t end = 0;
    };
    std::vector<Taken> taken;
    std::vector<CatalogItemPtr> released; // destroyed without the lock
    for (std::size_t first = 0; first < ids.size(); first += itemsPerSlice) {
        // Memory is taken and touched before the lock: growing a buffer
        // (page faults included) under it would make searches wait.
        MemWriter objects(objectRoom);
        objects.reserve(objectRoom);
        taken.clear();
        taken.reserve(itemsPerSlice);
        released.reserve(itemsPerSlice);
        {
            Mutex::Lock lock(mutex_);
            store_.releaseUnshared(itemsPerSlice, &released);
            for (std::size_t i = first; i < std::min(ids.size(), first + itemsPerSlice); ++i) {
                Taken t{ids[i], store_.recordCopy(ids[i])};
                if (!t.record.used()) {
                    CatalogItemPtr item = store_.find(ids[i]);
                    if (!item)
                        continue;
                    t.begin = objects.size();
                    CatalogFile::writeItem(objects, *item);
                    t.end = objects.size();
                }
                taken.push_back(std::move(t));
            }
        }
        released.clear();
        // Each task serialises a run of the slice into its own piece.
        const std::size_t tasks = (taken.size() + itemsPerTask - 1) / itemsPerTask;
        std::vector<MemWriter> pieces(tasks, MemWriter(objectRoom));
        workers.run(tasks, [&](std::size_t task, std::size_t) {
            Platform::BatchSchedulingScope background; // searches come first
            const std::size_t from = task * itemsPerTask;
            for (std::size_t i = from; i < std::min(taken.size(), from + itemsPerTask); ++i) {
                const Taken& t = taken[i];
                if (t.record.used())
                    CatalogFile::writeItem(pieces[task], *t.record.item(t.id));
                else
                    pieces[task].append(objects.data() + t.begin, t.end - t.begin);
            }
        });
        for (const MemWriter& piece : pieces)
            records.append(piece.data(), piece.size());
        count += taken.size();
    }
    CatalogFile::writeCount(out, count);
    out.append(records.data(), records.size());
}
