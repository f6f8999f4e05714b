// UTF-8 to UTF-16 for the ring (see text.h).
#include "ring/text.h"

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
        if (static_cast<unsigned char>(text[pos]) < 0x80) {  // ASCII: one unit, the common case
            ++units;
            ++pos;
            continue;
        }
        units += Units(NextCodePoint(text, pos));
    }
    return 2 * units;
}

char* StoreUtf16Line(std::string_view line, char* out) {
    const std::string_view text = LineText(line);
    for (std::size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {  // ASCII, as NextCodePoint gives it
            *out++ = text[pos++];
            *out++ = 0;
            continue;
        }
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
}  // namespace scrivlet
