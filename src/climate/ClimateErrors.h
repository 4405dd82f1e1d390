#pragma once

#include <QString>

#include <exception>

// A failure that the editor shows to the user: the message is in the editor's own words.
class EClimateError : public std::exception
{
public:
    explicit EClimateError(QString message);
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// A file failure with its code: 2 "File not found", 101 "Disk full" and so on.
class EInOutError : public EClimateError
{
public:
    explicit EInOutError(int code);
    EInOutError(int code, QString message);
    int ErrorCode;
};

// A text that should have held an integer.
class EConvertError : public EClimateError
{
public:
    using EClimateError::EClimateError;
};

namespace climate {

// The file layer's own codes, beside the system's error numbers below 100.
inline constexpr int kReadBeyondEndOfFile = 100;
inline constexpr int kDiskFull = 101;
inline constexpr int kInvalidNumericInput = 106;
// The system's write and read faults: an I/O error, or a call that failed without saying why.
inline constexpr int kWriteFault = 29;
inline constexpr int kReadFault = 30;

QString ioErrorMessage(int code);

} // namespace climate
