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

// The selected row shows whether the keys come here. A screen reader hears the list take the
// focus after its current entry did (the list's own focus is told last): the entry is told
// again once that is done, so that what it speaks last is the entry the arrows move from.
void TListBox::focusInEvent(QFocusEvent *event)
{
    QListView::focusInEvent(event);
    viewport()->update();
    QTimer::singleShot(0, this, [this] {
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(this);
        QAccessibleTableInterface *table = list ? list->tableInterface() : nullptr;
        QAccessibleInterface *entry = table && currentRow() >= 0 ? table->cellAt(currentRow(), 0) : nullptr;
        if (!hasFocus() || !entry)
            return;
        QAccessibleEvent focused(this, QAccessible::Focus);
        focused.setChild(list->indexOfChild(entry));
        QAccessible::updateAccessibility(&focused);
    });
}
