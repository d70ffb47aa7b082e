#include "windows/WndRun.h"

#include "gui/CtrlList.h"
#include "gui/Font.h"
#include "gui/QtText.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "windows/ItemIcons.h"
#include "windows/LaunchBoxHost.h"
#include "windows/WndSatellite.h"

#include <QPainter>

using namespace Gui;

namespace {

constexpr int programIconResource = 101;

QColor colour(const Theme& theme, uint32_t id) {
    return QColor::fromRgba(theme.colours[id]);
}

bool showsTarget(uint32_t category) {
    return category == CatalogItem::keyword || category == CatalogItem::cmdline ||
           category == CatalogItem::url || category == CatalogItem::expression;
}

// Plugins name the items: a label must not rearrange what is drawn around it.
void dropBidiControls(WndRun::RowTexts& texts) {
    for (wstr* text : {&texts.title, &texts.desc})
        std::erase_if(*text, WndRun::isBidiControl);
}

} // namespace

int WndRun::computeItemHeight() {
    const int titleHeight = createThemeFont(ListTitleFont)->height();
    const int smallHeight = createThemeFont(Theme::Small)->height();
    const int pad = listItemPaddingHeight() + scaleY(2);
    if (theme()->compactResults)
        return std::max({titleHeight, smallHeight, scaleY(16)}) + pad;
    return std::max(titleHeight + smallHeight + scaleY(1), scaleY(32)) + pad;
}

bool WndRun::composeRowTexts(int row, RowTexts& texts) {
    texts.title.clear();
    texts.desc.clear();
    texts.tips1.clear();
    texts.tips2.clear();
    texts.pathEllipsis = false;
    if (row < 0)
        return false;
    const int position = row - std::max(list_->topIndex(), 0);
    if (mode_ == ModeActions) {
        if (static_cast<std::size_t>(row) >= actions_.size())
            return false;
        composeActionRow(*actions_[row], position, texts);
        dropBidiControls(texts);
        return true;
    }
    if (static_cast<std::size_t>(row) >= results_->size())
        return false;
    composeResultRow((*results_)[row]->item(), position, texts);
    dropBidiControls(texts);
    return true;
}

void WndRun::composeResultRow(const CatalogItemPtr& itemPtr, int position, RowTexts& texts) {
    const CatalogItem& item = *itemPtr;
    const Theme& t = *theme();
    const bool compact = t.compactResults;
    const CatalogItemPtr first = chain_.empty() ? nullptr : chain_.steps().front()->item;
    if (mode_ == ModeChained && first && first->baseId() == item.baseId()) {
        texts.title = item.displayedArgs();
    } else {
        texts.title = item.label();
        if (!item.displayedArgs().empty())
            texts.title.append(separator_).append(item.displayedArgs());
    }
    if (!item.shortDesc().empty()) {
        texts.desc = item.shortDesc();
    } else if (showsTarget(item.category())) {
        texts.desc = item.target();
    } else if (item.category() == CatalogItem::file) {
        texts.desc = item.target();
        texts.pathEllipsis = true;
    }
    if (compact && !texts.desc.empty())
        texts.desc.insert(0, L" - ");

    const std::size_t actions = (t.layout & Theme::ListActions) && mode_ != ModeActions
                                    ? host_.countItemActions(itemPtr)
                                    : 0;
    const uint64_t hits = (t.layout & Theme::ListHits) ? item.hitCount() : 0;
    const bool dial = (t.layout & Theme::ListDialNum) && position >= 0 && position <= 9;
    const wchar_t digit = position == 9 ? L'0' : wchar_t(L'1' + position);
    if (compact) {
        if (actions > 0)
            wstr::format(texts.tips1, L" >{}", actions);
        if (hits > 0)
            wstr::format(texts.tips1, L" +{}", hits);
        if (dial)
            texts.tips1.append(L" #").push_back(digit);
        return;
    }
    if (actions > 0)
        wstr::format(hits > 0 || dial ? texts.tips2 : texts.tips1, L" {} action{}", actions,
                     actions >= 2 ? L"s" : L"");
    if (hits > 0)
        wstr::format(actions > 0 || !dial ? texts.tips1 : texts.tips2, L" +{}", hits);
    if (dial)
        texts.tips1.append(L" #").push_back(digit);
}

void WndRun::composeActionRow(const CatalogAction& action, int position, RowTexts& texts) {
    texts.title = action.label();
    texts.desc = action.shortDesc();
    if (theme()->compactResults && !texts.desc.empty())
        texts.desc.insert(0, L" - ");
    if ((theme()->layout & Theme::ListDialNum) && position >= 0 && position <= 9) {
        texts.tips1 = L"#";
        texts.tips1.push_back(position == 9 ? L'0' : wchar_t(L'1' + position));
    }
}

void WndRun::onDrawItem(const DrawItemInfo& info) {
    if (!info.painter || !composeRowTexts(info.index, rowTexts_))
        return;
    CatalogItemPtr item;
    if (mode_ != ModeActions)
        item = (*results_)[info.index]->item();
    drawItem(*info.painter, info.rect, info.selected, rowTexts_, item);
}

