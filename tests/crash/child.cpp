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

int Run(TQCLogFile_1& log, const char* folder) {
    TQCLogFile_1::tagInitData_1 config;
    std::memset(&config, 0, sizeof config);
    config.uiFileCount = scrivlet::crash::kFileCount;
    config.uiFileSize = scrivlet::crash::kFileSize;
    for (std::size_t i = 0; i < 5; ++i) config.szFileName[i] = "crash"[i];
    for (std::size_t i = 0; folder[i] != 0 && i < 195; ++i) config.szFolder[i] = folder[i];
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
    TQCLogFileM_1 guarded;
    TQCLogFile_1 single;
    return Run(argv[1][0] == 'm' ? guarded : single, argv[2]);
}
