#include "ClimateExchange.h"

#include "TextConversion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include <map>

namespace climate {

namespace {

const QString kSlot = QStringLiteral("Slot");
const QString kRegion = QStringLiteral("Region");
const QString kSeason = QStringLiteral("Season");

// What a message echoes of a text from the table: enough to find it, never a whole page.
constexpr qsizetype kEchoed = 32;

QString echoed(const QString &text)
{
    return text.size() <= kEchoed ? text : text.left(kEchoed) + QStringLiteral("…");
}

QStringList headerNames()
{
    QStringList names{kSlot, kRegion, kSeason};
    for (int v = 0; v < kValueCount; ++v)
        names << ColumnName(v);
    return names;
}

// A spreadsheet takes a field that starts like a formula, or a number with leading zeros, for
// something to work out; a leading ' makes it text, and the importer takes the ' off again.
bool spreadsheetWouldChange(const QString &name)
{
    if (name.isEmpty())
        return false;
    if (QStringLiteral("=+-@").contains(name.front()))
        return true;
    const bool digits = std::all_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); });
    if (digits)
        return name.size() > 1 && name.front() == u'0';
    // What a spreadsheet reads as a number, a date, a time or a truth value.
    bool number = false;
    QLocale::c().toDouble(QString(name).remove(u'%'), &number);
    static const QRegularExpression converted(
        QStringLiteral(R"(^(\d+([-/.: ]\d+)+|\d+[-/ ]*%1\.?([-/ ]*\d+)*|%1\.?([-/ ]*\d+)+|true|false)$)")
            .arg(QStringLiteral("(jan|feb|mar|apr|may|jun|jul|aug|sep|oct|nov|dec)[a-z]*")),
        QRegularExpression::CaseInsensitiveOption);
    return number || converted.match(name.trimmed()).hasMatch();
}

QString exportedName(const QString &name)
{
    return spreadsheetWouldChange(name) || name.startsWith(u'\'') ? u'\'' + name : name;
}

// A CSV field, quoted where it holds a comma, a quote or a line end.
QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

// Problems as they are found, the first kMaxProblems kept in full; the rest only counted, so
// that a huge table of bad rows costs no more memory than a good one.
class Problems
{
public:
    void add(const QString &problem)
    {
        if (m_list.size() < kMaxProblems)
            m_list << problem;
        else
            ++m_more;
    }
    bool isEmpty() const { return m_list.isEmpty(); }
    int count() const { return int(m_list.size()) + m_more; }
    QStringList list() const
    {
        if (!m_more)
            return m_list;
        return m_list + QStringList{QStringLiteral("… and %1 more").arg(m_more)};
    }

private:
    QStringList m_list;
    int m_more = 0;
};

struct Record
{
    int line = 0;
    QStringList fields;
};

// RFC 4180 with the given separator: records end at CR LF or LF; a quoted field may hold the
// separator, line ends and doubled quotes. Blank lines are no records. Each record goes to
// take() as soon as it is read, so that a huge table is never held as records. Linear in the
// text; false, with the line of the field, where a quoted field is never closed.
template <typename Take>
bool readCsv(QStringView text, QChar separator, Take take, int &badLine)
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
            take(std::move(record));
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
        } else if (c == separator) {
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

// The separator a header line uses: comma, semicolon or tab, whichever it holds most of
// outside quotes (a comma where it holds none).
QChar separatorOf(QStringView text)
{
    int commas = 0;
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'\n' || c == u'\r')
            break;
        quoted = c == u'"' ? !quoted : quoted;
        if (!quoted) {
            commas += c == u',';
            semicolons += c == u';';
            tabs += c == u'\t';
        }
    }
    if (tabs > commas && tabs >= semicolons)
        return u'\t';
    return semicolons > commas ? QChar(u';') : QChar(u',');
}

