#include "files/FileMonitor.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <set>
#include <sys/inotify.h>
#include <unordered_map>

#include "core/Logger.h"
#include "core/Mutex.h"
#include "core/Thread.h"
#include "platform/DirReader.h"
#include "platform/Inotify.h"
#include "platform/Poll.h"

namespace {

constexpr uint32_t changeMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK |
                                IN_ONLYDIR;
// Folders inside a tree are watched where they are: a link to a folder is not
// followed, so a link cannot make the tree loop.
constexpr uint32_t subfolderMask = changeMask | IN_DONT_FOLLOW;
// How long a rename's first half waits for its second before it counts as a
// move out of the watched trees.
constexpr int movePairingMs = 20;
// How long addDir waits for its watch to be in place.
constexpr uint32_t addTimeoutMs = 10000;

std::atomic<uint32_t> lastWatchId{0};

uint64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string joinRelative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

bool isInside(const std::string& path, const std::string& folder) {
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

std::string lastComponent(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

wstr wide(const std::string& utf8) {
    return wstr::fromUtf8(utf8.c_str());
}

// Once per run: the limit is the user's, for every watch of every program.
void reportWatchLimit(const std::string& folder) {
    static std::atomic<bool> reported{false};
    if (reported.exchange(true))
        return;
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message,
                            L"Cannot watch folder {} and possibly others for changes: the inotify "
                            L"watch limit (fs.inotify.max_user_watches) is reached",
                            wide(folder)));
}

} // namespace

// What the owner and the monitor thread share: requests, queued events and
// whether a thread serves them. Everything here is guarded by the mutex.
struct FileMonitor::Request {
    uint32_t id;
    wstr path;
    ::Event::Handle consumer;
    ::Event::Handle done; // set once the folder is watched (or failed to be)
};

class FileMonitor::Core {
public:
    Mutex mutex;
    std::vector<Request> requests;
    std::set<uint32_t> removals;
    std::map<uint32_t, std::vector<EventPtr>> events;
    bool running = false;
    uint64_t generation = 0; // the launch whose thread serves the requests
    ::Event::Handle wake;    // that thread's wake event

    // The handle of the current thread.
    Thread thread;
    std::function<void()> launchHook;
};

// The monitor thread's own state: its inotify descriptor, the watches and the
// inotify watch of every folder in them. Lives as long as its thread runs.
class FileMonitor::Worker {
public:
    Worker(std::shared_ptr<Core> core, uint64_t generation, ::Event::Handle wake)
        : core_(std::move(core)), generation_(generation), wake_(std::move(wake)) {}

    void run();

private:
    bool serve(const ::Event::Handle& stopEvent);
    struct Watch {
        uint32_t id = 0;
        wstr path;
        std::string root;
        ::Event::Handle consumer;
    };
    // One folder of a watch: a folder inside two watched trees has two owners.
    struct Owner {
        uint32_t watchId;
        std::string relative; // empty for the watched folder itself
    };
    struct MoveSource {
        uint32_t watchId;
        int wd;
        std::string relative;
    };
    struct PendingMove {
        bool valid = false;
        uint32_t cookie = 0;
        bool isDir = false;
        std::vector<MoveSource> sources;
    };
    struct Batch {
        ::Event::Handle consumer;
        std::vector<EventPtr> events;
    };

    bool takeRequests(std::vector<Request>& adds, std::set<uint32_t>& removals);
    void openWatch(const Request& request);
    void closeWatch(uint32_t id, uint32_t kind);
    void closeAll();
    void addFolder(Watch& watch, const std::string& relative, bool report);
    void addChildren(Watch& watch, const std::string& relative, bool report);
    void addOwner(int wd, uint32_t watchId, const std::string& relative);
    void dropOwners(uint32_t watchId, const std::string& prefix);
    void renameOwners(uint32_t watchId, const std::string& from, const std::string& to);
    void handle(const std::vector<Platform::Inotify::Event>& events);
    void handleFor(const Owner& owner, const Platform::Inotify::Event& event);
    void moveFrom(const Platform::Inotify::Event& event);
    void moveTo(const Platform::Inotify::Event& event);
    void flushMove();
    void overflow();
    void wdGone(int wd);
    void queue(const Watch& watch, uint32_t kind, const wstr& path, const wstr& oldName = wstr());
    void flush();

    std::shared_ptr<Core> core_;
    uint64_t generation_;
    ::Event::Handle wake_;
    Platform::Inotify inotify_;
    std::map<uint32_t, Watch> watches_;
    std::unordered_map<int, std::vector<Owner>> owners_;
    PendingMove pending_;
    std::map<uint32_t, Batch> batch_;
};

FileMonitor::FileMonitor() : core_(std::make_shared<Core>()) {}

FileMonitor::~FileMonitor() {
    stop();
}

