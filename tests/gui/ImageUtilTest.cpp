#include "gui/ImageUtil.h"

#include <fstream>

#include <QPainter>
#include <gtest/gtest.h>

#include "tests/support/ImageFixtures.h"
#include "tests/support/TempDir.h"

using qvtest::makeDib;
using qvtest::makeIco;
using qvtest::makePng;
using qvtest::rawPixel;

namespace {

wstr wide(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.c_str());
}

QImage filled(int width, int height, uint32_t argb, QImage::Format format) {
    QImage image(width, height, format);
    image.fill(argb);
    return image;
}

TEST(Premultiply, ScalesColoursByAlphaRoundingDown) {
    struct Case {
        uint32_t in, out;
    } cases[] = {
        {0x800080FF, 0x80004080}, // B 255, G 128, R 0, A 128 -> 128, 64, 0
        {0x640A0AC8, 0x6403034E}, // B 200, G 10, R 10, A 100
        {0xFF123456, 0xFF123456}, // opaque: unchanged
        {0x00FFFFFF, 0x00000000}, // transparent: no colour left to add when drawn
        {0x01FFFFFF, 0x01010101},
    };
    for (const auto& c : cases) {
        uint32_t pixel = c.in;
        Gui::premultiplyAlpha(&pixel, 1);
        EXPECT_EQ(pixel, c.out) << std::hex << c.in;
    }
}

TEST(ToBitmap, PremultipliesOnlyStraightPixels) {
    // A straight-alpha icon pixel whose colours lie below its alpha looks
    // premultiplied, but is not: it must still be premultiplied once, and a
    // premultiplied one must not be touched again.
    const auto fromStraight = Gui::toBitmap(filled(1, 1, 0x640A0A0A, QImage::Format_ARGB32), 0, 0);
    const auto fromPremultiplied =
        Gui::toBitmap(filled(1, 1, 0x64030303, QImage::Format_ARGB32_Premultiplied), 0, 0);
    const auto fromOpaque = Gui::toBitmap(filled(1, 1, 0xFF0A0B0C, QImage::Format_RGB32), 0, 0);
    for (const auto& bitmap : {fromStraight, fromPremultiplied, fromOpaque}) {
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->format(), QImage::Format_ARGB32_Premultiplied);
    }
    EXPECT_EQ(rawPixel(*fromStraight, 0, 0), 0x64030303u);
    EXPECT_EQ(rawPixel(*fromPremultiplied, 0, 0), 0x64030303u);
    EXPECT_EQ(rawPixel(*fromOpaque, 0, 0), 0xFF0A0B0Cu);
    EXPECT_FALSE(Gui::toBitmap(QImage(), 16, 16));
}

TEST(ToBitmap, SizeRules) {
    const QImage image = filled(30, 20, 0xFF00FF00, QImage::Format_ARGB32);
    struct Case {
        int width, height;
        QSize expected;
    } cases[] = {
        {0, 0, {30, 20}}, {16, 0, {16, 16}}, {0, 10, {30, 10}}, {8, 4, {8, 4}}, {-1, -1, {30, 20}},
    };
    for (const auto& c : cases) {
        const auto bitmap = Gui::toBitmap(image, c.width, c.height);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->size(), c.expected) << c.width << "x" << c.height;
    }
}

TEST(ToBitmap, ScalingLetsNoTransparentColourBleedIn) {
    // Opaque red beside transparent green (straight). Scaled straight, the
    // green would tint the edge; scaled premultiplied, it has no weight.
    QImage image(2, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, 0xFFFF0000);
    image.setPixel(0, 1, 0xFFFF0000);
    image.setPixel(1, 0, 0x0000FF00);
    image.setPixel(1, 1, 0x0000FF00);
    const auto bitmap = Gui::toBitmap(image, 8, 8);
    ASSERT_TRUE(bitmap);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(rawPixel(*bitmap, x, y) & 0x0000FF00, 0u) << x << "," << y;
}

TEST(ScaleBitmap, SharesWhenNothingChangesAndLeavesTheSourceAlone) {
    const auto source = Gui::toBitmap(filled(4, 4, 0xFF0000FF, QImage::Format_ARGB32), 0, 0);
    EXPECT_EQ(Gui::scaleBitmap(source, 4, 4), source);
    EXPECT_EQ(Gui::scaleBitmap(source, 0, 0), source);
    const auto larger = Gui::scaleBitmap(source, 16, 0);
    ASSERT_TRUE(larger);
    EXPECT_EQ(larger->size(), QSize(16, 16));
    EXPECT_EQ(larger->format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(rawPixel(*larger, 8, 8), 0xFF0000FFu);
    EXPECT_EQ(source->size(), QSize(4, 4));
    EXPECT_FALSE(Gui::scaleBitmap(nullptr, 4, 4));
}

TEST(ImageFromStream, DecodesByContent) {
    EXPECT_EQ(Gui::imageFromStream(makePng(3, 2, 0xFF112233)).size(), QSize(3, 2));
    const QImage bmp = filled(5, 5, 0xFF445566, QImage::Format_RGB32);
    EXPECT_EQ(Gui::imageFromStream(qvtest::encode(bmp, "BMP")).pixel(2, 2), 0xFF445566u);
    const std::string text = "not an image at all";
    EXPECT_TRUE(Gui::imageFromStream({reinterpret_cast<const uint8_t*>(text.data()), text.size()})
                    .isNull());
    EXPECT_TRUE(Gui::imageFromStream({}).isNull());
    auto cut = makePng(16, 16, 0xFF112233);
    cut.resize(40);
    EXPECT_TRUE(Gui::imageFromStream(cut).isNull());
}

TEST(ImageFile, LoadsAtTheAskedSize) {
    qvtest::TempDir dir;
    const auto path = dir.write("Pictures/Logo.PNG", qvtest::str(makePng(24, 12, 0xFF00FF00)));
    const auto natural = Gui::loadImageFile(wide(path), 0, 0);
    ASSERT_TRUE(natural);
    EXPECT_EQ(natural->size(), QSize(24, 12));
    const auto icon = Gui::loadImageFile(wide(path), 16, 16);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), QSize(16, 16));
    EXPECT_FALSE(Gui::loadImageFile(wide(dir.path() / "pictures/logo.png"), 0, 0));
    EXPECT_FALSE(Gui::loadImageFile(wide(dir.path()), 0, 0));
}