// UTF-16 with no mark, little- or big-endian, where its first characters are plainly it: a zero
// byte beside each of the first bytes that are not.
std::optional<QStringDecoder::Encoding> markless16(QByteArrayView bytes)
{
    if (bytes.size() < 4 || bytes.size() % 2 != 0)
        return std::nullopt;
    const qsizetype pairs = std::min<qsizetype>(bytes.size() / 2, 64);
    int low = 0;
    int high = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        low += bytes[2 * i] != 0 && bytes[2 * i + 1] == 0;
        high += bytes[2 * i] == 0 && bytes[2 * i + 1] != 0;
    }
    if (low == pairs)
        return QStringDecoder::Utf16LE;
    if (high == pairs)
        return QStringDecoder::Utf16BE;
    return std::nullopt;
}

// The text of the bytes, and what was assumed to get it: empty for UTF-8.
QString decoded(QByteArrayView bytes, QString &assumed)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        assumed = QStringLiteral("UTF-16");
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return decoder.decode(bytes.sliced(2));
    }
    // UTF-16 without a mark: every other byte of the text (ASCII at least) is zero.
    if (const std::optional<QStringDecoder::Encoding> wide = markless16(bytes)) {
        assumed = QStringLiteral("UTF-16");
        QStringDecoder decoder(*wide);
        return decoder.decode(bytes);
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) // a spreadsheet's byte-order mark
        bytes = bytes.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    assumed = QStringLiteral("Windows-1252"); // what the game file itself is written in
    return FromWindows1252(bytes);
}

// One row as read, before it is checked: where it stands, for the messages, and its texts. A
// value a JSON row gives as no number or text has instead why it is none.
struct RawRow
{
    QString where;
    QString slot; // empty where the row has none
    QString region;
    QString season;
    std::array<QString, kValueCount> values;
    std::array<QString, kValueCount> refused;
};

