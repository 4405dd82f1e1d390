#include "FileErrors.h"

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

void throwIoError(int systemError, FileOperation operation)
{
    throw EInOutError(ioErrorCode(systemError, operation));
}

} // namespace storage
