#include "gui/ImageUtil.h"

#include <climits>
#include <cstring>

#include <QPainter>

#include "core/MappedFile.h"
#include "gui/IconFile.h"

namespace Gui {

namespace {

QImage fromIconPixels(const IconPixels& pixels) {
    QImage image(pixels.width, pixels.height, QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    const size_t rowBytes = size_t(pixels.width) * sizeof(uint32_t);
    for (int32_t y = 0; y < pixels.height; ++y)
        std::memcpy(image.scanLine(y), pixels.argb.data() + size_t(y) * size_t(pixels.width),
                    rowBytes);
    return image;
}

// The image in premultiplied ARGB32. Only straight pixels are premultiplied
// here; images that are premultiplied already are at most repacked.
QImage premultiplied(const QImage& image) {
    if (image.pixelFormat().premultiplied() == QPixelFormat::Premultiplied)
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    if (straight.isNull())
        return straight;
    // ARGB32 rows are whole 32-bit words, so the pixels are contiguous.
    premultiplyAlpha(reinterpret_cast<uint32_t*>(straight.bits()),
                     size_t(straight.sizeInBytes()) / sizeof(uint32_t));
    straight.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return straight;
}

QSize targetSize(const QSize& natural, int32_t width, int32_t height) {
    if (height < 1)
        height = width > 0 ? width : natural.height();
    if (width < 1)
        width = natural.width();
    return {width, height};
}

Bitmap share(QImage image) {
    if (image.isNull())
        return nullptr;
    return std::make_shared<const QImage>(std::move(image));
}

// A premultiplied image at width x height, scaled smoothly when it differs.
QImage scaledTo(const QImage& image, int32_t width, int32_t height) {
    const QSize size = targetSize(image.size(), width, height);
    if (size == image.size())
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

QImage imageFromStream(std::span<const uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > size_t(INT_MAX))
        return {};
    return QImage::fromData(bytes.data(), int(bytes.size()));
}

QImage imageFromFile(const wstr& path) {
    return imageFromStream(MappedFile::readAll(path));
}

QImage iconFromIcoData(std::span<const uint8_t> bytes, int32_t width, int32_t height) {
    const int index = bestIconImage(loadIconDirectory(bytes), width, height);
    const auto image = iconImageBytes(bytes, index);
    if (image.empty())
        return {};
    if (hasPngSignature(image))
        return imageFromStream(image);
    IconPixels pixels;
    if (!decodeIconBitmap(image, pixels))
        return {};
    return fromIconPixels(pixels);
}

void premultiplyAlpha(uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        const uint32_t a = p >> 24;
        if (a == 0) {
            // Drawing adds a premultiplied colour whatever its alpha, so a
            // transparent pixel must carry none.
            pixels[i] = 0;
            continue;
        }
        const uint32_t r = (p >> 16 & 0xFF) * a / 255;
        const uint32_t g = (p >> 8 & 0xFF) * a / 255;
        const uint32_t b = (p & 0xFF) * a / 255;
        pixels[i] = a << 24 | r << 16 | g << 8 | b;
    }
}

Bitmap toBitmap(const QImage& image, int32_t width, int32_t height) {
    if (image.isNull())
        return nullptr;
    const QImage bitmap = premultiplied(image);
    if (bitmap.isNull())
        return nullptr;
    return share(scaledTo(bitmap, width, height));
}

Bitmap scaleBitmap(const Bitmap& bitmap, int32_t width, int32_t height) {
    if (!bitmap)
        return nullptr;
    if (targetSize(bitmap->size(), width, height) == bitmap->size())
        return bitmap;
    return share(scaledTo(*bitmap, width, height));
}

Bitmap loadImageFile(const wstr& path, int32_t width, int32_t height) {
    return toBitmap(imageFromFile(path), width, height);
}

bool alphaBlendBitmap(const Bitmap& bitmap, QPainter& painter, int32_t x, int32_t y, int32_t width,
                      int32_t height, uint32_t flags) {
    if (!bitmap || !painter.isActive())
        return false;
    if (width <= 0 || height <= 0) {
        width = bitmap->width();
        height = bitmap->height();
    }
    if (width > bitmap->width() || height > bitmap->height())
        return false;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity((flags & kBlendHalfOpacity) ? 128.0 / 255.0 : 1.0);
    painter.drawImage(QPoint(x, y), *bitmap, QRect(0, 0, width, height));
    painter.restore();
    return true;
}

} // namespace Gui
