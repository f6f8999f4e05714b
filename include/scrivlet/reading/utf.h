// UTF-16LE of the ring's files into the UTF-8 of the terminal.
//
// Decoding never fails: every unpaired surrogate becomes U+FFFD, and so does an odd byte or a
// high surrogate left at the end.
#ifndef SCRIVLET_READING_UTF_H
#define SCRIVLET_READING_UTF_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scrivlet/export.h"

namespace scrivlet::reading {

// Appends the UTF-8 of the code point c to out.
SCRIVLET_RING_API void AppendUtf8(std::uint32_t c, std::string& out);

// Appends the UTF-8 of UTF-16 code units to out, each unpaired surrogate as U+FFFD.
SCRIVLET_RING_API void AppendUtf8(std::u16string_view units, std::string& out);

// The code units of UTF-16LE bytes (an odd last byte is left out).
SCRIVLET_RING_API std::u16string Units(std::string_view bytes);

// UTF-8 of a UTF-16LE byte string, decoded whole (an odd last byte becomes U+FFFD).
SCRIVLET_RING_API std::string Utf16LeToUtf8(std::string_view bytes);

}  // namespace scrivlet::reading

#endif  // SCRIVLET_READING_UTF_H
