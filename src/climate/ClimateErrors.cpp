#include "ClimateErrors.h"

#include <cerrno>

EClimateError::EClimateError(QString message)
    : m_message(std::move(message))
    , m_what(m_message.toUtf8())
{
}

EInOutError::EInOutError(int code)
    : EClimateError(climate::ioErrorMessage(code))
    , ErrorCode(code)
{
}

namespace climate {

QString ioErrorMessage(int code)
{
    switch (code) {
    case 2: return QStringLiteral("File not found");
    case 3: return QStringLiteral("Invalid filename");
    case 4: return QStringLiteral("Too many open files");
    case 5: return QStringLiteral("File access denied");
    case kReadBeyondEndOfFile: return QStringLiteral("Read beyond end of file");
    case kDiskFull: return QStringLiteral("Disk full");
    case kInvalidNumericInput: return QStringLiteral("Invalid numeric input");
    default: return QStringLiteral("I/O error %1").arg(code);
    }
}

int ioErrorCodeFromErrno(int err)
{
    switch (err) {
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
    case ETXTBSY: return 5;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return kDiskFull;
    // Plain EIO would otherwise read as code 5, "File access denied".
    case 0:
    case EIO: return kWriteFault;
    default: return err;
    }
}

void throwIoErrorFromErrno(int err)
{
    throw EInOutError(ioErrorCodeFromErrno(err));
}

} // namespace climate
