#pragma once

#include <QAbstractListModel>

#include <vector>

class ClimateDocument;

// The regions of a document's table as a list: one row for each used slot, in slot order, its
// name as the text. A slot without a name leaves a gap in the slots but not in the rows.
class RegionListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit RegionListModel(const ClimateDocument &document, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    int slotAt(int row) const { return m_slots.at(std::size_t(row)); }
    // The row of a slot, or -1 when it is not listed.
    int rowOf(int slot) const;
    // Lists the table's regions again.
    void refill();

private:
    const ClimateDocument &m_document;
    std::vector<int> m_slots;
};
