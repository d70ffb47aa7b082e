#pragma once

#include "core/Wstr.h"

#include <vector>

class IniReader;

// Warns once about every section and every key of the configuration files
// that the program does not read, naming the file, the section and the key,
// and the known name it was probably meant to be when one is close. Names
// the user chooses are left alone: the [var] variables, the console's
// alias_NAME keys, [theme/NAME] sections (their keys are checked) and the
// [env] section of the environment. User-interface thread.
void warnUnknownSettings(const IniReader& reader);

// The candidate closest to `name` (without case) when it is close enough to
// be a slip of the keyboard: equal without case, or within one edit (two for
// names of six characters or more), a swap of two neighbours counting as one.
// Empty when none is.
wstr nearestName(const wstr& name, const std::vector<wstr>& candidates);
