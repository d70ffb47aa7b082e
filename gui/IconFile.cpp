#include "gui/IconFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Gui {

namespace {

constexpr uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr size_t kPngHeaderSize = 26;
constexpr size_t kMinIconFileSize = 77;
constexpr size_t kDirectoryHeaderSize = 6;
constexpr size_t kEntrySize = 16;
// Enough of a bitmap header to describe the image (its bit count ends at 16).
constexpr size_t kDescribedHeaderSize = 16;
constexpr size_t kBitmapHeaderSize = 40;
constexpr int64_t kMaxSide = 4096;

// Callers check the bounds first.
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

struct DirectoryEntry {
    uint16_t bitCount = 0;
    uint32_t size = 0;
    uint32_t offset = 0;
};

struct Directory {
    bool isIcon = false;
    std::vector<DirectoryEntry> entries;
};

// The directory of an icon file; no entries when anything about it is wrong.
Directory readDirectory(std::span<const uint8_t> data) {
    Directory dir;
    if (data.size() < kMinIconFileSize)
        return dir;
    const uint16_t type = le16(&data[2]);
    const uint16_t count = le16(&data[4]);
    if (le16(&data[0]) != 0 || (type != 1 && type != 2) || count == 0)
        return dir;
    if (kDirectoryHeaderSize + size_t(count) * kEntrySize > data.size())
        return dir;
    dir.isIcon = type == 1;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = &data[kDirectoryHeaderSize + i * kEntrySize];
        DirectoryEntry e{le16(entry + 6), le32(entry + 8), le32(entry + 12)};
        if (uint64_t(e.offset) + 8 > data.size()) {
            dir.entries.clear();
            return dir;
        }
        dir.entries.push_back(e);
    }
    return dir;
}

IconImage describePng(std::span<const uint8_t> image, bool isIcon, uint16_t entryBitCount) {
    const PngHeader png = sniffPngHeader(image);
    const int32_t depth = isIcon && entryBitCount != 0 ? entryBitCount : png.bitsPerPixel;
    if (depth == 0 || png.width == 0)
        return {};
    return {png.width, png.height, depth};
}

IconImage describe(std::span<const uint8_t> data, const Directory& dir, const DirectoryEntry& e) {
    const auto image = data.subspan(e.offset);
    if (hasPngSignature(image))
        return describePng(image, dir.isIcon, e.bitCount);
    if (image.size() < kDescribedHeaderSize)
        return {};
    // Colour and mask rows are stacked, so the header counts each row twice.
    const int64_t stacked = int32_t(le32(&image[8]));
    return {int32_t(le32(&image[4])), int32_t(std::abs(stacked) / 2), le16(&image[14])};
}

// The index of the first valid image that satisfies pred, or -1.
template <typename Pred> int firstValid(const std::vector<IconImage>& images, Pred pred) {
    for (size_t i = 0; i < images.size(); ++i)
        if (images[i].isValid() && pred(images[i]))
            return int(i);
    return -1;
}

int largestArea(const std::vector<IconImage>& images) {
    int best = -1;
    int64_t bestArea = 0;
    for (size_t i = 0; i < images.size(); ++i) {
        const auto& img = images[i];
        if (!img.isValid())
            continue;
        const int64_t area = int64_t(img.width) * img.height;
        if (best < 0 || area > bestArea ||
            (area == bestArea && img.bitsPerPixel > images[best].bitsPerPixel)) {
            best = int(i);
            bestArea = area;
        }
    }
    return best;
}

int32_t largestSide(const std::vector<IconImage>& images) {
    int32_t side = 0;
    for (const auto& img : images)
        if (img.bitsPerPixel > 0)
            side = std::max({side, img.width, img.height});
    return side;
}

// The geometry of an icon bitmap, checked against the bytes it comes in.
struct BitmapLayout {
    int32_t width = 0;
    int32_t height = 0;
    bool topDown = false;
    uint16_t bits = 0;
    const uint8_t* palette = nullptr;
    size_t paletteCount = 0;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    const uint8_t* mask = nullptr; // null when the mask is cut off
    size_t maskStride = 0;
};

