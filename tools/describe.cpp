// The text table of the library's failure places and error codes (see describe.h).
//
// Places are numbered per class: 46 is the log file, 48 the mutex-guarded log file. Each entry
// says which operation reported, what went wrong and what the record's value means there.
#include "describe.h"

#include <sstream>

namespace scrivlet_tool {
namespace {

using Info = TQCLogFile_1::tagInfoData_1;

struct Place {
    unsigned int module;
    unsigned int location;
    const char* operation;
    const char* what;
    const char* value;  // what uiValue holds, or nullptr when it holds nothing
};

const Place kPlaces[] = {
    {46, 1, "configuration", "the file count is too small (at least 1)", "file count"},
    {46, 2, "configuration", "the file count is too large (at most 9999)", "file count"},
    {46, 3, "configuration", "the file size is too small (at least 688 bytes)", "file size"},
    {46, 4, "configuration", "the file size is too large (at most 104857600 bytes)", "file size"},
    {46, 5, "configuration", "the file name is too long (at most 54 characters)", "length"},
    {46, 6, "configuration", "the folder is too long (at most 195 characters)", "length"},
    {46, 7, "configuration", "the footer text is too long (at most 63 characters)", "length"},
    {46, 8, "configuration", "the header text is too long (at most 63 characters)", "length"},
    {46, 9, "opening the next file", "the file could not be created", nullptr},
    {46, 10, "closing a file", "the file could not be closed", "handle"},
    {46, 11, "writing the counter line", "the write failed", nullptr},
    {46, 12, "writing the counter line", "the write was incomplete", "bytes written"},
    {46, 13, "writing the header line", "the write failed", nullptr},
    {46, 14, "writing the header line", "the write was incomplete", "bytes written"},
    {46, 15, "writing the footer line", "the write failed", nullptr},
    {46, 16, "writing the footer line", "the write was incomplete", "bytes written"},
    {46, 17, "writing a record", "the record is larger than an empty file can hold",
     "largest record that fits, in bytes"},
    {46, 18, "writing a record", "the write failed", nullptr},
    {46, 19, "writing a record", "the write was incomplete", "bytes written"},
    {46, 20, "creating the folder", "the folder path is too long", "length"},
    {46, 21, "creating the folder", "the drive does not exist", nullptr},
    {46, 22, "creating the folder", "a directory could not be queried or created", nullptr},
    {48, 1, "configuration", "the mutex could not be created", nullptr},
    {48, 2, "configuration", "the mutex could not be released", "mutex handle"},
    {48, 3, "closing the ring", "the mutex could not be released", "mutex handle"},
    {48, 4, "closing the ring", "the mutex was abandoned by its owner", nullptr},
    {48, 5, "closing the ring", "waiting for the mutex timed out", nullptr},
    {48, 6, "closing the ring", "waiting for the mutex failed", nullptr},
    {48, 7, "closing the ring", "the mutex could not be closed", "mutex handle"},
    {48, 8, "switching", "the mutex could not be released", "mutex handle"},
    {48, 9, "switching", "the mutex was abandoned by its owner", nullptr},
    {48, 10, "switching", "waiting for the mutex timed out", nullptr},
    {48, 11, "switching", "waiting for the mutex failed", nullptr},
    {48, 12, "writing a record", "the mutex could not be released", "mutex handle"},
    {48, 13, "writing a record", "the mutex was abandoned by its owner", nullptr},
    {48, 14, "writing a record", "waiting for the mutex timed out", nullptr},
    {48, 15, "writing a record", "waiting for the mutex failed", nullptr},
    {48, 16, "reading the state", "the mutex could not be released", "mutex handle"},
    {48, 17, "reading the state", "the mutex was abandoned by its owner", nullptr},
    {48, 18, "reading the state", "waiting for the mutex timed out", nullptr},
    {48, 19, "reading the state", "waiting for the mutex failed", nullptr},
    {48, 20, "reading the file name", "the mutex could not be released", "mutex handle"},
    {48, 21, "reading the file name", "the mutex was abandoned by its owner", nullptr},
    {48, 22, "reading the file name", "waiting for the mutex timed out", nullptr},
    {48, 23, "reading the file name", "waiting for the mutex failed", nullptr},
};

struct Code {
    unsigned int code;
    const char* meaning;
};

// Windows error codes, as the library reports them on every platform.
const Code kSystemErrors[] = {
    {0, "no error"},
    {1, "invalid function"},
    {2, "file not found"},
    {3, "path not found"},
    {4, "too many open files"},
    {5, "access denied"},
    {6, "invalid handle"},
    {8, "not enough memory"},
    {17, "not the same device"},
    {19, "the medium is write-protected"},
    {31, "a device attached to the system is not functioning"},
    {32, "sharing violation: another process is using the file (a second writer?)"},
    {36, "too many files opened for sharing"},
    {50, "not supported"},
    {55, "the device does not exist"},
    {87, "invalid parameter"},
    {109, "the pipe has been ended"},
    {112, "disk full"},
    {123, "invalid file name, directory name or volume label"},
    {132, "seek on a device"},
    {145, "the directory is not empty"},
    {170, "the resource is busy"},
    {183, "already exists"},
    {206, "file name or extension too long"},
    {223, "file too large"},
    {288, "attempt to release a mutex not owned by the caller"},
    {998, "invalid access to memory location"},
    {1117, "I/O device error"},
    {1131, "a potential deadlock was detected"},
    {1142, "too many links"},
    {1223, "the operation was cancelled"},
    {1295, "disk quota exceeded"},
    {1460, "timeout"},
    {1921, "the name of the file cannot be resolved (too many symbolic links)"},
};

const Code kReasons[] = {
    {2, "wait abandoned"}, {3, "wait timed out"}, {4, "incomplete write"}, {6, "no room"},
    {7, "too long"},       {8, "too large"},      {9, "too small"},        {16, "no drive"},
};

const char* ModuleName(unsigned int module) {
    switch (module) {
        case TQCLogFile_1::MODULE_LOGFILE:
            return "log file";
        case TQCLogFile_1::MODULE_LOGFILE_M:
            return "mutex-guarded log file";
        default:
            return "unknown module";
    }
}

const char* TypeName(unsigned int type) {
    switch (type) {
        case TQCLogFile_1::ERRORTYPE_SYSTEM:
            return "system";
        case TQCLogFile_1::ERRORTYPE_PARAMETER:
            return "parameter";
        case TQCLogFile_1::ERRORTYPE_RUNTIME:
            return "runtime";
        default:
            return "unknown type";
    }
}

}  // namespace

const char* SystemErrorMeaning(unsigned int code) {
    for (const Code& entry : kSystemErrors) {
        if (entry.code == code) return entry.meaning;
    }
    return "unknown error";
}

std::string DescribeFailure(const Info& info) {
    std::ostringstream text;
    const Place* place = nullptr;
    for (const Place& candidate : kPlaces) {
        if (candidate.module == info.uiModule && candidate.location == info.uiLocation) {
            place = &candidate;
        }
    }
    if (place != nullptr) {
        text << place->operation << ": " << place->what << "\n";
    } else {
        text << "unknown failure place " << info.uiLocation << " in the "
             << ModuleName(info.uiModule) << "\n";
    }
    if (info.uiErrorType == TQCLogFile_1::ERRORTYPE_SYSTEM) {
        text << "  system error " << info.uiError << ": " << SystemErrorMeaning(info.uiError)
             << "\n";
    } else {
        const char* reason = "unknown reason";
        for (const Code& entry : kReasons) {
            if (entry.code == info.uiError) reason = entry.meaning;
        }
        text << "  reason " << info.uiError << ": " << reason << "\n";
    }
    if (place != nullptr && place->value != nullptr) {
        text << "  value: " << info.uiValue << " (" << place->value << ")\n";
    } else if (info.uiValue != 0) {
        text << "  value: " << info.uiValue << "\n";
    }
    text << "  (module " << info.uiModule << " " << ModuleName(info.uiModule) << ", location "
         << info.uiLocation << ", type " << info.uiErrorType << " " << TypeName(info.uiErrorType)
         << ")";
    return text.str();
}

}  // namespace scrivlet_tool
