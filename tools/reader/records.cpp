// Cutting the bytes of a ring's files into records (see records.h).
#include "records.h"

#include "scrivlet/format.h"
#include "scrivlet/reading/utf.h"

namespace scrivlet::tool {

using reading::AppendUtf8;
using reading::Units;
using reading::Utf16LeToUtf8;
namespace {

// The line end of the format in UTF-16LE.
std::string TextEnd() {
    std::string end;
    for (char c : std::string_view(SCRIVLET_LINE_END)) {
        end.push_back(c);
        end.push_back('\0');
    }
    return end;
}

}  // namespace

std::string_view RecordEnd(Encoding encoding) {
    static const std::string text_end = TextEnd();
    // A raw record is a line as read: it ends where the line end does, in its last character.
    static const std::string raw_end(1, std::string_view(SCRIVLET_LINE_END).back());
    return encoding == Encoding::kRaw ? raw_end : text_end;
}

RecordReader::RecordReader(Encoding encoding, std::size_t limit)
    : encoding_(encoding), limit_(limit < 8 ? 8 : limit & ~std::size_t{1}) {}

void RecordReader::Emit(std::size_t length, bool ended, std::vector<Record>& out) {
    Record record;
    record.file = file_;
    record.ended = ended;
    const std::string_view bytes = std::string_view(pending_).substr(0, length);
    if (encoding_ == Encoding::kRaw) {
        record.text.assign(bytes);
    } else {
        record.text = Utf16LeToUtf8(bytes);
    }
    out.push_back(std::move(record));
}

void RecordReader::Feed(std::string_view bytes, unsigned int file, std::vector<Record>& out) {
    if (pending_.empty()) file_ = file;
    const bool raw = encoding_ == Encoding::kRaw;
    const std::string_view end = RecordEnd(encoding_);
    const std::size_t step = raw ? 1 : 2;  // line ends lie on whole characters
    std::size_t at = scanned_;
    std::string_view rest = bytes;
    for (;;) {
        // Take at most what completes the limit, so that pending_ stays bounded.
        const std::size_t room = limit_ + end.size() - pending_.size();
        const std::size_t take = rest.size() < room ? rest.size() : room;
        pending_.append(rest.substr(0, take));
        rest.remove_prefix(take);
        while (at + end.size() <= pending_.size()) {
            if (pending_.compare(at, end.size(), end) != 0) {
                at += step;
                continue;
            }
            // A line end right behind another is an empty record: look again from the start.
            Emit(at, true, out);
            pending_.erase(0, at + end.size());
            file_ = file;
            at = 0;
        }
        if (pending_.size() >= limit_ + end.size()) {
            // No line end starts within the limit (the room behind it holds a whole one): the
            // first piece goes out unended, without parting a surrogate pair.
            std::size_t cut = limit_;
            const auto high = static_cast<unsigned char>(pending_[cut - 1]);
            if (!raw && high >= 0xD8 && high <= 0xDB) cut -= 2;
            Emit(cut, false, out);
            pending_.erase(0, cut);
            file_ = file;
            at = 0;
            continue;
        }
        if (rest.empty()) break;
    }
    scanned_ = at;
}

void RecordReader::Finish(std::vector<Record>& out) {
    if (!pending_.empty()) Emit(pending_.size(), false, out);
    pending_.clear();
    scanned_ = 0;
}

}  // namespace scrivlet::tool
