// Package names and package discovery of DataFs.
#include "files/DataFs.h"

#include <array>
#include <clocale>
#include <cwctype>

#include "core/Path.h"
#include "core/SysFile.h"
#include "core/TextLocale.h"
#include "files/FileScanner.h"

namespace {

constexpr size_t minNameLength = 3;
constexpr size_t maxNameLength = 50;

// Letters and digits as the fixed C.UTF-8 locale classifies them, whatever the
// process locale is.
bool isAlnum(wchar_t c) {
    return iswalnum_l(wint_t(c), textLocale()) != 0;
}

bool isNameSymbol(wchar_t c) {
    static constexpr std::wstring_view symbols = L"#()+-=@[]_{}";
    return symbols.find(c) != std::wstring_view::npos;
}

bool isReservedWord(const wstr& lowerName) {
    static const std::array<const wchar_t*, 37> reserved = {
        L"all",      L"app",    L"application", L"builtin", L"builtins", L"cache",  L"data",
        L"default",  L"extern", L"external",    L"hook",    L"icon",     L"image",  L"intern",
        L"internal", L"qvsdk",  L"local",       L"locale",  L"main",     L"name",   L"nil",
        L"none",     L"null",   L"official",    L"package", L"plugin",   L"python", L"res",
        L"resource", L"sdk",    L"temp",        L"theme",   L"tmp",      L"type",   L"script",
        L"user",     L"var"};
    for (const wchar_t* word : reserved)
        if (lowerName == word)
            return true;
    return false;
}

// Length, characters and symbol placement.
bool hasValidShape(const wstr& name) {
    if (name.size() < minNameLength || name.size() > maxNameLength)
        return false;
    if (!isAlnum(name.front()) || !isAlnum(name.back()))
        return false;
    for (size_t i = 1; i + 1 < name.size(); ++i) {
        wchar_t c = name[i];
        if (isAlnum(c))
            continue;
        if (!isNameSymbol(c) || !isAlnum(name[i - 1]))
            return false;
    }
    return true;
}

// The names of one root's packages, in scan order, with their locations.
void scanRoot(DataFs::PackageMap& packages, const wstr& root, bool archives, const wstr& filter,
              const DataFs::IgnoredFilter& isIgnored) {
    if (root.empty())
        return;
    wstr pattern = filter.empty() ? wstr(L"*") : filter;
    if (archives)
        pattern += L"." + DataFs::packageExtensionSuffix();
    std::vector<wstr> found;
    if (FileScanner::scan(found, root, pattern,
                          archives ? FileScanner::Files : FileScanner::Folders, 0) != 0)
        return;
    for (const auto& entry : found) {
        auto location = Path::combine(root, entry);
        if (!archives && Sys::isDirectory(location) != 1)
            continue;
        wstr name = archives ? DataFs::packageNameFromFile(entry) : entry;
        if (name.empty() || !DataFs::isValidPackageName(name))
            continue;
        if (isIgnored && isIgnored(name))
            continue;
        packages[name].push_back(location);
    }
}

} // namespace

bool DataFs::NoCaseLess::operator()(const wstr& a, const wstr& b) const {
    return wstr::compare(a.c_str(), b.c_str(), false, 0) < 0;
}

bool DataFs::isValidPackageName(const wstr& name) {
    if (!hasValidShape(name))
        return false;
    wstr lowerName = wstr::lowerCopy(name);
    if (lowerName.find(appName()) != wstr::npos)
        return false;
    if (lowerName == wstr::lowerCopy(appTitle()) || lowerName == L"internal")
        return false;
    return !isReservedWord(lowerName);
}

wstr DataFs::packageNameFromFile(const wstr& path) {
    wstr fileName = Path::fileName(path);
    wstr suffix = L"." + packageExtensionSuffix();
    if (fileName.size() < suffix.size())
        return wstr();
    wstr tail = fileName.substr(fileName.size() - suffix.size());
    if (!wstr::equals(tail, suffix, false))
        return wstr();
    wstr name = fileName.substr(0, fileName.size() - suffix.size());
    if (name.empty() || !isValidPackageName(name))
        return wstr();
    return name;
}

DataFs::PackageMap DataFs::scanPackages(const Folders& folders, const wstr& filter,
                                        const IgnoredFilter& isIgnored) {
    PackageMap packages;
    scanRoot(packages, folders.defaultPackages, true, filter, isIgnored);
    scanRoot(packages, folders.profileInstalledPackages, true, filter, isIgnored);
    scanRoot(packages, folders.profilePackages, false, filter, isIgnored);
    return packages;
}

std::pair<wstr, std::vector<wstr>> DataFs::findPackage(const Folders& folders, const wstr& name,
                                                       const IgnoredFilter& isIgnored) {
    auto packages = scanPackages(folders, name, isIgnored);
    if (packages.size() == 1 && wstr::equals(packages.begin()->first, name, false))
        return *packages.begin();
    return {};
}
