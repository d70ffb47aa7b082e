#include "windows/DiagReport.h"

#include "core/SysTime.h"

#include <map>

namespace DiagReport {
namespace {

// Orders names without regard to case (ordinal over case-folded code points).
struct NoCaseLess {
    bool operator()(const wstr& a, const wstr& b) const { return wstr::compare(a, b, false) < 0; }
};

void appendCounters(wstr& out, const Catalog::Stats::Counters& c, const wchar_t* indent) {
    wstr::format(out,
                 L"{0}Hits         {1}\n{0}CatalogItems {2}\n{0}HistoryItems {3}\n"
                 L"{0}KwAssocItems {4}\n{0}Keywords     {5}\n",
                 indent, c.hits, c.catalogItems, c.historyItems, c.keywordEntries, c.terms);
}

void appendPluginName(wstr& out, const PluginEntry& plugin) {
    wstr::format(out, L"{} ({:#08x}.{:#08x})\n", plugin.name,
                 static_cast<uint32_t>(plugin.id >> 32), static_cast<uint32_t>(plugin.id));
}

void appendHeader(wstr& out, const Facts& facts, bool detailed) {
    wstr::format(out, L"{} {} for {}\n", facts.productName, facts.versionString,
                 facts.architecture);
    wstr::format(out, L"{} mode\n", facts.portable ? L"Portable" : L"Installed");
    wstr::format(out, L"Diagnostic timestamp: {}\n", facts.timestamp);
    if (detailed) {
        wstr span;
        const auto ms = static_cast<uint64_t>(facts.uptimeSeconds * 1000);
        formatTimeSpan(span, ms / 1000, static_cast<uint32_t>(ms % 1000), true, false);
        wstr::format(out, L"{} uptime: {}\n", facts.productName, span);
    }
    wstr::format(out, L"Stats gathering: {:.4f}s\n\n", facts.statsSeconds);
}

void appendSystem(wstr& out, const Facts& facts, bool detailed) {
    wstr::format(out, L"System: {}\n", facts.system);
    if (facts.keyboardLayout)
        wstr::format(out, L"Keyboard layout: {}\n", *facts.keyboardLayout);
    else
        wstr::format(out, L"Keyboard layout: UNKNOWN (error {})\n", facts.keyboardError);
    for (const wstr& line : facts.monitors)
        out += line + L"\n";
    if (detailed) {
        wstr::format(out, L"Machine NetBIOS name: \"{}\"\n", facts.machineName);
        wstr::format(out, L"User name (current thread): \"{}\"\n", facts.userName);
    }
    out += L"\n";
    if (facts.officialPackages.empty())
        out += L"Official packages directory NOT FOUND.";
    else if (detailed)
        wstr::format(out, L"Official packages: {}", facts.officialPackages);
    else
        out += L"Official packages directory found.";
    out += L"\n\n";
    if (detailed)
        wstr::format(out, L"Profile dir: {}\nLocal dir: {}\n\n", facts.profileDir, facts.localDir);
}

void appendTotals(wstr& out, const Facts& facts) {
    const PackageManager::FullStats& p = facts.packages;
    wstr::format(out, L"Packages              {}\n", p.packages.size());
    wstr::format(out, L"Plugins               {}\n", p.plugins.size());
    wstr::format(out, L"Running package tasks {}\n", p.runningTasks.size());
    wstr::format(out, L"Pending package tasks {}\n\n", p.pendingTasks.size());
    const Catalog::Stats& c = facts.catalog;
    wstr::format(out,
                 L"TotalHits         {}\nTotalCatalogItems {}\nTotalHistoryItems {}\n"
                 L"TotalKwAssocItems {}\nTotalKeywords     {}\n",
                 c.totalHits, c.totalCatalogItems, c.totalHistoryItems, c.totalKwAssocItems,
                 c.totalKeywords);
    if (c.totalHits > 0) {
        wstr span;
        formatTimeSpan(span, static_cast<uint64_t>(std::max<int64_t>(c.historySpan, 0)), 0, true,
                       false);
        wstr::format(out, L"FirstHit          {}\nLastHit           {}\nHistorySpan       {}\n",
                     c.firstHit, c.lastHit, span);
    }
    out += L"\n";
}

void appendPackages(wstr& out, const Facts& facts, const std::vector<PluginEntry>& plugins) {
    const wchar_t* indent = L"    ";
    std::map<wstr, const PackageManager::FullStats::Package*, NoCaseLess> packages;
    for (const auto& [id, package] : facts.packages.packages)
        packages.emplace(package->name, package.get());
    for (const auto& [name, package] : packages) {
        wstr::format(out, L"Package {}:\n", name);
        wstr::format(out, L"{}ID       {:#08x}\n", indent, package->id);
        wstr::format(out, L"{}Instance #{}\n", indent, package->revision);
        auto figures = facts.catalog.packages.find(package->id);
        if (figures != facts.catalog.packages.end())
            appendCounters(out, figures->second, L"             ");
        bool first = true;
        for (const PluginEntry& plugin : plugins) {
            if (static_cast<uint32_t>(plugin.id >> 32) != package->id)
                continue;
            out += indent;
            out += first ? L"Plugin   " : L"         ";
            first = false;
            appendPluginName(out, plugin);
            auto pluginFigures = facts.catalog.plugins.find(plugin.id);
            if (pluginFigures != facts.catalog.plugins.end())
                appendCounters(out, pluginFigures->second, L"               ");
        }
    }
}

} // namespace

std::vector<PluginEntry> pluginsByName(const PackageManager::FullStats& stats) {
    std::map<wstr, PluginEntry, NoCaseLess> byName;
    for (const auto& [id, plugin] : stats.plugins)
        byName.emplace(plugin->name, PluginEntry{id, plugin->name});
    std::vector<PluginEntry> list;
    for (auto& [name, entry] : byName)
        list.push_back(std::move(entry));
    return list;
}

wstr build(const Facts& facts, bool detailed) {
    wstr out = L"```\n";
    appendHeader(out, facts, detailed);
    appendSystem(out, facts, detailed);
    appendTotals(out, facts);
    const std::vector<PluginEntry> plugins = pluginsByName(facts.packages);
    if (detailed) {
        appendPackages(out, facts, plugins);
    } else {
        for (const PluginEntry& plugin : plugins)
            appendPluginName(out, plugin);
    }
    out += L"\n```";
    return out;
}

} // namespace DiagReport
