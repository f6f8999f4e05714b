/* The ring through a C interface: scrivlet::Ring (ring.h), with its group commit, for every host
 * that cannot use the C++ class: a program built with Microsoft's compiler or another C++
 * compiler than the library's, or written in C, C#, Python, Delphi or Rust.
 *
 *   tagScrivletRingOptions_1 options;
 *   tagScrivletInfoData_1 info;
 *   tagScrivletRing_1* ring;
 *   memset(&options, 0, sizeof options);  (zero: every default)
 *   options.cbSize = sizeof options;
 *   options.pszFolder = "logs/app";
 *   memset(&info, 0, sizeof info);
 *   ring = ScrivletRing_Open_1(&options, &info);
 *   if (ring != NULL) {
 *       ScrivletRing_Write_1(ring, "pump 3 started", 14, &info);  (nonzero: on the storage)
 *       ScrivletRing_Close_1(ring, &info);                        (footer, close, ring ended)
 *   }
 *
 * The semantics are the class's: the functions that write are safe from any number of threads
 * at once and return nonzero only once every record is on the storage; records that arrive while
 * a write is in flight go out together in the next write-through call (group commit). A function
 * that can fail returns 0 (or NULL) and fills the caller's error record with the class's failure:
 * the same modules, places and values (46 for the log file underneath, 50 for the ring itself),
 * and ScrivletRing_Message_1 gives the same words as scrivlet::Error::message(). The first
 * failure stored in a record wins until the caller clears it. pInfo may be NULL where the caller
 * does not want the record. No C++ exception leaves these functions: a failure of the C++
 * runtime (no memory) is a failure like any other. A null pointer where the function needs an
 * object, or an options record of an unknown size, is a parameter failure of the ring, not a
 * crash.
 *
 * Texts are UTF-8. The header compiles as C89, C99 and later, and C++; the functions use the C
 * calling convention of the platform (cdecl on 32-bit x86), so a host of any compiler links them
 * through the import library, the .def file or LoadLibrary and GetProcAddress. */
#ifndef SCRIVLET_RING_C_H
#define SCRIVLET_RING_C_H

#include "scrivlet/scrivlet_c.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An unsigned 64-bit count. */
#if defined(_MSC_VER)
typedef unsigned __int64 TQ_UINT64;
#elif defined(__GNUC__)
__extension__ typedef unsigned long long TQ_UINT64;
#else
typedef unsigned long long TQ_UINT64;
#endif

/* A ring: opaque, made by ScrivletRing_Open_1 and ended by ScrivletRing_Close_1. */
typedef struct tagScrivletRing_1 tagScrivletRing_1;

/* The configuration (scrivlet::RingOptions); zero in a field asks for its default. pszFolder:
 * directories separated by '/' or '\', created as needed. uiCount: 1 to 9999 files (default 5).
 * uiSize: 688 to 104857600 bytes a file (default 10 MiB). pszHeader, pszFooter: at most 63
 * characters. bCounter: a counter line opens each file. bRaw: records are stored as their bytes;
 * otherwise each is UTF-8 text, one line, stored as UTF-16LE ending in CR LF. bSplit: a record
 * longer than a file holds is written in pieces that each fit, instead of being refused. bFresh:
 * start at file 1 with counter 1; otherwise continue the ring that the folder holds. */
typedef struct tagScrivletRingOptions_1 {
    unsigned int cbSize;   /* sizeof(tagScrivletRingOptions_1): later generations may grow */
    const char* pszFolder; /* UTF-8; NULL or "": the current directory */
    const char* pszName;   /* NULL or "": the default base name */
    unsigned int uiCount;  /* 0: the default count */
    unsigned int uiSize;   /* 0: the default size */
    const char* pszHeader; /* NULL or "": no header line */
    const char* pszFooter; /* NULL or "": no footer line */
    int bCounter, bRaw, bSplit, bFresh; /* bFresh: start at file 1 (no resume) */
} tagScrivletRingOptions_1;

/* One record of ScrivletRing_WriteRecords_1. */
typedef struct tagScrivletRecord_1 {
    const void* pRecord;
    size_t cbRecord;
} tagScrivletRecord_1;

/* Counts since the ring was opened (scrivlet::RingStats): records written, the write-through
 * calls that wrote them (fewer than the records when writes were grouped), the bytes of those
 * records, and records handed in and not yet written. */
typedef struct tagScrivletRingStats_1 {
    unsigned int cbSize;     /* sizeof(tagScrivletRingStats_1), set by the caller */
    unsigned int uiReserved; /* unused: the counts start at offset 8 on every ABI */
    TQ_UINT64 ullRecords;
    TQ_UINT64 ullWrites;
    TQ_UINT64 ullBytes;
    TQ_UINT64 ullWaiting;
} tagScrivletRingStats_1;

