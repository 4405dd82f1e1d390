#include "SavePolicy.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <optional>

namespace storage {

namespace {

// A backup holds the old and the new bytes, so it may be twice as large as a file.
constexpr qint64 kMaxBackupSize = 2 * kMaxFileSize + 4096;
constexpr QByteArrayView kBackupMagic = "NIMBREL-BACKUP 2";

// Waits for another program's save of the same file: about two seconds, in short steps.
constexpr int kLockAttempts = 40;
// A virus scanner or a search indexer that reads the new file holds it for a moment.
constexpr int kReplaceAttempts = 20;
constexpr int kPauseMs = 50;

// The marks on the names of the editor's own files; no other program uses them.
QByteArray temporaryPrefix(Place place, const TargetFacts &target)
{
    return place == Place::Folder ? '.' + target.name + ".nimbrel-tmp-" : QByteArray("nimbrel-tmp-");
}
constexpr qsizetype kRandomLength = 6;

QByteArray backupStem(Place place, const TargetFacts &target, const FileId &id)
{
    if (place == Place::Folder)
        return '.' + target.name + ".nimbrel-";
    return QByteArray::number(id.device) + '-' + QByteArray::number(id.file) + ".nimbrel-";
}

QByteArray backupName(Place place, const TargetFacts &target, const FileId &id)
{
    return backupStem(place, target, id) + "backup";
}

// Where Windows moves the old file aside while it replaces it: a name of the editor's own that
// outlives the replacement only when that is cut short.
QByteArray replacedName(const TargetFacts &target)
{
    return '.' + target.name + ".nimbrel-replaced";
}

QByteArray randomSuffix()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(kRandomLength, '0');
    for (char &c : suffix)
        c = kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return suffix;
}

QByteArray checksum(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

[[noreturn]] void throwWrite(const Result &result)
{
    throw Failure(Failure::Kind::System, result.error(), FileOperation::Write);
}

[[noreturn]] void throwRead(const Result &result)
{
    throw Failure(Failure::Kind::System, result.error(), FileOperation::Read);
}

[[noreturn]] void fail(Failure::Kind kind, qint64 size = 0, const QString &where = {})
{
    Failure failure(kind);
    failure.size = size;
    failure.where = where;
    throw failure;
}

Event event(Event::Kind kind, const QString &file, const QString &where = {}, SystemError error = {})
{
    return {kind, file, where, error, false};
}

void refuseIfTooLarge(qint64 size)
{
    if (size > kMaxFileSize)
        fail(Failure::Kind::TooLarge, size);
}

// Where a new file cannot go into a folder, refused or for want of room, the file can still
// be written in place (the new bytes may fit where the old ones are), and a backup can go
// to the cache.
bool noNewFileThere(const Result &result)
{
    return result.kind() == Result::Refused || result.kind() == Result::Full;
}

// Forgets a file of the policy's own when it goes out of scope, and removes it again unless
// it was kept.
class FileGuard
{
public:
    FileGuard(FileSystem &fs, Place place)
        : m_fs(fs)
        , m_place(place)
    {
    }
    FileGuard(const FileGuard &) = delete;
    FileGuard &operator=(const FileGuard &) = delete;
    ~FileGuard()
    {
        if (m_open)
            m_fs.release(file);
        if (!name.isEmpty())
            m_fs.remove(m_place, name);
    }
    void opened() { m_open = true; }
    void keep() { name.clear(); }

    File file = -1;
    QByteArray name; // removed again unless kept

private:
    FileSystem &m_fs;
    Place m_place;
    bool m_open = false;
};

// Gives take() fresh names of the editor's own until one is free; taken is the one it took.
template <typename Take>
Result underFreshName(Place place, const TargetFacts &target, QByteArray &taken, Take take)
{
    Result result(Result::Exists, {});
    for (int attempt = 0; attempt < 100 && result.kind() == Result::Exists; ++attempt) {
        const QByteArray name = temporaryPrefix(place, target) + randomSuffix();
        result = take(name);
        if (result.isOk())
            taken = name;
    }
    return result;
}

// A new file under a name of the editor's own, locked while it is written.
Result createTemporary(FileSystem &fs, Place place, const TargetFacts &target, FileGuard &guard)
{
    return underFreshName(place, target, guard.name, [&](const QByteArray &name) {
        const Result result = fs.create(place, name, guard.file);
        if (result.isOk())
            guard.opened();
        return result;
    });
}

// Removes a backup for good: its removal synced, so that a crash does not bring it back.
Result removeBackup(FileSystem &fs, Place place, const QByteArray &name)
{
    const Result result = fs.remove(place, name);
    if (result.isOk())
        fs.syncFolder(place); // a removal lost all the same leaves a backup the next Open removes
    return result;
}

Result writeSyncClose(FileSystem &fs, File file, QByteArrayView bytes)
{
    Result result = fs.write(file, bytes);
    if (result.isOk())
        result = fs.sync(file);
    if (result.isOk())
        result = fs.close(file);
    return result;
}

// A whole new file by name: written under a temporary name, synced, then renamed, so that a
// file of that name is always complete. made, if given, gets which file it is.
Result writeWhole(FileSystem &fs, Place place, const TargetFacts &target, const QByteArray &name, QByteArrayView bytes,
                  FileId *made = nullptr)
{
    FileGuard temporary(fs, place);
    Result result = createTemporary(fs, place, target, temporary);
    FileFacts facts;
    if (result.isOk() && made)
        result = fs.facts(temporary.file, facts);
    if (result.isOk())
        result = writeSyncClose(fs, temporary.file, bytes);
    if (result.isOk())
        result = fs.rename(place, temporary.name, name);
    if (!result.isOk())
        return result;
    temporary.keep();
    if (result = fs.syncFolder(place); !result.isOk()) {
        fs.remove(place, name); // a name that may not outlive a crash is no backup
        return {Result::Failed, result.error()};
    }
    if (made)
        *made = facts.id;
    return {};
}

// Waits while another program's save or recovery holds the file. Ok when locked; a file
// system without locks, or another failure to lock, is what lock() said.
Result lockTarget(FileSystem &fs)
{
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const Result result = fs.lock(kTarget);
        if (result.kind() != Result::Busy)
            return result;
        fs.pause(kPauseMs);
    }
    fail(Failure::Kind::Busy);
}

enum class FileState { Intact, Torn, Other };

// Intact: the old bytes or the new ones. Torn: the new bytes' start over the rest of the old
// ones (zero past their end, where the file was grown first), at the old length, the new one
// or the larger: what an overwrite cut short leaves. Other: anything else, such as an edit.
FileState stateOf(QByteArrayView now, const BackupRecord &record)
{
    const QByteArrayView oldBytes = record.oldBytes;
    const QByteArrayView newBytes = record.newBytes;
    if (now == oldBytes || now == newBytes)
        return FileState::Intact;
    const qsizetype length = now.size();
    if (length != oldBytes.size() && length != newBytes.size() && length != std::max(oldBytes.size(), newBytes.size()))
        return FileState::Other;
    qsizetype written = 0;
    while (written < std::min(length, newBytes.size()) && now[written] == newBytes[written])
        ++written;
    for (qsizetype i = written; i < length; ++i) {
        if (now[i] != (i < oldBytes.size() ? oldBytes[i] : '\0'))
            return FileState::Other;
    }
    return FileState::Torn;
}

Result putBack(FileSystem &fs, QByteArrayView bytes)
{
    Result result = fs.write(kTarget, bytes);
    if (result.isOk())
        result = fs.resize(kTarget, bytes.size());
    if (result.isOk())
        result = fs.sync(kTarget);
    return result;
}

// A backup is used only when it is provably this user's record of a save of this file: owned
// by the user, writable by nobody else, of a size a backup can have, whole.
bool readBackup(FileSystem &fs, Place place, const QByteArray &name, BackupRecord &record)
{
    FileGuard backup(fs, place);
    FileFacts facts;
    if (!fs.open(place, name, backup.file, facts).isOk())
        return false;
    backup.opened();
    QByteArray bytes;
    return facts.regular && facts.mine && !facts.othersMayWrite && facts.size <= kMaxBackupSize
           && fs.read(backup.file, kMaxBackupSize, bytes).isOk() && DecodeBackup(bytes, record);
}

// After a save in place was cut short (the program killed, the power gone): a file torn by
// it gets its old bytes back; a file changed since is left as it is, and the backup is set
// aside under another name where the user is told to find it. Says what it did, if anything.
QList<Event> recover(FileSystem &fs, const TargetFacts &target, const FileId &id, bool mayWrite)
{
    QList<Event> notices;
    QByteArray now;
    bool nowRead = false;
    for (const Place place : {Place::Folder, Place::Cache}) {
        const QByteArray name = backupName(place, target, id);
        BackupRecord record;
        if (!readBackup(fs, place, name, record))
            continue;
        if (!nowRead) {
            if (const Result result = fs.read(kTarget, kMaxFileSize, now); !result.isOk())
                throwRead(result);
            nowRead = true;
        }
        const QString where = fs.pathOf(place, name);
        const FileState state = record.file == id ? stateOf(now, record) : FileState::Other;
        if (state == FileState::Intact) {
            removeBackup(fs, place, name);
            continue;
        }
        if (state == FileState::Torn) {
            const Result result = mayWrite ? putBack(fs, record.oldBytes) : Result(Result::Refused, {});
            if (result.isOk()) {
                now = record.oldBytes;
                removeBackup(fs, place, name);
                notices << event(Event::Kind::PutBack, target.where, where);
            } else {
                notices << event(Event::Kind::NotPutBack, target.where, where);
            }
            continue;
        }
        // Changed since (by hand, by another program, or another file altogether): the backup
        // is never used again, and the old contents stay where the user can find them.
        const QByteArray kept = backupStem(place, target, id) + "kept-" + checksum(record.oldBytes).left(8);
        QString keptIn = where;
        if (writeWhole(fs, place, target, kept, record.oldBytes).isOk() && fs.remove(place, name).isOk())
            keptIn = fs.pathOf(place, kept);
        notices << event(Event::Kind::ChangedSinceCutShort, target.where, keptIn);
    }
    return notices;
}

// A leftover of the editor's own goes only when it is this user's plain file that no running
// save holds.
void removeLeftover(FileSystem &fs, Place place, const QByteArray &name)
{
    FileGuard leftover(fs, place);
    FileFacts facts;
    if (!fs.open(place, name, leftover.file, facts).isOk())
        return;
    leftover.opened();
    if (facts.regular && facts.mine && fs.lock(leftover.file).isOk())
        fs.remove(place, name);
}

// New files of earlier saves that were killed before they were renamed into place; with the
// file in place, the old file a replacement moved aside and was cut short before removing is
// a leftover too. A folder that cannot be listed is what the result says (a cache folder not
// made yet, or not the user's alone and so never used, holds nothing of the editor's to tidy).
Result tidyUp(FileSystem &fs, const TargetFacts &target)
{
    Result failed;
    for (const Place place : {Place::Folder, Place::Cache}) {
        const QByteArray prefix = temporaryPrefix(place, target);
        QByteArrayList names;
        if (const Result listed = fs.list(place, prefix, names); !listed.isOk()) {
            if (listed.kind() != Result::Missing && listed.kind() != Result::Foreign)
                failed = listed;
            continue;
        }
        for (const QByteArray &name : names) {
            if (name.size() == prefix.size() + kRandomLength
                && std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return std::isalnum(uchar(c)); }))
                removeLeftover(fs, place, name);
        }
    }
    if (target.exists)
        removeLeftover(fs, Place::Folder, replacedName(target));
    return failed;
}

