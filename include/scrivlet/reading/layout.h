// The layout of one file of a ring: the library's own lines (counter line and header line at the
// top, footer line at the end) and the records between them.
//
// Library lines are recognised by the facts of format.h: a time stamp of the library's form, then
// "<counter> 1 1", "<header> 1 2" or "<footer> 1 3" as the library formats them, in UTF-16LE. A
// counter line is recognised by its form; header and footer lines by their configured text, or by
// their form when no text is given.
//
// A file may also hold library lines among its records, where a ring continued it after a
// restart (RunMarks): the run mark.
#ifndef SCRIVLET_READING_LAYOUT_H
#define SCRIVLET_READING_LAYOUT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "scrivlet/export.h"
#include "scrivlet/reading/times.h"

namespace scrivlet::reading {

// How much of the start and of the end of a file the layout needs: a counter line and a header
// line of the greatest lengths.
SCRIVLET_RING_API extern const std::size_t kLayoutWindow;

struct LibraryLine {
    bool present = false;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;  // behind its CR LF
    std::string stamp;      // the stamp without its trailing blank
    Moment moment = kEarliest;
    std::string text;  // the text between the stamp and " 1 n", as UTF-8
};

struct SCRIVLET_RING_API FileLayout {
    std::uint64_t size = 0;
    LibraryLine counter;
    std::uint32_t counter_value = 0;
    LibraryLine header;
    LibraryLine footer;
    std::uint64_t records_begin = 0;
    std::uint64_t records_end = 0;
    bool torn_line = false;  // the file ends inside a counter or header line

    // The first and the last library line of the file (nullptr when it has none).
    const LibraryLine* First() const;
    const LibraryLine* Last() const;
    // Their stamps, or empty.
    std::string FirstStamp() const;
    std::string LastStamp() const;
};

struct LayoutHints {
    bool header_given = false;  // false: recognise any header line by its form
    std::string header;         // configured header text (empty: none)
    bool footer_given = false;
    std::string footer;
};

// head: the first min(size, kLayoutWindow) bytes; tail: the last min(size, kLayoutWindow) bytes.
SCRIVLET_RING_API FileLayout ParseLayout(std::string_view head, std::string_view tail,
                                         std::uint64_t size, const LayoutHints& hints);

// The library line at the start of bytes (UTF-16LE), recognised by its form alone.
struct LineAt {
    unsigned int kind = 0;      // format::kCounterLine, kHeaderLine or kFooterLine; 0: none
    bool more = false;          // bytes end before it can be told whether one starts there
    std::size_t length = 0;     // its bytes, CR LF included
    LibraryLine line;           // begin 0, end length
    std::uint32_t counter = 0;  // the value of a counter line
};
// complete: bytes hold the whole line (up to and with its CR LF) if one is there; otherwise
// more says whether more bytes could make one.
SCRIVLET_RING_API LineAt LibraryLineAt(std::string_view bytes, bool complete);

// The bytes behind the last line end of a text ring's newest file that a ring continuing the file
// drops, a record a crash cut short; a longer unfinished tail is ended with a line end instead.
constexpr std::uint64_t kTornTailLimit = 64 * 1024;

// Where a run of the writer began inside a file. A ring that continues a file after a restart
// first makes the file end cleanly, then writes the file's opening lines again with the time of
// the restart: the counter line with the file's own counter value (when the file opens with one)
// and the header line (when it has one). The footer line of the run before stands in front of
// them when that run closed cleanly. Such lines among a file's records are the library's, not
// records. A ring without counter and header lines leaves no mark, only the footer of a run that
// closed cleanly.
class SCRIVLET_RING_API RunMarks {
  public:
    RunMarks() = default;
    RunMarks(const FileLayout& layout, const LayoutHints& hints);

    struct Part {
        bool library = false;  // the line is the library's, not a record
        bool starts = false;   // a run begins with it: the records behind it are the new run's
    };
    // Takes the file's opening lines again (a file read before they were all written), keeping
    // where the lines taken so far stand.
    void Reopen(const FileLayout& layout);

    // What the next line among the file's records is: line is LibraryLineAt's reading of it (kind
    // 0 for a record).
    Part Take(const LineAt& line);

  private:
    bool Matches(const LineAt& line, bool given, const std::string& text) const;

    LayoutHints hints_;
    bool counter_ = false;
    std::uint32_t counter_value_ = 0;
    bool header_ = false;
    std::string header_text_;
    bool after_counter_ = false;  // the line before was a run's counter line
};

// The text of a library line of this kind as the library formats it behind its stamp (for the
// counter line, text is the counter's digits).
SCRIVLET_RING_API std::string LibraryLineText(std::string_view text, unsigned int kind);

}  // namespace scrivlet::reading

#endif  // SCRIVLET_READING_LAYOUT_H
