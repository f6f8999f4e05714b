// Conversions between the UTF-8 of the terminal and the UTF-16 of the log files.
//
// Decoding never fails: every ill-formed UTF-8 sequence becomes one U+FFFD per maximal
// ill-formed subpart, and every unpaired surrogate of UTF-16 becomes U+FFFD in UTF-8.
#ifndef SCRIVLET_TOOLS_UTF_H
#define SCRIVLET_TOOLS_UTF_H

#include <cstddef>
#include <string>

namespace scrivlet_tool {

// Appends the UTF-16 code units of the UTF-8 text [data, data + size) to out.
void Utf8ToUtf16(const char* data, std::size_t size, std::u16string& out);

// Appends the bytes of text as UTF-16LE to out.
void AppendUtf16Le(const std::u16string& text, std::string& out);

// Turns a stream of UTF-16LE bytes into UTF-8, a piece at a time: an odd byte or a high surrogate
// at the end of one piece waits for the next. Finish() flushes what is left as U+FFFD.
class Utf16LeDecoder {
  public:
    void Feed(const char* data, std::size_t size, std::string& out);
    void Finish(std::string& out);
    bool Pending() const { return m_hasByte || m_high != 0; }

  private:
    void Unit(char16_t unit, std::string& out);
    bool m_hasByte = false;
    unsigned char m_byte = 0;
    char16_t m_high = 0;
};

// UTF-8 of a UTF-16LE byte string, decoded whole.
std::string Utf16LeToUtf8(const char* data, std::size_t size);

}  // namespace scrivlet_tool

#endif  // SCRIVLET_TOOLS_UTF_H
