#include "FileSystem.h"
#include "SystemCalls.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <map>
#include <thread>
#include <utility>

#include <pwd.h>

#include <algorithm>

namespace storage {

SystemCalls systemCalls;

namespace {

SystemCalls &os = systemCalls;

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
    ~Descriptor() { reset(); }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            os.close(m_fd);
        m_fd = fd;
    }
    void swap(Descriptor &other) { std::swap(m_fd, other.m_fd); }

    // 0, or the error number. Linux has closed the descriptor even when close fails.
    int close()
    {
        if (os.close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
            return errno;
        return 0;
    }

private:
    int m_fd;
};

// What an error number means to the policy.
Result resultOf(int err)
{
    const SystemError error = SystemError::posix(err);
    switch (err) {
    case 0: return {};
    case EEXIST: return {Result::Exists, error};
    case ENOENT: return {Result::Missing, error};
    case EWOULDBLOCK: return {Result::Busy, error};
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY: return {Result::Refused, error};
    case ENOSPC:
    case EDQUOT: return {Result::Full, error};
    default: return {Result::Failed, error};
    }
}

Result lastError()
{
    return resultOf(errno);
}

Result check(int returned)
{
    return returned == 0 ? Result() : lastError();
}

FileFacts factsOf(const struct stat &info)
{
    FileFacts facts;
    facts.id = {quint64(info.st_dev), quint64(info.st_ino), true, {}, {}};
    facts.size = info.st_size;
    facts.regular = S_ISREG(info.st_mode);
    facts.writable = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    facts.mine = info.st_uid == ::geteuid();
    // With an ACL the group bits are its mask, which bounds every other entry.
    facts.othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    facts.othersMayRead = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
    return facts;
}

QString userName(uid_t uid)
{
    struct passwd entry{};
    struct passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QFile::decodeName(found->pw_name);
    return QStringLiteral("user %1").arg(uid);
}

// The process's file-creation mask, read without setting it (umask() would change it for
// every thread for a moment): from /proc where there is one, else the usual 022.
mode_t fileCreationMask()
{
    Descriptor status(os.openat(AT_FDCWD, "/proc/self/status", O_RDONLY | O_CLOEXEC, 0));
    char buffer[4096];
    const ssize_t n = status.isOpen() ? os.pread(status.get(), buffer, sizeof buffer - 1, 0) : -1;
    if (n > 0) {
        const QByteArray text(buffer, n);
        const qsizetype at = text.indexOf("\nUmask:");
        bool ok = false;
        const uint mask = at < 0 ? 0 : text.mid(at + 7, text.indexOf('\n', at + 1) - at - 7).trimmed().toUInt(&ok, 8);
        if (ok)
            return mode_t(mask & 0777);
    }
    return 022;
}

// Paths as the system takes them: split into the folder and the name within it.
void splitPath(const QByteArray &path, QByteArray &folder, QByteArray &name)
{
    const qsizetype slash = path.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

// Copies every extended attribute (ACLs and security labels too) and drops those the new file
// got that the old one does not have, such as the entries of a folder's default ACL. False
// when the new file cannot be made to carry exactly the old one's.
bool copyAttributes(int from, int to)
{
    const auto names = [](int fd, QList<QByteArray> &out) {
        ssize_t size = os.flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP; // no attributes on this file system
        QByteArray list(size, '\0');
        size = os.flistxattr(fd, list.data(), std::size_t(list.size()));
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
        if (!wanted.contains(name) && os.fremovexattr(to, name.constData()) != 0)
            return false;
    }
    for (const QByteArray &name : wanted) {
        const ssize_t length = os.fgetxattr(from, name.constData(), nullptr, 0);
        if (length < 0)
            return false;
        QByteArray value(length + 1, '\0');
        const ssize_t got = os.fgetxattr(from, name.constData(), value.data(), std::size_t(value.size()));
        if (got < 0 || os.fsetxattr(to, name.constData(), value.constData(), std::size_t(got), 0) != 0)
            return false;
    }
    return true;
}

// The primitives on POSIX, by handle: the folder is opened once and every name is looked up
// in it, with O_NOFOLLOW wherever a link must not be followed. Paths are bytes.
class PosixFileSystem : public FileSystem
{
public:
    explicit PosixFileSystem(QByteArray path, Waiter wait)
        : m_path(std::move(path))
        , m_wait(std::move(wait))
    {
    }

    // A symbolic link at the name is followed, each step relative to the folder it stands
    // in; a link that leads nowhere gets its file created where it leads.
    Result findTarget(TargetFacts &target) override
    {
        QByteArray folder;
        splitPath(m_path, folder, m_name);
        m_folderPath = folder;
        m_folder.reset(os.openat(AT_FDCWD, folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
        if (!m_folder.isOpen())
            return errno == ENOENT || errno == ENOTDIR ? Result() : lastError();
        for (int hops = 0; hops < 40; ++hops) {
            target.folderFound = true;
            target.name = m_name;
            target.where = pathOf(Place::Folder, m_name);
            struct stat info{};
            if (os.fstatat(m_folder.get(), m_name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                return errno == ENOENT ? Result() : lastError();
            if (!S_ISLNK(info.st_mode)) {
                static_cast<FileFacts &>(target) = factsOf(info);
                target.exists = true;
                target.links = info.st_nlink;
                target.owner = userName(info.st_uid);
                m_owner = info.st_uid;
                m_group = info.st_gid;
                m_mode = info.st_mode;
                return {};
            }
            char buffer[4096];
            const ssize_t n = os.readlinkat(m_folder.get(), m_name.constData(), buffer, sizeof buffer);
            if (n <= 0 || n == ssize_t(sizeof buffer))
                return n < 0 ? lastError() : resultOf(ENAMETOOLONG);
            QByteArray linkFolder;
            splitPath(QByteArray(buffer, n), linkFolder, m_name);
            m_folderPath = linkFolder.startsWith('/') ? linkFolder : m_folderPath + '/' + linkFolder;
            Descriptor next(os.openat(m_folder.get(), linkFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
            if (!next.isOpen()) {
                target.folderFound = false;
                return errno == ENOENT || errno == ENOTDIR ? Result() : lastError();
            }
            m_folder.swap(next);
        }
        return resultOf(ELOOP);
    }

    Result openTarget(Access access, FileFacts &facts) override
    {
        const int mode = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
        Slot &slot = m_files[kTarget];
        slot.fd.reset(os.openat(m_folder.get(), m_name.constData(), mode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
        if (!slot.fd.isOpen())
            return lastError();
        return this->facts(kTarget, facts);
    }

    // A sticky folder lets another user's file be written but not replaced.
    Result replaceTarget(const QByteArray &name, const QByteArray &) override
    {
        return check(os.renameat(m_folder.get(), name.constData(), m_folder.get(), m_name.constData()));
    }

    Result copyIdentity(File file, bool targetExists, IdentityKept &kept) override
    {
        const int fd = m_files[file].fd.get();
        if (!targetExists)
            return check(os.fchmod(fd, 0666 & ~fileCreationMask()));
        struct stat now{};
        if (os.fstat(fd, &now) != 0)
            return lastError();
        kept.owner = (now.st_uid == m_owner && now.st_gid == m_group) || os.fchown(fd, m_owner, m_group) == 0;
        kept.attributes = copyAttributes(m_files[kTarget].fd.get(), fd);
        kept.mode = os.fchmod(fd, m_mode & 07777) == 0;
        return {};
    }

    Result create(Place place, const QByteArray &name, File &file) override
    {
        const int folder = folderOf(place, true);
        if (folder < 0)
            return folderError(place);
        Descriptor fd(os.openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.isOpen())
            return lastError();
        const Result locked = adopt(fd, file, true);
        if (locked.isOk() || noLocksHere(locked))
            return {}; // where the system keeps no locks, the file goes on without one
        os.unlinkat(folder, name.constData(), 0); // nothing is left behind under its name
        release(file);
        return locked;
    }

    // A file system that keeps no locks at all (some network ones), as opposed to a lock held.
    static bool noLocksHere(const Result &result)
    {
        const int err = result.error().number;
        return result.error().origin == SystemError::Posix && (err == ENOLCK || err == EOPNOTSUPP || err == ENOSYS);
    }

    // Unnamed where the file system can make one, so that a save killed now leaves nothing.
    Result createUnnamed(File &file) override
    {
        Descriptor fd(os.openat(m_folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (!fd.isOpen())
            return lastError(); // EISDIR or EOPNOTSUPP where it cannot: a Failed, not a Refused
        return adopt(fd, file, false);
    }

    // Through /proc; without it, by the descriptor itself (which needs a capability).
    Result name(File file, const QByteArray &name) override
    {
        const int fd = m_files[file].fd.get();
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (os.linkat(AT_FDCWD, self.constData(), m_folder.get(), name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return {};
        if (errno != ENOENT)
            return lastError();
        return check(os.linkat(fd, "", m_folder.get(), name.constData(), AT_EMPTY_PATH));
    }

    Result open(Place place, const QByteArray &name, File &file, FileFacts &facts, Access access) override
    {
        const int folder = folderOf(place, false);
        if (folder < 0)
            return folderError(place);
        const int mode = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
        Descriptor fd(os.openat(folder, name.constData(), mode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
        if (!fd.isOpen())
            return lastError(); // a link (ELOOP) is no file of the editor's: Failed
        if (const Result result = adopt(fd, file, false); !result.isOk())
            return result;
        return this->facts(file, facts);
    }

    Result facts(File file, FileFacts &facts) override
    {
        struct stat info{};
        if (os.fstat(m_files[file].fd.get(), &info) != 0)
            return lastError();
        facts = factsOf(info);
        return {};
    }

    // The lock stays on a second descriptor after close(), until release().
    Result lock(File file) override
    {
        Slot &slot = m_files[file];
        if (os.flock(slot.fd.get(), LOCK_EX | LOCK_NB) != 0)
            return lastError();
        // Without the second descriptor the lock would end with close(): no lock, then.
        slot.lock.reset(os.fcntl(slot.fd.get(), F_DUPFD_CLOEXEC, 0));
        if (!slot.lock.isOpen()) {
            const Result result = lastError();
            os.flock(slot.fd.get(), LOCK_UN);
            return result;
        }
        return {};
    }

    Result read(File file, qint64 limit, QByteArray &bytes) override
    {
        const int fd = m_files[file].fd.get();
        bytes.clear();
        char buffer[64 * 1024];
        while (bytes.size() <= limit) {
            const qint64 wanted = std::min<qint64>(qint64(sizeof buffer), limit + 1 - bytes.size());
            const ssize_t n = os.pread(fd, buffer, std::size_t(wanted), off_t(bytes.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? lastError() : Result();
            bytes.append(buffer, n);
        }
        return {};
    }

    // A write that makes no progress without saying why is a write fault.
    Result write(File file, QByteArrayView bytes) override
    {
        const int fd = m_files[file].fd.get();
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = os.pwrite(fd, bytes.data() + done, std::size_t(bytes.size() - done), off_t(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? lastError() : resultOf(EIO);
            done += n;
        }
        return {};
    }

    // A full disk then fails before a byte is changed.
    Result reserve(File file, qint64 size) override
    {
        const int err = size > 0 ? os.fallocate(m_files[file].fd.get(), 0, off_t(size)) : 0;
        return err == EINVAL || err == EOPNOTSUPP || err == ENOSYS ? Result() : resultOf(err);
    }

    Result resize(File file, qint64 size) override
    {
        while (os.ftruncate(m_files[file].fd.get(), off_t(size)) != 0) {
            if (errno != EINTR)
                return lastError();
        }
        return {};
    }

    Result sync(File file) override { return check(os.fdatasync(m_files[file].fd.get())); }
    Result close(File file) override { return resultOf(m_files[file].fd.close()); }
    void release(File file) override { m_files.erase(file); }

    Result rename(Place place, const QByteArray &from, const QByteArray &to) override
    {
        const int folder = folderOf(place, false);
        return folder < 0 ? folderError(place) : check(os.renameat(folder, from.constData(), folder, to.constData()));
    }

    Result remove(Place place, const QByteArray &name) override
    {
        const int folder = folderOf(place, false);
        return folder < 0 ? folderError(place) : check(os.unlinkat(folder, name.constData(), 0));
    }

    Result syncFolder(Place place) override
    {
        const int folder = folderOf(place, false);
        return folder < 0 ? folderError(place) : check(os.fsync(folder));
    }

    Result list(Place place, const QByteArray &prefix, QByteArrayList &names) override
    {
        const int folder = folderOf(place, false);
        if (folder < 0)
            return folderError(place);
        const int copy = os.fcntl(folder, F_DUPFD_CLOEXEC, 0);
        DIR *dir = copy >= 0 ? os.fdopendir(copy) : nullptr;
        if (!dir) {
            const Result result = lastError();
            if (copy >= 0)
                os.close(copy);
            return result;
        }
        os.rewinddir(dir);
        errno = 0;
        while (const dirent *entry = os.readdir(dir)) {
            if (QByteArrayView(entry->d_name).startsWith(prefix))
                names << QByteArray(entry->d_name);
        }
        const Result result = lastError();
        os.closedir(dir);
        return result;
    }

    QString pathOf(Place place, const QByteArray &name) override
    {
        const int folder = folderOf(place, false);
        char buffer[4096];
        const ssize_t n =
            os.readlink(QByteArray("/proc/self/fd/" + QByteArray::number(folder)).constData(), buffer, sizeof buffer);
        QByteArray at = n > 0 ? QByteArray(buffer, n) : place == Place::Folder ? m_folderPath : cachePath();
        return QFile::decodeName(at + '/' + name);
    }

    void pause(int milliseconds) override { Wait(m_wait, milliseconds); }

private:
    struct Slot
    {
        Descriptor fd;
        Descriptor lock;
    };

    Result adopt(Descriptor &fd, File &file, bool locked)
    {
        file = m_nextFile++;
        Slot &slot = m_files[file];
        slot.fd.swap(fd);
        return locked ? lock(file) : Result();
    }

    static QByteArray cachePath() { return QFile::encodeName(CacheFolderPath()); }

    // The folder's descriptor, or -1 with errno set. The cache folder is used only when it is
    // this user's alone: not a link (its last step is not followed), owned by the user, closed to
    // others; otherwise it is Foreign, and its files are never touched.
    int folderOf(Place place, bool create)
    {
        if (place == Place::Folder)
            return m_folder.get();
        if (!m_cache.isOpen() && !m_cacheForeign) {
            const QByteArray folder = cachePath();
            if (create) { // every missing folder of the path, for this user alone
                for (qsizetype slash = folder.indexOf('/', 1); slash > 0; slash = folder.indexOf('/', slash + 1))
                    os.mkdirat(AT_FDCWD, folder.left(slash).constData(), 0700);
                os.mkdirat(AT_FDCWD, folder.constData(), 0700);
            }
            Descriptor cache(os.openat(AT_FDCWD, folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
            struct stat info{};
            if (!cache.isOpen()) {
                m_cacheForeign = errno == ELOOP || errno == ENOTDIR;
                return -1;
            }
            if (os.fstat(cache.get(), &info) != 0)
                return -1;
            m_cacheForeign = info.st_uid != ::geteuid() || (info.st_mode & 077) != 0;
            if (!m_cacheForeign)
                m_cache.swap(cache);
        }
        if (m_cacheForeign)
            errno = EPERM;
        return m_cache.get();
    }

    Result folderError(Place place) const
    {
        return place == Place::Cache && m_cacheForeign ? Result(Result::Foreign, SystemError::posix(EPERM)) : lastError();
    }

    QByteArray m_path;
    QByteArray m_name;
    QByteArray m_folderPath;
    uid_t m_owner = 0;
    gid_t m_group = 0;
    mode_t m_mode = 0;
    Descriptor m_folder;
    Descriptor m_cache;
    bool m_cacheForeign = false;
    std::map<File, Slot> m_files;
    File m_nextFile = kTarget + 1;
    Waiter m_wait;
};

} // namespace

std::unique_ptr<FileSystem> FileSystemFor(const QString &path, Waiter wait)
{
    return std::make_unique<PosixFileSystem>(QFile::encodeName(path), std::move(wait));
}

void PrepareFileAccess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace storage
