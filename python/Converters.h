#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <map>
#include <vector>

namespace Python {

using WstrList = std::vector<wstr>;
using WstrMap = std::map<wstr, wstr>;
using WstrMapMap = std::map<wstr, WstrMap>;
using Bytes = std::vector<uint8_t>;

// Registers the conversions between the program's value types and Python
// objects with the binding library, both ways: wstr and str, WstrList and
// list, WstrMap and dict (from any mapping), WstrMapMap and dict of dicts,
// Bytes and bytes. Called once by Python::init; needs no GIL.
void registerConverters();

} // namespace Python