uint32_t FileMonitor::addDir(const wstr& path, const ::Event::Handle& consumer) {
    if (!Platform::DirReader(wstr::toUtf8(path)).isOpen())
        return 0;
    uint32_t id = ++lastWatchId;
    ::Event done(false);
    queueAdd({id, path, consumer, done.handle()});
    // Changes made once addDir has returned are seen.
    done.wait(addTimeoutMs);
    return id;
}

void FileMonitor::queueAdd(Request request) {
    Mutex::Lock lock(core_->mutex);
    core_->requests.push_back(std::move(request));
    if (core_->running) {
        core_->wake->set();
        return;
    }
    auto wake = std::make_shared<::Event>(true);
    uint64_t generation = ++core_->generation;
    core_->wake = wake->handle();
    core_->running = true;
    auto worker = std::make_shared<Worker>(core_, generation, wake->handle());
    // A thread that has just decided to end takes no lock on its way out.
    if (core_->thread.running())
        Thread::stop(core_->thread, Platform::INFINITE, false);
    if (core_->launchHook)
        core_->launchHook();
    try {
        Thread::launch(core_->thread, [worker, wake] { worker->run(); });
    } catch (...) {
        core_->running = false;
        core_->requests.pop_back();
        throw;
    }
}

void FileMonitor::removeDir(const std::vector<uint32_t>& ids) {
    Mutex::Lock lock(core_->mutex);
    if (!core_->running)
        return;
    core_->removals.insert(ids.begin(), ids.end());
    core_->wake->set();
}

std::vector<FileMonitor::EventPtr> FileMonitor::fetchEvents(const std::vector<uint32_t>& ids) {
    std::vector<EventPtr> fetched;
    Mutex::Lock lock(core_->mutex);
    for (uint32_t id : ids) {
        auto it = core_->events.find(id);
        if (it == core_->events.end())
            continue;
        fetched.insert(fetched.end(), it->second.begin(), it->second.end());
        it->second.clear();
    }
    return fetched;
}

void FileMonitor::stop(uint32_t timeoutMs) {
    // The thread is taken under the lock that addDir launches under: a thread
    // launched by a late addDir is either this one or starts after the stop.
    Thread thread;
    {
        Mutex::Lock lock(core_->mutex);
        thread = std::move(core_->thread);
        // A thread that does not end in time no longer serves anything.
        core_->running = false;
        ++core_->generation;
        // Their addDir calls need not wait for a watch that will not come.
        for (const auto& request : core_->requests)
            request.done->set();
        core_->requests.clear();
        core_->removals.clear();
    }
    if (thread.running() && thread.stopEvent()) {
        thread.stopEvent()->set();
        if (thread.exitEvent()->wait(timeoutMs) != Platform::WAIT_OBJECT_0)
            logMessage(Logger::Warning, L"Had to force terminate file monitor.");
    }
    Thread::stop(thread, 0, false);
}

void FileMonitor::setLaunchHook(std::function<void()> hook) {
    Mutex::Lock lock(core_->mutex);
    core_->launchHook = std::move(hook);
}

void FileMonitor::Worker::run() {
    bool idle = false;
    try {
        idle = serve(Thread::currentStopEvent());
    } catch (const std::exception& e) {
        wstr message;
        logMessage(Logger::Error,
                   wstr::format(message, L"File monitor stopped: {}", wstr::fromUtf8(e.what())));
    }
    closeAll();
    if (idle)
        return;
    Mutex::Lock lock(core_->mutex);
    if (core_->generation == generation_)
        core_->running = false;
}

// Serves requests and changes until stopped (false) or until nothing is left
// to watch (true).
bool FileMonitor::Worker::serve(const ::Event::Handle& stopEvent) {
    for (;;) {
        std::vector<Request> adds;
        std::set<uint32_t> removals;
        if (stopEvent->wait(0) == Platform::WAIT_OBJECT_0)
            return false;
        if (!takeRequests(adds, removals))
            return true;
        for (const auto& request : adds)
            openWatch(request);
        for (uint32_t id : removals)
            closeWatch(id, WatchRemoved);
        flush();
        if (watches_.empty())
            continue;
        int ready = Platform::pollReadable({stopEvent->fd(), wake_->fd(), inotify_.fd()},
                                           pending_.valid ? movePairingMs : -1);
        if (ready == 1)
            wake_->wait(0);
        else if (ready == 2)
            handle(inotify_.read());
        else if (ready < 0)
            flushMove();
        flush();
    }
}

