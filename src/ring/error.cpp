// Error::message: the error information record in words. The one home of those words: the
// places of both log file classes come from places.h (with their numbers), the Windows error
// codes from the platform layer's names, the ring's own places from ring.h.
#include <sstream>

#include "places.h"
#include "platform/platform.h"
#include "scrivlet/ring.h"

namespace scrivlet {
namespace {

using Info = TQCLogFile_1::tagInfoData_1;

struct PlaceWords {
    unsigned int module;
    unsigned int location;
    const char* operation;
    const char* what;
    const char* value;   // what uiValue holds there, or nullptr
    unsigned int limit;  // the limit that was broken, or 0
};

#define SCRIVLET_LOGFILE_WORDS(name, number, operation, what, value, limit) \
    {TQCLogFile_1::MODULE_LOGFILE, number, operation, what, value, limit},
#define SCRIVLET_GUARDED_WORDS(name, number, operation, what, value, limit) \
    {TQCLogFile_1::MODULE_LOGFILE_M, number, operation, what, value, limit},

const PlaceWords kPlaces[] = {
    SCRIVLET_LOGFILE_PLACES(SCRIVLET_LOGFILE_WORDS) SCRIVLET_GUARDED_PLACES(SCRIVLET_GUARDED_WORDS){
        kModuleRing, kRingNotOpen, "using the ring", "the ring is not open", nullptr, 0},
    {kModuleRing, kRingAlreadyOpen, "opening the ring", "the ring is already open", nullptr, 0},
    {kModuleRing, kRingBadArgument, "calling the ring's C interface", "a pointer argument is null",
     "the argument's number", 0},
    {kModuleRing, kRingContinueFailed, "continuing the newest file",
     "its end could not be read, cut or ended", nullptr, 0},
    {kModuleRing, kRingRecordSize, "calling the ring's C interface",
     "the record's cbSize is too small for this generation", "cbSize", 0},
    {kModuleRing, kRingRuntime, "calling the ring's C interface", "the C++ runtime failed", nullptr,
     0},
};

#undef SCRIVLET_LOGFILE_WORDS
#undef SCRIVLET_GUARDED_WORDS

struct CodeWords {
    unsigned int code;
    const char* words;
};

// Windows error codes, as the library reports them on every platform.
const CodeWords kSystemErrors[] = {
    {os::ERROR_SUCCESS, "no error"},
    {os::ERROR_FILE_NOT_FOUND, "file not found"},
    {os::ERROR_PATH_NOT_FOUND, "path not found"},
    {os::ERROR_TOO_MANY_OPEN_FILES, "too many open files"},
    {os::ERROR_ACCESS_DENIED, "access denied"},
    {os::ERROR_INVALID_HANDLE, "invalid handle"},
    {os::ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
    {os::ERROR_NOT_SAME_DEVICE, "not the same device"},
    {os::ERROR_WRITE_PROTECT, "the medium is write-protected"},
    {os::ERROR_GEN_FAILURE, "a device attached to the system is not functioning"},
    {os::ERROR_SHARING_VIOLATION,
     "sharing violation: another process is using the file (a second writer?)"},
    {os::ERROR_SHARING_BUFFER_EXCEEDED, "too many files opened for sharing"},
    {os::ERROR_NOT_SUPPORTED, "not supported"},
    {os::ERROR_DEV_NOT_EXIST, "the device does not exist"},
    {os::ERROR_INVALID_PARAMETER, "invalid parameter"},
    {os::ERROR_BROKEN_PIPE, "the pipe has been ended"},
    {os::ERROR_DISK_FULL, "disk full"},
    {os::ERROR_INVALID_NAME, "invalid file name, directory name or volume label"},
    {os::ERROR_SEEK_ON_DEVICE, "seek on a device"},
    {os::ERROR_DIR_NOT_EMPTY, "the directory is not empty"},
    {os::ERROR_BUSY, "the resource is busy"},
    {os::ERROR_ALREADY_EXISTS, "already exists"},
    {os::ERROR_FILENAME_EXCED_RANGE, "file name or extension too long"},
    {os::ERROR_BAD_FILE_TYPE,
     "the ring file is not a regular file (a symbolic link, FIFO, socket, device or directory "
     "holds its name; it was left as it was)"},
    {os::ERROR_FILE_TOO_LARGE, "file too large"},
    {os::ERROR_NOT_OWNER, "attempt to release a mutex not owned by the caller"},
    {os::ERROR_NOACCESS, "invalid access to memory location"},
    {os::ERROR_NO_UNICODE_TRANSLATION, "no mapping for the Unicode character"},
    {os::ERROR_IO_DEVICE, "I/O device error"},
    {os::ERROR_POSSIBLE_DEADLOCK, "a potential deadlock was detected"},
    {os::ERROR_TOO_MANY_LINKS, "too many links"},
    {os::ERROR_CANCELLED, "the operation was cancelled"},
    {os::ERROR_DISK_QUOTA_EXCEEDED, "disk quota exceeded"},
    {os::ERROR_TIMEOUT, "timeout"},
    {os::ERROR_CANT_RESOLVE_FILENAME, "the name of the file cannot be resolved (symbolic links)"},
};

const CodeWords kReasons[] = {
    {TQCLogFile_1::REASON_WAIT_ABANDONED, "wait abandoned"},
    {TQCLogFile_1::REASON_WAIT_TIMEOUT, "wait timed out"},
    {TQCLogFile_1::REASON_INCOMPLETE_WRITE, "incomplete write"},
    {TQCLogFile_1::REASON_NO_ROOM, "no room"},
    {TQCLogFile_1::REASON_TOO_LONG, "too long"},
    {TQCLogFile_1::REASON_TOO_LARGE, "too large"},
    {TQCLogFile_1::REASON_TOO_SMALL, "too small"},
    {TQCLogFile_1::REASON_NO_DRIVE, "no drive"},
};

const CodeWords kModules[] = {
    {TQCLogFile_1::MODULE_LOGFILE, "log file"},
    {TQCLogFile_1::MODULE_LOGFILE_M, "mutex-guarded log file"},
    {kModuleRing, "ring"},
};

const CodeWords kErrorTypes[] = {
    {TQCLogFile_1::ERRORTYPE_SYSTEM, "system"},
    {TQCLogFile_1::ERRORTYPE_PARAMETER, "parameter"},
    {TQCLogFile_1::ERRORTYPE_RUNTIME, "runtime"},
};

template <std::size_t N>
const char* Lookup(const CodeWords (&table)[N], unsigned int code, const char* unknown) {
    for (const CodeWords& entry : table) {
        if (entry.code == code) return entry.words;
    }
    return unknown;
}

const PlaceWords* FindPlace(const Info& info) {
    for (const PlaceWords& place : kPlaces) {
        if (place.module == info.uiModule && place.location == info.uiLocation) return &place;
    }
    return nullptr;
}

}  // namespace

std::string Error::message() const {
    if (!failed()) return "no error";
    std::ostringstream text;
    const PlaceWords* place = FindPlace(info);
    if (place != nullptr) {
        text << place->operation << ": " << place->what;
    } else {
        text << "unknown failure place " << info.uiLocation;
    }
    const bool system = info.uiErrorType == TQCLogFile_1::ERRORTYPE_SYSTEM;
    if (system) {
        text << ": system error " << info.uiError << ", "
             << Lookup(kSystemErrors, info.uiError, "unknown error");
    }
    if (place != nullptr && place->value != nullptr) {
        text << ": " << info.uiValue << " (" << place->value;
        if (place->limit != 0) {
            text << "; "
                 << (info.uiError == TQCLogFile_1::REASON_TOO_SMALL ? "at least " : "at most ")
                 << place->limit;
        }
        text << ")";
    } else if (info.uiValue != 0) {
        text << ": value " << info.uiValue;
    }
    text << " [" << Lookup(kModules, info.uiModule, "unknown module") << " " << info.uiModule
         << ", place " << info.uiLocation << ", "
         << Lookup(kErrorTypes, info.uiErrorType, "unknown type") << " error";
    if (!system && info.uiError != 0) {
        text << ", reason " << info.uiError << " " << Lookup(kReasons, info.uiError, "unknown");
    }
    text << "]";
    return text.str();
}

}  // namespace scrivlet
