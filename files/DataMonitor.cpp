// The data monitor of DataFs: its thread turns the file monitor's events in
// the watched folders into notifications once each kind of change has been
// quiet for a while.
#include "files/DataFs.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "core/Event.h"
#include "core/Logger.h"
#include "core/Mutex.h"
#include "core/Path.h"
#include "core/SysFile.h"
#include "core/SysKnownFolder.h"
#include "core/SysTime.h"
#include "core/Thread.h"
#include "files/FileMonitor.h"
#include "files/FileScanner.h"
#include "platform/XdgDirs.h"

namespace {

enum Group {
    UserGroup,
    DefaultPackagesGroup,
    InstalledGroup,
    LiveGroup,
    DesktopGroup,
    StartMenuGroup
};
constexpr size_t groupCount = 6;

uint64_t nowMs() {
    return uint64_t(Sys::perfCounter()) * 1000 / uint64_t(Sys::perfFrequency);
}

uint64_t elapsed(uint64_t now, uint64_t stamp) {
    return now > stamp ? now - stamp : 0;
}

uint32_t remaining(uint64_t now, uint64_t stamp, uint32_t quietMs) {
    uint64_t passed = elapsed(now, stamp);
    return passed >= quietMs ? 0 : uint32_t(quietMs - passed);
}

bool hasSeparator(const wstr& name) {
    return name.find_first_of(L"/\\") != wstr::npos;
}

std::vector<wstr> splitComponents(const wstr& name) {
    return wstr::tokenize(name, L"/\\");
}

// The extension after the last dot of the file name, lower-cased.
wstr lastExtension(const wstr& name) {
    wstr file = Path::fileName(name);
    auto dot = file.rfind(L'.');
    return dot == wstr::npos ? wstr() : wstr::lowerCopy(file.substr(dot + 1));
}

// Calls notify with each listener still alive and drops the expired ones.
template <typename Listener, typename Notify>
void notifyLive(std::vector<std::weak_ptr<Listener>>& listeners, Notify notify) {
    for (auto it = listeners.begin(); it != listeners.end();) {
        if (auto listener = it->lock()) {
            notify(*listener);
            ++it;
        } else {
            it = listeners.erase(it);
        }
    }
}

// Whether path is folder or lies below it, compared by whole components.
bool isWithin(const wstr& path, const wstr& folder) {
    if (folder.empty() || !wstr::startsWith(path, folder, true))
        return false;
    return path.size() == folder.size() || folder.back() == L'/' || path[folder.size()] == L'/';
}

wstr fromUtf8(const std::string& text) {
    return wstr::fromUtf8(text.c_str());
}

} // namespace

class DataFs::Monitor : public std::enable_shared_from_this<Monitor> {
public:
    Monitor(const Folders& folders, std::shared_ptr<FileMonitor> fileMonitor, const Timing& timing)
        : folders_(folders), fileMonitor_(std::move(fileMonitor)), timing_(timing) {
        for (auto& group : groups_)
            group.event.create(true);
    }

    void start(const ShellFolders& shell);
    void stop();
    bool waitUntilWatching(uint32_t timeoutMs);

    Mutex eventMutex;
    std::vector<std::weak_ptr<EventListener>> eventListeners;
    Mutex packagesMutex;
    std::vector<std::weak_ptr<PackagesListener>> packagesListeners;
    bool desktopExcluded = false;
    bool startMenuExcluded = false;

private:
    struct Root {
        wstr path;
        uint32_t id = 0;
    };
    struct WatchGroup {
        Event event;
        std::vector<Root> roots;
        bool excluded = false;
    };
    struct Pending {
        uint64_t stamp = 0;
        bool configOnly = false;
    };

