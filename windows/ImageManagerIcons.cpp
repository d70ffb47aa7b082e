#include "windows/ImageManagerIcons.h"

#include "gui/ImageManager.h"

QImage ImageManagerIcons::icon(const CatalogItemPtr& item, int size, bool atFront) {
    Gui::Bitmap bitmap;
    if (!manager_ || !item ||
        manager_->requestIcon(item, size, atFront, &bitmap) != ImageManager::have || !bitmap)
        return {};
    return *bitmap;
}
