#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QImage>

#include "core/Wstr.h"
#include "gui/IconFile.h"
#include "gui/ImageUtil.h"

// Icon locations, "[@]path[,index]" as Sys::parseIconLocation reads them.
// The path names the file that holds the icon group; on this system that is
// an icon file (.ico, .cur), whose one group of images is index 0, or any
// other image file, one image at index 0. Windows executables and libraries
// (.exe, .dll, .cpl, ...) keep their icon groups as resources that mean
// nothing here: they, like every other index, name no group. Paths keep
// their case. Stateless: any thread.
namespace Gui {

// The icon group a location names, read whole from its file.
struct IconGroup {
    bool iconFile = false;
    std::vector<uint8_t> bytes;    // of an icon file: the file
    QImage image;                  // of another image file: the decoded image
    std::vector<IconImage> images; // of an icon file its directory, else the one image
};

// The group of the location, or nothing when its path is empty, the file
// cannot be read (at most 50 MiB), is neither an icon file nor an image, or
// the index is not 0.
std::optional<IconGroup> listIconGroups(const wstr& location);

// The best image of the location's group for width x height, as a bitmap of
// that size (0 x 0: the largest image at its natural size). Null when the
// location names no group or its image cannot be decoded.
Bitmap loadImageFromModule(const wstr& location, int32_t width, int32_t height);

} // namespace Gui
