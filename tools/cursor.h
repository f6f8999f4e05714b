// Where a shipper stopped: the cursor of a record, which `scrivlet cat --json` prints with every
// record and `--cursor-file` keeps.
//
// A cursor names the place behind a record: the ring (its folder and name), the file (its number,
// and what it opens with: its counter value, its first time stamp and a hash of its first bytes,
// which tell the file the cursor was taken in from one that the ring's wrap or a writer that
// started afresh put in its place) and the offset behind the record. A ring's files change only
// at their end (records appended; a torn tail dropped or ended when a writer continues the file),
// so the place stays valid while the writer goes on and across its restarts.
#ifndef SCRIVLET_TOOLS_CURSOR_H
#define SCRIVLET_TOOLS_CURSOR_H

#include <cstdint>
#include <string>
#include <string_view>

#include "ring_files.h"

namespace scrivlet::tool {

// The bytes at the start of a file that the hash covers (fewer while the file is shorter).
constexpr std::size_t kHeadBytes = 128;

struct Position {
    std::uint32_t ring = 0;  // RingIdentity
    unsigned int file = 0;
    std::uint32_t counter = 0;  // 0: the file opens with no counter line
    std::string stamp;          // the stamp of its first library line, or empty
    std::uint32_t head_length = 0;
    std::uint64_t head_hash = 0;
    std::uint64_t offset = 0;  // behind the record
};

// A short hash of the ring's folder (as the file system resolves it) and name.
std::uint32_t RingIdentity(const RingPlace& place);
std::uint64_t HeadHash(std::string_view head);

std::string CursorText(const Position& position);
// False, with the reason in why, for anything CursorText does not write.
bool ParseCursor(std::string_view text, Position& position, std::string& why);

// Reads the cursor in path: found false when there is none yet (no file, or an empty one); false
// with the reason in why when the file cannot be read or holds no cursor.
bool LoadCursorFile(const std::string& path, bool& found, Position& position, std::string& why);
// Replaces path with text durably: a new file written and synced, renamed over path, and its
// folder synced. False with the reason in why.
bool SaveCursorFile(const std::string& path, const std::string& text, std::string& why);

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_CURSOR_H
