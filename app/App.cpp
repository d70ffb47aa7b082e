// Python's headers go before Qt's, whose "slots" macro they use as a name.
#include "python/Python.h"

#include "app/App.h"
#include "app/AppCatalogHost.h"
#include "app/AppImageHost.h"
#include "app/AppPackageHost.h"
#include "app/InstanceServer.h"
#include "app/ShutdownBudget.h"
#include "catalog/AppIdentity.h"
#include "catalog/SwapFile.h"
#include "core/Format.h"
#include "core/Logger.h"
#include "core/Path.h"
#include "core/SysDisplay.h"
#include "core/SysFile.h"
#include "core/SysInfo.h"
#include "core/SysTime.h"
#include "files/FileMonitor.h"
#include "packages/PackageExternal.h"
#include "packages/PackageManager.h"
#include "platform/Error.h"
#include "platform/KeyboardLayout.h"
#include "platform/RuntimeDir.h"
#include "python/GilLock.h"
#include "python/PythonBuiltins.h"

#include <filesystem>
#include <mutex>
#include <stdexcept>

#ifndef QV_APP_REVISION
#define QV_APP_REVISION "0000000000000000000000000000000000000000"
#endif

namespace {

struct InstanceRef {
    std::mutex mutex;
    std::weak_ptr<App> app;
};

InstanceRef& instanceRef() {
    static InstanceRef ref;
    return ref;
}

void setInstance(const std::shared_ptr<App>& app, AppServices* services,
                 PythonHost* pythonServices) {
    {
        std::lock_guard lock(instanceRef().mutex);
        instanceRef().app = app;
    }
    // The services share the application's ownership: holding them holds it.
    AppServices::setInstance(app ? std::shared_ptr<AppServices>(app, services)
                                 : std::shared_ptr<AppServices>());
    PythonHost::setInstance(app ? std::shared_ptr<PythonHost>(app, pythonServices)
                                : std::shared_ptr<PythonHost>());
}

void logInfo(wstr text) {
    logMessage(Logger::Info, std::move(text));
}

} // namespace

std::shared_ptr<const SettingsStore> App::PythonServices::appSettings() const {
    std::shared_ptr<const AppConfig> config = app_.config();
    return config ? std::shared_ptr<const SettingsStore>(config, &config->settingsStore) : nullptr;
}

const wstr& App::appName() {
    static const wstr name = L"Quorvalent";
    return name;
}

const wstr& App::appTitle() {
    static const wstr title = L"Quorvalent";
    return title;
}

const wstr& App::appVersion() {
    static const wstr version = L"2.24";
    return version;
}

const wstr& App::appRevision() {
    static const wstr revision = wstr::fromUtf8(QV_APP_REVISION);
    return revision;
}

const wstr& App::appVersionString() {
    static const wstr text = [] {
        wstr s;
        return wstr::format(s, L"{} ({})", appVersion(), appRevision().substr(0, 7));
    }();
    return text;
}

App::App(wstr programFile)
    : programFile_(std::move(programFile)), fileMonitor_(std::make_shared<FileMonitor>()),
      networkWatch_(std::make_unique<SilentNetworkSettingsWatch>()) {}

App::~App() {
    shutdown();
    setInstance(nullptr, nullptr, nullptr);
    CatalogHost::setInstance(nullptr);
    PackageHost::setInstance(nullptr);
}

std::shared_ptr<App> App::instance() {
    std::lock_guard lock(instanceRef().mutex);
    return instanceRef().app.lock();
}

int App::init(uint32_t startCommand) {
    setInstance(shared_from_this(), &services_, &pythonServices_);
    stopSignals_ = std::make_unique<Platform::StopSignals>(stopSignal_.handle()->fd());
    AppIdentity::set({appTitle(), appVersion(), appRevision(), DataFs::appWebsite()});
    CatalogHost::setInstance(std::make_shared<AppCatalogHost>(weak_from_this()));
    PackageHost::setInstance(std::make_shared<AppPackageHost>(weak_from_this()));
    Logger::setAppName(appName());
    resolveFolders();
    prepareLogFile();
    logBanner();
    startPython();
    loadConfig();
    startLogger();
    startDataMonitor();
    startConfigEdit();
    startImageManager();
    loadCatalogFiles();
    createPackageManager();
    loadStateFile();
    createWindows();
    // "--show" on the first start opens the LaunchBox as a later start's would.
    if (windows_ && startCommand == messageShow)
        windows_->onInstanceMessage(messageShow);
    startInstanceServer();
    logInitDone();
    // Last: its monitor thread loads the packages.
    packageManager()->start();
    return 0;
}

