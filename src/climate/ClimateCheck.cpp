#include "ClimateCheck.h"

#include "ClimateFormat.h"
#include "TextConversion.h"
#include "ValueRules.h"

#include <algorithm>

namespace climate {

namespace {

constexpr int kHeaderLines = 2;
constexpr int kBlockLines = 10;
constexpr int kNameLine = 5; // within a block, from 0

// Where value k of a season line starts: after the label and its space, or after the k-th
// comma, its blanks and its letter.
int columnOf(QByteArrayView line, int valueIndex)
{
    qsizetype at = line.indexOf(' ');
    if (at < 0)
        return 1;
    ++at;
    for (int commas = 0; commas < valueIndex; ++commas) {
        at = line.indexOf(',', at);
        if (at < 0)
            return 1;
        ++at;
    }
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (valueIndex > 0 && at < line.size() && (line[at] == 'W' || line[at] == 'P' || line[at] == 'H'))
        ++at;
    return int(at) + 1;
}

// The first line of block b that is not what a block holds there, as (line from 0, what
// should be there); -1 when the block is whole. A block the file ends in is cut short there.
std::pair<int, QString> firstBreak(const QByteArrayList &lines, int block, const QString &name)
{
    const int start = kHeaderLines + kBlockLines * block;
    for (int i = 0; i < kBlockLines; ++i) {
        const int at = start + i;
        if (at >= lines.size())
            return {at, QStringLiteral("the file ends inside the block of %1").arg(name)};
        const QByteArray &line = lines[at];
        QString expected;
        if (i == 0 && !line.trimmed().isEmpty())
            expected = QStringLiteral("an empty line");
        else if (i > 0 && i < kNameLine && !line.startsWith('#'))
            expected = QStringLiteral("a comment line ('#')");
        else if (i > kNameLine) {
            const QByteArray label = QByteArray(kSeasonLabels[std::size_t(i - kNameLine - 1)].data()).trimmed();
            if (!line.toUpper().startsWith(label))
                expected = QStringLiteral("the %1 line of %2 ('%3')").arg(SeasonName(i - kNameLine - 1), name,
                                                                           QString::fromLatin1(label));
        }
        if (!expected.isEmpty())
            return {at, QStringLiteral("%1 should stand here; the lines from here on are out of step").arg(expected)};
    }
    return {-1, {}};
}

} // namespace

CheckResult CheckClimate(QByteArrayView bytes, const TRegionTable &table, QByteArrayView headerCountLine)
{
    CheckResult result;
    const QByteArrayList lines = ClimateLines(bytes);
    for (const TRegionRecord &region : table)
        result.regions += region.isUsed();

    const QString count = QString::fromLatin1(headerCountLine).trimmed();
    qsizetype digits = 0;
    while (digits < count.size() && count[digits].isDigit())
        ++digits;
    if (digits == 0)
        result.findings << CheckFinding{2, 1, false, QStringLiteral("the count line '%1' holds no number of regions").arg(count.left(32))};
    else if (ReadEditorNumber(count.left(digits)) != result.regions)
        result.findings << CheckFinding{2, 1, true, QStringLiteral("the count line says %1 regions, the file holds %2")
                                                        .arg(count.left(digits)).arg(result.regions)};

    // Open shows the first listed region, or slot 0 when none is listed.
    int shownFirst = 0;
    while (shownFirst < kRegionSlots - 1 && !table[std::size_t(shownFirst)].isUsed())
        ++shownFirst;
    if (!table[std::size_t(shownFirst)].isUsed())
        shownFirst = 0;
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = table[std::size_t(slot)];
        const bool inFile = kHeaderLines + kBlockLines * slot < lines.size();
        const QString name = region.isUsed() ? FromWindows1252(region.Name) : QStringLiteral("slot %1").arg(slot);
        if (inFile) {
            const auto [line, what] = firstBreak(lines, slot, name);
            const bool blank = std::all_of(lines.begin() + kHeaderLines + kBlockLines * slot, lines.end(),
                                           [](const QByteArray &l) { return l.trimmed().isEmpty(); });
            if (line >= 0 && !blank) {
                result.findings << CheckFinding{line + 1, 1, true, what};
                break; // every value after this line would be in the wrong place too
            }
        }
        if (!region.isUsed() && slot != shownFirst)
            continue;
        for (int s = 0; s < kSeasonCount; ++s) {
            const int line = SeasonLineNumber(slot, s);
            const QByteArray raw = lines.value(line - 1);
            for (const ClimateValue &value : kClimateValues) {
                const QByteArrayView stored = region.Season[std::size_t(s)].Values[std::size_t(value.index)];
                const std::optional<int> number = ReadValueText(stored);
                const QString where = QStringLiteral("%1, %2: %3: ").arg(name, SeasonName(s), ColumnName(value.index));
                if (!number)
                    result.findings << CheckFinding{line, columnOf(raw, value.index), true,
                                                    where + QStringLiteral("'%1' is not a valid integer value").arg(FromWindows1252(stored))};
                else if (!InRange(value, *number))
                    result.findings << CheckFinding{line, columnOf(raw, value.index), false,
                                                    where + QStringLiteral("%1 is shown, and kept, as %2").arg(*number).arg(Clamped(value, *number))};
            }
        }
    }
    std::stable_sort(result.findings.begin(), result.findings.end(),
                     [](const CheckFinding &a, const CheckFinding &b) { return a.line < b.line; });
    return result;
}

} // namespace climate
