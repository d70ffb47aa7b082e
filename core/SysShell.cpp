#include "core/SysShell.h"

#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "core/Logger.h"
#include "core/Path.h"
#include "core/SysCommandLine.h"
#include "core/SysEnv.h"
#include "core/SysFile.h"
#include "core/SysTerminal.h"
#include "core/TextLocale.h"
#include "platform/DesktopEntry.h"
#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/FileMode.h"
#include "platform/MimeApps.h"
#include "platform/Spawn.h"
#include "platform/XdgDirs.h"

namespace Sys {
namespace {

using Narrow = std::vector<std::string>;

uint32_t fail(uint32_t error) {
    Platform::setLastError(error);
    return error;
}

uint32_t spawn(const std::string& program, const Narrow& argv, const wstr& folder, bool search) {
    int rc = Platform::spawnDetached(program, argv, wstr::toUtf8(folder), search);
    return rc == 0 ? fail(Platform::ERROR_SUCCESS) : fail(Platform::errorFromErrno(rc));
}

Narrow narrowAll(const std::vector<wstr>& args) {
    Narrow out;
    for (const auto& arg : args)
        out.push_back(wstr::toUtf8(arg));
    return out;
}

// Parameters hold no program name: split them behind a stand-in for one.
std::vector<wstr> splitParameters(const wstr& parameters) {
    std::vector<wstr> args;
    splitCommandLine(args, L"x " + parameters);
    if (!args.empty())
        args.erase(args.begin());
    return args;
}

bool isUrl(const wstr& text) {
    size_t colon = text.find(L':');
    if (colon == wstr::npos || colon < 2 || !iswalpha_l(wint_t(text[0]), textLocale()))
        return false;
    for (size_t i = 1; i < colon; ++i) {
        wchar_t c = text[i];
        if (!(iswalnum_l(wint_t(c), textLocale()) || c == L'+' || c == L'-' || c == L'.') ||
            c > 0x7F)
            return false;
    }
    return true;
}

uint32_t openWithDesktop(const wstr& target) {
    uint32_t rc = spawn("xdg-open", {"xdg-open", wstr::toUtf8(target)}, {}, true);
    return rc == Platform::ERROR_FILE_NOT_FOUND ? fail(ERROR_NO_ASSOCIATION) : rc;
}

uint32_t runProgram(const wstr& program, const std::vector<wstr>& args, const wstr& folder) {
    Narrow argv = narrowAll(args);
    argv.insert(argv.begin(), wstr::toUtf8(program));
    return spawn(argv.front(), argv, folder, false);
}

uint32_t editFile(const wstr& file) {
    std::string editor = Platform::env::value("VISUAL");
    if (editor.empty())
        editor = Platform::env::value("EDITOR");
    std::vector<wstr> command;
    if (editor.empty() || !splitCommandLine(command, wstr::fromUtf8(editor.c_str())) ||
        command.empty())
        return openWithDesktop(file);
    command.push_back(file);
    return spawn(wstr::toUtf8(command.front()), narrowAll(command), {}, true);
}

bool isKnownVerb(const wstr& verb) {
    return verb.empty() || wstr::indexIn(verb, {L"open", L"explore", L"edit"}) >= 0;
}

// A path as given, or a bare program name found in PATH (never in the
// current folder, where anyone may have left a program of that name); empty
// when neither.
wstr locate(const wstr& file, struct stat& st) {
    if (file.find(L'/') != wstr::npos)
        return stat(wstr::toUtf8(file).c_str(), &st) == 0 ? file : wstr();
    wstr found = resolveExecutable(file, {}, {});
    return !found.empty() && stat(wstr::toUtf8(found).c_str(), &st) == 0 ? found : wstr();
}

wstr withoutPrefix(wstr text) {
    wstr::trimLeft(text);
    if (!text.empty() && text.front() == L'@')
        text.erase(0, 1);
    return text;
}

// The first of the scheme's default applications whose program is found.
bool schemeHandler(const wstr& scheme, wstr& command, wstr* icon, const std::vector<wstr>& folders,
                   const std::vector<wstr>& extensions) {
    std::string mimeType =
        "x-scheme-handler/" + wstr::toUtf8(wstr::lowerCopy(wstr::trimCopy(scheme)));
    for (const auto& file : Platform::mimeapps::defaultApplications(mimeType)) {
        Platform::DesktopEntry entry;
        if (!entry.load(file))
            continue;
        std::vector<wstr> args;
        for (const auto& arg : entry.execArguments("%1"))
            args.push_back(wstr::fromUtf8(arg.c_str()));
        command = resolveCommandLine(joinArguments(args), folders, extensions);
        if (command.empty())
            continue;
        if (icon) {
            *icon = wstr::trimCopy(wstr::fromUtf8(entry.value("Icon").c_str()));
            if (icon->empty())
                wstr::format(*icon, L"@{},0", firstArgument(command));
        }
        return true;
    }
    return false;
}

uint32_t launch(const wstr& path, const struct stat& st, const wstr& parameters, const wstr& verb,
                const wstr& folder, bool followLinks);

bool isBelow(const std::filesystem::path& file, const std::string& folder) {
    if (folder.empty())
        return false;
    const auto root = (std::filesystem::path(folder) / "").lexically_normal().string();
    return file.string().starts_with(root);
}

// Desktops run an entry that the user installed or marked executable; one
// that was merely downloaded or unpacked somewhere is not trusted.
bool isTrustedEntry(const wstr& file, const struct stat& st) {
    if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))
        return true;
    std::error_code error;
    const auto path = std::filesystem::absolute(wstr::toUtf8(file), error).lexically_normal();
    if (error)
        return false;
    const std::string dataHome = Platform::xdg::dataHome();
    if (isBelow(path, dataHome.empty() ? dataHome : dataHome + "/applications"))
        return true;
    for (const auto& dir : Platform::xdg::dataDirs())
        if (isBelow(path, dir + "/applications"))
            return true;
    return false;
}

