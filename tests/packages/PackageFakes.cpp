#include "tests/packages/PackageFakes.h"

#include "core/Wstr.h"
#include "platform/Error.h"

#include <sched.h>

#include <chrono>
#include <filesystem>

namespace qvtest {

namespace {

constexpr uint32_t waitLimitMs = 10000;

wstr wide(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.string().c_str());
}

} // namespace

// --- FakeApp ------------------------------------------------------------------

FakeApp::FakeApp() : catalog_(std::make_shared<Catalog>()) {
    for (const char* folder : {"default", "installed", "live", "user", "cache"})
        std::filesystem::create_directories(root_.path() / folder);
    folders_.defaultPackages = wide(root_.path() / "default");
    folders_.profileInstalledPackages = wide(root_.path() / "installed");
    folders_.profilePackages = wide(root_.path() / "live");
    folders_.profileUser = wide(root_.path() / "user");
    folders_.localPackages = wide(root_.path() / "cache");
}

void FakeApp::setTimer(uint32_t id, uint32_t delayMs) {
    std::lock_guard lock(mutex_);
    timers_.emplace_back(id, delayMs);
}

std::shared_ptr<PackageManager> FakeApp::packageManager() {
    std::lock_guard lock(mutex_);
    return manager_;
}

bool FakeApp::isPackageIgnored(const wstr& name) {
    std::lock_guard lock(mutex_);
    return ignored_.count(wstr::lowerCopy(name)) != 0;
}

SettingsStore::KeyMap FakeApp::configVariables() {
    std::lock_guard lock(mutex_);
    return variables_;
}

void FakeApp::addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener) {
    std::lock_guard lock(mutex_);
    listeners_.push_back(std::move(listener));
}

void FakeApp::removePackagesListener(const DataFs::PackagesListener* listener) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [listener](const auto& weak) {
        auto held = weak.lock();
        return !held || held.get() == listener;
    });
}

bool FakeApp::postMainWindowCommand(uint32_t commandId) {
    std::lock_guard lock(mutex_);
    if (!mainWindow_)
        return false;
    commands_.push_back(commandId);
    return true;
}

bool FakeApp::hasMainWindow() {
    std::lock_guard lock(mutex_);
    return mainWindow_;
}

void FakeApp::editPackageConfig(const wstr& packageName) {
    std::lock_guard lock(mutex_);
    edits_.push_back(packageName);
}

void FakeApp::forgetPackageIcons(uint32_t) {}

void FakeApp::forgetPackageIcon(uint64_t iconHandle) {
    std::lock_guard lock(mutex_);
    forgottenIcons_.push_back(iconHandle);
}

std::vector<uint64_t> FakeApp::forgottenIcons() {
    std::lock_guard lock(mutex_);
    return forgottenIcons_;
}

std::set<uint64_t> FakeApp::knownIds() {
    std::shared_ptr<PackageManager> manager = packageManager();
    return manager ? manager->knownIds() : std::set<uint64_t>();
}

std::optional<wstr> FakeApp::pluginFullName(uint64_t pluginId) {
    std::shared_ptr<PackageManager> manager = packageManager();
    bool found = false;
    wstr name = manager ? manager->pluginFullName(pluginId, &found) : wstr();
    return found ? std::optional<wstr>(name) : std::nullopt;
}

std::optional<uint64_t> FakeApp::pendingCatalogMessages() {
    std::shared_ptr<PackageManager> manager = packageManager();
    if (!manager)
        return std::nullopt;
    PackageManager::TaskCounts counts = manager->getTaskCounts();
    return counts.pendingCatalog + counts.runningCatalog;
}

// The manager replaced may go with it: it is released after the lock.
void FakeApp::setManager(std::shared_ptr<PackageManager> manager) {
    std::lock_guard lock(mutex_);
    manager_.swap(manager);
}

void FakeApp::setIgnored(std::set<wstr> lowerNames) {
    std::lock_guard lock(mutex_);
    ignored_ = std::move(lowerNames);
}

void FakeApp::setVariable(const wstr& name, const wstr& value) {
    std::lock_guard lock(mutex_);
    variables_[name] = value;
}

void FakeApp::setMainWindow(bool exists) {
    std::lock_guard lock(mutex_);
    mainWindow_ = exists;
}

std::vector<std::pair<uint32_t, uint32_t>> FakeApp::takeTimers() {
    std::lock_guard lock(mutex_);
    return std::exchange(timers_, {});
}

