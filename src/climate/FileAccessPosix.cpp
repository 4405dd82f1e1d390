#include "FileAccess.h"

#include "ClimateErrors.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace climate {

namespace {

// A descriptor that is closed when it goes out of scope; close() says whether closing worked.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    void swap(Descriptor &other) { std::swap(m_fd, other.m_fd); }

    // 0, or the error number. Linux has closed the descriptor even when close fails.
    int close()
    {
        if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
            return errno;
        return 0;
    }

private:
    int m_fd;
};

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// 0, or the error number. A write that makes no progress without saying why is a write fault.
int writeAll(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, std::size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

int syncData(int fd)
{
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

class PosixReadableFile : public ReadableFile
{
public:
    explicit PosixReadableFile(const QString &path)
        : m_fd(::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        if (!m_fd.isOpen()) {
            const int err = errno;
            // The system says "no such file" for a missing folder too; the editor tells them apart.
            if (err == ENOENT && !QFileInfo(QFileInfo(path).path()).isDir())
                throw EInOutError(3);
            throwIoError(err, FileOperation::Read);
        }
        struct stat info{};
        if (::fstat(m_fd.get(), &info) != 0)
            throwIoError(errno, FileOperation::Read);
        if (!S_ISREG(info.st_mode))
            throwIoError(EACCES, FileOperation::Read);
        m_id = {quint64(info.st_dev), quint64(info.st_ino), true};
        // Kept without blocking: a file reads as usual, and what only looks like one (a kernel
        // log in /proc) answers at once instead of hanging the editor.
    }

    qint64 read(char *buffer, qint64 maxSize) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd.get(), buffer, std::size_t(maxSize));
            if (n >= 0)
                return n;
            if (errno != EINTR)
                throwIoError(errno, FileOperation::Read);
        }
    }

    void rewind() override
    {
        if (::lseek(m_fd.get(), 0, SEEK_SET) != 0)
            throwIoError(errno, FileOperation::Read);
    }

    void close() override
    {
        if (const int err = m_fd.close())
            throwIoError(err, FileOperation::Read);
    }

    FileId identity() const override { return m_id; }

private:
    Descriptor m_fd;
    FileId m_id;
};

// Paths as the system takes them: split into the folder and the name within it.
void splitPath(const QByteArray &path, QByteArray &folder, QByteArray &name)
{
    const qsizetype slash = path.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

QByteArray hex8(quint32 value)
{
    return QByteArray::number(value, 16).rightJustified(8, '0');
}

QByteArray randomSuffix()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(6, '0');
    for (char &c : suffix)
        c = kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return suffix;
}

bool isTemporaryName(const QByteArray &entry, const QByteArray &prefix)
{
    if (entry.size() != prefix.size() + 6 || !entry.startsWith(prefix))
        return false;
    return std::all_of(entry.begin() + prefix.size(), entry.end(), [](char c) { return std::isalnum(uchar(c)); });
}

// The names in a folder held open.
QList<QByteArray> entriesOf(int folder)
{
    QList<QByteArray> entries;
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR *dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0)
            ::close(copy);
        return entries;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir))
        entries << QByteArray(entry->d_name);
    ::closedir(dir);
    return entries;
}

// Where a folder held open is, for a message.
QString pathOf(int folder, const QByteArray &name)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(folder)).constData(), buffer, sizeof buffer);
    const QByteArray at = n > 0 ? QByteArray(buffer, n) : QByteArray(".");
    return QFile::decodeName(at + '/' + name);
}

int readAllFrom(int fd, QByteArray &out)
{
    out.clear();
    char buffer[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        out.append(buffer, n);
        offset += n;
    }
}

