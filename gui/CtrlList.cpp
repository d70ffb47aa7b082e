#include "gui/CtrlList.h"

#include "gui/WndMessage.h"

#include <QAbstractListModel>
#include <QListView>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace Gui {

class CtrlList::Model : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : rows; }
    QVariant data(const QModelIndex&, int) const override { return {}; }

    void setRows(int count) {
        beginResetModel();
        rows = count;
        endResetModel();
    }

    int rows = 0;
};

// Asks the owner to measure and draw each row.
class CtrlList::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(const CtrlList& list) : list_(list) {}

    // Only the height is the owner's: a row is as wide as the list, whatever
    // width the list has now. A width given here would be kept for every
    // row and outlast a narrower list, which then scrolls sideways and cuts
    // the rows' right ends.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        MeasureItemInfo info{index.row(), option.rect.width(), option.fontMetrics.height()};
        list_.sendToOwner(MeasureItem, 0, reinterpret_cast<intptr_t>(&info));
        return {0, info.height};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        DrawItemInfo info{painter, index.row(), option.rect,
                          (option.state & QStyle::State_Selected) != 0,
                          (option.state & QStyle::State_HasFocus) != 0};
        list_.sendToOwner(DrawItem, 0, reinterpret_cast<intptr_t>(&info));
    }

private:
    const CtrlList& list_;
};

CtrlList::CtrlList(Wnd& parent, ParentListener* listener, uint32_t style)
    : Wnd(parent.instance()), model_(std::make_unique<Model>()),
      delegate_(std::make_unique<Delegate>(*this)) {
    setStyle(StyleWord, style, true);
    auto* list = new QListView(parent.hwnd());
    list->setGeometry(0, 0, 1, 1);
    list->setModel(model_.get());
    list->setItemDelegate(delegate_.get());
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QObject::connect(list->selectionModel(), &QItemSelectionModel::currentChanged, list, [this] {
        if (!changingSelection_)
            notifySelectionChange();
    });
    attach(list, false);
    setParentListener(listener);
    list->show();
}

// The view goes first: it refers to the model and the delegate.
CtrlList::~CtrlList() {
    if (QListView* list = view())
        list->setModel(nullptr);
    close(0);
}

QListView* CtrlList::view() const {
    return qobject_cast<QListView*>(hwnd());
}

void CtrlList::setCount(int count) {
    changingSelection_ = true;
    model_->setRows(std::max(count, 0));
    changingSelection_ = false;
}

int CtrlList::count() const {
    return model_->rows;
}

int CtrlList::currentIndex() const {
    QListView* list = view();
    if (!list || !list->selectionModel()->hasSelection())
        return -1;
    return list->currentIndex().row();
}

void CtrlList::setCurrent(int index) {
    QListView* list = view();
    changingSelection_ = true;
    if (index < 0) {
        list->selectionModel()->clear();
    } else {
        list->selectionModel()->setCurrentIndex(model_->index(index),
                                                QItemSelectionModel::ClearAndSelect);
        list->scrollTo(model_->index(index));
    }
    changingSelection_ = false;
}

bool CtrlList::select(int index, bool force) {
    if (!view())
        return false;
    if (currentIndex() == index && !force)
        return true;
    if (index >= count())
        return false;
    setCurrent(index);
    notifySelectionChange();
    return true;
}

bool CtrlList::setTopIndex(int index) {
    QListView* list = view();
    if (!list || index < 0 || index >= count())
        return false;
    list->scrollTo(model_->index(index), QAbstractItemView::PositionAtTop);
    return true;
}

int CtrlList::topIndex() const {
    QListView* list = view();
    return list ? list->indexAt(QPoint(0, 0)).row() : -1;
}

int CtrlList::moveTarget(int count, int current, bool down, int step, bool wrap) {
    if (current < 0)
        return 0;
    const int64_t last = count - 1;
    int64_t target = down ? int64_t(current) + step : int64_t(current) - step;
    if (target < 0)
        target = wrap && current == 0 ? last : 0;
    else if (target > last)
        target = wrap && current == last ? 0 : last;
    return static_cast<int>(target);
}

void CtrlList::moveSelection(bool down, int step, bool wrap) {
    const int rows = count();
    if (rows < 1 || !view())
        return;
    const int current = currentIndex();
    const int target = moveTarget(rows, current, down, step, wrap);
    if (target == current)
        return;
    setCurrent(target);
    notifySelectionChange();
}

void CtrlList::notifySelectionChange() {
    if (!exists() || !hasStyle(StyleWord, ListNotify))
        return;
    sendToOwner(Command, uintptr_t(ListSelChange) << 16, reinterpret_cast<intptr_t>(hwnd()));
}

void CtrlList::invalidate(const QRect* rect, bool) {
    QListView* list = view();
    if (!list)
        return;
    QWidget* rows = list->viewport();
    if (rect)
        rows->update(rect->translated(-rows->pos()));
    else
        rows->update();
}

void CtrlList::update() {
    if (QListView* list = view())
        list->viewport()->repaint();
}

intptr_t CtrlList::sendToOwner(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
    QWidget* list = hwnd();
    Wnd* owner = list ? fromHandle(list->parentWidget()) : nullptr;
    return owner ? owner->sendMessage(message, wParam, lParam) : 0;
}

} // namespace Gui