std::vector<uint32_t> FakeApp::commands() {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<wstr> FakeApp::edits() {
    std::lock_guard lock(mutex_);
    return edits_;
}

std::size_t FakeApp::listenerCount() {
    std::lock_guard lock(mutex_);
    return listeners_.size();
}

std::filesystem::path FakeApp::writePackageFile(const std::string& package, const std::string& file,
                                                const std::string& content) const {
    return root_.write("live/" + package + "/" + file, content);
}

std::filesystem::path FakeApp::writeUserFile(const std::string& file,
                                             const std::string& content) const {
    return root_.write("user/" + file, content);
}

AppScope::AppScope() : app_(std::make_shared<FakeApp>()) {
    PackageHost::setInstance(app_);
    CatalogHost::setInstance(app_);
}

AppScope::~AppScope() {
    if (std::shared_ptr<PackageManager> manager = app_->packageManager())
        manager->stop();
    app_->setManager(nullptr);
    PackageHost::setInstance(nullptr);
    CatalogHost::setInstance(nullptr);
}

// --- TestPlugin ---------------------------------------------------------------

void TestPlugin::dispatchEvent(const PluginMsg& msg) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    Record record{msg.kind(),
                  msg.sequence(),
                  msg.text(),
                  msg.flags(),
                  manager ? manager->callerState() : 0,
                  sched_getscheduler(0)};
    Hook hook;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(record);
        hook = hook_;
    }
    if (hook)
        hook(*this, msg);
}

