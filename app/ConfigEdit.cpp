#include "app/ConfigEdit.h"

#include "app/OpenFailure.h"
#include "core/Hash.h"
#include "core/MessageBox.h"
#include "core/Path.h"
#include "core/ShellLink.h"
#include "core/SysCommandLine.h"
#include "core/SysEnv.h"
#include "core/SysFile.h"
#include "core/SysInfo.h"
#include "core/SysShell.h"
#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/FileMode.h"
#include "platform/Poll.h"
#include "platform/Process.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

using namespace Platform;

namespace {

// The pause after starting an editor, so that its windows open in order.
constexpr int launchPauseMs = 100;

bool isFile(const wstr& path) {
    return !path.empty() && Sys::isDirectory(path) == 0;
}

bool isFolder(const wstr& path) {
    return Sys::isDirectory(path) == 1;
}

// The lower-cased file name without a ".exe" extension.
wstr programBase(const wstr& path) {
    wstr name = wstr::lowerCopy(Path::fileName(path));
    if (name.ends_with(L".exe"))
        name.resize(name.size() - 4);
    return name;
}

bool hasBase(const wstr& base, std::initializer_list<const wchar_t*> names) {
    return std::any_of(names.begin(), names.end(), [&](const wchar_t* n) { return base == n; });
}

std::string utf8(const wstr& text) {
    return wstr::toUtf8(text);
}

// Waits on the worker's stop event, never consuming it, so that a stop
// request cuts the pause short.
void pause(int ms) {
    const Event::Handle& stop = Thread::currentStopEvent();
    if (stop)
        pollReadable({stop->fd()}, ms);
}

Sys::Rect primaryWorkArea() {
    auto monitors = Sys::enumMonitors();
    auto primary = std::find_if(monitors.begin(), monitors.end(),
                                [](const auto& m) { return m && m->primary; });
    if (primary != monitors.end())
        return (*primary)->work;
    return {0, 0, 800, 600};
}

// The read-only copy of a package's default file, written anew.
bool writeReadOnlyCopy(const wstr& target, const std::string& text) {
    if (Sys::isDirectory(target) == 0)
        Sys::clearReadOnly(target);
    return Sys::writeFile(target, text.data(), text.size()) && makeReadOnly(utf8(target));
}

void addReport(std::vector<ConfigEdit::Report>& reports, Logger::Level level, uint32_t flags,
               wstr text) {
    reports.push_back({level, flags, std::move(text)});
}

} // namespace

struct ConfigEdit::State {
    struct EditorInstance {
        uint32_t taskId = 0;
        wstr taskName;
        wstr commandLine;
        Process process;
    };

    explicit State(std::weak_ptr<Host> h) : host(std::move(h)) {}

    const std::weak_ptr<Host> host;
    Mutex lock;
    Event wakeEvent{false};
    wstr workDir;
    wstr workAppDir;
    wstr workPackagesDir;
    Editor editor;
    std::vector<Task> tasks;
    std::vector<std::shared_ptr<EditorInstance>> editors;
    // A worker runs and has not yet decided to end; decided under the lock,
    // so a request queued under it is always seen by a worker.
    bool active = false;
    // The latest worker: an older one ending late must not clear the flag
    // for it.
    uint64_t generation = 0;
};

ConfigEdit::ConfigEdit(std::weak_ptr<Host> host)
    : state_(std::make_shared<State>(std::move(host))) {}

ConfigEdit::~ConfigEdit() {
    stop(destroyTimeoutMs);
}

void ConfigEdit::editApp() {
    queue({appTaskId, L"App"});
}

void ConfigEdit::editPackageById(uint32_t packageId) {
    auto host = state_->host.lock();
    auto package = host ? host->findPackage(packageId) : nullptr;
    if (package)
        queue({packageId, package->name()});
}

