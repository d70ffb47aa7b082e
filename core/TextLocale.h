#pragma once

#include <locale.h>

// The program's one locale for character classes and case mapping: C.UTF-8
// (plain C where the system lacks it), whatever locale the process runs in,
// so that text rules do not change with the user's settings. Any thread.
locale_t textLocale();
