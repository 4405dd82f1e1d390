#include "FileAccess.h"

#include "ClimateErrors.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QRandomGenerator>

#include <iterator>
#include <utility>

#include <windows.h>

namespace climate {

namespace {

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
    ~Handle()
    {
        if (isOpen())
            ::CloseHandle(m_handle);
    }

    HANDLE get() const { return m_handle; }
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    void reset(HANDLE handle)
    {
        if (isOpen())
            ::CloseHandle(m_handle);
        m_handle = handle;
    }

    // 0, or the system's error code.
    DWORD close()
    {
        return ::CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE)) ? 0 : ::GetLastError();
    }

private:
    HANDLE m_handle;
};

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

DWORD lastErrorOr(DWORD fallback)
{
    const DWORD err = ::GetLastError();
    return err ? err : fallback;
}

DWORD seek(HANDLE file, qint64 offset)
{
    LARGE_INTEGER at;
    at.QuadPart = offset;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ? 0 : ::GetLastError();
}

DWORD resize(HANDLE file, qint64 size)
{
    if (const DWORD err = seek(file, size))
        return err;
    return ::SetEndOfFile(file) ? 0 : ::GetLastError();
}

// 0, or the error code. A write that makes no progress without saying why is a write fault.
DWORD writeAll(HANDLE file, QByteArrayView bytes, qint64 offset = 0)
{
    if (const DWORD err = seek(file, offset))
        return err;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
            return lastErrorOr(ERROR_WRITE_FAULT);
        if (written == 0)
            return ERROR_WRITE_FAULT;
        done += written;
    }
    return 0;
}

DWORD readAll(HANDLE file, QByteArray &out)
{
    out.clear();
    if (const DWORD err = seek(file, 0))
        return err;
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr))
            return lastErrorOr(ERROR_READ_FAULT);
        if (got == 0)
            return 0;
        out.append(buffer, got);
    }
}

DWORD flush(HANDLE file)
{
    return ::FlushFileBuffers(file) ? 0 : lastErrorOr(ERROR_WRITE_FAULT);
}

// The volume and index that name a file on Windows, as device and inode do elsewhere.
FileId idOf(HANDLE file, BY_HANDLE_FILE_INFORMATION *details = nullptr)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return {};
    if (details)
        *details = info;
    return {info.dwVolumeSerialNumber, quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow, true};
}