void ConfigEdit::editPackage(const wstr& name) {
    auto host = state_->host.lock();
    if (!host || !host->hasPackageManager())
        return;
    uint32_t id = hashWstr32(wstr::lowerCopy(name));
    if (id < 2)
        id = 2;
    if (auto package = host->findPackage(id)) {
        queue({id, package->name()});
        return;
    }
    wstr text;
    logMessage(Logger::Warning, MessageBox::MB_ICONWARNING, nullptr, 0,
               wstr::format(text, L"Package not found: \"{}\"", name));
}

void ConfigEdit::queue(Task task) {
    Mutex::Lock lock(state_->lock);
    state_->tasks.push_back(std::move(task));
    state_->wakeEvent.set();
    ensureThread();
}

void ConfigEdit::ensureThread() {
    if (state_->active)
        return;
    // A worker that decided to end touches nothing of ours any more: let it go.
    Thread::stop(thread_, 0, false);
    state_->active = true;
    const uint64_t generation = ++state_->generation;
    try {
        auto state = state_;
        Thread::launch(thread_, [state, generation] { threadProc(state, generation); });
    } catch (...) {
        state_->active = false;
        throw;
    }
}

void ConfigEdit::stop(uint32_t timeoutMs) {
    Thread worker;
    {
        Mutex::Lock lock(state_->lock);
        worker = std::move(thread_);
    }
    // Outside the lock: the worker finishes its pass under it.
    Thread::stop(worker, timeoutMs, false);
}

bool ConfigEdit::running() {
    Mutex::Lock lock(state_->lock);
    return state_->active;
}

ConfigEdit::Editor ConfigEdit::editor() {
    Mutex::Lock lock(state_->lock);
    return state_->editor;
}

void ConfigEdit::threadProc(const std::shared_ptr<State>& state, uint64_t generation) {
    struct EndGuard {
        State& state;
        uint64_t generation;
        ~EndGuard() {
            Mutex::Lock lock(state.lock);
            if (state.generation == generation)
                state.active = false;
        }
    } guard{*state, generation};
    try {
        Mutex::Lock lock(state->lock);
        if (state->workDir.empty())
            createWorkFolders(*state);
    } catch (const std::exception& e) {
        wstr text;
        logMessage(Logger::Error, wstr::format(text, L"{}", e.what()));
    }
    std::vector<int> waitFds;
    while (!runTasks(*state, waitFds)) {
        int ready = -1;
        try {
            ready = pollReadable(waitFds, -1);
        } catch (const std::system_error& e) {
            wstr text;
            logMessage(Logger::Warning,
                       wstr::format(text,
                                    L"Unexpected failure from {} thread (result: {}; error: {}).",
                                    L"ConfigEdit", WAIT_FAILED, errorFromErrno(e.code().value())));
            return;
        }
        if (ready == 0)
            return;
    }
}

bool ConfigEdit::runTasks(State& state, std::vector<int>& waitFds) {
    std::vector<Task> tasks;
    Editor editor;
    wstr packagesDir;
    {
        Mutex::Lock lock(state.lock);
        state.wakeEvent.reset();
        std::erase_if(state.editors, [](const auto& e) { return e->process.ended(); });
        tasks.swap(state.tasks);
        editor = state.editor;
        packagesDir = state.workPackagesDir;
    }
    std::vector<Report> reports;
    for (const auto& task : tasks)
        launchEditor(state, task, editor, packagesDir, reports);

    bool done = false;
    {
        Mutex::Lock lock(state.lock);
        waitFds = {Thread::currentStopEvent()->fd(), state.wakeEvent.handle()->fd()};
        for (const auto& e : state.editors) {
            if (waitFds.size() >= maxWaitHandles)
                break;
            waitFds.push_back(e->process.fd());
        }
        done = state.tasks.empty() && state.editors.empty();
        if (done)
            state.active = false;
    }
    // Message boxes wait for the user: never while the lock is held.
    for (auto& report : reports)
        logMessage(report.level, report.flags, nullptr, 0, std::move(report.text));
    return done;
}

