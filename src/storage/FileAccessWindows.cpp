#include "FileSystem.h"
#include "SystemCalls.h"

#include <QDir>
#include <QFileInfo>

#include <map>
#include <utility>

#include <aclapi.h>
#include <sddl.h>

namespace storage {

SystemCalls systemCalls;

namespace {

SystemCalls &os = systemCalls;

// A handle that is closed when it goes out of scope; close() says whether closing worked.
class Handle
{
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE)
        : m_handle(handle)
    {
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { reset(); }

    HANDLE get() const { return m_handle; }
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (isOpen())
            os.closeHandle(m_handle);
        m_handle = handle;
    }

    // 0, or the system's error code.
    DWORD close() { return os.closeHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE)) ? 0 : ::GetLastError(); }

private:
    HANDLE m_handle;
};

// A path as the system takes it. One too long for the classic limit (a game folder deep in
// a user's folders) is given whole with the \\?\ prefix, which takes it as it stands, so that
// it works with long paths off too.
std::wstring nativePath(const QString &path)
{
    constexpr qsizetype kClassicLimit = MAX_PATH - 12; // what a folder may have for files in it
    const QString absolute = QDir::toNativeSeparators(QDir::cleanPath(QDir(path).absolutePath()));
    if (absolute.size() < kClassicLimit || absolute.startsWith(QLatin1String("\\\\?\\")))
        return QDir::toNativeSeparators(path).toStdWString();
    if (absolute.startsWith(QLatin1String("\\\\")))
        return (QStringLiteral("\\\\?\\UNC\\") + absolute.mid(2)).toStdWString();
    return (QStringLiteral("\\\\?\\") + absolute).toStdWString();
}

// What a system error code means to the policy.
Result resultOf(DWORD err)
{
    const SystemError error = SystemError::windows(err);
    switch (err) {
    case 0: return {};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return {Result::Exists, error};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return {Result::Missing, error};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return {Result::Busy, error};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return {Result::Refused, error};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {Result::Full, error};
    default: return {Result::Failed, error};
    }
}

// The last error, or fallback where a call failed without saying why.
Result lastError(DWORD fallback)
{
    const DWORD err = ::GetLastError();
    return resultOf(err ? err : fallback);
}

Result seek(HANDLE file, qint64 offset)
{
    LARGE_INTEGER at;
    at.QuadPart = offset;
    return os.setFilePointer(file, at, nullptr, FILE_BEGIN) ? Result() : lastError(ERROR_SEEK);
}

Result resizeTo(HANDLE file, qint64 size)
{
    if (const Result result = seek(file, size); !result.isOk())
        return result;
    return os.setEndOfFile(file) ? Result() : lastError(ERROR_WRITE_FAULT);
}

// The user the editor runs as, and whether a security identifier is one that may do
// anything anyway (the system itself, the administrators).
struct Token
{
    QByteArray user;

    Token()
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        QByteArray buffer(int(size), '\0');
        if (::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
            const PSID sid = reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
            user = QByteArray(static_cast<const char *>(sid), int(::GetLengthSid(sid)));
        }
        ::CloseHandle(token);
    }

    bool isUser(PSID sid) const
    {
        return !user.isEmpty() && ::EqualSid(sid, const_cast<char *>(user.constData()));
    }
    static bool isTrusted(PSID sid)
    {
        return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
    }
};

const Token &token()
{
    static const Token current;
    return current;
}

QString accountName(PSID sid)
{
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return QString::fromWCharArray(name);
    LPWSTR text = nullptr;
    QString shown = QStringLiteral("another user");
    if (::ConvertSidToStringSidW(sid, &text)) {
        shown = QString::fromWCharArray(text);
        ::LocalFree(text);
    }
    return shown;
}

// Who owns the file, and whether anyone but its user, the system and the administrators
// may change it by its access list.
void ownershipOf(HANDLE file, FileFacts &facts, QString *owner = nullptr)
{
    PSID ownerSid = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (os.getSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &ownerSid,
                          nullptr, &dacl, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return; // unknown: neither mine nor safe
    facts.mine = ownerSid && token().isUser(ownerSid);
    if (owner && ownerSid)
        *owner = accountName(ownerSid);
    constexpr DWORD kWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    facts.othersMayWrite = !dacl; // no list at all lets everyone in
    for (DWORD i = 0; dacl && i < dacl->AceCount && !facts.othersMayWrite; ++i) {
        ACE_HEADER *ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void **>(&ace)) || ace->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        const auto *allowed = reinterpret_cast<ACCESS_ALLOWED_ACE *>(ace);
        const PSID sid = const_cast<DWORD *>(&allowed->SidStart);
        facts.othersMayWrite = (allowed->Mask & kWrites) && !token().isUser(sid) && !Token::isTrusted(sid)
                               && !::IsWellKnownSid(sid, WinCreatorOwnerSid);
    }
    ::LocalFree(descriptor);
}

