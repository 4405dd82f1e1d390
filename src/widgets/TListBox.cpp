#include "TListBox.h"

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