bool isWholeNumberText(const QString &text)
{
    const QString t = text.trimmed();
    const qsizetype start = t.startsWith(u'-') || t.startsWith(u'+') ? 1 : 0;
    return t.size() > start && std::all_of(t.begin() + start, t.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

class RowChecker
{
public:
    RowChecker(const TRegionTable &table, std::vector<SeasonValues> &rows, Problems &problems, Problems &notes)
        : m_table(table)
        , m_rows(rows)
        , m_problems(problems)
        , m_notes(notes)
    {
    }

    void check(const RawRow &raw)
    {
        const int before = m_problems.count();
        SeasonValues row;
        row.season = -1;
        for (int s = 0; s < kSeasonCount; ++s) {
            if (raw.season.trimmed().compare(SeasonName(s), Qt::CaseInsensitive) == 0)
                row.season = s;
        }
        if (row.season < 0)
            problem(raw, kSeason, QStringLiteral("'%1' is not a season (Spring, Summer, Autumn or Winter)").arg(echoed(raw.season)));
        row.slot = slotOf(raw, std::max(row.season, 0));
        const TSeasonRecord *stored =
            row.slot >= 0 && row.season >= 0 ? &m_table[std::size_t(row.slot)].Season[std::size_t(row.season)] : nullptr;
        for (const ClimateValue &value : kClimateValues) {
            checkValue(raw, value, stored, row.values[std::size_t(value.index)]);
        }
        if (m_problems.count() != before || row.slot < 0)
            return;
        const auto [first, added] = m_seen.try_emplace({row.slot, row.season}, Seen{raw.where, {}, 0});
        if (!added) {
            if (first->second.again.isEmpty())
                first->second.again = raw.where;
            ++first->second.more;
            return;
        }
        m_rows.push_back(row);
    }

    // A region and season that came more than once, once each, with how often.
    void finish()
    {
        for (const auto &[key, seen] : m_seen) {
            if (seen.again.isEmpty())
                continue;
            const QString times = seen.more == 1 ? QStringLiteral("twice") : QStringLiteral("%1 times").arg(seen.more + 1);
            m_problems.add(QStringLiteral("%1: %2, %3 comes %4 (first at %5)")
                               .arg(seen.again, FromWindows1252(m_table[std::size_t(key.first)].Name), SeasonName(key.second),
                                    times, seen.first));
        }
    }

private:
    struct Seen
    {
        QString first;
        QString again; // where it came the second time
        int more = 0;
    };

    void checkValue(const RawRow &raw, const ClimateValue &value, const TSeasonRecord *stored, QByteArray &kept)
    {
        const QString column = ColumnName(value.index);
        if (const QString &refused = raw.refused[std::size_t(value.index)]; !refused.isEmpty())
            return problem(raw, column, refused);
        const QString &text = raw.values[std::size_t(value.index)];
        const QByteArrayView before = stored ? stored->Values[std::size_t(value.index)].view() : QByteArrayView();
        const std::optional<int> number = ReadTableNumber(text);
        if (stored && FromWindows1252(before) == text)
            kept = before.toByteArray();
        else if (!number && isWholeNumberText(text)) // beyond what an integer holds
            problem(raw, column, QStringLiteral("'%1' is %2 %3").arg(echoed(text.trimmed()))
                                     .arg(text.trimmed().startsWith(u'-') ? QStringLiteral("below") : QStringLiteral("above"))
                                     .arg(text.trimmed().startsWith(u'-') ? value.minValue : value.maxValue));
        else if (!number)
            problem(raw, column, QStringLiteral("'%1' is not a whole number").arg(echoed(text)));
        else if (stored && SameValue(before, *number))
            kept = before.toByteArray();
        else if (*number > value.maxValue)
            problem(raw, column, QStringLiteral("'%1' is above %2").arg(echoed(text)).arg(value.maxValue));
        else if (*number < value.minValue)
            problem(raw, column, QStringLiteral("'%1' is below %2").arg(echoed(text)).arg(value.minValue));
        else
            kept = ValueText(*number);
    }

    void problem(const RawRow &raw, const QString &column, const QString &what)
    {
        m_problems.add(QStringLiteral("%1: %2: %3").arg(raw.where, column, what));
    }

    // How a row names a region: as the file has it, or with the blanks or the leading ' that a
    // spreadsheet's round trip leaves; in any letter case.
    static bool sameName(const QString &fileName, const QString &rowName)
    {
        const auto same = [&](const QString &name) {
            return fileName.compare(name, Qt::CaseInsensitive) == 0
                   || fileName.trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0;
        };
        // The ' the export put before a name ('=1+1, ''Quoted) may still be there, or be gone.
        return same(rowName) || (rowName.startsWith(u'\'') && same(rowName.mid(1)));
    }

    // What a spreadsheet makes of a name: a formula worked out, a number without its zeros.
    static bool spreadsheetMade(const QString &fileName, const QString &rowName)
    {
        if (!spreadsheetWouldChange(fileName))
            return false;
        if (!std::all_of(fileName.begin(), fileName.end(), [](QChar c) { return c.isDigit(); }))
            return true; // worked out, or turned into a number or a date: the slot tells
        QString number = fileName;
        while (number.size() > 1 && number.front() == u'0')
            number.remove(0, 1);
        return rowName.trimmed() == number;
    }

    // A UTF-8 name that a spreadsheet read as Windows-1252 ("QuÃ©bec"), as it was meant.
    static std::optional<QString> misreadUtf8(const QString &name)
    {
        const std::optional<QByteArray> bytes = ToWindows1252(name);
        if (!bytes)
            return std::nullopt;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString meant = utf8.decode(*bytes);
        return utf8.hasError() || meant == name ? std::nullopt : std::optional(meant);
    }

    bool anyNamed(const QString &name) const
    {
        for (const TRegionRecord &region : m_table) {
            if (region.isUsed() && sameName(FromWindows1252(region.Name), name))
                return true;
        }
        return false;
    }

    // The used slot the row names: by its slot where it has one (the name must agree, or be what
    // a spreadsheet made of it), else the region of that name (the second row of a name and
    // season goes to the second region of that name). -1, with the problem said, when none.
    int slotOf(const RawRow &raw, int season)
    {
        if (const std::optional<QString> meant = misreadUtf8(raw.region); meant && !anyNamed(raw.region) && anyNamed(*meant)) {
            m_notes.add(QStringLiteral("%1: Region: '%2' is taken as '%3': UTF-8 that a spreadsheet read as Windows-1252")
                            .arg(raw.where, echoed(raw.region), *meant));
            RawRow repaired = raw;
            repaired.region = *meant;
            return slotOf(repaired, season);
        }
        const auto named = [&](int slot) {
            const TRegionRecord &region = m_table[std::size_t(slot)];
            return region.isUsed() && sameName(FromWindows1252(region.Name), raw.region);
        };
        if (!raw.slot.trimmed().isEmpty()) {
            const std::optional<int> slot = ReadTableNumber(raw.slot);
            if (!slot || *slot < 0 || *slot >= kRegionSlots || !m_table[std::size_t(*slot)].isUsed()) {
                problem(raw, kSlot, QStringLiteral("'%1' is no used slot of the file").arg(echoed(raw.slot)));
                return -1;
            }
            const QString fileName = FromWindows1252(m_table[std::size_t(*slot)].Name);
            if (named(*slot))
                return *slot;
            if (spreadsheetMade(fileName, raw.region)) {
                m_notes.add(QStringLiteral("%1: Region: '%2' is taken for '%3', the region in slot %4, as a spreadsheet "
                                           "shows its name").arg(raw.where, echoed(raw.region), fileName).arg(*slot));
                return *slot;
            }
            problem(raw, kRegion, QStringLiteral("'%1' is not the region in slot %2 (%3)")
                                      .arg(echoed(raw.region)).arg(*slot).arg(fileName));
            return -1;
        }
        int nth = m_byName[{raw.region.trimmed().toCaseFolded(), season}]++;
        int first = -1;
        for (int slot = 0; slot < kRegionSlots; ++slot) {
            if (!named(slot))
                continue;
            if (first < 0)
                first = slot;
            if (nth-- == 0)
                return slot;
        }
        if (first >= 0)
            return first; // more rows than regions of that name: said as coming twice
        if (!FitsWindows1252(raw.region))
            problem(raw, kRegion, QStringLiteral("'%1' cannot be written in the game file's encoding (Windows-1252), so "
                                                 "the file has no region of that name").arg(echoed(raw.region)));
        else
            problem(raw, kRegion, QStringLiteral("the file has no region '%1'").arg(echoed(raw.region)));
        return -1;
    }

    const TRegionTable &m_table;
    std::vector<SeasonValues> &m_rows;
    Problems &m_problems;
    Problems &m_notes;
    std::map<std::pair<int, int>, Seen> m_seen;
    std::map<std::pair<QString, int>, int> m_byName;
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

void readCsvRows(QStringView text, QChar separator, const QString &name, RowChecker &checker, Problems &problems)
{
    const QStringList names = headerNames();
    std::vector<int> columns;
    qsizetype width = 0;
    bool headerRead = false;
    const auto take = [&](Record &&record) {
        if (!headerRead) {
            headerRead = true;
            columns = columnsOf(record.fields, names);
            width = record.fields.size();
            for (qsizetype n = 1; n < names.size(); ++n) { // the slot may be left out
                if (columns[std::size_t(n)] < 0)
                    problems.add(QStringLiteral("%1:%2: the header has no column '%3'").arg(name).arg(record.line).arg(names[n]));
            }
            return;
        }
        if (columns.empty() || std::find(columns.begin() + 1, columns.end(), -1) != columns.end())
            return; // the header is wrong: every row would be
        const QString where = QStringLiteral("%1:%2").arg(name).arg(record.line);
        if (record.fields.size() != width) {
            problems.add(QStringLiteral("%1: %2 fields where the header has %3").arg(where).arg(record.fields.size()).arg(width));
            return;
        }
        const auto cell = [&](std::size_t n) { return columns[n] < 0 ? QString() : record.fields[columns[n]]; };
        RawRow raw{where, cell(0), cell(1), cell(2), {}, {}};
        for (int v = 0; v < kValueCount; ++v)
            raw.values[std::size_t(v)] = cell(std::size_t(3 + v));
        checker.check(raw);
    };
    int badLine = 0;
    if (!readCsv(text, separator, take, badLine))
        problems.add(QStringLiteral("%1:%2: a quoted field is never closed").arg(name).arg(badLine));
    else if (!headerRead)
        problems.add(QStringLiteral("%1: holds no header row").arg(name));
}

// What a JSON value that is no number and no text is, for the message.
QString kindOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array: return QStringLiteral("a list");
    case QJsonValue::Object: return QStringLiteral("an object");
    default: return QStringLiteral("missing");
    }
}

void readJsonRows(const QString &text, const QString &name, RowChecker &checker, Problems &problems)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (!document.isArray()) {
        problems.add(QStringLiteral("%1: not a JSON array of rows (%2 at byte %3)").arg(name, error.errorString()).arg(error.offset));
        return;
    }
    const QStringList names = headerNames();
    const QJsonArray array = document.array();
    for (qsizetype r = 0; r < array.size(); ++r) {
        const QString where = QStringLiteral("%1: row %2").arg(name).arg(r + 1);
        if (!array[r].isObject()) {
            problems.add(QStringLiteral("%1: is %2, not an object").arg(where, kindOf(array[r])));
            continue;
        }
        const QJsonObject object = array[r].toObject();
        std::array<QString, 3 + kValueCount> cells;
        std::array<QString, 3 + kValueCount> refused;
        for (qsizetype n = 0; n < names.size(); ++n) {
            QJsonValue found(QJsonValue::Undefined);
            for (auto it = object.begin(); it != object.end(); ++it) {
                if (it.key().compare(names[n], Qt::CaseInsensitive) == 0)
                    found = it.value();
            }
            if (found.isDouble() || found.isString())
                cells[std::size_t(n)] = found.isDouble() ? QString::number(found.toDouble(), 'g', 17) : found.toString();
            else if (found.isUndefined())
                refused[std::size_t(n)] = QStringLiteral("the row has no '%1'").arg(names[n]);
            else
                refused[std::size_t(n)] = QStringLiteral("is %1, not a whole number").arg(kindOf(found));
        }
        if (!refused[1].isEmpty() || !refused[2].isEmpty()) {
            for (const std::size_t n : {std::size_t(1), std::size_t(2)}) {
                if (!refused[n].isEmpty())
                    problems.add(QStringLiteral("%1: %2: %3").arg(where, names[qsizetype(n)], refused[n]));
            }
            continue;
        }
        RawRow raw{where, cells[0], cells[1], cells[2], {}, {}};
        std::copy(cells.begin() + 3, cells.end(), raw.values.begin());
        std::copy(refused.begin() + 3, refused.end(), raw.refused.begin());
        checker.check(raw);
    }
}

