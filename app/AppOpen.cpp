// The main window's commands that open something outside the program: the
// change log, the documentation, the profile folder and the configuration.

#include "app/App.h"
#include "app/AppConfig.h"
#include "app/ConfigEdit.h"
#include "app/MainWindowCommands.h"
#include "app/OpenFailure.h"
#include "core/Logger.h"
#include "core/Path.h"
#include "core/SysCommandLine.h"
#include "core/SysEnv.h"
#include "core/SysFile.h"
#include "core/SysShell.h"

namespace {

bool hasDesktopOpener() {
    return !Sys::resolveExecutable(L"xdg-open", {}, {}).empty();
}

// The program and arguments of config_editor; empty unless its program is a
// file (as the configuration editor requires too).
std::vector<wstr> configuredEditor(const AppConfig* config) {
    std::vector<wstr> args;
    if (!config || !Sys::splitCommandLine(args, config->configEditor) || args.empty() ||
        Sys::isDirectory(args[0]) != 0)
        return {};
    return args;
}

wstr noOpener(const wstr& target, const wstr& alternatives) {
    return openFailureText(target, Sys::ERROR_NO_ASSOCIATION, alternatives);
}

} // namespace

wstr App::changeLogPath(const DataFs::Folders& folders) {
    return Path::combine(folders.install, L"CHANGELOG.md");
}

wstr App::commandProblem(uint32_t command) {
    const auto current = config();
    switch (command) {
    case MainWindowCommands::Documentation: {
        wstr handler;
        if ((current && !current->webBrowser.empty()) || hasDesktopOpener() ||
            Sys::urlSchemeHandler(handler, {L"https"}, nullptr))
            return {};
        return noOpener(DataFs::appDocumentation(), L"web_browser");
    }
    case MainWindowCommands::BrowseProfile:
        if ((current && !current->fileExplorer.empty()) || hasDesktopOpener())
            return {};
        return noOpener(folders_.profile, L"file_explorer");
    case MainWindowCommands::ChangeLog: {
        const wstr path = changeLogPath(folders_);
        if (Sys::isDirectory(path) != 0)
            return openFailureText(path, Platform::ERROR_FILE_NOT_FOUND, {});
        if (!configuredEditor(current.get()).empty() || hasDesktopOpener())
            return {};
        return noOpener(path, L"config_editor");
    }
    case MainWindowCommands::ConfigureApp: {
        const auto edit = configEdit();
        if (!edit || !edit->editor().args.empty() || !ConfigEdit::fallbackEditor().empty())
            return {};
        return noOpener(DataFs::appConfigFiles(folders_)[1], L"config_editor");
    }
    default:
        return {};
    }
}

void App::runOpeningCommand(uint32_t command) {
    // The configuration editor reports its own failures, in a box.
    if (command == MainWindowCommands::ConfigureApp) {
        if (auto edit = configEdit())
            edit->editApp();
        return;
    }
    if (const wstr problem = commandProblem(command); !problem.empty()) {
        logMessage(Logger::Error, problem);
        return;
    }
    switch (command) {
    case MainWindowCommands::Documentation:
        openUrl(DataFs::appDocumentation(), false);
        return;
    case MainWindowCommands::BrowseProfile:
        exploreFile(folders_.profile);
        return;
    case MainWindowCommands::ChangeLog:
        break;
    default:
        return;
    }
    // The change log opens in the configured editor, else with the desktop's
    // opener (documents are never run).
    const wstr path = changeLogPath(folders_);
    std::vector<wstr> args = configuredEditor(config().get());
    uint32_t error = 0;
    if (args.empty()) {
        error = Sys::shellExecute(path);
    } else {
        const wstr program = args.front();
        args.erase(args.begin());
        args.push_back(path);
        error = Sys::shellExecute(program, Sys::joinArguments(args));
    }
    if (error)
        logMessage(Logger::Error, openFailureText(path, error, L"config_editor"));
}
