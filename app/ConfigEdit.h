#pragma once

#include "core/Event.h"
#include "core/Logger.h"
#include "core/Mutex.h"
#include "core/SysDisplay.h"
#include "core/Thread.h"
#include "core/Wstr.h"
#include "files/DataFs.h"
#include "files/VDir.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Opens configuration files in a text editor: the application's, or one
// package's. The editor is resolved once per configuration load from the
// [external] config_editor setting and recognised by its file name, so that
// each known editor gets a command line that suits it. A package's default
// file inside an archive is first written out as a read-only copy, shown
// beside the user's file. Editors are started by a worker thread, which
// lives while requests wait or started editors still run, and ends by itself
// when both are done; the next request starts a new one.
//
// Requests and resolveEditor come from the user-interface thread (the About
// plugin's requests from a pool thread); preparing files and starting
// editors run on the worker. A request is never lost, also one made while
// the worker ends, and message boxes are never shown while the lock is held.
class ConfigEdit {
public:
    enum EditorKind : uint32_t { Plain = 0, MultiFile = 1, Atom = 2, Notepad2 = 3, Sublime = 4 };

    // The task id of the application's configuration; others are package ids.
    static constexpr uint32_t appTaskId = 1;
    static constexpr uint32_t stopTimeoutMs = 3000;
    static constexpr uint32_t destroyTimeoutMs = 100;
    static constexpr uint64_t resourceSizeLimit = 16777216;
    // Descriptors one wait watches: the stop and wake events, then editors.
    static constexpr size_t maxWaitHandles = 64;

    // One file to open.
    struct EditFile {
        wstr name; // the window title where the editor supports one
        wstr path;
        bool readOnlyCopy = false; // an extracted copy of a package's default file
        bool operator==(const EditFile&) const = default;
    };

    // The editor to start.
    struct Editor {
        EditorKind kind = Plain;
        std::vector<wstr> args; // argument 0 is the program; empty: the shell's "edit"
        wstr notepad2Ini;
    };

    // A loaded package, as the editor sees it. Worker thread.
    class Package {
    public:
        virtual ~Package() = default;
        virtual uint32_t id() const = 0;
        virtual wstr name() const = 0;
        // The entry of every layer that holds the resource, in layer order.
        virtual std::vector<VDir::EntryInfo> resourceInfo(const wstr& resource) = 0;
        // The resource's text (UTF-8) from the first layer that holds it;
        // nothing when it cannot be read within the limit.
        virtual std::optional<std::string> readTextResource(const wstr& resource,
                                                            uint64_t limit) = 0;
    };

    // What the editor needs of the running application, which implements
    // it. Held weakly: once it is gone, requests open nothing. Any thread.
    class Host {
    public:
        virtual ~Host() = default;
        virtual const DataFs::Folders& folders() const = 0;
        // The config_editor command line and config_editor_accepts_multifiles;
        // nothing while no settings are loaded.
        virtual std::optional<std::pair<wstr, bool>> editorSetting() = 0;
        virtual bool hasPackageManager() = 0;
        // The loaded package with that id, or null.
        virtual std::shared_ptr<Package> findPackage(uint32_t id) = 0;
    };

    explicit ConfigEdit(std::weak_ptr<Host> host);
    // Stops a running worker (destroyTimeoutMs).
    ~ConfigEdit();
    ConfigEdit(const ConfigEdit&) = delete;
    ConfigEdit& operator=(const ConfigEdit&) = delete;

    // Queue a request and start the worker unless it runs. User-interface
    // thread (editPackage also a pool thread).
    void editApp();
    void editPackageById(uint32_t packageId);
    void editPackage(const wstr& name);

    // Decides the editor from the current settings. User-interface thread.
    void resolveEditor();
    Editor editor();

    // Stops a running worker: stop event, then a wait of up to timeoutMs; a
    // worker that does not end in time is left to end by itself. Owner's
    // thread.
    void stop(uint32_t timeoutMs);
    // Whether a worker runs. Any thread.
    bool running();

    // Steps 5 to 7 of the resolution: a desktop entry is followed to its
    // program, argument 0 becomes its final path, and the editor is known by
    // its file name (with or without ".exe"). Any thread.
    static EditorKind recognize(std::vector<wstr>& args, EditorKind kind, const wstr& notepad2Name);
    // The command lines that open the files with the editor. Any thread.
    static std::vector<wstr> commandLines(const Editor& editor, const std::vector<EditFile>& files,
                                          const wstr& profileDir, const Sys::Rect& workArea);
    // The window placement switch of file i of n for the Notepad2 editor.
    static wstr notepad2Placement(size_t i, size_t n, const Sys::Rect& workArea);
    // The editor used without a usable config_editor: $VISUAL, $EDITOR, then
    // xdg-open, each resolved to its program; empty when none is found.
    static std::vector<wstr> fallbackEditor();
    // The user's settings file of the Notepad2 editor, created from the
    // shipped one when missing; empty when there is none.
    static wstr prepareNotepad2Ini(const DataFs::Folders& folders);

    // The files a request opens. Worker thread; reports are logged later.
    struct Report {
        Logger::Level level = Logger::Warning;
        uint32_t flags = 0;
        wstr text;
    };
    static std::vector<EditFile> prepareFiles(Host& host, uint32_t taskId,
                                              const wstr& workPackagesDir,
                                              std::vector<Report>& reports);

private:
    struct State;
    struct Task {
        uint32_t id = 0;
        wstr name;
    };

    void queue(Task task);
    void ensureThread();
    static void threadProc(const std::shared_ptr<State>& state, uint64_t generation);
    static bool runTasks(State& state, std::vector<int>& waitFds);
    static void launchEditor(State& state, const Task& task, const Editor& editor,
                             const wstr& workPackagesDir, std::vector<Report>& reports);
    static void createWorkFolders(State& state);

    std::shared_ptr<State> state_;
    // Guarded by the state's lock.
    Thread thread_;
};
