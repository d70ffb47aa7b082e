#include "core/SysRegistry.h"

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "tests/core/ScopedEnv.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes utf16(const std::u16string& text, bool terminate = true) {
    Bytes bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (terminate)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(SysRegistry, DecodesValues) {
    qvtest::ScopedEnv env;
    env.set("QVROOT", "/opt/q");
    struct Case {
        const char* name;
        uint32_t type;
        Bytes data;
        uint32_t resultType;
        std::vector<wstr> values;
    };
    const Case cases[] = {
        {"dword", Sys::RegDword, {5, 0, 0, 0}, Sys::RegDword, {L"5"}},
        {"dword 0xFFFFFFFF",
         Sys::RegDword,
         {0xFF, 0xFF, 0xFF, 0xFF},
         Sys::RegDword,
         {L"4294967295"}},
        {"big-endian dword", Sys::RegDwordBigEndian, {0, 0, 1, 0}, Sys::RegDword, {L"256"}},
        {"dword of the wrong size", Sys::RegDword, {5, 0, 0}, Sys::RegNone, {}},
        {"qword", Sys::RegQword, {0, 0, 0, 0, 1, 0, 0, 0}, Sys::RegQword, {L"4294967296"}},
        {"qword of the wrong size", Sys::RegQword, {1, 0, 0, 0}, Sys::RegNone, {}},
        {"string", Sys::RegSz, utf16(u"C:\\x"), Sys::RegSz, {L"C:\\x"}},
        {"string without NUL", Sys::RegSz, utf16(u"ab", false), Sys::RegSz, {L"ab"}},
        {"string up to the first NUL",
         Sys::RegSz,
         utf16(u"ab") + utf16(u"cd"),
         Sys::RegSz,
         {L"ab"}},
        {"odd-length string read in whole units",
         Sys::RegSz,
         utf16(u"ab", false) + Bytes{0x63},
         Sys::RegSz,
         {L"ab"}},
        {"surrogate pair", Sys::RegSz, utf16(u"\U0001F600"), Sys::RegSz, {L"\U0001F600"}},
        {"string shorter than a unit", Sys::RegSz, {0x41}, Sys::RegSz, {}},
        {"expandable string",
         Sys::RegExpandSz,
         utf16(u"%QVROOT%\\bin"),
         Sys::RegSz,
         {L"/opt/q\\bin"}},
        {"short expandable string", Sys::RegExpandSz, {}, Sys::RegExpandSz, {}},
        {"multi-string",
         Sys::RegMultiSz,
         utf16(u"one") + utf16(u"two") + utf16(u""),
         Sys::RegMultiSz,
         {L"one", L"two"}},
        {"multi-string stops at the first empty",
         Sys::RegMultiSz,
         utf16(u"one") + utf16(u"") + utf16(u"late"),
         Sys::RegMultiSz,
         {L"one"}},
        {"multi-string without terminators, odd length",
         Sys::RegMultiSz,
         utf16(u"one") + utf16(u"tw", false) + Bytes{0x6F},
         Sys::RegMultiSz,
         {L"one", L"tw"}},
        {"binary", Sys::RegBinary, {1, 2, 3}, Sys::RegNone, {}},
        {"none", Sys::RegNone, {}, Sys::RegNone, {}},
    };
    for (const auto& c : cases) {
        Sys::RegValues decoded = Sys::decodeRegistryValue(c.type, c.data.data(), c.data.size());
        EXPECT_EQ(decoded.type, c.resultType) << c.name;
        EXPECT_EQ(decoded.values, c.values) << c.name;
    }
    Bytes lone = {0x00, 0xD8, 0x41, 0x00, 0, 0};
    EXPECT_EQ(Sys::decodeRegistryValue(Sys::RegSz, lone.data(), lone.size()).values,
              std::vector<wstr>{L"\uFFFDA"});
}

TEST(SysRegistry, ReadsReportAbsentValues) {
    Platform::setLastError(0);
    Sys::RegValue value = Sys::readRegistryString(Sys::RegRoot::CurrentUser, L"Software\\X", L"");
    EXPECT_EQ(value.type, Sys::RegNone);
    EXPECT_TRUE(value.value.empty());
    EXPECT_EQ(Platform::lastError(), Platform::ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(Sys::readRegistryStrings(Sys::RegRoot::ClassesRoot, L"http", L"").values.empty());
}

} // namespace