    bool excludes(const std::vector<wstr>& areas, const wchar_t* label);
    void threadProc();
    uint32_t waitTime() const;
    void addWatches();
    void removeWatches();
    void dispatchChanges();
    void notifyEventListeners(uint32_t bits);
    std::vector<FileMonitor::EventPtr> fetchGroupEvents(size_t group, bool* rootClosed = nullptr);
    uint64_t* shellStamp(size_t group);
    void drainEvents(size_t group);
    void onUserConfigEvent(const FileMonitor::Event& event, uint64_t now);
    void onPackagesFolderEvent(const FileMonitor::Event& event, uint64_t now);
    void onLivePackagesEvent(const FileMonitor::Event& event, uint64_t now);
    void onOverflow(size_t group, uint64_t now);
    void onShellEvent(size_t group, uint64_t& stamp);
    void registerPackageName(const wstr& name, uint64_t now, bool configOnly);

    Folders folders_;
    std::shared_ptr<FileMonitor> fileMonitor_;
    Timing timing_;
    Thread thread_;
    Event watching_{false}; // set once the thread has placed its first watches
    bool placedOnce_ = false;
    // Used by the thread only, from its start to its end.
    std::array<WatchGroup, groupCount> groups_;
    std::map<wstr, Pending> pending_;
    uint64_t configStamp_ = 0;
    uint64_t desktopStamp_ = 0;
    uint64_t startMenuStamp_ = 0;
};

DataFs::DataFs(const Folders& folders, std::shared_ptr<FileMonitor> fileMonitor)
    : DataFs(folders, std::move(fileMonitor), Timing()) {}

DataFs::DataFs(const Folders& folders, std::shared_ptr<FileMonitor> fileMonitor,
               const Timing& timing)
    : monitor_(std::make_shared<Monitor>(folders, std::move(fileMonitor), timing)) {}

DataFs::~DataFs() {
    stop();
}

void DataFs::addEventListener(std::weak_ptr<EventListener> listener) {
    Mutex::Lock lock(monitor_->eventMutex);
    monitor_->eventListeners.push_back(std::move(listener));
}

void DataFs::addPackagesListener(std::weak_ptr<PackagesListener> listener) {
    Mutex::Lock lock(monitor_->packagesMutex);
    monitor_->packagesListeners.push_back(std::move(listener));
}

void DataFs::removePackagesListener(const PackagesListener* listener) {
    Mutex::Lock lock(monitor_->packagesMutex);
    std::erase_if(monitor_->packagesListeners, [listener](const auto& weak) {
        auto strong = weak.lock();
        return !strong || strong.get() == listener;
    });
}

void DataFs::startMonitoring(const ShellFolders& shellFolders) {
    monitor_->start(shellFolders);
}

void DataFs::stop() {
    monitor_->stop();
}

bool DataFs::waitUntilWatching(uint32_t timeoutMs) {
    return monitor_->waitUntilWatching(timeoutMs);
}

bool DataFs::isDesktopExcluded() const {
    return monitor_->desktopExcluded;
}

bool DataFs::isStartMenuExcluded() const {
    return monitor_->startMenuExcluded;
}

DataFs::ShellFolders DataFs::systemShellFolders() {
    ShellFolders shell;
    // There is no public Desktop here.
    shell.desktops.push_back(wstr());
    wstr desktop = Sys::knownFolderPath(Sys::KnownFolder::Desktop, false);
    wstr home = fromUtf8(Platform::xdg::home());
    if (Path::canonicalize(desktop) == Path::canonicalize(home))
        desktop.clear();
    shell.desktops.push_back(desktop);
    for (const auto& dir : Platform::xdg::dataDirs())
        shell.startMenus.push_back(Path::combine(fromUtf8(dir), L"applications"));
    shell.startMenus.push_back(Sys::knownFolderPath(Sys::KnownFolder::StartMenu, false));
    return shell;
}

// True when the program or its local folder lies inside one of the areas,
// whose changes would then be our own; logs that once.
bool DataFs::Monitor::excludes(const std::vector<wstr>& areas, const wchar_t* label) {
    wstr install = Path::canonicalize(folders_.install);
    wstr local = Path::canonicalize(folders_.local);
    for (const auto& area : areas) {
        wstr folder = Path::canonicalize(area);
        if (folder.empty() || !(isWithin(install, folder) || isWithin(local, folder)))
            continue;
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"Application is installed in the {} folder. Catalog WILL NOT be "
                                L"refreshed automatically for this area",
                                label));
        return true;
    }
    return false;
}