// No file under the name, but the old one that a replacement cut short moved aside (Windows):
// it is put back, this user's plain file only. Says so, or nothing.
std::optional<Event> putBackReplaced(FileSystem &fs, const TargetFacts &target)
{
    FileGuard replaced(fs, Place::Folder);
    FileFacts facts;
    if (!fs.open(Place::Folder, replacedName(target), replaced.file, facts).isOk())
        return {};
    replaced.opened();
    if (!facts.regular || !facts.mine || !fs.lock(replaced.file).isOk())
        return {};
    if (!fs.rename(Place::Folder, replacedName(target), target.name).isOk())
        return {};
    fs.syncFolder(Place::Folder);
    return event(Event::Kind::ReplacedPutBack, target.where, fs.pathOf(Place::Folder, replacedName(target)));
}

// Ok, Refused when the file must be written in place instead, or the failure.
Result replaceByRename(FileSystem &fs, QByteArrayView bytes, const TargetFacts &target, SaveReport &report)
{
    FileGuard temporary(fs, Place::Folder);
    Result result = fs.createUnnamed(temporary.file);
    if (result.isOk()) {
        temporary.opened();
        // Locked as a named one is, so that another save's tidy-up leaves it alone once named
        // (where the system cannot lock, a tidy-up cannot take it for a leftover either).
        fs.lock(temporary.file);
    } else if (!noNewFileThere(result)) {
        result = createTemporary(fs, Place::Folder, target, temporary);
    }
    if (!result.isOk())
        return result;
    FileFacts facts;
    IdentityKept kept;
    result = fs.copyIdentity(temporary.file, target.exists, kept);
    // A new file that cannot be given the old one's owner, attributes or mode would change
    // the file: it is written in place instead.
    if (result.isOk() && !kept.all())
        result = {Result::Refused, {}};
    if (result.isOk())
        result = fs.facts(temporary.file, facts);
    if (result.isOk())
        result = fs.write(temporary.file, bytes);
    if (result.isOk())
        result = fs.sync(temporary.file);
    if (result.isOk() && temporary.name.isEmpty()) // an unnamed file gets its name now
        result = underFreshName(Place::Folder, target, temporary.name,
                                [&](const QByteArray &name) { return fs.name(temporary.file, name); });
    if (result.isOk())
        result = fs.close(temporary.file);
    for (int attempt = 1; result.isOk(); ++attempt) {
        result = fs.replaceTarget(temporary.name, replacedName(target));
        if (result.kind() != Result::Busy || attempt == kReplaceAttempts)
            break;
        fs.pause(kPauseMs);
        result = {};
    }
    if (!result.isOk())
        return result;
    temporary.keep();
    report.written = facts.id;
    if (const Result synced = fs.syncFolder(Place::Folder); !synced.isOk())
        report.warnings << event(Event::Kind::NotConfirmed, target.where, {}, synced.error());
    return {};
}

