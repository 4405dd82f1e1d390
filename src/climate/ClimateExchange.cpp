#include "ClimateExchange.h"

#include "TextConversion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace climate {

namespace {

const QString kSlot = QStringLiteral("Slot");
const QString kRegion = QStringLiteral("Region");
const QString kSeason = QStringLiteral("Season");

QStringList headerNames()
{
    QStringList names{kSlot, kRegion, kSeason};
    for (int v = 0; v < kValueCount; ++v)
        names << ColumnName(v);
    return names;
}

// A CSV field, quoted where it holds a comma, a quote or a line end.
QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

struct Record
{
    int line = 0;
    QStringList fields;
};

// RFC 4180: fields separated by commas, records by CR LF or LF; a quoted field may hold commas,
// line ends and doubled quotes. Blank lines are no records. Linear in the text.
bool readCsv(QStringView text, std::vector<Record> &records, int &badLine)
{
    Record record{1, {}};
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    int line = 1;
    const auto endField = [&] {
        record.fields << field;
        field.clear();
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        if (record.fields.size() > 1 || !record.fields[0].isEmpty() || wasQuoted)
            records.push_back(std::move(record));
        record = {line, {}};
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                if (c == u'\n')
                    ++line;
                field += c;
            }
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == u',') {
            endField();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            ++line;
            endRecord();
        } else {
            field += c;
        }
    }
    if (quoted) {
        badLine = record.line;
        return false;
    }
    if (!field.isEmpty() || !record.fields.isEmpty() || wasQuoted)
        endRecord();
    return true;
}

// One row as read, before it is checked: where it stands, for the messages, and its texts.
struct RawRow
{
    QString where;
    QString slot; // empty where the row has none
    QString region;
    QString season;
    std::array<QString, kValueCount> values;
};

class RowChecker
{
public:
    RowChecker(const TRegionTable &table, std::vector<SeasonValues> &rows, QStringList &problems)
        : m_table(table)
        , m_rows(rows)
        , m_problems(problems)
    {
    }

    void check(const RawRow &raw)
    {
        const int before = int(m_problems.size());
        SeasonValues row;
        row.slot = slotOf(raw);
        row.season = -1;
        for (int s = 0; s < kSeasonCount; ++s) {
            if (raw.season.trimmed().compare(SeasonName(s), Qt::CaseInsensitive) == 0)
                row.season = s;
        }
        if (row.season < 0)
            problem(raw, kSeason, QStringLiteral("'%1' is not a season (Spring, Summer, Autumn or Winter)").arg(raw.season));
        const TSeasonRecord *stored =
            row.slot >= 0 && row.season >= 0 ? &m_table[std::size_t(row.slot)].Season[std::size_t(row.season)] : nullptr;
        for (const ClimateValue &value : kClimateValues) {
            const QString &text = raw.values[std::size_t(value.index)];
            const QByteArrayView before = stored ? stored->Values[std::size_t(value.index)].view() : QByteArrayView();
            QByteArray &kept = row.values[std::size_t(value.index)];
            const std::optional<int> number = ReadTableNumber(text);
            if (stored && FromWindows1252(before) == text)
                kept = before.toByteArray();
            else if (!number)
                problem(raw, ColumnName(value.index), QStringLiteral("'%1' is not a whole number").arg(text));
            else if (stored && SameValue(before, *number))
                kept = before.toByteArray();
            else if (*number > value.maxValue)
                problem(raw, ColumnName(value.index), QStringLiteral("'%1' is above %2").arg(text).arg(value.maxValue));
            else if (*number < value.minValue)
                problem(raw, ColumnName(value.index), QStringLiteral("'%1' is below %2").arg(text).arg(value.minValue));
            else
                kept = ValueText(*number);
        }
        if (int(m_problems.size()) != before || row.slot < 0)
            return;
        const auto [first, added] = m_seen.try_emplace({row.slot, row.season}, raw.where);
        if (!added) {
            m_problems << QStringLiteral("%1: %2, %3 comes twice (first at %4)")
                              .arg(raw.where, FromWindows1252(m_table[std::size_t(row.slot)].Name),
                                   SeasonName(row.season), first->second);
            return;
        }
        m_rows.push_back(row);
    }

private:
    void problem(const RawRow &raw, const QString &column, const QString &what)
    {
        m_problems << QStringLiteral("%1: %2: %3").arg(raw.where, column, what);
    }

