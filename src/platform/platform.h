// The operating system as the library's logic sees it: the Windows kernel and runtime operations
// it calls, under their Windows names and with their Windows types, in the namespace
// scrivlet::os.
//
// Every kernel and runtime operation is reached through one table of function pointers (Table(),
// defined once in table.cpp) whose defaults are the platform's own functions, declared here in
// scrivlet::os::native: on Windows they forward to the real API (win32/), elsewhere they are this
// library's stand-ins that report Windows error codes (posix/). CMake picks one of the two trees;
// nothing here depends on the platform. Tests make a chosen call fail by replacing table entries
// (the table is internal: the shipped library exports no way to change it). The bounded text
// functions are this library's own code on every platform and are not in the table.
#ifndef SCRIVLET_PLATFORM_PLATFORM_H
#define SCRIVLET_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>

#include "scrivlet/export.h"

namespace scrivlet {
namespace os {

typedef std::uint32_t DWORD;
typedef int BOOL;
typedef void* HANDLE;
typedef TQ_WCHAR WCHAR;
typedef const WCHAR* LPCWSTR;

const BOOL TRUE = 1;
const BOOL FALSE = 0;

inline HANDLE InvalidHandleValue() { return TQ_INVALID_HANDLE; }
// The pseudo-handle of the calling process, as GetCurrentProcess() returns it.
inline HANDLE CurrentProcess() { return TQ_INVALID_HANDLE; }

// Windows error codes that the logic or the stand-ins report.
const DWORD ERROR_SUCCESS = 0;
const DWORD ERROR_FILE_NOT_FOUND = 2;
const DWORD ERROR_PATH_NOT_FOUND = 3;
const DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
const DWORD ERROR_ACCESS_DENIED = 5;
const DWORD ERROR_INVALID_HANDLE = 6;
const DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
const DWORD ERROR_NOT_SAME_DEVICE = 17;
const DWORD ERROR_WRITE_PROTECT = 19;
const DWORD ERROR_GEN_FAILURE = 31;
const DWORD ERROR_SHARING_VIOLATION = 32;
const DWORD ERROR_SHARING_BUFFER_EXCEEDED = 36;
const DWORD ERROR_NOT_SUPPORTED = 50;
const DWORD ERROR_DEV_NOT_EXIST = 55;
const DWORD ERROR_INVALID_PARAMETER = 87;
const DWORD ERROR_BROKEN_PIPE = 109;
const DWORD ERROR_DISK_FULL = 112;
const DWORD ERROR_INVALID_NAME = 123;
const DWORD ERROR_NEGATIVE_SEEK = 131;
const DWORD ERROR_SEEK_ON_DEVICE = 132;
const DWORD ERROR_DIR_NOT_EMPTY = 145;
const DWORD ERROR_BUSY = 170;
const DWORD ERROR_ALREADY_EXISTS = 183;
const DWORD ERROR_FILENAME_EXCED_RANGE = 206;
const DWORD ERROR_BAD_FILE_TYPE = 222;
const DWORD ERROR_FILE_TOO_LARGE = 223;
const DWORD ERROR_NOT_OWNER = 288;
const DWORD ERROR_NOACCESS = 998;
const DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
const DWORD ERROR_IO_DEVICE = 1117;
const DWORD ERROR_POSSIBLE_DEADLOCK = 1131;
const DWORD ERROR_TOO_MANY_LINKS = 1142;
const DWORD ERROR_CANCELLED = 1223;
const DWORD ERROR_DISK_QUOTA_EXCEEDED = 1295;
const DWORD ERROR_TIMEOUT = 1460;
const DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

// C runtime error numbers that the runtime operations return (the same on every platform).
const int kRuntimeEinval = 22;
const int kRuntimeErange = 34;

// CreateFileW arguments.
const DWORD GENERIC_READ = 0x80000000u;
const DWORD GENERIC_WRITE = 0x40000000u;
const DWORD FILE_SHARE_READ = 0x1;
const DWORD FILE_SHARE_WRITE = 0x2;
const DWORD CREATE_ALWAYS = 2;
const DWORD OPEN_EXISTING = 3;
const DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
const DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
const DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000u;
const DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// SetFilePointerEx move methods.
const DWORD FILE_BEGIN = 0;
const DWORD FILE_CURRENT = 1;
const DWORD FILE_END = 2;

// DuplicateHandle option.
const DWORD DUPLICATE_SAME_ACCESS = 0x2;

// WaitForSingleObject.
const DWORD INFINITE = 0xFFFFFFFFu;
const DWORD WAIT_OBJECT_0 = 0;
const DWORD WAIT_ABANDONED = 0x80;
const DWORD WAIT_TIMEOUT = 0x102;
const DWORD WAIT_FAILED = 0xFFFFFFFFu;

// One clock reading (as the runtime's __timeb64).
struct TIMEB64 {
    std::int64_t time;      // seconds since 1970-01-01 00:00:00 UTC
    std::uint16_t millitm;  // milliseconds within that second, 0-999
    std::int16_t timezone;  // not used by the library
    std::int16_t dstflag;   // not used by the library
};

// Local calendar time (as the runtime's struct tm).
struct TM {
    int tm_sec;
    int tm_min;
    int tm_hour;
    int tm_mday;
    int tm_mon;   // 0-11
    int tm_year;  // years since 1900
    int tm_wday;
    int tm_yday;
    int tm_isdst;
};

// Copies the calendar fields of the runtime's own struct tm into a TM.
template <typename RuntimeTm>
void CopyCalendar(const RuntimeTm& from, TM* to) {
    to->tm_sec = from.tm_sec;
    to->tm_min = from.tm_min;
    to->tm_hour = from.tm_hour;
    to->tm_mday = from.tm_mday;
    to->tm_mon = from.tm_mon;
    to->tm_year = from.tm_year;
    to->tm_wday = from.tm_wday;
    to->tm_yday = from.tm_yday;
    to->tm_isdst = from.tm_isdst;
}

// The signatures of the kernel and runtime operations, each that of the Windows function of the
// same name.
typedef HANDLE CreateFileWFunction(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
typedef BOOL WriteFileFunction(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                               DWORD* lpNumberOfBytesWritten, void* lpOverlapped);
typedef BOOL ReadFileFunction(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                              DWORD* lpNumberOfBytesRead, void* lpOverlapped);
// The 64-bit positions and sizes are Windows' LARGE_INTEGER, the file times its FILETIME (100 ns
// units since 1601-01-01 UTC), as plain integers.
typedef BOOL SetFilePointerExFunction(HANDLE hFile, std::int64_t liDistanceToMove,
                                      std::int64_t* lpNewFilePointer, DWORD dwMoveMethod);
typedef BOOL SetEndOfFileFunction(HANDLE hFile);
typedef BOOL GetFileSizeExFunction(HANDLE hFile, std::int64_t* lpFileSize);
typedef BOOL GetFileTimeFunction(HANDLE hFile, std::uint64_t* lpCreationTime,
                                 std::uint64_t* lpLastAccessTime, std::uint64_t* lpLastWriteTime);
typedef BOOL CloseHandleFunction(HANDLE hObject);
typedef BOOL DuplicateHandleFunction(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                     HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle,
                                     DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);
typedef DWORD GetFileAttributesWFunction(LPCWSTR lpFileName);
typedef BOOL CreateDirectoryWFunction(LPCWSTR lpPathName, void* lpSecurityAttributes);
typedef DWORD GetLastErrorFunction();
typedef void SetLastErrorFunction(DWORD dwErrCode);
typedef HANDLE CreateMutexWFunction(void* lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
typedef DWORD WaitForSingleObjectFunction(HANDLE hHandle, DWORD dwMilliseconds);
typedef BOOL ReleaseMutexFunction(HANDLE hMutex);
typedef int Ftime64Function(TIMEB64* timeptr);
typedef int Localtime64Function(TM* tmDest, const std::int64_t* sourceTime);

// The table of kernel and runtime operations.
struct Api {
    CreateFileWFunction* CreateFileW;
    WriteFileFunction* WriteFile;
    ReadFileFunction* ReadFile;
    SetFilePointerExFunction* SetFilePointerEx;
    SetEndOfFileFunction* SetEndOfFile;
    GetFileSizeExFunction* GetFileSizeEx;
    GetFileTimeFunction* GetFileTime;
    CloseHandleFunction* CloseHandle;
    DuplicateHandleFunction* DuplicateHandle;
    GetFileAttributesWFunction* GetFileAttributesW;
    CreateDirectoryWFunction* CreateDirectoryW;
    GetLastErrorFunction* GetLastError;
    SetLastErrorFunction* SetLastError;
    CreateMutexWFunction* CreateMutexW;
    WaitForSingleObjectFunction* WaitForSingleObject;
    ReleaseMutexFunction* ReleaseMutex;
    Ftime64Function* _ftime64_s;
    Localtime64Function* _localtime64_s;
};

// The platform's own operations, the defaults of the table.
namespace native {
CreateFileWFunction CreateFileW;
WriteFileFunction WriteFile;
ReadFileFunction ReadFile;
SetFilePointerExFunction SetFilePointerEx;
SetEndOfFileFunction SetEndOfFile;
GetFileSizeExFunction GetFileSizeEx;
GetFileTimeFunction GetFileTime;
CloseHandleFunction CloseHandle;
DuplicateHandleFunction DuplicateHandle;
GetFileAttributesWFunction GetFileAttributesW;
CreateDirectoryWFunction CreateDirectoryW;
GetLastErrorFunction GetLastError;
SetLastErrorFunction SetLastError;
CreateMutexWFunction CreateMutexW;
WaitForSingleObjectFunction WaitForSingleObject;
ReleaseMutexFunction ReleaseMutex;
Ftime64Function _ftime64_s;
Localtime64Function _localtime64_s;
}  // namespace native

// The live table that the operations below go through, and the platform's defaults. Tests
// replace entries of Table() and restore them from DefaultTable().
Api& Table();
const Api& DefaultTable();

inline HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          void* lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return Table().CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                               dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}
inline BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                      DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
    return Table().WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                             lpOverlapped);
}
inline BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                     DWORD* lpNumberOfBytesRead, void* lpOverlapped) {
    return Table().ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                            lpOverlapped);
}
inline BOOL SetFilePointerEx(HANDLE hFile, std::int64_t liDistanceToMove,
                             std::int64_t* lpNewFilePointer, DWORD dwMoveMethod) {
    return Table().SetFilePointerEx(hFile, liDistanceToMove, lpNewFilePointer, dwMoveMethod);
}
inline BOOL SetEndOfFile(HANDLE hFile) { return Table().SetEndOfFile(hFile); }
inline BOOL GetFileSizeEx(HANDLE hFile, std::int64_t* lpFileSize) {
    return Table().GetFileSizeEx(hFile, lpFileSize);
}
inline BOOL GetFileTime(HANDLE hFile, std::uint64_t* lpCreationTime,
                        std::uint64_t* lpLastAccessTime, std::uint64_t* lpLastWriteTime) {
    return Table().GetFileTime(hFile, lpCreationTime, lpLastAccessTime, lpLastWriteTime);
}
inline BOOL CloseHandle(HANDLE hObject) { return Table().CloseHandle(hObject); }
inline BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                            HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle,
                            DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
    return Table().DuplicateHandle(hSourceProcessHandle, hSourceHandle, hTargetProcessHandle,
                                   lpTargetHandle, dwDesiredAccess, bInheritHandle, dwOptions);
}
inline DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    return Table().GetFileAttributesW(lpFileName);
}
inline BOOL CreateDirectoryW(LPCWSTR lpPathName, void* lpSecurityAttributes) {
    return Table().CreateDirectoryW(lpPathName, lpSecurityAttributes);
}
inline DWORD GetLastError() { return Table().GetLastError(); }
inline void SetLastError(DWORD dwErrCode) { Table().SetLastError(dwErrCode); }
inline HANDLE CreateMutexW(void* lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
    return Table().CreateMutexW(lpMutexAttributes, bInitialOwner, lpName);
}
inline DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return Table().WaitForSingleObject(hHandle, dwMilliseconds);
}
inline BOOL ReleaseMutex(HANDLE hMutex) { return Table().ReleaseMutex(hMutex); }
inline int _ftime64_s(TIMEB64* timeptr) { return Table()._ftime64_s(timeptr); }
inline int _localtime64_s(TM* tmDest, const std::int64_t* sourceTime) {
    return Table()._localtime64_s(tmDest, sourceTime);
}

