// The order of a ring's files, oldest first: the one notion of "oldest" and "newest" that the
// readers (`scrivlet cat`, `verify`) and the ring itself, when it continues after its newest
// file, share.
//
// Files are ordered by their counter lines where every file has one: counters that follow each
// other (the largest counter is followed by 1) form a run, and runs (a writer that started again
// at 1) are ordered by their first time stamp. Where counters from 1 on follow each other but the
// time stamps say a file was begun before the one counted before it, a writer started afresh
// there (its counters 1, 2, ... stand beside the higher counters of the writer before it), and the
// time stamps decide. Without counter lines in every file they are
// ordered by their first time stamp, and without that by modification time; never by name alone.
// Empty files come last, by modification time.
#ifndef SCRIVLET_READING_ORDER_H
#define SCRIVLET_READING_ORDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "scrivlet/export.h"

namespace scrivlet::reading {

// What the order needs of one file.
struct FileFacts {
    unsigned int number = 0;  // the file number in its name
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // modification time, nanoseconds since the epoch
    bool counter = false;    // the file opens with a counter line
    std::uint32_t counter_value = 0;
    std::string first_stamp;  // the stamp of its first library line, or empty
};

enum class OrderKey { kCounter, kStamp, kModified };
SCRIVLET_RING_API const char* OrderKeyName(OrderKey key);

// The positions of files in order, oldest first, and the key that decided it.
SCRIVLET_RING_API OrderKey OrderOldestFirst(const std::vector<FileFacts>& files,
                                            std::vector<std::size_t>& order);

}  // namespace scrivlet::reading

#endif  // SCRIVLET_READING_ORDER_H