// Where the first NUL of a text stands, as "line:column"; empty where it has none.
QString nulAt(QStringView text)
{
    const qsizetype at = text.indexOf(QChar(0));
    if (at < 0)
        return {};
    const QStringView before = text.first(at);
    const qsizetype lineStart = before.lastIndexOf(u'\n') + 1;
    return QStringLiteral("%1:%2").arg(before.count(u'\n') + 1).arg(at - lineStart + 1);
}

// A JSON string, quoted and escaped as JSON writes it.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

bool SeasonDiffers(const TRegionTable &mine, const TRegionTable &theirs, int slot, int season)
{
    const TRegionRecord &a = mine[std::size_t(slot)];
    const TRegionRecord &b = theirs[std::size_t(slot)];
    if (a.isUsed() != b.isUsed() || QByteArrayView(a.Name) != QByteArrayView(b.Name))
        return true;
    const auto &ours = a.Season[std::size_t(season)].Values;
    const auto &other = b.Season[std::size_t(season)].Values;
    for (int v = 0; v < kValueCount; ++v) {
        if (!SameValueText(ours[std::size_t(v)], other[std::size_t(v)]))
            return true;
    }
    return false;
}

QByteArray ExportTable(const TRegionTable &table, ExchangeFormat format, QByteArrayView lineEnd, const SeasonFilter &only)
{
    // JSON is written by hand: Qt's objects keep their keys in alphabetical order, and a
    // script reading the table should meet the columns in the CSV's order.
    const QStringList names = headerNames();
    QByteArray out = format == ExchangeFormat::Json ? QByteArray("[") : names.join(u',').toUtf8() + lineEnd.toByteArray();
    bool firstRow = true;
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = table[std::size_t(slot)];
        for (int s = 0; region.isUsed() && s < kSeasonCount; ++s) {
            if (only && !only(slot, s))
                continue;
            const QString name = FromWindows1252(region.Name);
            const auto &values = region.Season[std::size_t(s)].Values;
            if (format == ExchangeFormat::Csv) {
                QStringList fields{QString::number(slot), csvField(exportedName(name)), SeasonName(s)};
                for (const TValueText &value : values)
                    fields << csvField(FromWindows1252(value));
                out += fields.join(u',').toUtf8() + lineEnd.toByteArray();
                continue;
            }
            out += (firstRow ? "" : ",") + lineEnd.toByteArray() + "    {";
            out += "\"Slot\": " + QByteArray::number(slot) + ", \"Region\": " + jsonString(name) + ", \"Season\": "
                   + jsonString(SeasonName(s));
            for (int v = 0; v < kValueCount; ++v) {
                const QString text = FromWindows1252(values[std::size_t(v)]);
                const std::optional<int> number = ReadEditorNumber(text);
                out += ", " + jsonString(ColumnName(v)) + ": " + (number ? QByteArray::number(*number) : jsonString(text));
            }
            out += "}";
            firstRow = false;
        }
    }
    if (format == ExchangeFormat::Json)
        out += lineEnd.toByteArray() + "]" + lineEnd.toByteArray();
    return out;
}

