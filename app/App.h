#pragma once

#include "app/AppServices.h"
#include "app/AppState.h"
#include "app/AppTimers.h"
#include "app/AppWindows.h"
#include "app/ConfigEdit.h"
#include "app/CurrentConfig.h"
#include "app/MainWindowCommands.h"
#include "app/NetworkSettingsWatch.h"
#include "catalog/Catalog.h"
#include "core/Event.h"
#include "core/Wstr.h"
#include "files/DataFs.h"
#include "platform/StopSignals.h"
#include "python/PythonHost.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class FileMonitor;
class ImageManager;
class InstanceServer;
class PackageManager;

// The one application object. It owns everything that lives for the whole
// run, builds it in a fixed order in init(), runs the user-interface
// thread's loop in run(), and stops and releases it in a fixed order with
// bounded waits in shutdown(). Any part of the program reaches it through
// instance(). Other threads hand work to the user-interface thread through
// setTimer().
class App : public DataFs::EventListener,
            public ConfigEdit::Host,
            public std::enable_shared_from_this<App> {
public:
    // The App timers: what runs on the user-interface thread when each is due.
    enum TimerId : uint32_t {
        TimerEnvironment = 0,
        TimerDesktopChanged = 1,
        TimerStartMenuChanged = 2,
        TimerConfigFilesChanged = 3,
        TimerReloadAll = 4,
        TimerTrayMenu = 5,
        TimerTrayBusy = AppTimers::trayBusy,
        TimerTrayNormal = AppTimers::trayNormal,
        TimerSearch = 8,
        TimerActions = 9,
        TimerIcons = 10,
        TimerSaveState = 11,
        TimerActivate = 12,
        TimerMonitors = 13,
        TimerWatchNetwork = 14,
        TimerNetworkChanged = 15,
        TimerMainCommands = 16,
    };

    // The private messages that other starts of the program send.
    static constexpr uint32_t messageExit = 1501;
    static constexpr uint32_t messageVersion = 1502;
    static constexpr uint32_t messageShow = 1510;
    static constexpr uint32_t messageHide = 1511;
    static constexpr uint32_t versionAnswer = 20240000;

    // Identity; any thread.
    static const wstr& appName();    // stem of data file names, message box caption
    static const wstr& appTitle();   // the name shown to the user
    static const wstr& appVersion(); // "2.24"
    static const wstr& appRevision();
    static const wstr& appVersionString(); // "2.24 (<first 7 of the revision>)"

    // The instance socket's name: the main window class of a desktop.
    static const char* instanceSocketName() { return "quorvalent_wndcls_main"; }

    // programFile is the running program (tests give one inside a made-up
    // install tree); empty: this process's executable. Throws when an event,
    // mutex or the file monitor cannot be created. User-interface thread.
    explicit App(wstr programFile = {});
    ~App() override;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The application while a shared owner holds it; empty before init()
    // and once it is being destroyed. Any thread.
    static std::shared_ptr<App> instance();

    // Builds everything in order; returns 0 and throws on every failure.
    // User-interface thread.
    int init(uint32_t startCommand);
    // The main loop: runs until a quit request and returns its code.
    // User-interface thread.
    uint32_t run();
    // Stops and releases in order, each stage within its share of the
    // shutdown budget; a second call finds nothing to do. User-interface
    // thread.
    void shutdown();
    // After shutdown: threads that run Python code outlived their budget, so
    // the interpreter was left running; the process must then end without
    // destroying anything those threads may still use (see runApplication).
    bool pythonLeftRunning() const { return pythonLeftRunning_; }

    // Runs the timer id's work on the user-interface thread delayMs from now
    // (0: at the next pass); a pending timer is only ever pushed later. Any
    // thread.
    void setTimer(uint32_t id, uint32_t delayMs);
    // Runs the due timers. User-interface thread.
    void processTimers();
    // Ends the main loop with the code. Any thread.
    static void postQuitMessage(int code);

    // Hands a tray-menu command to the main window, which carries it out on
    // the user-interface thread as its menu does; false, and nothing handed
    // on, while there is no main window (before the windows exist, without
    // windows, from the start of shutdown). Any thread.
    bool postMainWindowCommand(uint32_t commandId);
    // The main window exists and takes commands. Any thread.
    bool hasMainWindow() { return mainCommands_.isOpen(); }

    // The settings in force; null before init. Any thread.
    std::shared_ptr<const AppConfig> config() const { return config_.get(); }
    // Loads the settings again; when they changed, makes them current and
    // applies them to every part that copies them. Returns the "events" flags
    // that tell plugins of the change: PluginMsg::appConfigChanged, with
    // internetSettingsChanged when the [network] settings changed too; 0 when
    // the files give the same settings (or could not be read).
    // User-interface thread.
    uint32_t reloadConfig();

    // The catalog; its operations say which threads may call them.
    Catalog& catalog() { return catalog_; }

    // The window-geometry state. User-interface thread.
    AppState& state() { return state_; }
    // A state file under the former per-user name is moved to the current
    // name, or deleted when that exists too; a folder there is left alone.
    static void migrateStateFile(const wstr& former, const wstr& current);

    // (Re)arms the network settings watch unless it is armed; a failure
    // tries again in 1000 ms (timer 14). User-interface thread.
    void watchInternetSettings();
    // Replaces the network settings watch (tests). User-interface thread,
    // before run().
    void setNetworkSettingsWatch(std::unique_ptr<NetworkSettingsWatch> watch);

    // The data monitor's report: configuration (bit 1), desktop (bit 2) and
    // start menu (bit 4) changes become timers 3, 1 and 2. Data monitor thread.
    void onDataFsEvent(uint32_t bits) override;

    // Replaces the process environment by the user's current one (the
    // installed EnvironmentSource); out, when given, receives the variables
    // set. -1 when the source cannot tell, 0 when nothing changed, 1 when
    // something did. User-interface thread; touches no App member.
    static int reloadEnvironment(std::map<wstr, wstr>* out = nullptr);

    // Opens a file's folder, or a web address, through the Python utility
    // module; when that fails, through the shell, and when that fails too,
    // logs an error that says what to install or set. Any thread; the GIL is
    // released before the shell runs. There is no message pump to keep
    // going on this system, so pump changes nothing.
    static void exploreFile(const wstr& path);
    static void openUrl(const wstr& url, bool pump);

    // The main window's commands that open something outside the program
    // (MainWindowCommands::Opening): why the command cannot run now, in
    // words a user can act on; empty when it can, and for other commands.
    // Any thread.
    wstr commandProblem(uint32_t command);
    // Carries out such a command; one that cannot run logs its problem as
    // an error instead (the configuration editor, in a box, as its other
    // failures). User-interface thread.
    void runOpeningCommand(uint32_t command);
    // The change log the program installs beside itself.
    static wstr changeLogPath(const DataFs::Folders& folders);

    // The answer to a private message of another start: the windows' when
    // they exist. User-interface thread.
    uint32_t onInstanceMessage(uint32_t message);

    // How init() makes the windows (none: the application runs without).
    // User-interface thread, before init().
    void setWindowsFactory(AppWindows::Factory factory) { windowsFactory_ = std::move(factory); }
    // The windows; null before init(), without a factory and from the start
    // of shutdown(). User-interface thread.
    AppWindows* windows() const { return windows_.get(); }

    // One line per display monitor, for the banner. Any thread.
    std::vector<wstr> logMonitors() const;

    // The folders of this run (filled by init) and the mode. Any thread
    // after init.
    const DataFs::Folders& folders() const override { return folders_; }
    bool portable() const { return portable_; }
    // The configuration editor and the package manager; null before init
    // and after shutdown. Any thread.
    std::shared_ptr<ConfigEdit> configEdit() const { return configEdit_.load(); }
    std::shared_ptr<PackageManager> packageManager() const { return packageManager_.load(); }
    // The icon service; null before init and after shutdown. Any thread.
    std::shared_ptr<ImageManager> imageManager() const { return imageManager_.load(); }
    // The data monitor's package listeners. Any thread after init.
    void addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener);
    void removePackagesListener(const DataFs::PackagesListener* listener);

    // Runs whenever the logger has new records (the console shows them).
    // User-interface thread; set before run(), cleared before the handler's
    // target goes away.
    void setLogRecordsHandler(std::function<void()> handler) {
        logRecordsHandler_ = std::move(handler);
    }

    // ConfigEdit::Host. Any thread.
    std::optional<std::pair<wstr, bool>> editorSetting() override;
    bool hasPackageManager() override;
    std::shared_ptr<ConfigEdit::Package> findPackage(uint32_t id) override;

