#pragma once

#include "windows/ItemIcons.h"

#include <memory>

class ImageManager;

// Item icons from the image manager's caches; a missing icon is queued and
// arrives with App timer 10. User-interface thread.
class ImageManagerIcons : public ItemIcons {
public:
    explicit ImageManagerIcons(std::shared_ptr<ImageManager> manager)
        : manager_(std::move(manager)) {}

    QImage icon(const CatalogItemPtr& item, int size, bool atFront) override;

private:
    std::shared_ptr<ImageManager> manager_;
};
