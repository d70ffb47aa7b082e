#pragma once

#include "catalog/Catalog.h"
#include "core/Wstr.h"
#include "packages/PackageManager.h"

#include <cstdint>
#include <optional>
#include <vector>

// The diagnostic window's plain-text report, written between two lines of
// three backticks. The detailed report also names the machine, the user,
// the folders and the uptime and lists the figures of every package and
// plugin; the short one leaves those out, so that it can be shared.
// Stateless; any thread.
namespace DiagReport {

// What the report tells, gathered before it is written.
struct Facts {
    wstr productName;
    wstr versionString;
    wstr architecture = L"x64";
    bool portable = false;
    wstr timestamp; // local with its offset (detailed) or UTC (short)
    double uptimeSeconds = 0;
    double statsSeconds = 0;
    wstr system;
    // The keyboard layout's name; nothing when it could not be read, with
    // the error number.
    std::optional<wstr> keyboardLayout;
    uint32_t keyboardError = 0;
    std::vector<wstr> monitors;
    wstr machineName;
    wstr userName;
    wstr officialPackages; // empty when the installation has none
    wstr profileDir;
    wstr localDir;
    PackageManager::FullStats packages;
    Catalog::Stats catalog;
};

wstr build(const Facts& facts, bool detailed);

// A plugin of the listing: its name and 64-bit id.
struct PluginEntry {
    uint64_t id = 0;
    wstr name;
};
// The snapshot's plugins ordered by name without regard to case, one per
// name: the one with the lowest id.
std::vector<PluginEntry> pluginsByName(const PackageManager::FullStats& stats);

} // namespace DiagReport
