// The records of a ring, as they come out of its files one after the other.
//
// Text records are UTF-16LE lines ending in CR LF, raw records bytes ending in LF. A record that
// has not ended when its file does (a long line cut into several records, the last one ending in
// the next file; a torn tail) goes on with the bytes that follow, so that a line comes out whole.
// Memory stays bounded: a record longer than the limit comes out in pieces of the limit that
// have not ended.
#ifndef SCRIVLET_TOOLS_READER_RECORDS_H
#define SCRIVLET_TOOLS_READER_RECORDS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace scrivlet::tool {

enum class Encoding { kUtf16, kRaw };

struct Record {
    std::string text;       // UTF-8 (from UTF-16LE) or the raw bytes, without the line end
    bool ended = false;     // the line end followed
    unsigned int file = 0;  // the number of the file where the record begins
};

// The bytes that end a record as stored: CR LF in UTF-16LE, or LF.
std::string_view RecordEnd(Encoding encoding);

class RecordReader {
  public:
    // limit: the most bytes of a record held back while it has not ended.
    explicit RecordReader(Encoding encoding, std::size_t limit = std::size_t{1} << 20);

    // Takes the next bytes of records from file number file; appends each record that they
    // complete to out.
    void Feed(std::string_view bytes, unsigned int file, std::vector<Record>& out);
    // Appends the record that has begun and not ended, if any (at the end of the input).
    void Finish(std::vector<Record>& out);
    bool Pending() const { return !pending_.empty(); }

  private:
    void Emit(std::size_t length, bool ended, std::vector<Record>& out);

    Encoding encoding_;
    std::size_t limit_;
    std::string pending_;      // bytes of the record begun
    std::size_t scanned_ = 0;  // bytes of pending_ searched for a line end already
    unsigned int file_ = 0;    // where the pending record began
};

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_READER_RECORDS_H
