// The ring's file format: the one home of its facts. The log file classes write by these, and the
// command-line host reads by them; a host that reads a ring itself may use them too. Constants and
// inline functions only: nothing here is exported.
//
// - Names: file N of a ring is <folder>\<name>_NNNN.log, or <name>_NNNN.log without a folder.
// - Library lines: UTF-16LE, a 24-character time stamp "YYYY.MM.DD HH:MM:SS.mmm " and then
//   "<counter> 1 1", "<header> 1 2" or "<footer> 1 3", ending in CR LF.
// - Room: a record must fit into an empty file beside its counter, header and footer lines, and
//   the footer must still fit behind it, or the writer moves on to the next file first.
#ifndef SCRIVLET_FORMAT_H
#define SCRIVLET_FORMAT_H

#include "scrivlet/export.h"

// Texts of the format as narrow literals; SCRIVLET_WIDE(...) makes a TQ_WCHAR literal of one.
#define SCRIVLET_WIDE(text) TQ_TEXT(text)
// The base file name of a new object.
#define SCRIVLET_DEFAULT_NAME "LogFile_1"
// What follows the base name: the file number in four digits and the extension.
#define SCRIVLET_FILE_NUMBER_FORMAT "_%04u.log"
// What separates the folder from the file name (always inserted, also behind a trailing one).
#define SCRIVLET_FOLDER_SEPARATOR "\\"
// What ends every library line, and every record a text host writes (UTF-16LE in the files).
#define SCRIVLET_LINE_END "\r\n"
// The counter line behind its stamp, from the counter and the numbers 1 and kCounterLine.
#define SCRIVLET_COUNTER_LINE_FORMAT "%u %u %u" SCRIVLET_LINE_END
// A header or footer line behind its stamp, from its text and the numbers 1 and its kind.
#define SCRIVLET_TEXT_LINE_FORMAT "%s %u %u" SCRIVLET_LINE_END
// The form of the time stamp in front of every library line: each '0' stands for one digit, the
// fields are year, month, day, hour, minute, second and millisecond, in this order.
#define SCRIVLET_STAMP_FORM "0000.00.00 00:00:00.000 "

namespace scrivlet {
namespace format {

// A new object writes this many files of this many bytes.
constexpr unsigned int kDefaultFileCount = 5;
constexpr unsigned int kDefaultFileSize = 10485760;

// Characters of the time stamp in front of every library line, its blank included.
constexpr unsigned int kStampLength = 24;
static_assert(sizeof(SCRIVLET_STAMP_FORM) - 1 == kStampLength, "the stamp form is the stamp");
// A base name is cut at its first kNameEnd ("app.log" is stored as "app").
constexpr char kNameEnd = '.';
// Bytes of one character in the files (UTF-16LE).
constexpr unsigned int kBytesPerChar = 2;

// The two numbers that end a library line: always 1, then the kind of the line.
constexpr unsigned int kLineFirstNumber = 1;
constexpr unsigned int kCounterLine = 1;
constexpr unsigned int kHeaderLine = 2;
constexpr unsigned int kFooterLine = 3;
// Characters after a header or footer text: " 1 2" and CR LF.
constexpr unsigned int kTextLineTail = 6;

// Characters of a header or footer line as written, time stamp included, for a text of
// text_length characters.
constexpr unsigned int TextLineLength(unsigned int text_length) {
    return kStampLength + text_length + kTextLineTail;
}

// The counter of the next file: it wraps from the largest value to 1.
constexpr unsigned int kCounterMax = 0xFFFFFFFFu;
constexpr unsigned int NextCounter(unsigned int counter) {
    return counter == kCounterMax ? 1 : counter + 1;
}
// Characters of the longest counter line (counter 4294967295), time stamp included.
constexpr unsigned int kCounterLineMaxLength = kStampLength + 10 + 6;

// The largest record an empty file holds beside lines of these lengths (characters; 0 for a
// line that is not written). Unsigned 32-bit arithmetic, as the writer's.
constexpr unsigned int RecordRoom(unsigned int file_size, unsigned int counter_length,
                                  unsigned int header_length, unsigned int footer_length) {
    return file_size - kBytesPerChar * (counter_length + footer_length + header_length);
}

// Whether a record of count bytes goes into a file holding file_bytes, with the footer still
// fitting behind it; otherwise the writer moves on to the next file first.
constexpr bool FitsBeforeFooter(unsigned int file_bytes, unsigned int count, unsigned int file_size,
                                unsigned int footer_length) {
    return file_bytes + count <= file_size - kBytesPerChar * footer_length;
}

}  // namespace format
}  // namespace scrivlet

#endif  // SCRIVLET_FORMAT_H