QStringList ReadExchange(QByteArrayView bytes, const QString &name, const TRegionTable &table,
                         std::vector<SeasonValues> &rows, QStringList *notes)
{
    Problems problems;
    Problems said;
    rows.clear();
    QString encoding;
    const QString text = decoded(bytes, encoding);
    if (const QString at = nulAt(text); !at.isEmpty())
        return {QStringLiteral("%1:%2: holds a NUL byte, which no table holds").arg(name, at)};
    QStringList assumed;
    if (!encoding.isEmpty())
        assumed << QStringLiteral("read as %1").arg(encoding);
    RowChecker checker(table, rows, problems, said);
    if (QStringView(text).trimmed().startsWith(u'[')) {
        readJsonRows(text, name, checker, problems);
    } else {
        const QChar separator = separatorOf(text);
        if (separator != u',')
            assumed << (separator == u'\t' ? QStringLiteral("separated by tabs") : QStringLiteral("separated by ';'"));
        readCsvRows(text, separator, name, checker, problems);
    }
    checker.finish();
    if (notes) {
        *notes = said.list();
        if (!assumed.isEmpty())
            notes->prepend(QStringLiteral("%1: %2").arg(name, assumed.join(QStringLiteral(", "))));
    }
    if (!problems.isEmpty())
        rows.clear();
    return problems.list();
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
    why = QStringLiteral("the clipboard holds no season row (%1 values in one row, separated by tabs or commas)")
              .arg(kValueCount);
    if (text.contains(u'\n') || text.contains(u'\r'))
        return std::nullopt;
    QStringList fields;
    if (text.contains(u'\t')) {
        for (const QStringView field : text.split(u'\t'))
            fields << field.toString();
    } else {
        int records = 0;
        int badLine = 0;
        if (!readCsv(text, u',', [&](Record &&record) { fields = std::move(record.fields), ++records; }, badLine)
            || records != 1)
            return std::nullopt;
    }
    if (fields.size() > kValueCount && fields.back().trimmed().isEmpty())
        fields.removeLast(); // a separator after the last value
    if (fields.size() == kValueCount + 2 || fields.size() == kValueCount + 3) // region and season, and the slot
        fields = fields.mid(fields.size() - kValueCount);
    if (fields.size() != kValueCount)
        return std::nullopt;
    SeasonNumbers values{};
    for (int v = 0; v < kValueCount; ++v) {
        const std::optional<int> number = ReadTableNumber(fields[v]);
        if (!number) {
            why = QStringLiteral("the clipboard's %1 is '%2', not a whole number").arg(ColumnName(v), echoed(fields[v]));
            return std::nullopt;
        }
        values[std::size_t(v)] = *number;
    }
    return values;
}

} // namespace climate
