// The child host of the crash tests. Usage: scrivlet_crash_child <s|m> <folder> <write|hold>
//
// Writes numbered records (crash/record.h) through TQCLogFile_1 (s) or TQCLogFileM_1 (m) into
// the ring "crash" in folder, and reports the number of every record whose Write returned true
// on standard output, four bytes each, right after the Write.
// write: writes until it is killed.
// hold: writes records 1 to 5, then waits until standard input ends, writes record 6 and exits
//       through Exit.
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

bool WriteAndReport(TQCLogFile_1& log, unsigned n) {
    const std::string record = scrivlet::crash::Record(n);
    TQCLogFile_1::tagInfoData_1 info = {};
    if (!log.Write(record.data(), scrivlet::crash::kRecordSize, &info)) return false;
    return write(1, &n, sizeof n) == static_cast<ssize_t>(sizeof n);
}

int Run(TQCLogFile_1& log, const char* folder, bool hold) {
    TQCLogFile_1::tagInitData_1 config;
    std::memset(&config, 0, sizeof config);
    config.uiFileCount = scrivlet::crash::kFileCount;
    config.uiFileSize = scrivlet::crash::kFileSize;
    Put(config.szFileName, 56, "crash");
    Put(config.szFolder, 196, folder);
    TQCLogFile_1::tagInfoData_1 info = {};
    if (!log.Init(&config, &info) || !log.Switch(true, &info)) return 2;
    if (!hold) {
        for (unsigned n = 1;; ++n) {
            if (!WriteAndReport(log, n)) return 3;
        }
    }
    for (unsigned n = 1; n <= 5; ++n) {
        if (!WriteAndReport(log, n)) return 3;
    }
    char byte;
    while (read(0, &byte, 1) > 0) {
    }
    if (!WriteAndReport(log, 6)) return 3;
    return log.Exit(&info) ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 1;
    const bool hold = std::strcmp(argv[3], "hold") == 0;
    if (argv[1][0] == 'm') {
        TQCLogFileM_1 log;
        return Run(log, argv[2], hold);
    }
    TQCLogFile_1 log;
    return Run(log, argv[2], hold);
}
