// `scrivlet cat`: a ring's records on standard output, oldest file first, and with --follow the
// records written after that, across rotations and the wrap-around of the ring (like tail -F).
//
// Text mode prints records and library lines as UTF-8 with LF line ends; --raw prints the bytes
// as stored; --json prints one JSON object per record. --since and --until keep the records of a
// time range: whole files outside it are skipped by their first and last stamps; a record that
// starts with a time stamp of its own (`scrivlet write --stamp`) is kept by that stamp, any other
// by the time its run was open (from its file's first library line, or the run mark where a
// writer continued the file after a restart, to its footer, the next run mark, or the first
// library line of the file that follows it). Library lines among the records (run marks) are not
// records: --lines prints them as library lines.
//
// With --cursor-file, printing starts behind the record whose cursor the file holds, and the
// cursor of the last record printed goes back into the file (cursor.h), at least once a second
// and at the end, always after the records before it have left standard output.
//
// The file is divided into the output, the time filter, the cursor file, the printer of one
// file, following, where a cursor starts, and the command itself.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "commands.h"
#include "cursor.h"
#include "records.h"
#include "scrivlet/format.h"
#include "scrivlet/host.h"
#include "scrivlet/reading/utf.h"

namespace scrivlet::tool {
namespace {

using Clock = std::chrono::steady_clock;

// The time bounds of the records behind an offset of a file: one run of its writer.
struct Run {
    std::uint64_t from = 0;
    Moment lower = kEarliest;
    Moment upper = kLatest;
};

// What is known of a file while its records are printed.
struct FileInfo {
    bool has_counter = false;
    std::uint32_t counter_value = 0;
    std::string stamp;            // of its first library line
    std::string head;             // its first bytes (kHeadBytes at most), for cursors
    std::uint64_t head_hash = 0;  // of all of head
    std::vector<Run> runs;        // its records were written within these bounds
};

const char* KindName(unsigned int kind) {
    return kind == format::kCounterLine  ? "counter"
           : kind == format::kHeaderLine ? "header"
                                         : "footer";
}

// Standard output in text, raw or JSON form. A closed pipe ends the output quietly.
class Output {
  public:
    explicit Output(const CatOptions& options) : raw_(options.raw), json_(options.json) {}

    void PrintRecord(const Record& record, const FileInfo& info, const std::string& cursor) {
        if (!json_) {
            text_ = record.text;
            if (record.ended) text_.push_back('\n');
            Put(text_);
            return;
        }
        nlohmann::ordered_json object;
        object["file"] = record.file;
        if (info.has_counter) object["counter"] = info.counter_value;
        object["kind"] = "record";
        Moment moment;
        if (StartsWithStamp(record.text) && StampMoment(record.text, moment)) {
            object["stamp"] = MomentText(moment);
        }
        std::string_view text = record.text;
        if (raw_ && !text.empty() && text.back() == '\r') text.remove_suffix(1);
        object["text"] = text;
        if (!record.ended) object["ended"] = false;
        if (!cursor.empty()) object["cursor"] = cursor;
        PutJson(object);
    }

    // restart: the line is part of a run mark inside the file.
    void PrintLine(unsigned int file, const FileInfo& info, const LibraryLine& line,
                   unsigned int kind, const std::string& stored, bool restart) {
        if (json_) {
            nlohmann::ordered_json object;
            object["file"] = file;
            if (info.has_counter) object["counter"] = info.counter_value;
            object["kind"] = KindName(kind);
            object["stamp"] = line.stamp;
            object["text"] = line.text;
            if (restart) object["restart"] = true;
            PutJson(object);
        } else if (raw_) {
            Put(stored);
        } else {
            std::string text = line.stamp + " " + LibraryLineText(line.text, kind);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            Put(text + "\n");
        }
    }

    // True when everything printed so far has left the process.
    bool Flush() {
        if (!closed_ && std::fflush(stdout) != 0) Closed();
        return !closed_;
    }

    // Standard output can take no more (a closed pipe, or an error).
    bool closed() const { return closed_; }
    bool failed() const { return failed_; }

  private:
    void PutJson(const nlohmann::ordered_json& object) {
        Put(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
    }

    void Put(const std::string& bytes) {
        if (closed_ || bytes.empty()) return;
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) Closed();
    }

    void Closed() {
        closed_ = true;
        failed_ = !host::LastWriteFoundReaderGone();
    }