[[noreturn]] void throwKeptIn(const Result &result, const QString &where)
{
    Failure failure(Failure::Kind::KeptIn, result.error(), FileOperation::Write);
    failure.where = where;
    throw failure;
}

// Whether something that is no file at all stands at a name of the editor's own: a folder, a
// device, a link. A free name, or a plain file, is not.
bool strangerAt(FileSystem &fs, Place place, const QByteArray &name)
{
    FileGuard there(fs, place);
    FileFacts facts;
    const Result opened = fs.open(place, name, there.file, facts);
    if (opened.isOk())
        there.opened();
    return opened.isOk() ? !facts.regular : opened.kind() != Result::Missing && opened.kind() != Result::Refused;
}

// A backup that outlived a finished save is emptied, so that it never claims a save was cut
// short; true when done. Only the file this save made is touched.
bool emptyBackup(FileSystem &fs, Place place, const QByteArray &name, const FileId &made)
{
    FileGuard backup(fs, place);
    FileFacts facts;
    if (!fs.open(place, name, backup.file, facts, Access::Write).isOk())
        return false;
    backup.opened();
    return facts.id == made && fs.resize(backup.file, 0).isOk() && fs.sync(backup.file).isOk();
}

// The old bytes go to a synced backup before a byte of the file changes, and stay there until
// the new bytes are synced; a failure puts the old bytes back. Once the new bytes are on disk,
// what fails later is told beside the save, which stands.
void overwriteInPlace(FileSystem &fs, QByteArrayView bytes, const TargetFacts &target, const FileId &id,
                      SaveReport &report)
{
    BackupRecord record{id, {}, bytes.toByteArray()};
    if (const Result result = fs.read(kTarget, kMaxFileSize, record.oldBytes); !result.isOk())
        throwRead(result);
    refuseIfTooLarge(record.oldBytes.size());

    Place place = Place::Folder;
    FileId made;
    Result result(Result::Refused, {});
    if (strangerAt(fs, place, backupName(place, target, id)))
        report.notices << event(Event::Kind::BackupElsewhere, target.where, fs.pathOf(place, backupName(place, target, id)));
    else
        result = writeWhole(fs, place, target, backupName(place, target, id), EncodeBackup(record), &made);
    if (noNewFileThere(result)) { // the folder takes no new file
        place = Place::Cache;
        result = writeWhole(fs, place, target, backupName(place, target, id), EncodeBackup(record), &made);
        if (result.kind() == Result::Foreign)
            fail(Failure::Kind::NoPlaceForBackup, 0, fs.pathOf(place, {}));
    }
    if (!result.isOk())
        throwWrite(result);
    const QByteArray name = backupName(place, target, id);

    result = fs.reserve(kTarget, bytes.size());
    if (result.isOk())
        result = putBack(fs, bytes);
    if (!result.isOk()) {
        if (!putBack(fs, record.oldBytes).isOk())
            throwKeptIn(result, fs.pathOf(place, name));
        fs.remove(place, name); // one left behind holds the bytes the file holds: the next Open removes it
        throwWrite(result);
    }
    report.written = id;
    if (const Result removed = fs.remove(place, name); !removed.isOk()) {
        Event stayed = event(Event::Kind::BackupNotRemoved, target.where, fs.pathOf(place, name), removed.error());
        stayed.emptied = emptyBackup(fs, place, name, made);
        report.warnings << stayed;
    } else if (const Result synced = fs.syncFolder(place); !synced.isOk()) {
        // Back after a crash, it finds the new bytes in the file and is removed by the next Open.
        report.warnings << event(Event::Kind::BackupRemovalUnsynced, target.where, fs.pathOf(place, name), synced.error());
    }
    if (const Result closed = fs.close(kTarget); !closed.isOk())
        report.warnings << event(Event::Kind::CloseReported, target.where, {}, closed.error());
}

} // namespace

