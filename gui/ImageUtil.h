#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include <QImage>

#include "core/Wstr.h"

class QPainter;

// The program's one currency for pictures: decoded images of any source
// become bitmaps ready to be drawn with per-pixel alpha. QImage needs no
// display, so none of this needs an application object. Nothing here logs;
// every failure yields a null result. A width or height of 0 means the
// image's natural size throughout. Stateless: any thread (the images thread
// and the user-interface thread).
namespace Gui {

// A drawable bitmap: a QImage in premultiplied ARGB32, never null when the
// pointer is set. Shared and immutable, so that a bitmap a drawing thread
// holds stays valid when a cache replaces or drops its own reference.
using Bitmap = std::shared_ptr<const QImage>;

// Decodes an image in any format Qt reads (PNG, BMP, ICO, JPEG, GIF, ...),
// found from its content. A null image when the bytes are no image.
QImage imageFromStream(std::span<const uint8_t> bytes);

// The same for a whole file of at most 50 MiB.
QImage imageFromFile(const wstr& path);

// The best image of an icon file in memory for width x height (0 x 0: the
// largest), at its own size, with straight alpha. Null when the file or that
// image is malformed.
QImage iconFromIcoData(std::span<const uint8_t> bytes, int32_t width, int32_t height);

// Premultiplies 0xAARRGGBB pixels in place: each colour becomes
// colour x alpha / 255 (rounded down), so pixels with alpha 0 become 0.
void premultiplyAlpha(uint32_t* pixels, size_t count);

// The image as a bitmap of width x height: a missing height is the width, a
// missing width the image's own (both missing: the natural size). Straight
// alpha is premultiplied first and the scaling done on premultiplied pixels,
// so no transparent colour bleeds into the edges. Null for a null image.
Bitmap toBitmap(const QImage& image, int32_t width, int32_t height);

// The bitmap scaled to width x height (sizes as toBitmap); the same bitmap
// when it has that size already. Null for a null bitmap.
Bitmap scaleBitmap(const Bitmap& bitmap, int32_t width, int32_t height);

// imageFromFile, then toBitmap.
Bitmap loadImageFile(const wstr& path, int32_t width, int32_t height);

// Flag of alphaBlendBitmap: draw at half opacity.
inline constexpr uint32_t kBlendHalfOpacity = 1;

// Draws width x height pixels of the bitmap's top-left corner at (x, y) with
// its per-pixel alpha and no stretching (a width or height not above 0: the
// bitmap's own), at half opacity with kBlendHalfOpacity. False, drawing
// nothing, for a null bitmap, an inactive painter or a region larger than
// the bitmap. Thread that owns the painter's device.
bool alphaBlendBitmap(const Bitmap& bitmap, QPainter& painter, int32_t x, int32_t y, int32_t width,
                      int32_t height, uint32_t flags);

} // namespace Gui
