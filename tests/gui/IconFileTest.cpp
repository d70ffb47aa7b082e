#include "gui/IconFile.h"

#include <gtest/gtest.h>

#include "tests/support/ImageFixtures.h"

using Gui::IconImage;
using qvtest::makeDib;
using qvtest::makeIco;

namespace {

std::vector<uint8_t> pngHeader(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour) {
    std::vector<uint8_t> bytes = {137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(uint8_t(value >> shift));
    bytes.insert(bytes.end(), {depth, colour, 0, 0, 0});
    return bytes;
}

struct PngCase {
    const char* name;
    std::vector<uint8_t> bytes;
    Gui::PngHeader expected;
};

TEST(PngHeader, ColourTypesGiveBitsPerPixel) {
    auto cut = pngHeader(1, 1, 8, 6);
    cut.resize(25);
    auto wrongChunk = pngHeader(1, 1, 8, 6);
    wrongChunk[15] = 'X';
    auto wrongSignature = pngHeader(1, 1, 8, 6);
    wrongSignature[1] = 'Q';
    const PngCase cases[] = {
        {"grey", pngHeader(300, 200, 8, 0), {300, 200, 8}},
        {"rgb", pngHeader(300, 200, 8, 2), {300, 200, 24}},
        {"palette", pngHeader(16, 16, 8, 3), {16, 16, 8}},
        {"grey alpha", pngHeader(16, 16, 8, 4), {16, 16, 16}},
        {"rgba", pngHeader(16, 16, 8, 6), {16, 16, 32}},
        {"rgba 16-bit", pngHeader(16, 16, 16, 6), {16, 16, 64}},
        {"palette 4-bit", pngHeader(16, 16, 4, 3), {16, 16, 4}},
        {"unknown colour type", pngHeader(16, 16, 8, 5), {16, 16, 0}},
        {"big-endian sizes", pngHeader(0x01020304, 0x0A0B, 8, 6), {0x01020304, 0x0A0B, 32}},
        {"25 bytes", cut, {}},
        {"not IHDR", wrongChunk, {}},
        {"no signature", wrongSignature, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto header = Gui::sniffPngHeader(c.bytes);
        EXPECT_EQ(header.width, c.expected.width);
        EXPECT_EQ(header.height, c.expected.height);
        EXPECT_EQ(header.bitsPerPixel, c.expected.bitsPerPixel);
    }
}

// Images of 16, 32 and 48 pixels, each at 8 and then 32 bits per pixel.
std::vector<uint8_t> threeSizesTwoDepths() {
    std::vector<qvtest::IcoEntry> entries;
    for (int side : {16, 32, 48})
        for (int bits : {8, 32})
            entries.push_back({makeDib(side, bits, 0xFF000000u | uint32_t(side)), uint16_t(bits)});
    return makeIco(entries);
}

TEST(IconDirectory, DescribesBitmapAndPngImages) {
    const auto sizes = threeSizesTwoDepths();
    EXPECT_EQ(
        Gui::loadIconDirectory(sizes),
        (std::vector<IconImage>{
            {16, 16, 8}, {16, 16, 32}, {32, 32, 8}, {32, 32, 32}, {48, 48, 8}, {48, 48, 32}}));

    const auto png = pngHeader(300, 200, 8, 2); // 24 bits of its own
    const auto oddPng = pngHeader(20, 20, 8, 5);
    const auto dib = makeDib(4, 32, 0xFF00FF00);
    EXPECT_EQ(Gui::loadIconDirectory(makeIco({{png, 32}, {png, 0}, {oddPng, 0}, {dib, 0}})),
              (std::vector<IconImage>{{300, 200, 32}, {300, 200, 24}, {}, {4, 4, 32}}));
    // A cursor's entry holds its hot spot where an icon's holds the depth.
    EXPECT_EQ(Gui::loadIconDirectory(makeIco({{png, 32}, {dib, 0}}, 2)),
              (std::vector<IconImage>{{300, 200, 24}, {4, 4, 32}}));
}

TEST(IconDirectory, MalformedFilesGiveNoImages) {
    const auto good = makeIco({{makeDib(4, 32, 0xFF0000FF), 32}});
    ASSERT_EQ(good.size(), 6 + 16 + 40 + 16 * 4 + 4 * 4u);
    ASSERT_EQ(Gui::loadIconDirectory(good).size(), 1u);

    auto at77 = good;
    at77.resize(77);
    auto at76 = good;
    at76.resize(76);
    auto type3 = good;
    type3[2] = 3;
    auto reserved = good;
    reserved[1] = 1;
    auto noEntries = good;
    noEntries[4] = 0;
    auto tooManyEntries = good; // the directory would run past the end
    tooManyEntries[4] = 0xFF;
    tooManyEntries[5] = 0xFF;
    auto offsetPastEnd = good;
    qvtest::putLe32(offsetPastEnd, 6 + 12, uint32_t(good.size() - 7));

    EXPECT_EQ(Gui::loadIconDirectory(at77).size(), 1u);
    EXPECT_TRUE(Gui::loadIconDirectory(at76).empty());
    EXPECT_TRUE(Gui::loadIconDirectory(type3).empty());
    EXPECT_TRUE(Gui::loadIconDirectory(reserved).empty());
    EXPECT_TRUE(Gui::loadIconDirectory(noEntries).empty());
    EXPECT_TRUE(Gui::loadIconDirectory(tooManyEntries).empty());
    EXPECT_TRUE(Gui::loadIconDirectory(offsetPastEnd).empty());

    // An image with 8 to 15 bytes left cannot hold the bit count of its
    // header: it is described as nothing rather than read past the end.
    auto headerCut = good;
    qvtest::putLe32(headerCut, 6 + 12, uint32_t(good.size() - 10));
    EXPECT_EQ(Gui::loadIconDirectory(headerCut), std::vector<IconImage>{IconImage{}});
}

TEST(IconDirectory, BestImage) {
    const auto images = Gui::loadIconDirectory(threeSizesTwoDepths());
    struct Case {
        int width, height, expected;
    } cases[] = {
        {32, 32, 3}, // exact, at its highest depth
        {24, 24, 3}, // the first larger image, at its highest depth
        {0, 0, 5},   // the largest
        {16, 0, 1},  // a missing height is the width
        {16, 40, 1}, // the width matches
        {40, 48, 5}, // the height matches
        {64, 64, 5}, // nothing larger: the largest area
        {8, 8, 1},   // everything is larger: the first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        EXPECT_EQ(Gui::bestIconImage(images, c.width, c.height), c.expected);
    }
    EXPECT_EQ(Gui::bestIconImage({}, 32, 32), -1);
    EXPECT_EQ(Gui::bestIconImage({{}, {0, 16, 32}}, 16, 16), 0);
    // An invalid image is passed over even when it would match.
    EXPECT_EQ(Gui::bestIconImage({{16, 16, 0}, {32, 32, 8}}, 16, 16), 1);
    // Equal areas: the deeper image wins.
    EXPECT_EQ(Gui::bestIconImage({{16, 64, 8}, {64, 16, 32}}, 100, 100), 1);
}

TEST(IconDirectory, ImageBytesStayInsideTheFile) {
    const auto dib = makeDib(4, 32, 0xFF0000FF);
    const auto ico = makeIco({{dib, 32}, {dib, 32}});
    const auto second = Gui::iconImageBytes(ico, 1);
    EXPECT_EQ(std::vector<uint8_t>(second.begin(), second.end()), dib);
    EXPECT_TRUE(Gui::iconImageBytes(ico, 2).empty());
    EXPECT_TRUE(Gui::iconImageBytes(ico, -1).empty());

    auto sizePastEnd = ico;
    qvtest::putLe32(sizePastEnd, 6 + 16 + 8, uint32_t(dib.size() + 1));
    EXPECT_TRUE(Gui::iconImageBytes(sizePastEnd, 1).empty());
    auto sizeHuge = ico;
    qvtest::putLe32(sizeHuge, 6 + 16 + 8, 0xFFFFFFFF);
    EXPECT_TRUE(Gui::iconImageBytes(sizeHuge, 1).empty());
    auto sizeZero = ico;
    qvtest::putLe32(sizeZero, 6 + 8, 0);
    EXPECT_TRUE(Gui::iconImageBytes(sizeZero, 0).empty());
}

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> image;
    std::vector<uint32_t> expected; // 2 x 2, top row first
};

TEST(IconBitmap, DecodesEveryDepth) {
    // Top left red, top right transparent, bottom left green, bottom right a
    // half-transparent grey whose colour must stay as stored (straight).
    const std::vector<uint32_t> pixels = {0xFFFF0000, 0x00000000, 0xFF00FF00, 0x640A0A0A};
    const std::vector<uint32_t> opaque = {0xFFFF0000, 0x00000000, 0xFF00FF00, 0xFF0A0A0A};
    const std::vector<uint32_t> mono = {0xFFFFFFFF, 0x00000000, 0xFF000000, 0xFFFFFFFF};
    // All alpha bytes 0: the mask decides, and only the top right is masked.
    auto noAlpha = makeDib(2, 2, 32, {0x00FF0000, 0, 0x0000FF00, 0x000A0A0A});
    noAlpha[noAlpha.size() - 8] = 0x00; // bottom row
    noAlpha[noAlpha.size() - 4] = 0x40; // top row
    std::vector<uint32_t> topDown = {0xFF00FF00, 0x640A0A0A, 0xFFFF0000, 0x00000000};
    auto topDownImage = makeDib(2, 2, 32, pixels);
    qvtest::putLe32(topDownImage, 8, uint32_t(-4));
    auto maskless = makeDib(2, 2, 32, pixels, false);

    const DecodeCase cases[] = {
        {"32 bits with alpha", makeDib(2, 2, 32, pixels), pixels},
        {"32 bits with alpha, no mask", maskless, pixels},
        {"32 bits without alpha", noAlpha, opaque},
        {"24 bits", makeDib(2, 2, 24, pixels), opaque},
        {"8 bits", makeDib(2, 2, 8, pixels), opaque},
        {"4 bits", makeDib(2, 2, 4, pixels), opaque},
        {"1 bit", makeDib(2, 2, 1, mono), mono},
        {"rows stored top-down", topDownImage, topDown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Gui::IconPixels out;
        ASSERT_TRUE(Gui::decodeIconBitmap(c.image, out));
        EXPECT_EQ(out.width, 2);
        EXPECT_EQ(out.height, 2);
        EXPECT_EQ(out.argb, c.expected);
    }
}

TEST(IconBitmap, RefusesMalformedImages) {
    const auto good = makeDib(2, 2, 8, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0});
    auto with = [&](size_t at, uint32_t value, bool wide = true) {
        auto bytes = good;
        wide ? qvtest::putLe32(bytes, at, value) : qvtest::putLe16(bytes, at, value);
        return bytes;
    };
    auto truncated = good;
    truncated.resize(good.size() - 8 - 1); // the colour rows are cut
    auto noMask = good;
    noMask.resize(good.size() - 8);

    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 39)},
        {"colour rows cut", truncated},
        {"mask missing without alpha", noMask},
        {"compressed", with(16, 1)},
        {"16 bits", with(14, 16, false)},
        {"header size below 40", with(0, 12)},
        {"header size past the end", with(0, uint32_t(good.size() + 1))},
        {"width 0", with(4, 0)},
        {"negative width", with(4, uint32_t(-2))},
        {"height 1 (no colour row)", with(8, 1)},
        {"wider than 4096", with(4, 4097)},
        {"more colours than the depth has", with(32, 257)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        Gui::IconPixels out;
        EXPECT_FALSE(Gui::decodeIconBitmap(bytes, out));
    }
    // A 24-bit image that claims a huge palette ahead of its rows.
    Gui::IconPixels out;
    auto bigPalette = makeDib(2, 2, 24, std::vector<uint32_t>(4, 0xFF123456));
    qvtest::putLe32(bigPalette, 32, 0x40000000);
    EXPECT_FALSE(Gui::decodeIconBitmap(bigPalette, out));
    EXPECT_TRUE(out.argb.empty());
}

TEST(IconBitmap, PaletteIndexOutsideThePaletteIsBlack) {
    auto image = makeDib(2, 2, 8, std::vector<uint32_t>(4, 0xFFFFFFFF));
    qvtest::putLe32(image, 32, 1); // one palette entry...
    image.erase(image.begin() + 44, image.begin() + 40 + 256 * 4);
    image[44] = 7; // ...and a pixel that names the eighth
    Gui::IconPixels out;
    ASSERT_TRUE(Gui::decodeIconBitmap(image, out));
    EXPECT_EQ(out.argb, (std::vector<uint32_t>{0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));
}

} // namespace
