// Directories on POSIX: GetFileAttributesW and CreateDirectoryW with the behaviour of their
// Windows namesakes, as far as the folder walk uses them.
#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/errors.h"
#include "platform/posix/paths.h"

namespace scrivlet {
namespace os {

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
    return TRUE;
}

}  // namespace os
}  // namespace scrivlet
