// The records of a ring, as they come out of its files one after the other.
//
// Text records are UTF-16LE lines ending in CR LF, raw records bytes ending in LF. A record that
// has not ended when its file does (a long line cut into several records, the last one ending in
// the next file; a torn tail) goes on with the bytes that follow, so that a line comes out whole.
// Memory stays bounded: a record longer than the limit comes out in pieces of the limit that
// have not ended.
//
// Library lines among the records (where a ring continued a file after a restart) come out as
// lines of their kind, in a raw ring too, where they are UTF-16LE among the raw bytes; whether
// one belongs to a run mark is for RunMarks (scrivlet/reading/layout.h) to say.
#ifndef SCRIVLET_TOOLS_READER_RECORDS_H
#define SCRIVLET_TOOLS_READER_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ring_files.h"
#include "scrivlet/reading/layout.h"

namespace scrivlet::tool {

enum class Encoding { kUtf16, kRaw };

struct Record {
    std::string text;           // UTF-8 (from UTF-16LE) or the raw bytes, without the line end
    bool ended = false;         // the line end followed
    unsigned int file = 0;      // the number of the file where the record begins
    unsigned int end_file = 0;  // the file where it ends (0: not the file fed last)
    std::uint64_t end = 0;      // the offset in end_file behind its last byte (its line end)
    reading::LineAt line;       // line.kind != 0: a library line, all in end_file (its text in
                                // line.line, line.line.begin and end offsets in the file; text
                                // is the whole line without its line end)
};

// The bytes that end a record as stored: CR LF in UTF-16LE, or LF.
std::string_view RecordEnd(Encoding encoding);

class RecordReader {
  public:
    // limit: the most bytes of a record held back while it has not ended. decode false leaves the
    // text of records empty (for a reader that wants only where records and lines are).
    explicit RecordReader(Encoding encoding, std::size_t limit = std::size_t{1} << 20,
                          bool decode = true);

    // Takes the next bytes of records from file number file, where they start at offset; appends
    // each record and library line that they complete to out.
    void Feed(std::string_view bytes, unsigned int file, std::uint64_t offset,
              std::vector<Record>& out);
    // Appends the record that has begun and not ended, if any (at the end of the input).
    void Finish(std::vector<Record>& out);
    bool Pending() const { return !pending_.empty(); }
    // The bytes of the record begun and not ended, and where it began when all of it came from
    // the file fed last (false otherwise).
    std::string_view PendingBytes() const { return pending_; }
    bool PendingBegin(unsigned int file, std::uint64_t& begin) const;
    // Forgets the record begun (the writer that continued its file dropped it).
    void Drop();

  private:
    void Emit(std::size_t length, std::size_t stored, bool ended, std::vector<Record>& out);
    // A library line at the start of the pending bytes: emitted, true; or more bytes are needed
    // to tell (wait true).
    bool TakeLine(std::size_t line_end, std::vector<Record>& out, bool& wait);

    Encoding encoding_;
    std::size_t limit_;
    bool decode_;
    std::string pending_;          // bytes of the record begun
    std::size_t scanned_ = 0;      // bytes of pending_ searched for a line end already
    unsigned int file_ = 0;        // where the pending record began
    unsigned int fed_file_ = 0;    // the file fed last
    std::uint64_t fed_end_ = 0;    // the offset behind the last byte taken from it
    std::uint64_t fed_begin_ = 0;  // the offset of the first byte taken from it
};

// Where a run of the writer began inside a file (a run mark, see RunMarks).
struct RunMark {
    std::uint64_t begin = 0;       // where the mark begins: its footer, or its first opening line
    Moment moment = kEarliest;     // the restart's time: its first opening line's stamp (the
                                   // footer's in a ring without opening lines)
    bool closed = false;           // the run before closed cleanly: its footer stands in front
    Moment closed_at = kEarliest;  // the stamp of that footer
};

// The run marks among the records of a readable file, in the order they stand.
std::vector<RunMark> FindRunMarks(const RingFile& file, const LayoutHints& hints,
                                  Encoding encoding);

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_READER_RECORDS_H
