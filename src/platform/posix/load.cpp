// Load-time set-up on POSIX: the shared object's constructor and destructor play the part of the
// process attach and detach notifications.
#include <time.h>

#include "entry.h"

namespace {

__attribute__((constructor)) void OnLoad() {
    // Reading the time-zone rules once here keeps the first time stamp from allocating inside
    // the C library.
    tzset();
    scrivlet::ProcessAttach();
}

__attribute__((destructor)) void OnUnload() { scrivlet::ProcessDetach(); }

}  // namespace
