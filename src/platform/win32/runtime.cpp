// The runtime operations on Windows: the clock and local time of the C runtime (msvcrt), and the
// allocation-failure handler functions of the runtime that the host allocates with.
#include "platform/platform.h"

// clang-format off
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <sys/timeb.h>
#include <time.h>

// clang-format on

#if defined(_MSC_VER)
// The allocation-failure handler functions of ucrtbase.dll, under their C names. The library
// imports them (msvc/ucrtbase.def), so the runtime is loaded and initialized before the entry
// point runs.
extern "C" __declspec(dllimport) scrivlet::os::NewHandler
    __cdecl _set_new_handler(scrivlet::os::NewHandler handler);
extern "C" __declspec(dllimport) int __cdecl _set_new_mode(int mode);
#endif

namespace scrivlet {
namespace os {

int native::_ftime64_s(TIMEB64* timeptr) {
    if (timeptr == nullptr) return kRuntimeEinval;
    struct __timeb64 reading;
    const errno_t result = ::_ftime64_s(&reading);
    if (result != 0) return result;
    timeptr->time = static_cast<std::int64_t>(reading.time);
    timeptr->millitm = static_cast<std::uint16_t>(reading.millitm);
    timeptr->timezone = static_cast<std::int16_t>(reading.timezone);
    timeptr->dstflag = static_cast<std::int16_t>(reading.dstflag);
    return 0;
}

int native::_localtime64_s(TM* tmDest, const std::int64_t* sourceTime) {
    if (tmDest == nullptr || sourceTime == nullptr) return kRuntimeEinval;
    const __time64_t seconds = static_cast<__time64_t>(*sourceTime);
    struct tm local;
    const errno_t result = ::_localtime64_s(&local, &seconds);
    if (result != 0) return result;
    CopyCalendar(local, tmDest);
    return 0;
}

// The allocation-failure handler functions live in the C runtime whose operator new the host
// uses, since that is where a failing allocation of the host asks for a handler.
#if defined(_MSC_VER)

// Built in the MSVC ABI, the library serves hosts of Microsoft's compiler, whose operator new
// (with /MD) allocates through the Universal C Runtime, ucrtbase.dll (declared above).

NewHandler _set_new_handler(NewHandler handler) { return ::_set_new_handler(handler); }

int _set_new_mode(int mode) { return ::_set_new_mode(mode); }

#else

namespace {

// The allocation-failure handler functions of msvcrt.dll, the runtime that the host and this
// library share. MinGW's import libraries do not offer them under names a GCC-built caller can
// link: msvcrt exports both only under their MSVC C++ names (there is no plain _set_new_mode),
// and the 32-bit import library lists neither function. They are therefore looked up in the
// loaded msvcrt.dll (which this library imports, so it is loaded before the entry point runs;
// GetModuleHandleW and GetProcAddress are safe there). Where a function is missing, setting it
// is skipped.
#if defined(_WIN64)
const char kSetNewHandlerName[] = "?_set_new_handler@@YAP6AH_K@ZP6AH0@Z@Z";
#else
const char kSetNewHandlerName[] = "?_set_new_handler@@YAP6AHI@ZP6AHI@Z@Z";
#endif
const char kSetNewModeName[] = "?_set_new_mode@@YAHH@Z";  // int __cdecl _set_new_mode(int)

typedef NewHandler(__cdecl* SetNewHandlerFunction)(NewHandler);
typedef int(__cdecl* SetNewModeFunction)(int);

FARPROC RuntimeFunction(const char* name) {
    const HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
    return runtime == nullptr ? nullptr : ::GetProcAddress(runtime, name);
}

}  // namespace

NewHandler _set_new_handler(NewHandler handler) {
    const FARPROC function = RuntimeFunction(kSetNewHandlerName);
    if (function == nullptr) return nullptr;
    return reinterpret_cast<SetNewHandlerFunction>(reinterpret_cast<void*>(function))(handler);
}

int _set_new_mode(int mode) {
    const FARPROC function = RuntimeFunction(kSetNewModeName);
    if (function == nullptr) return 0;
    return reinterpret_cast<SetNewModeFunction>(reinterpret_cast<void*>(function))(mode);
}

#endif

}  // namespace os
}  // namespace scrivlet
