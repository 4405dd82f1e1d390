#include "RegionListModel.h"

#include "ClimateDocument.h"

#include <algorithm>

RegionListModel::RegionListModel(const ClimateDocument &document, QObject *parent)
    : QAbstractListModel(parent)
    , m_document(document)
{
    connect(&document, &ClimateDocument::tableReset, this, &RegionListModel::refill);
}

int RegionListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_slots.size());
}

QVariant RegionListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    return m_document.regionName(slotAt(index.row()));
}

int RegionListModel::rowOf(int slot) const
{
    const auto found = std::find(m_slots.begin(), m_slots.end(), slot);
    return found == m_slots.end() ? -1 : int(found - m_slots.begin());
}

void RegionListModel::refill()
{
    beginResetModel();
    m_slots.clear();
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        if (m_document.region(slot).isUsed())
            m_slots.push_back(slot);
    }
    endResetModel();
}
