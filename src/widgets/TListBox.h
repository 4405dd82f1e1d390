#pragma once

#include <QListWidget>

// A single-selection list that keeps its selection: once an entry is selected, one always
// is. Ctrl+click or Ctrl+Space on the selected entry, or a click below the last entry,
// leaves it selected.
class TListBox : public QListWidget
{
    Q_OBJECT

public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override
    {
        const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
        if (!index.isValid() || command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
            return QItemSelectionModel::NoUpdate;
        return command;
    }
};
