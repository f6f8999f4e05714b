// The reporting places of both log file classes: the one home of their numbers and of the words
// that describe them. Each row names a place (the enumerator the class uses), its number within
// its module, the operation that reports it, what went wrong, what the record's uiValue holds
// there (or nullptr) and the limit that was broken (0: none). The classes take the numbers from
// here; the error words of the ring library take the texts, so that a renumbered or renamed place
// changes both or breaks the build.
//
// Rows are listed with X-macros: SCRIVLET_LOGFILE_PLACES(ROW) calls ROW(name, number, operation,
// what, value, limit) once per place of TQCLogFile_1 (module 46), SCRIVLET_GUARDED_PLACES(ROW) the
// same for TQCLogFileM_1 (module 48).
#ifndef SCRIVLET_PLACES_H
#define SCRIVLET_PLACES_H

#include "scrivlet/folder.h"
#include "scrivlet/logfile.h"

#define SCRIVLET_LOGFILE_PLACES(ROW)                                                               \
    ROW(kFileCountTooSmall, 1, "configuration", "the file count is too small", "file count",       \
        TQCLogFile_1::FILECOUNT_MIN)                                                               \
    ROW(kFileCountTooLarge, 2, "configuration", "the file count is too large", "file count",       \
        TQCLogFile_1::FILECOUNT_MAX)                                                               \
    ROW(kFileSizeTooSmall, 3, "configuration", "the file size is too small", "file size in bytes", \
        TQCLogFile_1::FILESIZE_MIN)                                                                \
    ROW(kFileSizeTooLarge, 4, "configuration", "the file size is too large", "file size in bytes", \
        TQCLogFile_1::FILESIZE_MAX)                                                                \
    ROW(kFileNameTooLong, 5, "configuration", "the file name is too long", "length in characters", \
        TQCLogFile_1::FILENAME_MAX_LENGTH)                                                         \
    ROW(kFolderTooLong, 6, "configuration", "the folder is too long", "length in characters",      \
        TQ_Folder::FOLDER_MAX_LENGTH)                                                              \
    ROW(kFooterTooLong, 7, "configuration", "the footer text is too long", "length in characters", \
        TQCLogFile_1::LINETEXT_MAX_LENGTH)                                                         \
    ROW(kHeaderTooLong, 8, "configuration", "the header text is too long", "length in characters", \
        TQCLogFile_1::LINETEXT_MAX_LENGTH)                                                         \
    ROW(kOpenFailed, 9, "opening the next file", "the file could not be created", nullptr, 0)      \
    ROW(kCloseFailed, 10, "closing a file", "the file could not be closed", "file handle", 0)      \
    ROW(kCounterWriteFailed, 11, "writing the counter line", "the write failed", nullptr, 0)       \
    ROW(kCounterWriteIncomplete, 12, "writing the counter line", "the write was incomplete",       \
        "bytes written", 0)                                                                        \
    ROW(kHeaderWriteFailed, 13, "writing the header line", "the write failed", nullptr, 0)         \
    ROW(kHeaderWriteIncomplete, 14, "writing the header line", "the write was incomplete",         \
        "bytes written", 0)                                                                        \
    ROW(kFooterWriteFailed, 15, "writing the footer line", "the write failed", nullptr, 0)         \
    ROW(kFooterWriteIncomplete, 16, "writing the footer line", "the write was incomplete",         \
        "bytes written", 0)                                                                        \
    ROW(kRecordTooLarge, 17, "writing a record", "the record is larger than an empty file holds",  \
        "largest record that fits, in bytes", 0)                                                   \
    ROW(kRecordWriteFailed, 18, "writing a record", "the write failed", nullptr, 0)                \
    ROW(kRecordWriteIncomplete, 19, "writing a record", "the write was incomplete",                \
        "bytes written", 0)                                                                        \
    ROW(kFolderPathTooLong, 20, "creating the folder", "the folder path is too long",              \
        "length in characters", TQ_Folder::FOLDER_MAX_LENGTH)                                      \
    ROW(kFolderNoDrive, 21, "creating the folder", "the drive does not exist", nullptr, 0)         \
    ROW(kFolderSystemFailure, 22, "creating the folder",                                           \
        "a directory could not be queried or created", nullptr, 0)

// Each guarded operation reports four places in a row: the release failed, the wait was
// abandoned, timed out or failed.
#define SCRIVLET_GUARDED_CALL_PLACES(ROW, Call, first, operation)                                  \
    ROW(k##Call##ReleaseFailed, first, operation, "the mutex could not be released",               \
        "mutex handle", 0)                                                                         \
    ROW(k##Call##Abandoned, first + 1, operation, "the mutex was abandoned by its owner", nullptr, \
        0)                                                                                         \
    ROW(k##Call##TimedOut, first + 2, operation, "waiting for the mutex timed out", nullptr, 0)    \
    ROW(k##Call##WaitFailed, first + 3, operation, "waiting for the mutex failed", nullptr, 0)

#define SCRIVLET_GUARDED_PLACES(ROW)                                                               \
    ROW(kMutexNotCreated, 1, "configuration", "the mutex could not be created", nullptr, 0)        \
    ROW(kInitReleaseFailed, 2, "configuration", "the mutex could not be released", "mutex handle", \
        0)                                                                                         \
    SCRIVLET_GUARDED_CALL_PLACES(ROW, Exit, 3, "closing the ring")                                 \
    ROW(kExitMutexNotClosed, 7, "closing the ring", "the mutex could not be closed",               \
        "mutex handle", 0)                                                                         \
    SCRIVLET_GUARDED_CALL_PLACES(ROW, Switch, 8, "switching")                                      \
    SCRIVLET_GUARDED_CALL_PLACES(ROW, Write, 12, "writing a record")                               \
    SCRIVLET_GUARDED_CALL_PLACES(ROW, GetData, 16, "reading the state")                            \
    SCRIVLET_GUARDED_CALL_PLACES(ROW, GetFolderFileName, 20, "reading the file name")

namespace scrivlet {
namespace detail {

#define SCRIVLET_PLACE_ENUMERATOR(name, number, operation, what, value, limit) name = number,

// Places of TQCLogFile_1 (MODULE_LOGFILE).
enum LogFilePlace : unsigned int { SCRIVLET_LOGFILE_PLACES(SCRIVLET_PLACE_ENUMERATOR) };

// Places of TQCLogFileM_1 (MODULE_LOGFILE_M).
enum GuardedPlace : unsigned int { SCRIVLET_GUARDED_PLACES(SCRIVLET_PLACE_ENUMERATOR) };

#undef SCRIVLET_PLACE_ENUMERATOR

}  // namespace detail
}  // namespace scrivlet

#endif  // SCRIVLET_PLACES_H
