#pragma once

#include <cstdint>

#include "gui/ImageUtil.h"

namespace Gui {

// An icon whose images another part of the program keeps (a package's
// icon, read from its files): the image manager asks it for a bitmap at the
// size a window draws.
class IconSource {
public:
    virtual ~IconSource() = default;

    // The icon's id: a package icon's id carries its package id in its high
    // 32 bits; 0 for an icon that never yields a bitmap. Any thread.
    virtual uint64_t id() const = 0;
    // A bitmap at size x size pixels (0: its natural size), or null. Images
    // thread and user-interface thread.
    virtual Bitmap getIcon(int32_t size) = 0;
};

} // namespace Gui