// Copies every extended attribute (ACLs and security labels too) and drops those the new file
// got that the old one does not have, such as the entries of a folder's default ACL. False
// when the new file cannot be made to carry exactly the old one's.
bool copyAttributes(int from, int to)
{
    const auto names = [](int fd, QList<QByteArray> &out) {
        ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP; // no attributes on this file system
        QByteArray list(size, '\0');
        size = ::flistxattr(fd, list.data(), std::size_t(list.size()));
        if (size < 0)
            return false;
        list.truncate(size);
        out = list.split('\0');
        out.removeAll(QByteArray());
        return true;
    };
    QList<QByteArray> wanted;
    QList<QByteArray> present;
    if (!names(from, wanted) || !names(to, present))
        return false;
    for (const QByteArray &name : present) {
        if (!wanted.contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    }
    for (const QByteArray &name : wanted) {
        const ssize_t length = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (length < 0)
            return false;
        QByteArray value(length + 1, '\0');
        const ssize_t got = ::fgetxattr(from, name.constData(), value.data(), std::size_t(value.size()));
        if (got < 0 || ::fsetxattr(to, name.constData(), value.constData(), std::size_t(got), 0) != 0)
            return false;
    }
    return true;
}

// Whatever a folder refuses a new file for: the file then has to be written where it is.
bool folderTakesNoFile(int err)
{
    return err == EACCES || err == EPERM || err == EROFS || err == ENOSPC || err == EDQUOT;
}

// The primitives of a save on POSIX, by handle: the folder is opened once and every name is
// looked up in it, with O_NOFOLLOW wherever a link must not be followed. Paths are bytes.
class PosixFileSystem : public SaveFileSystem
{
public:
    explicit PosixFileSystem(QByteArray path)
        : m_path(std::move(path))
    {
    }

    int findTarget(SaveTarget &target) override
    {
        QByteArray folder;
        splitPath(m_path, folder, m_name);
        m_folder.reset(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_folder.isOpen())
            return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        // A symbolic link at the name is followed, each step relative to the folder it stands
        // in; a link that leads nowhere gets its file created where it leads.
        for (int hops = 0; hops < 40; ++hops) {
            target.folderFound = true;
            if (::fstatat(m_folder.get(), m_name.constData(), &m_info, AT_SYMLINK_NOFOLLOW) != 0)
                return errno == ENOENT ? 0 : errno;
            if (!S_ISLNK(m_info.st_mode)) {
                target.exists = true;
                target.regular = S_ISREG(m_info.st_mode);
                target.writable = (m_info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
                target.links = m_info.st_nlink;
                target.id = {quint64(m_info.st_dev), quint64(m_info.st_ino), true};
                return 0;
            }
            char buffer[4096];
            const ssize_t n = ::readlinkat(m_folder.get(), m_name.constData(), buffer, sizeof buffer);
            if (n <= 0 || n == ssize_t(sizeof buffer))
                return n < 0 ? errno : ENAMETOOLONG;
            QByteArray linkFolder;
            splitPath(QByteArray(buffer, n), linkFolder, m_name);
            Descriptor next(::openat(m_folder.get(), linkFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!next.isOpen()) {
                target.folderFound = false;
                return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
            }
            m_folder.swap(next);
        }
        return ELOOP;
    }

    int openTarget(bool &readable, FileId &id) override
    {
        m_target.reset(::openat(m_folder.get(), m_name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        readable = m_target.isOpen();
        if (!readable)
            m_target.reset(::openat(m_folder.get(), m_name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!m_target.isOpen())
            return errno;
        if (::fstat(m_target.get(), &m_info) != 0)
            return errno;
        if (!S_ISREG(m_info.st_mode))
            return EACCES;
        id = {quint64(m_info.st_dev), quint64(m_info.st_ino), true};
        return 0;
    }

    // A new file of this editor that nobody holds locked was left by a save that was killed.
    void removeLeftovers() override
    {
        for (const QByteArray &entry : entriesOf(m_folder.get())) {
            if (!isTemporaryName(entry, temporaryPrefix()))
                continue;
            Descriptor file(::openat(m_folder.get(), entry.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (file.isOpen() && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
                ::unlinkat(m_folder.get(), entry.constData(), 0);
        }
    }

    // Unnamed where the file system can make one, so that a save killed now leaves nothing.
    int createTemporary() override
    {
        m_temp.reset(::openat(m_folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (!m_temp.isOpen()) {
            if (folderTakesNoFile(errno))
                return errno;
            return createNamed(m_folder.get(), m_temp, m_tempName);
        }
        return ::flock(m_temp.get(), LOCK_EX) == 0 ? 0 : errno;
    }

    int copyIdentity(bool targetExists) override
    {
        if (!targetExists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            return ::fchmod(m_temp.get(), 0666 & ~mask) == 0 ? 0 : errno;
        }
        struct stat now{};
        if (::fstat(m_temp.get(), &now) != 0)
            return errno;
        if ((now.st_uid != m_info.st_uid || now.st_gid != m_info.st_gid)
            && ::fchown(m_temp.get(), m_info.st_uid, m_info.st_gid) != 0)
            return kNotKept;
        if (!copyAttributes(m_target.get(), m_temp.get()) || ::fchmod(m_temp.get(), m_info.st_mode & 07777) != 0)
            return kNotKept;
        return 0;
    }

    int writeTemporary(QByteArrayView bytes) override { return writeAll(m_temp.get(), bytes); }
    int syncTemporary() override { return syncData(m_temp.get()); }

    // An unnamed file gets its name now; the lock stays on a second descriptor until the file
    // is in place, so that no other save takes it for a leftover.
    int closeTemporary() override
    {
        if (m_tempName.isEmpty()) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_temp.get());
            for (int attempt = 0; attempt < 100 && m_tempName.isEmpty(); ++attempt) {
                const QByteArray name = temporaryPrefix() + randomSuffix();
                // Through /proc; without it, by the descriptor itself (which needs a capability).
                if (::linkat(AT_FDCWD, self.constData(), m_folder.get(), name.constData(), AT_SYMLINK_FOLLOW) == 0
                    || (errno == ENOENT
                        && ::linkat(m_temp.get(), "", m_folder.get(), name.constData(), AT_EMPTY_PATH) == 0))
                    m_tempName = name;
                else if (errno != EEXIST)
                    return errno;
            }
        }
        m_lock.reset(::fcntl(m_temp.get(), F_DUPFD_CLOEXEC, 0));
        return m_temp.close();
    }

    // A sticky folder lets another user's file be written but not replaced.
    int replaceTarget() override
    {
        if (::renameat(m_folder.get(), m_tempName.constData(), m_folder.get(), m_name.constData()) == 0) {
            m_tempName.clear();
            m_lock.reset();
            return 0;
        }
        return errno == EPERM || errno == EACCES || errno == EBUSY ? kNotKept : errno;
    }

    void syncFolder() override { ::fsync(m_folder.get()); }

    void discardTemporary() override
    {
        if (!m_tempName.isEmpty())
            ::unlinkat(m_folder.get(), m_tempName.constData(), 0);
        m_tempName.clear();
        m_temp.reset();
        m_lock.reset();
    }

    int readTarget(QByteArray &bytes) override { return readAllFrom(m_target.get(), bytes); }

    int writeBackup(const Backup &backup, QString &where) override
    {
        const QByteArray beside = backupPrefix() + hex8(backup.newChecksum);
        int err = writeWhole(m_folder.get(), beside, backup.oldBytes);
        if (err == 0) {
            m_backupFolder.reset(::fcntl(m_folder.get(), F_DUPFD_CLOEXEC, 0));
            m_backupName = beside;
        } else if (folderTakesNoFile(err)) {
            m_backupFolder.reset(openCacheFolder());
            m_backupName = cachePrefix() + hex8(backup.newChecksum) + ".cfg";
            err = m_backupFolder.isOpen() ? writeWhole(m_backupFolder.get(), m_backupName, backup.oldBytes) : errno;
        }
        if (err)
            return err;
        where = pathOf(m_backupFolder.get(), m_backupName);
        return 0;
    }

    int findBackup(Backup &backup) override
    {
        const auto look = [&](int folder, const QByteArray &prefix, qsizetype extra) {
            for (const QByteArray &entry : entriesOf(folder)) {
                if (!entry.startsWith(prefix) || entry.size() != prefix.size() + 8 + extra)
                    continue;
                bool ok = false;
                backup.newChecksum = entry.mid(prefix.size(), 8).toUInt(&ok, 16);
                Descriptor file(::openat(folder, entry.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
                if (!ok || !file.isOpen() || readAllFrom(file.get(), backup.oldBytes) != 0)
                    continue;
                m_backupFolder.reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
                m_backupName = entry;
                backup.where = pathOf(folder, entry);
                return true;
            }
            return false;
        };
        if (look(m_folder.get(), backupPrefix(), 0))
            return 0;
        Descriptor cache(openCacheFolder(false));
        return cache.isOpen() && look(cache.get(), cachePrefix(), 4) ? 0 : ENOENT;
    }

    int removeBackup() override
    {
        if (m_backupName.isEmpty())
            return 0;
        const int result = ::unlinkat(m_backupFolder.get(), m_backupName.constData(), 0) == 0 ? 0 : errno;
        ::fsync(m_backupFolder.get());
        m_backupName.clear();
        return result;
    }

    // A full disk then fails before a byte is changed; a file system that cannot reserve
    // space is written all the same.
    int reserve(qint64 size) override
    {
        const int err = size > 0 ? ::posix_fallocate(m_target.get(), 0, off_t(size)) : 0;
        return err == EINVAL || err == EOPNOTSUPP || err == ENOSYS ? 0 : err;
    }

    int overwriteTarget(QByteArrayView bytes) override
    {
        if (const int err = writeAll(m_target.get(), bytes))
            return err;
        while (::ftruncate(m_target.get(), off_t(bytes.size())) != 0) {
            if (errno != EINTR)
                return errno;
        }
        return 0;
    }

    int syncTarget() override { return syncData(m_target.get()); }
    int closeTarget() override { return m_target.close(); }

private:
    QByteArray temporaryPrefix() const { return '.' + m_name + '.'; }
    QByteArray backupPrefix() const { return '.' + m_name + ".nimbrel-backup-"; }
    QByteArray cachePrefix() const
    {
        return QByteArray::number(quint64(m_info.st_dev)) + '-' + QByteArray::number(quint64(m_info.st_ino)) + '-';
    }

    // A new file under a name the tidy-up knows, locked while this save holds it.
    int createNamed(int folder, Descriptor &file, QByteArray &name) const
    {
        int err = EEXIST;
        for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
            name = temporaryPrefix() + randomSuffix();
            file.reset(::openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (file.isOpen())
                return ::flock(file.get(), LOCK_EX) == 0 ? 0 : errno;
            err = errno;
        }
        name.clear(); // nothing was made under it
        return err;
    }

    // A whole new file by name: written under a temporary name, synced, then renamed, so that
    // a file of that name is always complete.
    int writeWhole(int folder, const QByteArray &name, QByteArrayView bytes) const
    {
        Descriptor file;
        QByteArray temporary;
        int err = createNamed(folder, file, temporary);
        if (err && temporary.isEmpty())
            return err;
        if (!err)
            err = writeAll(file.get(), bytes);
        if (!err)
            err = syncData(file.get());
        Descriptor lock(file.isOpen() ? ::fcntl(file.get(), F_DUPFD_CLOEXEC, 0) : -1);
        if (!err)
            err = file.close();
        if (!err && ::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
            err = errno;
        if (err)
            ::unlinkat(folder, temporary.constData(), 0);
        else
            ::fsync(folder);
        return err;
    }

    // The user's cache folder for Nimbrel ($XDG_CACHE_HOME or ~/.cache, then nimbrel).
    static int openCacheFolder(bool create = true)
    {
        QByteArray base = qgetenv("XDG_CACHE_HOME");
        if (base.isEmpty())
            base = qgetenv("HOME") + "/.cache";
        const QByteArray folder = base + "/nimbrel";
        if (create) {
            ::mkdir(base.constData(), 0700);
            ::mkdir(folder.constData(), 0700);
        }
        return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    QByteArray m_path;
    QByteArray m_name;
    struct stat m_info{};
    Descriptor m_folder;
    Descriptor m_target;
    Descriptor m_temp;
    Descriptor m_lock;
    QByteArray m_tempName;
    Descriptor m_backupFolder;
    QByteArray m_backupName;
};

} // namespace

std::unique_ptr<ReadableFile> OpenForReading(const QString &path)
{
    return std::make_unique<PosixReadableFile>(path);
}

std::unique_ptr<SaveFileSystem> FileSystemFor(const QString &path)
{
    return std::make_unique<PosixFileSystem>(encoded(path));
}

void PrepareFileAccess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

int ioErrorCode(int systemError, FileOperation operation)
{
    const int fault = operation == FileOperation::Read ? kReadFault : kWriteFault;
    switch (systemError) {
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
    case ENXIO:
    case ENODEV:
    case EAGAIN: return 5;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return kDiskFull;
    case 0:
    case EIO: return fault;
    default:
        // The file layer's own codes start at 100: a system number there must not read as one.
        return systemError < kReadBeyondEndOfFile ? systemError : fault;
    }
}

} // namespace climate
