#pragma once

#include "catalog/CatalogItem.h"

#include <QMimeData>
#include <Qt>

#include <memory>

class QWidget;

// Dragging a result item out of the LaunchBox onto another application: a
// file item travels as the file itself (its URI, copied or linked), any other
// item as its target text (copied). The drag runs modally on the
// user-interface thread; Esc cancels it, releasing the mouse buttons drops.
class ItemDrag {
public:
    // Whether a row of that item arms a drag: every category but reference.
    static bool isDraggable(const CatalogItem& item);
    // What the drag carries: text/uri-list with the file's URI for a file
    // item, text/plain with the target for the others. Null when there is
    // nothing to drag (not draggable, an empty target, a file item whose
    // file does not exist).
    static std::unique_ptr<QMimeData> payload(const CatalogItem& item);
    // Copy and link for a file item, copy alone for the others.
    static Qt::DropActions allowedActions(const CatalogItem& item);
    // Drags the item from source until it is dropped or cancelled; the
    // action the target took, Qt::IgnoreAction when nothing was dropped or
    // there was nothing to drag.
    static Qt::DropAction start(QWidget* source, const CatalogItemPtr& item);
};