void ConfigEdit::launchEditor(State& state, const Task& task, const Editor& editor,
                              const wstr& workPackagesDir, std::vector<Report>& reports) {
    auto host = state.host.lock();
    if (!host)
        return;
    const auto files = prepareFiles(*host, task.id, workPackagesDir, reports);
    if (files.empty())
        return;
    wstr text;
    if (editor.args.empty()) {
        for (const auto& file : files) {
            if (uint32_t error = Sys::shellExecute(file.path, {}, L"edit")) {
                addReport(reports, Logger::Error, MessageBox::MB_ICONWARNING,
                          openFailureText(file.path, error, L"config_editor"));
                // Without an opener the other files fail alike: one report.
                if (error == Sys::ERROR_NO_ASSOCIATION)
                    return;
                continue;
            }
            pause(launchPauseMs);
        }
        return;
    }
    bool first = true;
    for (const auto& line :
         commandLines(editor, files, host->folders().profile, primaryWorkArea())) {
        std::vector<wstr> args;
        Sys::splitCommandLine(args, line);
        std::vector<std::string> argv;
        for (const auto& arg : args)
            argv.push_back(utf8(arg));
        auto instance = std::make_shared<State::EditorInstance>();
        *instance = {task.id, task.name, line, Process()};
        if (int rc = instance->process.spawn(argv)) {
            addReport(reports, Logger::Warning, first ? MessageBox::MB_ICONWARNING : 0,
                      wstr::format(text, L"Failed to launch editor: {}\nCommand line was:\n{}",
                                   Sys::windowsErrorText(errorFromErrno(rc), false), line));
            text.clear();
            first = false;
            continue;
        }
        if (instance->process.valid()) {
            Mutex::Lock lock(state.lock);
            state.editors.push_back(instance);
        }
        pause(launchPauseMs);
    }
}

void ConfigEdit::createWorkFolders(State& state) {
    auto host = state.host.lock();
    if (!host)
        return;
    state.workDir = Path::combine(host->folders().local, L"ConfigEdit");
    state.workAppDir = Path::combine(state.workDir, L"App");
    state.workPackagesDir = Path::combine(state.workDir, L"Packages");
    if (isFolder(state.workDir)) {
        std::error_code ignored;
        std::filesystem::remove_all(utf8(state.workDir), ignored);
    }
    for (const wstr* dir : {&state.workDir, &state.workAppDir, &state.workPackagesDir}) {
        Sys::createDirectories(*dir, false);
        if (!isFolder(*dir))
            throw std::runtime_error(formatNarrow("Failed to create directory: {}", *dir));
    }
}

