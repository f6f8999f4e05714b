// scrivlet::Ring: a ring of log files for modern C++ hosts, durable and fast from any number of
// threads (library Scrivlet::ring, above the log file classes).
//
//   scrivlet::RingOptions options;
//   options.folder = "logs/app";               // created as needed
//   scrivlet::Error error;
//   scrivlet::Ring ring;
//   if (!ring.open(options, error)) std::cerr << error.message() << '\n';
//   ring.write("pump 3 started", error);       // true: the record is on the storage
//   ring.close(error);                          // footer and close; the destructor closes too
//
// Group commit: write() is safe from any number of threads at once and returns true only once its
// record is on the storage. Records that arrive while a write is in flight go out together in the
// next single write-through call, in arrival order, each record whole and in one file; N waiting
// threads pay for one write instead of N. A record never waits for a timer: one writer alone gets
// one write per record. The files are byte for byte what a TQCLogFile_1 writes for the same
// records in the same order (counter, header and footer lines, rotation when the next record and
// the footer would not fit), so `scrivlet cat` and `verify` read them unchanged.
//
// Failures: true always means durable; false means the record may or may not be in the ring (a
// write that failed part way, or a write whose result was lost). A failed write fails every record
// of its group and each caller gets the error; the next group first puts the ring back on its feet
// (after a failed rotation: switch off, switch on), as a host of the log file classes would.
// Memory: buffers are allocated once by open(); write() allocates nothing. A writer whose record
// does not fit the waiting group waits for the next one.
#ifndef SCRIVLET_RING_H
#define SCRIVLET_RING_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "scrivlet/format.h"
#include "scrivlet/logfile.h"

namespace scrivlet {

// How write() stores a record.
enum class Text {
    utf16,  // the record is UTF-8 text (one line; a trailing LF or CR LF is dropped), stored as
            // UTF-16LE ending in CR LF, so that the file is one uniform text; ill-formed UTF-8
            // becomes U+FFFD
    raw,    // the record's bytes exactly as given
    utf16_stored,  // the record is already a line as utf16 stores it (see store()): written as
                   // given, and split like a utf16 record, between UTF-16 characters
};

// What write() stores for a record with text, for a host that prepares its records before it
// hands them in (a ring of Text::utf16_stored takes what store() makes of Text::utf16 records):
// the number of bytes, and the bytes themselves, stored at out, with their end returned. A record
// of n bytes never takes more than 2 * n + 4 (n with raw and utf16_stored).
SCRIVLET_RING_API std::size_t stored_size(std::string_view record, Text text);
SCRIVLET_RING_API char* store(std::string_view record, Text text, char* out);

struct RingOptions {
    std::string folder;                        // UTF-8; '/' and '\' separate directories;
                                               // created as needed; empty: current directory
    std::string name = SCRIVLET_DEFAULT_NAME;  // files <name>_0001.log ...; cut at its first '.'
    unsigned int count = format::kDefaultFileCount;  // files in the ring: 1 to 9999
    unsigned int size = format::kDefaultFileSize;    // bytes per file: 688 to 104857600
    std::string header;                              // empty: no header line; at most 63 characters
    std::string footer;                              // empty: no footer line; at most 63 characters
    bool counter = false;                            // a counter line opens each file
    Text text = Text::utf16;
    bool split = false;  // a record longer than a file holds is written as several records that
                         // each fit (on UTF-16 character boundaries), instead of being refused
    bool resume = true;  // open() continues the ring already in the folder (see open()); false
                         // starts at file 1 with counter 1, replacing file 1, as the log file
                         // classes do
    std::size_t group_bytes = 0;  // the most bytes a group holds (0: 1 MiB), at least the largest
                                  // record; a host that hands in large batches at once (a pipe)
                                  // writes them in fewer calls with more
};

// A failure: the library's error information record and its words.
struct SCRIVLET_RING_API Error {
    // Module 46 (TQCLogFile_1) or 50 (the ring itself) and the reporting place; see message().
    // As in the log file classes, the first failure stored wins until clear().
    TQCLogFile_1::tagInfoData_1 info{};

