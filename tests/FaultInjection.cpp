#include "FaultInjection.h"

#include <cerrno>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool failSync = false;
bool failClose = false;

template <typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

namespace faults {

void failNextSync() { failSync = true; }
void failNextCloseOfWrittenFile() { failClose = true; }
void disarm() { failSync = failClose = false; }

} // namespace faults

extern "C" int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    const int result = real(fd);
    if (result == 0 && failSync) {
        failSync = false;
        errno = EIO;
        return -1;
    }
    return result;
}

extern "C" int close(int fd)
{
    static const auto real = next<int (*)(int)>("close");
    const int flags = failClose ? fcntl(fd, F_GETFL) : -1;
    const int result = real(fd);
    if (result == 0 && flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) {
        failClose = false;
        errno = EIO;
        return -1;
    }
    return result;
}
