#include "app/Autorun.h"

#include <cerrno>
#include <unistd.h>

#include "core/Logger.h"
#include "core/SysFile.h"
#include "core/SysKnownFolder.h"
#include "platform/Error.h"

namespace {

// The name under which the messages report the entry.
const wchar_t* const valueName = L"Quorvalent";

// An argument of an Exec line, quoted: inside the quotes '"', '`', '$' and
// '\' are escaped with a backslash and '%' is doubled.
std::string quoteExecArgument(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        else if (c == '%')
            out += '%';
        out += c;
    }
    return out + "\"";
}

// A value of a desktop entry: backslashes and line breaks escaped.
std::string escapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void warnOpen(const wstr& folder, uint32_t error) {
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message, L"Error while opening registry key \"{}\" (error {})", folder,
                            error));
}

bool write(const wstr& folder, const wstr& path, const wstr& bootstrap) {
    if (!Sys::createDirectories(folder, true)) {
        warnOpen(folder, Platform::lastError());
        return false;
    }
    std::string text = Autorun::entryText(bootstrap);
    if (Sys::writeFile(path, text.data(), text.size()))
        return true;
    wstr message;
    logMessage(
        Logger::Warning,
        wstr::format(message,
                     L"Error while writing into the registry (key: HKEY_CURRENT_USER\\{}\\{}; "
                     L"error {})",
                     folder, valueName, Platform::lastError()));
    return false;
}

bool remove(const wstr& folder, const wstr& path) {
    if (::unlink(wstr::toUtf8(path).c_str()) == 0 || errno == ENOENT || errno == ENOTDIR)
        return true;
    uint32_t error = Platform::setLastErrorFromErrno();
    wstr message;
    logMessage(Logger::Warning, wstr::format(message,
                                             L"Error while removing key from the Registry (key: "
                                             L"HKEY_CURRENT_USER\\{}\\{}; error {})",
                                             folder, valueName, error));
    return false;
}

} // namespace

namespace Autorun {

const wstr& entryFileName() {
    static const wstr name = L"Quorvalent.desktop";
    return name;
}

wstr entryPath() {
    wstr folder = Sys::knownFolderPath(Sys::KnownFolder::Startup, false);
    return folder.empty() ? folder : folder + L"/" + entryFileName();
}

std::string entryText(const wstr& bootstrap) {
    std::string exec = quoteExecArgument(wstr::toUtf8(bootstrap)) + " --autorun";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quorvalent\n"
           "Exec=" +
           escapeValue(exec) +
           "\n"
           "Terminal=false\n";
}

bool apply(bool on, const wstr& bootstrap) {
    wstr folder = Sys::knownFolderPath(Sys::KnownFolder::Startup, false);
    if (folder.empty()) {
        warnOpen(folder, Platform::lastError());
        return false;
    }
    wstr path = folder + L"/" + entryFileName();
    return on ? write(folder, path, bootstrap) : remove(folder, path);
}

} // namespace Autorun
