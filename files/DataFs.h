#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/Wstr.h"

class FileMonitor;

// The lower-case product word, "quorvalent".
const wstr& appName();

// Where the program's data lives, the names of its files, package names and
// package discovery, and the data monitor: the thread that turns file changes
// in the profile, the package roots, the Desktop and the Start Menu into
// notifications for its listeners.
class DataFs {
public:
    // The resolved folders, in the order they are resolved.
    struct Folders {
        wstr install;
        wstr bootstrap;  // <install>/quorvalent
        wstr program;    // the running program's own file
        wstr defaultDir; // empty when missing, like the two below
        wstr defaultApp;
        wstr defaultPackages;
        wstr local;
        wstr localApp;
        wstr localPackages;
        wstr profile;
        wstr profileInstalledPackages;
        wstr profilePackages;
        wstr profileUser;
    };

    // Finds the install folder from the program file (<install>/bin/x64/<program>),
    // chooses portable or installed mode, fills every folder and creates the
    // local and profile folders. Returns true in portable mode. Throws
    // std::runtime_error with a message for the user on any failure.
    // Called once at start-up on the user-interface thread.
    static bool resolveFolders(const wstr& programFile, Folders& folders);
    // The same for the running program.
    static bool resolveFolders(Folders& folders);
    // The folders as resolveFolders finds them, without creating any.
    static bool locateFolders(const wstr& programFile, Folders& folders);
    static bool locateFolders(Folders& folders);

    // Fixed words.
    static const wstr& appTitle(); // "Quorvalent"
    // The product's web address and its documentation's, as every text and
    // stored file of the program names them.
    static const wstr& appWebsite();       // "https://quorvalent.org/"
    static const wstr& appDocumentation(); // "https://quorvalent.org/docs/"
    static const wstr& packageExtensionSuffix();
    static const wstr& iniExtension();
    static const wstr& pyExtension();
    static const wstr& editorName();

    // File names; stateless, any thread.
    static wstr logFilePath(const Folders& folders);
    static wstr catalogFilePath(const Folders& folders);
    static wstr stateFilePath(const Folders& folders, bool perUser);
    // The lock files that the running instance holds in the profile and in
    // the local folder.
    static std::vector<wstr> instanceLockPaths(const Folders& folders);
    static wstr editorExePath(const Folders& folders);
    static wstr defaultEditorConfigPath(const Folders& folders);
    static wstr userEditorConfigPath(const Folders& folders);
    // The five application configuration files in reading order.
    static std::vector<wstr> appConfigFiles(const Folders& folders);
    // base.ini, and with variants the per-machine and per-user forms too.
    static std::vector<wstr> configFileVariants(const wstr& base, bool variants);

    // Package names; any thread.
    static bool isValidPackageName(const wstr& name);
    // The package name of an archive file name, or empty.
    static wstr packageNameFromFile(const wstr& path);

    // Package discovery; any thread, no state of DataFs.
    struct NoCaseLess {
        bool operator()(const wstr& a, const wstr& b) const;
    };
    // Package name -> its locations, in root order.
    using PackageMap = std::map<wstr, std::vector<wstr>, NoCaseLess>;
    // True for a package name the settings ask to ignore.
    using IgnoredFilter = std::function<bool(const wstr& name)>;
    // The packages of the three roots (default archives, installed archives,
    // live folders); an empty filter enumerates all.
    static PackageMap scanPackages(const Folders& folders, const wstr& filter,
                                   const IgnoredFilter& isIgnored = {});
    // The one package of that name (without case), else an empty name.
    static std::pair<wstr, std::vector<wstr>> findPackage(const Folders& folders, const wstr& name,
                                                          const IgnoredFilter& isIgnored = {});

    // The data monitor.
    enum ChangeBits : uint32_t { ConfigChanged = 1, DesktopChanged = 2, StartMenuChanged = 4 };

    struct PackageChange {
        wstr name;
        bool configOnly = false;
    };

    // Called on the data monitor thread while the listener list's lock is
    // held: must return promptly and must not add or remove listeners.
    class EventListener {
    public:
        virtual ~EventListener() = default;
        virtual void onDataFsEvent(uint32_t bits) = 0;
    };
    class PackagesListener {
    public:
        virtual ~PackagesListener() = default;
        virtual void onPackagesChanged(const std::vector<PackageChange>& changes) = 0;
    };

    // How long each kind of change must be quiet before it is reported, and
    // how often folders that could not be watched are tried again.
    struct Timing {
        uint32_t configQuietMs = 1000;
        uint32_t shellQuietMs = 2000;
        uint32_t packageQuietMs = 1500;
        uint32_t retryMs = 3000;
    };

    // The Desktop and Start Menu folders to watch, common ones first. Empty
    // entries have no meaning on this system and are never watched.
    struct ShellFolders {
        std::vector<wstr> desktops;
        std::vector<wstr> startMenus;
    };
    // From the environment: the Desktop of user-dirs.dirs (unless it is the
    // home folder itself), the applications folders of $XDG_DATA_DIRS and
    // $XDG_DATA_HOME.
    static ShellFolders systemShellFolders();

    DataFs(const Folders& folders, std::shared_ptr<FileMonitor> fileMonitor);
    DataFs(const Folders& folders, std::shared_ptr<FileMonitor> fileMonitor, const Timing& timing);
    ~DataFs();
    DataFs(const DataFs&) = delete;
    DataFs& operator=(const DataFs&) = delete;

    // Any thread. Listeners are held weakly; an expired one is dropped.
    void addEventListener(std::weak_ptr<EventListener> listener);
    void addPackagesListener(std::weak_ptr<PackagesListener> listener);
    void removePackagesListener(const PackagesListener* listener);

    // Decides which areas to leave out (the program installed inside them)
    // and starts the thread, which places the watches. Owner's thread.
    void startMonitoring(const ShellFolders& shellFolders);
    void startMonitoring() { startMonitoring(systemShellFolders()); }
    // Waits until the thread has placed its first watches; every change
    // made after that is seen. False on time-out. Any thread.
    bool waitUntilWatching(uint32_t timeoutMs);
    // Empties both listener lists, then stops the thread; the thread removes
    // its watches as it ends. Owner's thread.
    void stop();

    // The areas left out by startMonitoring.
    bool isDesktopExcluded() const;
    bool isStartMenuExcluded() const;

private:
    class Monitor;
    std::shared_ptr<Monitor> monitor_;
};
