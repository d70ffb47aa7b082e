#pragma once

#include <map>
#include <set>
#include <vector>

#include "core/Wstr.h"

// Sections of keys with text values: the in-memory form of every INI-shaped
// configuration (application, theme and package settings). Section names are
// compared exactly; keys are stored lower-cased and looked up without case.
// A plain value with no lock of its own: its owner guards it.
class SettingsStore {
public:
    struct KeyLess {
        bool operator()(const wstr& a, const wstr& b) const {
            return wstr::compare(a, b, false, -1) < 0;
        }
    };
    using KeyMap = std::map<wstr, wstr, KeyLess>;
    using SectionMap = std::map<wstr, KeyMap>;

    // Empties the store; it then counts as never filled.
    void clear();
    // True once set or merge wrote into the store.
    bool loaded() const { return loaded_; }

    void set(const wstr& section, const wstr& key, const wstr& value);
    // The section ends up holding exactly the given keys (created when absent).
    void merge(const wstr& section, const KeyMap& values);

    std::vector<wstr> sections() const;
    std::vector<wstr> keys(const wstr& section) const;
    bool hasKey(const wstr& section, const wstr& key) const;
    // Empties value first; true and the value when the section and key exist.
    bool get(const wstr& section, const wstr& key, wstr& value) const;
    // The value when present (also when empty), else a copy of the default.
    wstr getOrDefault(const wstr& section, const wstr& key, const wstr& defaultValue) const;
    // A copy of the "var" section's keys; empty when there is none.
    KeyMap varSection() const;

    // Same sections, keys and values (values compared with case), leaving
    // out the sections named in `ignored`.
    bool equals(const SettingsStore& other, const std::set<wstr>& ignored = {}) const;

    SectionMap::const_iterator findSection(const wstr& section) const {
        return sections_.find(section);
    }
    SectionMap::const_iterator sectionsEnd() const { return sections_.end(); }
    KeyMap& getOrAddSection(const wstr& section) { return sections_[section]; }
    // The value slot of an already lowered key, empty when newly added.
    static wstr& getOrAddValue(KeyMap& keys, const wstr& loweredKey) { return keys[loweredKey]; }
    static bool sectionsEqual(const SectionMap& a, const SectionMap& b);

private:
    const wstr* find(const wstr& section, const wstr& key) const;

    SectionMap sections_;
    bool loaded_ = false;
};
