#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The program's environment: a table copied from the process environment at
// its first use and changed only by replace. Lookups and started programs
// read this table, never the process environment, so that a reload can change
// it while other threads read it (setenv under a reader is undefined
// behaviour). All functions may be called from any thread.
namespace Platform::env {

using Variables = std::map<std::string, std::string>;

// The value of the variable (the name as written), or nothing.
std::optional<std::string> get(const std::string& name);
// The value, or empty when unset.
std::string value(const std::string& name);
// A copy of the whole table.
Variables all();
// The table as "NAME=value" entries, for a program's environment.
std::vector<std::string> block();
// Replaces the table; true when anything changed.
bool replace(Variables variables);

} // namespace Platform::env