void DataFs::Monitor::start(const ShellFolders& shell) {
    desktopExcluded = excludes(shell.desktops, L"Desktop");
    startMenuExcluded = excludes(shell.startMenus, L"Start Menu");
    auto addRoots = [this](Group group, const std::vector<wstr>& paths) {
        for (const auto& path : paths)
            groups_[group].roots.push_back({path});
    };
    addRoots(UserGroup, {folders_.profileUser});
    addRoots(DefaultPackagesGroup, {folders_.defaultPackages});
    addRoots(InstalledGroup, {folders_.profileInstalledPackages});
    addRoots(LiveGroup, {folders_.profilePackages});
    addRoots(DesktopGroup, shell.desktops);
    addRoots(StartMenuGroup, shell.startMenus);
    groups_[DesktopGroup].excluded = desktopExcluded;
    groups_[StartMenuGroup].excluded = startMenuExcluded;
    // The watches are placed by the thread: a slow folder (a network mount)
    // must not hold up the caller.
    Thread::launch(thread_, [self = shared_from_this()] { self->threadProc(); });
}

bool DataFs::Monitor::waitUntilWatching(uint32_t timeoutMs) {
    return watching_.wait(timeoutMs) == Platform::WAIT_OBJECT_0;
}

void DataFs::Monitor::stop() {
    {
        Mutex::Lock events(eventMutex);
        Mutex::Lock packages(packagesMutex);
        eventListeners.clear();
        packagesListeners.clear();
    }
    // The thread removes its own watches as it ends, also when it ends late.
    Thread::stop(thread_, 3000, false);
}

void DataFs::Monitor::threadProc() {
    auto stopEvent = Thread::currentStopEvent();
    addWatches();
    watching_.set();
    for (;;) {
        uint32_t result =
            Event::waitAny({stopEvent, groups_[0].event.handle(), groups_[1].event.handle(),
                            groups_[2].event.handle(), groups_[3].event.handle(),
                            groups_[4].event.handle(), groups_[5].event.handle()},
                           waitTime());
        if (result == Platform::WAIT_TIMEOUT) {
            dispatchChanges();
            addWatches();
        } else if (result == Platform::WAIT_OBJECT_0) {
            break;
        } else if (result <= Platform::WAIT_OBJECT_0 + LiveGroup + 1) {
            drainEvents(result - Platform::WAIT_OBJECT_0 - 1);
        } else if (result == Platform::WAIT_OBJECT_0 + DesktopGroup + 1) {
            onShellEvent(DesktopGroup, desktopStamp_);
        } else if (result == Platform::WAIT_OBJECT_0 + StartMenuGroup + 1) {
            onShellEvent(StartMenuGroup, startMenuStamp_);
        } else {
            wstr message;
            logMessage(
                Logger::Error,
                wstr::format(message,
                             L"Data monitor thread unexpectedly stopped (result {}; error {})",
                             result, Platform::lastError()));
            break;
        }
    }
    removeWatches();
}

// Until the next quiet period ends; every retry period while a folder that
// should be watched is not.
uint32_t DataFs::Monitor::waitTime() const {
    bool missing = false;
    for (const auto& group : groups_)
        for (const auto& root : group.roots)
            missing |= !group.excluded && !root.path.empty() && root.id == 0;
    uint32_t timeout = missing ? timing_.retryMs : Platform::INFINITE;
    uint64_t now = nowMs();
    if (configStamp_)
        timeout = std::min(timeout, remaining(now, configStamp_, timing_.configQuietMs));
    if (desktopStamp_)
        timeout = std::min(timeout, remaining(now, desktopStamp_, timing_.shellQuietMs));
    if (startMenuStamp_)
        timeout = std::min(timeout, remaining(now, startMenuStamp_, timing_.shellQuietMs));
    for (const auto& [name, entry] : pending_) {
        if (timeout == 0)
            break;
        timeout = std::min(timeout, remaining(now, entry.stamp, timing_.packageQuietMs));
    }
    return timeout;
}

