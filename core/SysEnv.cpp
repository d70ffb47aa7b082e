#include "core/SysEnv.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <sys/stat.h>

#include "core/Path.h"
#include "core/SysCommandLine.h"
#include "core/SysFile.h"
#include "core/TextLocale.h"
#include "platform/Environment.h"
#include "platform/Error.h"

namespace Sys {
namespace {

bool lookupVariable(const wstr& name, wstr& value) {
    std::string narrow = wstr::toUtf8(name);
    if (narrow.empty() || narrow.find('=') != std::string::npos)
        return false;
    const Platform::env::Variables variables = Platform::env::all();
    if (auto exact = variables.find(narrow); exact != variables.end()) {
        value = wstr::fromUtf8(exact->second.c_str());
        return true;
    }
    for (const auto& [other, text] : variables) {
        if (other.size() == narrow.size() &&
            strncasecmp(other.c_str(), narrow.c_str(), narrow.size()) == 0) {
            value = wstr::fromUtf8(text.c_str());
            return true;
        }
    }
    return false;
}

wstr readVariable(const char* name) {
    return wstr::fromUtf8(Platform::env::value(name).c_str());
}

bool isFolder(const wstr& path) {
    struct stat st;
    return stat(wstr::toUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isExecutableFile(const wstr& path) {
    struct stat st;
    return stat(wstr::toUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH));
}

std::vector<wstr> normalisedExtensions(std::vector<wstr> extensions) {
    if (extensions.empty())
        return pathExtensions();
    std::vector<wstr> result;
    for (auto& ext : extensions) {
        wstr::trimLeft(wstr::trimRight(ext));
        if (ext.empty())
            continue;
        result.push_back(ext.front() == L'.' ? ext : L"." + ext);
    }
    return result;
}

// The candidate as named, then with each extension unless it carries one.
wstr firstExecutable(const wstr& candidate, const std::vector<wstr>& extensions, bool hasExt) {
    if (isExecutableFile(candidate))
        return candidate;
    if (hasExt)
        return {};
    for (const auto& ext : extensions) {
        if (isExecutableFile(candidate + ext))
            return candidate + ext;
    }
    return {};
}

std::vector<wstr> existingFolders(std::vector<wstr> folders) {
    if (folders.empty())
        return searchPath();
    std::vector<wstr> kept;
    for (auto& folder : folders) {
        if (isFolder(folder))
            kept.push_back(std::move(folder));
    }
    return kept;
}

} // namespace

bool tryExpandEnvVars(const wstr& text, wstr& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close = text[i] == L'%' ? text.find(L'%', i + 1) : wstr::npos;
        if (close == wstr::npos) {
            out += text[i];
            continue;
        }
        wstr value;
        if (lookupVariable(text.substr(i + 1, close - i - 1), value)) {
            out += value;
            i = close;
        } else {
            // The closing '%' may open the next name.
            out.append(text, i, close - i);
            i = close - 1;
        }
    }
    return true;
}

wstr expandEnvVars(const wstr& text) {
    wstr out;
    return tryExpandEnvVars(text, out) ? out : text;
}

void expandEnvVarsInPlace(wstr& text) {
    wstr out;
    if (tryExpandEnvVars(text, out))
        text = std::move(out);
}

EnvironmentMap environmentBlock() {
    EnvironmentMap result;
    for (const auto& [variable, value] : Platform::env::all()) {
        wstr name = wstr::fromUtf8(variable.c_str());
        for (auto& c : name)
            c = static_cast<wchar_t>(towupper_l(c, textLocale()));
        result[name] = wstr::fromUtf8(value.c_str());
    }
    return result;
}

std::vector<wstr> searchPath() {
    std::vector<wstr> folders;
    for (auto& part : wstr::split(readVariable("PATH"), L":", true, false)) {
        // A relative part (".") would find programs in the current folder.
        if (part.front() == L'/' && isFolder(part))
            folders.push_back(std::move(part));
    }
    return folders;
}

std::vector<wstr> pathExtensions() {
    std::vector<wstr> extensions;
    for (auto& part : wstr::split(readVariable("PATHEXT"), L";", true, false))
        extensions.push_back(part.front() == L'.' ? part : L"." + part);
    return extensions;
}

wstr resolveExecutable(wstr name, std::vector<wstr> folders, std::vector<wstr> extensions) {
    wstr::trimLeft(wstr::trimRight(name));
    if (name.empty())
        return {};
    expandEnvVarsInPlace(name);
    bool isPath = name.find(L'/') != wstr::npos;
    if (!isPath) {
        folders = existingFolders(std::move(folders));
        if (folders.empty())
            return {};
    }
    extensions = normalisedExtensions(std::move(extensions));
    bool hasExt = Path::hasExtensionIn(name, extensions);
    if (isPath)
        return firstExecutable(name, extensions, hasExt);
    for (const auto& folder : folders) {
        wstr found = firstExecutable(Path::combine(folder, name), extensions, hasExt);
        if (!found.empty())
            return found;
    }
    return {};
}

wstr resolveCommandLine(const wstr& commandLine, const std::vector<wstr>& folders,
                        const std::vector<wstr>& extensions) {
    if (wstr::trimCopy(commandLine).empty())
        return {};
    std::vector<wstr> args;
    if (!splitCommandLine(args, commandLine) || args.empty())
        return {};
    wstr program = resolveExecutable(args.front(), folders, extensions);
    if (program.empty())
        return {};
    wstr final = finalPathName(program);
    if (Platform::lastError() != Platform::ERROR_SUCCESS)
        return {};
    args.front() = final;
    return joinArguments(args);
}

} // namespace Sys

namespace Path {

bool hasExtensionIn(const wstr& name, const std::vector<wstr>& extensions) {
    wstr ext = Path::extension(name);
    if (ext.empty())
        return false;
    return wstr::indexIn(L"." + ext, extensions) >= 0;
}

} // namespace Path
