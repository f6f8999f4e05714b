// Cutting the bytes of a ring's files into records (see records.h).
#include "records.h"

#include <algorithm>

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

RecordReader::RecordReader(Encoding encoding, std::size_t limit, bool decode)
    : encoding_(encoding), limit_(limit < 8 ? 8 : limit & ~std::size_t{1}), decode_(decode) {}

bool RecordReader::PendingBegin(unsigned int file, std::uint64_t& begin) const {
    if (pending_.empty() || file != fed_file_ || file_ != fed_file_ ||
        fed_end_ - fed_begin_ < pending_.size()) {
        return false;
    }
    begin = fed_end_ - pending_.size();
    return true;
}

void RecordReader::Drop() {
    pending_.clear();
    scanned_ = 0;
    file_ = fed_file_;
}

void RecordReader::Emit(std::size_t length, std::size_t stored, bool ended,
                        std::vector<Record>& out) {
    Record record;
    record.file = file_;
    record.ended = ended;
    // Where it ends, when that is in the file fed last (pending_ may begin in one before).
    const std::size_t here =
        static_cast<std::size_t>(std::min<std::uint64_t>(pending_.size(), fed_end_ - fed_begin_));
    const std::size_t earlier = pending_.size() - here;
    if (stored > earlier) {
        record.end_file = fed_file_;
        record.end = fed_end_ - here + (stored - earlier);
    }
    const std::string_view bytes = std::string_view(pending_).substr(0, length);
    if (decode_)
        record.text = encoding_ == Encoding::kRaw ? std::string(bytes) : Utf16LeToUtf8(bytes);
    out.push_back(std::move(record));
    pending_.erase(0, stored);
    file_ = fed_file_;
}

bool RecordReader::TakeLine(std::size_t line_end, std::vector<Record>& out, bool& wait) {
    wait = false;
    // A library line lies within one file.
    std::uint64_t begin = 0;
    if (!PendingBegin(fed_file_, begin)) {
        wait = pending_.empty();
        return false;
    }
    const bool whole = line_end != std::string::npos;
    const reading::LineAt line = reading::LibraryLineAt(
        whole ? std::string_view(pending_).substr(0, line_end) : std::string_view(pending_),
        whole || pending_.size() >= limit_);
    if (line.kind == 0 || (whole && line.length != line_end)) {
        wait = line.more;
        return false;
    }
    Record record;
    record.ended = true;
    record.file = record.end_file = fed_file_;
    record.line = line;
    // Its text, for a reader that takes it as a record after all (it is not the library's).
    if (decode_)
        record.text = Utf16LeToUtf8(
            std::string_view(pending_).substr(0, line.length - RecordEnd(Encoding::kUtf16).size()));
    record.line.line.begin = begin;
    record.end = record.line.line.end = begin + line.length;
    out.push_back(std::move(record));
    pending_.erase(0, line.length);
    return true;
}

void RecordReader::Feed(std::string_view bytes, unsigned int file, std::uint64_t offset,
                        std::vector<Record>& out) {
    if (file != fed_file_ || offset != fed_end_) fed_begin_ = offset;
    fed_file_ = file;
    fed_end_ = offset;
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
        fed_end_ += take;
        bool wait = false;
        for (;;) {
            // Raw records: a library line (UTF-16LE) may start where a record does.
            if (raw && at == 0 && TakeLine(std::string::npos, out, wait)) continue;
            if (wait || at + end.size() > pending_.size()) break;
            if (pending_.compare(at, end.size(), end) != 0) {
                at += step;
                continue;
            }
            // A line end right behind another is an empty record: look again from the start.
            if (raw || !TakeLine(at + end.size(), out, wait)) Emit(at, at + end.size(), true, out);
            at = 0;
        }
        if (pending_.size() >= limit_ + end.size()) {
            // No line end starts within the limit (the room behind it holds a whole one): the
            // first piece goes out unended, without parting a surrogate pair.
            std::size_t cut = limit_;
            const auto high = static_cast<unsigned char>(pending_[cut - 1]);
            if (!raw && high >= 0xD8 && high <= 0xDB) cut -= 2;
            Emit(cut, cut, false, out);
            at = 0;
            continue;
        }
        if (rest.empty()) break;
    }
    scanned_ = at;
}

void RecordReader::Finish(std::vector<Record>& out) {
    if (!pending_.empty()) Emit(pending_.size(), pending_.size(), false, out);
    pending_.clear();
    scanned_ = 0;
}

std::vector<RunMark> FindRunMarks(const RingFile& file, const LayoutHints& hints,
                                  Encoding encoding) {
    std::vector<RunMark> marks;
    FileReader reader;
    std::string problem;
    if (!reader.Open(file.path, file.state, problem)) return marks;
    const FileLayout& layout = file.layout;
    RecordReader records(encoding, std::size_t{1} << 20, false);
    RunMarks runs(layout, hints);
    std::vector<Record> found;
    RunMark mark;  // the footer of the run before, when one was seen
    const std::size_t chunk = std::size_t{1} << 20;
    for (std::uint64_t at = layout.records_begin; at < layout.records_end;) {
        const std::string bytes =
            reader.Read(at, std::min<std::uint64_t>(layout.records_end, at + chunk));
        if (bytes.empty()) break;
        found.clear();
        records.Feed(bytes, file.number, at, found);
        at += bytes.size();
        for (const Record& record : found) {
            const RunMarks::Part part = runs.Take(record.line);
            const bool footer = part.library && record.line.kind == format::kFooterLine;
            if (footer) {
                mark.begin = record.line.line.begin;
                mark.closed = true;
                mark.closed_at = record.line.line.moment;
            }
            if (part.starts) {
                if (!mark.closed) mark.begin = record.line.line.begin;
                mark.moment = record.line.line.moment;
                marks.push_back(mark);
                mark = RunMark();
            } else if (!footer) {
                mark = RunMark();
            }
        }
    }
    return marks;
}

}  // namespace scrivlet::tool
