// The DLL's entry point: the process attach and detach notifications run the library's load-time
// set-up and its undoing; every notification reports success. Only the shared library has an
// entry point; in the static build for the tests this object is never linked in.
#include "entry.h"

// clang-format off
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// clang-format on

extern "C" BOOL WINAPI DllMain(HINSTANCE /*hinstDLL*/, DWORD fdwReason, LPVOID /*lpvReserved*/) {
    switch (fdwReason) {
        case DLL_PROCESS_ATTACH:
            scrivlet::ProcessAttach();
            break;
        case DLL_PROCESS_DETACH:
            scrivlet::ProcessDetach();
            break;
        default:  // thread attach and detach: nothing to do
            break;
    }
    return TRUE;
}