void TestPlugin::setHook(Hook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<TestPlugin::Record> TestPlugin::records() {
    std::lock_guard lock(mutex_);
    return records_;
}

// --- TestPackage ---

PackageSpec plugins(std::vector<wstr> classes, std::function<void()> onLoad) {
    PackageSpec fixture;
    fixture.classes = std::move(classes);
    fixture.onLoad = std::move(onLoad);
    return fixture;
}

PackageSpec failing(const wstr& packageName) {
    PackageSpec fixture = plugins({L"Finder"});
    fixture.packageName = packageName;
    fixture.failLoad = true;
    return fixture;
}

TestPackage::TestPackage(const wstr& name, uint64_t revision, const wstr& folder,
                         PackageSpec fixture)
    : Package(name, revision), dir_(folder.empty() ? nullptr : VDir::create(folder)),
      spec_(std::move(fixture)) {}

TestPackage::~TestPackage() {
    if (spec_.onRelease)
        spec_.onRelease();
}

wstr TestPackage::findResource(const wstr& name, bool caseSensitive) {
    std::lock_guard lock(dirMutex_);
    return dir_ ? dir_->findFile(name, caseSensitive) : wstr();
}

wstr TestPackage::findResource(const wstr& name) {
    std::lock_guard lock(dirMutex_);
    return dir_ ? dir_->findFile(name) : wstr();
}

std::vector<wstr> TestPackage::findResources(const wstr& pattern, bool recursive,
                                             bool caseSensitive) {
    std::lock_guard lock(dirMutex_);
    return dir_ ? dir_->listFiles(pattern, recursive, caseSensitive) : std::vector<wstr>();
}

std::vector<wstr> TestPackage::findResources(const wstr& pattern, bool recursive) {
    std::lock_guard lock(dirMutex_);
    return dir_ ? dir_->listFiles(pattern, recursive) : std::vector<wstr>();
}

std::vector<VDir::EntryInfo> TestPackage::resourceInfo(const wstr& name, bool existingOnly) {
    std::lock_guard lock(dirMutex_);
    if (!dir_)
        return {};
    VDir::EntryInfo info = dir_->stat(name);
    if (existingOnly && !info.exists)
        return {};
    return {info};
}

VDir::ReadResult TestPackage::readResource(const wstr& name, uint64_t limit, int) {
    std::lock_guard lock(dirMutex_);
    return dir_ ? dir_->readFile(name, limit) : VDir::ReadResult();
}

bool TestPackage::load() {
    if (spec_.onLoad)
        spec_.onLoad();
    if (spec_.failLoad)
        return false;
    for (const wstr& className : spec_.classes) {
        auto plugin = std::make_shared<TestPlugin>(name() + L"." + className);
        plugin->setRevision(revision());
        addPlugin(plugin);
    }
    return true;
}

std::shared_ptr<TestPlugin> TestPackage::plugin(const wstr& className) const {
    wstr packageName;
    const uint64_t id = Plugin::parseFullName(name() + L"." + className, packageName);
    for (const auto& plugin : plugins()) {
        if (plugin->id() == id)
            return std::dynamic_pointer_cast<TestPlugin>(plugin);
    }
    return nullptr;
}

// --- FakePool -----------------------------------------------------------------

bool FakePool::push(std::shared_ptr<ThreadPool::Task> task) {
    auto msg = std::dynamic_pointer_cast<PluginMsg>(task);
    if (!msg)
        return false;
    std::lock_guard lock(mutex_);
    if (discard_)
        return true;
    tasks_.push_back(std::move(msg));
    changed_.notify_all();
    return true;
}

void FakePool::setDiscard(bool discard) {
    std::lock_guard lock(mutex_);
    discard_ = discard;
}

void FakePool::stop() {
    std::lock_guard lock(mutex_);
    tasks_.clear();
}

std::shared_ptr<PluginMsg> FakePool::take(const std::function<bool(const PluginMsg&)>& match) {
    std::unique_lock lock(mutex_);
    std::shared_ptr<PluginMsg> found;
    changed_.wait_for(lock, waitLimit, [&] {
        for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
            if (match(**it)) {
                found = *it;
                tasks_.erase(it);
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<std::shared_ptr<PluginMsg>> FakePool::pushed() {
    std::lock_guard lock(mutex_);
    return tasks_;
}

// --- ManagerHarness -----------------------------------------------------------

ManagerHarness::ManagerHarness(const AppScope& app, const Tweak& tweak) : app_(app) {
    PackageManager::Options options;
    options.packageFactory = [this](const wstr& name, uint64_t revision,
                                    const std::vector<wstr>& places) {
        return make(name, revision, places);
    };
    options.poolFactory = [pool = pool_] { return pool; };
    options.runningPollMs = 2;
    if (tweak)
        tweak(options);
    manager_ = std::make_shared<PackageManager>(std::move(options));
    manager_->setDispatchListener(dispatched_.handle());
    app->setManager(manager_);
}

ManagerHarness::~ManagerHarness() {
    manager_->stop();
    app_->setManager(nullptr);
}

void ManagerHarness::addPackage(const std::string& name, PackageSpec fixture) {
    std::filesystem::create_directories(app_->root().path() / "live" / name);
    std::lock_guard lock(mutex_);
    specs_[wstr::lowerCopy(wstr::fromUtf8(name.c_str()))] = std::move(fixture);
}

void ManagerHarness::removePackageFolder(const std::string& name) {
    std::filesystem::remove_all(app_->root().path() / "live" / name);
}

void ManagerHarness::start() {
    manager_->start();
}

std::shared_ptr<Package> ManagerHarness::make(const wstr& name, uint64_t revision,
                                              const std::vector<wstr>& places) {
    std::lock_guard lock(mutex_);
    auto fixture = specs_.find(wstr::lowerCopy(name));
    if (fixture == specs_.end() || places.empty())
        return nullptr;
    const wstr& packageName =
        fixture->second.packageName.empty() ? name : fixture->second.packageName;
    auto package =
        std::make_shared<TestPackage>(packageName, revision, places.back(), fixture->second);
    if (!fixture->second.onRelease)
        made_[wstr::lowerCopy(name)] = package;
    return package;
}

std::shared_ptr<TestPackage> ManagerHarness::package(const wstr& name) const {
    std::lock_guard lock(mutex_);
    auto found = made_.find(wstr::lowerCopy(name));
    return found == made_.end() ? nullptr : found->second;
}

std::shared_ptr<TestPlugin> ManagerHarness::plugin(const wstr& package,
                                                   const wstr& className) const {
    std::shared_ptr<TestPackage> found = this->package(package);
    return found ? found->plugin(className) : nullptr;
}

std::shared_ptr<PluginMsg> ManagerHarness::take(const wstr& fullName, uint32_t kind) {
    wstr packageName;
    const uint64_t id = Plugin::parseFullName(fullName, packageName);
    return pool_->take(
        [id, kind](const PluginMsg& msg) { return msg.pluginId() == id && msg.kind() == kind; });
}

bool ManagerHarness::passes(int n) {
    dispatched_.reset();
    for (int i = 0; i < n; ++i) {
        if (dispatched_.wait(waitLimitMs) != Platform::WAIT_OBJECT_0)
            return false;
    }
    return true;
}

bool ManagerHarness::waitPass() {
    return dispatched_.wait(waitLimitMs) == Platform::WAIT_OBJECT_0;
}

// Every load is followed by a pass of the monitor.
bool ManagerHarness::waitLoaded(const wstr& name, uint64_t revision) {
    while (!manager_->findPackage(Package::idOf(name), revision)) {
        if (!waitPass())
            return false;
    }
    return true;
}

// --- Running tasks ------------------------------------------------------------

void runTask(std::shared_ptr<PluginMsg> task) {
    RunningTask running(std::move(task));
}

RunningTask::RunningTask(std::shared_ptr<PluginMsg> task)
    : thread_([task = std::move(task)]() mutable {
          task->run();
          task.reset();
      }) {}

RunningTask::~RunningTask() {
    join();
}

void RunningTask::join() {
    if (thread_.joinable())
        thread_.join();
}

void signalAtThreadEnd(Event::Handle event) {
    struct AtEnd {
        std::vector<Event::Handle> events;
        ~AtEnd() {
            for (const Event::Handle& event : events)
                event->set();
        }
    };
    thread_local AtEnd atEnd;
    atEnd.events.push_back(std::move(event));
}

void Gate::wait() {
    arrived_.set();
    open_.wait(waitLimitMs);
}

bool Gate::waitArrived() {
    return arrived_.wait(waitLimitMs) == Platform::WAIT_OBJECT_0;
}

void Gate::open() {
    open_.set();
}

} // namespace qvtest