// False when the thread should end: nothing is watched or asked for. The
// decision is taken under the lock that requests are queued under, so no
// request can slip in between.
bool FileMonitor::Worker::takeRequests(std::vector<Request>& adds, std::set<uint32_t>& removals) {
    Mutex::Lock lock(core_->mutex);
    if (core_->generation != generation_)
        return false;
    adds.swap(core_->requests);
    removals.swap(core_->removals);
    if (adds.empty() && removals.empty() && watches_.empty()) {
        core_->running = false;
        return false;
    }
    for (const auto& request : adds)
        core_->events[request.id];
    return true;
}

void FileMonitor::Worker::openWatch(const Request& request) {
    Watch watch{request.id, request.path, wstr::toUtf8(request.path), request.consumer};
    int wd = inotify_.addWatch(watch.root, changeMask);
    auto& added = watches_[request.id] = std::move(watch);
    if (wd < 0) {
        if (errno == ENOSPC)
            reportWatchLimit(added.root);
        closeWatch(request.id, WatchClosed);
        request.done->set();
        return;
    }
    addOwner(wd, added.id, std::string());
    addChildren(added, std::string(), false);
    request.done->set();
}

// Ends a watch: one event of the kind, and its folders are no longer watched.
void FileMonitor::Worker::closeWatch(uint32_t id, uint32_t kind) {
    auto it = watches_.find(id);
    if (it == watches_.end())
        return;
    queue(it->second, kind, it->second.path);
    dropOwners(id, std::string());
    watches_.erase(it);
}

void FileMonitor::Worker::closeAll() {
    for (const auto& [wd, owners] : owners_)
        inotify_.removeWatch(wd);
    owners_.clear();
    watches_.clear();
    pending_ = {};
    batch_.clear();
}

// Watches a folder of the tree and what is below it; with report, every entry
// found there is reported as added (it appeared before the watch did).
void FileMonitor::Worker::addFolder(Watch& watch, const std::string& relative, bool report) {
    int wd = inotify_.addWatch(joinRelative(watch.root, relative), subfolderMask);
    if (wd < 0) {
        if (errno == ENOSPC)
            reportWatchLimit(joinRelative(watch.root, relative));
        return;
    }
    addOwner(wd, watch.id, relative);
    addChildren(watch, relative, report);
}

void FileMonitor::Worker::addChildren(Watch& watch, const std::string& relative, bool report) {
    Platform::DirReader reader(joinRelative(watch.root, relative));
    Platform::DirReader::Entry entry;
    while (reader.next(entry)) {
        auto child = joinRelative(relative, entry.name);
        if (report)
            queue(watch, Added, wide(child));
        if (entry.isDirectory)
            addFolder(watch, child, report);
    }
}

void FileMonitor::Worker::addOwner(int wd, uint32_t watchId, const std::string& relative) {
    auto& owners = owners_[wd];
    for (auto& owner : owners)
        if (owner.watchId == watchId) {
            owner.relative = relative;
            return;
        }
    owners.push_back({watchId, relative});
}

// Forgets the folders of a watch at or below prefix (all of them for an empty
// prefix); an inotify watch that no watch needs any more is removed.
void FileMonitor::Worker::dropOwners(uint32_t watchId, const std::string& prefix) {
    for (auto it = owners_.begin(); it != owners_.end();) {
        std::erase_if(it->second, [&](const Owner& owner) {
            return owner.watchId == watchId && (prefix.empty() || isInside(owner.relative, prefix));
        });
        if (!it->second.empty()) {
            ++it;
            continue;
        }
        inotify_.removeWatch(it->first);
        it = owners_.erase(it);
    }
}

// A folder moved inside its tree keeps its inotify watches; only the paths change.
void FileMonitor::Worker::renameOwners(uint32_t watchId, const std::string& from,
                                       const std::string& to) {
    for (auto& [wd, owners] : owners_)
        for (auto& owner : owners)
            if (owner.watchId == watchId && isInside(owner.relative, from))
                owner.relative = to + owner.relative.substr(from.size());
}

void FileMonitor::Worker::handle(const std::vector<Platform::Inotify::Event>& events) {
    for (const auto& event : events) {
        bool pairs =
            (event.mask & IN_MOVED_TO) && pending_.valid && pending_.cookie == event.cookie;
        if (pending_.valid && !pairs)
            flushMove();
        if (event.mask & IN_Q_OVERFLOW)
            overflow();
        else if (event.mask & IN_IGNORED)
            wdGone(event.wd);
        else if (event.mask & IN_MOVED_FROM)
            moveFrom(event);
        else if (event.mask & IN_MOVED_TO)
            moveTo(event);
        else if (auto it = owners_.find(event.wd); it != owners_.end())
            for (auto owner : std::vector<Owner>(it->second))
                handleFor(owner, event);
    }
}

