// The kernel operations on Windows: each forwards to the Win32 API, converting between the
// logic's fixed-width types and the Windows ones.
//
// The logic's DWORD is std::uint32_t, Windows' DWORD is unsigned long (also 32 bits, but another
// type), so every operation is a small function rather than the Windows function itself. The
// platform header is included before <windows.h>: it declares constants such as TRUE, INFINITE
// and ERROR_ALREADY_EXISTS in scrivlet::os, which <windows.h> then defines as macros. From there
// on this file uses only the Windows macros and names the Windows functions with a leading ::.
#include "platform/platform.h"

// clang-format off
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// clang-format on

namespace scrivlet {
namespace os {

HANDLE native::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           void* lpSecurityAttributes, DWORD dwCreationDisposition,
                           DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return ::CreateFileW(lpFileName, dwDesiredAccess, dwShareMode,
                         static_cast<LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
                         dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL native::WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                       DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
    ::DWORD written = 0;
    const ::BOOL result = ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, &written,
                                      static_cast<LPOVERLAPPED>(lpOverlapped));
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = written;
    return result;
}

BOOL native::ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                      DWORD* lpNumberOfBytesRead, void* lpOverlapped) {
    ::DWORD read = 0;
    const ::BOOL result = ::ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, &read,
                                     static_cast<LPOVERLAPPED>(lpOverlapped));
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = read;
    return result;
}

BOOL native::SetFilePointerEx(HANDLE hFile, std::int64_t liDistanceToMove,
                              std::int64_t* lpNewFilePointer, DWORD dwMoveMethod) {
    LARGE_INTEGER distance;
    distance.QuadPart = liDistanceToMove;
    LARGE_INTEGER position;
    position.QuadPart = 0;
    const ::BOOL result = ::SetFilePointerEx(hFile, distance, &position, dwMoveMethod);
    if (result && lpNewFilePointer != nullptr) *lpNewFilePointer = position.QuadPart;
    return result;
}

BOOL native::SetEndOfFile(HANDLE hFile) { return ::SetEndOfFile(hFile); }

BOOL native::GetFileSizeEx(HANDLE hFile, std::int64_t* lpFileSize) {
    LARGE_INTEGER size;
    size.QuadPart = 0;
    const ::BOOL result = ::GetFileSizeEx(hFile, &size);
    if (result && lpFileSize != nullptr) *lpFileSize = size.QuadPart;
    return result;
}

BOOL native::GetFileTime(HANDLE hFile, std::uint64_t* lpCreationTime,
                         std::uint64_t* lpLastAccessTime, std::uint64_t* lpLastWriteTime) {
    FILETIME times[3] = {};
    const ::BOOL result = ::GetFileTime(hFile, &times[0], &times[1], &times[2]);
    std::uint64_t* targets[3] = {lpCreationTime, lpLastAccessTime, lpLastWriteTime};
    for (int i = 0; result && i < 3; ++i) {
        if (targets[i] != nullptr) {
            *targets[i] = (static_cast<std::uint64_t>(times[i].dwHighDateTime) << 32) |
                          times[i].dwLowDateTime;
        }
    }
    return result;
}

BOOL native::CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

BOOL native::DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                             HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle,
                             DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
    return ::DuplicateHandle(hSourceProcessHandle, hSourceHandle, hTargetProcessHandle,
                             lpTargetHandle, dwDesiredAccess, bInheritHandle, dwOptions);
}

DWORD native::GetFileAttributesW(LPCWSTR lpFileName) { return ::GetFileAttributesW(lpFileName); }

BOOL native::CreateDirectoryW(LPCWSTR lpPathName, void* lpSecurityAttributes) {
    return ::CreateDirectoryW(lpPathName, static_cast<LPSECURITY_ATTRIBUTES>(lpSecurityAttributes));
}

DWORD native::GetLastError() { return ::GetLastError(); }

void native::SetLastError(DWORD dwErrCode) { ::SetLastError(dwErrCode); }

HANDLE native::CreateMutexW(void* lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
    return ::CreateMutexW(static_cast<LPSECURITY_ATTRIBUTES>(lpMutexAttributes), bInitialOwner,
                          lpName);
}

DWORD native::WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return ::WaitForSingleObject(hHandle, dwMilliseconds);
}

BOOL native::ReleaseMutex(HANDLE hMutex) { return ::ReleaseMutex(hMutex); }

}  // namespace os
}  // namespace scrivlet
