// The layout of one file of a ring: the library's own lines (counter line and header line at the
// top, footer line at the end) and the records between them.
//
// Library lines are recognised by the facts of format.h: a time stamp of the library's form, then
// "<counter> 1 1", "<header> 1 2" or "<footer> 1 3" as the library formats them, in UTF-16LE. A
// counter line is recognised by its form; header and footer lines by their configured text, or by
// their form when no text is given.
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

// The text of a library line of this kind as the library formats it behind its stamp (for the
// counter line, text is the counter's digits).
SCRIVLET_RING_API std::string LibraryLineText(std::string_view text, unsigned int kind);

}  // namespace scrivlet::reading

#endif  // SCRIVLET_READING_LAYOUT_H
