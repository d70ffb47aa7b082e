#include "windows/ItemDrag.h"

#include "gui/QtText.h"

#include <QDrag>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

bool ItemDrag::isDraggable(const CatalogItem& item) {
    switch (item.category()) {
    case CatalogItem::error:
    case CatalogItem::keyword:
    case CatalogItem::file:
    case CatalogItem::cmdline:
    case CatalogItem::url:
    case CatalogItem::expression:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<QMimeData> ItemDrag::payload(const CatalogItem& item) {
    if (!isDraggable(item) || item.target().empty())
        return nullptr;
    const QString target = Gui::toQString(item.target());
    auto data = std::make_unique<QMimeData>();
    if (item.category() != CatalogItem::file) {
        data->setText(target);
        return data;
    }
    // A file that is not there cannot be handed to another program.
    const QFileInfo file(target);
    if (!file.isAbsolute() || !file.exists())
        return nullptr;
    data->setUrls({QUrl::fromLocalFile(target)});
    return data;
}

Qt::DropActions ItemDrag::allowedActions(const CatalogItem& item) {
    if (item.category() == CatalogItem::file)
        return Qt::CopyAction | Qt::LinkAction;
    return Qt::CopyAction;
}

Qt::DropAction ItemDrag::start(QWidget* source, const CatalogItemPtr& item) {
    if (!source || !item)
        return Qt::IgnoreAction;
    std::unique_ptr<QMimeData> data = payload(*item);
    if (!data)
        return Qt::IgnoreAction;
    // Qt deletes the drag once it ends; the drag owns the payload.
    auto* drag = new QDrag(source);
    drag->setMimeData(data.release());
    return drag->exec(allowedActions(*item), Qt::CopyAction);
}