void WndRun::drawItem(QPainter& painter, const QRect& rect, bool selected, const RowTexts& texts,
                      const CatalogItemPtr& item) {
    const Theme& t = *theme();
    const bool compact = t.compactResults;
    painter.fillRect(rect, colour(t, selected ? Theme::ListItemSelectedBack : Theme::ListItemBack));
    QRect area = rect;
    if (t.layout & Theme::ListSelMark) {
        const int mark = scaleX(2);
        if (selected) {
            const bool error = item && item->category() == CatalogItem::error;
            painter.fillRect(QRect(rect.left(), rect.top(), mark, rect.height()),
                             colour(t, error ? Theme::Warn : Theme::Accent));
        }
        area.setLeft(rect.left() + mark + scaleX(1));
    } else {
        area.setLeft(rect.left() + 1);
    }
    area.adjust(listItemPaddingX(), 0, -listItemPaddingX(), 0);
    if ((t.layout & Theme::ListIcon) && item) {
        const int size = compact ? scaleX(16) : scaleX(32);
        QImage icon = icons_.icon(item, size, false);
        if (icon.isNull())
            icon = programIcon(size);
        const QRect target(area.left(), rect.top() + (rect.height() - size) / 2, size, size);
        painter.drawImage(target, icon);
        area.setLeft(area.left() + size + scaleX(4));
    }
    const Font& titleFont = *createThemeFont(ListTitleFont);
    const Font& smallFont = *createThemeFont(Theme::Small);
    const int titleHeight = titleFont.height();
    const int smallHeight = smallFont.height();
    const int blockHeight = compact ? rect.height() : titleHeight + scaleY(1) + smallHeight;
    const int top = rect.top() + (rect.height() - blockHeight) / 2;
    const QRect line1(area.left(), top, area.width(), compact ? blockHeight : titleHeight);
    const QRect line2(area.left(), top + titleHeight + scaleY(1), area.width(), smallHeight);
    const auto pick = [&](uint32_t normal, uint32_t chosen) {
        return colour(t, selected ? chosen : normal);
    };
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine;

    painter.setFont(*smallFont.handle());
    painter.setPen(pick(Theme::ListItemTips, Theme::ListItemSelectedTips));
    const int tips1 = texts.tips1.empty() ? 0 : smallFont.textWidth(texts.tips1, 0);
    const int tips2 = texts.tips2.empty() ? 0 : smallFont.textWidth(texts.tips2, 0);
    if (tips1 > 0)
        painter.drawText(line1, flags | Qt::AlignRight, toQString(texts.tips1));
    if (tips2 > 0 && !compact)
        painter.drawText(line2, flags | Qt::AlignRight, toQString(texts.tips2));

    painter.setFont(*titleFont.handle());
    painter.setPen(pick(Theme::ListItemTitle, Theme::ListItemSelectedTitle));
    const int titleRoom = std::max(line1.width() - tips1, 0);
    const QString title =
        painter.fontMetrics().elidedText(toQString(texts.title), Qt::ElideRight, titleRoom);
    painter.drawText(QRect(line1.left(), line1.top(), titleRoom, line1.height()),
                     flags | Qt::AlignLeft, title);
    if (texts.desc.empty())
        return;
    const Qt::TextElideMode elide = texts.pathEllipsis ? Qt::ElideMiddle : Qt::ElideRight;
    QRect descRect(line2.left(), line2.top(), std::max(line2.width() - tips2, 0), line2.height());
    if (compact) {
        const int used = std::min(painter.fontMetrics().horizontalAdvance(title), titleRoom);
        descRect =
            QRect(line1.left() + used, line1.top(), std::max(titleRoom - used, 0), line1.height());
    }
    painter.setFont(*smallFont.handle());
    painter.setPen(pick(Theme::ListItemDesc, Theme::ListItemSelectedDesc));
    painter.drawText(
        descRect, flags | Qt::AlignLeft,
        painter.fontMetrics().elidedText(toQString(texts.desc), elide, descRect.width()));
}

QImage WndRun::programIcon(int size) {
    auto found = programIcons_.find(size);
    if (found != programIcons_.end())
        return found->second;
    QImage image = loadIcon(programIconResource, size).pixmap(size, size).toImage();
    programIcons_.emplace(size, image);
    return image;
}

void WndRun::updateIcons() {
    if (!satellite_ || !satelliteShownForMode())
        return;
    CatalogItemPtr item = chain_.empty() || !chain_.steps().back()->item
                              ? selectedItem()
                              : chain_.steps().back()->item;
    QImage image;
    if (item) {
        const int size = scaleX(static_cast<int>(theme()->satelliteSize));
        image = icons_.icon(item, size, true);
        // The program's icon, as the item's row draws it while the item has
        // none of its own.
        if (image.isNull())
            image = programIcon(size);
    }
    // The satellite resizes for every new image: hand it over only on a change.
    const qint64 key = image.isNull() ? 0 : image.cacheKey();
    if (item == satelliteItem_ && key == satelliteImageKey_)
        return;
    satelliteItem_ = item;
    satelliteImageKey_ = key;
    satellite_->showImage(image.isNull() ? nullptr : std::make_shared<const QImage>(image));
}

void WndRun::onIconsChanged() {
    updateIcons();
    if (list_)
        list_->invalidate(nullptr, false);
}
