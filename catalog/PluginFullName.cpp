#include "catalog/PluginFullName.h"

#include "core/Hash.h"

namespace {

uint64_t nameHash(std::wstring_view name) {
    uint32_t hash = hashWstr32(name);
    return hash < 2 ? 2 : hash;
}

} // namespace

uint64_t parsePluginFullName(const wstr& fullName, wstr* packageName) {
    if (packageName)
        packageName->clear();
    size_t dot = fullName.find(L'.');
    if (dot == 0 || dot == wstr::npos || dot + 1 == fullName.size() ||
        fullName.find(L'.', dot + 1) != wstr::npos)
        return 0;
    std::wstring_view package(fullName.data(), dot);
    std::wstring_view plugin(fullName.data() + dot + 1, fullName.size() - dot - 1);
    if (packageName)
        packageName->assign(package);
    return nameHash(wstr::lowerCopy(package)) << 32 | nameHash(plugin);
}