bool knownDepth(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

bool readLayout(std::span<const uint8_t> image, BitmapLayout& layout) {
    if (image.size() < kBitmapHeaderSize)
        return false;
    const uint32_t headerSize = le32(&image[0]);
    const int64_t stacked = int32_t(le32(&image[8]));
    const uint32_t colours = le32(&image[32]);
    layout.width = int32_t(le32(&image[4]));
    layout.height = int32_t(std::abs(stacked) / 2);
    layout.topDown = stacked < 0;
    layout.bits = le16(&image[14]);
    if (headerSize < kBitmapHeaderSize || headerSize > image.size() || le32(&image[16]) != 0)
        return false;
    if (!knownDepth(layout.bits) || (layout.bits <= 8 && colours > (1u << layout.bits)))
        return false;
    if (layout.width < 1 || layout.width > kMaxSide || layout.height < 1 ||
        layout.height > kMaxSide)
        return false;
    layout.paletteCount = colours != 0 ? colours : layout.bits <= 8 ? 1u << layout.bits : 0;
    const uint64_t pixelsAt = uint64_t(headerSize) + uint64_t(layout.paletteCount) * 4;
    layout.stride = (size_t(layout.width) * layout.bits + 31) / 32 * 4;
    layout.maskStride = (size_t(layout.width) + 31) / 32 * 4;
    const uint64_t maskAt = pixelsAt + uint64_t(layout.stride) * layout.height;
    if (maskAt > image.size())
        return false;
    layout.palette = image.data() + headerSize;
    layout.pixels = image.data() + pixelsAt;
    if (maskAt + uint64_t(layout.maskStride) * layout.height <= image.size())
        layout.mask = image.data() + maskAt;
    return true;
}

// Rows are stored bottom-up unless the header height is negative.
size_t storedRow(const BitmapLayout& layout, int32_t y) {
    return size_t(layout.topDown ? y : layout.height - 1 - y);
}

uint32_t paletteColour(const BitmapLayout& layout, size_t index) {
    if (index >= layout.paletteCount)
        return 0xFF000000;
    const uint8_t* c = layout.palette + index * 4;
    return 0xFF000000 | uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | c[0];
}

uint32_t colourAt(const BitmapLayout& layout, const uint8_t* row, int32_t x) {
    switch (layout.bits) {
    case 32: {
        const uint8_t* p = row + size_t(x) * 4;
        return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    case 24: {
        const uint8_t* p = row + size_t(x) * 3;
        return 0xFF000000 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    default: {
        const size_t bit = size_t(x) * layout.bits;
        const unsigned shift = 8 - layout.bits - bit % 8;
        return paletteColour(layout, (row[bit / 8] >> shift) & ((1u << layout.bits) - 1));
    }
    }
}

bool hasAlpha(const BitmapLayout& layout) {
    if (layout.bits != 32)
        return false;
    for (int32_t y = 0; y < layout.height; ++y) {
        const uint8_t* row = layout.pixels + size_t(y) * layout.stride;
        for (int32_t x = 0; x < layout.width; ++x)
            if (row[size_t(x) * 4 + 3] != 0)
                return true;
    }
    return false;
}

bool masked(const BitmapLayout& layout, int32_t x, int32_t y) {
    const uint8_t* row = layout.mask + storedRow(layout, y) * layout.maskStride;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

} // namespace

bool hasPngSignature(std::span<const uint8_t> data) {
    return data.size() >= sizeof kPngSignature &&
           std::memcmp(data.data(), kPngSignature, sizeof kPngSignature) == 0;
}

PngHeader sniffPngHeader(std::span<const uint8_t> data) {
    if (data.size() < kPngHeaderSize || !hasPngSignature(data) ||
        std::memcmp(&data[12], "IHDR", 4) != 0)
        return {};
    const int32_t depth = data[24];
    int32_t bits = 0;
    switch (data[25]) {
    case 0: // grey
    case 3: // palette
        bits = depth;
        break;
    case 2: // RGB
        bits = depth * 3;
        break;
    case 4: // grey and alpha
        bits = depth * 2;
        break;
    case 6: // RGBA
        bits = depth * 4;
        break;
    }
    return {int32_t(be32(&data[16])), int32_t(be32(&data[20])), bits};
}

std::vector<IconImage> loadIconDirectory(std::span<const uint8_t> data) {
    const Directory dir = readDirectory(data);
    std::vector<IconImage> images;
    images.reserve(dir.entries.size());
    for (const auto& entry : dir.entries)
        images.push_back(describe(data, dir, entry));
    return images;
}

int bestIconImage(const std::vector<IconImage>& images, int32_t width, int32_t height) {
    if (images.empty())
        return -1;
    if (width < 1)
        width = largestSide(images);
    if (height < 1)
        height = width;
    int chosen = firstValid(
        images, [&](const IconImage& i) { return i.width == width && i.height == height; });
    if (chosen < 0)
        chosen = firstValid(
            images, [&](const IconImage& i) { return i.width == width || i.height == height; });
    if (chosen < 0)
        chosen = firstValid(
            images, [&](const IconImage& i) { return i.width > width || i.height > height; });
    if (chosen < 0)
        chosen = largestArea(images);
    if (chosen < 0)
        return 0;
    const IconImage pick = images[chosen];
    for (size_t i = 0; i < images.size(); ++i) {
        const auto& img = images[i];
        if (img.width == pick.width && img.height == pick.height &&
            img.bitsPerPixel > images[chosen].bitsPerPixel)
            chosen = int(i);
    }
    return chosen;
}

std::span<const uint8_t> iconImageBytes(std::span<const uint8_t> data, int index) {
    const Directory dir = readDirectory(data);
    if (index < 0 || size_t(index) >= dir.entries.size())
        return {};
    const auto& entry = dir.entries[size_t(index)];
    if (entry.size == 0 || uint64_t(entry.offset) + entry.size > data.size())
        return {};
    return data.subspan(entry.offset, entry.size);
}

bool decodeIconBitmap(std::span<const uint8_t> image, IconPixels& out) {
    out = {};
    BitmapLayout layout;
    if (!readLayout(image, layout))
        return false;
    const bool alpha = hasAlpha(layout);
    if (!alpha && !layout.mask)
        return false;
    out.width = layout.width;
    out.height = layout.height;
    out.argb.resize(size_t(layout.width) * size_t(layout.height));
    for (int32_t y = 0; y < layout.height; ++y) {
        const uint8_t* row = layout.pixels + storedRow(layout, y) * layout.stride;
        uint32_t* target = out.argb.data() + size_t(y) * size_t(layout.width);
        for (int32_t x = 0; x < layout.width; ++x) {
            const uint32_t colour = colourAt(layout, row, x);
            if (alpha)
                target[x] = colour;
            else
                target[x] = masked(layout, x, y) ? 0 : colour | 0xFF000000;
        }
    }
    return true;
}

} // namespace Gui
