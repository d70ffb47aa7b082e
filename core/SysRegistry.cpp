#include "core/SysRegistry.h"

#include "core/SysEnv.h"
#include "platform/Error.h"

namespace Sys {
namespace {

uint64_t littleEndian(const uint8_t* data, size_t size) {
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint64_t(data[i]) << (8 * i);
    return value;
}

// UTF-16LE units from `unit` on, up to the first NUL or the last whole unit;
// an unpaired surrogate becomes U+FFFD. Returns the index past the NUL.
size_t readString(const uint8_t* data, size_t units, size_t unit, wstr& out) {
    out.clear();
    auto at = [&](size_t i) { return static_cast<uint32_t>(littleEndian(data + 2 * i, 2)); };
    for (; unit < units; ++unit) {
        uint32_t c = at(unit);
        if (c == 0)
            return unit + 1;
        if (c >= 0xD800 && c <= 0xDBFF && unit + 1 < units && at(unit + 1) >= 0xDC00 &&
            at(unit + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (at(++unit) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return units;
}

RegValues decodeNumber(uint32_t type, const uint8_t* data, size_t size) {
    size_t expected = type == RegQword ? 8 : 4;
    if (size != expected)
        return {};
    uint64_t value = littleEndian(data, size);
    if (type == RegDwordBigEndian)
        value = __builtin_bswap32(static_cast<uint32_t>(value));
    wstr text;
    wstr::format(text, L"{}", value);
    return {type == RegQword ? RegQword : RegDword, {text}};
}

RegValues decodeString(uint32_t type, const uint8_t* data, size_t size) {
    if (size < 2)
        return {type, {}};
    wstr text;
    readString(data, size / 2, 0, text);
    if (type == RegExpandSz)
        return {RegSz, {expandEnvVars(text)}};
    return {RegSz, {text}};
}

RegValues decodeMultiString(const uint8_t* data, size_t size) {
    RegValues result{RegMultiSz, {}};
    size_t units = size / 2;
    for (size_t unit = 0; unit < units;) {
        wstr text;
        unit = readString(data, units, unit, text);
        if (text.empty())
            break;
        result.values.push_back(std::move(text));
    }
    return result;
}

} // namespace

RegRawValue readRegistryValue(RegRoot, const wstr&, const wstr&) {
    Platform::setLastError(Platform::ERROR_FILE_NOT_FOUND);
    return {};
}

RegValues decodeRegistryValue(uint32_t type, const uint8_t* data, size_t size) {
    switch (type) {
    case RegDword:
    case RegDwordBigEndian:
    case RegQword:
        return decodeNumber(type, data, size);
    case RegSz:
    case RegExpandSz:
        return decodeString(type, data, size);
    case RegMultiSz:
        return decodeMultiString(data, size);
    default:
        return {};
    }
}

RegValues readRegistryStrings(RegRoot root, const wstr& subKey, const wstr& name) {
    RegRawValue raw = readRegistryValue(root, subKey, name);
    return decodeRegistryValue(raw.type, raw.data.data(), raw.data.size());
}

RegValue readRegistryString(RegRoot root, const wstr& subKey, const wstr& name) {
    RegValues values = readRegistryStrings(root, subKey, name);
    return {values.type, values.values.empty() ? wstr() : values.values.front()};
}

} // namespace Sys
