// Files on POSIX: CreateFileW, WriteFile and the file operations around them (reading, moving
// the file pointer, cutting the file, its size and time) with the behaviour of their
// Windows namesakes.
//
// CreateFileW creates or replaces a file (CREATE_ALWAYS), or opens one that exists without
// changing it (OPEN_EXISTING, ERROR_FILE_NOT_FOUND when there is none).
//
// CreateFileW opens with O_DSYNC, so that each write is on the storage (data and the metadata
// needed to read it back) when WriteFile returns, as FILE_FLAG_WRITE_THROUGH promises. O_SYNC
// would also flush timestamps on every write at no gain for a reader after a crash. O_CLOEXEC
// keeps the file out of child processes, as a Windows handle created without inheritable
// security attributes is. A file opened for writing without FILE_SHARE_WRITE holds an exclusive
// open-file-description lock on the whole file, taken before the file is truncated: a second
// writer, in this or another process, is refused with ERROR_SHARING_VIOLATION and the file stays
// as it was. A file that CreateFileW creates has its directory entry synced before the call
// returns (durability.h); the handle is taken before the file is touched, so that a full handle
// table leaves the file as it was. Only a regular file is ever opened for good: a symbolic link in
// the file's own name, a FIFO, a socket, a device or a directory is refused with
// ERROR_BAD_FILE_TYPE and left as it was, and so is a file whose permission bits keep root from
// writing it (OpenRegularFile).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/durability.h"
#include "platform/posix/errors.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/paths.h"

namespace scrivlet {
namespace os {
namespace posix {
namespace {

// Opening an existing file and creating a missing one are two calls; another process that
// removes or creates the file in between makes the pair start again. Each round is lost only to
// such a race, so a few rounds are plenty; a file that keeps vanishing and coming back fails with
// the last error.
const int kOpenRounds = 8;

HANDLE InvalidWithError(DWORD code) {
    Table().SetLastError(code);
    return InvalidHandleValue();
}

// Whether the permission bits of a regular file let this process write it. The open has checked
// them, except for root, whose capabilities override them: root writes a file only where the bits
// let it too (its own file with the owner's write bit, one of its group with the group's, any
// other with the others'), as Windows keeps administrators from a read-only file, so that a file
// of another owner without write permission is refused to root as well.
bool BitsAllowWriting(const struct stat& info) {
    if (geteuid() != 0) return true;
    const mode_t bit = info.st_uid == 0 ? S_IWUSR : info.st_gid == getegid() ? S_IWGRP : S_IWOTH;
    return (info.st_mode & bit) != 0;
}

// Opens path with flags as a regular file, or not at all. A symbolic link in the file's own name
// is not followed (folders on the way may be links), the open does not wait for the other end of
// a FIFO or for a device, and a terminal does not become the controlling terminal; anything but a
// regular file, and a file the permission bits keep from a writer (BitsAllowWriting), is closed
// again before it is locked, truncated or written. Returns the descriptor, which blocks as usual,
// with error ERROR_SUCCESS; or -1 with error ERROR_BAD_FILE_TYPE where something other than a
// regular file holds the name, ERROR_ACCESS_DENIED, or the code of the call that failed
// (ERROR_FILE_NOT_FOUND for a missing file whose folder exists, ERROR_ALREADY_EXISTS for O_EXCL).
int OpenRegularFile(const char* path, int flags, DWORD& error) {
    const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    struct stat info;
    if (fd < 0) {
        // A link (ELOOP), a directory (EISDIR) or a socket (ENXIO) already fails the open; the
        // name itself tells them from a failure that has nothing to do with it.
        const int failure = errno;
        error = lstat(path, &info) == 0 && !S_ISREG(info.st_mode) ? ERROR_BAD_FILE_TYPE
                                                                  : ErrorFromErrno(failure, path);
        return -1;
    }
    const int status = fstat(fd, &info) == 0 ? fcntl(fd, F_GETFL) : -1;
    if (status < 0) {
        error = ErrorFromErrno(errno, path);
    } else if (!S_ISREG(info.st_mode)) {
        error = ERROR_BAD_FILE_TYPE;
    } else if ((flags & O_ACCMODE) != O_RDONLY && (flags & O_EXCL) == 0 &&
               !BitsAllowWriting(info)) {  // a file that this open created is the caller's
        error = ERROR_ACCESS_DENIED;
    } else if (fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        error = ErrorFromErrno(errno, path);
    } else {
        error = ERROR_SUCCESS;
        return fd;
    }
    close(fd);
    return -1;
}

// Opens path without truncating it if it exists, so that a file another writer holds is not
// changed before the lock has been asked for, and creates it if it does not. Returns the
// descriptor, or -1 with error set (see OpenRegularFile).
int OpenOrCreate(const char* path, int flags, bool& existed, DWORD& error) {
    for (int round = 0; round < kOpenRounds; ++round) {
        int fd = OpenRegularFile(path, flags, error);
        if (fd >= 0) {
            existed = true;
            return fd;
        }
        if (error != ERROR_FILE_NOT_FOUND) return -1;
        fd = OpenRegularFile(path, flags | O_CREAT | O_EXCL, error);
        if (fd >= 0 || error != ERROR_ALREADY_EXISTS) return fd;
    }
    return -1;
}

}  // namespace

void DisposeFile(Object* object) {
    close(object->fd);  // the lock goes with the last descriptor of the open file
    object->kind = Kind::kFree;
}

}  // namespace posix

HANDLE native::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           void* /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                           DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    // The library creates or replaces its files, or opens those it continues.
    const bool create = dwCreationDisposition == CREATE_ALWAYS;
    if (!create && dwCreationDisposition != OPEN_EXISTING) {
        return posix::InvalidWithError(ERROR_INVALID_PARAMETER);
    }
    const posix::NativePathBuffer path(lpFileName);
    if (!path.ok()) return InvalidHandleValue();

