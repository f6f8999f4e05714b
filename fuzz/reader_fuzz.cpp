// The ring reader that `scrivlet cat` and `scrivlet verify` share, with arbitrary file contents:
// library lines (counter, header, footer), time stamps, UTF-16 decoding, torn tails, odd byte
// counts, records that look like library lines. The first byte chooses the hints and the
// encoding, the second the size of the pieces records are fed in; the rest is the file.
//
// Properties: the layout's parts lie in order within the file and every line it recognises ends
// in CR LF with a stamp that parses; records fed in pieces come out exactly as fed whole; raw
// records give back the bytes they came from; decoded text is valid UTF-8 and no record held back
// is longer than the limit; a time the command line could give parses back from its own text.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "layout.h"
#include "records.h"
#include "times.h"

namespace {

using namespace scrivlet::tool;

bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead >= 0x80 && lead < 0xC2) return false;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

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
        reader.Feed(bytes.substr(at, piece), 1, records);
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

    LayoutHints hints;
    hints.header_given = (flags & 1) != 0;
    hints.header = (flags & 2) != 0 ? "Head" : "";
    hints.footer_given = (flags & 4) != 0;
    hints.footer = (flags & 8) != 0 ? "End" : "";
    const std::size_t window = std::min(file.size(), kLayoutWindow);
    const FileLayout layout =
        ParseLayout(file.substr(0, window), file.substr(file.size() - window), file.size(), hints);
    FUZZ_CHECK(layout.size == file.size());
    FUZZ_CHECK(layout.records_begin <= layout.records_end && layout.records_end <= file.size());
    CheckLine(layout.counter, file);
    CheckLine(layout.header, file);
    CheckLine(layout.footer, file);
    if (layout.counter.present) {
        FUZZ_CHECK(layout.counter.begin == 0 && layout.counter_value != 0);
    }
    if (layout.header.present) {
        FUZZ_CHECK(layout.header.begin == (layout.counter.present ? layout.counter.end : 0));
        FUZZ_CHECK(!hints.header_given || layout.header.text == hints.header);
    }
    if (layout.footer.present) {
        FUZZ_CHECK(layout.footer.end == file.size() && layout.footer.begin == layout.records_end);
        FUZZ_CHECK(layout.footer.begin >= layout.records_begin);
    }
    if (layout.torn_line) FUZZ_CHECK(layout.records_begin == file.size());

    // Records: in pieces as whole, bounded, and (raw) the very bytes.
    const Encoding encoding = (flags & 16) != 0 ? Encoding::kRaw : Encoding::kUtf16;
    const std::size_t limit = (flags & 32) != 0 ? 64 : std::size_t{1} << 20;
    const std::string_view records =
        file.substr(layout.records_begin, layout.records_end - layout.records_begin);
    const std::vector<Record> whole = Feed(encoding, records, records.size() + 1, limit);
    const std::vector<Record> pieces = Feed(encoding, records, piece, limit);
    FUZZ_CHECK(whole.size() == pieces.size());
    std::string joined;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        FUZZ_CHECK(whole[i].text == pieces[i].text && whole[i].ended == pieces[i].ended);
        if (encoding == Encoding::kRaw) {
            FUZZ_CHECK(whole[i].text.size() <= limit);
            joined += whole[i].text + (whole[i].ended ? "\n" : "");
        } else {
            FUZZ_CHECK(ValidUtf8(whole[i].text));
        }
    }
    if (encoding == Encoding::kRaw) FUZZ_CHECK(joined == records);

    // Times: whatever parses comes back from its own text.
    Moment moment;
    std::string why;
    const std::string given(file.substr(0, 40));
    if (ParseMoment(given, 1700000000, moment, why) && given[0] != '-') {
        Moment again;
        FUZZ_CHECK(ParseMoment(MomentText(moment), 0, again, why) && again == moment);
    }
    return 0;
}
