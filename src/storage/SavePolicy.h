#pragma once

#include "FileSystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <exception>

#include <memory>

// How the editor reads and saves a file, written once for every platform over the primitives
// of FileSystem.h, so that the same decisions hold everywhere and a test can make any
// primitive fail or "crash".
namespace storage {

// The largest file read or kept: far above any file the editor works on, so that a huge or
// sparse file is refused at once instead of filling memory.
inline constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

enum class SaveOutcome { Saved, ReadOnly, Changed };

// What a read or a save did to the file on the user's behalf, or met beside a save that
// stands, as facts: the layers above say them in words.
struct Event
{
    enum class Kind : quint8 {
        // Done before the file was read or saved:
        PutBack,              // file was torn by a cut-short save; its old bytes came from where
        NotPutBack,           // file was torn, and its old bytes could not be written back: kept in where
        ChangedSinceCutShort, // file changed since a cut-short save: left; its old bytes are kept in where
        ReplacedPutBack,      // no file after a cut-short replacement: put back from where
        BackupElsewhere,      // where is not the editor's (a folder or a link): the backup went to the cache
        // True of a save that stands:
        NotConfirmed,           // the new bytes are in place, their folder's sync failed (error)
        BackupNotRemoved,       // the backup where stayed (error); emptied, if it could be
        BackupRemovalUnsynced,  // the backup where went, its folder's sync failed (error)
        CloseReported,          // the new bytes are on disk, closing the file failed (error)
        NoLock,                 // saved without a lock, the system could not lock (error)
        NoListing,              // leftovers of earlier saves could not be looked for (error)
    };
    Kind kind;
    QString file;  // the file, as the user knows it
    QString where; // a backup, a kept copy, a name in the way
    SystemError error;
    bool emptied = false;
};

struct SaveReport
{
    SaveOutcome outcome = SaveOutcome::Saved;
    FileId written;        // Saved: the file now under the name, which the next save expects
    QList<Event> notices;  // what was done to the file on the user's behalf before the save
    QList<Event> warnings; // Saved, but the new bytes may not last, or a backup stayed: what is true
    QString target;        // Changed: the file a save would write, a link followed
    QString owner;         // Changed: its owner, where that is another user
    FileId found;          // Changed: that file as it was when asked, which a save "anyway" expects
};

struct Contents
{
    QByteArray bytes;
    FileId id;
    QList<Event> notices; // what was done to the file on the user's behalf before it was read
};

// A read or a save that failed, as a fact: the layers above say it in words.
class Failure : public std::exception
{
public:
    enum class Kind : quint8 {
        System,       // the system's error in an operation
        NotFound,     // no file under the name
        PathNotFound, // no folder where the name says
        FolderGone,   // the file's folder is no longer there (a save)
        NotAFile,     // a folder or a device under the name
        TooLarge,     // size bytes, past kMaxFileSize
        Grown,        // where grew to size bytes since it was opened
        Busy,         // another program's save holds it past every wait
        KeptIn,       // the system's error, and even the old bytes could not be put back: kept in where
        NoBackup,     // in place, and the old bytes cannot be read for a backup
        NoPlaceForBackup, // in place, the folder takes no backup and the cache folder (where) is not
                          // the user's alone
    };

    explicit Failure(Kind kind, SystemError error = {}, FileOperation operation = FileOperation::Read)
        : kind(kind)
        , error(error)
        , operation(operation)
    {
    }
    const char *what() const noexcept override { return "file failure"; }

    Kind kind;
    SystemError error;
    FileOperation operation;
    qint64 size = 0;
    QString where;
};

// What a backup of an overwrite in place records: the file it belongs to, its old bytes
// and the new ones, from which every state a cut-short overwrite leaves can be recognised.
struct BackupRecord
{
    FileId file;
    QByteArray oldBytes;
    QByteArray newBytes;
};

QByteArray EncodeBackup(const BackupRecord &record);

// The digest a FileId carries of the bytes read or written.
QByteArray DigestOf(QByteArrayView bytes);
bool DecodeBackup(QByteArrayView bytes, BackupRecord &record);

// Reads the whole file, after putting right what a cut-short save in place left. Waits a
// moment while another program saves it, then says it is busy; a file larger than
// kMaxFileSize is refused before it is read. Failures are thrown as a Failure.
Contents ReadWhole(FileSystem &fs);

// Makes bytes the file's whole contents and keeps the file itself: replaced by a new file
// renamed over it when that one can carry its identity, otherwise overwritten in place with
// a synced backup of the old bytes. The file holds the old bytes or the new ones whatever
// fails. ReadOnly, with nothing written, when the file may not be written; Changed, with
// nothing written, when the file under the name is not the one expected (another file, none,
// or other bytes: compared once the file is locked), with what it found; a save the user then
// wants anyway expects that, so it writes the file the question named or asks again. An
// unknown expected file is not compared. Any other failure is thrown as a Failure.
SaveReport SaveBytes(FileSystem &fs, QByteArrayView bytes, const FileId &expected);

// Small files of the editor's own in the user's cache folder, such as the unsaved work kept for
// a file. One is written whole or not at all (a new file synced and renamed over the old), and
// read only when it is this user's alone: Foreign when it is not (a link, another owner, open to
// others), and then never read; Damaged when it is larger than limit or cannot be read whole.
enum class RecordState { Missing, Read, Foreign, Damaged };
Result KeepRecord(FileSystem &fs, const QByteArray &name, QByteArrayView bytes);
RecordState ReadRecord(FileSystem &fs, const QByteArray &name, qint64 limit, QByteArray &bytes);
Result DropRecord(FileSystem &fs, const QByteArray &name);
Result RenameRecord(FileSystem &fs, const QByteArray &name, const QByteArray &newName);
Result ListRecords(FileSystem &fs, const QByteArray &prefix, QByteArrayList &names);
QString RecordPath(FileSystem &fs, const QByteArray &name);

// The lock a running editor holds beside its record: made anew and held through fs until fs is
// released or destroyed. A record whose lock nobody holds is left over from an editor that
// ended, whatever became of its process number.
Result HoldRecordLock(FileSystem &fs, const QByteArray &name, File &file);
enum class LockState { Free, Held, Unknown }; // Unknown: the system cannot lock here
LockState RecordLockState(FileSystem &fs, const QByteArray &name);

} // namespace storage