    // The used slot the row names: by its slot where it has one (the name must agree), else the
    // first region of that name in any letter case. -1, with the problem said, when none.
    int slotOf(const RawRow &raw)
    {
        // A name keeps its blanks in the file; a spreadsheet may have trimmed them.
        const auto named = [&](int slot) {
            const TRegionRecord &region = m_table[std::size_t(slot)];
            const QString name = FromWindows1252(region.Name);
            return region.isUsed()
                   && (name.compare(raw.region, Qt::CaseInsensitive) == 0
                       || name.trimmed().compare(raw.region.trimmed(), Qt::CaseInsensitive) == 0);
        };
        if (!raw.slot.trimmed().isEmpty()) {
            const std::optional<int> slot = ReadTableNumber(raw.slot);
            if (!slot || *slot < 0 || *slot >= kRegionSlots || !m_table[std::size_t(*slot)].isUsed()) {
                problem(raw, kSlot, QStringLiteral("'%1' is no used slot of the file").arg(raw.slot));
                return -1;
            }
            if (!named(*slot)) {
                problem(raw, kRegion, QStringLiteral("'%1' is not the region in slot %2 (%3)")
                                          .arg(raw.region).arg(*slot)
                                          .arg(FromWindows1252(m_table[std::size_t(*slot)].Name)));
                return -1;
            }
            return *slot;
        }
        for (int slot = 0; slot < kRegionSlots; ++slot) {
            if (named(slot))
                return slot;
        }
        problem(raw, kRegion, QStringLiteral("the file has no region '%1'").arg(raw.region));
        return -1;
    }

    const TRegionTable &m_table;
    std::vector<SeasonValues> &m_rows;
    QStringList &m_problems;
    std::map<std::pair<int, int>, QString> m_seen;
};

// The column of each name in the header, found in any letter case; -1 where it has none.
std::vector<int> columnsOf(const QStringList &header, const QStringList &names)
{
    std::vector<int> columns;
    for (const QString &name : names) {
        const auto found = std::find_if(header.begin(), header.end(), [&](const QString &cell) {
            return cell.trimmed().compare(name, Qt::CaseInsensitive) == 0;
        });
        columns.push_back(found == header.end() ? -1 : int(found - header.begin()));
    }
    return columns;
}

void readCsvRows(QStringView text, const QString &name, RowChecker &checker, QStringList &problems)
{
    std::vector<Record> records;
    int badLine = 0;
    if (!readCsv(text, records, badLine)) {
        problems << QStringLiteral("%1:%2: a quoted field is never closed").arg(name).arg(badLine);
        return;
    }
    if (records.empty()) {
        problems << QStringLiteral("%1: holds no header row").arg(name);
        return;
    }
    const QStringList names = headerNames();
    const std::vector<int> columns = columnsOf(records.front().fields, names);
    for (qsizetype n = 1; n < names.size(); ++n) { // the slot may be left out
        if (columns[std::size_t(n)] < 0)
            problems << QStringLiteral("%1:%2: the header has no column '%3'").arg(name).arg(records.front().line).arg(names[n]);
    }
    if (!problems.isEmpty())
        return;
    const qsizetype width = records.front().fields.size();
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Record &record = records[r];
        const QString where = QStringLiteral("%1:%2").arg(name).arg(record.line);
        if (record.fields.size() != width) {
            problems << QStringLiteral("%1: %2 fields where the header has %3").arg(where).arg(record.fields.size()).arg(width);
            continue;
        }
        const auto cell = [&](std::size_t n) { return columns[n] < 0 ? QString() : record.fields[columns[n]]; };
        RawRow raw{where, cell(0), cell(1), cell(2), {}};
        for (int v = 0; v < kValueCount; ++v)
            raw.values[std::size_t(v)] = cell(std::size_t(3 + v));
        checker.check(raw);
    }
}

void readJsonRows(QByteArrayView bytes, const QString &name, RowChecker &checker, QStringList &problems)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &error);
    if (!document.isArray()) {
        problems << QStringLiteral("%1: not a JSON array of rows (%2 at byte %3)")
                        .arg(name, error.errorString()).arg(error.offset);
        return;
    }
    const QStringList names = headerNames();
    const QJsonArray array = document.array();
    for (qsizetype r = 0; r < array.size(); ++r) {
        const QString where = QStringLiteral("%1: row %2").arg(name).arg(r + 1);
        const QJsonObject object = array[r].toObject();
        std::array<QString, 3 + kValueCount> cells;
        for (qsizetype n = 0; n < names.size(); ++n) {
            for (auto it = object.begin(); it != object.end(); ++it) {
                if (it.key().compare(names[n], Qt::CaseInsensitive) == 0)
                    cells[std::size_t(n)] = it->isDouble() ? QString::number(it->toDouble(), 'g', 17) : it->toString();
            }
        }
        RawRow raw{where, cells[0], cells[1], cells[2], {}};
        std::copy(cells.begin() + 3, cells.end(), raw.values.begin());
        checker.check(raw);
    }
}

} // namespace

