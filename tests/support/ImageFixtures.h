#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>

// Builders of icon files and images for tests, written byte by byte so that
// a test can also damage them.
namespace qvtest {

inline void putLe16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    out[at] = uint8_t(value);
    out[at + 1] = uint8_t(value >> 8);
}

inline void putLe32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    putLe16(out, at, value & 0xFFFF);
    putLe16(out, at + 2, value >> 16);
}

// An icon image stored as a bitmap: header, palette (bits up to 8: one entry
// per distinct colour, filled up to 2^bits), colour rows bottom-up and the
// mask (set where a pixel's alpha is 0). Pixels are 0xAARRGGBB, top row
// first; alpha bytes are stored only at 32 bits.
inline std::vector<uint8_t> makeDib(int width, int height, int bits,
                                    const std::vector<uint32_t>& pixels, bool withMask = true) {
    const size_t paletteCount = bits <= 8 ? size_t(1) << bits : 0;
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    const size_t maskStride = (size_t(width) + 31) / 32 * 4;
    const size_t pixelsAt = 40 + paletteCount * 4;
    const size_t maskAt = pixelsAt + stride * height;
    std::vector<uint8_t> out(maskAt + (withMask ? maskStride * height : 0));
    putLe32(out, 0, 40);
    putLe32(out, 4, uint32_t(width));
    putLe32(out, 8, uint32_t(height * 2));
    putLe16(out, 12, 1);
    putLe16(out, 14, uint32_t(bits));
    std::vector<uint32_t> palette;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + pixelsAt + size_t(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[size_t(y) * width + x];
            if (bits == 32) {
                putLe32(out, size_t(row - out.data()) + size_t(x) * 4, p);
            } else if (bits == 24) {
                row[x * 3] = uint8_t(p);
                row[x * 3 + 1] = uint8_t(p >> 8);
                row[x * 3 + 2] = uint8_t(p >> 16);
            } else {
                const uint32_t rgb = p & 0xFFFFFF;
                auto at = std::find(palette.begin(), palette.end(), rgb);
                if (at == palette.end())
                    at = palette.insert(palette.end(), rgb);
                const size_t index = size_t(at - palette.begin());
                const size_t bit = size_t(x) * bits;
                row[bit / 8] |= uint8_t(index << (8 - bits - bit % 8));
            }
            if (withMask && (p >> 24) == 0)
                out[maskAt + size_t(height - 1 - y) * maskStride + x / 8] |= uint8_t(0x80 >> x % 8);
        }
    }
    for (size_t i = 0; i < palette.size() && i < paletteCount; ++i)
        putLe32(out, 40 + i * 4, palette[i]);
    return out;
}

// A bitmap icon image of one colour.
inline std::vector<uint8_t> makeDib(int side, int bits, uint32_t argb) {
    return makeDib(side, side, bits, std::vector<uint32_t>(size_t(side) * side, argb));
}

struct IcoEntry {
    std::vector<uint8_t> image;
    uint16_t bitCount = 0; // as the directory entry states it
};

// An icon file (type 1) or cursor (type 2) of the images in order, laid out
// after the directory.
inline std::vector<uint8_t> makeIco(const std::vector<IcoEntry>& entries, uint16_t type = 1) {
    std::vector<uint8_t> out(6 + 16 * entries.size());
    putLe16(out, 2, type);
    putLe16(out, 4, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        putLe16(out, entry + 6, entries[i].bitCount);
        putLe32(out, entry + 8, uint32_t(entries[i].image.size()));
        putLe32(out, entry + 12, uint32_t(out.size()));
        out.insert(out.end(), entries[i].image.begin(), entries[i].image.end());
    }
    return out;
}

inline std::vector<uint8_t> encode(const QImage& image, const char* format = "PNG") {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A PNG of one colour (0xAARRGGBB, straight alpha).
inline std::vector<uint8_t> makePng(int width, int height, uint32_t argb) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(argb);
    return encode(image);
}

inline std::string str(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The stored pixel value, premultiplied or not, as the format keeps it.
inline uint32_t rawPixel(const QImage& image, int x, int y) {
    return reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
}

} // namespace qvtest
