#include "core/Hash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <zlib.h>

namespace {

// Texts beside their UTF-8 bytes spelled out by hand, so the hashes are
// checked against the library over the bytes, not against our own encoder.
struct TextBytes {
    std::wstring_view text;
    std::string utf8;
};

const TextBytes kTexts[] = {
    {L"", ""},
    {L"quorvalent", "quorvalent"},
    {L"\u00e4", "\xc3\xa4"},
    {L"Gr\u00fc\u00dfe \u20ac \U0001F600", "Gr\xc3\xbc\xc3\x9f"
                                           "e \xe2\x82\xac \xf0\x9f\x98\x80"},
};

TEST(HashTest, HashWstr32IsXxh32OfTheUtf8BytesWithTheFixedSeed) {
    for (const TextBytes& t : kTexts) {
        SCOPED_TRACE(t.utf8);
        EXPECT_EQ(hashWstr32(t.text), XXH32(t.utf8.data(), t.utf8.size(), 0x1F972CA6));
    }
}

TEST(HashTest, HashesStopAtTheFirstNul) {
    const std::wstring_view withNul(L"ab\0cd", 5);
    EXPECT_EQ(hashWstr32(withNul), hashWstr32(L"ab"));
    EXPECT_NE(hashWstr32(L"abcd"), hashWstr32(L"ab"));

    XXH64_state_t* state = XXH64_createState();
    XXH64_reset(state, 7);
    hashUpdateWstr64(state, withNul);
    EXPECT_EQ(XXH64_digest(state), XXH64("ab", 2, 7));
    XXH64_freeState(state);
}

TEST(HashTest, HashUpdateWstr64FeedsTheUtf8BytesIntoTheCallersState) {
    const uint64_t seed = 0x46b4dec784d49158;
    XXH64_state_t* state = XXH64_createState();
    XXH64_reset(state, seed);
    std::string all;
    for (const TextBytes& t : kTexts) {
        hashUpdateWstr64(state, t.text);
        all += t.utf8;
    }
    EXPECT_EQ(XXH64_digest(state), XXH64(all.data(), all.size(), seed));
    XXH64_freeState(state);
}

TEST(HashTest, Crc32IsTheStandardCrc) {
    EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32("", 0), 0u);
    EXPECT_EQ(crc32("a", 1), 0xE8B7BE43u);

    std::vector<uint8_t> bytes(1031);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 3));
    for (size_t length : {1u, 2u, 255u, 256u, 1031u}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(crc32(bytes.data(), length), ::crc32(0L, bytes.data(), length));
    }
}

} // namespace
