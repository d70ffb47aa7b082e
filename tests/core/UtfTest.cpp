#include "core/Utf.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string decode(const Bytes& bytes) {
    std::string out = "stale";
    Utf::decodeTextToUtf8(out, bytes.data(), bytes.size(), L"fixture.txt");
    return out;
}

std::string failure(const Bytes& bytes) {
    try {
        decode(bytes);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(Utf, ByteOrderMarks) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string text;
    };
    const Case cases[] = {
        {"UTF-32 LE", {0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0}, "A\xF0\x9F\x98\x80"},
        {"UTF-32 BE", {0, 0, 0xFE, 0xFF, 0, 0, 0, 0x41, 0, 0x01, 0xF6, 0x00}, "A\xF0\x9F\x98\x80"},
        {"UTF-32 LE mark only, never UTF-16 with a NUL", {0xFF, 0xFE, 0, 0}, ""},
        {"UTF-32 partial unit dropped", {0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0, 0x42}, "A"},
        {"UTF-16 LE",
         {0xFF, 0xFE, 0x41, 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE},
         "A\xC3\xA9\xF0\x9F\x98\x80"},
        {"UTF-16 BE",
         {0xFE, 0xFF, 0, 0x41, 0, 0xE9, 0xD8, 0x3D, 0xDE, 0x00},
         "A\xC3\xA9\xF0\x9F\x98\x80"},
        {"UTF-16 mark only", {0xFF, 0xFE}, ""},
        {"UTF-16 mark and an odd byte", {0xFF, 0xFE, 0x41}, ""},
        {"UTF-16 odd last byte ignored", {0xFE, 0xFF, 0, 0x41, 0x42}, "A"},
        {"UTF-8 with mark", {0xEF, 0xBB, 0xBF, 'h', 'i'}, "hi"},
        {"UTF-8 mark only", {0xEF, 0xBB, 0xBF}, ""},
        {"unmarked UTF-8 kept byte for byte", {'a', 0xC3, 0xA9, '\r', '\n'}, "a\xC3\xA9\r\n"},
        {"unmarked Latin-1 is ANSI", {0xE9}, "\xC3\xA9"},
        {"ANSI 0x80..0x9F and undefined bytes",
         {0x80, 0x81, 0x9F, 'x'},
         "\xE2\x82\xAC\xC2\x81\xC5\xB8x"},
        {"ANSI keeps NULs at both ends", {0, 0xE9, 0, 'x', 0}, std::string("\0\xC3\xA9\0x\0", 6)},
        {"empty", {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(c.bytes), c.text) << c.name;
}

TEST(Utf, MalformedUnicodeNamesTheSource) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string message;
    };
    const Case cases[] = {
        {"UTF-32 beyond U+10FFFF",
         {0xFF, 0xFE, 0, 0, 0, 0, 0x11, 0},
         "Invalid UTF-32 encoding detected in \"fixture.txt\""},
        {"UTF-32 surrogate",
         {0, 0, 0xFE, 0xFF, 0, 0, 0xD8, 0},
         "Invalid UTF-32 encoding detected in \"fixture.txt\""},
        {"UTF-16 lead at the end",
         {0xFF, 0xFE, 0x41, 0, 0x3D, 0xD8},
         "Invalid UTF-16 encoding detected in \"fixture.txt\""},
        {"UTF-16 lead before a non-trail",
         {0xFF, 0xFE, 0x3D, 0xD8, 0x41, 0},
         "Invalid UTF-16 encoding detected in \"fixture.txt\""},
        {"UTF-16 lone trail",
         {0xFE, 0xFF, 0xDE, 0x00},
         "Invalid UTF-16 encoding detected in \"fixture.txt\""},
        {"UTF-8 bad byte right after the mark",
         {0xEF, 0xBB, 0xBF, 0xFF, 'a'},
         "Invalid UTF-8 encoding detected in \"fixture.txt\" at offset 3"},
        {"UTF-8 truncated sequence later",
         {0xEF, 0xBB, 0xBF, 'a', 'b', 0xC3},
         "Invalid UTF-8 encoding detected in \"fixture.txt\" at offset 5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failure(c.bytes), c.message) << c.name;
}

TEST(Utf, DecodeTextGivesWideText) {
    Bytes bytes = {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 0x41, 0};
    wstr out;
    Utf::decodeText(out, bytes.data(), bytes.size(), L"x");
    EXPECT_EQ(out, L"\U0001F600A");
}

TEST(Utf, ReadTextFileTellsTooLargeFromEmpty) {
    qvtest::TempDir dir;
    wstr text = wstr::fromUtf8(dir.write("text.txt", "\xEF\xBB\xBFhello").c_str());
    wstr empty = wstr::fromUtf8(dir.write("empty.txt", "").c_str());
    wstr bad = wstr::fromUtf8(dir.write("bad.txt", std::string("\xFF\xFE\x00\xDC", 4)).c_str());
    std::string out = "stale";

    EXPECT_EQ(Utf::readTextFile(out, text), Utf::ReadResult::Read);
    EXPECT_EQ(out, "hello");
    EXPECT_EQ(Utf::readTextFile(out, text, 8), Utf::ReadResult::Read);
    EXPECT_EQ(Utf::readTextFile(out, text, 7), Utf::ReadResult::TooLarge);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Utf::readTextFile(out, empty), Utf::ReadResult::Empty);
    EXPECT_EQ(Utf::readTextFile(out, empty + L".missing"), Utf::ReadResult::Unreadable);
    EXPECT_THROW(Utf::readTextFile(out, bad), std::runtime_error);
}

} // namespace
