// A first look at Scrivlet from a host: the interface version, a configuration that the library
// refuses and its error record in words, and the current time stamp in both text forms.
#include <cstdio>

#include "scrivlet/scrivlet.h"

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

// The library's text is 16-bit UTF-16; these examples only print ASCII.
void PrintText(const TQ_WCHAR* text) {
    for (; *text != 0; ++text) std::putchar(*text < 0x80 ? static_cast<char>(*text) : '?');
}

// Copies ASCII text into one of the fixed text fields of a configuration record.
template <unsigned N>
void SetText(TQ_WCHAR (&field)[N], const char* text) {
    unsigned i = 0;
    for (; i + 1 < N && text[i] != 0; ++i) field[i] = static_cast<TQ_WCHAR>(text[i]);
    field[i] = 0;
}

const char* TypeName(unsigned type) {
    switch (type) {
        case TQCLogFile_1::ERRORTYPE_SYSTEM:
            return "system call failed";
        case TQCLogFile_1::ERRORTYPE_PARAMETER:
            return "parameter out of range";
        case TQCLogFile_1::ERRORTYPE_RUNTIME:
            return "unexpected outcome";
        default:
            return "unknown type";
    }
}

const char* ReasonName(unsigned reason) {
    switch (reason) {
        case TQCLogFile_1::REASON_WAIT_ABANDONED:
            return "mutex abandoned by its owner";
        case TQCLogFile_1::REASON_WAIT_TIMEOUT:
            return "mutex wait timed out";
        case TQCLogFile_1::REASON_INCOMPLETE_WRITE:
            return "incomplete write";
        case TQCLogFile_1::REASON_NO_ROOM:
            return "record larger than a file can hold";
        case TQCLogFile_1::REASON_TOO_LONG:
            return "too long";
        case TQCLogFile_1::REASON_TOO_LARGE:
            return "too large";
        case TQCLogFile_1::REASON_TOO_SMALL:
            return "too small";
        case TQCLogFile_1::REASON_NO_DRIVE:
            return "drive does not exist";
        default:
            return "unknown reason";
    }
}

// One failure in words. For a system failure uiError is the platform's error code.
void PrintError(const Info& info) {
    if ((info.uiErrorSet & 1u) == 0) {
        std::printf("  no failure recorded\n");
        return;
    }
    std::printf("  module %u (%s), location %u: %s", info.uiModule,
                info.uiModule == TQCLogFile_1::MODULE_LOGFILE_M ? "TQCLogFileM_1" : "TQCLogFile_1",
                info.uiLocation, TypeName(info.uiErrorType));
    if (info.uiErrorType == TQCLogFile_1::ERRORTYPE_SYSTEM) {
        std::printf(", error code %u", info.uiError);
    } else {
        std::printf(", %s", ReasonName(info.uiError));
    }
    std::printf(", value %u\n", info.uiValue);
}

}  // namespace

int main() {
    std::printf("Scrivlet interface version %d\n", static_cast<int>(ScrivletGetInterfaceVersion()));
    if (ScrivletGetInterfaceVersion() != TQ_Scrivlet::INTERFACEVERSION_5) {
        std::printf("this host was written for version 5\n");
        return 1;
    }

    // A configuration the library accepts: 4 files of at most 64 KiB in the folder logs.
    TQCLogFile_1 log;
    TQCLogFile_1::tagInitData_1 config = {};
    config.uiFileCount = 4;
    config.uiFileSize = 64 * 1024;
    SetText(config.szFileName, "version");
    SetText(config.szFolder, "logs");
    Info info = {};
    std::printf("Init with 4 files of 65536 bytes: %s\n",
                log.Init(&config, &info) ? "ok" : "refused");
    PrintError(info);

    // A file smaller than the smallest allowed (688 bytes) is refused, and the record says why.
    config.uiFileSize = 100;
    std::printf("Init with files of 100 bytes: %s\n", log.Init(&config, &info) ? "ok" : "refused");
    PrintError(info);

    // The record keeps its first failure until the host clears it.
    info = Info();

    // Time stamps: one clock reading, then both text forms.
    const unsigned long long now = TQ_DateTime::GetLocalDateTime_1();
    TQ_WCHAR day_first[24];
    TQ_WCHAR year_first[25];
    TQ_DateTime::DateTimeToString_1(now, day_first);
    TQ_DateTime::DateTimeSpaceToString_1(now, year_first);
    std::printf("Local time 0x%016llx\n  day first:  ", now);
    PrintText(day_first);
    std::printf("\n  year first: \"");
    PrintText(year_first);
    std::printf("\" (as in front of every line the library writes)\n");
    return 0;
}
