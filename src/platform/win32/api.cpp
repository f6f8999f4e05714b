// The table of operations on Windows: each default forwards to the Win32 API or to the C runtime
// (msvcrt), converting between the logic's fixed-width types and the Windows ones.
//
// The logic's DWORD is std::uint32_t, Windows' DWORD is unsigned long (also 32 bits, but another
// type), so every entry is a small function rather than the Windows function itself. The
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
#include <sys/timeb.h>
#include <time.h>

#include <cerrno>
// clang-format on

namespace scrivlet {
namespace os {
namespace {

HANDLE WinCreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                      void* lpSecurityAttributes, DWORD dwCreationDisposition,
                      DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return ::CreateFileW(lpFileName, dwDesiredAccess, dwShareMode,
                         static_cast<LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
                         dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL WinWriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                  DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
    ::DWORD written = 0;
    const ::BOOL result = ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, &written,
                                      static_cast<LPOVERLAPPED>(lpOverlapped));
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = written;
    return result;
}

BOOL WinCloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

BOOL WinDuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                        HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle, DWORD dwDesiredAccess,
                        BOOL bInheritHandle, DWORD dwOptions) {
    return ::DuplicateHandle(hSourceProcessHandle, hSourceHandle, hTargetProcessHandle,
                             lpTargetHandle, dwDesiredAccess, bInheritHandle, dwOptions);
}

DWORD WinGetFileAttributesW(LPCWSTR lpFileName) { return ::GetFileAttributesW(lpFileName); }

BOOL WinCreateDirectoryW(LPCWSTR lpPathName, void* lpSecurityAttributes) {
    return ::CreateDirectoryW(lpPathName, static_cast<LPSECURITY_ATTRIBUTES>(lpSecurityAttributes));
}

DWORD WinGetLastError() { return ::GetLastError(); }

void WinSetLastError(DWORD dwErrCode) { ::SetLastError(dwErrCode); }

HANDLE WinCreateMutexW(void* lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
    return ::CreateMutexW(static_cast<LPSECURITY_ATTRIBUTES>(lpMutexAttributes), bInitialOwner,
                          lpName);
}

DWORD WinWaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return ::WaitForSingleObject(hHandle, dwMilliseconds);
}

BOOL WinReleaseMutex(HANDLE hMutex) { return ::ReleaseMutex(hMutex); }

int WinFtime64(TIMEB64* timeptr) {
    if (timeptr == nullptr) return EINVAL;
    struct __timeb64 reading;
    const errno_t result = ::_ftime64_s(&reading);
    if (result != 0) return result;
    timeptr->time = static_cast<std::int64_t>(reading.time);
    timeptr->millitm = static_cast<std::uint16_t>(reading.millitm);
    timeptr->timezone = static_cast<std::int16_t>(reading.timezone);
    timeptr->dstflag = static_cast<std::int16_t>(reading.dstflag);
    return 0;
}

int WinLocaltime64(TM* tmDest, const std::int64_t* sourceTime) {
    if (tmDest == nullptr || sourceTime == nullptr) return EINVAL;
    const __time64_t seconds = static_cast<__time64_t>(*sourceTime);
    struct tm local;
    const errno_t result = ::_localtime64_s(&local, &seconds);
    if (result != 0) return result;
    CopyCalendar(local, tmDest);
    return 0;
}

const Api kDefaults = {
    WinCreateFileW,        WinWriteFile,           WinCloseHandle,  WinDuplicateHandle,
    WinGetFileAttributesW, WinCreateDirectoryW,    WinGetLastError, WinSetLastError,
    WinCreateMutexW,       WinWaitForSingleObject, WinReleaseMutex, WinFtime64,
    WinLocaltime64,
};

Api g_table = kDefaults;

// The allocation-failure handler functions of msvcrt.dll, the runtime that the host and this
// library share. MinGW's import libraries do not offer them under names a GCC-built caller can
// link: msvcrt exports _set_new_handler only under its MSVC C++ name, and the 32-bit import
// library lists neither function. They are therefore looked up in the loaded msvcrt.dll (which
// this library imports, so it is loaded before the entry point runs; GetModuleHandleW and
// GetProcAddress are safe there). Where a function is missing, setting it is skipped.
#if defined(_WIN64)
const char kSetNewHandlerName[] = "?_set_new_handler@@YAP6AH_K@ZP6AH0@Z@Z";
#else
const char kSetNewHandlerName[] = "?_set_new_handler@@YAP6AHI@ZP6AHI@Z@Z";
#endif

typedef NewHandler(__cdecl* SetNewHandlerFunction)(NewHandler);
typedef int(__cdecl* SetNewModeFunction)(int);

FARPROC RuntimeFunction(const char* name) {
    const HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
    return runtime == nullptr ? nullptr : ::GetProcAddress(runtime, name);
}

}  // namespace

Api& Table() { return g_table; }

const Api& DefaultTable() { return kDefaults; }

NewHandler _set_new_handler(NewHandler handler) {
    const FARPROC function = RuntimeFunction(kSetNewHandlerName);
    if (function == nullptr) return nullptr;
    return reinterpret_cast<SetNewHandlerFunction>(reinterpret_cast<void*>(function))(handler);
}

int _set_new_mode(int mode) {
    const FARPROC function = RuntimeFunction("_set_new_mode");
    if (function == nullptr) return 0;
    return reinterpret_cast<SetNewModeFunction>(reinterpret_cast<void*>(function))(mode);
}

}  // namespace os
}  // namespace scrivlet