    bool raw_;
    bool json_;
    bool closed_ = false;
    bool failed_ = false;
    std::string text_;
};

// The time range of --since and --until.
struct TimeRange {
    Moment since = kEarliest;
    Moment until = kLatest;
    bool active = false;

    bool Overlaps(const Moment& lower, const Moment& upper) const {
        return !(upper < since || until < lower);
    }
    // A record's own stamp, or else the time its run was open.
    bool Keeps(const std::string& text, const Run& run) const {
        if (!active) return true;
        Moment moment;
        if (StartsWithStamp(text) && StampMoment(text, moment)) return Overlaps(moment, moment);
        return Overlaps(run.lower, run.upper);
    }
};

// The cursor file of --cursor-file: the cursor of the last record printed goes into it once what
// was printed before has left standard output, at least once a second while records are printed
// and at the end.
class CursorFile {
  public:
    CursorFile(const std::string& path, Output& output) : path_(path), output_(output) {}

    bool active() const { return !path_.empty(); }
    // The cursor of the record just printed.
    void Printed(const std::string& cursor) { latest_ = cursor; }
    // Saves the latest cursor when it is new and the last save is half a second old (or now).
    void Save(bool now) {
        if (!active() || failed_ || latest_ == saved_) return;
        if (!now && Clock::now() - saved_at_ < std::chrono::milliseconds(500)) return;
        if (!output_.Flush()) return;
        std::string why;
        if (!SaveCursorFile(path_, latest_, why)) {
            std::cerr << "scrivlet cat: saving the cursor: " << why << "\n";
            failed_ = true;
            return;
        }
        saved_ = latest_;
        saved_at_ = Clock::now();
    }
    bool failed() const { return failed_; }

  private:
    std::string path_;
    Output& output_;
    std::string latest_;
    std::string saved_;
    Clock::time_point saved_at_;
    bool failed_ = false;
};

// Where printing stands in one file.
struct Cursor {
    unsigned int number = 0;
    std::string path;
    std::uint64_t consumed = 0;  // bytes of the file already printed or passed over
    FileState state;             // the file when last read
    std::string head;            // its first bytes then, to tell a replaced file
    RunMarks marks;              // which lines among its records are the library's
};

// Prints files: their library lines (with --lines) and their records, which may go on from one
// file into the next; reports each file that cannot be read once.
class Printer {
  public:
    Printer(const CatOptions& options, const TimeRange& range, Output& output,
            CursorFile& cursor_file)
        : options_(options),
          hints_(options.ring.Hints()),
          range_(range),
          output_(output),
          cursor_file_(cursor_file),
          ring_(RingIdentity(options.ring.Place())),
          reader_(options.raw ? Encoding::kRaw : Encoding::kUtf16) {}

    // Prints what the file holds behind the cursor.
    void Advance(Cursor& cursor) {
        FileLayout layout;
        if (!ReadLayout(cursor.path, hints_, cursor.state, layout)) {
            if (cursor.state.exists) Problem(cursor.path, cursor.state.problem);
            return;
        }
        FileReader file;
        std::string problem;
        if (!file.Open(cursor.path, cursor.state, problem)) {
            Problem(cursor.path, problem);
            return;
        }
        if (cursor.consumed == 0) cursor.marks = RunMarks(layout, hints_);
        cursor.marks.Reopen(layout);
        Remember(cursor, layout, file);
        Library(file, cursor, layout.counter, format::kCounterLine);
        Library(file, cursor, layout.header, format::kHeaderLine);
        const std::uint64_t from = std::max(cursor.consumed, layout.records_begin);
        for (std::uint64_t at = from; at < layout.records_end && !output_.closed();) {
            const std::uint64_t to = std::min<std::uint64_t>(layout.records_end, at + 65536);
            const std::string bytes = file.Read(at, to);
            if (bytes.empty()) break;
            // Read before the check: bytes that follow a record the writer dropped are not taken.
            if (Dropped(file, cursor)) {
                at = cursor.consumed;
                continue;
            }
            records_.clear();
            reader_.Feed(bytes, cursor.number, at, records_);
            Print(records_, &file, &cursor);
            at += bytes.size();
            cursor.consumed = at;
        }
        Library(file, cursor, layout.footer, format::kFooterLine);
    }

