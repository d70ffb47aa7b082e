#pragma once

#include "core/Wstr.h"

#include <cstdint>

// The 64-bit id of a plugin named by its full name, "package.plugin": the
// name hash (hashWstr32) of the lower-cased package name in the upper half,
// that of the plugin name as written in the lower half, each raised to 2 when
// it is 0 or 1. The name must be exactly two non-empty pieces around one dot;
// anything else gives 0. packageName, when given, receives the first piece as
// written (empty for a refused name). Any thread.
uint64_t parsePluginFullName(const wstr& fullName, wstr* packageName = nullptr);