    const bool writing = (dwDesiredAccess & GENERIC_WRITE) != 0;
    int flags =
        O_CLOEXEC | (writing ? ((dwDesiredAccess & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
    if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;

    // The handle first: without one the file is not touched.
    posix::Object* object = posix::TakeObject(posix::Kind::kFile);
    if (object == nullptr) return InvalidHandleValue();
    bool existed = !create;
    DWORD error = ERROR_SUCCESS;
    const int fd = create ? posix::OpenOrCreate(path.c_str(), flags, existed, error)
                          : posix::OpenRegularFile(path.c_str(), flags, error);
    if (fd < 0) {
        posix::ReturnObject(object);
        return posix::InvalidWithError(error);
    }
    if (writing && (dwShareMode & FILE_SHARE_WRITE) == 0) {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
            error = (errno == EAGAIN || errno == EACCES)
                        ? ERROR_SHARING_VIOLATION
                        : posix::ErrorFromErrno(errno, path.c_str());
        }
    }
    // Replace the contents.
    if (error == ERROR_SUCCESS && create && existed && writing && ftruncate(fd, 0) != 0) {
        error = posix::ErrorFromErrno(errno, path.c_str());
    }
    // A new file's directory entry goes to the storage before the file is handed out; a file
    // whose entry cannot be synced is removed again, so that the next open creates it anew.
    if (error == ERROR_SUCCESS && !existed) {
        const int sync_error = posix::SyncParentDirectory(path.c_str());
        if (sync_error != 0) {
            unlink(path.c_str());
            error = posix::ErrorFromErrno(sync_error, path.c_str());
        }
    }
    if (error != ERROR_SUCCESS) {
        close(fd);
        posix::ReturnObject(object);
        return posix::InvalidWithError(error);
    }
    object->fd = fd;
    const HANDLE handle = posix::Register(object);
    Table().SetLastError(create && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

namespace posix {
namespace {

// One read or write system call on the file behind handle, as ReadFile and WriteFile make it: a
// short transfer is a success that reports the bytes moved.
template <typename Transfer>
BOOL TransferFile(HANDLE handle, DWORD* moved, Transfer transfer) {
    if (moved != nullptr) *moved = 0;
    Object* object = Find(handle, Kind::kFile);
    if (object == nullptr) return FALSE;
    ssize_t done;
    do {
        done = transfer(object->fd);
    } while (done < 0 && errno == EINTR);
    if (done < 0) {
        SetLastErrorFromErrno(errno, nullptr);
        return FALSE;
    }
    if (moved != nullptr) *moved = static_cast<DWORD>(done);
    return TRUE;
}

// The status of the file behind handle; false with the last error set.
bool StatFile(HANDLE handle, struct stat& info) {
    Object* object = Find(handle, Kind::kFile);
    if (object == nullptr) return false;
    if (fstat(object->fd, &info) == 0) return true;
    SetLastErrorFromErrno(errno, nullptr);
    return false;
}

}  // namespace
}  // namespace posix

BOOL native::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                       DWORD* lpNumberOfBytesWritten, void* /*lpOverlapped*/) {
    return posix::TransferFile(hFile, lpNumberOfBytesWritten,
                               [&](int fd) { return write(fd, lpBuffer, nNumberOfBytesToWrite); });
}

BOOL native::ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                      DWORD* lpNumberOfBytesRead, void* /*lpOverlapped*/) {
    return posix::TransferFile(hFile, lpNumberOfBytesRead,
                               [&](int fd) { return read(fd, lpBuffer, nNumberOfBytesToRead); });
}

BOOL native::SetFilePointerEx(HANDLE hFile, std::int64_t liDistanceToMove,
                              std::int64_t* lpNewFilePointer, DWORD dwMoveMethod) {
    posix::Object* object = posix::Find(hFile, posix::Kind::kFile);
    if (object == nullptr) return FALSE;
    const int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                       : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                       : dwMoveMethod == FILE_END     ? SEEK_END
                                                      : -1;
    if (whence < 0) {
        Table().SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const off_t position = lseek(object->fd, static_cast<off_t>(liDistanceToMove), whence);
    if (position < 0) {
        // Before the start of the file, as Windows words it.
        Table().SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK
                                             : posix::ErrorFromErrno(errno, nullptr));
        return FALSE;
    }
    if (lpNewFilePointer != nullptr) *lpNewFilePointer = static_cast<std::int64_t>(position);
    return TRUE;
}

BOOL native::SetEndOfFile(HANDLE hFile) {
    posix::Object* object = posix::Find(hFile, posix::Kind::kFile);
    if (object == nullptr) return FALSE;
    const off_t position = lseek(object->fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(object->fd, position) != 0) {
        posix::SetLastErrorFromErrno(errno, nullptr);
        return FALSE;
    }
    return TRUE;
}

BOOL native::GetFileSizeEx(HANDLE hFile, std::int64_t* lpFileSize) {
    struct stat info;
    if (!posix::StatFile(hFile, info)) return FALSE;
    if (lpFileSize != nullptr) *lpFileSize = static_cast<std::int64_t>(info.st_size);
    return TRUE;
}

BOOL native::GetFileTime(HANDLE hFile, std::uint64_t* lpCreationTime,
                         std::uint64_t* lpLastAccessTime, std::uint64_t* lpLastWriteTime) {
    struct stat info;
    if (!posix::StatFile(hFile, info)) return FALSE;
    // 100 ns units since 1601-01-01, as Windows counts file times; POSIX keeps no creation time,
    // the status change time stands in for it.
    const auto windows_time = [](const timespec& t) {
        const std::int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
        return static_cast<std::uint64_t>((t.tv_sec + kEpochDifference) * 10000000 +
                                          t.tv_nsec / 100);
    };
    if (lpCreationTime != nullptr) *lpCreationTime = windows_time(info.st_ctim);
    if (lpLastAccessTime != nullptr) *lpLastAccessTime = windows_time(info.st_atim);
    if (lpLastWriteTime != nullptr) *lpLastWriteTime = windows_time(info.st_mtim);
    return TRUE;
}

}  // namespace os
}  // namespace scrivlet
