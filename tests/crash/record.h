// The numbered records of the crash tests, 32 bytes each, every byte determined by the number so
// that a reader can tell a whole record from a torn or foreign one, and the ring the child writes:
// three files of 688 bytes, 21 records each, no library lines.
#ifndef SCRIVLET_TESTS_CRASH_RECORD_H
#define SCRIVLET_TESTS_CRASH_RECORD_H

#include <cstdio>
#include <string>

namespace scrivlet {
namespace crash {

const unsigned kRecordSize = 32, kFileCount = 3, kFileSize = 688;
const unsigned kRecordsPerFile = kFileSize / kRecordSize;

inline std::string Record(unsigned n) {
    char text[kRecordSize + 1];
    std::snprintf(text, sizeof text, "#%010u-", n);
    std::string record(text);
    for (unsigned i = 0; record.size() < kRecordSize - 1; ++i)
        record += char('a' + (n * 7 + i * 13) % 26);
    return record + "\n";
}

}  // namespace crash
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_CRASH_RECORD_H
