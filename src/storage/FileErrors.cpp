#include "FileErrors.h"

#include <cerrno>

EUserError::EUserError(QString message)
    : m_message(std::move(message))
    , m_what(m_message.toUtf8())
{
}

EInOutError::EInOutError(int code)
    : EInOutError(code, storage::ioErrorMessage(code))
{
}

EInOutError::EInOutError(int code, QString message)
    : EUserError(std::move(message))
    , ErrorCode(code)
{
}

namespace storage {

QString ioErrorMessage(int code)
{
    switch (code) {
    case kFileNotFound: return QStringLiteral("File not found");
    case kPathNotFound: return QStringLiteral("Invalid filename");
    case kTooManyOpenFiles: return QStringLiteral("Too many open files");
    case kAccessDenied: return QStringLiteral("File access denied");
    case kReadBeyondEndOfFile: return QStringLiteral("Read beyond end of file");
    case kDiskFull: return QStringLiteral("Disk full");
    case kInvalidNumericInput: return QStringLiteral("Invalid numeric input");
    case kWriteFault: return QStringLiteral("I/O error %1: the disk did not take what was written").arg(code);
    case kReadFault: return QStringLiteral("I/O error %1: the disk could not be read").arg(code);
    case kSharingViolation: return QStringLiteral("The file is in use by another program (I/O error %1)").arg(code);
    default: return QStringLiteral("I/O error %1").arg(code);
    }
}

int ioErrorCode(SystemError error, FileOperation operation)
{
    const int fault = operation == FileOperation::Read ? kReadFault : kWriteFault;
    const int n = error.number;
    if (error.origin == SystemError::Windows) {
        constexpr int kWindowsDiskFull = 112;       // ERROR_DISK_FULL
        constexpr int kWindowsHandleDiskFull = 39; // ERROR_HANDLE_DISK_FULL
        if (n == kWindowsDiskFull || n == kWindowsHandleDiskFull)
            return kDiskFull;
        // The editor's codes below 100 are Windows' own numbers; from 100 up they are the
        // file layer's, which a system number must not read as.
        return n > 0 && n < kReadBeyondEndOfFile ? n : fault;
    }
#ifndef Q_OS_WIN
    if (error.origin == SystemError::Posix) {
        switch (n) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP: return kPathNotFound;
        case EMFILE:
        case ENFILE: return kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case ETXTBSY:
        case ENXIO:
        case ENODEV:
        case EAGAIN: return kAccessDenied;
        case ENOSPC:
        case EFBIG:
        case EDQUOT: return kDiskFull;
        default: return fault; // EIO and every other: a fault, said as such
        }
    }
#endif
    return fault;
}

QString describeError(SystemError error, FileOperation operation)
{
    return ioErrorMessage(ioErrorCode(error, operation));
}

void throwIoError(SystemError error, FileOperation operation)
{
    throw EInOutError(ioErrorCode(error, operation));
}

} // namespace storage
