#pragma once

#include "core/Wstr.h"

#include <cstdint>

// Why a file, folder or address could not be opened, in words a user can act
// on: "Cannot open "<target>": " and the system error's words (no error
// number); where the error says that no program opens it, `alternatives`
// follows, the settings that would name one ("config_editor"). Any thread.
wstr openFailureText(const wstr& target, uint32_t error, const wstr& alternatives);
