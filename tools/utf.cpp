// UTF-8 and UTF-16 conversions for the command-line host (see utf.h).
#include "utf.h"

#include <cstdint>

namespace scrivlet_tool {
namespace {

const char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::uint32_t c, std::u16string& out) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

void AppendUtf8(std::uint32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

void Utf8ToUtf16(const char* data, std::size_t size, std::u16string& out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
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
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t taken = 1;
        bool whole = true;
        for (; taken < length; ++taken) {
            if (i + taken >= size) {
                whole = false;
                break;
            }
            const unsigned char next = bytes[i + taken];
            const unsigned char lo = taken == 1 ? low : 0x80;
            const unsigned char hi = taken == 1 ? high : 0xBF;
            if (next < lo || next > hi) {
                whole = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (whole) {
            AppendCodePoint(c, out);
        } else {
            out.push_back(kReplacement);  // one replacement for the maximal ill-formed subpart
        }
        i += taken;
    }
}

void AppendUtf16Le(const std::u16string& text, std::string& out) {
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
}

void Utf16LeDecoder::Unit(char16_t unit, std::string& out) {
    if (m_high != 0) {
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            AppendUtf8(
                0x10000 + ((static_cast<std::uint32_t>(m_high) - 0xD800) << 10) + (unit - 0xDC00),
                out);
            m_high = 0;
            return;
        }
        AppendUtf8(kReplacement, out);
        m_high = 0;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        m_high = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(kReplacement, out);
    } else {
        AppendUtf8(unit, out);
    }
}

void Utf16LeDecoder::Feed(const char* data, std::size_t size, std::string& out) {
    std::size_t i = 0;
    if (m_hasByte && size > 0) {
        Unit(static_cast<char16_t>(m_byte | (static_cast<unsigned char>(data[0]) << 8)), out);
        m_hasByte = false;
        i = 1;
    }
    for (; i + 1 < size; i += 2) {
        Unit(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                   (static_cast<unsigned char>(data[i + 1]) << 8)),
             out);
    }
    if (i < size) {
        m_hasByte = true;
        m_byte = static_cast<unsigned char>(data[i]);
    }
}

void Utf16LeDecoder::Finish(std::string& out) {
    if (m_high != 0 || m_hasByte) AppendUtf8(kReplacement, out);
    m_high = 0;
    m_hasByte = false;
}

std::string Utf16LeToUtf8(const char* data, std::size_t size) {
    std::string out;
    Utf16LeDecoder decoder;
    decoder.Feed(data, size, out);
    decoder.Finish(out);
    return out;
}

}  // namespace scrivlet_tool
