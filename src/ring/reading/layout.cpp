// Recognising the library's lines in a file (see layout.h).
#include "scrivlet/reading/layout.h"

#include <algorithm>
#include <cstdio>

#include "scrivlet/format.h"
#include "scrivlet/logfile.h"
#include "scrivlet/reading/utf.h"

namespace scrivlet::reading {
namespace {

using format::kBytesPerChar;
using format::kStampLength;

// Characters of the longest header or footer line, and of the longest library line.
constexpr std::size_t kLongestTextLine = format::TextLineLength(TQCLogFile_1::LINETEXT_MAX_LENGTH);
constexpr std::size_t kLongestLine =
    std::max<std::size_t>(kLongestTextLine, format::kCounterLineMaxLength);
constexpr std::size_t kShortestTextLine = format::TextLineLength(0);

// A library line's text behind its stamp, from the library's formats.
std::string Formatted(std::string_view text, unsigned int counter, unsigned int kind) {
    char line[256];
    const std::string value(text);
    const int n = kind == format::kCounterLine
                      ? std::snprintf(line, sizeof line, SCRIVLET_COUNTER_LINE_FORMAT, counter,
                                      format::kLineFirstNumber, kind)
                      : std::snprintf(line, sizeof line, SCRIVLET_TEXT_LINE_FORMAT, value.c_str(),
                                      format::kLineFirstNumber, kind);
    return n > 0 && static_cast<std::size_t>(n) < sizeof line ? std::string(line, n) : "";
}

// The UTF-16 of a narrow text.
std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

enum class LineState { kNone, kTorn, kWhole };

// A library line of this kind starting at unit p: its end (behind CR LF) and its text. kTorn:
// the window ends inside what has the form of such a line.
LineState ReadLine(std::u16string_view units, std::size_t p, unsigned int kind, LibraryLine& line,
                   std::size_t& end_unit) {
    std::string stamp;
    for (std::size_t i = p; i < units.size() && i - p < kStampLength && units[i] < 0x80; ++i) {
        stamp.push_back(static_cast<char>(units[i]));
    }
    Moment moment;
    if (stamp.size() < kStampLength) {
        // The stamp's form up to the end of the window is a torn line.
        const bool prefix = !stamp.empty() && p + stamp.size() == units.size() &&
                            StampPrefix(stamp) == stamp.size();
        return prefix ? LineState::kTorn : LineState::kNone;
    }
    if (!StartsWithStamp(stamp) || !StampMoment(stamp, moment)) return LineState::kNone;
    // The line ends at the first LF within the longest line's length.
    const std::size_t limit = std::min(units.size(), p + kLongestLine);
    std::size_t q = p + kStampLength;
    while (q < limit && units[q] != u'\n') ++q;
    if (q == limit) return limit == units.size() ? LineState::kTorn : LineState::kNone;
    const std::u16string_view body = units.substr(p + kStampLength, q + 1 - p - kStampLength);
    // Behind the stamp: the text and the tail the library formats for this kind.
    const std::u16string tail = Widen(Formatted("", 0, kind)).substr(kind == format::kCounterLine);
    if (body.size() < tail.size() || body.substr(body.size() - tail.size()) != tail) {
        return LineState::kNone;
    }
    std::string text;
    AppendUtf8(body.substr(0, body.size() - tail.size()), text);
    line.present = true;
    line.stamp = stamp.substr(0, kStampLength - 1);
    line.moment = moment;
    line.text = text;
    end_unit = q + 1;
    return LineState::kWhole;
}

// The counter of a counter line's text: digits exactly as the library formats the value.
bool ParseCounter(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number == 0 || number > format::kCounterMax) return false;
    value = static_cast<std::uint32_t>(number);
    return LibraryLineText(text, format::kCounterLine) ==
           Formatted("", value, format::kCounterLine);
}

}  // namespace

const std::size_t kLayoutWindow =
    kBytesPerChar * (format::kCounterLineMaxLength + kLongestTextLine);

LineAt LibraryLineAt(std::string_view bytes, bool complete) {
    LineAt at;
    // A line of the library starts with a digit of its stamp.
    const bool digit = !bytes.empty() && bytes[0] >= '0' && bytes[0] <= '9';
    if (bytes.size() < kBytesPerChar || !digit || bytes[1] != '\0') {
        at.more = !complete && bytes.size() < kBytesPerChar && (bytes.empty() || digit);
        return at;
    }
    const std::u16string units = Units(bytes.substr(0, kBytesPerChar * kLongestLine));
    for (unsigned int kind : {format::kCounterLine, format::kHeaderLine, format::kFooterLine}) {
        LibraryLine line;
        std::size_t end = 0;
        const LineState state = ReadLine(units, 0, kind, line, end);
        if (state == LineState::kTorn && !complete && units.size() < kLongestLine) {
            at.more = true;
        } else if (state == LineState::kWhole &&
                   (kind != format::kCounterLine || ParseCounter(line.text, at.counter))) {
            at.kind = kind;
            at.length = kBytesPerChar * end;
            at.line = line;
            at.line.end = at.length;
            at.more = false;
            return at;
        }
    }
    return at;
}

