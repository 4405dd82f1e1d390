#include "SavePolicy.h"

#include "ClimateErrors.h"
#include "FileAccess.h"

#include <QCryptographicHash>

namespace climate {

namespace {

constexpr int kAccessDenied = 5;

// Removes the new file again unless it was put in place.
class TemporaryGuard
{
public:
    explicit TemporaryGuard(SaveFileSystem &fs)
        : m_fs(fs)
    {
    }
    TemporaryGuard(const TemporaryGuard &) = delete;
    TemporaryGuard &operator=(const TemporaryGuard &) = delete;
    ~TemporaryGuard()
    {
        if (m_active)
            m_fs.discardTemporary();
    }
    void release() { m_active = false; }

private:
    SaveFileSystem &m_fs;
    bool m_active = true;
};

// 0, an error number, or kNotKept when the file must be written in place instead.
int replaceByRename(SaveFileSystem &fs, QByteArrayView bytes, bool targetExists)
{
    if (fs.createTemporary() != 0)
        return kNotKept; // the folder takes no new file
    TemporaryGuard guard(fs);
    if (const int err = fs.copyIdentity(targetExists))
        return err;
    if (const int err = fs.writeTemporary(bytes))
        return err;
    if (const int err = fs.syncTemporary())
        return err;
    if (const int err = fs.closeTemporary())
        return err;
    if (const int err = fs.replaceTarget())
        return err;
    guard.release();
    fs.syncFolder(); // the new name outlives a crash
    return 0;
}

[[noreturn]] void throwKeptIn(int err, const QString &where)
{
    const EInOutError plain(ioErrorCode(err, FileOperation::Write));
    throw EInOutError(plain.ErrorCode,
                      QStringLiteral("%1. The file's old contents are kept in %2").arg(plain.message(), where));
}

// The old bytes go to a synced backup before a byte of the file changes, and stay there until
// the new bytes are synced; a failure puts the old bytes back.
void overwriteInPlace(SaveFileSystem &fs, QByteArrayView bytes)
{
    Backup backup;
    if (const int err = fs.readTarget(backup.oldBytes))
        throwIoError(err, FileOperation::Read);
    backup.newChecksum = ContentChecksum(bytes);
    if (const int err = fs.writeBackup(backup, backup.where))
        throwIoError(err, FileOperation::Write);

    int err = fs.reserve(bytes.size());
    if (!err)
        err = fs.overwriteTarget(bytes);
    if (!err)
        err = fs.syncTarget();
    if (err) {
        if (fs.overwriteTarget(backup.oldBytes) != 0 || fs.syncTarget() != 0)
            throwKeptIn(err, backup.where);
        fs.removeBackup();
        throwIoError(err, FileOperation::Write);
    }
    fs.removeBackup();
    if (const int closed = fs.closeTarget())
        throwIoError(closed, FileOperation::Write);
}

} // namespace

quint32 ContentChecksum(QByteArrayView bytes)
{
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return quint32(quint8(hash[0])) << 24 | quint32(quint8(hash[1])) << 16 | quint32(quint8(hash[2])) << 8
           | quint32(quint8(hash[3]));
}

SaveOutcome SaveBytes(SaveFileSystem &fs, QByteArrayView bytes, const FileId &opened, bool evenIfChanged)
{
    SaveTarget target;
    if (fs.findTarget(target) != 0 || !target.folderFound)
        return SaveOutcome::ReadOnly;
    const bool changed = opened.known && (!target.exists || target.id != opened);
    if (changed && !evenIfChanged)
        return SaveOutcome::Changed;
    // A folder or a device in the file's place, or a file nobody may write (root included),
    // is read-only; so is whatever the system will not open for writing.
    if (target.exists && (!target.regular || !target.writable))
        return SaveOutcome::ReadOnly;
    bool readable = false;
    if (target.exists) {
        FileId id;
        if (fs.openTarget(readable, id) != 0)
            return SaveOutcome::ReadOnly;
        if (id != target.id && !evenIfChanged)
            return SaveOutcome::Changed; // swapped while we looked
        if (readable)
            RecoverInterruptedSave(fs);
    }
    fs.removeLeftovers();

    // More than one name for the file: a new file would leave the others with the old bytes.
    if (!target.exists || target.links == 1) {
        const int err = replaceByRename(fs, bytes, target.exists);
        if (err == kNotKept && !target.exists)
            return SaveOutcome::ReadOnly;
        if (err != kNotKept) {
            if (err)
                throwIoError(err, FileOperation::Write);
            return SaveOutcome::Saved;
        }
    }
    // In place, a backup of the old bytes must be possible first.
    if (!readable)
        throw EInOutError(kAccessDenied);
    overwriteInPlace(fs, bytes);
    return SaveOutcome::Saved;
}

bool RecoverInterruptedSave(SaveFileSystem &fs)
{
    Backup backup;
    QByteArray now;
    if (fs.findBackup(backup) != 0 || fs.readTarget(now) != 0)
        return false;
    if (now != backup.oldBytes && ContentChecksum(now) != backup.newChecksum) {
        if (fs.overwriteTarget(backup.oldBytes) != 0 || fs.syncTarget() != 0)
            return false;
    }
    return fs.removeBackup() == 0;
}

bool RecoverFile(SaveFileSystem &fs)
{
    SaveTarget target;
    bool readable = false;
    FileId id;
    return fs.findTarget(target) == 0 && target.exists && target.regular && fs.openTarget(readable, id) == 0
           && readable && RecoverInterruptedSave(fs);
}

} // namespace climate
