#include "WorldTableModel.h"

#include "ClimateDocument.h"
#include "ClimateExchange.h"
#include "TextConversion.h"
#include "ValueRules.h"

#include <QPoint>

#include <algorithm>
#include <set>

namespace {

// The row of rows that stands for key's season, added with the season's values as they are.
climate::SeasonValues &seasonRow(std::vector<climate::SeasonValues> &rows, SeasonKey key, const TSeasonRecord &season)
{
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const auto &r) { return r.slot == key.slot && r.season == key.season; });
    if (found != rows.end())
        return *found;
    climate::SeasonValues row{key.slot, key.season, {}};
    for (int v = 0; v < kValueCount; ++v)
        row.values[std::size_t(v)] = QByteArrayView(season.Values[std::size_t(v)]).toByteArray();
    return rows.emplace_back(row);
}

} // namespace

WorldTableModel::WorldTableModel(ClimateDocument &document, QObject *parent)
    : QAbstractTableModel(parent)
    , m_document(document)
{
    rebuild();
    connect(&m_document, &ClimateDocument::tableReset, this, [this] {
        beginResetModel();
        rebuild();
        endResetModel();
    });
    connect(&m_document, &ClimateDocument::seasonChanged, this, [this](SeasonKey key) {
        if (const int row = rowOf(key); row >= 0)
            emit dataChanged(index(row, 0), index(row, ShapeColumn));
    });
}

WorldTableModel::~WorldTableModel() = default;

void WorldTableModel::rebuild()
{
    m_rows.clear();
    for (int slot = 0; m_document.isLoaded() && slot < kRegionSlots; ++slot) {
        for (int season = 0; m_document.region(slot).isUsed() && season < kSeasonCount; ++season)
            m_rows.push_back({slot, season});
    }
}

int WorldTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int WorldTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ShapeColumn + 1;
}

int WorldTableModel::rowOf(SeasonKey key) const
{
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row] == key)
            return int(row);
    }
    return -1;
}

const TRegionRecord &WorldTableModel::regionOf(int row) const
{
    return m_document.region(keyAt(row).slot);
}

QByteArrayView WorldTableModel::valueText(int row, int value) const
{
    return regionOf(row).Season[std::size_t(keyAt(row).season)].Values[std::size_t(value)];
}

bool WorldTableModel::cellDiffers(int row, int value) const
{
    if (!m_theirs)
        return false;
    const SeasonKey key = keyAt(row);
    const TRegionRecord &theirs = (*m_theirs)[std::size_t(key.slot)];
    if (!theirs.isUsed())
        return true;
    return !climate::SameValueText(valueText(row, value), theirs.Season[std::size_t(key.season)].Values[std::size_t(value)]);
}

bool WorldTableModel::rowDiffers(int row) const
{
    return m_theirs && climate::SeasonDiffers(m_document.table(), *m_theirs, keyAt(row).slot, keyAt(row).season);
}

int WorldTableModel::differingRows() const
{
    int differing = 0;
    for (int row = 0; row < rowCount(); ++row)
        differing += rowDiffers(row);
    return differing;
}

QVariant WorldTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    const SeasonKey key = keyAt(row);
    const QString region = m_document.regionName(key.slot);
    if (role == KeyRole)
        return QVariant::fromValue(QPoint(key.slot, key.season));
    if (index.column() == ShapeColumn) {
        if (role == ShapeRole) {
            QList<int> numbers;
            for (int v = 1; v < kValueCount; ++v)
                numbers << climate::ReadValueText(valueText(row, v)).value_or(-1);
            return QVariant::fromValue(numbers);
        }
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
            return QStringLiteral("%1, %2: the shares of wind, precipitation and warmth").arg(region, climate::SeasonName(key.season));
        return {};
    }
    if (index.column() < FirstValueColumn) {
        if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole && role != NumberRole)
            return {};
        switch (index.column()) {
        case SlotColumn: return role == Qt::DisplayRole || role == Qt::AccessibleTextRole ? QVariant(QString::number(key.slot)) : QVariant(key.slot);
        case RegionColumn: return region;
        default: return role == NumberRole ? QVariant(key.season) : QVariant(climate::SeasonName(key.season));
        }
    }
    const int value = valueOf(index.column());
    const QByteArrayView text = valueText(row, value);
    const std::optional<int> number = climate::ReadValueText(text);
    const bool differs = cellDiffers(row, value);
    const auto theirs = [&] {
        const TRegionRecord &other = (*m_theirs)[std::size_t(key.slot)];
        return other.isUsed() ? climate::FromWindows1252(other.Season[std::size_t(key.season)].Values[std::size_t(value)])
                              : QStringLiteral("no region");
    };
    const QString shown = number == -1 ? QStringLiteral("none") : climate::FromWindows1252(text);
    switch (role) {
    case Qt::DisplayRole: return differs ? QStringLiteral("%1 ≠ %2").arg(shown, theirs()) : shown;
    case Qt::EditRole: return number ? QVariant(*number) : QVariant(climate::FromWindows1252(text));
    case NumberRole: return number ? QVariant(*number) : QVariant();
    case TheirsRole: return differs ? QVariant(theirs()) : QVariant();
    case Qt::TextAlignmentRole: return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return QStringLiteral("%1, %2, %3: %4%5")
            .arg(region, climate::SeasonName(key.season), climate::ColumnName(value), shown,
                 differs ? QStringLiteral(", theirs %1").arg(theirs()) : QString());
    default: return {};
    }
}

