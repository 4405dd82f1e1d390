#include "FileAccess.h"

#include "ClimateErrors.h"

#include <QByteArray>
#include <QDir>
#include <QRandomGenerator>

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
    }

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
};

constexpr DWORD kIdentityNotKept = DWORD(-1);

// The new file written beside the target; deleted again unless it replaced the target.
class SiblingFile
{
public:
    explicit SiblingFile(const QString &target)
    {
        const int slash = int(target.lastIndexOf(u'/'));
        for (int attempt = 0; attempt < 16 && !m_file.isOpen(); ++attempt) {
            m_path = target.left(slash + 1) + u'.' + target.mid(slash + 1) + u'.'
                     + QString::number(QRandomGenerator::global()->generate(), 36);
            m_file.reset(::CreateFileW(nativePath(m_path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!m_file.isOpen() && ::GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
        if (!m_file.isOpen())
            m_path.clear();
    }
    SiblingFile(const SiblingFile &) = delete;
    SiblingFile &operator=(const SiblingFile &) = delete;
    ~SiblingFile()
    {
        if (m_file.isOpen())
            m_file.close();
        if (!m_path.isEmpty())
            ::DeleteFileW(nativePath(m_path).c_str());
    }

    bool isOpen() const { return m_file.isOpen(); }
    HANDLE get() const { return m_file.get(); }
    DWORD close() { return m_file.close(); }
    const QString &path() const { return m_path; }
    void keep() { m_path.clear(); }

private:
    QString m_path;
    Handle m_file;
};

// Writes the bytes beside the target and puts them in its place: with ReplaceFileW over an
// existing file, which keeps its attributes and security descriptor, or by a move for a new
// one. 0, an error code, or kIdentityNotKept when the target must be written in place.
DWORD replaceBySibling(const QString &target, QByteArrayView bytes, DWORD attributes, bool exists)
{
    const std::wstring targetPath = nativePath(target);
    if (exists) {
        // Another program holding the file open (the game reading it) may let it be written
        // but not replaced: that is reported before anything is written.
        Handle probe(::CreateFileW(targetPath.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.isOpen()) {
            const DWORD err = lastErrorOr(ERROR_ACCESS_DENIED);
            return err == ERROR_ACCESS_DENIED ? kIdentityNotKept : err;
        }
    }
    SiblingFile sibling(target);
    if (!sibling.isOpen())
        return kIdentityNotKept; // the folder takes no new file
    if (const DWORD err = writeAll(sibling.get(), bytes))
        return err;
    if (const DWORD err = flush(sibling.get()))
        return err;
    if (const DWORD err = sibling.close())
        return err;

    const std::wstring siblingPath = nativePath(sibling.path());
    if (!exists) {
        if (!::MoveFileExW(siblingPath.c_str(), targetPath.c_str(), MOVEFILE_WRITE_THROUGH))
            return lastErrorOr(ERROR_WRITE_FAULT);
        sibling.keep();
        return 0;
    }
    // ReplaceFileW keeps the security descriptor; the attributes are given here as well,
    // since not every implementation of it carries them over.
    ::SetFileAttributesW(siblingPath.c_str(),
                         attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE
                                       | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    if (::ReplaceFileW(targetPath.c_str(), siblingPath.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                       nullptr)) {
        sibling.keep();
        return 0;
    }
    const DWORD err = lastErrorOr(ERROR_WRITE_FAULT);
    // Denied the replacement itself (the folder lets the file be written, not replaced):
    // writing in place still keeps the file. Anything else, such as the game holding the
    // file open, is reported with the old file untouched.
    return err == ERROR_ACCESS_DENIED ? kIdentityNotKept : err;
}

// Overwrites the open file with the bytes: 0 or an error code, with the old bytes back in
// place on failure.
DWORD overwriteInPlace(HANDLE file, QByteArrayView bytes)
{
    QByteArray old;
    if (const DWORD err = readAll(file, old))
        return err;
    // Growing the file first makes a full disk fail before a byte is changed.
    if (bytes.size() > old.size()) {
        if (const DWORD err = resize(file, bytes.size())) {
            resize(file, old.size());
            return err;
        }
    }
    DWORD err = writeAll(file, bytes);
    if (!err)
        err = resize(file, bytes.size());
    if (!err)
        err = flush(file);
    if (err) {
        writeAll(file, old);
        resize(file, old.size());
        ::FlushFileBuffers(file);
    }
    return err;
}

} // namespace

std::unique_ptr<ReadableFile> OpenForReading(const QString &path)
{
    return std::make_unique<WindowsReadableFile>(path);
}

SaveOutcome ReplaceFileContents(const QString &path, QByteArrayView bytes)
{
    const QString target = QDir::fromNativeSeparators(path);
    const std::wstring native = nativePath(target);

    const DWORD attributes = ::GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (::GetLastError() != ERROR_FILE_NOT_FOUND)
            return SaveOutcome::ReadOnly; // no folder, or no access to it
        const DWORD err = replaceBySibling(target, bytes, 0, false);
        if (err == kIdentityNotKept)
            return SaveOutcome::ReadOnly;
        if (err)
            throwIoError(int(err), FileOperation::Write);
        return SaveOutcome::Saved;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE))
        return SaveOutcome::ReadOnly;

    // Opening for writing is the test: a file held by another program, or one the user may
    // not write, cannot be saved and stays as it is.
    Handle file(::CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isOpen() || ::GetFileType(file.get()) != FILE_TYPE_DISK)
        return SaveOutcome::ReadOnly;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool oneName = ::GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks == 1;

    // More than one name for the file: a new file would leave the others with the old bytes.
    if (oneName) {
        file.close(); // ReplaceFileW needs the file to itself
        const DWORD err = replaceBySibling(target, bytes, attributes, true);
        if (err != kIdentityNotKept) {
            if (err)
                throwIoError(int(err), FileOperation::Write);
            return SaveOutcome::Saved;
        }
        file.reset(::CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.isOpen())
            throwIoError(int(lastErrorOr(ERROR_ACCESS_DENIED)), FileOperation::Write);
    }
    if (const DWORD err = overwriteInPlace(file.get(), bytes))
        throwIoError(int(err), FileOperation::Write);
    if (const DWORD err = file.close())
        throwIoError(int(err), FileOperation::Write);
    return SaveOutcome::Saved;
}

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
