#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace Python {

using WstrList = std::vector<wstr>;
using WstrMap = std::map<wstr, wstr>;
using WstrMapMap = std::map<wstr, WstrMap>;
using Bytes = std::vector<uint8_t>;
// A name that may be left out: a str, or None for nothing.
using OptionalStr = std::optional<wstr>;

// Registers the conversions between the program's value types and Python
// objects with the binding library, both ways: wstr and str, WstrList and
// list, WstrMap and dict (from any mapping), WstrMapMap and dict of dicts,
// Bytes and bytes; and from Python only, OptionalStr from a str or None.
// Called once by Python::init; needs no GIL.
void registerConverters();

} // namespace Python
