/* The C interface: every operation of the two log file classes, and the date-time, folder and
 * version functions, under plain C names.
 *
 * The C++ classes are exported with the C++ names of the compiler that built the library (GCC's,
 * for the MinGW DLL), so only a host built with that compiler can use them. Every other host (a
 * program built with MSVC or another C++ compiler, C, C#, Python, Rust) uses these functions,
 * which take the same records and give the same results: a function that can fail returns
 * nonzero for success and 0 for failure and fills the caller's error record exactly as the class
 * does (modules 46 and 48, the same locations and reasons).
 *
 * Objects live in storage that the host provides: a tagScrivletLogFile_1 (SCRIVLET_LOGFILE_SIZE
 * bytes, aligned to SCRIVLET_LOGFILE_ALIGN) on its stack, in its own structure or wherever it
 * likes. ScrivletLogFile_Construct_1 places a TQCLogFile_1 (one thread) and
 * ScrivletLogFileM_Construct_1 a TQCLogFileM_1 (any number of threads) in it; every other
 * function works on either; ScrivletLogFile_Destroy_1 ends the object. Nothing is allocated.
 *
 * Names: "Scrivlet", then the class's or the function's own name ("LogFile_" + operation for
 * the log file classes), then the interface generation "_1". The header compiles as C89, C99
 * and later, and C++. */
#ifndef SCRIVLET_SCRIVLET_C_H
#define SCRIVLET_SCRIVLET_C_H

#include "scrivlet/export.h"