QByteArray DigestOf(QByteArrayView bytes)
{
    return checksum(bytes);
}

QByteArray EncodeBackup(const BackupRecord &record)
{
    QByteArray out = kBackupMagic.toByteArray();
    for (const quint64 number : {record.file.device, record.file.file, quint64(record.oldBytes.size()),
                                 quint64(record.newBytes.size())})
        out += ' ' + QByteArray::number(number);
    out += ' ' + checksum(record.oldBytes + record.newBytes) + '\n';
    return out + record.oldBytes + record.newBytes;
}

bool DecodeBackup(QByteArrayView bytes, BackupRecord &record)
{
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0 || end > 256)
        return false;
    const QList<QByteArray> fields = bytes.first(end).toByteArray().split(' ');
    if (fields.size() != 7 || fields[0] + ' ' + fields[1] != kBackupMagic)
        return false;
    bool ok[4] = {};
    const quint64 device = fields[2].toULongLong(&ok[0]);
    const quint64 file = fields[3].toULongLong(&ok[1]);
    const qint64 oldSize = fields[4].toLongLong(&ok[2]);
    const qint64 newSize = fields[5].toLongLong(&ok[3]);
    const QByteArrayView payload = bytes.sliced(end + 1);
    // Each size is checked on its own before they are added, so that no sum can overflow.
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || oldSize < 0 || newSize < 0 || oldSize > payload.size()
        || newSize != payload.size() - oldSize || checksum(payload) != fields[6])
        return false;
    record = {{device, file, true, {}, {}}, payload.first(oldSize).toByteArray(), payload.sliced(oldSize).toByteArray()};
    return true;
}

