#include "TListBox.h"

#include <QAccessible>
#include <QTimer>

TListBox::TListBox(QWidget *parent)
    : QListView(parent)
{
    setItemDelegate(&m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TListBox::setModel(QAbstractItemModel *model)
{
    QListView::setModel(model);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { emit currentRowChanged(current.isValid() ? current.row() : -1); });
}

void TListBox::setCurrentRow(int row)
{
    if (model())
        setCurrentIndex(model()->index(row, 0));
}

QItemSelectionModel::SelectionFlags TListBox::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListView::selectionCommand(index, event);
    if (!index.isValid() || command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return command;
}

// The selected row shows whether the keys come here, and a screen reader hears the entry the
// arrows move from last.
void TListBox::focusInEvent(QFocusEvent *event)
{
    QListView::focusInEvent(event);
    viewport()->update();
    tellCurrentItemAfterFocus(this);
}

// A screen reader hears a view take the focus after its current item did (the view's own focus
// is told last): the item is told again once that is done.
void tellCurrentItemAfterFocus(QAbstractItemView *view)
{
    QTimer::singleShot(0, view, [view] {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
        QAccessibleTableInterface *table = iface ? iface->tableInterface() : nullptr;
        const QModelIndex current = view->currentIndex();
        QAccessibleInterface *item = table && current.isValid() ? table->cellAt(current.row(), current.column()) : nullptr;
        if (!view->hasFocus() || !item)
            return;
        QAccessibleEvent focused(view, QAccessible::Focus);
        focused.setChild(iface->indexOfChild(item));
        QAccessible::updateAccessibility(&focused);
    });
}