std::vector<ConfigEdit::EditFile> ConfigEdit::prepareFiles(Host& host, uint32_t taskId,
                                                           const wstr& workPackagesDir,
                                                           std::vector<Report>& reports) {
    const DataFs::Folders& folders = host.folders();
    std::vector<EditFile> files;
    wstr text;
    if (taskId == appTaskId) {
        const auto paths = DataFs::appConfigFiles(folders);
        for (size_t i = 0; i < paths.size(); ++i) {
            if (i == 1 || isFile(paths[i]))
                files.push_back({Path::fileName(paths[i]), paths[i], false});
        }
        if (files.empty() && !paths.empty())
            addReport(reports, Logger::Warning, MessageBox::MB_ICONWARNING,
                      wstr::format(text, L"Configuration file not found: {}", paths[0]));
        return files;
    }

    auto package = host.hasPackageManager() ? host.findPackage(taskId) : nullptr;
    if (!package)
        return files;
    const wstr name = package->name();
    const wstr workDir = workPackagesDir.empty() ? wstr() : Path::combine(workPackagesDir, name);
    for (const wstr& dir : {folders.profileUser, workDir}) {
        if (dir.empty() || !Sys::createDirectories(dir, true)) {
            const uint32_t error = dir.empty() ? ERROR_PATH_NOT_FOUND : lastError();
            addReport(reports, Logger::Error, 0,
                      wstr::format(text, L"Failed to create directory \"{}\" (error {})",
                                   dir.empty() ? Path::combine(L"ConfigEdit", name) : dir, error));
            return files;
        }
    }

    const wstr defaultName = DataFs::configFileVariants(name, false).front();
    const auto layers = package->resourceInfo(defaultName);
    for (size_t i = 0; i < layers.size(); ++i) {
        const auto& layer = layers[i];
        if (layer.onDisk) {
            files.push_back({layer.name, Path::combine(layer.folder, layer.name), false});
            continue;
        }
        if (i != 0)
            continue;
        auto content = package->readTextResource(defaultName, resourceSizeLimit);
        if (!content)
            continue;
        const wstr target = Path::combine(workDir, Path::fileName(layer.name));
        if (writeReadOnlyCopy(target, *content)) {
            files.push_back({layer.name, target, true});
            continue;
        }
        addReport(reports, Logger::Warning, 0,
                  wstr::format(text, L"Failed to create/overwrite \"{}\" (error {})", target,
                               lastError()));
        text.clear();
    }
    if (files.empty())
        return files;

    const auto variants = DataFs::configFileVariants(name, true);
    for (size_t i = 0; i < variants.size(); ++i) {
        const wstr path = Path::combine(folders.profileUser, variants[i]);
        if (i == 0 || isFile(path))
            files.push_back({variants[i], path, false});
    }
    return files;
}

void ConfigEdit::resolveEditor() {
    auto host = state_->host.lock();
    Editor editor;
    if (auto setting = host ? host->editorSetting() : std::nullopt) {
        if (!Sys::splitCommandLine(editor.args, setting->first)) {
            logMessage(Logger::Warning,
                       L"Failed to read \"editor\" setting, falling back to default...");
            editor.args.clear();
        } else if (setting->second) {
            editor.kind = MultiFile;
        }
    }
    const wstr notepad2 = host ? DataFs::editorExePath(host->folders()) : wstr();
    bool notepad2Fallback = false;
    if (editor.args.empty() || !isFile(editor.args[0])) {
        editor.kind = Plain;
        notepad2Fallback = isFile(notepad2);
        editor.args = notepad2Fallback ? std::vector<wstr>{notepad2} : fallbackEditor();
    }
    if (editor.args.empty() || !isFile(editor.args[0])) {
        editor = {};
    } else {
        editor.kind = recognize(editor.args, editor.kind, Path::fileName(notepad2));
        if (notepad2Fallback)
            editor.notepad2Ini = prepareNotepad2Ini(host->folders());
    }
    Mutex::Lock lock(state_->lock);
    state_->editor = std::move(editor);
}

wstr ConfigEdit::prepareNotepad2Ini(const DataFs::Folders& folders) {
    const wstr ini = DataFs::userEditorConfigPath(folders);
    if (Sys::isDirectory(ini) < 0) {
        std::error_code error;
        if (std::filesystem::copy_file(utf8(DataFs::defaultEditorConfigPath(folders)), utf8(ini),
                                       error))
            Sys::clearReadOnly(ini);
    }
    return isFile(ini) ? ini : wstr();
}

std::vector<wstr> ConfigEdit::fallbackEditor() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const auto value = Platform::env::get(variable);
        std::vector<wstr> args;
        if (!value || !Sys::splitCommandLine(args, wstr::fromUtf8(value->c_str())) || args.empty())
            continue;
        args[0] = Sys::resolveExecutable(args[0], {}, {});
        if (!args[0].empty())
            return args;
    }
    wstr opener = Sys::resolveExecutable(L"xdg-open", {}, {});
    return opener.empty() ? std::vector<wstr>{} : std::vector<wstr>{opener};
}