Contents ReadWhole(FileSystem &fs)
{
    std::optional<Event> putBack;
    for (int attempt = 0;; ++attempt) {
        TargetFacts target;
        if (const Result result = fs.findTarget(target); !result.isOk())
            throwRead(result);
        if (!target.folderFound)
            fail(Failure::Kind::PathNotFound);
        if (!target.exists) {
            if (!putBack && (putBack = putBackReplaced(fs, target)))
                continue;
            fail(Failure::Kind::NotFound);
        }
        if (!target.regular)
            fail(Failure::Kind::NotAFile);
        refuseIfTooLarge(target.size);

        FileFacts facts;
        Result result = fs.openTarget(Access::ReadWrite, facts);
        const bool mayWrite = result.isOk() && target.writable;
        if (!result.isOk())
            result = fs.openTarget(Access::Read, facts);
        if (!result.isOk())
            throwRead(result);
        if (!facts.regular)
            fail(Failure::Kind::NotAFile);
        lockTarget(fs); // where the system cannot lock, the file is read all the same
        // Replaced by another program's save while this one waited: read the new file.
        TargetFacts now;
        if (attempt < 3 && fs.findTarget(now).isOk() && now.exists && now.id != facts.id) {
            fs.release(kTarget);
            continue;
        }

        Contents contents;
        contents.id = facts.id;
        if (putBack)
            contents.notices << *putBack;
        contents.notices << recover(fs, target, facts.id, mayWrite);
        if (result = fs.read(kTarget, kMaxFileSize, contents.bytes); !result.isOk())
            throwRead(result);
        refuseIfTooLarge(contents.bytes.size());
        contents.id.digest = checksum(contents.bytes);
        if (result = fs.close(kTarget); !result.isOk())
            throwRead(result);
        fs.release(kTarget);
        return contents;
    }
}

