#include "FileAccess.h"

#include "ClimateErrors.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <utility>
#include <vector>

#include <fcntl.h>
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

int readAll(int fd, QByteArray &out)
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

private:
    Descriptor m_fd;
};

// The new file written beside the old one; removed again unless it was renamed into place.
class SiblingFile
{
public:
    explicit SiblingFile(const QByteArray &target)
        : m_folder(folderOf(target))
        , m_path(target.left(target.lastIndexOf('/') + 1) + '.' + target.mid(target.lastIndexOf('/') + 1) + ".XXXXXX")
        , m_fd(::mkostemp(m_path.data(), O_CLOEXEC))
    {
        if (!m_fd.isOpen())
            m_path.clear();
    }
    SiblingFile(const SiblingFile &) = delete;
    SiblingFile &operator=(const SiblingFile &) = delete;
    ~SiblingFile()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

    bool isOpen() const { return m_fd.isOpen(); }
    int fd() const { return m_fd.get(); }
    int close() { return m_fd.close(); }
    const QByteArray &folder() const { return m_folder; }

    int renameTo(const QByteArray &target)
    {
        if (::rename(m_path.constData(), target.constData()) != 0)
            return errno;
        m_path.clear();
        return 0;
    }

private:
    static QByteArray folderOf(const QByteArray &path)
    {
        const qsizetype slash = path.lastIndexOf('/');
        return slash < 0 ? QByteArray(".") : path.left(std::max<qsizetype>(slash, 1));
    }

    QByteArray m_folder;
    QByteArray m_path;
    Descriptor m_fd;
};

// Copies every extended attribute, which carries ACLs and security labels too. False when
// one cannot be copied: the new file would not be the old one.
bool copyAttributes(int from, int to)
{
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP; // no attributes on this file system
    std::vector<char> names(std::size_t(size) + 1, '\0');
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0)
        return false;
    for (const char *name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0)
            return false;
        std::vector<char> value(std::size_t(length) + 1);
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got < 0 || ::fsetxattr(to, name, value.data(), std::size_t(got), 0) != 0)
            return false;
    }
    return true;
}

constexpr int kIdentityNotKept = -1;

// Gives the new file the old one's identity. False when it cannot carry it.
bool takeIdentity(int fd, int oldFd, const struct stat &old)
{
    struct stat info{};
    if (::fstat(fd, &info) != 0)
        return false;
    if ((info.st_uid != old.st_uid || info.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    if (!copyAttributes(oldFd, fd))
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// A new file gets the mode any program's new file gets: read and write as the umask allows.
void takeDefaultMode(int fd)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

// Writes the bytes beside the target and renames them over it: 0, an error number, or
// kIdentityNotKept when the folder takes no new file or the new file could not be made the
// old one (owner, attributes) and the target must be written in place instead.
int replaceByRename(const QByteArray &target, QByteArrayView bytes, int oldFd, const struct stat *old)
{
    SiblingFile sibling(target);
    if (!sibling.isOpen())
        return kIdentityNotKept;
    if (old) {
        if (!takeIdentity(sibling.fd(), oldFd, *old))
            return kIdentityNotKept;
    } else {
        takeDefaultMode(sibling.fd());
    }
    if (const int err = writeAll(sibling.fd(), bytes))
        return err;
    if (const int err = syncData(sibling.fd()))
        return err;
    if (const int err = sibling.close())
        return err;
    if (const int err = sibling.renameTo(target)) {
        // A sticky folder lets the file be written but not replaced by another user's file.
        const bool refused = err == EPERM || err == EACCES || err == EBUSY;
        return refused && old ? kIdentityNotKept : err;
    }
    // The new file is in place; syncing its folder entry only makes that outlive a crash.
    Descriptor folder(::open(sibling.folder().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen())
        ::fsync(folder.get());
    return 0;
}

// Puts the old bytes back after a failed overwrite; best effort, since it follows a failure.
void restore(int fd, const QByteArray &old)
{
    writeAll(fd, old);
    while (::ftruncate(fd, off_t(old.size())) != 0 && errno == EINTR) {
    }
    ::fdatasync(fd);
}

// Overwrites the open file with the bytes, keeping it the same file: 0 or an error number,
// with the old bytes back in place on failure.
int overwriteInPlace(int fd, QByteArrayView bytes)
{
    QByteArray old;
    if (const int err = readAll(fd, old))
        return err;

    // Reserving the space first makes a full disk fail before a byte is changed. A file
    // system that cannot reserve is written all the same.
    const int reserved = bytes.isEmpty() ? 0 : ::posix_fallocate(fd, 0, off_t(bytes.size()));
    if (reserved != 0 && reserved != EINVAL && reserved != EOPNOTSUPP && reserved != ENOSYS) {
        ::ftruncate(fd, off_t(old.size()));
        return reserved;
    }

    int err = writeAll(fd, bytes);
    if (!err && ::ftruncate(fd, off_t(bytes.size())) != 0)
        err = errno;
    if (!err)
        err = syncData(fd);
    if (err)
        restore(fd, old);
    return err;
}

bool noWriteBitForAnybody(const struct stat &info)
{
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::unique_ptr<ReadableFile> OpenForReading(const QString &path)
{
    return std::make_unique<PosixReadableFile>(path);
}

SaveOutcome ReplaceFileContents(const QString &path, QByteArrayView bytes)
{
    // A symbolic link stays: the file it leads to is the one replaced.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QByteArray target = encoded(canonical.isEmpty() ? path : canonical);

    struct stat info{};
    if (::stat(target.constData(), &info) != 0) {
        if (errno != ENOENT)
            return SaveOutcome::ReadOnly;
        // No file yet: it is created, when its folder exists and takes it.
        const int err = replaceByRename(target, bytes, -1, nullptr);
        if (err == kIdentityNotKept)
            return SaveOutcome::ReadOnly;
        if (err)
            throwIoError(err, FileOperation::Write);
        return SaveOutcome::Saved;
    }
    // A folder or a pipe in the file's place, or a mode that grants writing to nobody (which
    // holds for root too), is read-only; so is whatever the system will not open for writing:
    // another user's file, an immutable or append-only file, a read-only mount.
    if (!S_ISREG(info.st_mode) || noWriteBitForAnybody(info))
        return SaveOutcome::ReadOnly;
    int fd = ::open(target.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    const bool readable = fd >= 0;
    if (!readable)
        fd = ::open(target.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    Descriptor file(fd);
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return SaveOutcome::ReadOnly;

    // More than one name for the file: a new file would leave the others with the old bytes.
    if (info.st_nlink == 1) {
        const int err = replaceByRename(target, bytes, file.get(), &info);
        if (err != kIdentityNotKept) {
            if (err)
                throwIoError(err, FileOperation::Write);
            return SaveOutcome::Saved;
        }
    }
    // Writing in place needs the old bytes to put back on failure.
    if (!readable)
        throwIoError(EACCES, FileOperation::Write);
    if (const int err = overwriteInPlace(file.get(), bytes))
        throwIoError(err, FileOperation::Write);
    if (const int err = file.close())
        throwIoError(err, FileOperation::Write);
    return SaveOutcome::Saved;
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