RunMarks::RunMarks(const FileLayout& layout, const LayoutHints& hints) : hints_(hints) {
    Reopen(layout);
}

void RunMarks::Reopen(const FileLayout& layout) {
    counter_ = layout.counter.present;
    counter_value_ = layout.counter_value;
    header_ = layout.header.present;
    header_text_ = layout.header.text;
}

bool RunMarks::Matches(const LineAt& line, bool given, const std::string& text) const {
    return given ? !text.empty() && line.line.text == text : true;
}

RunMarks::Part RunMarks::Take(const LineAt& line) {
    Part part;
    const bool after_counter = after_counter_;
    after_counter_ = false;
    switch (line.kind) {
        case format::kCounterLine:
            // A run starts with the file's own counter value again.
            part.library = part.starts = counter_ && line.counter == counter_value_;
            after_counter_ = part.library;
            break;
        case format::kHeaderLine:
            // Behind the run's counter line, or alone where the file opens with no counter line.
            part.library = (counter_ ? after_counter : header_) &&
                           (header_ ? line.line.text == header_text_
                                    : Matches(line, hints_.header_given, hints_.header));
            part.starts = part.library && !counter_;
            break;
        case format::kFooterLine:
            // The footer of a run that closed cleanly; where no opening lines follow (a ring
            // without them), the next run begins right behind it.
            part.library = Matches(line, hints_.footer_given, hints_.footer);
            part.starts = part.library && !counter_ && !header_;
            break;
        default:
            break;
    }
    return part;
}

std::string LibraryLineText(std::string_view text, unsigned int kind) {
    if (kind != format::kCounterLine) return Formatted(text, 0, kind);
    const std::string tail = Formatted("", 0, kind).substr(1);
    return std::string(text) + tail;
}

const LibraryLine* FileLayout::First() const {
    for (const LibraryLine* line : {&counter, &header, &footer}) {
        if (line->present) return line;
    }
    return nullptr;
}

const LibraryLine* FileLayout::Last() const {
    for (const LibraryLine* line : {&footer, &header, &counter}) {
        if (line->present) return line;
    }
    return nullptr;
}

std::string FileLayout::FirstStamp() const { return First() ? First()->stamp : ""; }
std::string FileLayout::LastStamp() const { return Last() ? Last()->stamp : ""; }

FileLayout ParseLayout(std::string_view head, std::string_view tail, std::uint64_t size,
                       const LayoutHints& hints) {
    FileLayout layout;
    layout.size = size;
    const std::u16string top = Units(head);
    const bool whole = head.size() == size;  // the window holds the whole file
    std::size_t p = 0;

    LibraryLine line;
    std::size_t end = 0;
    LineState state = ReadLine(top, p, format::kCounterLine, line, end);
    if (state == LineState::kWhole && ParseCounter(line.text, layout.counter_value)) {
        layout.counter = line;
        layout.counter.end = kBytesPerChar * end;
        p = end;
    } else if (state == LineState::kTorn && whole) {
        layout.torn_line = true;
    }

    if (!layout.torn_line && (!hints.header_given || !hints.header.empty())) {
        line = LibraryLine();
        state = ReadLine(top, p, format::kHeaderLine, line, end);
        if (state == LineState::kWhole && (!hints.header_given || line.text == hints.header)) {
            layout.header = line;
            layout.header.begin = kBytesPerChar * p;
            layout.header.end = kBytesPerChar * end;
            p = end;
        } else if (state == LineState::kTorn && whole) {
            layout.torn_line = true;
        }
    }
    layout.records_begin = layout.torn_line ? size : kBytesPerChar * p;
    layout.records_end = size;

    // The footer ends the file: try every length a footer line can have, shortest first, within
    // the window at the end (raw records before it may leave it at an odd offset).
    if (!layout.torn_line && (!hints.footer_given || !hints.footer.empty())) {
        for (std::size_t chars = kShortestTextLine; chars <= kLongestTextLine; ++chars) {
            const std::size_t bytes = kBytesPerChar * chars;
            if (bytes > tail.size() || bytes > size - layout.records_begin) break;
            const std::u16string bottom = Units(tail.substr(tail.size() - bytes));
            line = LibraryLine();
            if (ReadLine(bottom, 0, format::kFooterLine, line, end) == LineState::kWhole &&
                end == bottom.size() && (!hints.footer_given || line.text == hints.footer)) {
                layout.footer = line;
                layout.footer.begin = size - bytes;
                layout.footer.end = size;
                layout.records_end = layout.footer.begin;
                break;
            }
        }
    }
    return layout;
}

}  // namespace scrivlet::reading
