#pragma once

#include "FileSystem.h"
#include "SavePolicy.h"

#include <QByteArray>
#include <QString>

#include <exception>

// A failure that the user is shown as it stands: the message is in the editor's own words.
class EUserError : public std::exception
{
public:
    explicit EUserError(QString message);
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// A file failure with its code: 2 "File not found", 101 "Disk full" and so on.
class EInOutError : public EUserError
{
public:
    explicit EInOutError(int code);
    EInOutError(int code, QString message);
    int ErrorCode;
};

namespace climate {

using storage::FileOperation;
using storage::SystemError;

// The codes below 100 are the system's own numbers on Windows; the file layer's own start at 100.
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
// The system's write and read faults: an I/O error, or a call that failed without saying why.
inline constexpr int kWriteFault = 29;
inline constexpr int kReadFault = 30;
inline constexpr int kSharingViolation = 32;
inline constexpr int kReadBeyondEndOfFile = 100;
inline constexpr int kDiskFull = 101;
inline constexpr int kInvalidNumericInput = 106;

QString ioErrorMessage(int code);

// The editor's failure code for a system's error in a failed operation: the same system error
// is a read fault on reading and a write fault on writing. A POSIX number never passes for
// one of the editor's codes; a Windows code below 100 is one.
int ioErrorCode(SystemError error, FileOperation operation);

// What the user is told of it.
QString describeError(SystemError error, FileOperation operation);

[[noreturn]] void throwIoError(SystemError error, FileOperation operation);

// What the file layer did or met, in the editor's words: one line each.
QString Told(const QList<storage::Event> &events);

// A failure of the file layer as the editor shows it: an EInOutError with its code and words.
[[noreturn]] void ThrowFailure(const storage::Failure &failure);

// Runs work, a read or a save of the file layer; its failure is thrown as ThrowFailure does.
template <typename Work>
auto Worded(Work work)
{
    try {
        return work();
    } catch (const storage::Failure &failure) {
        ThrowFailure(failure);
    }
}

} // namespace climate