#ifdef __cplusplus
#include "scrivlet/version.h"
extern "C" {
#endif

/* A packed local date-time: year from bit 36, month, day, hour, minute, second and millisecond in
 * bits 0-9 (see datetime.h). */
#if defined(_MSC_VER)
typedef unsigned __int64 TQ_DATETIME;
#elif defined(__GNUC__)
__extension__ typedef unsigned long long TQ_DATETIME;
#else
typedef unsigned long long TQ_DATETIME;
#endif

/* Storage for one log file object of either class. */
#define SCRIVLET_LOGFILE_SIZE 2048
#define SCRIVLET_LOGFILE_ALIGN 8
typedef struct tagScrivletLogFile_1 {
    union {
        unsigned char abStorage[SCRIVLET_LOGFILE_SIZE];
        TQ_DATETIME ullAlign;
        double dAlign;
        void* pAlign;
    } u;
} tagScrivletLogFile_1;

/* The error information record, the same as TQCLogFile_1::tagInfoData_1. Bit 0 of uiErrorSet
 * tells that it holds a failure; once set, no later failure overwrites it until the caller clears
 * it (zeroing the whole record does). */
typedef struct tagScrivletInfoData_1 {
    unsigned int uiModule;    /* SCRIVLET_MODULE_... */
    unsigned int uiError;     /* platform error code (SCRIVLET_ERRORTYPE_SYSTEM) or reason */
    unsigned int uiErrorType; /* SCRIVLET_ERRORTYPE_... */
    unsigned int uiLocation;  /* reporting place within the module, from 1 */
    unsigned int uiValue;     /* offending number or length, handle, bytes written, or 0 */
    unsigned int uiErrorSet;  /* bit 0: the record holds a failure */
} tagScrivletInfoData_1;

/* The configuration record, the same as TQCLogFile_1::tagInitData_1 (bCounter is the C++ bool:
 * one byte, 0 or 1). */
typedef struct tagScrivletInitData_1 {
    unsigned char bCounter;   /* write a counter line at the top of each file */
    unsigned int uiFileCount; /* files in the ring: 1 to 9999 */
    unsigned int uiFileSize;  /* largest size of one file in bytes: 688 to 104857600 */
    TQ_WCHAR szFileName[56];  /* base name, at most 54 characters; empty keeps the current one */
    TQ_WCHAR szFolder[196];   /* folder, at most 195 characters; empty: current directory */
    TQ_WCHAR szFooter[64];    /* footer text, at most 63 characters; empty: no footer line */
    TQ_WCHAR szHeader[64];    /* header text, at most 63 characters; empty: no header line */
} tagScrivletInitData_1;

/* The state record, the same as TQCLogFile_1::tagChangeData_1. */
typedef struct tagScrivletChangeData_1 {
    unsigned char bSwitchedOn;         /* the object is switched on (0 or 1) */
    const TQ_WCHAR* pszFolderFileName; /* the object's current path, inside the object */
} tagScrivletChangeData_1;

/* Elements of a full path, terminating zero included. */
#define SCRIVLET_FOLDERFILENAME_SIZE 260

/* Values of the error record's fields. */
#define SCRIVLET_MODULE_LOGFILE 46
#define SCRIVLET_MODULE_LOGFILE_M 48
#define SCRIVLET_ERRORTYPE_SYSTEM 2
#define SCRIVLET_ERRORTYPE_PARAMETER 4
#define SCRIVLET_ERRORTYPE_RUNTIME 8
#define SCRIVLET_REASON_WAIT_ABANDONED 2
#define SCRIVLET_REASON_WAIT_TIMEOUT 3
#define SCRIVLET_REASON_INCOMPLETE_WRITE 4
#define SCRIVLET_REASON_NO_ROOM 6
#define SCRIVLET_REASON_TOO_LONG 7
#define SCRIVLET_REASON_TOO_LARGE 8
#define SCRIVLET_REASON_TOO_SMALL 9
#define SCRIVLET_REASON_NO_DRIVE 16

/* Results of ScrivletCheckCreateFolder_1. */
#define SCRIVLET_FOLDER_DONE 0
#define SCRIVLET_FOLDER_EMPTY 1
#define SCRIVLET_FOLDER_ONLY_BACKSLASHES 2
#define SCRIVLET_FOLDER_TOO_LONG 3
#define SCRIVLET_FOLDER_NO_DRIVE 4
#define SCRIVLET_FOLDER_CREATE_FAILED 5
#define SCRIVLET_FOLDER_QUERY_FAILED 6

/* Places a new TQCLogFile_1 (ScrivletLogFile_Construct_1) or TQCLogFileM_1
 * (ScrivletLogFileM_Construct_1) in the storage. Returns 0, constructing nothing, when pLogFile is
 * null or not aligned to SCRIVLET_LOGFILE_ALIGN. */
SCRIVLET_API int ScrivletLogFile_Construct_1(tagScrivletLogFile_1* pLogFile);
SCRIVLET_API int ScrivletLogFileM_Construct_1(tagScrivletLogFile_1* pLogFile);

/* Places a copy of the object in pSource (of the same class) in the storage pLogFile: the copy
 * constructor, sharing the source's file (and mutex). Returns 0 as the constructors do. */
SCRIVLET_API int ScrivletLogFile_ConstructCopy_1(tagScrivletLogFile_1* pLogFile,
                                                 const tagScrivletLogFile_1* pSource);

/* Copy assignment, as in C++: a TQCLogFile_1 takes the log file part of either class; a
 * TQCLogFileM_1 takes only another TQCLogFileM_1 (returns 0 and changes nothing otherwise). The
 * file (and mutex) the target held are not closed. */
SCRIVLET_API int ScrivletLogFile_Assign_1(tagScrivletLogFile_1* pLogFile,
                                          const tagScrivletLogFile_1* pSource);

/* Runs the destructor (closes the file without a footer, and the mutex). The storage is then
 * free for a new object. */
SCRIVLET_API void ScrivletLogFile_Destroy_1(tagScrivletLogFile_1* pLogFile);

/* The public operations of both classes (see logfile.h and logfile_m.h). */
SCRIVLET_API int ScrivletLogFile_Init_1(tagScrivletLogFile_1* pLogFile,
                                        const tagScrivletInitData_1* pInitData,
                                        tagScrivletInfoData_1* pInfo);
SCRIVLET_API int ScrivletLogFile_Switch_1(tagScrivletLogFile_1* pLogFile, int bOn,
                                          tagScrivletInfoData_1* pInfo);
SCRIVLET_API int ScrivletLogFile_Write_1(tagScrivletLogFile_1* pLogFile, const void* pData,
                                         unsigned int uiCount, tagScrivletInfoData_1* pInfo);
SCRIVLET_API int ScrivletLogFile_Exit_1(tagScrivletLogFile_1* pLogFile,
                                        tagScrivletInfoData_1* pInfo);
SCRIVLET_API void ScrivletLogFile_ShutDown_1(tagScrivletLogFile_1* pLogFile);
SCRIVLET_API int ScrivletLogFile_GetData_1(tagScrivletLogFile_1* pLogFile,
                                           tagScrivletChangeData_1* pChangeData,
                                           tagScrivletInfoData_1* pInfo);
SCRIVLET_API int ScrivletLogFile_GetFolderFileName_1(tagScrivletLogFile_1* pLogFile,
                                                     tagScrivletChangeData_1* pChangeData,
                                                     tagScrivletInfoData_1* pInfo);

/* Copies the current path into szFolderFileName (SCRIVLET_FOLDERFILENAME_SIZE elements). On a
 * TQCLogFileM_1 the copy is taken under the mutex, so that it is whole even while another thread
 * rotates (lock failures at the places of GetFolderFileName, 20 to 23); on a TQCLogFile_1 it is
 * a plain copy and cannot fail. */
SCRIVLET_API int ScrivletLogFile_CopyFolderFileName_1(tagScrivletLogFile_1* pLogFile,
                                                      TQ_WCHAR* szFolderFileName,
                                                      tagScrivletInfoData_1* pInfo);

/* TQ_DateTime::GetLocalDateTime_1, DateTimeToString_1 (24 elements) and DateTimeSpaceToString_1
 * (25 elements), and TQ_Folder::CheckCreateFolder_1 (see datetime.h and folder.h). */
SCRIVLET_API TQ_DATETIME ScrivletGetLocalDateTime_1(void);
SCRIVLET_API void ScrivletDateTimeToString_1(TQ_DATETIME ullDateTime, TQ_WCHAR* pszText);
SCRIVLET_API void ScrivletDateTimeSpaceToString_1(TQ_DATETIME ullDateTime, TQ_WCHAR* pszText);
SCRIVLET_API int ScrivletCheckCreateFolder_1(const TQ_WCHAR* pszFolder, unsigned int* puiValue);

#ifndef __cplusplus
/* The interface version: always 5 (in C++ it returns TQ_Scrivlet::INTERFACEVERSION). */
SCRIVLET_API int ScrivletGetInterfaceVersion(void);
#endif

#ifdef __cplusplus
}
#endif

#endif /* SCRIVLET_SCRIVLET_C_H */
