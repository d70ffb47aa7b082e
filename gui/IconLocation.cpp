#include "gui/IconLocation.h"

#include "core/MappedFile.h"
#include "core/SysShell.h"

namespace Gui {

std::optional<IconGroup> listIconGroups(const wstr& location) {
    const Sys::IconLocation parsed = Sys::parseIconLocation(location);
    if (parsed.path.empty() || parsed.index != 0)
        return std::nullopt;
    IconGroup group;
    group.bytes = MappedFile::readAll(parsed.path);
    group.images = loadIconDirectory(group.bytes);
    group.iconFile = !group.images.empty();
    if (group.iconFile)
        return group;
    group.image = imageFromStream(group.bytes);
    group.bytes.clear();
    if (group.image.isNull())
        return std::nullopt;
    group.images.push_back({group.image.width(), group.image.height(), group.image.depth()});
    return group;
}

Bitmap loadImageFromModule(const wstr& location, int32_t width, int32_t height) {
    const auto group = listIconGroups(location);
    if (!group)
        return nullptr;
    if (!group->iconFile)
        return toBitmap(group->image, width, height);
    return toBitmap(iconFromIcoData(group->bytes, width, height), width, height);
}

} // namespace Gui
