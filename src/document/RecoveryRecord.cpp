#include "RecoveryRecord.h"

#include "RegionTable.h"

#include <QCryptographicHash>

namespace {

constexpr QByteArrayView kMagic = "NIMBREL-RECOVERY 1";
constexpr QByteArrayView kEnd = "end";

std::optional<qint64> number(QByteArrayView text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && !text.startsWith('+') ? std::optional(value) : std::nullopt;
}

} // namespace

QByteArray RecoveryChecksum(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

constexpr QByteArrayView kRecordEnding = ".nimbrel";

QByteArray RecoveryPrefix(const QString &path)
{
    return "recovery-" + RecoveryChecksum(path.toUtf8()).left(32) + '-';
}

QByteArray RecoveryName(const QString &path, qint64 process)
{
    return RecoveryPrefix(path) + QByteArray::number(process) + kRecordEnding.toByteArray();
}

std::optional<qint64> RecoveryProcess(const QString &path, const QByteArray &name)
{
    const QByteArray prefix = RecoveryPrefix(path);
    if (!name.startsWith(prefix) || !name.endsWith(kRecordEnding) || name.size() <= prefix.size() + kRecordEnding.size())
        return std::nullopt;
    return number(QByteArrayView(name).sliced(prefix.size(), name.size() - prefix.size() - kRecordEnding.size()));
}

QByteArray EncodeRecovery(const RecoveryRecord &record)
{
    QByteArray out = kMagic.toByteArray() + '\n';
    out += "path " + record.path.toUtf8().toHex() + '\n';
    out += "file " + QByteArray::number(record.file.device) + ' ' + QByteArray::number(record.file.file) + '\n';
    out += "read " + record.checksum + '\n';
    out += "process " + QByteArray::number(record.process) + '\n';
    for (qsizetype i = 0; i < record.seasons.size(); ++i) {
        out += "season " + QByteArray::number(record.seasons[i].slot) + ' ' + QByteArray::number(record.seasons[i].season);
        for (const int value : record.values[i])
            out += ' ' + QByteArray::number(value);
        out += '\n';
    }
    return out + kEnd.toByteArray() + '\n';
}

std::optional<RecoveryRecord> DecodeRecovery(QByteArrayView bytes)
{
    if (bytes.size() > kMaxRecoverySize || !bytes.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> lines = bytes.chopped(1).toByteArray().split('\n');
    if (lines.size() < 6 || lines.front() != kMagic || lines.back() != kEnd)
        return std::nullopt;
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
    record.file = {quint64(*device), quint64(*inode), true, {}};
    record.checksum = read[0];
    record.process = *pid;
    for (qsizetype i = 5; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> parts = fields(i, "season", 2 + kValueCount);
        if (parts.isEmpty())
            return std::nullopt;
        const auto slot = number(parts[0]);
        const auto season = number(parts[1]);
        if (!slot || !season || *slot < 0 || *slot >= kRegionSlots || *season < 0 || *season >= kSeasonCount)
            return std::nullopt;
        const SeasonKey key{int(*slot), int(*season)};
        if (record.seasons.contains(key))
            return std::nullopt;
        SeasonNumbers values{};
        for (const ClimateValue &value : kClimateValues) {
            const auto read = number(parts[2 + value.index]);
            if (!read || !climate::InRange(value, int(*read)))
                return std::nullopt;
            values[std::size_t(value.index)] = int(*read);
        }
        record.seasons << key;
        record.values << values;
    }
    if (record.seasons.isEmpty())
        return std::nullopt;
    return record;
}