uint32_t refuseEntry(const wstr& file) {
    wstr text;
    logMessage(Logger::Warning,
               wstr::format(text,
                            L"Not running the desktop entry {}: it is neither executable nor in "
                            L"an applications folder",
                            file));
    return fail(Platform::ERROR_ACCESS_DENIED);
}

// Runs one command of a desktop entry: its program, in a terminal when the
// entry asks for one; a command naming no program (a document, another
// entry) only opens that, so entries cannot send us round in circles.
uint32_t runEntryCommand(const wstr& file, Narrow command, bool terminal, const wstr& folder) {
    struct stat st;
    wstr program = locate(expandEnvVars(wstr::fromUtf8(command.front().c_str())), st);
    if (program.empty())
        return fail(Platform::ERROR_FILE_NOT_FOUND);
    if (!S_ISREG(st.st_mode) || !Platform::isProgramFile(wstr::toUtf8(program)))
        return openWithDesktop(program);
    command.front() = wstr::toUtf8(program);
    if (terminal)
        command = terminalCommand(file, command);
    if (command.empty())
        return fail(Platform::ERROR_FILE_NOT_FOUND);
    return spawn(command.front(), command, folder, false);
}

// Runs what a desktop entry stands for, with the parameters as the files of
// its Exec line; a link entry opens its URL.
uint32_t runDesktopEntry(const wstr& file, const wstr& parameters, const wstr& folder) {
    Platform::DesktopEntry entry;
    if (!entry.load(wstr::toUtf8(file)))
        return openWithDesktop(file);
    if (entry.value("Type") == "Link") {
        std::string url = entry.value("URL");
        return openWithDesktop(url.empty() ? file : wstr::fromUtf8(url.c_str()));
    }
    const auto commands = entry.commands(narrowAll(splitParameters(parameters)));
    if (commands.empty())
        return openWithDesktop(file);
    const wstr workDir =
        folder.empty() ? expandEnvVars(wstr::fromUtf8(entry.value("Path").c_str())) : folder;
    for (const auto& command : commands)
        if (uint32_t error =
                runEntryCommand(file, command, entry.value("Terminal") == "true", workDir))
            return error;
    return fail(Platform::ERROR_SUCCESS);
}

uint32_t launch(const wstr& path, const struct stat& st, const wstr& parameters, const wstr& verb,
                const wstr& folder, bool followLinks) {
    bool regular = S_ISREG(st.st_mode);
    if (regular && wstr::equals(verb, L"edit", false))
        return editFile(path);
    if (regular && followLinks && Path::hasExtension(path, L"desktop"))
        return isTrustedEntry(path, st) ? runDesktopEntry(path, parameters, folder)
                                        : refuseEntry(path);
    if (regular && Platform::isProgramFile(wstr::toUtf8(path)))
        return runProgram(path, splitParameters(parameters), folder);
    return openWithDesktop(path);
}

} // namespace

uint32_t shellExecute(const wstr& file, const wstr& parameters, const wstr& verb,
                      const wstr& folder) {
    if (!isKnownVerb(verb))
        return fail(Platform::ERROR_NOT_SUPPORTED);
    if (file.empty())
        return fail(Platform::ERROR_FILE_NOT_FOUND);
    if (!folder.empty() && isDirectory(folder) != 1)
        return fail(Platform::ERROR_DIRECTORY);
    struct stat st;
    wstr path = locate(file, st);
    if (path.empty())
        return isUrl(file) ? openWithDesktop(file) : fail(Platform::ERROR_FILE_NOT_FOUND);
    return launch(path, st, parameters, verb, folder, true);
}

IconLocation parseIconLocation(const wstr& location) {
    IconLocation result;
    wstr text = withoutPrefix(location);
    if (text.empty())
        return result;
    size_t comma = text.rfind(L',');
    if (comma != wstr::npos && wstr::isInteger(text.substr(comma + 1))) {
        result.index = static_cast<int32_t>(wstr::toInt64(text.substr(comma + 1)));
        text.erase(comma);
    }
    if (wstr::endsWithAny(text, {L",cpl", L",dll", L",exe"}) >= 0)
        text[text.size() - 4] = L'.';
    if (text.find(L'%') != wstr::npos)
        expandEnvVarsInPlace(text);
    result.path = std::move(text);
    return result;
}

bool urlSchemeHandler(wstr& command, const std::vector<wstr>& schemes, wstr* icon,
                      const std::vector<wstr>& folders, const std::vector<wstr>& extensions) {
    command.clear();
    if (icon)
        icon->clear();
    for (const auto& scheme : schemes) {
        if (schemeHandler(scheme, command, icon, folders, extensions))
            return true;
    }
    command.clear();
    if (icon)
        icon->clear();
    return false;
}

} // namespace Sys
