// Feeds arbitrary bytes to the readers of icon files and PNG headers. Every
// field they read must lie inside the data (ASan watches), and what they
// report must hold together: a chosen image exists, image bytes lie inside
// the file, decoded pixels fill their rectangle.
#include "gui/IconFile.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void decode(std::span<const uint8_t> image) {
    Gui::IconPixels pixels;
    if (Gui::decodeIconBitmap(image, pixels))
        check(pixels.width > 0 && pixels.height > 0 &&
              pixels.argb.size() == size_t(pixels.width) * size_t(pixels.height));
    else
        check(pixels.argb.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const Gui::PngHeader png = Gui::sniffPngHeader(bytes);
    check(png.width == 0 || Gui::hasPngSignature(bytes));

    const auto images = Gui::loadIconDirectory(bytes);
    for (int32_t wanted : {0, 1, 16, 32, 256}) {
        const int best = Gui::bestIconImage(images, wanted, wanted);
        check(images.empty() ? best == -1 : best >= 0 && size_t(best) < images.size());
    }
    for (size_t i = 0; i < images.size(); ++i) {
        const auto image = Gui::iconImageBytes(bytes, int(i));
        check(image.empty() ||
              (image.data() >= data && image.data() + image.size() <= data + size));
        decode(image);
    }
    // The input as one bitmap image too, so that the decoder is reached
    // without a valid directory in front.
    decode(bytes);
    return 0;
}
