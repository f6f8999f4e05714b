// Recognising the library's lines in a file (see layout.h).
#include "layout.h"

#include "utf.h"

namespace scrivlet_tool {
namespace {

const std::size_t kStampChars = 24;
const std::size_t kLongestLineChars = kStampChars + 63 + 6;  // header or footer of 63 characters
const char kStampForm[] = "0000.00.00 00:00:00.000 ";        // '0' stands for any digit

// UTF-16 code units of a byte window that starts at an even offset.
class Units {
  public:
    explicit Units(const std::string& bytes) : m_bytes(bytes) {}
    std::size_t size() const { return m_bytes.size() / 2; }
    char16_t operator[](std::size_t i) const {
        return static_cast<char16_t>(static_cast<unsigned char>(m_bytes[2 * i]) |
                                     (static_cast<unsigned char>(m_bytes[2 * i + 1]) << 8));
    }

  private:
    const std::string& m_bytes;
};

bool MatchesStampForm(char16_t unit, std::size_t i) {
    return kStampForm[i] == '0' ? (unit >= u'0' && unit <= u'9') : unit == kStampForm[i];
}

// How many of the first units from p follow the stamp's form (up to 24).
std::size_t StampPrefix(const Units& units, std::size_t p) {
    std::size_t i = 0;
    while (i < kStampChars && p + i < units.size() && MatchesStampForm(units[p + i], i)) ++i;
    return i;
}

std::string Ascii(const Units& units, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) out.push_back(static_cast<char>(units[i]));
    return out;
}

std::string Text(const Units& units, std::size_t from, std::size_t to) {
    std::string bytes;
    for (std::size_t i = from; i < to; ++i) {
        bytes.push_back(static_cast<char>(units[i] & 0xFF));
        bytes.push_back(static_cast<char>(units[i] >> 8));
    }
    return Utf16LeToUtf8(bytes.data(), bytes.size());
}

enum class LineState { kNone, kTorn, kWhole };

// A library line starting at unit p whose text ends in " 1 <kind>": its end (behind CR LF) and
// its text. kTorn: the window ends inside what has the form of such a line.
LineState ReadLine(const Units& units, std::size_t p, char16_t kind, LibraryLine& line,
                   std::size_t& endUnit) {
    const std::size_t stamp = StampPrefix(units, p);
    if (stamp < kStampChars) {
        return (p + stamp == units.size() && stamp > 0) ? LineState::kTorn : LineState::kNone;
    }
    std::size_t q = p + kStampChars;
    while (q < units.size() && q - p < kLongestLineChars + 8 && units[q] != u'\r' &&
           units[q] != u'\n') {
        ++q;
    }
    if (q + 1 >= units.size())
        return q - p < kLongestLineChars + 8 ? LineState::kTorn : LineState::kNone;
    if (units[q] != u'\r' || units[q + 1] != u'\n') return LineState::kNone;
    // The text must end in " 1 <kind>".
    if (q - p < kStampChars + 4 || units[q - 4] != u' ' || units[q - 3] != u'1' ||
        units[q - 2] != u' ' || units[q - 1] != kind) {
        return LineState::kNone;
    }
    line.present = true;
    line.stamp = Ascii(units, p, p + kStampChars - 1);
    line.text = Text(units, p + kStampChars, q - 4);
    endUnit = q + 2;
    return LineState::kWhole;
}

bool ParseCounter(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number == 0 || number > 0xFFFFFFFFull) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

}  // namespace

const std::string& FileLayout::FirstStamp() const {
    if (counter.present) return counter.stamp;
    if (header.present) return header.stamp;
    return footer.stamp;
}

const std::string& FileLayout::LastStamp() const {
    if (footer.present) return footer.stamp;
    if (header.present) return header.stamp;
    return counter.stamp;
}

FileLayout ParseLayout(const std::string& head, const std::string& tail, std::uint64_t size,
                       const LayoutHints& hints) {
    FileLayout layout;
    layout.size = size;
    const Units top(head);
    std::size_t p = 0;

    LibraryLine line;
    std::size_t end = 0;
    LineState state = ReadLine(top, p, u'1', line, end);
    if (state == LineState::kWhole && ParseCounter(line.text, layout.counterValue)) {
        layout.counter = line;
        layout.counter.begin = 0;
        layout.counter.end = 2 * end;
        p = end;
    } else if (state == LineState::kTorn && head.size() == size) {
        layout.tornLine = true;
    }

    if (!layout.tornLine && (!hints.headerGiven || !hints.header.empty())) {
        line = LibraryLine();
        state = ReadLine(top, p, u'2', line, end);
        if (state == LineState::kWhole && (!hints.headerGiven || line.text == hints.header)) {
            layout.header = line;
            layout.header.begin = 2 * p;
            layout.header.end = 2 * end;
            p = end;
        } else if (state == LineState::kTorn && head.size() == size) {
            layout.tornLine = true;
        }
    }
    layout.recordsBegin = layout.tornLine ? size : 2 * p;
    layout.recordsEnd = size;

    // The footer ends the file: try every length a footer line can have, shortest first, within
    // the window at the end (which starts at an even offset when the file's size is even).
    if (!layout.tornLine && (!hints.footerGiven || !hints.footer.empty()) && size % 2 == 0) {
        const Units bottom(tail);
        for (std::size_t chars = kStampChars + 6; chars <= kLongestLineChars; ++chars) {
            if (chars > bottom.size() || 2 * chars > size - layout.recordsBegin) break;
            const std::size_t from = bottom.size() - chars;
            line = LibraryLine();
            if (ReadLine(bottom, from, u'3', line, end) == LineState::kWhole &&
                end == bottom.size() && (!hints.footerGiven || line.text == hints.footer)) {
                layout.footer = line;
                layout.footer.begin = size - 2 * chars;
                layout.footer.end = size;
                layout.recordsEnd = layout.footer.begin;
                break;
            }
        }
    }
    return layout;
}

}  // namespace scrivlet_tool
