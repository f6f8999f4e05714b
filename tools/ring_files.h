// The files of a ring on disk and their order, oldest first.
//
// Files are ordered by their counter lines where every file has one: counters that follow each
// other (4294967295 is followed by 1) form a run, and runs (a writer that started again at 1)
// are ordered by their first time stamp. Without counter lines in every file they are ordered
// by their first time stamp, and without that by modification time; never by name alone.
#ifndef SCRIVLET_TOOLS_RING_FILES_H
#define SCRIVLET_TOOLS_RING_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"
#include "ring.h"

namespace scrivlet_tool {

struct FileState {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since the epoch
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
};

FileState StatFile(const std::string& path);

struct RingFile {
    unsigned int number = 0;
    std::string path;
    FileState state;
    FileLayout layout;
};

enum class OrderKey { kCounter, kStamp, kModified };
const char* OrderKeyName(OrderKey key);

// The layout hints that the ring's options give.
LayoutHints HintsFor(const RingOptions& ring);

// Reads the start and end of the file at path and recognises its layout.
bool ReadLayout(const std::string& path, const LayoutHints& hints, FileState& state,
                FileLayout& layout);

// Every file <name>_NNNN.log in the ring's directory, in file number order.
std::vector<RingFile> FindRingFiles(const RingOptions& ring, const LayoutHints& hints);

// Sorts files oldest first; empty files go last. Returns the key that decided the order.
OrderKey OrderRingFiles(std::vector<RingFile>& files);

// The counter that follows value: 4294967295 is followed by 1.
std::uint32_t NextCounter(std::uint32_t value);

}  // namespace scrivlet_tool

#endif  // SCRIVLET_TOOLS_RING_FILES_H