    // A record the file's writer dropped: the bytes behind the file's last line end that were
    // taken while the record was unfinished are not what the file holds there now (a writer that
    // continued the file cut them off before its run mark). They are forgotten and read again.
    void Recheck(Cursor& cursor) {
        FileReader file;
        std::string problem;
        const FileState now = StatFile(cursor.path);
        if (file.Open(cursor.path, now, problem) && now.inode == cursor.state.inode) {
            Dropped(file, cursor);
        }
    }

    // Whether the file's records may lie in the time range: its first record's own stamp counts
    // as well as its library lines.
    bool MayHold(const RingFile& file, const Moment& lower, const Moment& upper) {
        if (!range_.active) return true;
        Moment first = lower;
        FileReader reader;
        std::string problem;
        if (reader.Open(file.path, file.state, problem)) {
            const std::size_t stamp =
                format::kStampLength * (options_.raw ? 1 : format::kBytesPerChar);
            std::string text =
                reader.Read(file.layout.records_begin, file.layout.records_begin + stamp);
            if (!options_.raw) text = Utf16LeToUtf8(text);
            Moment own;
            if (StartsWithStamp(text) && StampMoment(text, own) && own < first) first = own;
        }
        return range_.Overlaps(first, upper);
    }

    // Sets the time bounds of a file's records: from lower to upper, divided by the run marks
    // inside it when a time range asks for them.
    void Bound(const RingFile& file, const Moment& lower, const Moment& upper) {
        std::vector<Run>& runs = bounds_[file.number];
        runs.assign(1, Run{0, lower, upper});
        if (!range_.active) return;
        const Encoding encoding = options_.raw ? Encoding::kRaw : Encoding::kUtf16;
        for (const RunMark& mark : FindRunMarks(file, hints_, encoding)) {
            runs.back().upper = mark.closed ? mark.closed_at : mark.moment;
            runs.push_back(Run{mark.begin, mark.moment, upper});
        }
    }

    // Prints the record that has begun and not ended (at the end of the output), unless it may
    // still be going on (while following, a writer may yet end it or drop it).
    void Finish(bool following) {
        records_.clear();
        reader_.Finish(records_);
        if (!following) Print(records_, nullptr, nullptr);
    }

    bool had_problems() const { return !reported_.empty(); }

  private:
    // Whether the record begun in the file is gone from it (see Recheck): then it is forgotten
    // and the cursor stands where it began.
    bool Dropped(const FileReader& file, Cursor& cursor) {
        std::uint64_t begin = 0;
        if (!reader_.PendingBegin(cursor.number, begin) ||
            begin + reader_.PendingBytes().size() != cursor.consumed ||
            file.Read(begin, cursor.consumed) == reader_.PendingBytes()) {
            return false;
        }
        reader_.Drop();
        cursor.consumed = begin;
        return true;
    }

    void Remember(Cursor& cursor, const FileLayout& layout, const FileReader& file) {
        FileInfo& info = infos_[cursor.number];
        info.has_counter = layout.counter.present;
        info.counter_value = layout.counter_value;
        info.stamp = layout.FirstStamp();
        if (info.head.size() < kHeadBytes || cursor.consumed == 0) {
            info.head = file.Read(0, std::min<std::uint64_t>(layout.size, kHeadBytes));
            info.head_hash = HeadHash(info.head);
        }
        cursor.head = info.head.substr(0, 64);
        if (!info.runs.empty() && cursor.consumed > 0) return;
        const auto bound = bounds_.find(cursor.number);
        if (bound != bounds_.end()) {
            info.runs = bound->second;
        } else {
            info.runs.assign(1, Run());
            if (layout.First() != nullptr) info.runs[0].lower = layout.First()->moment;
        }
    }

    // The cursor behind a record that ended in a file.
    std::string CursorOf(const Record& record, const FileInfo& info) const {
        if (!record.ended || record.end_file == 0) return "";
        Position position;
        position.ring = ring_;
        position.file = record.end_file;
        position.counter = info.has_counter ? info.counter_value : 0;
        position.stamp = info.stamp;
        position.head_length =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(record.end, info.head.size()));
        position.head_hash =
            position.head_length == info.head.size()
                ? info.head_hash
                : HeadHash(std::string_view(info.head).substr(0, position.head_length));
        position.offset = record.end;
        return CursorText(position);
    }

