// Files on POSIX: CreateFileW and WriteFile with the behaviour of their Windows namesakes.
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
// table leaves the file as it was.
#include <fcntl.h>
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
// the last errno.
const int kOpenRounds = 8;

HANDLE InvalidWithError(DWORD code) {
    Table().SetLastError(code);
    return InvalidHandleValue();
}

// Opens path without truncating it if it exists, so that a file another writer holds is not
// changed before the lock has been asked for, and creates it if it does not. Returns the
// descriptor, or -1 with errno set.
int OpenOrCreate(const char* path, int flags, bool& existed) {
    int fd = -1;
    for (int round = 0; round < kOpenRounds; ++round) {
        fd = open(path, flags);
        if (fd >= 0) {
            existed = true;
            return fd;
        }
        if (errno != ENOENT) return -1;
        fd = open(path, flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return fd;
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
    // The library creates its files in one way only; other dispositions are not provided.
    if (dwCreationDisposition != CREATE_ALWAYS) {
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
    bool existed = false;
    const int fd = posix::OpenOrCreate(path.c_str(), flags, existed);
    if (fd < 0) {
        posix::ReturnObject(object);
        return posix::InvalidWithError(posix::ErrorFromErrno(errno, path.c_str()));
    }
    DWORD error = ERROR_SUCCESS;
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
    // Replace the contents. A file that cannot be truncated because it is no regular file (a
    // device such as /dev/full) is written as it is.
    if (error == ERROR_SUCCESS && existed && writing && ftruncate(fd, 0) != 0 && errno != EINVAL) {
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
    Table().SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL native::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                       DWORD* lpNumberOfBytesWritten, void* /*lpOverlapped*/) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    posix::Object* object = posix::Find(hFile, posix::Kind::kFile);
    if (object == nullptr) return FALSE;
    // One system call; a short write is a success that reports the bytes written.
    ssize_t written;
    do {
        written = write(object->fd, lpBuffer, nNumberOfBytesToWrite);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        posix::SetLastErrorFromErrno(errno, nullptr);
        return FALSE;
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    }
    return TRUE;
}

}  // namespace os
}  // namespace scrivlet
