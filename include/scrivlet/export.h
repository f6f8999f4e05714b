// Export macro and the basic types shared by every public header.
//
// SCRIVLET_API marks the library's exported surface. The shared library is built with
// SCRIVLET_BUILDING; a host that links a static build defines SCRIVLET_STATIC. Everything not
// marked stays hidden.
#ifndef SCRIVLET_EXPORT_H
#define SCRIVLET_EXPORT_H

#include <cstddef>
#include <cstdint>

#if defined(SCRIVLET_STATIC)
#define SCRIVLET_API
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(SCRIVLET_BUILDING)
#define SCRIVLET_API __declspec(dllexport)
#else
#define SCRIVLET_API __declspec(dllimport)
#endif
#else
#define SCRIVLET_API __attribute__((visibility("default")))
#endif

// Wide text: 16-bit UTF-16 code units. On Windows that is wchar_t (L"..." literals); elsewhere
// char16_t (u"..." literals). TQ_TEXT("...") writes a literal of the right kind on both.
#if defined(_WIN32)
typedef wchar_t TQ_WCHAR;
#define TQ_TEXT(s) L##s
#else
typedef char16_t TQ_WCHAR;
#define TQ_TEXT(s) u##s
#endif

// A platform handle (a file or a mutex). An object without a file holds TQ_INVALID_HANDLE, an
// object without a mutex the null handle.
typedef void* TQ_HANDLE;
#define TQ_INVALID_HANDLE (reinterpret_cast<TQ_HANDLE>(static_cast<std::intptr_t>(-1)))

#endif  // SCRIVLET_EXPORT_H