// The allocation-failure handler of the runtime (_set_new_handler, _set_new_mode). A handler
// returns 0 to decline a retry.
typedef int (*NewHandler)(std::size_t);
NewHandler _set_new_handler(NewHandler handler);
int _set_new_mode(int mode);

// Paths as the platform's file system spells them (paths.cpp of each tree). They are rules, not
// operations, so they are not in the table.
//
// PathSeparator: the character between directories in a path as the file system names it.
char PathSeparator();

// RootFolder: the start of a folder written with '\' between its directories, rewritten in place
// as the log file's folder walk takes it on this platform. Where absolute paths start with '/',
// the leading separators of an absolute folder become one '/', which the walk takes as part of
// the first directory's name ("\var\log" is walked as /var and /var/log); elsewhere the folder
// stays as given. Returns the folder's new length, never more than length.
std::size_t RootFolder(char* folder, std::size_t length);

// Bounded 16-bit text, the same code on every platform (text.cpp).
//
// swprintf_s: formats into buffer, writing at most count elements, terminating zero included.
// Supports literal text, %% and the conversions %s (wide text), %u and %0Nu (unsigned int),
// %I64u and %0NI64u (unsigned long long); N is a width of at most 2 digits. Returns the number of
// characters written (without the zero). When the text does not fit, or the format holds another
// conversion, leaves an empty string (when count > 0) and returns -1. Never ends the process.
int swprintf_s(WCHAR* buffer, std::size_t count, const WCHAR* format, ...);

// wcscpy_s: copies source into dest, writing at most count elements. Returns 0; or, leaving an
// empty string, 34 (ERANGE) when source does not fit and 22 (EINVAL) when source is null;
// 22 without writing when dest is null or count is 0. Reads at most count elements of source.
int wcscpy_s(WCHAR* dest, std::size_t count, const WCHAR* source);

// wcsnlen_s: characters of text before its terminating zero, counting at most max (a text
// without a zero among its first max elements counts as max). A null text counts as 0.
std::size_t wcsnlen_s(const WCHAR* text, std::size_t max);

}  // namespace os
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_PLATFORM_H