SaveReport SaveBytes(FileSystem &fs, QByteArrayView bytes, const FileId &expected)
{
    const auto readOnly = [] {
        SaveReport report;
        report.outcome = SaveOutcome::ReadOnly;
        return report;
    };
    SaveReport report;
    TargetFacts target;
    FileFacts facts;
    bool readable = false;
    bool heldByWriter = false;
    for (int attempt = 0;; ++attempt) {
        target = {};
        report = {}; // what an attempt that looks again found is not told twice
        if (const Result result = fs.findTarget(target); !result.isOk())
            throwWrite(result);
        if (!target.folderFound)
            fail(Failure::Kind::FolderGone);
        const auto changed = [&](const FileId &found) {
            report.outcome = SaveOutcome::Changed;
            report.target = target.where;
            report.owner = !target.exists || target.mine ? QString() : target.owner;
            report.found = found;
            return report;
        };
        // No file: what the user said about no file holds only while the name leads where it
        // led then, so a link put there since, or pointed elsewhere, is asked about again.
        if (!target.exists) {
            FileId none = FileId::absent();
            none.where = target.where;
            const bool expectedNone = expected.known && expected.device == 0 && expected.file == 0 && expected.digest.isEmpty();
            if (expected.known && !(expectedNone && (expected.where.isEmpty() || expected.where == none.where)))
                return changed(none);
            break;
        }
        // A folder or a device in the file's place, or a file nobody may write (root included),
        // is read-only; so is a file the system refuses to open for writing.
        // Another file in its place (a pipe, a read-only copy) is a change first, asked about.
        if (expected.known && !expected.sameFile(target.id) && (!target.regular || !target.writable))
            return changed(target.id);
        if (!target.regular || !target.writable)
            return readOnly();
        Result opened = fs.openTarget(Access::ReadWrite, facts);
        readable = opened.isOk();
        // Only a file that may be written and not read is written unread; any other failure
        // to open it is what it is, never taken for a change.
        if (!readable && opened.kind() == Result::Refused)
            opened = fs.openTarget(Access::Write, facts);
        if (opened.kind() == Result::Refused)
            return readOnly();
        if (!opened.isOk())
            throwWrite(opened);
        heldByWriter = facts.heldByWriter;
        if (const Result locked = lockTarget(fs); !locked.isOk())
            report.warnings << event(Event::Kind::NoLock, target.where, {}, locked.error());
        // Swapped while we looked, or by the save we waited for: look again.
        TargetFacts now;
        const bool same = fs.findTarget(now).isOk() && now.exists && now.id == facts.id && facts.id == target.id;
        if (!same && attempt < 3) {
            fs.release(kTarget);
            continue;
        }
        // Compared with what was expected once locked, bytes included: a program that wrote in
        // place since is seen as well as one that put another file there.
        if (const Result result = fs.facts(kTarget, facts); !result.isOk())
            throwRead(result);
        if (facts.size > kMaxFileSize) {
            fs.release(kTarget);
            fail(Failure::Kind::Grown, facts.size, target.where);
        }
        FileId found = facts.id;
        if (readable) {
            QByteArray current;
            if (const Result result = fs.read(kTarget, kMaxFileSize, current); !result.isOk())
                throwRead(result);
            found.digest = checksum(current);
        }
        if (expected.known && (expected != found || !same)) {
            fs.release(kTarget);
            return changed(found);
        }
        if (readable)
            report.notices << recover(fs, target, facts.id, true);
        break;
    }
    if (const Result tidied = tidyUp(fs, target); !tidied.isOk())
        report.warnings << event(Event::Kind::NoListing, target.where, {}, tidied.error());

    // More than one name for the file: a new file would leave the others with the old bytes;
    // held by a program that writes it, it cannot be replaced.
    if (!target.exists || (target.links == 1 && !heldByWriter)) {
        const Result result = replaceByRename(fs, bytes, target, report);
        if (result.kind() == Result::Refused && !target.exists)
            return readOnly();
        if (!noNewFileThere(result) || !target.exists) {
            if (!result.isOk())
                throwWrite(result);
            fs.release(kTarget);
            report.written.digest = checksum(bytes);
            return report;
        }
    }
    // In place, a backup of the old bytes must be possible first.
    if (!readable)
        fail(Failure::Kind::NoBackup);
    overwriteInPlace(fs, bytes, target, facts.id, report);
    fs.release(kTarget);
    report.written.digest = checksum(bytes);
    return report;
}