class WindowsReadableFile : public ReadableFile
{
public:
    explicit WindowsReadableFile(const QString &path)
        : m_file(::CreateFileW(nativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        // A folder cannot be opened this way and says "access denied" by itself.
        if (!m_file.isOpen())
            throwIoError(int(::GetLastError()), FileOperation::Read);
        // A device or a pipe ("NUL", "\\.\pipe\...") is not the game's file.
        if (::GetFileType(m_file.get()) != FILE_TYPE_DISK)
            throwIoError(ERROR_ACCESS_DENIED, FileOperation::Read);
        m_id = idOf(m_file.get());
    }

    FileId identity() const override { return m_id; }

    qint64 read(char *buffer, qint64 maxSize) override
    {
        DWORD got = 0;
        if (!::ReadFile(m_file.get(), buffer, DWORD(std::min<qint64>(maxSize, 1 << 30)), &got, nullptr))
            throwIoError(int(lastErrorOr(ERROR_READ_FAULT)), FileOperation::Read);
        return got;
    }

    void rewind() override
    {
        if (!::SetFilePointerEx(m_file.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN))
            throwIoError(int(lastErrorOr(ERROR_READ_FAULT)), FileOperation::Read);
    }

    void close() override
    {
        if (const DWORD err = m_file.close())
            throwIoError(int(err), FileOperation::Read);
    }

private:
    Handle m_file;
    FileId m_id;
};

QString randomSuffix()
{
    static const char16_t kLetters[] = u"abcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix(6, u'0');
    for (QChar &c : suffix)
        c = kLetters[QRandomGenerator::global()->bounded(int(std::size(kLetters) - 1))];
    return suffix;
}

QString hex8(quint32 value)
{
    return QString::number(value, 16).rightJustified(8, u'0');
}

// The names in a folder that start with prefix.
QStringList entriesOf(const QString &folder, const QString &prefix)
{
    QStringList names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(nativePath(folder + u'/' + prefix + u'*').c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names << QString::fromWCharArray(found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

DWORD readFile(const QString &path, QByteArray &bytes)
{
    Handle file(::CreateFileW(nativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.isOpen() ? readAll(file.get(), bytes) : lastErrorOr(ERROR_READ_FAULT);
}

bool folderTakesNoFile(DWORD err)
{
    return err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT || err == ERROR_DISK_FULL
           || err == ERROR_HANDLE_DISK_FULL;
}

bool busy(DWORD err)
{
    return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
}

// The primitives of a save on Windows. The data folder is held open without delete sharing
// for the whole save, so it cannot be renamed or replaced under it; paths stay UTF-16.
class WindowsFileSystem : public SaveFileSystem
{
public:
    explicit WindowsFileSystem(const QString &path)
        : m_path(QDir::fromNativeSeparators(path))
    {
        const qsizetype slash = m_path.lastIndexOf(u'/');
        m_folder = slash < 0 ? QStringLiteral(".") : m_path.left(slash);
        m_name = m_path.mid(slash + 1);
    }

    int findTarget(SaveTarget &target) override
    {
        m_folderHandle.reset(::CreateFileW(nativePath(m_folder).c_str(), FILE_LIST_DIRECTORY,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!m_folderHandle.isOpen()) {
            const DWORD err = ::GetLastError();
            return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_DIRECTORY ? 0 : int(err);
        }
        target.folderFound = true;
        Handle file(::CreateFileW(nativePath(m_path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file.isOpen()) {
            const DWORD err = ::GetLastError();
            return err == ERROR_FILE_NOT_FOUND ? 0 : int(err);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        target.exists = true;
        target.id = idOf(file.get(), &info);
        m_id = target.id;
        m_attributes = info.dwFileAttributes;
        target.regular = !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
                         && ::GetFileType(file.get()) == FILE_TYPE_DISK;
        target.writable = !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
        target.links = info.nNumberOfLinks;
        m_exists = true;
        return 0;
    }

    // A file that another program holds open without letting others write it cannot be
    // saved; one held by a program that shares writing (C's fopen) is written in place,
    // since it cannot be replaced while it is held.
    int openTarget(bool &readable, FileId &id) override
    {
        readable = true;
        if (!reopenTarget(GENERIC_READ | GENERIC_WRITE, 0) && busy(::GetLastError()))
            m_heldByWriter = reopenTarget(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE);
        if (!m_target.isOpen() && ::GetLastError() == ERROR_ACCESS_DENIED) {
            readable = false;
            reopenTarget(GENERIC_WRITE, 0);
        }
        if (!m_target.isOpen())
            return int(lastErrorOr(ERROR_ACCESS_DENIED));
        if (::GetFileType(m_target.get()) != FILE_TYPE_DISK)
            return ERROR_ACCESS_DENIED;
        // Held by a program that does not let it be deleted: it cannot be replaced either.
        Handle probe(::CreateFileW(nativePath(m_path).c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        m_heldByWriter = m_heldByWriter || (!probe.isOpen() && busy(::GetLastError()));
        id = idOf(m_target.get());
        return 0;
    }

    // A new file of an earlier save is open only while that save runs: one that can be
    // deleted was left by a save that was killed.
    void removeLeftovers() override
    {
        for (const QString &entry : entriesOf(m_folder, temporaryPrefix())) {
            if (entry.size() == temporaryPrefix().size() + 6)
                ::DeleteFileW(nativePath(m_folder + u'/' + entry).c_str());
        }
    }

    int createTemporary() override
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_tempName = m_folder + u'/' + temporaryPrefix() + randomSuffix();
            m_temp.reset(::CreateFileW(nativePath(m_tempName).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (m_temp.isOpen())
                return 0;
            if (::GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
        m_tempName.clear();
        return int(lastErrorOr(ERROR_ACCESS_DENIED));
    }

    // ReplaceFileW keeps the old file's security descriptor; the attributes are given with
    // the replacement (replaceTarget), since not every implementation carries them over.
    int copyIdentity(bool) override { return 0; }
    int writeTemporary(QByteArrayView bytes) override { return int(writeAll(m_temp.get(), bytes)); }
    int syncTemporary() override { return int(flush(m_temp.get())); }
    int closeTemporary() override { return int(m_temp.close()); }

    int replaceTarget() override
    {
        const std::wstring temp = nativePath(m_tempName);
        const std::wstring target = nativePath(m_path);
        if (!m_exists) {
            if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
                return int(lastErrorOr(ERROR_WRITE_FAULT));
            m_tempName.clear();
            return 0;
        }
        if (m_heldByWriter)
            return kNotKept;
        ::SetFileAttributesW(temp.c_str(), m_attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                                                           | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        m_target.close(); // the replacement needs the file to itself
        // With a name for the replaced file, a failed replacement leaves every file under a
        // name this code knows.
        const std::wstring replaced = nativePath(m_folder + u'/' + m_name + QStringLiteral(".nimbrel-replaced"));
        ::DeleteFileW(replaced.c_str());
        DWORD err = 0;
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (replaceFileCall(target.c_str(), temp.c_str(), replaced.c_str())) {
                ::DeleteFileW(replaced.c_str());
                m_tempName.clear();
                return 0;
            }
            err = lastErrorOr(ERROR_WRITE_FAULT);
            if (!busy(err))
                break;
            ::Sleep(50); // a virus scanner or the search indexer reading the new file
        }
        if (err == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            // The old file went to the replaced name, the new one kept its own: finish by hand.
            if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
                ::DeleteFileW(replaced.c_str());
                m_tempName.clear();
                return 0;
            }
        }
        // Whatever happened, weather.cfg stays: the old file goes back under its name.
        if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            ::MoveFileExW(replaced.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        if (!reopenTarget(GENERIC_READ | GENERIC_WRITE, 0))
            return int(lastErrorOr(err));
        // Denied the replacement itself (the folder lets the file be written, not replaced):
        // writing in place still keeps the file.
        return err == ERROR_ACCESS_DENIED ? kNotKept : int(err);
    }

    void syncFolder() override {} // the moves above are written through

    void discardTemporary() override
    {
        m_temp.reset(INVALID_HANDLE_VALUE);
        if (!m_tempName.isEmpty())
            ::DeleteFileW(nativePath(m_tempName).c_str());
        m_tempName.clear();
    }

    int readTarget(QByteArray &bytes) override { return int(readAll(m_target.get(), bytes)); }

    int writeBackup(const Backup &backup, QString &where) override
    {
        m_backupPath = m_folder + u'/' + backupPrefix() + hex8(backup.newChecksum);
        DWORD err = writeWhole(m_backupPath, backup.oldBytes);
        if (folderTakesNoFile(err)) {
            const QString cache = cacheFolder();
            ::CreateDirectoryW(nativePath(cache).c_str(), nullptr);
            m_backupPath = cache + u'/' + cachePrefix() + hex8(backup.newChecksum) + QStringLiteral(".cfg");
            err = writeWhole(m_backupPath, backup.oldBytes);
        }
        if (err) {
            m_backupPath.clear();
            return int(err);
        }
        where = QDir::toNativeSeparators(QFileInfo(m_backupPath).absoluteFilePath());
        return 0;
    }

    int findBackup(Backup &backup) override
    {
        const auto look = [&](const QString &folder, const QString &prefix, qsizetype extra) {
            for (const QString &entry : entriesOf(folder, prefix)) {
                bool ok = false;
                backup.newChecksum = entry.mid(prefix.size(), 8).toUInt(&ok, 16);
                if (!ok || entry.size() != prefix.size() + 8 + extra
                    || readFile(folder + u'/' + entry, backup.oldBytes) != 0)
                    continue;
                m_backupPath = folder + u'/' + entry;
                backup.where = QDir::toNativeSeparators(QFileInfo(m_backupPath).absoluteFilePath());
                return true;
            }
            return false;
        };
        return look(m_folder, backupPrefix(), 0) || look(cacheFolder(), cachePrefix(), 4) ? 0 : ENOENT;
    }

    int removeBackup() override
    {
        if (m_backupPath.isEmpty())
            return 0;
        const bool removed = ::DeleteFileW(nativePath(m_backupPath).c_str());
        m_backupPath.clear();
        return removed ? 0 : int(lastErrorOr(ERROR_ACCESS_DENIED));
    }

    // Growing the file first makes a full disk fail before a byte is changed.
    int reserve(qint64 size) override
    {
        LARGE_INTEGER now{};
        if (!::GetFileSizeEx(m_target.get(), &now))
            return int(lastErrorOr(ERROR_WRITE_FAULT));
        return size > now.QuadPart ? int(resize(m_target.get(), size)) : 0;
    }

    int overwriteTarget(QByteArrayView bytes) override
    {
        if (const DWORD err = writeAll(m_target.get(), bytes))
            return int(err);
        return int(resize(m_target.get(), bytes.size()));
    }

    int syncTarget() override { return int(flush(m_target.get())); }
    int closeTarget() override { return int(m_target.close()); }

private:
    QString temporaryPrefix() const { return u'.' + m_name + u'.'; }
    QString backupPrefix() const { return u'.' + m_name + QStringLiteral(".nimbrel-backup-"); }
    QString cachePrefix() const { return QStringLiteral("%1-%2-").arg(m_id.device).arg(m_id.file); }

    static QString cacheFolder()
    {
        return QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA")) + QStringLiteral("/nimbrel");
    }

    bool reopenTarget(DWORD access, DWORD moreSharing)
    {
        m_target.reset(::CreateFileW(nativePath(m_path).c_str(), access,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE | moreSharing, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        return m_target.isOpen();
    }

    // A whole file by name: written under a new name, flushed, then moved, so that a file of
    // that name is always complete.
    DWORD writeWhole(const QString &path, QByteArrayView bytes) const
    {
        const QString temporary = QFileInfo(path).path() + u'/' + temporaryPrefix() + randomSuffix();
        Handle file(::CreateFileW(nativePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.isOpen())
            return lastErrorOr(ERROR_ACCESS_DENIED);
        DWORD err = writeAll(file.get(), bytes);
        if (!err)
            err = flush(file.get());
        if (const DWORD closed = file.close(); !err)
            err = closed;
        if (!err && !::MoveFileExW(nativePath(temporary).c_str(), nativePath(path).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            err = lastErrorOr(ERROR_WRITE_FAULT);
        if (err)
            ::DeleteFileW(nativePath(temporary).c_str());
        return err;
    }

    QString m_path;
    QString m_folder;
    QString m_name;
    Handle m_folderHandle;
    Handle m_target;
    Handle m_temp;
    QString m_tempName;
    QString m_backupPath;
    FileId m_id;
    DWORD m_attributes = 0;
    bool m_exists = false;
    bool m_heldByWriter = false;
};

} // namespace

std::unique_ptr<ReadableFile> OpenForReading(const QString &path)
{
    return std::make_unique<WindowsReadableFile>(path);
}

std::unique_ptr<SaveFileSystem> FileSystemFor(const QString &path)
{
    return std::make_unique<WindowsFileSystem>(path);
}

ReplaceFileCall replaceFileCall = [](const wchar_t *replaced, const wchar_t *replacement, const wchar_t *backup) {
    return bool(::ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
};

void PrepareFileAccess()
{
    // A failure is the editor's to report: no system dialog asking for a disk.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

int ioErrorCode(int systemError, FileOperation operation)
{
    // The editor's codes below 100 are the system's own numbers.
    const int fault = operation == FileOperation::Read ? kReadFault : kWriteFault;
    switch (systemError) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return kDiskFull;
    case 0: return fault;
    default:
        // The file layer's own codes start at 100: a system number there must not read as one.
        return systemError < kReadBeyondEndOfFile ? systemError : fault;
    }
}

} // namespace climate