void FileMonitor::Worker::handleFor(const Owner& owner, const Platform::Inotify::Event& event) {
    auto watch = watches_.find(owner.watchId);
    if (watch == watches_.end())
        return;
    if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        // Below the root the parent folder reports the change.
        if (owner.relative.empty())
            closeWatch(owner.watchId, WatchClosed);
        return;
    }
    if (event.name.empty())
        return;
    auto relative = joinRelative(owner.relative, event.name);
    if (event.mask & IN_CREATE) {
        queue(watch->second, Added, wide(relative));
        if (event.mask & IN_ISDIR)
            addFolder(watch->second, relative, true);
    } else if (event.mask & IN_DELETE) {
        queue(watch->second, Removed, wide(relative));
    } else if (event.mask & (IN_MODIFY | IN_ATTRIB)) {
        queue(watch->second, Modified, wide(relative));
    }
}

void FileMonitor::Worker::moveFrom(const Platform::Inotify::Event& event) {
    auto it = owners_.find(event.wd);
    if (it == owners_.end() || event.name.empty())
        return;
    pending_ = {true, event.cookie, (event.mask & IN_ISDIR) != 0, {}};
    for (const auto& owner : it->second)
        pending_.sources.push_back(
            {owner.watchId, event.wd, joinRelative(owner.relative, event.name)});
}

// The second half of a rename: within one folder a rename, across folders a
// removal and an addition; what arrives from outside the trees is an addition.
void FileMonitor::Worker::moveTo(const Platform::Inotify::Event& event) {
    auto it = owners_.find(event.wd);
    std::vector<Owner> targets = it == owners_.end() ? std::vector<Owner>() : it->second;
    PendingMove move = pending_.valid && pending_.cookie == event.cookie ? pending_ : PendingMove();
    pending_ = {};
    bool isDir = event.mask & IN_ISDIR;
    for (const auto& source : move.sources) {
        auto watch = watches_.find(source.watchId);
        auto target = std::find_if(targets.begin(), targets.end(),
                                   [&](const Owner& o) { return o.watchId == source.watchId; });
        if (watch == watches_.end())
            continue;
        if (target == targets.end()) {
            queue(watch->second, Removed, wide(source.relative));
            if (isDir)
                dropOwners(source.watchId, source.relative);
            continue;
        }
        auto relative = joinRelative(target->relative, event.name);
        if (source.wd == event.wd) {
            queue(watch->second, Renamed, wide(relative), wide(lastComponent(source.relative)));
        } else {
            queue(watch->second, Removed, wide(source.relative));
            queue(watch->second, Added, wide(relative));
        }
        if (isDir)
            renameOwners(source.watchId, source.relative, relative);
        targets.erase(target);
    }
    for (const auto& target : targets) {
        auto watch = watches_.find(target.watchId);
        if (watch == watches_.end())
            continue;
        auto relative = joinRelative(target.relative, event.name);
        queue(watch->second, Added, wide(relative));
        if (isDir)
            addFolder(watch->second, relative, true);
    }
}

// A rename whose second half never came: the item left the watched trees.
void FileMonitor::Worker::flushMove() {
    PendingMove move = std::move(pending_);
    pending_ = {};
    for (const auto& source : move.sources) {
        auto watch = watches_.find(source.watchId);
        if (watch == watches_.end())
            continue;
        queue(watch->second, Removed, wide(source.relative));
        if (move.isDir)
            dropOwners(source.watchId, source.relative);
    }
}

// The kernel dropped events: every tree is reported as changed, and folders
// made meanwhile get their watches.
void FileMonitor::Worker::overflow() {
    for (auto& [id, watch] : watches_) {
        queue(watch, Overflow, watch.path);
        addChildren(watch, std::string(), false);
    }
}

// The kernel removed an inotify watch: its folder is gone. For a watched
// folder itself that ends the watch.
void FileMonitor::Worker::wdGone(int wd) {
    auto it = owners_.find(wd);
    if (it == owners_.end())
        return;
    auto owners = std::move(it->second);
    owners_.erase(it);
    for (const auto& owner : owners)
        if (owner.relative.empty())
            closeWatch(owner.watchId, WatchClosed);
}

void FileMonitor::Worker::queue(const Watch& watch, uint32_t kind, const wstr& path,
                                const wstr& oldName) {
    auto& batch = batch_[watch.id];
    batch.consumer = watch.consumer;
    batch.events.push_back(
        std::make_shared<const Event>(Event{path, oldName, nowMs(), kind, watch.id}));
}

// Hands the events made since the last flush to the consumers.
void FileMonitor::Worker::flush() {
    if (batch_.empty())
        return;
    auto batch = std::move(batch_);
    batch_.clear();
    {
        Mutex::Lock lock(core_->mutex);
        for (auto& [id, part] : batch) {
            auto& list = core_->events[id];
            list.insert(list.end(), part.events.begin(), part.events.end());
        }
    }
    for (const auto& [id, part] : batch)
        if (part.consumer)
            part.consumer->set();
}
