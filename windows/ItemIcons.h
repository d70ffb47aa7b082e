#pragma once

#include "catalog/CatalogItem.h"

#include <QImage>

// How the LaunchBox rows and the satellite get item icons: from a cache that
// answers at once, asking for the icon in the background when it has none
// (the application then sets timer 10 and the LaunchBox asks again).
// User-interface thread.
class ItemIcons {
public:
    virtual ~ItemIcons() = default;
    // The icon at the pixel size, or a null image while there is none yet;
    // atFront puts the request before the others.
    virtual QImage icon(const CatalogItemPtr& item, int size, bool atFront) = 0;
};

// Until an icon service is installed: every row draws the program icon.
class NoItemIcons : public ItemIcons {
public:
    QImage icon(const CatalogItemPtr&, int, bool) override { return {}; }
};
