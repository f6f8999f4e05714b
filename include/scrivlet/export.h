/* Export macro and the basic types shared by every public header. It compiles as C (C89 and
 * later) as well as C++, since the C interface (scrivlet_c.h) includes it.
 *
 * SCRIVLET_API marks the library's exported surface. The shared library is built with
 * SCRIVLET_BUILDING; a host that links a static build defines SCRIVLET_STATIC; the ring library,
 * which carries a hidden copy of its own, builds that copy with SCRIVLET_EMBEDDED. Everything not
 * marked stays hidden. */
#ifndef SCRIVLET_EXPORT_H
#define SCRIVLET_EXPORT_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stddef.h>
#endif

#if defined(SCRIVLET_STATIC) || defined(SCRIVLET_EMBEDDED)
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

/* SCRIVLET_RING_API marks the exported surface of the ring library (scrivlet/ring.h), a library
 * of its own above this one, built with SCRIVLET_RING_BUILDING. */
#if defined(SCRIVLET_STATIC)
#define SCRIVLET_RING_API
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(SCRIVLET_RING_BUILDING)
#define SCRIVLET_RING_API __declspec(dllexport)
#else
#define SCRIVLET_RING_API __declspec(dllimport)
#endif
#else
#define SCRIVLET_RING_API __attribute__((visibility("default")))
#endif

/* Wide text: 16-bit UTF-16 code units. On Windows that is wchar_t (L"..." literals); elsewhere
 * char16_t (u"..." literals). TQ_TEXT("...") writes a literal of the right kind on both. */
#if defined(_WIN32)
typedef wchar_t TQ_WCHAR;
#define TQ_TEXT(s) L##s
#elif defined(__cplusplus)
typedef char16_t TQ_WCHAR;
#define TQ_TEXT(s) u##s
#else
/* C has no char16_t before C11; unsigned short is the same 16-bit unsigned type (C11's u"..."
 * literals are arrays of it). */
typedef unsigned short TQ_WCHAR;
#if defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TQ_TEXT(s) u##s
#endif
#endif

/* A platform handle (a file or a mutex). An object without a file holds TQ_INVALID_HANDLE, an
 * object without a mutex the null handle. */
typedef void* TQ_HANDLE;
#ifdef __cplusplus
#define TQ_INVALID_HANDLE (reinterpret_cast<TQ_HANDLE>(static_cast<std::intptr_t>(-1)))
#else
#define TQ_INVALID_HANDLE ((TQ_HANDLE)(ptrdiff_t)-1)
#endif

#endif /* SCRIVLET_EXPORT_H */
