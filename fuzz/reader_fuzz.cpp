// The ring reader that `scrivlet cat` and `scrivlet verify` share, with arbitrary file contents:
// library lines (counter, header, footer), time stamps, UTF-16 decoding, torn tails, odd byte
// counts, records that look like library lines. The first byte chooses the hints and the
// encoding, the second the size of the pieces records are fed in; the rest is the file.
//
// Properties: the layout's parts lie in order within the file and every line it recognises ends
// in CR LF with a stamp that parses; records and library lines among them fed in pieces come out
// exactly as fed whole, each ending where the next begins; raw records and lines give back the
// bytes they came from; decoded text is well-formed UTF-8 and no record
// held back is longer than the limit; a time the command line could give parses back from its own
// text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "records.h"
#include "scrivlet/reading/layout.h"
#include "scrivlet/reading/times.h"
#include "scrivlet/reading/utf.h"

namespace {

using namespace scrivlet::tool;
using namespace scrivlet::reading;

// Whether text is well-formed UTF-8: each sequence encodes itself again (no overlong form, no
// stray or missing continuation byte) and no surrogate or value above U+10FFFF.
bool WellFormedUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        std::string again;
        AppendUtf8(c, again);
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || text.compare(i, length, again) != 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// A recognised library line lies within the file, ends in CR LF, and its stamp parses to its
// moment and back to itself.
void CheckLine(const LibraryLine& line, std::string_view file) {
    if (!line.present) return;
    FUZZ_CHECK(line.begin < line.end && line.end <= file.size());
    FUZZ_CHECK(file.substr(line.end - 4, 4) == std::string_view("\r\0\n\0", 4));
    Moment moment;
    FUZZ_CHECK(StampMoment(line.stamp, moment) && moment == line.moment);
    FUZZ_CHECK(MomentText(moment) == line.stamp);
}

std::vector<Record> Feed(Encoding encoding, std::string_view bytes, std::size_t piece,
                         std::size_t limit) {
    RecordReader reader(encoding, limit);
    std::vector<Record> records;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.Feed(bytes.substr(at, piece), 1, at, records);
    }
    reader.Finish(records);
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned int flags = data[0];
    const std::size_t piece = 1 + data[1] % 97;
    const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);

    const LayoutHints hints = {(flags & 1) != 0, (flags & 2) != 0 ? "Head" : "", (flags & 4) != 0,
                               (flags & 8) != 0 ? "End" : ""};
    const std::size_t window = std::min(file.size(), kLayoutWindow);
    const FileLayout layout =
        ParseLayout(file.substr(0, window), file.substr(file.size() - window), file.size(), hints);
    CheckLine(layout.counter, file);
    CheckLine(layout.header, file);
    CheckLine(layout.footer, file);
    // In order: counter line at 0, header behind it, records, footer at the end; a torn library
    // line leaves no records.
    FUZZ_CHECK(layout.size == file.size() && layout.records_end <= file.size());
    FUZZ_CHECK(!layout.counter.present || (layout.counter.begin == 0 && layout.counter_value != 0));
    FUZZ_CHECK(layout.records_begin == (layout.torn_line        ? file.size()
                                        : layout.header.present ? layout.header.end
                                                                : layout.counter.end));
    FUZZ_CHECK(!layout.header.present ||
               (layout.header.begin == layout.counter.end &&
                (!hints.header_given || layout.header.text == hints.header)));
    FUZZ_CHECK(layout.records_begin <= layout.records_end &&
               layout.records_end == (layout.footer.present ? layout.footer.begin : file.size()));
    FUZZ_CHECK(!layout.footer.present || layout.footer.end == file.size());

    // Records: in pieces as whole, bounded, and (raw) the very bytes.
    const Encoding encoding = (flags & 16) != 0 ? Encoding::kRaw : Encoding::kUtf16;
    const std::size_t limit = (flags & 32) != 0 ? 64 : std::size_t{1} << 20;
    const std::string_view records =
        file.substr(layout.records_begin, layout.records_end - layout.records_begin);
    const std::vector<Record> whole = Feed(encoding, records, records.size() + 1, limit);
    const std::vector<Record> pieces = Feed(encoding, records, piece, limit);
    FUZZ_CHECK(whole.size() == pieces.size());
    std::string joined;
    std::uint64_t end = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const Record& record = whole[i];
        FUZZ_CHECK(record.text == pieces[i].text && record.ended == pieces[i].ended &&
                   record.end == pieces[i].end && record.line.kind == pieces[i].line.kind);
        // Records and lines follow each other, each ending where the next begins.
        FUZZ_CHECK(record.end_file == 1 && record.end > end && record.end <= records.size());
        // A record ends at the first line end: none lies inside one (an empty line included).
        FUZZ_CHECK(record.text.find(encoding == Encoding::kRaw ? "\n" : "\r\n") ==
                   std::string::npos);
        if (record.line.kind != 0) {
            // A library line: its bytes as stored, and its text theirs.
            const LibraryLine& line = record.line.line;
            FUZZ_CHECK(line.begin == end && line.end == record.end);
            CheckLine(line, records);
            joined += records.substr(line.begin, line.end - line.begin);
        } else {
            FUZZ_CHECK(encoding == Encoding::kRaw ? record.text.size() <= limit
                                                  : WellFormedUtf8(record.text));
            joined += record.text + (record.ended ? "\n" : "");
        }
        end = record.end;
    }
    FUZZ_CHECK(encoding != Encoding::kRaw || joined == records);

    // Times: whatever parses comes back from its own text.
    Moment moment, again;
    std::string why;
    const std::string given(file.substr(0, 40));
    if (ParseMoment(given, 1700000000, moment, why) && given[0] != '-') {
        FUZZ_CHECK(ParseMoment(MomentText(moment), 0, again, why) && again == moment);
    }
    return 0;
}
