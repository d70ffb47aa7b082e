#include "core/SettingsStore.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsStore, KeysAreLoweredAndFoundInAnyCase) {
    SettingsStore store;
    EXPECT_FALSE(store.loaded());
    store.set(L"main", L"HotKey_Run", L"Alt+Space");
    EXPECT_TRUE(store.loaded());
    wstr value;
    for (const wchar_t* key : {L"hotkey_run", L"HOTKEY_RUN", L"HotKey_Run"}) {
        EXPECT_TRUE(store.get(L"main", key, value)) << key;
        EXPECT_EQ(value, L"Alt+Space");
    }
    EXPECT_EQ(store.keys(L"main"), std::vector<wstr>{L"hotkey_run"});
}

TEST(SettingsStore, SectionNamesAreCaseSensitive) {
    SettingsStore store;
    store.set(L"Main", L"a", L"1");
    wstr value = L"stale";
    EXPECT_FALSE(store.get(L"main", L"a", value));
    EXPECT_TRUE(value.empty());
    EXPECT_FALSE(store.hasKey(L"main", L"a"));
    EXPECT_TRUE(store.hasKey(L"Main", L"A"));
    EXPECT_TRUE(store.keys(L"main").empty());
}

TEST(SettingsStore, GetOrDefaultKeepsAnEmptyValue) {
    SettingsStore store;
    store.set(L"s", L"empty", L"");
    EXPECT_EQ(store.getOrDefault(L"s", L"empty", L"dflt"), L"");
    EXPECT_EQ(store.getOrDefault(L"s", L"missing", L"dflt"), L"dflt");
    EXPECT_EQ(store.getOrDefault(L"other", L"empty", L"dflt"), L"dflt");
}

TEST(SettingsStore, MergeReplacesTheSectionWhole) {
    SettingsStore store;
    store.set(L"s", L"old", L"1");
    store.merge(L"s", {{L"New", L"2"}, {L"b", L"3"}});
    EXPECT_EQ(store.keys(L"s"), (std::vector<wstr>{L"b", L"new"}));

    SettingsStore fresh;
    fresh.set(L"keep", L"k", L"v");
    fresh.clear();
    EXPECT_FALSE(fresh.loaded());
    fresh.merge(L"empty", {});
    EXPECT_TRUE(fresh.loaded());
    EXPECT_EQ(fresh.sections(), std::vector<wstr>{L"empty"});
    EXPECT_TRUE(fresh.keys(L"empty").empty());
}

TEST(SettingsStore, SectionsInOrdinalOrderAndVarSection) {
    SettingsStore store;
    store.set(L"var", L"Name", L"x");
    store.set(L"B", L"k", L"v");
    store.set(L"a", L"k", L"v");
    EXPECT_EQ(store.sections(), (std::vector<wstr>{L"B", L"a", L"var"}));
    SettingsStore::KeyMap vars = store.varSection();
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_EQ(vars.begin()->first, L"name");
    EXPECT_TRUE(SettingsStore().varSection().empty());
}

struct EqualsCase {
    const char* name;
    std::vector<std::tuple<wstr, wstr, wstr>> left;
    std::vector<std::tuple<wstr, wstr, wstr>> right;
    std::set<wstr> ignored;
    bool equal;
};

SettingsStore build(const std::vector<std::tuple<wstr, wstr, wstr>>& entries) {
    SettingsStore store;
    for (const auto& [section, key, value] : entries)
        store.set(section, key, value);
    return store;
}

TEST(SettingsStore, Equals) {
    const std::vector<EqualsCase> cases = {
        {"order of setting does not matter",
         {{L"s", L"a", L"1"}, {L"s", L"b", L"2"}},
         {{L"s", L"B", L"2"}, {L"s", L"a", L"1"}},
         {},
         true},
        {"values differing in case differ", {{L"s", L"a", L"x"}}, {{L"s", L"a", L"X"}}, {}, false},
        {"section names differing in case differ",
         {{L"s", L"a", L"1"}},
         {{L"S", L"a", L"1"}},
         {},
         false},
        {"extra key differs",
         {{L"s", L"a", L"1"}},
         {{L"s", L"a", L"1"}, {L"s", L"b", L"2"}},
         {},
         false},
        {"ignored section differing",
         {{L"s", L"a", L"1"}, {L"i", L"k", L"1"}},
         {{L"s", L"a", L"1"}, {L"i", L"k", L"2"}},
         {L"i"},
         true},
        {"section only on the left, not ignored",
         {{L"s", L"a", L"1"}, {L"x", L"k", L"1"}},
         {{L"s", L"a", L"1"}},
         {L"i"},
         false},
        {"section only on the right, not ignored",
         {{L"s", L"a", L"1"}},
         {{L"s", L"a", L"1"}, {L"x", L"k", L"1"}},
         {L"i"},
         false},
        {"extra section on the right, ignored",
         {{L"s", L"a", L"1"}},
         {{L"s", L"a", L"1"}, {L"i", L"k", L"1"}},
         {L"i"},
         true},
        {"a value differs beside an ignored section",
         {{L"s", L"a", L"1"}},
         {{L"s", L"a", L"2"}},
         {L"i"},
         false},
    };
    for (const auto& c : cases) {
        SettingsStore left = build(c.left);
        SettingsStore right = build(c.right);
        EXPECT_EQ(left.equals(right, c.ignored), c.equal) << c.name;
        EXPECT_EQ(right.equals(left, c.ignored), c.equal) << c.name << " (reversed)";
    }
}

} // namespace