    // The run of a file that a record ending at offset belongs to.
    static const Run& RunAt(const FileInfo& info, std::uint64_t offset) {
        std::size_t i = info.runs.size() - 1;
        while (i > 0 && info.runs[i].from >= offset) --i;
        return info.runs[i];
    }

    void Print(const std::vector<Record>& records, const FileReader* file, Cursor* cursor) {
        for (const Record& record : records) {
            if (cursor != nullptr) {
                const RunMarks::Part part = cursor->marks.Take(record.line);
                if (part.library) {
                    Marked(*file, *cursor, record.line, part.starts);
                    continue;
                }
            }
            FileInfo& info = infos_[record.file];
            if (info.runs.empty()) info.runs.assign(1, Run());
            const FileInfo& ending = infos_[record.end_file];
            const Run& run =
                record.end_file == record.file ? RunAt(info, record.end) : info.runs[0];
            if (!range_.Keeps(record.text, run)) continue;
            const std::string cursor_text =
                options_.json || cursor_file_.active() ? CursorOf(record, ending) : "";
            output_.PrintRecord(record, info, cursor_text);
            if (!cursor_text.empty()) cursor_file_.Printed(cursor_text);
        }
        cursor_file_.Save(false);
    }

    // A library line of a run mark inside the file.
    void Marked(const FileReader& file, const Cursor& cursor, const LineAt& line, bool starts) {
        FileInfo& info = infos_[cursor.number];
        if (starts && range_.active && info.runs.back().from < line.line.begin) {
            // A run begun since the file's runs were found.
            info.runs.push_back(Run{line.line.begin, line.line.moment, info.runs.back().upper});
        }
        if (options_.lines &&
            (!range_.active || range_.Overlaps(line.line.moment, line.line.moment))) {
            output_.PrintLine(cursor.number, info, line.line, line.kind,
                              file.Read(line.line.begin, line.line.end), true);
        }
    }

    void Library(const FileReader& file, Cursor& cursor, const LibraryLine& line,
                 unsigned int kind) {
        if (!line.present || cursor.consumed > line.begin) return;
        if (options_.lines && (!range_.active || range_.Overlaps(line.moment, line.moment))) {
            output_.PrintLine(cursor.number, infos_[cursor.number], line, kind,
                              file.Read(line.begin, line.end), false);
        }
        cursor.consumed = line.end;
    }

    void Problem(const std::string& path, const std::string& problem) {
        if (!reported_.insert(path).second) return;
        std::cerr << "scrivlet cat: skipping " << path << ": " << problem << "\n";
    }

