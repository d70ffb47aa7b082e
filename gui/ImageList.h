#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Mutex.h"
#include "gui/IconTheme.h"
#include "gui/ImageUtil.h"

// One of the system image lists: the desktop's file-type icons at one fixed
// size, drawn from the icon theme. An index names a (theme, icon name)
// pair; the list renders the icon once when the index is first asked for
// and keeps it. The image manager builds one list per size at start and
// after every reset, which makes the indexes of the old lists meaningless.
// Held by shared pointer; any thread (entries are added under its lock).
namespace Gui {

class ImageList {
public:
    // The list numbers: each stands for a nominal size that the display's
    // scale multiplies (small 16, system small 16, large 32, extra large 48,
    // jumbo 256).
    enum Number : int32_t { large = 0, small = 1, extraLarge = 2, systemSmall = 3, jumbo = 4 };

    // Builds the list of that number at its nominal size times scale over
    // the theme. Failures leave the list invalid and are logged at level
    // error: an unknown number as "Failed to get shell's image list #{}
    // (HRESULT 0x80070057)!", a size not above 0 as "Unexpected icon size
    // for the shell's image list #{} ({}x{})!".
    bool init(int32_t number, std::shared_ptr<const IconTheme> theme, double scale);

    bool valid() const { return theme_ != nullptr; }
    int32_t size() const { return size_; }
    const std::shared_ptr<const IconTheme>& theme() const { return theme_; }

    // The index of the first of the names the theme has an icon of, rendered
    // at the list's size; -1 when it has none of them or the icon cannot be
    // read (such a name is remembered as missing). Images thread.
    int32_t indexOf(const std::vector<std::string>& iconNames);

    // The image at index; null for an index the list does not hold.
    Bitmap image(int32_t index) const;

private:
    int32_t add(const std::string& iconName);

    std::shared_ptr<const IconTheme> theme_;
    int32_t size_ = 0;
    mutable Mutex mutex_;
    std::map<std::string, int32_t> indexes_; // -1: the theme has none
    std::vector<Bitmap> images_;
};

} // namespace Gui