QByteArray ExportTable(const TRegionTable &table, ExchangeFormat format, QByteArrayView lineEnd)
{
    if (format == ExchangeFormat::Json) {
        QJsonArray rows;
        for (int slot = 0; slot < kRegionSlots; ++slot) {
            const TRegionRecord &region = table[std::size_t(slot)];
            for (int s = 0; region.isUsed() && s < kSeasonCount; ++s) {
                QJsonObject row{{kSlot, slot}, {kRegion, FromWindows1252(region.Name)}, {kSeason, SeasonName(s)}};
                for (int v = 0; v < kValueCount; ++v) {
                    const QString text = FromWindows1252(region.Season[std::size_t(s)].Values[std::size_t(v)]);
                    const std::optional<int> number = ReadEditorNumber(text);
                    row.insert(ColumnName(v), number ? QJsonValue(*number) : QJsonValue(text));
                }
                rows.append(row);
            }
        }
        return QJsonDocument(rows).toJson(QJsonDocument::Indented);
    }
    QByteArray out = headerNames().join(u',').toUtf8() + lineEnd.toByteArray();
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = table[std::size_t(slot)];
        for (int s = 0; region.isUsed() && s < kSeasonCount; ++s) {
            QStringList fields{QString::number(slot), csvField(FromWindows1252(region.Name)), SeasonName(s)};
            for (const TValueText &value : region.Season[std::size_t(s)].Values)
                fields << csvField(FromWindows1252(value));
            out += fields.join(u',').toUtf8() + lineEnd.toByteArray();
        }
    }
    return out;
}

QStringList ReadExchange(QByteArrayView bytes, const QString &name, const TRegionTable &table,
                         std::vector<SeasonValues> &rows)
{
    QStringList problems;
    rows.clear();
    RowChecker checker(table, rows, problems);
    QByteArrayView text = bytes;
    if (text.startsWith("\xEF\xBB\xBF")) // a spreadsheet's byte-order mark
        text = text.sliced(3);
    if (text.trimmed().startsWith('['))
        readJsonRows(text, name, checker, problems);
    else
        readCsvRows(QString::fromUtf8(text), name, checker, problems);
    if (!problems.isEmpty())
        rows.clear();
    return problems;
}

int ApplyExchange(TRegionTable &table, const std::vector<SeasonValues> &rows)
{
    int changed = 0;
    for (const SeasonValues &row : rows) {
        TSeasonRecord &season = table[std::size_t(row.slot)].Season[std::size_t(row.season)];
        bool differs = false;
        for (int v = 0; v < kValueCount; ++v)
            differs = differs || season.Values[std::size_t(v)].view() != row.values[std::size_t(v)];
        if (!differs)
            continue;
        for (int v = 0; v < kValueCount; ++v)
            season.Values[std::size_t(v)] = row.values[std::size_t(v)];
        ++changed;
    }
    return changed;
}

QString SeasonRow(const SeasonNumbers &values)
{
    QStringList fields;
    for (const int value : values)
        fields << QString::number(value);
    return fields.join(u'\t');
}

std::optional<SeasonNumbers> ParseSeasonRow(QStringView text, QString &why)
{
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    QList<QStringView> fields = text.split(u'\t');
    if (fields.size() == 3 + kValueCount) // a whole exported row: slot, region, season, then the values
        fields = fields.mid(3);
    if (fields.size() != kValueCount || text.contains(u'\n')) {
        why = QStringLiteral("the clipboard holds no season row (%1 values in one tab-separated row)").arg(kValueCount);
        return std::nullopt;
    }
    SeasonNumbers values{};
    for (int v = 0; v < kValueCount; ++v) {
        const std::optional<int> number = ReadTableNumber(fields[v]);
        if (!number) {
            why = QStringLiteral("the clipboard's %1 is '%2', not a whole number").arg(ColumnName(v), fields[v]);
            return std::nullopt;
        }
        values[std::size_t(v)] = *number;
    }
    return values;
}

} // namespace climate
