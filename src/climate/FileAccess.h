#pragma once

#include "ClimateFormat.h"

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
};

// Opens a regular file for reading without ever blocking: a folder, a pipe, a device or a
// socket is refused with "File access denied", a missing folder is "Invalid filename".
std::unique_ptr<ReadableFile> OpenForReading(const QString &path);

enum class SaveOutcome { Saved, ReadOnly };

// Makes bytes the file's whole contents and keeps the file itself: its owner, group, mode,
// extended attributes and hard links. A new file is written beside it and renamed over it
// when it can carry all of that; otherwise the file is overwritten in place, its old bytes
// held and written back if anything fails. Either way the file holds the old bytes or the
// new ones, never a mix. ReadOnly, with nothing written, when the file may not be written;
// any other failure is thrown as an EInOutError.
SaveOutcome ReplaceFileContents(const QString &path, QByteArrayView bytes);

// Once at start-up: a file-size limit then ends a write with "Disk full" instead of
// ending the program.
void PrepareFileAccess();

enum class FileOperation { Read, Write };

// The editor's failure code for the platform's error number of a failed operation: the
// same system error is a read fault on reading and a write fault on writing.
int ioErrorCode(int systemError, FileOperation operation);

[[noreturn]] void throwIoError(int systemError, FileOperation operation);

} // namespace climate
