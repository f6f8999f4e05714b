// The child host of the crash tests. Usage: scrivlet_crash_child <s|m> <folder>
//
// Writes numbered records (crash/record.h) through TQCLogFile_1 (s) or TQCLogFileM_1 (m) into
// the ring "crash" in folder until it is killed, and reports the number of every record whose
// Write returned true on standard output, four bytes each, right after the Write.
#include <unistd.h>

#include <cstring>
#include <string>

#include "crash/record.h"
#include "scrivlet/scrivlet.h"

namespace {

void Put(TQ_WCHAR* field, std::size_t count, const char* text) {
    for (std::size_t i = 0; i < count; ++i) field[i] = 0;
    for (std::size_t i = 0; text[i] != 0 && i + 1 < count; ++i) field[i] = text[i];
}

int Run(TQCLogFile_1& log, const char* folder) {
    TQCLogFile_1::tagInitData_1 config;
    std::memset(&config, 0, sizeof config);
    config.uiFileCount = scrivlet::crash::kFileCount;
    config.uiFileSize = scrivlet::crash::kFileSize;
    Put(config.szFileName, 56, "crash");
    Put(config.szFolder, 196, folder);
    TQCLogFile_1::tagInfoData_1 info = {};
    if (!log.Init(&config, &info) || !log.Switch(true, &info)) return 2;
    for (unsigned n = 1;; ++n) {
        const std::string record = scrivlet::crash::Record(n);
        if (!log.Write(record.data(), scrivlet::crash::kRecordSize, &info)) return 3;
        if (write(1, &n, sizeof n) != static_cast<ssize_t>(sizeof n)) return 4;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 1;
    if (argv[1][0] == 'm') {
        TQCLogFileM_1 log;
        return Run(log, argv[2]);
    }
    TQCLogFile_1 log;
    return Run(log, argv[2]);
}