void App::resolveFolders() {
    portable_ = programFile_.empty() ? DataFs::resolveFolders(folders_)
                                     : DataFs::resolveFolders(programFile_, folders_);
}

void App::prepareLogFile() {
    Logger::enableFile(false);
    Logger::setFile(DataFs::logFilePath(folders_));
}

void App::logBanner() {
    wstr text;
    logInfo(wstr::format(text, L"{} {} for {}", appTitle(), appVersionString(), L"x64"));
    logInfo(wstr::format(text = {}, L"System: {}", Sys::windowsVersionString()));
    logInfo(wstr::format(text = {}, L"{} mode", portable_ ? L"Portable" : L"Installed"));
    const std::string layout = Platform::keyboardLayoutName();
    if (layout.empty())
        logMessage(Logger::Warning, L"Failed to get keyboard layout name");
    else
        logInfo(wstr::format(text = {}, L"Keyboard layout: {}", wstr::fromUtf8(layout.c_str())));
    for (auto& line : logMonitors())
        logInfo(std::move(line));
    if (folders_.defaultPackages.empty())
        logInfo(L"Official packages directory NOT FOUND.");
    else
        logInfo(wstr::format(text = {}, L"Official packages: {}", folders_.defaultPackages));
    logInfo(wstr::format(text = {}, L"Profile dir: {}", folders_.profile));
    logInfo(wstr::format(text = {}, L"Local dir: {}", folders_.local));
}

std::vector<wstr> App::logMonitors() const {
    std::vector<wstr> lines;
    int number = 0;
    for (const auto& monitor : Sys::enumMonitors()) {
        wstr line;
        const auto& r = monitor->monitor;
        lines.push_back(
            wstr::format(line, L"Monitor #{}: Name[{}] Rect[{}, {}, {}, {}] DpiScale[{:.2f}]{}",
                         ++number, monitor->deviceName, r.left, r.top, r.right, r.bottom,
                         monitor->dpi.x / 96.0, monitor->primary ? L" PRIMARY" : L""));
    }
    return lines;
}

void App::startPython() {
    PythonBuiltins::setShuttingDown(false);
    // A host that embeds the application (the tests) may run the interpreter
    // already: it is used as it is and left running.
    if (Py_IsInitialized())
        return;
    const int64_t t0 = Sys::perfCounter();
    Python::init(
        Python::systemHome(),
        Python::searchPath(Path::combine(folders_.install, L"python"), folders_.profilePackages),
        folders_.profilePackages, Python::bytecodeFolder(folders_.install));
    pythonStarted_ = true;
    pythonNs_ = (Sys::perfCounter() - t0) * (1000000000 / Sys::perfFrequency);
}

void App::loadConfig() {
    auto config = config_.load(DataFs::appConfigFiles(folders_));
    Logger::enableFile(config->writeLogFile);
    applyCatalogSettings(*config);
}

// The catalog keeps its own copy of the settings it reads under its lock.
void App::applyCatalogSettings(const AppConfig& config) {
    catalog_.setExcludeNonexistentFiles(config.excludeNonexistentLocalFiles,
                                        config.excludeNonexistentRemoteFiles);
}

void App::startLogger() {
    Logger::addListener(logEvent_.handle());
    Logger::start();
}

void App::startDataMonitor() {
    dataFs_ = std::make_unique<DataFs>(folders_, fileMonitor_);
    dataFs_->addEventListener(weak_from_this());
    dataFs_->startMonitoring();
}

void App::startConfigEdit() {
    auto edit = std::make_shared<ConfigEdit>(weak_from_this());
    edit->resolveEditor();
    configEdit_ = edit;
}

void App::startImageManager() {
    imageManager_ = ImageManager::create(std::make_shared<AppImageHost>(weak_from_this()));
}

void App::loadCatalogFiles() {
    const wstr history = Path::combine(folders_.profileUser, appName() + L".history");
    const wstr cache = DataFs::catalogFilePath(folders_);
    // This instance holds the profile and nothing writes them yet: a swap
    // file there was left by a killed write.
    SwapFile::removeLeftover(history);
    SwapFile::removeLeftover(cache);
    catalog_.loadHistoryFile(history);
    catalog_.loadCatalogFile(cache);
    catalog_.startWriter();
}

