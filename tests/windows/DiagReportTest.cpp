#include "windows/DiagReport.h"

#include <gtest/gtest.h>

namespace {

using Stats = PackageManager::FullStats;

void addPlugin(Stats& stats, uint64_t id, const wstr& name) {
    auto plugin = std::make_shared<Stats::Plugin>();
    plugin->id = id;
    plugin->name = name;
    stats.plugins[id] = plugin;
    stats.packages.at(static_cast<uint32_t>(id >> 32))->plugins[id] = plugin;
}

void addPackage(Stats& stats, uint32_t id, uint64_t revision, const wstr& name) {
    auto package = std::make_shared<Stats::Package>();
    package->id = id;
    package->revision = revision;
    package->name = name;
    stats.packages[id] = package;
}

// Two packages listed out of id order by name; a plugin whose name differs
// only in case from one of another package; catalog figures for one package
// and one plugin.
DiagReport::Facts facts(bool withHits) {
    DiagReport::Facts f;
    f.productName = L"Quorvalent";
    f.versionString = L"2.24 (abcdef1)";
    f.portable = true;
    f.timestamp = L"2026-12-11T00:10:00+0100";
    f.uptimeSeconds = 3725.5;
    f.statsSeconds = 0.00123;
    f.system = L"Linux-x64 6.1.0-18-amd64";
    f.keyboardLayout = L"de(nodeadkeys)";
    f.monitors = {L"Monitor #1: Name[X] Rect[0, 0, 1920, 1080] DpiScale[1.00] PRIMARY"};
    f.machineName = L"host1";
    f.userName = L"ada";
    f.officialPackages = L"/opt/qv/default/Packages";
    f.profileDir = L"/home/ada/.config/Quorvalent";
    f.localDir = L"/home/ada/.local/state/Quorvalent";
    addPackage(f.packages, 0x5678, 3, L"zeta");
    addPackage(f.packages, 0x1234, 1, L"Alpha");
    addPlugin(f.packages, 0x0000123400000002, L"beta");
    addPlugin(f.packages, 0x0000123400000001, L"Aardvark");
    addPlugin(f.packages, 0x0000567800000001, L"BETA");
    addPlugin(f.packages, 0x0000567800000002, L"Zed");
    f.packages.runningTasks.resize(1);
    f.packages.pendingTasks.resize(2);
    Catalog::Stats& c = f.catalog;
    c.totalCatalogItems = 40;
    c.totalHistoryItems = 3;
    c.totalKwAssocItems = 2;
    c.totalKeywords = 1;
    c.packages[0x1234] = {30, 3, 2, 1, withHits ? 7u : 0u};
    c.plugins[0x0000123400000001] = {10, 1, 0, 0, withHits ? 5u : 0u};
    if (withHits) {
        c.totalHits = 7;
        c.firstHit = L"2026-12-01T08:00:00+0100";
        c.lastHit = L"2026-12-02T09:01:02+0100";
        c.historySpan = 90062;
    }
    return f;
}

TEST(DiagReport, DetailedListsEveryPackageWithItsPluginsAndFigures) {
    EXPECT_EQ(DiagReport::build(facts(true), true),
              L"```\n"
              L"Quorvalent 2.24 (abcdef1) for x64\n"
              L"Portable mode\n"
              L"Diagnostic timestamp: 2026-12-11T00:10:00+0100\n"
              L"Quorvalent uptime: 1h 2m 5s\n"
              L"Stats gathering: 0.0012s\n"
              L"\n"
              L"System: Linux-x64 6.1.0-18-amd64\n"
              L"Keyboard layout: de(nodeadkeys)\n"
              L"Monitor #1: Name[X] Rect[0, 0, 1920, 1080] DpiScale[1.00] PRIMARY\n"
              L"Machine NetBIOS name: \"host1\"\n"
              L"User name (current thread): \"ada\"\n"
              L"\n"
              L"Official packages: /opt/qv/default/Packages\n"
              L"\n"
              L"Profile dir: /home/ada/.config/Quorvalent\n"
              L"Local dir: /home/ada/.local/state/Quorvalent\n"
              L"\n"
              L"Packages              2\n"
              L"Plugins               4\n"
              L"Running package tasks 1\n"
              L"Pending package tasks 2\n"
              L"\n"
              L"TotalHits         7\n"
              L"TotalCatalogItems 40\n"
              L"TotalHistoryItems 3\n"
              L"TotalKwAssocItems 2\n"
              L"TotalKeywords     1\n"
              L"FirstHit          2026-12-01T08:00:00+0100\n"
              L"LastHit           2026-12-02T09:01:02+0100\n"
              L"HistorySpan       1d 1h 1m 2s\n"
              L"\n"
              L"Package Alpha:\n"
              L"    ID       0x001234\n"
              L"    Instance #1\n"
              L"             Hits         7\n"
              L"             CatalogItems 30\n"
              L"             HistoryItems 3\n"
              L"             KwAssocItems 2\n"
              L"             Keywords     1\n"
              L"    Plugin   Aardvark (0x001234.0x000001)\n"
              L"               Hits         5\n"
              L"               CatalogItems 10\n"
              L"               HistoryItems 1\n"
              L"               KwAssocItems 0\n"
              L"               Keywords     0\n"
              L"             beta (0x001234.0x000002)\n"
              L"Package zeta:\n"
              L"    ID       0x005678\n"
              L"    Instance #3\n"
              L"    Plugin   Zed (0x005678.0x000002)\n"
              L"\n"
              L"```");
}

TEST(DiagReport, ShortLeavesOutPersonalDetailsAndListsOnlyPlugins) {
    DiagReport::Facts f = facts(false);
    f.timestamp = L"2026-12-10T23:10:00Z";
    f.keyboardLayout.reset();
    f.keyboardError = 2;
    EXPECT_EQ(DiagReport::build(f, false),
              L"```\n"
              L"Quorvalent 2.24 (abcdef1) for x64\n"
              L"Portable mode\n"
              L"Diagnostic timestamp: 2026-12-10T23:10:00Z\n"
              L"Stats gathering: 0.0012s\n"
              L"\n"
              L"System: Linux-x64 6.1.0-18-amd64\n"
              L"Keyboard layout: UNKNOWN (error 2)\n"
              L"Monitor #1: Name[X] Rect[0, 0, 1920, 1080] DpiScale[1.00] PRIMARY\n"
              L"\n"
              L"Official packages directory found.\n"
              L"\n"
              L"Packages              2\n"
              L"Plugins               4\n"
              L"Running package tasks 1\n"
              L"Pending package tasks 2\n"
              L"\n"
              L"TotalHits         0\n"
              L"TotalCatalogItems 40\n"
              L"TotalHistoryItems 3\n"
              L"TotalKwAssocItems 2\n"
              L"TotalKeywords     1\n"
              L"\n"
              L"Aardvark (0x001234.0x000001)\n"
              L"beta (0x001234.0x000002)\n"
              L"Zed (0x005678.0x000002)\n"
              L"\n"
              L"```");
}

TEST(DiagReport, MissingOfficialPackagesIsSaidInBothKinds) {
    DiagReport::Facts f = facts(false);
    f.officialPackages.clear();
    for (bool detailed : {true, false}) {
        const wstr report = DiagReport::build(f, detailed);
        EXPECT_NE(report.find(L"\n\nOfficial packages directory NOT FOUND.\n\n"), wstr::npos);
        EXPECT_EQ(report.find(L"Official packages:"), wstr::npos);
    }
}

} // namespace
