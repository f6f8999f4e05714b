// The runtime's side on POSIX: the per-thread last error, the clock and local time, and the
// allocation-failure handler functions.
#include <time.h>

#include <cerrno>

#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace {

const long kNanosecondsPerMillisecond = 1000000L;

thread_local DWORD t_last_error = ERROR_SUCCESS;

NewHandler g_new_handler = nullptr;

}  // namespace

DWORD native::GetLastError() { return t_last_error; }

void native::SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }

int native::_ftime64_s(TIMEB64* timeptr) {
    if (timeptr == nullptr) return kRuntimeEinval;
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) return errno;
    timeptr->time = static_cast<std::int64_t>(now.tv_sec);
    timeptr->millitm = static_cast<std::uint16_t>(now.tv_nsec / kNanosecondsPerMillisecond);
    timeptr->timezone = 0;
    timeptr->dstflag = 0;
    return 0;
}

int native::_localtime64_s(TM* tmDest, const std::int64_t* sourceTime) {
    if (tmDest == nullptr || sourceTime == nullptr) return kRuntimeEinval;
    const time_t seconds = static_cast<time_t>(*sourceTime);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) return kRuntimeEinval;
    CopyCalendar(local, tmDest);
    return 0;
}

// The C library here has no mode in which malloc calls a handler, and the library itself
// allocates nothing, so a handler installed by the library could only change how the host's own
// allocations fail. These keep the handler that the library would install without handing it to
// the runtime, and leave the host's handler in place.
NewHandler _set_new_handler(NewHandler handler) {
    const NewHandler previous = g_new_handler;
    g_new_handler = handler;
    return previous;
}

int _set_new_mode(int /*mode*/) { return 0; }

}  // namespace os
}  // namespace scrivlet