ConfigEdit::EditorKind ConfigEdit::recognize(std::vector<wstr>& args, EditorKind kind,
                                             const wstr& notepad2Name) {
    if (Path::hasExtension(args[0], L"desktop")) {
        Sys::ShellLink link;
        Sys::loadShellLink(link, args[0]);
        wstr target = Sys::resolveMsiShortcut(link);
        if (!target.empty())
            args[0] = target;
    }
    args[0] = Sys::finalPathName(args[0]);
    const wstr name = wstr::lowerCopy(Path::fileName(args[0]));
    const wstr base = programBase(args[0]);
    if (!notepad2Name.empty() && base == programBase(notepad2Name))
        return Notepad2;
    if (name == L"atom.cmd" || base == L"atom")
        return Atom;
    if (base == L"subl")
        return Sublime;
    if (base == L"sublime_text") {
        for (const wchar_t* subl : {L"subl", L"subl.exe"}) {
            wstr path = Path::combine(Path::parent(args[0]), subl);
            if (isFile(path)) {
                args[0] = path;
                return Sublime;
            }
        }
        return MultiFile;
    }
    if (base == L"notepad")
        return Plain;
    if (hasBase(base, {L"notepad++", L"pn", L"pspad"}))
        return MultiFile;
    return kind;
}

std::vector<wstr> ConfigEdit::commandLines(const Editor& editor, const std::vector<EditFile>& files,
                                           const wstr& profileDir, const Sys::Rect& workArea) {
    std::vector<wstr> lines;
    const wstr exe = Sys::quoteArgument(editor.args[0]);
    const wstr all = Sys::joinArguments(editor.args);
    auto appendFiles = [&](wstr& line) {
        for (const auto& file : files)
            line += L" " + Sys::quoteArgument(file.path);
    };
    switch (editor.kind) {
    case Plain:
        for (const auto& file : files)
            lines.push_back(all + L" " + Sys::quoteArgument(file.path));
        break;
    case MultiFile:
        lines.push_back(all);
        appendFiles(lines.back());
        break;
    case Atom:
    case Sublime:
        lines.push_back(exe + (editor.args.size() == 1 ? L" --new-window" : L"") + L" " +
                        Sys::quoteArgument(profileDir));
        appendFiles(lines.back());
        break;
    case Notepad2: {
        wstr base = exe + L" /l /ns /q ";
        if (!editor.notepad2Ini.empty())
            base += L" /f " + Sys::quoteArgument(editor.notepad2Ini);
        for (size_t i = 0; i < files.size(); ++i) {
            wstr line = base;
            if (files[i].readOnlyCopy)
                line += L" /t " + Sys::quoteArgument(files[i].name);
            line += notepad2Placement(i, files.size(), workArea) + L" " +
                    Sys::quoteArgument(files[i].path);
            lines.push_back(std::move(line));
        }
        break;
    }
    }
    return lines;
}

wstr ConfigEdit::notepad2Placement(size_t i, size_t n, const Sys::Rect& area) {
    const int32_t w = area.right - area.left;
    const int32_t h = area.bottom - area.top;
    const int32_t halfW = w >> 1;
    const int32_t halfH = h >> 1;
    auto place = [](int32_t x, int32_t y, int32_t width, int32_t height) {
        wstr text;
        return wstr::format(text, L" /p {},{},{},{}", x, y, width, height);
    };
    if (n == 2)
        return i == 0 ? L" /pl" : L" /pr";
    if (n == 3) {
        if (i == 0)
            return place(area.left, area.top, halfW, h);
        return place(area.left + halfW, area.top + (i == 2 ? halfH : 0), halfW, halfH);
    }
    if (n == 4 || n == 5) {
        const int32_t x[] = {area.left, area.left, area.left + halfW, area.left + halfW,
                             area.left + (w >> 2)};
        const int32_t y[] = {area.top, area.top + halfH, area.top, area.top + halfH,
                             area.top + (h >> 2)};
        return place(x[i], y[i], halfW, halfH);
    }
    return {};
}
