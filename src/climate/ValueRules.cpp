#include "ValueRules.h"

#include "RegionTable.h"

#include <algorithm>
#include <limits>

namespace climate {

std::optional<int> ReadEditorNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    }
    if (i == text.size())
        return std::nullopt;

    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

std::optional<int> ReadTableNumber(QStringView text)
{
    // Any blank a spreadsheet or a script leaves around it (a no-break space too).
    text = text.trimmed();
    // A whole number written as a decimal ("25.0"), as scripts and spreadsheets write numbers.
    if (const qsizetype point = text.indexOf(u'.'); point > 0 && point + 1 < text.size()
        && std::all_of(text.begin() + point + 1, text.end(), [](QChar c) { return c == u'0'; }))
        text = text.first(point);
    // A table's cells are decimal: "$" is the editor's own way to type hexadecimal, not a table's.
    if (text.contains(u'$') || text.startsWith(u' '))
        return std::nullopt;
    return ReadEditorNumber(text);
}

std::optional<int> ReadValueText(QByteArrayView text)
{
    // Only ASCII can make a number, and the code page keeps ASCII as it is.
    return ReadEditorNumber(QString::fromLatin1(text));
}

int Clamped(const ClimateValue &value, int number)
{
    return std::clamp(number, value.minValue, value.maxValue);
}

bool InRange(const ClimateValue &value, int number)
{
    return Clamped(value, number) == number;
}

QByteArray ValueText(int number)
{
    return TValueText(QByteArray::number(number)).toByteArray();
}

bool SameValue(QByteArrayView stored, int number)
{
    return ReadValueText(stored) == number;
}

bool SameValueText(QByteArrayView one, QByteArrayView other)
{
    const std::optional<int> number = ReadValueText(one);
    return one == other || (number && number == ReadValueText(other));
}

namespace {

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

QString ColumnName(int valueIndex)
{
    return latin1(kClimateValues[std::size_t(valueIndex)].column);
}

QString LevelName(int valueIndex)
{
    return latin1(kClimateValues[std::size_t(valueIndex)].name);
}

QString SeasonName(int season)
{
    return latin1(kSeasonNames[std::size_t(season)]);
}

int SeasonLineNumber(int slot, int season)
{
    constexpr int kHeaderLines = 2;
    constexpr int kBlockLines = 10;
    constexpr int kFirstSeasonLine = 7; // after the blank line, four comments and the name
    return kHeaderLines + kBlockLines * slot + kFirstSeasonLine + season;
}

} // namespace climate
