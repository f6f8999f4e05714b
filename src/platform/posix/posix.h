// What the POSIX stand-ins share among themselves: the translation of errno and of paths into
// the Windows terms that the logic expects, and the handle table.
#ifndef SCRIVLET_PLATFORM_POSIX_POSIX_H
#define SCRIVLET_PLATFORM_POSIX_POSIX_H

#include <cstddef>

#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace posix {

// The Windows error code for an errno value. For ENOENT the answer depends on the path that
// failed: 2 (ERROR_FILE_NOT_FOUND) where its parent directory exists, 3 (ERROR_PATH_NOT_FOUND)
// where it does not; path may be null, and then ENOENT gives 2.
DWORD ErrorFromErrno(int error, const char* path);

// Converts a UTF-16 path into UTF-8 in buffer (size bytes), every backslash becoming '/' and
// nothing else rewritten. Returns 0, or the Windows error code: ERROR_PATH_NOT_FOUND for an
// empty or null path, ERROR_INVALID_NAME for an unpaired surrogate, ERROR_FILENAME_EXCED_RANGE
// when the result does not fit.
DWORD NativePath(LPCWSTR path, char* buffer, std::size_t size);

// Size of a buffer for NativePath that holds every path the library forms.
const std::size_t kNativePathSize = 1024;

// Handle table operations (handles.cpp), each with the Windows contract of its namesake.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* lpNumberOfBytesWritten, void* lpOverlapped);
BOOL CloseHandle(HANDLE hObject);
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE* lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle,
                     DWORD dwOptions);
HANDLE CreateMutexW(void* lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL ReleaseMutex(HANDLE hMutex);

// Number of handles open in the table (for tests and leak checks).
std::size_t OpenHandleCount();

}  // namespace posix
}  // namespace os
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_POSIX_H