Result KeepRecord(FileSystem &fs, const QByteArray &name, QByteArrayView bytes)
{
    return writeWhole(fs, Place::Cache, TargetFacts(), name, bytes);
}

RecordState ReadRecord(FileSystem &fs, const QByteArray &name, qint64 limit, QByteArray &bytes)
{
    FileGuard record(fs, Place::Cache);
    FileFacts facts;
    const Result opened = fs.open(Place::Cache, name, record.file, facts);
    if (opened.kind() == Result::Missing)
        return RecordState::Missing;
    if (!opened.isOk())
        return RecordState::Foreign; // a link is not followed, and is no record of this user's
    record.opened();
    if (!facts.regular || !facts.mine || facts.othersMayWrite || facts.othersMayRead)
        return RecordState::Foreign;
    if (facts.size > limit || !fs.read(record.file, limit, bytes).isOk() || bytes.size() > limit)
        return RecordState::Damaged;
    return RecordState::Read;
}

Result DropRecord(FileSystem &fs, const QByteArray &name)
{
    const Result result = fs.remove(Place::Cache, name);
    return result.kind() == Result::Missing ? Result() : result;
}

Result RenameRecord(FileSystem &fs, const QByteArray &name, const QByteArray &newName)
{
    return fs.rename(Place::Cache, name, newName);
}

Result ListRecords(FileSystem &fs, const QByteArray &prefix, QByteArrayList &names)
{
    const Result result = fs.list(Place::Cache, prefix, names);
    return result.kind() == Result::Missing ? Result() : result;
}

QString RecordPath(FileSystem &fs, const QByteArray &name)
{
    return fs.pathOf(Place::Cache, name);
}

Result HoldRecordLock(FileSystem &fs, const QByteArray &name, File &file)
{
    fs.remove(Place::Cache, name); // a lock of this name is this editor's own: none can be held
    return fs.create(Place::Cache, name, file);
}

LockState RecordLockState(FileSystem &fs, const QByteArray &name)
{
    FileGuard lock(fs, Place::Cache);
    FileFacts facts;
    const Result opened = fs.open(Place::Cache, name, lock.file, facts);
    if (opened.kind() == Result::Missing)
        return LockState::Free;
    if (opened.kind() == Result::Busy) // held open without sharing (Windows)
        return LockState::Held;
    if (!opened.isOk())
        return LockState::Unknown;
    lock.opened();
    const Result locked = fs.lock(lock.file);
    if (locked.isOk())
        return LockState::Free;
    return locked.kind() == Result::Busy ? LockState::Held : LockState::Unknown;
}

} // namespace storage