// Volume and index name a file on Windows, as device and inode do elsewhere.
Result factsOf(HANDLE file, FileFacts &facts, BY_HANDLE_FILE_INFORMATION *details = nullptr)
{
    if (os.getFileType(file) != FILE_TYPE_DISK) // a device ("NUL") or a pipe is not a file
        return {};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!os.getFileInformation(file, &info))
        return lastError(ERROR_ACCESS_DENIED);
    facts.id = {info.dwVolumeSerialNumber, quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow, true, {}, {}};
    facts.size = qint64(quint64(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
    facts.regular = !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT));
    facts.writable = !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    if (facts.regular)
        ownershipOf(file, facts);
    if (details)
        *details = info;
    return {};
}

QString decoded(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

// The primitives on Windows. The data folder is held open without delete sharing for the
// whole save, so it cannot be renamed or replaced under it; paths stay UTF-16.
class WindowsFileSystem : public FileSystem
{
public:
    explicit WindowsFileSystem(const QString &path, Waiter wait)
        : m_path(QDir::fromNativeSeparators(path))
        , m_wait(std::move(wait))
    {
        const qsizetype slash = m_path.lastIndexOf(u'/');
        m_folder = slash < 0 ? QStringLiteral(".") : m_path.left(slash);
        m_name = m_path.mid(slash + 1);
    }

    Result findTarget(TargetFacts &target) override
    {
        m_folderHandle.reset(os.createFile(nativePath(m_folder).c_str(), FILE_LIST_DIRECTORY,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!m_folderHandle.isOpen()) {
            const DWORD err = ::GetLastError();
            return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_DIRECTORY ? Result()
                                                                                                         : resultOf(err);
        }
        target.folderFound = true;
        target.name = m_name.toUtf8();
        target.where = pathOf(Place::Folder, target.name);
        const auto openFor = [&](DWORD access) {
            return os.createFile(nativePath(m_path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        };
        Handle file(openFor(FILE_READ_ATTRIBUTES));
        if (!file.isOpen()) {
            const DWORD err = ::GetLastError();
            return err == ERROR_FILE_NOT_FOUND ? Result() : resultOf(err);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (const Result result = factsOf(file.get(), target, &info); !result.isOk())
            return result;
        if (target.regular) // a device may not answer who owns it
            file.reset(openFor(READ_CONTROL));
        if (file.isOpen())
            ownershipOf(file.get(), target, &target.owner);
        target.exists = true;
        target.links = info.nNumberOfLinks;
        m_attributes = info.dwFileAttributes;
        m_exists = true;
        return {};
    }

    // A file that another program holds open without letting others write it cannot be
    // opened for writing; one held by a program that shares writing (C's fopen) can, and is
    // then held by a writer: it cannot be replaced while it is held.
    Result openTarget(Access access, FileFacts &facts) override
    {
        if (access == Access::Read) {
            if (!reopenTarget(GENERIC_READ, FILE_SHARE_WRITE))
                return lastError(ERROR_ACCESS_DENIED);
        } else {
            const DWORD rights = access == Access::Write ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
            if (!reopenTarget(rights, 0) && resultOf(::GetLastError()).kind() == Result::Busy)
                m_heldByWriter = reopenTarget(rights, FILE_SHARE_WRITE);
            if (!target().isOpen())
                return lastError(ERROR_ACCESS_DENIED);
            // Held by a program that does not let it be deleted: it cannot be replaced either.
            Handle probe(os.createFile(nativePath(m_path).c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            m_heldByWriter = m_heldByWriter || (!probe.isOpen() && resultOf(::GetLastError()).kind() == Result::Busy);
        }
        const Result result = factsOf(target().get(), facts);
        facts.heldByWriter = m_heldByWriter;
        return result;
    }

    // The replaced file gets the name the policy gave, so that a failed replacement leaves
    // every file under a name it knows; weather.cfg stands afterwards whatever happened.
    Result replaceTarget(const QByteArray &name, const QByteArray &replacedName) override
    {
        const std::wstring temp = nativePath(m_folder + u'/' + decoded(name));
        const std::wstring file = nativePath(m_path);
        if (!m_exists)
            return os.moveFile(temp.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH) ? Result() : lastError(ERROR_WRITE_FAULT);
        target().reset(); // the replacement needs the file to itself
        const std::wstring replaced = nativePath(m_folder + u'/' + decoded(replacedName));
        os.deleteFile(replaced.c_str());
        if (os.replaceFile(file.c_str(), temp.c_str(), replaced.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            os.deleteFile(replaced.c_str());
            return {};
        }
        const DWORD err = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
        // The old file went to the replaced name, the new one kept its own: finish by hand.
        if (err == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && os.moveFile(temp.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH)) {
            os.deleteFile(replaced.c_str());
            return {};
        }
        if (os.getFileAttributes(file.c_str()) == INVALID_FILE_ATTRIBUTES)
            os.moveFile(replaced.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH);
        if (!reopenTarget(GENERIC_READ | GENERIC_WRITE, 0) || (m_locked && !lock(kTarget).isOk()))
            return lastError(err);
        return resultOf(err);
    }

    // ReplaceFileW keeps the old file's security descriptor; the attributes go with the new file.
    Result copyIdentity(File file, bool targetExists, IdentityKept &kept) override
    {
        if (!targetExists)
            return {};
        constexpr DWORD kKept =
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD attributes = m_attributes & kKept;
        kept.attributes =
            os.setFileAttributes(nativePath(m_files[file].path).c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        return {};
    }

    // Nobody else may open it while it is written: that is its lock.
    Result create(Place place, const QByteArray &name, File &file) override
    {
        if (!cacheUsable(place, true))
            return foreignCache();
        const QString folder = folderOf(place);
        const QString path = folder + u'/' + decoded(name);
        HANDLE handle = os.createFile(nativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return lastError(ERROR_ACCESS_DENIED);
        file = adopt(handle, path);
        return {};
    }

    Result createUnnamed(File &) override { return {Result::Failed, SystemError::windows(ERROR_NOT_SUPPORTED)}; }
    Result name(File, const QByteArray &) override { return {Result::Failed, SystemError::windows(ERROR_NOT_SUPPORTED)}; }

    Result open(Place place, const QByteArray &name, File &file, FileFacts &facts, Access access) override
    {
        if (!cacheUsable(place, false))
            return foreignCache();
        const QString path = folderOf(place) + u'/' + decoded(name);
        const DWORD rights = access == Access::Read ? GENERIC_READ : access == Access::Write ? GENERIC_WRITE
                                                                                             : GENERIC_READ | GENERIC_WRITE;
        HANDLE handle = os.createFile(nativePath(path).c_str(), rights | READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return lastError(ERROR_ACCESS_DENIED);
        file = adopt(handle, path);
        return factsOf(handle, facts);
    }

    Result facts(File file, FileFacts &facts) override { return factsOf(m_files[file].handle.get(), facts); }

    // The target is locked past any byte it can have; another file is held without sharing.
    Result lock(File file) override
    {
        if (file != kTarget)
            return {};
        OVERLAPPED at{};
        at.Offset = 0xfffffff0;
        at.OffsetHigh = 0x7fffffff;
        if (!os.lockFile(target().get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return lastError(ERROR_LOCK_VIOLATION);
        m_locked = true;
        return {};
    }

    Result read(File file, qint64 limit, QByteArray &bytes) override
    {
        const HANDLE handle = m_files[file].handle.get();
        bytes.clear();
        if (const Result result = seek(handle, 0); !result.isOk())
            return result;
        char buffer[64 * 1024];
        while (bytes.size() <= limit) {
            DWORD got = 0;
            if (!os.readFile(handle, buffer, sizeof buffer, &got, nullptr))
                return lastError(ERROR_READ_FAULT);
            if (got == 0)
                break;
            bytes.append(buffer, got);
        }
        return {};
    }

    // A write that makes no progress without saying why is a write fault.
    Result write(File file, QByteArrayView bytes) override
    {
        const HANDLE handle = m_files[file].handle.get();
        if (const Result result = seek(handle, 0); !result.isOk())
            return result;
        for (qsizetype done = 0; done < bytes.size();) {
            const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
            DWORD written = 0;
            if (!os.writeFile(handle, bytes.data() + done, chunk, &written, nullptr))
                return lastError(ERROR_WRITE_FAULT);
            if (written == 0)
                return resultOf(ERROR_WRITE_FAULT);
            done += written;
        }
        return {};
    }

    // Growing the file first makes a full disk fail before a byte is changed.
    Result reserve(File file, qint64 size) override
    {
        LARGE_INTEGER now{};
        const HANDLE handle = m_files[file].handle.get();
        if (!os.getFileSize(handle, &now))
            return lastError(ERROR_WRITE_FAULT);
        return size > now.QuadPart ? resizeTo(handle, size) : Result();
    }

    Result resize(File file, qint64 size) override { return resizeTo(m_files[file].handle.get(), size); }

    Result sync(File file) override
    {
        return os.flushFileBuffers(m_files[file].handle.get()) ? Result() : lastError(ERROR_WRITE_FAULT);
    }

    Result close(File file) override { return resultOf(m_files[file].handle.close()); }
    void release(File file) override
    {
        m_files.erase(file);
        if (file == kTarget)
            m_locked = false;
    }

    Result rename(Place place, const QByteArray &from, const QByteArray &to) override
    {
        if (!cacheUsable(place, false))
            return foreignCache();
        const QString folder = folderOf(place) + u'/';
        return os.moveFile(nativePath(folder + decoded(from)).c_str(), nativePath(folder + decoded(to)).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? Result()
                   : lastError(ERROR_WRITE_FAULT);
    }

    Result remove(Place place, const QByteArray &name) override
    {
        if (!cacheUsable(place, false))
            return foreignCache();
        return os.deleteFile(nativePath(folderOf(place) + u'/' + decoded(name)).c_str()) ? Result()
                                                                                          : lastError(ERROR_ACCESS_DENIED);
    }

    Result syncFolder(Place) override { return {}; } // every move is written through

    Result list(Place place, const QByteArray &prefix, QByteArrayList &names) override
    {
        if (!cacheUsable(place, false))
            return foreignCache();
        WIN32_FIND_DATAW found{};
        const HANDLE search =
            os.findFirstFile(nativePath(folderOf(place) + u'/' + decoded(prefix) + u'*').c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Result() : lastError(ERROR_PATH_NOT_FOUND);
        do {
            names << QString::fromWCharArray(found.cFileName).toUtf8();
        } while (os.findNextFile(search, &found));
        os.findClose(search);
        return {};
    }

    QString pathOf(Place place, const QByteArray &name) override
    {
        return QDir::toNativeSeparators(QFileInfo(folderOf(place) + u'/' + decoded(name)).absoluteFilePath());
    }

    void pause(int milliseconds) override { Wait(m_wait, milliseconds); }

private:
    struct Slot
    {
        Handle handle;
        QString path;
    };

    Handle &target() { return m_files[kTarget].handle; }

    File adopt(HANDLE handle, const QString &path)
    {
        const File file = m_nextFile++;
        m_files[file].handle.reset(handle);
        m_files[file].path = path;
        return file;
    }

    bool reopenTarget(DWORD access, DWORD moreSharing)
    {
        target().reset(os.createFile(nativePath(m_path).c_str(), access,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE | moreSharing, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        return target().isOpen();
    }

    // The cache folder is used only when it is the user's alone: no junction or link in its
    // place, owned by the user, and by its access list changed by nobody else. Made on first use.
    bool cacheUsable(Place place, bool create)
    {
        if (place != Place::Cache || m_cacheChecked)
            return place != Place::Cache || !m_cacheForeign;
        const std::wstring folder = nativePath(CacheFolderPath());
        if (create)
            os.createDirectory(folder.c_str(), nullptr);
        Handle handle(os.createFile(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle.isOpen())
            return true; // not there yet: what is done in it fails as it would
        m_cacheChecked = true;
        BY_HANDLE_FILE_INFORMATION info{};
        FileFacts facts;
        ownershipOf(handle.get(), facts);
        // Where a link is followed all the same (Wine), the folder reached has another name. (Only
        // the name is compared: a profile moved elsewhere by a junction is still the user's.)
        wchar_t reached[4096];
        const DWORD length = os.getFinalPathName(handle.get(), reached, 4096, FILE_NAME_NORMALIZED);
        const QString reachedName =
            length > 0 && length < 4096
                ? QFileInfo(QDir::fromNativeSeparators(QString::fromWCharArray(reached, int(length)))).fileName()
                : QString();
        const QString expected = QFileInfo(CacheFolderPath()).fileName();
        m_cacheForeign = !os.getFileInformation(handle.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                         || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                         || reachedName.compare(expected, Qt::CaseInsensitive) != 0 || !facts.mine || facts.othersMayWrite;
        return !m_cacheForeign;
    }

    static Result foreignCache() { return {Result::Foreign, SystemError::windows(ERROR_ACCESS_DENIED)}; }

    QString folderOf(Place place) const
    {
        if (place == Place::Folder)
            return m_folder;
        return CacheFolderPath();
    }

    QString m_path;
    QString m_folder;
    QString m_name;
    Handle m_folderHandle;
    std::map<File, Slot> m_files;
    File m_nextFile = kTarget + 1;
    Waiter m_wait;
    DWORD m_attributes = 0;
    bool m_exists = false;
    bool m_heldByWriter = false;
    bool m_cacheChecked = false;
    bool m_cacheForeign = false;
    bool m_locked = false;
};

} // namespace

std::unique_ptr<FileSystem> FileSystemFor(const QString &path, Waiter wait)
{
    return std::make_unique<WindowsFileSystem>(path, std::move(wait));
}

void PrepareFileAccess()
{
    // A failure is the editor's to report: no system dialog asking for a disk.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

} // namespace storage
