#pragma once

#include "FileSystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

// How the editor reads and saves a file, written once for every platform over the primitives
// of FileSystem.h, so that the same decisions hold everywhere and a test can make any
// primitive fail or "crash".
namespace storage {

// The largest file read or kept: far above any file the editor works on, so that a huge or
// sparse file is refused at once instead of filling memory.
inline constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

enum class SaveOutcome { Saved, ReadOnly, Changed };

struct SaveReport
{
    SaveOutcome outcome = SaveOutcome::Saved;
    FileId written;  // Saved: the file now under the name, which the next save expects
    QString notice;  // what was done to the file on the user's behalf before the save
    QString warning; // Saved, but the new bytes may not last, or a backup stayed: what is true
    QString target;  // Changed: the file a save would write, a link followed
    QString owner;   // Changed: its owner, where that is another user
    FileId found;    // Changed: that file as it was when asked, which a save "anyway" expects
};

struct Contents
{
    QByteArray bytes;
    FileId id;
    QString notice; // what was done to the file on the user's behalf before it was read
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
// kMaxFileSize is refused before it is read. Failures are thrown as EInOutError.
Contents ReadWhole(FileSystem &fs);

// Makes bytes the file's whole contents and keeps the file itself: replaced by a new file
// renamed over it when that one can carry its identity, otherwise overwritten in place with
// a synced backup of the old bytes. The file holds the old bytes or the new ones whatever
// fails. ReadOnly, with nothing written, when the file may not be written; Changed, with
// nothing written, when the file under the name is not the one expected (another file, none,
// or other bytes: compared once the file is locked), with what it found; a save the user then
// wants anyway expects that, so it writes the file the question named or asks again. An
// unknown expected file is not compared. Any other failure is thrown as an EInOutError.
SaveReport SaveBytes(FileSystem &fs, QByteArrayView bytes, const FileId &expected);

// Small files of the editor's own in the user's cache folder, such as the unsaved work kept for
// a file. One is written whole or not at all (a new file synced and renamed over the old), and
// read only when it is this user's alone, of at most limit bytes: Foreign when it is not (a
// link, another owner, writable by others, too large), and then never read.
enum class RecordState { Missing, Read, Foreign };
Result KeepRecord(FileSystem &fs, const QByteArray &name, QByteArrayView bytes);
RecordState ReadRecord(FileSystem &fs, const QByteArray &name, qint64 limit, QByteArray &bytes);
Result DropRecord(FileSystem &fs, const QByteArray &name);
Result RenameRecord(FileSystem &fs, const QByteArray &name, const QByteArray &newName);
Result ListRecords(FileSystem &fs, const QByteArray &prefix, QByteArrayList &names);
QString RecordPath(FileSystem &fs, const QByteArray &name);

} // namespace storage
