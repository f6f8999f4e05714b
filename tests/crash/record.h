// The numbered records of the crash tests: 32 bytes each, every byte determined by the number,
// so that a reader can tell a whole record from a torn or foreign one.
#ifndef SCRIVLET_TESTS_CRASH_RECORD_H
#define SCRIVLET_TESTS_CRASH_RECORD_H

#include <cstdio>
#include <string>

namespace scrivlet {
namespace crash {

const unsigned kRecordSize = 32;

inline std::string Record(unsigned n) {
    char text[kRecordSize + 1];
    std::snprintf(text, sizeof text, "#%010u-", n);
    std::string record(text);
    for (unsigned i = 0; record.size() < kRecordSize - 1; ++i) {
        record.push_back(static_cast<char>('a' + (n * 7 + i * 13) % 26));
    }
    record.push_back('\n');
    return record;
}

// The ring the child writes: three files of 688 bytes, 21 records each, no library lines.
const unsigned kFileCount = 3;
const unsigned kFileSize = 688;
const unsigned kRecordsPerFile = kFileSize / kRecordSize;

}  // namespace crash
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_CRASH_RECORD_H