// A Desktop or applications folder that appears after the first placement
// (created, mounted) brings its files along: that counts as a change.
void DataFs::Monitor::addWatches() {
    for (size_t index = 0; index < groupCount; ++index) {
        auto& group = groups_[index];
        if (group.excluded)
            continue;
        for (auto& root : group.roots) {
            if (root.id != 0 || root.path.empty())
                continue;
            root.id = fileMonitor_->addDir(root.path, group.event.handle());
            if (root.id != 0 && placedOnce_)
                if (uint64_t* stamp = shellStamp(index))
                    *stamp = nowMs();
        }
    }
    placedOnce_ = true;
}

uint64_t* DataFs::Monitor::shellStamp(size_t group) {
    if (group == DesktopGroup)
        return &desktopStamp_;
    return group == StartMenuGroup ? &startMenuStamp_ : nullptr;
}

void DataFs::Monitor::removeWatches() {
    std::vector<uint32_t> ids;
    for (auto& group : groups_)
        for (auto& root : group.roots)
            if (root.id != 0)
                ids.push_back(std::exchange(root.id, 0));
    if (!ids.empty())
        fileMonitor_->removeDir(ids);
}

void DataFs::Monitor::dispatchChanges() {
    uint64_t now = nowMs();
    uint32_t bits = 0;
    auto due = [&](uint64_t& stamp, uint32_t quietMs, uint32_t bit) {
        if (stamp && elapsed(now, stamp) >= quietMs) {
            stamp = 0;
            bits |= bit;
        }
    };
    due(configStamp_, timing_.configQuietMs, ConfigChanged);
    due(desktopStamp_, timing_.shellQuietMs, DesktopChanged);
    due(startMenuStamp_, timing_.shellQuietMs, StartMenuChanged);
    if (bits)
        notifyEventListeners(bits);

    Mutex::Lock lock(packagesMutex);
    std::vector<PackageChange> changes;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (elapsed(now, it->second.stamp) < timing_.packageQuietMs) {
            ++it;
            continue;
        }
        if (!packagesListeners.empty())
            changes.push_back({it->first, it->second.configOnly});
        it = pending_.erase(it);
    }
    if (changes.empty())
        return;
    notifyLive(packagesListeners,
               [&](PackagesListener& listener) { listener.onPackagesChanged(changes); });
}

void DataFs::Monitor::notifyEventListeners(uint32_t bits) {
    Mutex::Lock lock(eventMutex);
    notifyLive(eventListeners, [bits](EventListener& listener) { listener.onDataFsEvent(bits); });
}

// The group's queued events; a watch that went away is forgotten here, its
// end is not among them, and `rootClosed` tells whether a root went away.
std::vector<FileMonitor::EventPtr> DataFs::Monitor::fetchGroupEvents(size_t group,
                                                                     bool* rootClosed) {
    auto& roots = groups_[group].roots;
    std::vector<uint32_t> ids;
    for (const auto& root : roots)
        if (root.id)
            ids.push_back(root.id);
    std::vector<FileMonitor::EventPtr> events;
    for (auto& event : fileMonitor_->fetchEvents(ids)) {
        if (event->kind != FileMonitor::WatchRemoved && event->kind != FileMonitor::WatchClosed) {
            events.push_back(std::move(event));
            continue;
        }
        for (auto& root : roots) {
            if (root.id != event->watchId)
                continue;
            root.id = 0;
            if (rootClosed && event->kind == FileMonitor::WatchClosed)
                *rootClosed = true;
        }
    }
    return events;
}

void DataFs::Monitor::drainEvents(size_t group) {
    uint64_t now = nowMs();
    for (const auto& event : fetchGroupEvents(group)) {
        if (event->kind == FileMonitor::Overflow) {
            onOverflow(group, now);
        } else if (group == UserGroup) {
            onUserConfigEvent(*event, now);
        } else if (group == LiveGroup) {
            onLivePackagesEvent(*event, now);
        } else {
            onPackagesFolderEvent(*event, now);
        }
    }
}

