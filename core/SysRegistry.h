#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Wstr.h"

// Registry values turned into text. This system has no registry: the reads
// report every value as absent; the decoder serves values that arrive as
// type and bytes from elsewhere. Any thread.
namespace Sys {

// Value types, numbered as the registry numbers them.
enum RegType : uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegDwordBigEndian = 5,
    RegMultiSz = 7,
    RegQword = 11,
};

// The registry roots the program reads.
enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };

struct RegRawValue {
    uint32_t type = RegNone;
    std::vector<uint8_t> data;
};

// Type 0 means that there is no value.
struct RegValue {
    uint32_t type = RegNone;
    wstr value;
};

struct RegValues {
    uint32_t type = RegNone;
    std::vector<wstr> values;
};

// Type and raw bytes of a value: always type 0 and no bytes here, with the
// last error set to "file not found".
RegRawValue readRegistryValue(RegRoot root, const wstr& subKey, const wstr& name);

// Decodes raw value data: numbers become decimal text (type 4 or 11), strings
// are read as UTF-16LE up to their first NUL within the data (an odd last
// byte is not read), an expandable string is expanded and reported as type
// 1, a multi-string gives its strings up to the first empty one. Anything
// else, or a number of the wrong size, gives type 0 and nothing.
RegValues decodeRegistryValue(uint32_t type, const uint8_t* data, size_t size);

RegValues readRegistryStrings(RegRoot root, const wstr& subKey, const wstr& name);
// The type and first string of readRegistryStrings (empty when none). An
// empty name stands for the key's default value.
RegValue readRegistryString(RegRoot root, const wstr& subKey, const wstr& name);

} // namespace Sys
