#pragma once

#include "RecoveryRecord.h"

#include <QWidget>

#include <functional>

class ClimateDocument;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class WorldTableModel;

// Every region and season of the document at a glance, in a window of its own beside the main
// one: sorted by any column, filtered by region name as one types, each level coloured by its
// share within its group and each season's shape drawn; edited in place, a block pasted from a
// spreadsheet or copied to one, and compared with another game's file. Every change is a step
// of the document's own undo stack, which the main window shares.
class TWorldTable : public QWidget
{
    Q_OBJECT

public:
    explicit TWorldTable(ClimateDocument &document, QWidget *parent = nullptr);

    WorldTableModel *model() const { return m_model; }
    QTableView *view() const { return m_view; }

    // Asked before any change made here (an edit, a paste, Take theirs, Undo and Redo); false
    // changes nothing. The main window settles what was typed there and not kept.
    void setBeforeChange(const std::function<bool()> &ask);

    // The table's selection as rows of tab-separated values, as a spreadsheet copies them.
    QString selectionText() const;
    // Rows and columns of numbers (tab- or comma-separated) laid over the selection from its
    // top-left cell, as one step; a message for what does not fit, empty when it was applied.
    QString pasteText(const QString &text);
    // The values of another game's file beside this one's (empty path: comparing no more),
    // said under the table with anything reading it did to it; what went wrong, empty when it
    // is compared.
    QString compareWith(const QString &gameFolder);

signals:
    // The user chose a row: the main window shows that region's season.
    void seasonChosen(SeasonKey key);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseOther();
    void takeTheirs();
    void refreshComparison();
    void tell(const QString &message);

    WorldTableModel *m_model;
    QSortFilterProxyModel *m_filter;
    QTableView *m_view;
    QLineEdit *m_region;
    QCheckBox *m_onlyDiffering;
    QPushButton *m_take;
    QLabel *m_differences;
    QLabel *m_message;
    class TNotice *m_notice;
    bool m_sized = false;
    std::function<bool()> m_beforeChange = [] { return true; };
};
