#include "core/ShellLink.h"

#include <vector>

#include "core/SysCommandLine.h"
#include "core/SysEnv.h"
#include "platform/DesktopEntry.h"

namespace Sys {
namespace {

// Field codes an Exec line may hold; "%%" stands for one '%'.
bool isFieldCode(wchar_t c) {
    return wstr(L"fFuUdDnNickvm").find(c) != wstr::npos;
}

// The argument without its field codes; empty when it was only field codes.
wstr withoutFieldCodes(const wstr& arg) {
    wstr out;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != L'%' || i + 1 == arg.size()) {
            out += arg[i];
        } else if (arg[i + 1] == L'%') {
            out += L'%';
            ++i;
        } else if (isFieldCode(arg[i + 1])) {
            ++i;
        } else {
            out += arg[i];
        }
    }
    return out;
}

std::vector<wstr> execArguments(const Platform::DesktopEntry& entry) {
    std::vector<wstr> args;
    auto split = Platform::DesktopEntry::splitExec(entry.value("Exec"));
    if (!split)
        return args;
    for (const auto& raw : *split) {
        wstr arg = withoutFieldCodes(wstr::fromUtf8(raw.c_str()));
        if (!arg.empty() || raw.empty())
            args.push_back(std::move(arg));
    }
    return args;
}

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
    if (!entry.load(wstr::toUtf8(path)))
        return;
    link.loaded_ = true;
    link.path_ = path;
    link.description_ = wstr::fromUtf8(entry.value("Comment").c_str());
    link.iconPath_ = expanded(entry.value("Icon"));
    if (entry.value("Type") == "Link") {
        link.target_ = wstr::fromUtf8(entry.value("URL").c_str());
        return;
    }
    link.workingDirectory_ = expanded(entry.value("Path"));
    std::vector<wstr> args = execArguments(entry);
    if (args.empty())
        return;
    wstr program = expandEnvVars(args.front());
    wstr resolved = program.find(L'/') == wstr::npos ? resolveExecutable(program, {}, {}) : wstr();
    link.target_ = resolved.empty() ? program : resolved;
    args.erase(args.begin());
    link.arguments_ = joinArguments(args);
}

} // namespace Sys
