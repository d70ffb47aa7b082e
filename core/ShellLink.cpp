#include "core/ShellLink.h"

#include <cerrno>
#include <vector>

#include "core/Logger.h"

#include "core/SysCommandLine.h"
#include "core/SysEnv.h"
#include "platform/DesktopEntry.h"

namespace Sys {
namespace {

wstr expanded(const std::string& utf8) {
    return expandEnvVars(wstr::fromUtf8(utf8.c_str()));
}

} // namespace

void ShellLink::clear() {
    *this = ShellLink();
}

void loadShellLink(ShellLink& link, const wstr& path) {
    link.clear();
    Platform::DesktopEntry entry;
    if (!entry.load(wstr::toUtf8(path))) {
        // A missing entry is common; one that is no file or is huge is not.
        int error = entry.readError();
        if (error == EINVAL || error == EFBIG || error == EISDIR) {
            wstr message;
            logMessage(Logger::Warning,
                       wstr::format(message, L"Refused to read shell link {}: {}", path,
                                    error == EFBIG ? L"larger than the allowed size"
                                                   : L"not a regular file"));
        }
        return;
    }
    link.loaded_ = true;
    link.path_ = path;
    link.description_ = wstr::fromUtf8(entry.value("Comment").c_str());
    link.iconPath_ = expanded(entry.value("Icon"));
    if (entry.value("Type") == "Link") {
        link.target_ = wstr::fromUtf8(entry.value("URL").c_str());
        return;
    }
    link.workingDirectory_ = expanded(entry.value("Path"));
    std::vector<wstr> args;
    for (const auto& arg : entry.execArguments(""))
        args.push_back(wstr::fromUtf8(arg.c_str()));
    if (args.empty())
        return;
    wstr program = expandEnvVars(args.front());
    wstr resolved = program.find(L'/') == wstr::npos ? resolveExecutable(program, {}, {}) : wstr();
    link.target_ = resolved.empty() ? program : resolved;
    args.erase(args.begin());
    link.arguments_ = joinArguments(args);
}

} // namespace Sys
