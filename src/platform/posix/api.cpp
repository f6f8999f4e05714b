// The table of operations on POSIX, the per-thread last error, the clock and local time, and
// the allocation-failure handler functions.
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/posix/posix.h"

namespace scrivlet {
namespace os {
namespace {

thread_local DWORD t_last_error = 0;

DWORD PosixGetLastError() { return t_last_error; }

void PosixSetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }

DWORD PosixGetFileAttributesW(LPCWSTR lpFileName) {
    char path[posix::kNativePathSize];
    DWORD code = posix::NativePath(lpFileName, path, sizeof path);
    if (code != ERROR_SUCCESS) {
        t_last_error = code;
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info;
    if (stat(path, &info) != 0) {
        t_last_error = posix::ErrorFromErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL PosixCreateDirectoryW(LPCWSTR lpPathName, void* /*lpSecurityAttributes*/) {
    char path[posix::kNativePathSize];
    DWORD code = posix::NativePath(lpPathName, path, sizeof path);
    if (code != ERROR_SUCCESS) {
        t_last_error = code;
        return FALSE;
    }
    // Default security: everyone the umask allows.
    if (mkdir(path, 0777) != 0) {
        t_last_error = posix::ErrorFromErrno(errno, path);
        return FALSE;
    }
    return TRUE;
}

int PosixFtime64(TIMEB64* timeptr) {
    const int kEinval = 22;
    if (timeptr == nullptr) return kEinval;
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) return errno;
    timeptr->time = static_cast<std::int64_t>(now.tv_sec);
    timeptr->millitm = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    timeptr->timezone = 0;
    timeptr->dstflag = 0;
    return 0;
}

int PosixLocaltime64(TM* tmDest, const std::int64_t* sourceTime) {
    const int kEinval = 22;
    if (tmDest == nullptr || sourceTime == nullptr) return kEinval;
    time_t seconds = static_cast<time_t>(*sourceTime);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) return kEinval;
    CopyCalendar(local, tmDest);
    return 0;
}

const Api kDefaults = {
    posix::CreateFileW,         posix::WriteFile,        posix::CloseHandle,
    posix::DuplicateHandle,     PosixGetFileAttributesW, PosixCreateDirectoryW,
    PosixGetLastError,          PosixSetLastError,       posix::CreateMutexW,
    posix::WaitForSingleObject, posix::ReleaseMutex,     PosixFtime64,
    PosixLocaltime64,
};

Api g_table = kDefaults;

NewHandler g_new_handler = nullptr;

}  // namespace

Api& Table() { return g_table; }

const Api& DefaultTable() { return kDefaults; }

// The C library here has no mode in which malloc calls a handler, and the library itself
// allocates nothing, so a handler installed by the library could only change how the host's own
// allocations fail. These keep the handler that the library would install without handing it to
// the runtime, and leave the host's handler in place.
NewHandler _set_new_handler(NewHandler handler) {
    NewHandler previous = g_new_handler;
    g_new_handler = handler;
    return previous;
}

int _set_new_mode(int /*mode*/) { return 0; }

}  // namespace os
}  // namespace scrivlet
