#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Readers of icon files (.ico, .cur) and PNG headers held in memory. Every
// field is read only after checking that it lies inside the data: malformed
// or truncated input yields "no image", never a read past the end. Plain C++
// without Qt, so that the parsers can be fuzzed on their own. Stateless: any
// thread.
namespace Gui {

// One image of an icon file, as its directory and image header describe it.
// All fields 0 for an image that cannot be described.
struct IconImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;

    bool isValid() const { return width > 0 && height > 0 && bitsPerPixel > 0; }
    bool operator==(const IconImage&) const = default;
};

// The facts of a PNG's IHDR chunk; all 0 when the data is not a PNG.
struct PngHeader {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0; // 0 for an unknown colour type
};

// True when the data starts with the 8-byte PNG signature.
bool hasPngSignature(std::span<const uint8_t> data);

// The header of a PNG: at least 26 bytes, the signature, "IHDR" at offset 12,
// big-endian width and height at 16 and 20, bit depth at 24, colour type at
// 25. Bits per pixel: grey and palette the depth, RGB three times, grey with
// alpha twice, RGBA four times the depth; other colour types 0.
PngHeader sniffPngHeader(std::span<const uint8_t> data);

// The images of an icon file in directory order; empty unless the data is at
// least 77 bytes, starts with reserved word 0, type 1 (icon) or 2 (cursor)
// and a non-zero count, holds every 16-byte directory entry, and every
// image starts at least 8 bytes before the end. A PNG image is described by
// its header (the depth of an icon's entry, when not 0, standing for the
// PNG's); any other image by its bitmap header, whose height counts the
// colour and the mask rows. An image whose header is cut off is all 0.
std::vector<IconImage> loadIconDirectory(std::span<const uint8_t> data);

// The index of the image that best fits wanted width x height (below 1: the
// largest image; a height below 1 is the width): the first exact match, else
// the first matching either dimension, else the first larger in either,
// else the largest area (the deeper on a tie); then, among the images of
// that width and height, the first of the highest depth. Invalid images are
// never chosen unless none is valid (then 0). -1 for no images.
int bestIconImage(const std::vector<IconImage>& images, int32_t width, int32_t height);

// The bytes of the image at index of an icon file: empty when the index or
// the directory is invalid, or when the entry's size is 0 or runs past the
// end of the data.
std::span<const uint8_t> iconImageBytes(std::span<const uint8_t> data, int index);

// The pixels of one icon image stored as a bitmap: straight (not
// premultiplied) alpha, 0xAARRGGBB, top row first.
struct IconPixels {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> argb;
};

// Decodes an icon image stored as a bitmap (uncompressed, 1, 4, 8, 24 or 32
// bits per pixel, followed by its 1-bit mask). A 32-bit image whose alpha
// bytes are not all 0 takes its alpha from them (its mask may be missing);
// otherwise the mask decides: set bits are transparent. False for anything
// malformed, cut off, compressed, or larger than 4096 pixels either way.
bool decodeIconBitmap(std::span<const uint8_t> image, IconPixels& out);

} // namespace Gui