    const CatOptions& options_;
    const LayoutHints hints_;
    const TimeRange& range_;
    Output& output_;
    CursorFile& cursor_file_;
    const std::uint32_t ring_;
    RecordReader reader_;
    std::vector<Record> records_;
    std::map<unsigned int, FileInfo> infos_;
    std::map<unsigned int, std::vector<Run>> bounds_;
    std::set<std::string> reported_;
};

Cursor CursorFor(const RingPlace& place, unsigned int number) {
    Cursor cursor;
    cursor.number = number;
    cursor.path = FilePath(place, number);
    return cursor;
}

// Whether the file was replaced since the cursor last read it.
bool Replaced(const Cursor& cursor, const FileState& now) {
    if (!now.readable()) return false;
    if (now.inode != cursor.state.inode || now.device != cursor.state.device) return true;
    if (now.size < cursor.consumed) return true;
    FileReader file;
    std::string problem;
    if (!file.Open(cursor.path, now, problem)) return false;
    return file.Read(0, std::min<std::uint64_t>(now.size, cursor.head.size())) != cursor.head;
}

// What the order of files needs of a file.
FileFacts FactsOf(unsigned int number, const FileState& state, const FileLayout& layout) {
    FileFacts facts;
    facts.number = number;
    facts.size = state.size;
    facts.mtime = state.mtime;
    facts.counter = layout.counter.present;
    facts.counter_value = layout.counter_value;
    facts.first_stamp = layout.FirstStamp();
    return facts;
}

// Whether the next file of the ring was written after the current one was begun, in the ring's
// order of files. A file being replaced shows size 0 with its old modification time for a
// moment, so an empty file is never newer than the one before it.
bool NextIsNewer(const std::string& current, const std::string& next, const LayoutHints& hints) {
    FileState current_state;
    FileState next_state;
    FileLayout current_layout;
    FileLayout next_layout;
    if (!ReadLayout(next, hints, next_state, next_layout) || next_state.size == 0) return false;
    if (!ReadLayout(current, hints, current_state, current_layout) || current_state.size == 0) {
        return false;
    }
    // Two consecutive counters follow each other here; elsewhere in the ring they may not.
    const std::vector<FileFacts> facts = {FactsOf(1, current_state, current_layout),
                                          FactsOf(2, next_state, next_layout)};
    if (facts[0].counter && facts[1].counter &&
        facts[1].counter_value != format::NextCounter(facts[0].counter_value) &&
        facts[1].counter_value != 1) {
        return false;
    }
    std::vector<std::size_t> order;
    OrderOldestFirst(facts, order);
    return order[0] == 0;
}

int Follow(const CatOptions& options, Printer& printer, Output& output, CursorFile& cursor_file,
           Cursor cursor) {
    const auto interval = std::chrono::duration<double>(options.interval);
    const RingPlace place = options.ring.Place();
    const LayoutHints hints = options.ring.Hints();
    const unsigned int count = options.ring.options.count;
    auto next_number = [count](unsigned int n) { return n < count ? n + 1 : 1; };
    // The next file as it was when the cursor entered the current one.
    std::string next_path = FilePath(place, next_number(cursor.number));
    FileState next_before = StatFile(next_path);
    bool next_already_newer = NextIsNewer(cursor.path, next_path, hints);
    while (host::StopSignal() == 0 && !output.closed() && !cursor_file.failed()) {
        printer.Recheck(cursor);
        const FileState now = StatFile(cursor.path);
        if (Replaced(cursor, now)) cursor.consumed = 0;
        printer.Advance(cursor);
        output.Flush();
        cursor_file.Save(false);
        const unsigned int next = next_number(cursor.number);
        if (next != cursor.number) {
            const FileState after = StatFile(next_path);
            // An empty next file may be a rotation that a kill cut short: the writer that
            // continues the ring goes on in the current file then.
            const bool rewritten =
                after.readable() && after.size > 0 &&
                (!next_before.readable() || after.inode != next_before.inode ||
                 after.mtime != next_before.mtime || after.size != next_before.size);
            if (next_already_newer || rewritten) {
                printer.Advance(cursor);  // what was written before the switch
                cursor = CursorFor(place, next);
                next_path = FilePath(place, next_number(next));
                next_before = StatFile(next_path);
                next_already_newer = NextIsNewer(cursor.path, next_path, hints);
                continue;
            }
        }
        std::this_thread::sleep_for(interval);
    }
    printer.Finish(true);
    output.Flush();
    cursor_file.Save(true);
    return output.failed() || printer.had_problems() || cursor_file.failed() ? kExitFailure
                                                                             : kExitOk;
}

// Where printing starts after a cursor: the position in files (ordered oldest first) and the
// offset in that file. A cursor whose file is still there starts behind its record; one whose file
// has been replaced starts with the first file after it in the ring's order, said on stderr
// with the number of files replaced in between. False, with the reason in why, for a cursor of
// another ring or one that does not fit its file.
bool StartAfter(const Position& start, const std::vector<RingFile>& files, unsigned int count,
                bool raw, std::size_t& first, std::uint64_t& offset, std::string& why) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        const RingFile& file = files[i];
        if (file.number != start.file) continue;
        FileReader reader;
        if (!reader.Open(file.path, file.state, why)) return false;
        if (HeadHash(reader.Read(0, start.head_length)) != start.head_hash) break;
        const std::string_view end = RecordEnd(raw ? Encoding::kRaw : Encoding::kUtf16);
        const bool fits =
            start.offset <= file.layout.records_end && start.offset >= file.layout.records_begin &&
            (start.offset == file.layout.records_begin ||
             reader.Read(start.offset - std::min<std::uint64_t>(start.offset, end.size()),
                         start.offset) == end);
        if (!fits) {
            why = "the cursor does not fit file " + NumberText(file.number) + " (it stands at " +
                  std::to_string(start.offset) + " of its " + std::to_string(file.state.size) +
                  " bytes, not behind a record)";
            return false;
        }
        first = i;
        offset = start.offset;
        return true;
    }
    // The cursor's file has been replaced: it goes where the ring's order puts it.
    std::vector<FileFacts> facts;
    for (const RingFile& file : files)
        facts.push_back(FactsOf(file.number, file.state, file.layout));
    FileFacts gone;
    gone.number = start.file;
    gone.size = 1;
    gone.counter = start.counter != 0;
    gone.counter_value = start.counter;
    gone.first_stamp = start.stamp;
    facts.push_back(gone);
    std::vector<std::size_t> order;
    OrderOldestFirst(facts, order);
    first = 0;
    while (first < order.size() && order[first] != files.size()) ++first;
    offset = 0;
    if (files.empty()) return true;
    const auto described = [](unsigned int number, bool has, std::uint32_t counter) {
        return "file " + NumberText(number) +
               (has ? " (counter " + std::to_string(counter) + ")" : std::string());
    };
    std::string said = "the cursor's " + described(start.file, start.counter != 0, start.counter) +
                       " has been replaced";
    if (first < files.size()) {
        const RingFile& next = files[first];
        const std::uint32_t apart = next.layout.counter_value - start.counter;
        const bool counted =
            start.counter != 0 && next.layout.counter.present && apart >= 1 && apart <= 0x7FFFFFFFu;
        const unsigned int turn = (next.number + count - start.file) % count;
        const unsigned int between = counted ? apart - 1 : turn == 0 ? 0 : turn - 1;
        said += std::string(first == 0 ? "; the ring has wrapped past it: " : "; ") +
                (counted ? "" : "at least ") + std::to_string(between) +
                " file(s) written after it were replaced before they were read; going on with " +
                (first == 0 ? "the oldest record still there, in " : "") +
                described(next.number, next.layout.counter.present, next.layout.counter_value);
    }
    std::cerr << "scrivlet cat: " << said << "\n";
    return true;
}

