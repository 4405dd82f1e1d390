#include "FaultInjection.h"

#include "SystemCalls.h"

#include <cerrno>

namespace {

const storage::SystemCalls original = storage::systemCalls;

} // namespace

namespace faults {

#ifdef Q_OS_WIN
void failNextSync()
{
    storage::systemCalls.flushFileBuffers = [](HANDLE file) -> BOOL {
        storage::systemCalls.flushFileBuffers = original.flushFileBuffers;
        if (!original.flushFileBuffers(file))
            return FALSE;
        ::SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    };
}

void failNextCloseOfWrittenFile()
{
    storage::systemCalls.closeHandle = [](HANDLE handle) -> BOOL {
        const bool file = ::GetFileType(handle) == FILE_TYPE_DISK;
        if (!original.closeHandle(handle) || !file)
            return FALSE;
        storage::systemCalls.closeHandle = original.closeHandle;
        ::SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    };
}
#else
void failNextSync()
{
    storage::systemCalls.fdatasync = [](int fd) {
        storage::systemCalls.fdatasync = original.fdatasync;
        if (original.fdatasync(fd) != 0)
            return -1;
        errno = EIO;
        return -1;
    };
}

void failNextCloseOfWrittenFile()
{
    storage::systemCalls.close = [](int fd) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (original.close(fd) != 0)
            return -1;
        if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
            return 0;
        storage::systemCalls.close = original.close;
        errno = EIO;
        return -1;
    };
}

void failNextOpenForReadWrite()
{
    storage::systemCalls.openat = [](int folder, const char *name, int flags, mode_t mode) {
        if ((flags & O_ACCMODE) != O_RDWR || (flags & O_CREAT))
            return original.openat(folder, name, flags, mode);
        storage::systemCalls.openat = original.openat;
        errno = EIO;
        return -1;
    };
}

void noLocks()
{
    storage::systemCalls.flock = [](int, int) {
        errno = ENOLCK;
        return -1;
    };
}

void failListings()
{
    storage::systemCalls.fdopendir = [](int) -> DIR * {
        errno = EIO;
        return nullptr;
    };
}
#endif

void disarm()
{
    storage::systemCalls = original;
}

} // namespace faults
