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

/* The ring library's hidden copy exports nothing of this library. */
#if defined(SCRIVLET_EMBEDDED) && !defined(SCRIVLET_API)
#define SCRIVLET_API
#endif
/* Written when the library was configured, with the compiler's attributes (and the wide text
 * type below). */
#include "scrivlet/scrivlet_export.h"

/* SCRIVLET_RING_API marks the exported surface of the ring library (scrivlet/ring.h), a library
 * of its own above this one, built with SCRIVLET_RING_BUILDING. */
#include "scrivlet/scrivlet_ring_export.h"

/* Wide text: 16-bit UTF-16 code units. Where the platform's own interface takes wchar_t
 * (Windows) it is wchar_t (L"..." literals); elsewhere char16_t (u"..." literals). TQ_TEXT("...")
 * writes a literal of the right kind on both. */
#if defined(SCRIVLET_WIDE_TEXT_IS_WCHAR_T)
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
