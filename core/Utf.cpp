#include "core/Utf.h"

#include <algorithm>
#include <fmt/format.h>
#include <stdexcept>
#include <sys/stat.h>
#include <utf8.h>
#include <vector>

#include "core/MappedFile.h"

namespace Utf {
namespace {

bool startsWith(const uint8_t* bytes, size_t count, std::initializer_list<uint8_t> mark) {
    if (count < mark.size())
        return false;
    size_t i = 0;
    for (uint8_t b : mark) {
        if (bytes[i++] != b)
            return false;
    }
    return true;
}

uint32_t unitAt(const uint8_t* p, size_t width, bool bigEndian) {
    uint32_t unit = 0;
    for (size_t i = 0; i < width; ++i) {
        size_t shift = bigEndian ? (width - 1 - i) * 8 : i * 8;
        unit |= uint32_t(p[i]) << shift;
    }
    return unit;
}

std::string nameOf(const wstr& name) {
    return wstr::toUtf8(name);
}

void decodeUtf32(std::string& out, const uint8_t* payload, size_t count, bool bigEndian,
                 const wstr& name) {
    try {
        for (size_t i = 0; i + 4 <= count; i += 4)
            utf8::append(unitAt(payload + i, 4, bigEndian), std::back_inserter(out));
    } catch (const utf8::exception&) {
        throw std::runtime_error(
            fmt::format("Invalid UTF-32 encoding detected in \"{}\"", nameOf(name)));
    }
}

void decodeUtf16(std::string& out, const uint8_t* payload, size_t count, bool bigEndian,
                 const wstr& name) {
    auto fail = [&] {
        return std::runtime_error(
            fmt::format("Invalid UTF-16 encoding detected in \"{}\"", nameOf(name)));
    };
    size_t units = count / 2;
    for (size_t i = 0; i < units; ++i) {
        uint32_t unit = unitAt(payload + 2 * i, 2, bigEndian);
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            throw fail();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t trail = i + 1 < units ? unitAt(payload + 2 * (i + 1), 2, bigEndian) : 0;
            if (trail < 0xDC00 || trail > 0xDFFF)
                throw fail();
            unit = (unit << 10) + trail - 0x35FDC00;
            ++i;
        }
        utf8::append(unit, std::back_inserter(out));
    }
}

void decodeMarkedUtf8(std::string& out, const uint8_t* bytes, size_t count, const wstr& name) {
    const char* begin = reinterpret_cast<const char*>(bytes);
    const char* bad = utf8::find_invalid(begin, begin + count);
    if (bad != begin + count)
        throw std::runtime_error(fmt::format(
            "Invalid UTF-8 encoding detected in \"{}\" at offset {}", nameOf(name), bad - begin));
    out.assign(begin + 3, begin + count);
}

// Windows-1252 through the one converter of wstr, which never fails on it
// (its five undefined bytes become the C1 controls of the same value). That
// conversion gives nothing for a text starting with NUL and drops trailing
// NULs: both are kept aside and put back.
void decodeAnsi(std::string& out, const uint8_t* bytes, size_t count) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), count);
    const size_t first = std::min(text.find_first_not_of('\0'), count);
    const size_t end = text.find_last_not_of('\0') + 1; // 0 when all NUL
    out.assign(first, '\0');
    if (end > first)
        out += wstr::toUtf8(
            wstr::fromMultiByte(text.data() + first, int64_t(end - first), wstr::codePageAnsi));
    out.append(count - std::max(first, end), '\0');
}

} // namespace

void decodeTextToUtf8(std::string& out, const uint8_t* bytes, size_t count, const wstr& name) {
    out.clear();
    if (startsWith(bytes, count, {0xFF, 0xFE, 0x00, 0x00}))
        return decodeUtf32(out, bytes + 4, count - 4, false, name);
    if (startsWith(bytes, count, {0x00, 0x00, 0xFE, 0xFF}))
        return decodeUtf32(out, bytes + 4, count - 4, true, name);
    if (startsWith(bytes, count, {0xFF, 0xFE}))
        return decodeUtf16(out, bytes + 2, count - 2, false, name);
    if (startsWith(bytes, count, {0xFE, 0xFF}))
        return decodeUtf16(out, bytes + 2, count - 2, true, name);
    if (startsWith(bytes, count, {0xEF, 0xBB, 0xBF}))
        return decodeMarkedUtf8(out, bytes, count, name);
    const char* begin = reinterpret_cast<const char*>(bytes);
    if (count == 0)
        return;
    if (utf8::is_valid(begin, begin + count))
        out.assign(begin, begin + count);
    else
        decodeAnsi(out, bytes, count);
}

void decodeText(wstr& out, const uint8_t* bytes, size_t count, const wstr& name) {
    std::string utf8;
    decodeTextToUtf8(utf8, bytes, count, name);
    out = wstr::fromMultiByte(utf8.data(), static_cast<int64_t>(utf8.size()), wstr::codePageUtf8);
}

ReadResult readTextFile(std::string& out, const wstr& path, uint64_t maxSize) {
    out.clear();
    MappedFile file;
    if (!file.open(path, maxSize)) {
        if (file.error() != 0)
            return ReadResult::Unreadable;
        // Nothing was read: the file is empty, or larger than allowed.
        struct stat st;
        bool hasBytes = stat(wstr::toUtf8(path).c_str(), &st) == 0 && st.st_size > 0;
        return hasBytes ? ReadResult::TooLarge : ReadResult::Empty;
    }
    decodeTextToUtf8(out, file.view(), file.viewSize(), path);
    return ReadResult::Read;
}

} // namespace Utf
