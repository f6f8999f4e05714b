// UTF-8 to UTF-16 for the ring (see text.h), and the stored form of a record that the ring's
// header offers its hosts. Runs of ASCII, the common case of a log line, are measured and widened
// 16 bytes at a time where the processor has SSE2, which every x86-64 processor has.
#include "ring/text.h"

#include <cstring>

#include "scrivlet/ring.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define SCRIVLET_RING_SSE2 1
#endif

namespace scrivlet {
namespace detail {
namespace {

const std::uint32_t kReplacement = 0xFFFD;
const std::uint32_t kFirstSupplementary = 0x10000;

std::size_t Units(std::uint32_t c) { return c < kFirstSupplementary ? 1 : 2; }

char* StoreUnit(std::uint32_t unit, char* out) {
    *out++ = static_cast<char>(unit & 0xFF);
    *out++ = static_cast<char>(unit >> 8);
    return out;
}

// The length of the run of ASCII bytes that text holds from pos on.
std::size_t AsciiRun(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
#if defined(SCRIVLET_RING_SSE2)
    for (; end + 16 <= text.size(); end += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + end));
        if (_mm_movemask_epi8(block) != 0) break;
    }
#endif
    while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
    return end - pos;
}

// Stores the ASCII run of text from pos on as UTF-16LE at out; moves pos and out behind it.
void WidenAsciiRun(std::string_view text, std::size_t& pos, char*& out) {
#if defined(SCRIVLET_RING_SSE2)
    const __m128i zero = _mm_setzero_si128();
    for (; pos + 16 <= text.size(); pos += 16, out += 32) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
        if (_mm_movemask_epi8(block) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(block, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(block, zero));
    }
#endif
    for (; pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80; ++pos) {
        *out++ = text[pos];
        *out++ = 0;
    }
}

}  // namespace

std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // The length of the sequence and the range of its second byte, which rules out overlong
    // forms, surrogates and values above U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    std::uint32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        ++pos;
        return kReplacement;
    }
    std::size_t taken = 1;
    for (; taken < length; ++taken) {
        if (pos + taken >= text.size()) break;
        const unsigned char next = byte(pos + taken);
        if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF)) break;
        c = (c << 6) | (next & 0x3F);
    }
    pos += taken;
    return taken == length ? c : kReplacement;  // one replacement per maximal ill-formed subpart
}

void AppendUtf16(std::string_view text, std::u16string& out) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::uint32_t c = NextCodePoint(text, pos);
        if (c < kFirstSupplementary) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= kFirstSupplementary;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
}

std::string_view LineText(std::string_view line) {
    // A CR is part of the line end only in front of its LF: a line that stops at a CR keeps it.
    if (line.empty() || line.back() != '\n') return line;
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::size_t Utf16LineSize(std::string_view line) {
    const std::string_view text = LineText(line);
    std::size_t units = 2;  // CR LF
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t ascii = AsciiRun(text, pos);  // one unit each, the common case
        units += ascii;
        pos += ascii;
        if (pos < text.size()) units += Units(NextCodePoint(text, pos));
    }
    return 2 * units;
}

char* StoreUtf16Line(std::string_view line, char* out) {
    const std::string_view text = LineText(line);
    for (std::size_t pos = 0; pos < text.size();) {
        WidenAsciiRun(text, pos, out);  // as NextCodePoint would give it
        if (pos == text.size()) break;
        std::uint32_t c = NextCodePoint(text, pos);
        if (c < kFirstSupplementary) {
            out = StoreUnit(c, out);
        } else {
            c -= kFirstSupplementary;
            out = StoreUnit(0xD800 + (c >> 10), out);
            out = StoreUnit(0xDC00 + (c & 0x3FF), out);
        }
    }
    out = StoreUnit('\r', out);
    return StoreUnit('\n', out);
}

}  // namespace detail

std::size_t stored_size(std::string_view record, Text text) {
    return text == Text::utf16 ? detail::Utf16LineSize(record) : record.size();
}

char* store(std::string_view record, Text text, char* out) {
    if (text == Text::utf16) return detail::StoreUtf16Line(record, out);
    if (!record.empty()) std::memcpy(out, record.data(), record.size());
    return out + record.size();
}

}  // namespace scrivlet
