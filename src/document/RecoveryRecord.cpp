#include "RecoveryRecord.h"

#include "RegionTable.h"

#include <QCryptographicHash>

namespace {

// The first form had no region names and no base values; its records are still read.
constexpr QByteArrayView kMagicFirst = "NIMBREL-RECOVERY 1";
constexpr QByteArrayView kMagic = "NIMBREL-RECOVERY 2";
constexpr QByteArrayView kEnd = "end";
constexpr QByteArrayView kRecordEnding = ".nimbrel";
constexpr QByteArrayView kLockEnding = ".lock";

std::optional<qint64> number(QByteArrayView text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && !text.startsWith('+') ? std::optional(value) : std::nullopt;
}

void appendNumbers(QByteArray &out, const SeasonNumbers &numbers)
{
    for (const int value : numbers)
        out += ' ' + QByteArray::number(value);
}

std::optional<SeasonNumbers> numbersAt(const QList<QByteArray> &parts, qsizetype first)
{
    SeasonNumbers values{};
    for (const ClimateValue &value : kClimateValues) {
        const auto read = number(parts.value(first + value.index));
        if (!read || !climate::InRange(value, int(*read)))
            return std::nullopt;
        values[std::size_t(value.index)] = int(*read);
    }
    return values;
}

QByteArray encodeSeason(QByteArrayView key, const RecordedSeason &season)
{
    QByteArray out = key.toByteArray() + ' ' + QByteArray::number(season.key.slot) + ' '
                     + QByteArray::number(season.key.season) + ' ' + season.region.toHex() + ' '
                     + QByteArray::number(season.namesakes);
    appendNumbers(out, season.values);
    appendNumbers(out, season.base.value_or(season.values));
    return out + '\n';
}

// "season SLOT SEASON NAME NAMESAKES V×18 BASE×18", or "season SLOT SEASON V×18" in the first form.
std::optional<RecordedSeason> decodeSeason(const QList<QByteArray> &parts, bool first)
{
    const qsizetype count = first ? 3 + kValueCount : 5 + 2 * kValueCount;
    if (parts.size() != count)
        return std::nullopt;
    const auto slot = number(parts[1]);
    const auto season = number(parts[2]);
    if (!slot || !season || *slot < 0 || *slot >= kRegionSlots || *season < 0 || *season >= kSeasonCount)
        return std::nullopt;
    RecordedSeason recorded{{int(*slot), int(*season)}, {}, 1, {}, std::nullopt};
    const qsizetype values = first ? 3 : 5;
    const std::optional<SeasonNumbers> read = numbersAt(parts, values);
    if (!read)
        return std::nullopt;
    recorded.values = *read;
    if (first)
        return recorded;
    recorded.region = QByteArray::fromHex(parts[3]);
    const auto namesakes = number(parts[4]);
    recorded.namesakes = int(namesakes.value_or(0));
    recorded.base = numbersAt(parts, values + kValueCount);
    if (recorded.region.isEmpty() || !namesakes || *namesakes < 1 || *namesakes > kRegionSlots || !recorded.base)
        return std::nullopt;
    return recorded;
}

} // namespace

QByteArray RecoveryChecksum(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray RecoveryPrefix(const QString &path)
{
    return "recovery-" + RecoveryChecksum(path.toUtf8()).left(32) + '-';
}

QByteArray RecoveryName(const QString &path, QByteArrayView editor)
{
    return RecoveryPrefix(path) + editor.toByteArray() + kRecordEnding.toByteArray();
}

QByteArray RecoveryLockName(const QByteArray &record)
{
    return record + kLockEnding.toByteArray();
}

bool IsRecoveryName(const QByteArray &prefix, const QByteArray &name)
{
    return name.startsWith(prefix) && name.endsWith(kRecordEnding) && name.size() > prefix.size() + kRecordEnding.size();
}

QByteArray EncodeRecovery(const RecoveryRecord &record)
{
    QByteArray out = kMagic.toByteArray() + '\n';
    out += "path " + record.path.toUtf8().toHex() + '\n';
    out += "file " + QByteArray::number(record.file.device) + ' ' + QByteArray::number(record.file.file) + '\n';
    out += "read " + record.checksum + '\n';
    out += "process " + QByteArray::number(record.process) + '\n';
    for (const RecordedSeason &season : record.seasons)
        out += encodeSeason("season", season);
    if (record.typed)
        out += encodeSeason("typed", *record.typed);
    return out + kEnd.toByteArray() + '\n';
}

std::optional<RecoveryRecord> DecodeRecovery(QByteArrayView bytes)
{
    if (bytes.size() > kMaxRecoverySize || !bytes.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> lines = bytes.chopped(1).toByteArray().split('\n');
    if (lines.size() < 6 || (lines.front() != kMagic && lines.front() != kMagicFirst) || lines.back() != kEnd)
        return std::nullopt;
    const bool first = lines.front() == kMagicFirst;
    RecoveryRecord record;
    const auto fields = [&](qsizetype i, QByteArrayView key, qsizetype count) {
        const QList<QByteArray> parts = lines[i].split(' ');
        return parts.size() == count + 1 && parts[0] == key ? parts.mid(1) : QList<QByteArray>();
    };
    const QList<QByteArray> path = fields(1, "path", 1);
    const QList<QByteArray> file = fields(2, "file", 2);
    const QList<QByteArray> read = fields(3, "read", 1);
    const QList<QByteArray> process = fields(4, "process", 1);
    if (path.isEmpty() || file.isEmpty() || read.isEmpty() || process.isEmpty() || read[0].size() != 64)
        return std::nullopt;
    const auto device = number(file[0]);
    const auto inode = number(file[1]);
    const auto pid = number(process[0]);
    if (!device || !inode || !pid)
        return std::nullopt;
    record.path = QString::fromUtf8(QByteArray::fromHex(path[0]));
    record.file = {quint64(*device), quint64(*inode), true, {}, {}};
    record.checksum = read[0];
    record.process = *pid;
    for (qsizetype i = 5; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> parts = lines[i].split(' ');
        const bool typed = !first && parts[0] == "typed" && !record.typed && i + 2 == lines.size();
        if (parts[0] != "season" && !typed)
            return std::nullopt;
        const std::optional<RecordedSeason> season = decodeSeason(parts, first);
        if (!season)
            return std::nullopt;
        if (typed) {
            record.typed = season;
            continue;
        }
        for (const RecordedSeason &other : std::as_const(record.seasons)) {
            if (other.key == season->key)
                return std::nullopt;
        }
        record.seasons << *season;
    }
    if (record.isEmpty())
        return std::nullopt;
    return record;
}
