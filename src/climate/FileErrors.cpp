#include "FileErrors.h"

#include <QDir>

#include <cerrno>

EUserError::EUserError(QString message)
    : m_message(std::move(message))
    , m_what(m_message.toUtf8())
{
}

EInOutError::EInOutError(int code)
    : EInOutError(code, climate::ioErrorMessage(code))
{
}

EInOutError::EInOutError(int code, QString message)
    : EUserError(std::move(message))
    , ErrorCode(code)
{
}

namespace climate {

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

namespace {

QString megabytes(qint64 size)
{
    return QString::number((size + (1 << 20) - 1) >> 20);
}

QString told(const storage::Event &event)
{
    using Kind = storage::Event::Kind;
    // A folder that could not be listed failed to be read, not written.
    const QString failure = describeError(event.error, event.kind == Kind::NoListing ? FileOperation::Read : FileOperation::Write);
    switch (event.kind) {
    case Kind::PutBack:
        return QStringLiteral("%1 was left half-written by a save that was cut short. Its old contents were put back "
                              "from the backup %2.")
            .arg(event.file, event.where);
    case Kind::NotPutBack:
        return QStringLiteral("%1 was left half-written by a save that was cut short, and its old contents could not "
                              "be put back. They are kept in %2.")
            .arg(event.file, event.where);
    case Kind::ChangedSinceCutShort:
        return QStringLiteral("%1 has changed since a save of it was cut short, so it was left as it is. Its contents "
                              "from before that save are kept in %2.")
            .arg(event.file, event.where);
    case Kind::ReplacedPutBack:
        return QStringLiteral("%1 was missing after a save that was cut short. The file as it was before that save "
                              "was put back from %2.")
            .arg(event.file, event.where);
    case Kind::BackupElsewhere:
        return QStringLiteral("%1 is not a backup of the editor's (something else stands there: a folder, a link, a "
                              "pipe or another user's file), so the backup of the old contents went to the editor's "
                              "cache folder")
            .arg(event.where);
    case Kind::NotConfirmed:
        return QStringLiteral("The new contents are in place, but the system could not confirm that they are on disk "
                              "(%1). Save again before you rely on them")
            .arg(failure);
    case Kind::BackupNotRemoved:
        return QStringLiteral("The file is saved, but its backup %1 could not be removed (%2)%3")
            .arg(event.where, failure, event.emptied ? QStringLiteral("; it was emptied instead, and can go") : QString());
    case Kind::BackupRemovalUnsynced:
        return QStringLiteral("The file is saved, but the system could not confirm that its backup %1 is gone (%2)")
            .arg(event.where, failure);
    case Kind::CloseReported:
        return QStringLiteral("The file is saved and its new contents are on disk, but closing it reported %1").arg(failure);
    case Kind::NoLock:
        return QStringLiteral("The file is saved, but without a lock (%1): another program saving it at the same "
                              "moment could have mixed with this save")
            .arg(event.error == storage::SystemError::posix(ENOLCK) ? QStringLiteral("the file system keeps no locks")
                                                                      : QStringLiteral("it could not be locked: %1").arg(failure));
    case Kind::NoListing:
        return QStringLiteral("The file is saved, but leftovers of earlier saves that were cut short could not be looked "
                              "for (%1)").arg(failure);
    }
    return {};
}

} // namespace

QString Told(const QList<storage::Event> &events)
{
    QStringList lines;
    for (const storage::Event &event : events)
        lines << told(event);
    return lines.join(u'\n');
}

void ThrowFailure(const storage::Failure &failure)
{
    using Kind = storage::Failure::Kind;
    switch (failure.kind) {
    case Kind::System: throwIoError(failure.error, failure.operation);
    case Kind::NotFound: throw EInOutError(kFileNotFound);
    case Kind::PathNotFound: throw EInOutError(kPathNotFound);
    case Kind::FolderGone: throw EInOutError(kPathNotFound, QStringLiteral("The file's folder is no longer there"));
    case Kind::NotAFile:
    case Kind::NoBackup: throw EInOutError(kAccessDenied);
    case Kind::TooLarge:
        throw EInOutError(kAccessDenied, QStringLiteral("The file is too large to open: %1 MB, where no file it edits "
                                                        "has more than %2 MB")
                                             .arg(megabytes(failure.size), megabytes(storage::kMaxFileSize)));
    case Kind::Grown:
        throw EInOutError(kAccessDenied, QStringLiteral("%1 has grown to %2 MB since it was opened, larger than any "
                                                        "file the editor works on, so it was left as it is")
                                             .arg(failure.where, megabytes(failure.size)));
    case Kind::Busy:
        throw EInOutError(kSharingViolation,
                          QStringLiteral("The file is busy: another program is saving it. Try again in a moment"));
    case Kind::NoPlaceForBackup:
        throw EInOutError(kAccessDenied,
                          QStringLiteral("The file has to be written in place, and no backup of its old contents could "
                                         "be kept: its folder takes no new file, and the cache folder %1 is not yours "
                                         "alone (a link, another user's, or open to others). Nothing was written")
                              .arg(QDir::toNativeSeparators(QDir::cleanPath(failure.where))));
    case Kind::KeptIn:
        throw EInOutError(ioErrorCode(failure.error, FileOperation::Write),
                          QStringLiteral("%1. The file's old contents are kept in %2")
                              .arg(describeError(failure.error, FileOperation::Write), failure.where));
    }
    throw EInOutError(kAccessDenied);
}

} // namespace climate
