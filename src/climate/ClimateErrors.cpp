#include "ClimateErrors.h"

#include "FileAccess.h"


EClimateError::EClimateError(QString message)
    : m_message(std::move(message))
    , m_what(m_message.toUtf8())
{
}

EInOutError::EInOutError(int code)
    : EInOutError(code, climate::ioErrorMessage(code))
{
}

EInOutError::EInOutError(int code, QString message)
    : EClimateError(std::move(message))
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

void throwIoError(int systemError, FileOperation operation)
{
    throw EInOutError(ioErrorCode(systemError, operation));
}

} // namespace climate