    // The failure in words, one line: what was being done, what failed, the error or reason and
    // the value, then the raw fields. "no error" when none is stored.
    std::string message() const;
    bool failed() const { return (info.uiErrorSet & 1u) != 0; }
    void clear() { info = TQCLogFile_1::tagInfoData_1{}; }
};

// The ring's own failures (Error::info.uiModule == kModuleRing, uiLocation one of these).
constexpr unsigned int kModuleRing = 50;
enum RingPlace : unsigned int {
    kRingNotOpen = 1,         // write or close on a ring that is not open
    kRingAlreadyOpen = 2,     // open on a ring that is open
    kRingBadArgument = 3,     // the C interface (ring_c.h): a null pointer where an object is
                              // needed (parameter error; uiValue the argument's number, from 1)
    kRingContinueFailed = 4,  // the end of the newest file could not be read, cut or ended
                              // (system error)
    kRingRecordSize = 5,      // the C interface: a record whose cbSize is below this
                              // generation's (parameter error, reason too small; uiValue cbSize)
    kRingRuntime = 6,         // the C interface: the C++ runtime failed, no memory (system error
                              // 8) or another exception (runtime error)
};

// Counts since open(), for a host that wants to know how well writes were grouped.
struct RingStats {
    std::uint64_t records = 0;  // records written
    std::uint64_t writes = 0;   // write-through calls that wrote them
    std::uint64_t bytes = 0;    // bytes of records written
    std::uint64_t waiting = 0;  // records handed in and not yet written
    // Where the time went, in nanoseconds: in the write-through calls of the groups, and after
    // each write that released callers who slept (cycles of them): until the first of them ran
    // again (its wake-up), until the last did (the others' turns on the processors), and from
    // then until the next group's write started (their way back with their next records).
    std::uint64_t write_ns = 0;
    std::uint64_t cycles = 0;
    std::uint64_t wake_ns = 0;
    std::uint64_t turns_ns = 0;
    std::uint64_t back_ns = 0;
};

class SCRIVLET_RING_API Ring {
  public:
    Ring();
    ~Ring();  // closes the ring (footer included) if it is open
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    Ring(Ring&&) = delete;
    Ring& operator=(Ring&&) = delete;

    // Configures the ring, creates its folder and opens its file. With options.resume (the
    // default) the ring continues after its newest file in the folder (the order `scrivlet cat`
    // reads in): in that file while it has room, else in the next one with the next counter;
    // nothing is replaced. The newest file first ends cleanly: in a text ring a record that a
    // crash cut short (the bytes behind its last line end, fewer than 64 KiB) is dropped, since
    // it was never acknowledged, and a longer unfinished tail is ended with CR LF; in a raw ring
    // a tail without its LF gets one. Then the ring's opening lines (the counter line with that
    // file's own counter, the header line) are written again, with the time of the restart, to
    // mark where this run begins. Without options.resume, or without a file of the ring in the
    // folder, the ring opens file 1 with counter 1, replacing an earlier file 1. A refusal of
    // the configuration comes back with the log file's place (1 to 8, the true length of a text
    // that was too long) in error; a file that cannot be continued with place 9 (module 46) or
    // kRingContinueFailed and the system's error code.
    bool open(const RingOptions& options, Error& error);

    // Whether open() would take the configuration, without touching the disk: false with the
    // refusal open() would report (the true length of a text that was too long) in error.
    static bool check(const RingOptions& options, Error& error);

    // Writes one record; true once it is on the storage. A record larger than an empty file
    // holds is refused as the log file refuses it (module 46, place 17, uiValue the largest
    // record that fits), unless options.split.
    bool write(std::string_view record, Error& error);
    // Writes count records in this order, as consecutive records; true once all are on the
    // storage. A record that fails does not stop the others; error holds the first failure.
    bool write(const std::string_view* records, std::size_t count, Error& error);

    // Waits for the records already handed in, writes the footer and closes the file.
    bool close(Error& error);

    bool is_open() const;
    // The path of the current file (UTF-8, as the file system names it), or "" when closed.
    std::string path() const;
    // The largest record the ring takes now, in bytes as stored (a UTF-16 record counts its
    // CR LF), or 0 when closed. It can shrink by 2 when the counter line of the next file gains
    // a digit. With options.split: the largest record written whole, which every file takes.
    std::size_t largest_record() const;
    RingStats stats() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_RING_H
