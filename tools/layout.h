// The layout of one file of a ring: the library's own lines (counter line and header line at the
// top, footer line at the end) and the records between them.
//
// Library lines are UTF-16LE, "YYYY.MM.DD HH:MM:SS.mmm " then "<counter> 1 1", "<header> 1 2" or
// "<footer> 1 3", ending in CR LF. A counter line is recognised by its form; header and footer
// lines by their configured text, or by their form when no text is given.
#ifndef SCRIVLET_TOOLS_LAYOUT_H
#define SCRIVLET_TOOLS_LAYOUT_H

#include <cstdint>
#include <string>

namespace scrivlet_tool {

// How much of the start and of the end of a file the layout needs.
const std::size_t kLayoutWindow = 512;

struct LibraryLine {
    bool present = false;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;  // behind its CR LF
    std::string stamp;      // "YYYY.MM.DD HH:MM:SS.mmm"
    std::string text;       // the text between the stamp and " 1 n", as UTF-8
};

struct FileLayout {
    std::uint64_t size = 0;
    LibraryLine counter;
    std::uint32_t counterValue = 0;
    LibraryLine header;
    LibraryLine footer;
    std::uint64_t recordsBegin = 0;
    std::uint64_t recordsEnd = 0;
    bool tornLine = false;  // the file ends inside a counter or header line

    // The first time stamp of the file, or empty.
    const std::string& FirstStamp() const;
    // The last time stamp of the file, or empty.
    const std::string& LastStamp() const;
};

struct LayoutHints {
    bool headerGiven = false;  // false: recognise any header line by its form
    std::string header;        // configured header text (empty: none)
    bool footerGiven = false;
    std::string footer;
};

// head: the first min(size, kLayoutWindow) bytes; tail: the last min(size, kLayoutWindow) bytes.
FileLayout ParseLayout(const std::string& head, const std::string& tail, std::uint64_t size,
                       const LayoutHints& hints);

}  // namespace scrivlet_tool

#endif  // SCRIVLET_TOOLS_LAYOUT_H
