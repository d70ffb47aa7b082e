#pragma once

#include "core/Wstr.h"

#include <ostream>

// Test failures show texts as UTF-8 rather than code point by code point.
inline void PrintTo(const wstr& text, std::ostream* os) {
    *os << '"' << wstr::toUtf8(text) << '"';
}
