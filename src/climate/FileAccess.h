#pragma once

#include "ClimateFormat.h"
#include "SavePolicy.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <memory>

// The platform's file calls, behind the few functions the climate file needs. One source
// file implements them for each platform (FileAccessPosix.cpp, FileAccessWindows.cpp).
namespace climate {

// A file opened for reading. close() reports a failure that the destructor would swallow.
class ReadableFile : public ByteSource
{
public:
    virtual void close() = 0;
    virtual FileId identity() const = 0;
};

// Opens a regular file for reading without ever blocking: a folder, a pipe, a device or a
// socket is refused with "File access denied", a missing folder is "Invalid filename".
std::unique_ptr<ReadableFile> OpenForReading(const QString &path);

// The platform's primitives for one save of the file at path (see SavePolicy.h).
std::unique_ptr<SaveFileSystem> FileSystemFor(const QString &path);

// SaveBytes() on the file at path, through the platform's primitives.
SaveOutcome ReplaceFileContents(const QString &path, QByteArrayView bytes, const FileId &opened = {},
                                bool evenIfChanged = false);

// Once at start-up: a file-size limit then ends a write with "Disk full" instead of
// ending the program.
void PrepareFileAccess();

enum class FileOperation { Read, Write };

// The editor's failure code for the platform's error number of a failed operation: the
// same system error is a read fault on reading and a write fault on writing.
int ioErrorCode(int systemError, FileOperation operation);

[[noreturn]] void throwIoError(int systemError, FileOperation operation);

#ifdef Q_OS_WIN
// The call that swaps the new file in for the old one (ReplaceFileW: false with the error
// left for GetLastError); a test puts one in front that fails as Windows can.
using ReplaceFileCall = bool (*)(const wchar_t *replaced, const wchar_t *replacement, const wchar_t *backup);
extern ReplaceFileCall replaceFileCall;
#endif

} // namespace climate
