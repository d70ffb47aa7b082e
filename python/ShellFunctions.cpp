// The module functions over the system's shell services: clipboard, command
// lines, file attributes, links, directory scans, execution, known folders,
// executables, string resources and URL handlers.
#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "core/KnownFolderTable.h"
#include "core/Logger.h"
#include "core/ShellLink.h"
#include "core/SysClipboard.h"
#include "core/SysCommandLine.h"
#include "core/SysEnv.h"
#include "core/SysFile.h"
#include "core/SysInfo.h"
#include "core/SysKnownFolder.h"
#include "core/SysShell.h"
#include "files/FileScanner.h"
#include "platform/Error.h"
#include "python/ApiDefinition.h"
#include "python/Converters.h"
#include "python/GuardedFunction.h"
#include "python/Python.h"
#include "python/PythonHost.h"

#include <cstdint>
#include <cwctype>
#include <optional>

namespace bp = boost::python;
using Python::ReleaseGIL;

namespace PythonBuiltins {
namespace {

// App timer 12 hands the activation of the main window to the user-interface
// thread before a program starts. No window system here needs the caller to
// wait for it.
constexpr uint32_t timerActivate = 12;

bp::object strOrNone(const wstr& text) {
    return text.empty() ? bp::object() : bp::object(text);
}

Python::WstrList splitCommandLine(const wstr& commandLine) {
    Python::WstrList args;
    if (!Sys::splitCommandLine(args, commandLine))
        Python::setError(PyExc_ValueError, L"Failed to split command line. {}",
                         Sys::windowsErrorText(Platform::lastError(), true));
    return args;
}

// A desktop entry stands for a shell link here: it knows no show command,
// no run-as flag and no installer advertisement.
bp::object readLink(const wstr& path) {
    Sys::ShellLink link;
    {
        ReleaseGIL unlocked;
        Sys::loadShellLink(link, path);
    }
    if (!link.loaded() || Sys::resolveMsiShortcut(link).empty())
        return bp::object();
    bp::dict result;
    result["target"] = Sys::resolveMsiShortcut(link);
    result["params"] = strOrNone(link.arguments());
    result["working_dir"] = strOrNone(link.workingDirectory());
    result["desc"] = strOrNone(link.description());
    result["show_cmd"] = bp::object();
    wstr icon;
    if (!link.iconPath().empty())
        wstr::format(icon, L"{},{}", link.iconPath(), link.iconIndex());
    result["icon_location"] = strOrNone(icon);
    result["runas"] = false;
    result["flags"] = 0;
    result["is_msi"] = false;
    return result;
}

bp::object scanDirectory(const wstr& base, const Python::WstrList& patterns, unsigned flags,
                         unsigned maxDepth) {
    Python::WstrList found;
    uint32_t status;
    {
        ReleaseGIL unlocked;
        status = FileScanner::scanPatterns(found, base, patterns, flags, maxDepth);
    }
    return status == 0 ? bp::object(found) : bp::object(status);
}

// The flags are converted while the GIL is held. This system's shell
// execution takes no mask, so they are only checked.
void checkApiFlags(const bp::object& apiFlags) {
    if (apiFlags.is_none())
        return;
    PyLong_AsUnsignedLong(apiFlags.ptr());
    if (!PyErr_Occurred())
        return;
    wstr message = L"Invalid api_flags value type: ";
    message += wstr::fromUtf8(Python::formatError().c_str());
    logMessage(Logger::Warning, std::move(message));
}

unsigned long execute(const wstr& file, const wstr& parameters, const wstr& folder,
                      const wstr& verb) {
    if (std::shared_ptr<PythonHost> app = PythonHost::instance())
        app->setTimer(timerActivate, 0);
    return Sys::shellExecute(file, parameters, verb, folder);
}

unsigned long shellExecute(const wstr& file, const wstr& parameters, const wstr& folder,
                           const wstr& verb, const bp::object& apiFlags, int /*showCommand*/) {
    checkApiFlags(apiFlags);
    ReleaseGIL unlocked;
    return execute(file, parameters, folder, verb);
}

bool isHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", braces added where missing.
std::optional<wstr> bracedGuid(wstr text) {
    if (text.empty())
        return std::nullopt;
    if (text.front() != L'{')
        text.insert(0, 1, L'{');
    if (text.back() != L'}')
        text += L'}';
    if (text.size() != 38)
        return std::nullopt;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != L'-' : !isHex(text[i]))
            return std::nullopt;
    }
    return text;
}

// The documented identifiers of the known folders, through the XDG folders
// that stand for them.
wstr knownFolderPath(wstr id) {
    std::optional<wstr> guid = bracedGuid(std::move(id));
    if (!guid)
        Python::setError(PyExc_ValueError, L"invalid GUID value");
    for (const KnownFolderRow& row : knownFolderTable()) {
        if (!wstr::equals(row.guid, *guid, false))
            continue;
        wstr path = Sys::knownFolderPath(row.folder, false);
        if (!path.empty())
            return path;
        break;
    }
    Python::setError(PyExc_OSError, L"Known Folder is virtual or not supported on this platform");
}

bp::object resolveExePath(const wstr& name) {
    wstr path;
    {
        ReleaseGIL unlocked;
        path = Sys::resolveExecutable(name, {}, {});
    }
    return strOrNone(path);
}

// Indirect string resources live in Windows modules: there are none here.
bp::object stringResource(wstr) {
    return bp::object();
}

// The handler of the URL's scheme, or of a bare scheme.
bp::object urlSchemeToCommand(wstr url) {
    wstr command, icon;
    bool found;
    {
        ReleaseGIL unlocked;
        wstr scheme = url.substr(0, url.find(L':'));
        found = Sys::urlSchemeHandler(command, {scheme}, &icon);
    }
    if (!found)
        return bp::make_tuple(bp::object(), bp::object());
    return bp::make_tuple(command, icon);
}

} // namespace

void defineShellFunctions() {
    defineGuarded<wstr()>(bp::scope(), "get_clipboard", &Sys::getClipboardText);
    defineGuarded<bool(const wstr&)>(bp::scope(), "set_clipboard", &Sys::setClipboardText);
    defineGuarded<Python::WstrList(const wstr&)>(bp::scope(), "cmdline_split", &splitCommandLine);
    defineGuarded<wstr(const Python::WstrList&, bool)>(
        bp::scope(), "cmdline_quote",
        [](const Python::WstrList& args, bool always) { return Sys::joinArguments(args, always); });
    defineGuarded<unsigned(const wstr&, bool)>(
        bp::scope(), "file_attributes",
        [](const wstr& path, bool follow) { return Sys::fileAttributes(path, follow, 1); });
    defineFunction(bp::scope(), "read_link", &readLink);
    defineFunction(bp::scope(), "scan_directory", &scanDirectory);
    defineFunction(bp::scope(), "shell_execute", &shellExecute);
    defineGuarded<wstr(wstr)>(bp::scope(), "shell_known_folder_path", &knownFolderPath);
    defineFunction(bp::scope(), "shell_resolve_exe_path", &resolveExePath);
    defineFunction(bp::scope(), "shell_string_resource", &stringResource);
    defineFunction(bp::scope(), "shell_url_scheme_to_command", &urlSchemeToCommand);
}

} // namespace PythonBuiltins