// 16-pixel red, 32-pixel green and 48-pixel blue images, the first two as
// bitmaps and the last as a PNG.
std::vector<uint8_t> threeColourIcon() {
    return makeIco({{makeDib(16, 32, 0xFFFF0000), 32},
                    {makeDib(32, 8, 0xFF00FF00), 8},
                    {makePng(48, 48, 0xFF0000FF), 32}});
}

TEST(IconFromIcoData, PicksTheBestImageAtItsOwnSize) {
    const auto ico = threeColourIcon();
    struct Case {
        int wanted;
        int side;
        uint32_t colour;
    } cases[] = {{16, 16, 0xFFFF0000}, {32, 32, 0xFF00FF00}, {24, 32, 0xFF00FF00},
                 {0, 48, 0xFF0000FF},  {40, 48, 0xFF0000FF}, {64, 48, 0xFF0000FF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        const QImage image = Gui::iconFromIcoData(ico, c.wanted, c.wanted);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(c.side, c.side));
        EXPECT_EQ(image.pixel(c.side / 2, c.side / 2), c.colour);
    }
}

TEST(IconFromIcoData, MalformedDataGivesNoImage) {
    auto sizePastEnd = threeColourIcon();
    qvtest::putLe32(sizePastEnd, 6 + 16 + 8, 0x7FFFFFFF);
    EXPECT_TRUE(Gui::iconFromIcoData(sizePastEnd, 32, 32).isNull());
    auto damagedHeader = threeColourIcon();
    const uint32_t secondImage = 6 + 3 * 16 + uint32_t(makeDib(16, 32, 0).size());
    qvtest::putLe32(damagedHeader, secondImage + 16, 3); // compressed
    EXPECT_TRUE(Gui::iconFromIcoData(damagedHeader, 32, 32).isNull());
    EXPECT_TRUE(Gui::iconFromIcoData({}, 32, 32).isNull());
}

class AlphaBlend : public ::testing::Test {
protected:
    QImage target = filled(4, 4, 0, QImage::Format_ARGB32_Premultiplied);
    Gui::Bitmap red = Gui::toBitmap(filled(2, 2, 0xFFFF0000, QImage::Format_ARGB32), 0, 0);
};

TEST_F(AlphaBlend, DrawsAtFullOrHalfOpacityWithoutStretching) {
    {
        QPainter painter(&target);
        EXPECT_TRUE(Gui::alphaBlendBitmap(red, painter, 0, 0, 0, 0, 0));
        EXPECT_TRUE(Gui::alphaBlendBitmap(red, painter, 2, 2, 2, 2, Gui::kBlendHalfOpacity));
        EXPECT_TRUE(Gui::alphaBlendBitmap(red, painter, 2, 0, 1, 1, 0));
    }
    EXPECT_EQ(rawPixel(target, 1, 1), 0xFFFF0000u);
    const uint32_t half = rawPixel(target, 3, 3);
    EXPECT_NEAR(half >> 24, 128, 1);
    EXPECT_EQ(half >> 16 & 0xFF, half >> 24);
    EXPECT_EQ(half & 0xFFFF, 0u);
    EXPECT_EQ(rawPixel(target, 2, 0), 0xFFFF0000u);
    EXPECT_EQ(rawPixel(target, 3, 0), 0u); // only one pixel asked for
    EXPECT_EQ(rawPixel(target, 0, 3), 0u);
}

TEST_F(AlphaBlend, RefusesWhatItCannotDraw) {
    QPainter inactive;
    EXPECT_FALSE(Gui::alphaBlendBitmap(red, inactive, 0, 0, 0, 0, 0));
    QPainter painter(&target);
    EXPECT_FALSE(Gui::alphaBlendBitmap(nullptr, painter, 0, 0, 0, 0, 0));
    EXPECT_FALSE(Gui::alphaBlendBitmap(red, painter, 0, 0, 3, 3, 0));
    painter.end();
    EXPECT_EQ(rawPixel(target, 0, 0), 0u);
}

} // namespace
