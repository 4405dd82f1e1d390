#pragma once

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

// The system calls the file primitives make, one table per platform. A test may put a call
// of its own in front of any of them (save the table, change an entry, put it back), so that
// faults the system will not make on demand are injected the same way on every platform.
namespace storage {

struct SystemCalls
{
#ifdef Q_OS_WIN
    decltype(&::CreateFileW) createFile = ::CreateFileW;
    decltype(&::ReadFile) readFile = ::ReadFile;
    decltype(&::WriteFile) writeFile = ::WriteFile;
    decltype(&::FlushFileBuffers) flushFileBuffers = ::FlushFileBuffers;
    decltype(&::SetFilePointerEx) setFilePointer = ::SetFilePointerEx;
    decltype(&::SetEndOfFile) setEndOfFile = ::SetEndOfFile;
    decltype(&::CloseHandle) closeHandle = ::CloseHandle;
    decltype(&::LockFileEx) lockFile = ::LockFileEx;
    decltype(&::MoveFileExW) moveFile = ::MoveFileExW;
    decltype(&::DeleteFileW) deleteFile = ::DeleteFileW;
    decltype(&::ReplaceFileW) replaceFile = ::ReplaceFileW;
    decltype(&::SetFileAttributesW) setFileAttributes = ::SetFileAttributesW;
    decltype(&::CreateDirectoryW) createDirectory = ::CreateDirectoryW;
    decltype(&::FindFirstFileW) findFirstFile = ::FindFirstFileW;
    decltype(&::FindNextFileW) findNextFile = ::FindNextFileW;
    decltype(&::FindClose) findClose = ::FindClose;
    decltype(&::GetFileAttributesW) getFileAttributes = ::GetFileAttributesW;
    decltype(&::GetFileType) getFileType = ::GetFileType;
    decltype(&::GetFileInformationByHandle) getFileInformation = ::GetFileInformationByHandle;
    decltype(&::GetFileSizeEx) getFileSize = ::GetFileSizeEx;
    decltype(&::GetSecurityInfo) getSecurityInfo = ::GetSecurityInfo;
    decltype(&::GetFinalPathNameByHandleW) getFinalPathName = ::GetFinalPathNameByHandleW;
#else
    int (*openat)(int folder, const char *name, int flags, mode_t mode) = [](int folder, const char *name, int flags,
                                                                              mode_t mode) {
        return ::openat(folder, name, flags, mode);
    };
    int (*close)(int fd) = ::close;
    ssize_t (*pread)(int fd, void *buffer, size_t size, off_t offset) = ::pread;
    ssize_t (*pwrite)(int fd, const void *buffer, size_t size, off_t offset) = ::pwrite;
    int (*fdatasync)(int fd) = ::fdatasync;
    int (*fsync)(int fd) = ::fsync;
    int (*ftruncate)(int fd, off_t size) = ::ftruncate;
    int (*fallocate)(int fd, off_t offset, off_t size) = ::posix_fallocate;
    int (*renameat)(int fromFolder, const char *from, int toFolder, const char *to) = ::renameat;
    int (*unlinkat)(int folder, const char *name, int flags) = ::unlinkat;
    int (*linkat)(int fromFolder, const char *from, int toFolder, const char *to, int flags) = ::linkat;
    int (*flock)(int fd, int operation) = ::flock;
    int (*fchown)(int fd, uid_t owner, gid_t group) = ::fchown;
    int (*fchmod)(int fd, mode_t mode) = ::fchmod;
    int (*fsetxattr)(int fd, const char *name, const void *value, size_t size, int flags) = ::fsetxattr;
    int (*fremovexattr)(int fd, const char *name) = ::fremovexattr;
    DIR *(*fdopendir)(int fd) = ::fdopendir;
    dirent *(*readdir)(DIR *dir) = ::readdir;
    void (*rewinddir)(DIR *dir) = ::rewinddir;
    int (*closedir)(DIR *dir) = ::closedir;
    ssize_t (*readlink)(const char *path, char *buffer, size_t size) = ::readlink;
    int (*fstat)(int fd, struct stat *info) = ::fstat;
    int (*fstatat)(int folder, const char *name, struct stat *info, int flags) = ::fstatat;
    ssize_t (*readlinkat)(int folder, const char *name, char *buffer, size_t size) = ::readlinkat;
    int (*fcntl)(int fd, int command, int argument) = [](int fd, int command, int argument) {
        return ::fcntl(fd, command, argument);
    };
    ssize_t (*flistxattr)(int fd, char *list, size_t size) = ::flistxattr;
    ssize_t (*fgetxattr)(int fd, const char *name, void *value, size_t size) = ::fgetxattr;
    int (*mkdirat)(int folder, const char *name, mode_t mode) = ::mkdirat;
#endif
};

extern SystemCalls systemCalls;

} // namespace storage