// Packages on disk are external packages of Python plugins; Python code
// that keeps a stopping worker busy is interrupted.
void App::createPackageManager() {
    PackageManager::Options options;
    options.packageFactory = [](const wstr& name, uint64_t revision,
                                const std::vector<wstr>& places) {
        return PackageExternal::create(name, revision, places);
    };
    options.terminateHook = &PythonBuiltins::interruptThread;
    options.monitorStopMs = ShutdownBudget::packagesMonitorMs;
    options.monitorInterruptedMs = ShutdownBudget::packagesMonitorInterruptedMs;
    options.pool.stopWorkersMs = ShutdownBudget::poolWorkersMs;
    options.pool.interruptedWorkersMs = ShutdownBudget::poolWorkersInterruptedMs;
    options.pool.stopSchedulerMs = ShutdownBudget::poolSchedulerMs;
    packageManager_ = std::make_shared<PackageManager>(std::move(options));
}

void App::addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener) {
    if (dataFs_)
        dataFs_->addPackagesListener(std::move(listener));
}

void App::removePackagesListener(const DataFs::PackagesListener* listener) {
    if (dataFs_)
        dataFs_->removePackagesListener(listener);
}

void App::loadStateFile() {
    const wstr current = DataFs::stateFilePath(folders_, false);
    migrateStateFile(DataFs::stateFilePath(folders_, true), current);
    state_.load(current);
}

void App::migrateStateFile(const wstr& former, const wstr& current) {
    if (Sys::isDirectory(former) != 0)
        return;
    std::error_code ignored;
    if (Sys::isDirectory(current) >= 0)
        std::filesystem::remove(wstr::toUtf8(former), ignored);
    else
        std::filesystem::rename(wstr::toUtf8(former), wstr::toUtf8(current), ignored);
}

void App::createWindows() {
    if (windowsFactory_)
        windows_ = windowsFactory_(*this);
    mainCommands_.setOpen(windows_ != nullptr);
}

// Where a desktop creates the main window: from here on other starts find
// this instance and may send it requests.
void App::startInstanceServer() {
    std::string refused;
    const std::string dir = Platform::runtimeDir(&refused);
    if (dir.empty())
        throw std::runtime_error(formatNarrow("Failed to use the runtime folder {} (error {})",
                                              Platform::runtimeDirCandidate(),
                                              Platform::lastError()));
    if (!refused.empty()) {
        wstr text;
        logMessage(Logger::Warning,
                   wstr::format(text,
                                L"The runtime folder {} is not safe (another user's, a link, or "
                                L"open to others); using {} instead",
                                wstr::fromUtf8(refused.c_str()), wstr::fromUtf8(dir.c_str())));
    }
    instanceServer_ = std::make_unique<InstanceServer>(
        dir + "/" + instanceSocketName(),
        [this](uint32_t message) { return onInstanceMessage(message); });
}

void App::logInitDone() {
    const double total = Sys::processUptimeMs() / 1000;
    const double python = pythonNs_ / 1e9;
    const double percent = python >= total ? 100.0 : python * 100 / total;
    wstr text;
    logInfo(wstr::format(text,
                         L"Init done in {:.4f}s, including {:.4f}s ({:.0f}%) for the Python "
                         L"interpreter.",
                         total, python, percent));
}

uint32_t App::onInstanceMessage(uint32_t message) {
    if (windows_)
        return windows_->onInstanceMessage(message);
    switch (message) {
    case messageExit:
        // Like a window that is closed once: later requests change nothing.
        if (!std::exchange(exitRequested_, true))
            postQuitMessage(0);
        return 0;
    case messageVersion:
        return versionAnswer;
    default:
        return 0;
    }
}