private:
    // The application as the settings and the state file see it.
    class Services : public AppServices {
    public:
        explicit Services(App& app) : app_(app) {}
        const DataFs::Folders& folders() const override { return app_.folders(); }
        std::shared_ptr<const AppConfig> config() const override { return app_.config(); }
        void setTimer(uint32_t id, uint32_t delayMs) override { app_.setTimer(id, delayMs); }
        const wstr& appVersion() const override { return App::appVersion(); }
        const wstr& appVersionString() const override { return App::appVersionString(); }

    private:
        App& app_;
    };

    // The application as the plugin API sees it.
    class PythonServices : public PythonHost {
    public:
        explicit PythonServices(App& app) : app_(app) {}
        const DataFs::Folders& folders() const override { return app_.folders(); }
        std::shared_ptr<const SettingsStore> appSettings() const override;
        void setTimer(uint32_t id, uint32_t delayMs) override { app_.setTimer(id, delayMs); }

    private:
        App& app_;
    };

    void resolveFolders();
    void prepareLogFile();
    void logBanner();
    void startPython();
    void loadConfig();
    void applyCatalogSettings(const AppConfig& config);
    void startLogger();
    void startDataMonitor();
    void startConfigEdit();
    void startImageManager();
    void loadCatalogFiles();
    void createPackageManager();
    void loadStateFile();
    void createWindows();
    void startInstanceServer();
    void logInitDone();
    void limitPythonWaits();
    void runTimer(uint32_t id);
    void runMainWindowCommands();
    void onStopSignal();
    void onEnvironmentTimer();
    void broadcastEvents(uint32_t flags);
    void onNetworkSettingsChanged();

    const wstr programFile_;
    DataFs::Folders folders_;
    bool portable_ = false;
    Services services_{*this};
    PythonServices pythonServices_{*this};
    Event logEvent_{true};
    std::function<void()> logRecordsHandler_;
    AppTimers timers_;
    CurrentConfig config_;
    // Read by other threads through the hosts, replaced on this one.
    std::atomic<std::shared_ptr<ConfigEdit>> configEdit_;
    std::atomic<std::shared_ptr<ImageManager>> imageManager_;
    std::shared_ptr<FileMonitor> fileMonitor_;
    std::unique_ptr<DataFs> dataFs_;
    std::atomic<std::shared_ptr<PackageManager>> packageManager_;
    Catalog catalog_;
    std::unique_ptr<NetworkSettingsWatch> networkWatch_;
    bool networkWatchArmed_ = false;
    Event networkEvent_{true};
    AppState state_;
    AppWindows::Factory windowsFactory_;
    std::unique_ptr<AppWindows> windows_;
    MainWindowCommands mainCommands_;
    std::unique_ptr<InstanceServer> instanceServer_;
    bool exitRequested_ = false;
    bool pythonStarted_ = false;
    bool pythonLeftRunning_ = false;
    // SIGINT, SIGTERM and SIGHUP from the start of init to the end of the
    // loop: they end the loop like "--exit".
    Event stopSignal_{true};
    std::unique_ptr<Platform::StopSignals> stopSignals_;
    int64_t pythonNs_ = 0;
};