bool ParseRange(const CatOptions& options, TimeRange& range) {
    const std::time_t now = std::time(nullptr);
    std::string why;
    for (auto [given, target, name] : {std::make_tuple(&options.since, &range.since, "--since"),
                                       std::make_tuple(&options.until, &range.until, "--until")}) {
        if (given->empty()) continue;
        if (!ParseMoment(*given, now, *target, why)) {
            std::cerr << "scrivlet cat: " << name << " " << *given << ": " << why << "\n";
            return false;
        }
        range.active = true;
    }
    return true;
}

}  // namespace

CLI::App* AddCatCommand(CLI::App& program, CatOptions& options) {
    CLI::App* command = program.add_subcommand(
        "cat",
        "Print a ring's records as UTF-8, oldest file first (ordered by counter lines, else by "
        "first time stamp, else by modification time). Files that are not regular files, or "
        "cannot be read, are skipped and named on stderr (exit status 1).");
    AddRingOptions(*command, options.ring);
    command->add_flag("-l,--lines", options.lines,
                      "Also print the library's counter, header and footer lines");
    command->add_flag("--raw", options.raw,
                      "Records are raw bytes ending in LF (scrivlet write --raw): print them as "
                      "stored");
    command->add_flag("--json", options.json,
                      "One JSON object per record: {\"file\":2,\"counter\":19,\"kind\":\"record\","
                      "\"stamp\":\"...\",\"text\":\"...\",\"cursor\":\"...\"} (counter and stamp "
                      "where known; \"ended\":false for a record cut short; cursor: where the "
                      "record ends, for --cursor-file)");
    command->add_option("--since", options.since,
                        "Only records written at or after this time: \"2026-12-05 19:47\", "
                        "\"2026-12-05T19:47:48.123\", or relative: \"-10m\", \"-2h\" (s, m, h, d). "
                        "A record that starts with a time stamp (write --stamp) is taken by its "
                        "stamp; any other by the time its file was open, from its first library "
                        "line to its footer or the next file's first line (so a ring without "
                        "counter, header or footer lines cannot be cut by time)");
    command->add_option("--until", options.until,
                        "Only records written at or before this time (the same forms)");
    command->add_flag("-f,--follow", options.follow,
                      "Keep printing records as they are written, across rotations and the "
                      "wrap-around of the ring, until SIGINT or SIGTERM");
    command->add_option(
        "--cursor-file", options.cursor_file,
        "Start behind the record whose cursor FILE holds (from the oldest record when FILE does "
        "not exist or is empty; from the oldest record still there, said on stderr, when the "
        "ring has replaced the cursor's file since), and keep the cursor of the last record "
        "printed in FILE: written, synced and renamed into place at least once a second while "
        "records are printed, and at the end (also on SIGINT and SIGTERM). A shipper killed at "
        "any moment and started again loses no record and prints again only those printed "
        "after the last save. With --json every record carries its cursor");
    command->add_option("--interval", options.interval, "Seconds between looks when following")
        ->capture_default_str()
        ->check(CLI::Range(0.01, 60.0));
    return command;
}

