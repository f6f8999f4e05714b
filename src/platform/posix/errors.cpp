// errno as Windows error codes: one table holds every errno the stand-ins can meet, with the code
// that the same failure gives on Windows; what the table does not name is ERROR_GEN_FAILURE.
#include "platform/posix/errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/paths.h"

namespace scrivlet {
namespace os {
namespace posix {
namespace {

struct ErrnoMapping {
    int error;
    DWORD code;
};

const ErrnoMapping kErrnoTable[] = {
    {EPERM, ERROR_ACCESS_DENIED},
    {EACCES, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},  // a directory opened as a file, as on Windows
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},  // a file where a directory should be
    {EROFS, ERROR_WRITE_PROTECT},
    {ENOSPC, ERROR_DISK_FULL},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFBIG, ERROR_FILE_TOO_LARGE},  // past the file-size limit
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EBUSY, ERROR_BUSY},
    {EAGAIN, ERROR_BUSY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EFAULT, ERROR_NOACCESS},
    {EIO, ERROR_IO_DEVICE},
    {ENXIO, ERROR_DEV_NOT_EXIST},
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {EPIPE, ERROR_BROKEN_PIPE},
    {EMLINK, ERROR_TOO_MANY_LINKS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {ENOLCK, ERROR_SHARING_BUFFER_EXCEEDED},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {EDQUOT, ERROR_DISK_QUOTA_EXCEEDED},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {EDEADLK, ERROR_POSSIBLE_DEADLOCK},
    {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    {EINTR, ERROR_CANCELLED},
};

// Whether the directory that would hold path exists.
bool ParentExists(const char* path) {
    char parent[kNativePathSize];
    struct stat info;
    return ParentDirectory(path, parent) && stat(parent, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

DWORD ErrorFromErrno(int error, const char* path) {
    if (error == ENOENT) {
        return (path == nullptr || ParentExists(path)) ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_PATH_NOT_FOUND;
    }
    for (const ErrnoMapping& mapping : kErrnoTable) {
        if (mapping.error == error) return mapping.code;
    }
    return ERROR_GEN_FAILURE;
}

void SetLastErrorFromErrno(int error, const char* path) {
    Table().SetLastError(ErrorFromErrno(error, path));
}

}  // namespace posix
}  // namespace os
}  // namespace scrivlet
