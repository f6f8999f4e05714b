// UTF-8 text as the UTF-16 of the log files: the records of Text::utf16 and the texts of the
// configuration. Decoding never fails: every ill-formed UTF-8 sequence becomes one U+FFFD per
// maximal ill-formed subpart.
#ifndef SCRIVLET_RING_TEXT_H
#define SCRIVLET_RING_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace scrivlet {
namespace detail {

// The code point that starts at pos in text, moving pos behind it.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos);

// Appends the UTF-16 code units of text to out.
void AppendUtf16(std::string_view text, std::u16string& out);

// A line's text: without one trailing LF or CR LF.
std::string_view LineText(std::string_view line);

// The bytes of line stored as a UTF-16LE line: LineText(line) and CR LF.
std::size_t Utf16LineSize(std::string_view line);
// Stores line so at out (Utf16LineSize(line) bytes) and returns the end.
char* StoreUtf16Line(std::string_view line, char* out);

}  // namespace detail
}  // namespace scrivlet

#endif  // SCRIVLET_RING_TEXT_H