int RunCat(const CatOptions& options) {
    host::InstallStopHandlers();
    TimeRange range;
    if (!ParseRange(options, range)) return kExitUsage;
    const RingPlace place = options.ring.Place();
    Position start;
    bool resume = false;
    if (!options.cursor_file.empty()) {
        std::string why;
        if (!LoadCursorFile(options.cursor_file, resume, start, why)) {
            std::cerr << "scrivlet cat: --cursor-file " << options.cursor_file << ": " << why
                      << "\n";
            return kExitFailure;
        }
        if (resume && start.ring != RingIdentity(place)) {
            std::cerr << "scrivlet cat: --cursor-file " << options.cursor_file
                      << ": the cursor is one of another ring, not of " << NamePattern(place)
                      << " (or the ring's folder has moved); remove the file to start with "
                         "the oldest record\n";
            return kExitFailure;
        }
    }
    std::vector<RingFile> found = FindRingFiles(place, options.ring.Hints());
    Output output(options);
    CursorFile cursor_file(options.cursor_file, output);
    Printer printer(options, range, output, cursor_file);
    std::vector<RingFile> files = found;
    OrderRingFiles(files);
    // Empty files come last and hold nothing; following goes on from the newest file with
    // something in it (an empty one may be a rotation that a kill cut short).
    while (files.size() > 1 && files.back().state.size == 0 && files.front().state.size > 0) {
        files.pop_back();
    }
    if (files.empty() && found.empty() && !options.follow) {
        std::cerr << "scrivlet cat: " << DescribeAbsence(place) << "\n";
        return kExitFailure;
    }
    std::size_t first = 0;
    std::uint64_t offset = 0;
    std::string why;
    if (resume &&
        !StartAfter(start, files, options.ring.options.count, options.raw, first, offset, why)) {
        std::cerr << "scrivlet cat: --cursor-file " << options.cursor_file << ": " << why << "\n";
        return kExitFailure;
    }
    // The files that cannot be read are named first.
    for (const RingFile& file : found) {
        if (!file.state.readable()) {
            Cursor cursor = CursorFor(place, file.number);
            printer.Advance(cursor);
        }
    }
    Cursor cursor = CursorFor(place, 1);
    if (resume && first == files.size() && !files.empty()) {
        // Nothing after the cursor yet: following goes on from the newest file's end.
        cursor = CursorFor(place, files.back().number);
        cursor.consumed = files.back().state.size;
        cursor.state = files.back().state;
    }
    Moment lower = kEarliest;
    for (std::size_t i = 0; i < files.size() && !output.closed(); ++i) {
        const FileLayout& layout = files[i].layout;
        // Written from its first library line (or the end of the file before) to its footer
        // (or the start of the file after).
        if (layout.First() != nullptr) lower = layout.First()->moment;
        const Moment from = lower;
        Moment upper = kLatest;
        if (layout.footer.present) {
            upper = layout.footer.moment;
        } else if (i + 1 < files.size() && files[i + 1].layout.First() != nullptr) {
            upper = files[i + 1].layout.First()->moment;
        }
        if (upper != kLatest) lower = upper;
        if (i < first) continue;
        cursor = CursorFor(place, files[i].number);
        cursor.consumed = i == first ? offset : 0;
        printer.Bound(files[i], from, upper);
        if (printer.MayHold(files[i], from, upper)) {
            printer.Advance(cursor);
        } else {
            cursor.consumed = layout.size;
            cursor.state = files[i].state;
        }
    }
    if (options.follow && !output.closed()) {
        return Follow(options, printer, output, cursor_file, cursor);
    }
    printer.Finish(false);
    output.Flush();
    cursor_file.Save(true);
    return output.failed() || printer.had_problems() || cursor_file.failed() ? kExitFailure
                                                                             : kExitOk;
}

}  // namespace scrivlet::tool