void DataFs::Monitor::onUserConfigEvent(const FileMonitor::Event& event, uint64_t now) {
    if (hasSeparator(event.path))
        return;
    wstr editorStem = Path::stem(DataFs::userEditorConfigPath(folders_));
    for (const auto& name : {event.oldName, event.path}) {
        if (name.empty() || !Path::hasExtension(name, DataFs::iniExtension()))
            continue;
        wstr stem = Path::stem(name);
        if (wstr::equals(stem, DataFs::appTitle(), false))
            configStamp_ = now;
        else if (!wstr::equals(stem, editorStem, false))
            registerPackageName(stem, now, true);
    }
}

void DataFs::Monitor::onPackagesFolderEvent(const FileMonitor::Event& event, uint64_t now) {
    if (hasSeparator(event.path))
        return;
    std::vector<wstr> names;
    if (event.kind == FileMonitor::Renamed)
        names.push_back(event.oldName);
    names.push_back(event.path);
    for (const auto& name : names) {
        wstr package = DataFs::packageNameFromFile(name);
        if (!package.empty())
            registerPackageName(package, now, false);
    }
}

void DataFs::Monitor::onLivePackagesEvent(const FileMonitor::Event& event, uint64_t now) {
    auto components = splitComponents(event.path);
    if (components.empty())
        return;
    const wstr& package = components.front();
    if (components.size() == 1) {
        bool folder = event.kind == FileMonitor::Removed ||
                      Sys::isDirectory(Path::combine(folders_.profilePackages, package)) == 1;
        if (!folder)
            return;
        if (event.kind == FileMonitor::Renamed)
            registerPackageName(event.oldName, now, false);
        if (event.kind != FileMonitor::Modified)
            registerPackageName(package, now, false);
        return;
    }
    auto isIni = [](const wstr& name) { return Path::hasExtension(name, DataFs::iniExtension()); };
    auto isPy = [](const wstr& name) { return Path::hasExtension(name, DataFs::pyExtension()); };
    if (event.kind == FileMonitor::Renamed &&
        lastExtension(event.path) != lastExtension(event.oldName)) {
        if (isIni(event.path) || isPy(event.path) || isIni(event.oldName) || isPy(event.oldName))
            registerPackageName(package, now, false);
        return;
    }
    if (isIni(event.path))
        registerPackageName(package, now, true);
    else if (isPy(event.path))
        registerPackageName(package, now, false);
}

// The file monitor lost changes: whatever this group covers counts as changed.
void DataFs::Monitor::onOverflow(size_t group, uint64_t now) {
    if (group == UserGroup) {
        configStamp_ = now;
        std::vector<wstr> files;
        FileScanner::scan(files, folders_.profileUser, L"*." + DataFs::iniExtension(),
                          FileScanner::Files, 0);
        for (const auto& file : files)
            registerPackageName(Path::stem(file), now, true);
        return;
    }
    const wstr& root = groups_[group].roots.front().path;
    for (const auto& [name, locations] : DataFs::scanPackages(folders_, wstr()))
        for (const auto& location : locations)
            if (isWithin(location, root))
                registerPackageName(name, now, false);
}

// A folder that went away took its files with it: a change too.
void DataFs::Monitor::onShellEvent(size_t group, uint64_t& stamp) {
    uint64_t now = nowMs();
    bool rootClosed = false;
    if (!fetchGroupEvents(group, &rootClosed).empty() || rootClosed)
        stamp = now;
}

void DataFs::Monitor::registerPackageName(const wstr& name, uint64_t now, bool configOnly) {
    if (!DataFs::isValidPackageName(name))
        return;
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const auto& entry) {
        return wstr::equals(entry.first, name, false);
    });
    if (it == pending_.end()) {
        pending_.emplace(name, Pending{now, configOnly});
        return;
    }
    it->second.stamp = now;
    it->second.configOnly = it->second.configOnly && configOnly;
}
