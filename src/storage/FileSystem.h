#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// The file-system primitives that the save policy (SavePolicy.h) is written over: each is a
// system call or two and reports facts and a typed result, never a decision. One source file
// implements them for each platform (FileAccessPosix.cpp, FileAccessWindows.cpp); tests drive
// the policy with primitives of their own.
namespace storage {

// Which file a name led to: the same numbers are the same file (device and inode; volume
// serial number and file index on Windows). Where the policy read or wrote the file it also
// holds the bytes' digest, so that a file written in place since reads as another one; the
// primitives leave it empty.
struct FileId
{
    quint64 device = 0;
    quint64 file = 0;
    bool known = false;
    QByteArray digest;
    QString where; // no file: where the name led then (itself, or a link that leads nowhere yet)

    bool operator==(const FileId &) const = default;
    bool sameFile(const FileId &other) const { return known == other.known && device == other.device && file == other.file; }

    // No file under the name: what a save expects when the user chose to write one anew.
    static FileId absent() { return {0, 0, true, {}, {}}; }
};

// A system's own error number, with the system it comes from: errno on POSIX, an error code
// on Windows. The two share small numbers (4 is EINTR to one and "too many open files" to the
// other), so each is read only as what it is.
struct SystemError
{
    enum Origin : quint8 { None, Posix, Windows };
    Origin origin = None;
    int number = 0;

    static constexpr SystemError posix(int number) { return {Posix, number}; }
    static constexpr SystemError windows(unsigned long number) { return {Windows, int(number)}; }
    bool operator==(const SystemError &) const = default;
};

// Whether a failed operation was reading or writing: the same system error is a read fault on
// the one and a write fault on the other.
enum class FileOperation { Read, Write };

// What a primitive did, in the few kinds the policy tells apart, with the system's error for
// the message.
class Result
{
public:
    enum Kind : quint8 {
        Ok,
        Refused, // the system will not do it here (rights, a read-only folder, a sticky folder,
                 // an owner that cannot be given)
        Full,    // no room: the disk, or the user's quota, is full
        Busy,    // another program holds the file, and may let go of it in a moment
        Exists,  // the name is taken
        Missing, // nothing stands under the name
        Foreign, // the editor's cache folder is not this user's alone (a link, another owner,
                 // open to others): it is not used
        Failed,  // any other failure
    };

    constexpr Result() = default;
    constexpr Result(Kind kind, SystemError error)
        : m_kind(kind)
        , m_error(error)
    {
    }

    Kind kind() const { return m_kind; }
    SystemError error() const { return m_error; }
    bool isOk() const { return m_kind == Ok; }

private:
    Kind m_kind = Ok;
    SystemError m_error;
};

// Where a file of the policy's own stands: beside the file, or in the user's cache folder
// for the editor (made on first use, for this user alone).
enum class Place : quint8 { Folder, Cache };

enum class Access : quint8 { Read, ReadWrite, Write };

// A file the primitives hold open; the file being saved is always kTarget.
using File = int;
inline constexpr File kTarget = 0;

struct FileFacts
{
    FileId id;
    qint64 size = 0;
    bool regular = false;        // a plain file: not a folder, a device, a pipe or a socket
    bool writable = false;       // some write permission at all (a mode bit; no read-only attribute)
    bool mine = false;           // owned by the user the editor runs as
    bool othersMayWrite = false; // another user may change it
    bool othersMayRead = false;  // another user may read it (POSIX mode bits)
    bool heldByWriter = false;   // another program holds it open in a way that lets it be written
                                 // but not replaced (Windows; C's fopen there)
};

// Which parts of the old file's identity a new file could be given.
struct IdentityKept
{
    bool owner = true;      // owner and group
    bool attributes = true; // extended attributes, ACLs exactly; Windows' file attributes
    bool mode = true;

    bool all() const { return owner && attributes && mode; }
};

// What a save finds at the file's name, a symbolic link followed.
struct TargetFacts : FileFacts
{
    bool folderFound = false;
    bool exists = false;
    quint64 links = 1;
    QByteArray name; // its name in the folder it stands in
    QString where;   // its whole path, for the user
    QString owner;   // its owner's name, for the user
};

// One object serves one read, save or recovery of one file. Every call works relative to the
// folder that findTarget() opened; names are bytes, as the system spells them.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    virtual Result findTarget(TargetFacts &target) = 0;
    virtual Result openTarget(Access access, FileFacts &facts) = 0; // never blocks, never follows a link
    // The file called name in the folder takes the file's place under its name. Where the
    // system moves the old file aside first (Windows), it goes to replacedName, and stays there
    // only when the replacement is cut short.
    virtual Result replaceTarget(const QByteArray &name, const QByteArray &replacedName) = 0;
    // The file's owner, group, mode and extended attributes (exactly the old ACLs) on a new
    // file, and which of them it took; a new file's default mode when there is no file yet.
    virtual Result copyIdentity(File file, bool targetExists, IdentityKept &kept) = 0;

    virtual Result create(Place place, const QByteArray &name, File &file) = 0; // new, for this user alone, locked
    virtual Result createUnnamed(File &file) = 0; // in the folder, named only by name() (not everywhere)
    virtual Result name(File file, const QByteArray &name) = 0;
    // An existing file of the editor's own, never through a link: for reading unless asked.
    virtual Result open(Place place, const QByteArray &name, File &file, FileFacts &facts, Access access = Access::Read) = 0;
    virtual Result facts(File file, FileFacts &facts) = 0;
    virtual Result lock(File file) = 0; // at once or Busy; held until release()
    virtual Result read(File file, qint64 limit, QByteArray &bytes) = 0; // from the start, at most limit + 1 bytes
    virtual Result write(File file, QByteArrayView bytes) = 0;           // from the start
    virtual Result reserve(File file, qint64 size) = 0; // Ok where space cannot be reserved ahead
    virtual Result resize(File file, qint64 size) = 0;
    virtual Result sync(File file) = 0;
    virtual Result close(File file) = 0; // reports what closing found; a lock stays until release()
    virtual void release(File file) = 0;

    virtual Result rename(Place place, const QByteArray &from, const QByteArray &to) = 0;
    virtual Result remove(Place place, const QByteArray &name) = 0;
    virtual Result syncFolder(Place place) = 0;
    virtual Result list(Place place, const QByteArray &prefix, QByteArrayList &names) = 0;
    virtual QString pathOf(Place place, const QByteArray &name) = 0;
    virtual void pause(int milliseconds) = 0;
};

// How a wait for another program (its lock, a file it holds a moment, up to about two seconds)
// is passed. Without one the thread sleeps; a program with a window gives one that shows it is
// busy and keeps the window painted meanwhile.
using Waiter = std::function<void(int milliseconds)>;
void Wait(const Waiter &wait, int milliseconds);

// The user's cache folder for the editor's own files, made on first use: $XDG_CACHE_HOME (or
// ~/.cache) then nimbrel; on Windows %LOCALAPPDATA%\nimbrel. Both platforms' primitives use it.
QString CacheFolderPath();

// The platform's primitives for the file at path; their pause() waits by wait.
std::unique_ptr<FileSystem> FileSystemFor(const QString &path, Waiter wait = {});

// Once at start-up: a file-size limit then ends a write with "Disk full" instead of
// ending the program, and the system shows no dialogs of its own.
void PrepareFileAccess();

} // namespace storage
