#include "core/SettingsStore.h"

#include <algorithm>

namespace {

bool keyMapsEqual(const SettingsStore::KeyMap& a, const SettingsStore::KeyMap& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.first == y.first && x.second == y.second;
           });
}

} // namespace

void SettingsStore::clear() {
    sections_.clear();
    loaded_ = false;
}

void SettingsStore::set(const wstr& section, const wstr& key, const wstr& value) {
    getOrAddValue(getOrAddSection(section), wstr::lowerCopy(key)) = value;
    loaded_ = true;
}

void SettingsStore::merge(const wstr& section, const KeyMap& values) {
    getOrAddSection(section).clear();
    for (const auto& [key, value] : values)
        set(section, key, value);
    loaded_ = true;
}

std::vector<wstr> SettingsStore::sections() const {
    std::vector<wstr> names;
    for (const auto& entry : sections_)
        names.push_back(entry.first);
    return names;
}

std::vector<wstr> SettingsStore::keys(const wstr& section) const {
    std::vector<wstr> names;
    auto it = sections_.find(section);
    if (it == sections_.end())
        return names;
    for (const auto& entry : it->second)
        names.push_back(entry.first);
    return names;
}

const wstr* SettingsStore::find(const wstr& section, const wstr& key) const {
    auto it = sections_.find(section);
    if (it == sections_.end())
        return nullptr;
    auto value = it->second.find(wstr::lowerCopy(key));
    return value == it->second.end() ? nullptr : &value->second;
}

bool SettingsStore::hasKey(const wstr& section, const wstr& key) const {
    return find(section, key) != nullptr;
}

bool SettingsStore::get(const wstr& section, const wstr& key, wstr& value) const {
    value.clear();
    const wstr* found = find(section, key);
    if (!found)
        return false;
    value = *found;
    return true;
}

wstr SettingsStore::getOrDefault(const wstr& section, const wstr& key,
                                 const wstr& defaultValue) const {
    const wstr* found = find(section, key);
    return found ? *found : defaultValue;
}

SettingsStore::KeyMap SettingsStore::varSection() const {
    auto it = sections_.find(L"var");
    return it == sections_.end() ? KeyMap() : it->second;
}

bool SettingsStore::sectionsEqual(const SectionMap& a, const SectionMap& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.first == y.first && keyMapsEqual(x.second, y.second);
           });
}

bool SettingsStore::equals(const SettingsStore& other, const std::set<wstr>& ignored) const {
    if (ignored.empty())
        return sectionsEqual(sections_, other.sections_);
    std::set<wstr> visited;
    for (const auto& [name, keys] : sections_) {
        if (ignored.count(name))
            continue;
        visited.insert(name);
        auto it = other.sections_.find(name);
        if (it == other.sections_.end() || !keyMapsEqual(keys, it->second))
            return false;
    }
    for (const auto& entry : other.sections_) {
        if (!ignored.count(entry.first) && !visited.count(entry.first))
            return false;
    }
    return true;
}
