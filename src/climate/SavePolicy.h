#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// How the editor saves weather.cfg, written once for every platform over a small set of
// file-system primitives (FileAccessPosix.cpp, FileAccessWindows.cpp), so that the same
// decisions hold everywhere and a test can make any primitive fail or "crash".
namespace climate {

// Which file a name led to: the same numbers are the same file (device and inode; volume
// serial number and file index on Windows).
struct FileId
{
    quint64 device = 0;
    quint64 file = 0;
    bool known = false;

    bool operator==(const FileId &) const = default;
};

// What a save finds at the file's name, a symbolic link followed.
struct SaveTarget
{
    bool folderFound = false;
    bool exists = false;
    bool regular = false;
    bool writable = false; // some write permission at all (a mode bit; no read-only attribute)
    quint64 links = 1;
    FileId id;
};

// The old bytes of an overwrite in place, kept until the new ones are safely on disk.
struct Backup
{
    QByteArray oldBytes;
    quint32 newChecksum = 0; // of the bytes that were being written
    QString where;
};

enum class SaveOutcome { Saved, ReadOnly, Changed };

// A primitive that cannot keep the file itself (identity not copyable, the folder takes no new
// file, or will not let it be replaced) says so with kNotKept; the file is then written in place.
inline constexpr int kNotKept = -1;

// Each returns 0 or the system's error number, unless it says otherwise. One object serves
// one save (or one recovery) of one file: the folder is opened once, by findTarget(), and
// everything after works relative to it.
class SaveFileSystem
{
public:
    virtual ~SaveFileSystem() = default;

    virtual int findTarget(SaveTarget &target) = 0;
    // Opens the file found for writing (and reading, when readable comes back true); id is
    // the file that was opened.
    virtual int openTarget(bool &readable, FileId &id) = 0;
    // New files of earlier saves that were killed before they were renamed into place.
    virtual void removeLeftovers() = 0;

    virtual int createTemporary() = 0;
    // The old file's owner, group, mode and extended attributes (ACLs exactly the old ones);
    // a new file's default mode when there is no old file.
    virtual int copyIdentity(bool targetExists) = 0;
    virtual int writeTemporary(QByteArrayView bytes) = 0;
    virtual int syncTemporary() = 0;
    virtual int closeTemporary() = 0;
    virtual int replaceTarget() = 0;
    virtual void syncFolder() = 0;
    virtual void discardTemporary() = 0;

    virtual int readTarget(QByteArray &bytes) = 0;
    // Writes, syncs and names the backup, beside the file or, where its folder takes no new
    // file, in the user's cache folder; a backup with its final name is always whole.
    virtual int writeBackup(const Backup &backup, QString &where) = 0;
    virtual int findBackup(Backup &backup) = 0; // ENOENT when there is none
    virtual int removeBackup() = 0;
    virtual int reserve(qint64 size) = 0; // 0 where space cannot be reserved ahead
    virtual int overwriteTarget(QByteArrayView bytes) = 0; // from the start, then cut to size
    virtual int syncTarget() = 0;
    virtual int closeTarget() = 0;
};

// Makes bytes the file's whole contents and keeps the file itself: replaced by a new file
// renamed over it when that one can carry its identity, otherwise overwritten in place with
// a synced backup of the old bytes. The file holds the old bytes or the new ones whatever
// fails; a crash in place leaves the backup, which the next Open puts back. ReadOnly, with
// nothing written, when the file may not be written; Changed, with nothing written, when
// the name leads to another file than the one opened (unless evenIfChanged); any other
// failure is thrown as an EInOutError.
SaveOutcome SaveBytes(SaveFileSystem &fs, QByteArrayView bytes, const FileId &opened, bool evenIfChanged);

// After a save in place was cut short (the program killed, the power gone): a file that holds
// neither its old bytes nor the new ones gets the old ones back from the backup, and the
// backup goes. True when a backup was dealt with.
bool RecoverInterruptedSave(SaveFileSystem &fs);
// The same for a file not yet opened, as Open does before it reads; quietly does nothing
// where the file cannot be written.
bool RecoverFile(SaveFileSystem &fs);

quint32 ContentChecksum(QByteArrayView bytes);

} // namespace climate
