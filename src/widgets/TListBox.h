#pragma once

#include <QListView>
#include <QStyledItemDelegate>

// A single-selection list of texts over a model, with rows of one height, that keeps its
// selection: once an entry is selected, one always is. Ctrl+click or Ctrl+Space on the
// selected entry, or a click below the last entry, leaves it selected. currentRowChanged()
// tells of every change of the current row, by the user or by code.
class TListBox : public QListView
{
    Q_OBJECT

public:
    explicit TListBox(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void setItemHeight(int height) { m_delegate.height = height; }
    int count() const { return model() ? model()->rowCount() : 0; }
    int currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }
    void setCurrentRow(int row);

signals:
    void currentRowChanged(int row);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override
    {
        QListView::focusOutEvent(event);
        viewport()->update();
    }
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    // Rows of one height; the selected row in the full highlight only while the list has the
    // focus, so that the eye sees where the keys go.
    struct RowDelegate : QStyledItemDelegate
    {
        using QStyledItemDelegate::QStyledItemDelegate;
        QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
        {
            const QSize size = QStyledItemDelegate::sizeHint(option, index);
            return height > 0 ? QSize(size.width(), height) : size;
        }
        void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
        {
            QStyledItemDelegate::initStyleOption(option, index);
            if (option->widget && !option->widget->hasFocus()) {
                option->palette.setColor(QPalette::Highlight, option->palette.color(QPalette::Midlight));
                option->palette.setColor(QPalette::HighlightedText, option->palette.color(QPalette::Text));
            }
        }
        int height = 0;
    };
    RowDelegate m_delegate;
};

// Tells a screen reader the view's current item again once the view has taken the focus (the
// view's own focus is told after its item's, and would be the last word otherwise).
void tellCurrentItemAfterFocus(QAbstractItemView *view);