QVariant WorldTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case SlotColumn: return QStringLiteral("Slot");
    case RegionColumn: return QStringLiteral("Region");
    case SeasonColumn: return QStringLiteral("Season");
    case ShapeColumn: return QStringLiteral("Shape");
    default:
        if (role == Qt::ToolTipRole || section == FirstValueColumn)
            return climate::ColumnName(valueOf(section));
        return climate::LevelName(valueOf(section));
    }
}

Qt::ItemFlags WorldTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() >= FirstValueColumn && index.column() < ShapeColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool WorldTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const std::optional<int> number = climate::ReadEditorNumber(value.toString()); // typed or given as a number alike
    if (!number)
        return false;
    const SeasonKey key = keyAt(index.row());
    setNumbers({{index.row(), index.column(), *number}},
               QStringLiteral("Change %1, %2, %3").arg(m_document.regionName(key.slot), climate::SeasonName(key.season),
                                                       climate::ColumnName(valueOf(index.column()))));
    return true;
}

int WorldTableModel::setNumbers(const std::vector<CellNumber> &cells, const QString &what)
{
    if (m_beforeChange && !m_beforeChange())
        return 0;
    std::vector<climate::SeasonValues> rows;
    for (const CellNumber &cell : cells) {
        const SeasonKey key = keyAt(cell.row);
        climate::SeasonValues &found = seasonRow(rows, key, regionOf(cell.row).Season[std::size_t(key.season)]);
        const int v = valueOf(cell.column);
        const int clamped = climate::Clamped(kClimateValues[std::size_t(v)], cell.number);
        if (!climate::SameValue(found.values[std::size_t(v)], clamped))
            found.values[std::size_t(v)] = climate::ValueText(clamped);
    }
    return m_document.importRows(rows, what);
}

void WorldTableModel::compareWith(std::unique_ptr<TRegionTable> theirs)
{
    m_theirs = std::move(theirs);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ShapeColumn));
}

int WorldTableModel::takeTheirs(const QModelIndexList &cells)
{
    if (!m_theirs || (m_beforeChange && !m_beforeChange()))
        return 0;
    std::set<std::pair<int, int>> wanted; // (row, value), -1 for the whole row
    for (const QModelIndex &cell : cells) {
        const bool oneValue = cell.column() >= FirstValueColumn && cell.column() < ShapeColumn;
        if (cell.column() == RegionColumn) { // the region: its four seasons
            for (int season = 0; season < kSeasonCount; ++season)
                wanted.insert({rowOf({keyAt(cell.row()).slot, season}), -1});
            continue;
        }
        wanted.insert({cell.row(), oneValue ? valueOf(cell.column()) : -1});
    }
    std::vector<climate::SeasonValues> rows;
    for (const auto &[row, value] : wanted) {
        const SeasonKey key = keyAt(row);
        const TRegionRecord &other = (*m_theirs)[std::size_t(key.slot)];
        if (!other.isUsed())
            continue;
        climate::SeasonValues &found = seasonRow(rows, key, regionOf(row).Season[std::size_t(key.season)]);
        for (int v = 0; v < kValueCount; ++v) {
            if (value < 0 || v == value)
                found.values[std::size_t(v)] = QByteArrayView(other.Season[std::size_t(key.season)].Values[std::size_t(v)]).toByteArray();
        }
    }
    return m_document.importRows(rows, QStringLiteral("Take theirs"));
}
