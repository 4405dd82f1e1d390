#pragma once

#include "RecoveryRecord.h"
#include "RegionTable.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <vector>

class ClimateDocument;

// The whole table of a document as a spreadsheet shows it: one row per used region and season,
// the seasons of a region together, in slot order; the columns of the export (Slot, Region,
// Season, Start day, the seventeen levels), then the season's shape (its three distributions).
// Values are edited with the editors' rules, each edit one step of the document's undo stack;
// compared with another table, the cells that differ carry the other's value.
class WorldTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { SlotColumn, RegionColumn, SeasonColumn, FirstValueColumn, ShapeColumn = FirstValueColumn + kValueCount };
    enum Role {
        NumberRole = Qt::UserRole + 1, // the value as a number (absent for a text no number)
        TheirsRole,                    // the other table's value text where it differs
        ShapeRole,                     // the three groups' values, for the shape column
        KeyRole,                       // the row's SeasonKey
    };

    explicit WorldTableModel(ClimateDocument &document, QObject *parent = nullptr);
    ~WorldTableModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    SeasonKey keyAt(int row) const { return m_rows.at(std::size_t(row)); }
    int rowOf(SeasonKey key) const;
    static int valueOf(int column) { return column - FirstValueColumn; }

    // Numbers for cells (row, column) of value columns, each clamped into its bounds, as one
    // step named what. How many seasons changed.
    struct CellNumber
    {
        int row;
        int column;
        int number;
    };
    int setNumbers(const std::vector<CellNumber> &cells, const QString &what);

    // Asked before any change the model makes; false leaves the table as it is (the main
    // window settles what was typed there and not kept).
    void setBeforeChange(std::function<bool()> ask) { m_beforeChange = std::move(ask); }

    // Compared with another table (held by the model), or with none.
    void compareWith(std::unique_ptr<TRegionTable> theirs);
    bool isComparing() const { return m_theirs != nullptr; }
    bool rowDiffers(int row) const;
    int differingRows() const;
    // The other table's values for the given cells, as one step: a level's cell takes that
    // value, a region's name its four seasons, any other cell its season's values.
    int takeTheirs(const QModelIndexList &cells);

private:
    void rebuild();
    const TRegionRecord &regionOf(int row) const;
    QByteArrayView valueText(int row, int value) const;
    bool cellDiffers(int row, int value) const;

    ClimateDocument &m_document;
    std::vector<SeasonKey> m_rows;
    std::unique_ptr<TRegionTable> m_theirs;
    std::function<bool()> m_beforeChange;
};