void App::shutdown() {
    PythonBuiltins::setShuttingDown(true);
    limitPythonWaits();
    stopSignals_.reset();
    instanceServer_.reset();
    // Before the services the windows use.
    mainCommands_.setOpen(false);
    windows_.reset();
    // A window moved or sized in the last second is still to be written.
    state_.savePending();
    // Without the catalog's lock: the writer takes it for its snapshot.
    catalog_.stopWriter();
    // Before the packages: the images thread asks them for icons.
    if (auto images = imageManager()) {
        images->stop(ShutdownBudget::imageManagerMs);
        imageManager_.store(nullptr);
    }
    if (auto manager = packageManager()) {
        manager->stop();
        packageManager_.store(nullptr);
    }
    if (dataFs_)
        dataFs_->stop();
    if (fileMonitor_)
        fileMonitor_->stop(ShutdownBudget::fileMonitorMs);
    if (auto edit = configEdit()) {
        edit->stop(ShutdownBudget::configEditMs);
        configEdit_.store(nullptr);
    }
    Logger::clearListeners();
    if (std::exchange(pythonStarted_, false))
        pythonLeftRunning_ = !Python::finalize(
            ShutdownBudget::pluginThreadsMs, ShutdownBudget::pluginThreadsInterruptedMs,
            ShutdownBudget::pythonSettleMs, ShutdownBudget::pythonExitHandlersMs,
            ShutdownBudget::pythonFlushMs);
    // Those that embed the application (tests) go on with Python as before,
    // unless a thread holds its lock.
    if (!GilLock::givenUp())
        GilLock::unlimitWaits();
    Logger::stop(ShutdownBudget::loggerMs);
    // Records after the shutdown (a process that starts another application)
    // must not reopen this run's file, whose folder may be gone.
    Logger::enableFile(false);
    Logger::setFile(wstr());
}

namespace {

// Names the thread that keeps the GIL, and the plugin it serves when it is
// one of the threads that ran plugin code when the shutdown began; threads
// that only wait for the GIL are never named.
void logPythonLockHolder(const std::map<uint32_t, wstr>& threads, uint32_t waitedMs,
                         uint32_t holder) {
    wstr who;
    if (holder == 0)
        who = L"a thread that is not known";
    else if (auto owner = threads.find(holder); owner != threads.end())
        wstr::format(who, L"thread {} of {}", holder, owner->second);
    else
        wstr::format(who, L"thread {}, which runs no plugin's message or thread", holder);
    wstr text;
    logMessage(Logger::Warning,
               wstr::format(text,
                            L"The Python lock is still held after {} ms, by {}; what needs "
                            L"Python is skipped while it holds it",
                            waitedMs, who));
}

} // namespace

// Each later stage waits for the GIL within its budget: a plugin thread that
// holds it for ever must not hold the shutdown, nor what it still writes.
void App::limitPythonWaits() {
    auto manager = packageManager();
    GilLock::limitWaits(ShutdownBudget::pythonLockMs,
                        [threads = manager ? manager->pluginThreads() : std::map<uint32_t, wstr>()](
                            uint32_t waitedMs, uint32_t holder) {
                            logPythonLockHolder(threads, waitedMs, holder);
                        });
}

void App::onDataFsEvent(uint32_t bits) {
    if (bits & DataFs::ConfigChanged)
        setTimer(TimerConfigFilesChanged, 0);
    if (bits & DataFs::DesktopChanged)
        setTimer(TimerDesktopChanged, 0);
    if (bits & DataFs::StartMenuChanged)
        setTimer(TimerStartMenuChanged, 0);
}

std::optional<std::pair<wstr, bool>> App::editorSetting() {
    auto current = config();
    if (!current)
        return std::nullopt;
    return std::pair<wstr, bool>{current->configEditor, current->configEditorAcceptsMultifiles};
}

bool App::hasPackageManager() {
    return packageManager() != nullptr;
}

namespace {

// A loaded package as the configuration editor reads it.
class EditedPackage : public ConfigEdit::Package {
public:
    explicit EditedPackage(PackagePtr package) : package_(std::move(package)) {}
    uint32_t id() const override { return package_->id(); }
    wstr name() const override { return package_->name(); }
    std::vector<VDir::EntryInfo> resourceInfo(const wstr& resource) override {
        return package_->resourceInfo(resource, true);
    }
    std::optional<std::string> readTextResource(const wstr& resource, uint64_t limit) override {
        auto result = package_->readTextResource(resource, limit, -1);
        if (result.status != VDir::ReadResult::Done)
            return std::nullopt;
        return std::move(result.text);
    }

private:
    PackagePtr package_;
};

} // namespace

std::shared_ptr<ConfigEdit::Package> App::findPackage(uint32_t id) {
    auto manager = packageManager();
    auto package = manager ? manager->findPackage(id, 0) : nullptr;
    return package ? std::make_shared<EditedPackage>(package) : nullptr;
}
