#pragma once

#include "FileSystem.h"
#include "ValueRules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// One season of one region: a slot of the table and a season index.
struct SeasonKey
{
    int slot = 0;
    int season = 0;
    bool operator==(const SeasonKey &) const = default;
};

// One season of a record: where it was, the region's name there, its values, and the values
// the file held when they were made (what a merge compares the file as it is now with).
struct RecordedSeason
{
    SeasonKey key;
    QByteArray region;
    int namesakes = 1; // how many slots held that name then: a region is found by name only when one did
    SeasonNumbers values{};
    std::optional<SeasonNumbers> base; // unknown in a record of the first form
    bool operator==(const RecordedSeason &) const = default;
};

// Seasons kept but not saved, and the numbers typed into the shown season and not kept, as the
// editor leaves them in the user's cache while they are unsaved: bound to the file they belong
// to (its resolved path, its identity and a checksum of its bytes as read).
struct RecoveryRecord
{
    QString path;
    storage::FileId file;
    QByteArray checksum; // SHA-256 of the file's bytes as read, in hex
    qint64 process = 0;  // the editor that wrote it, for the reader of the cache folder
    QList<RecordedSeason> seasons;
    std::optional<RecordedSeason> typed; // its base is the kept season it was typed over
    bool isEmpty() const { return seasons.isEmpty() && !typed; }
};

inline constexpr qint64 kMaxRecoverySize = 64 * 1024;

QByteArray EncodeRecovery(const RecoveryRecord &record);
// Nothing unless the text is a whole record: every line of its form, every season at most
// once, every value within its bounds, and its closing line.
std::optional<RecoveryRecord> DecodeRecovery(QByteArrayView bytes);

// The checksum a record binds the file's bytes by.
QByteArray RecoveryChecksum(QByteArrayView bytes);
// The start of the names of every record of the file at path (its resolved path): records are
// found by the file they belong to, whichever path led to it.
QByteArray RecoveryPrefix(const QString &path);
// A record's name: the file's prefix and the editor's own mark, made once per editor.
QByteArray RecoveryName(const QString &path, QByteArrayView editor);
// The lock its editor holds on a record while it runs: a record whose lock nobody holds is
// left over.
QByteArray RecoveryLockName(const QByteArray &record);
// Whether name is a record's (not its lock's) of the file with that prefix.
bool IsRecoveryName(const QByteArray &prefix, const QByteArray &name);
