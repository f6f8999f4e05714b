// Directories on POSIX: GetFileAttributesW and CreateDirectoryW with the behaviour of their
// Windows namesakes, as far as the folder walk uses them, and the sync of a parent directory
// that makes a new entry durable (durability.h).
//
// A new directory is on the storage when CreateDirectoryW returns: its entry in the parent
// directory is synced, as POSIX requires for a new name to survive a power cut.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/durability.h"
#include "platform/posix/errors.h"
#include "platform/posix/paths.h"

namespace scrivlet {
namespace os {

int posix::SyncParentDirectory(const char* path) {
    char parent[kNativePathSize];
    if (!ParentDirectory(path, parent)) return ENAMETOOLONG;
    const int fd = open(parent, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (fsync(fd) != 0 && errno != EINVAL) error = errno;
    close(fd);
    return error;
}

DWORD native::GetFileAttributesW(LPCWSTR lpFileName) {
    const posix::NativePathBuffer path(lpFileName);
    if (!path.ok()) return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        posix::SetLastErrorFromErrno(errno, path.c_str());
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL native::CreateDirectoryW(LPCWSTR lpPathName, void* /*lpSecurityAttributes*/) {
    const posix::NativePathBuffer path(lpPathName);
    if (!path.ok()) return FALSE;
    // Default security: everyone the umask allows.
    if (mkdir(path.c_str(), 0777) != 0) {
        posix::SetLastErrorFromErrno(errno, path.c_str());
        return FALSE;
    }
    // A directory whose entry cannot be synced is removed again, so that the next folder walk
    // creates it anew instead of finding one that a power cut may take.
    const int error = posix::SyncParentDirectory(path.c_str());
    if (error != 0) {
        rmdir(path.c_str());
        posix::SetLastErrorFromErrno(error, path.c_str());
        return FALSE;
    }
    return TRUE;
}

}  // namespace os
}  // namespace scrivlet
