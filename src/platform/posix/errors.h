// errno as the Windows error code that the same failure gives on Windows.
#ifndef SCRIVLET_PLATFORM_POSIX_ERRORS_H
#define SCRIVLET_PLATFORM_POSIX_ERRORS_H

#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace posix {

// The Windows error code for an errno value; ERROR_GEN_FAILURE for one the table does not name.
// For ENOENT the answer depends on the path that failed: ERROR_FILE_NOT_FOUND where its parent
// directory exists, ERROR_PATH_NOT_FOUND where it does not; path may be null, and then ENOENT
// gives ERROR_FILE_NOT_FOUND.
DWORD ErrorFromErrno(int error, const char* path);

// Sets the calling thread's last error from errno (see ErrorFromErrno).
void SetLastErrorFromErrno(int error, const char* path);

}  // namespace posix
}  // namespace os
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_ERRORS_H
