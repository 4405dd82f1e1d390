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

// Seasons kept but not saved, as the editor leaves them in the user's cache while they are
// unsaved: bound to the file they belong to (its whole path, its identity and a checksum of its
// bytes as read), so that they are offered back only over the very file they were made on.
struct RecoveryRecord
{
    QString path;
    storage::FileId file;
    QByteArray checksum; // SHA-256 of the file's bytes as read, in hex
    qint64 process = 0;  // the editor that keeps it up to date
    QList<SeasonKey> seasons;
    QList<SeasonNumbers> values;
};

inline constexpr qint64 kMaxRecoverySize = 64 * 1024;

QByteArray EncodeRecovery(const RecoveryRecord &record);
// Nothing unless the text is a whole record: every line of its form, every season a used
// slot's at most once, every value within its bounds, and its closing line.
std::optional<RecoveryRecord> DecodeRecovery(QByteArrayView bytes);

// The checksum a record binds the file's bytes by.
QByteArray RecoveryChecksum(QByteArrayView bytes);
// The record's name in the cache folder: one for each file and each editor working on it.
QByteArray RecoveryName(const QString &path, qint64 process);
// The start every record name of the file has.
QByteArray RecoveryPrefix(const QString &path);
// The editor a record name of the file names; nothing when it is no record name of the file's.
std::optional<qint64> RecoveryProcess(const QString &path, const QByteArray &name);