/* The ring's own module and places in the error record (scrivlet::kModuleRing, RingPlace). */
#define SCRIVLET_MODULE_RING 50
#define SCRIVLET_RING_NOT_OPEN 1        /* write or close on a ring that is not open */
#define SCRIVLET_RING_ALREADY_OPEN 2    /* open on a ring that is open */
#define SCRIVLET_RING_BAD_ARGUMENT 3    /* a null pointer; uiValue: the argument's number, from 1 */
#define SCRIVLET_RING_CONTINUE_FAILED 4 /* the newest file's end: not read, cut or ended */
#define SCRIVLET_RING_RECORD_SIZE 5     /* a cbSize below this generation's; uiValue: the cbSize */
#define SCRIVLET_RING_RUNTIME 6         /* the C++ runtime failed (no memory: system error 8) */

/* Configures a ring, creates its folder and opens its file; see scrivlet::Ring::open. Returns
 * the ring, or NULL with the failure in pInfo (the configuration's refusal as the class gives
 * it). bFresh 0 continues the ring that the folder holds, as the class does by default. */
SCRIVLET_RING_API tagScrivletRing_1* ScrivletRing_Open_1(const tagScrivletRingOptions_1* pOptions,
                                                         tagScrivletInfoData_1* pInfo);

/* Whether ScrivletRing_Open_1 would take the configuration, without touching the disk: 0 with
 * the refusal it would report. */
SCRIVLET_RING_API int ScrivletRing_Check_1(const tagScrivletRingOptions_1* pOptions,
                                           tagScrivletInfoData_1* pInfo);

/* Writes one record of cbRecord bytes (pRecord may be NULL when cbRecord is 0). Nonzero once it
 * is on the storage; 0 with the failure in pInfo (then the record may or may not be in the
 * ring). Safe from any number of threads at once. */
SCRIVLET_RING_API int ScrivletRing_Write_1(tagScrivletRing_1* pRing, const void* pRecord,
                                           size_t cbRecord, tagScrivletInfoData_1* pInfo);

/* Writes cRecords records in this order, as consecutive records, in as few write-through calls
 * as the files allow. Nonzero once all are on the storage; a record that fails does not stop the
 * others, and pInfo holds the first failure. Up to 64 records a call allocate nothing. */
SCRIVLET_RING_API int ScrivletRing_WriteRecords_1(tagScrivletRing_1* pRing,
                                                  const tagScrivletRecord_1* pRecords,
                                                  size_t cRecords, tagScrivletInfoData_1* pInfo);

/* Fills pStats (cbSize set by the caller) with the ring's counts. 0 on a null pointer or a
 * cbSize smaller than this generation's record. */
SCRIVLET_RING_API int ScrivletRing_GetStats_1(const tagScrivletRing_1* pRing,
                                              tagScrivletRingStats_1* pStats,
                                              tagScrivletInfoData_1* pInfo);

/* Writes the path of the current file as UTF-8 (as the file system names it) into pszBuffer,
 * always terminated when cbBuffer is not 0, and returns the length the whole path needs in
 * bytes, without the terminating zero (cut to fit if that is cbBuffer or more). 0 for a NULL
 * ring. */
SCRIVLET_RING_API size_t ScrivletRing_GetPath_1(const tagScrivletRing_1* pRing, char* pszBuffer,
                                                size_t cbBuffer);

/* Waits for the records already handed in, writes the footer and closes the file: nonzero when
 * that succeeded. Always ends the ring, whatever it returns: pRing is not used again. No other
 * thread may be using the ring then. */
SCRIVLET_RING_API int ScrivletRing_Close_1(tagScrivletRing_1* pRing, tagScrivletInfoData_1* pInfo);

/* Writes the words of an error record (scrivlet::Error::message(); "no error" when it holds
 * none, or when pInfo is NULL) as UTF-8 into pszBuffer, always terminated when cbBuffer is not
 * 0, and returns the length the whole message needs in bytes, without the terminating zero: the
 * message was cut (at a character boundary) if that is cbBuffer or more. pszBuffer may be NULL
 * when cbBuffer is 0, to ask for the length. */
SCRIVLET_RING_API size_t ScrivletRing_Message_1(const tagScrivletInfoData_1* pInfo, char* pszBuffer,
                                                size_t cbBuffer);

#ifdef __cplusplus
}
#endif

#endif /* SCRIVLET_RING_C_H */
