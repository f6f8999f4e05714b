// `scrivlet cat`: a ring's records on standard output, oldest file first, and with --follow the
// records written after that, across rotations and the wrap-around of the ring (like tail -F).
//
// Text mode prints records and library lines as UTF-8 with LF line ends; --raw prints the bytes
// as stored; --json prints one JSON object per record. --since and --until keep the records of a
// time range: whole files outside it are skipped by their first and last stamps; a record that
// starts with a time stamp of its own (`scrivlet write --stamp`) is kept by that stamp, any other
// by the time its file was open (from its first library line to its footer, or to the first
// library line of the file that follows it).
//
// The file is divided into the output, the time filter, the printer of one file, following, and
// the command itself.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "commands.h"
#include "records.h"
#include "scrivlet/format.h"
#include "scrivlet/reading/utf.h"
#include "signals.h"

namespace scrivlet::tool {
namespace {

// What is known of a file while its records are printed.
struct FileInfo {
    bool has_counter = false;
    std::uint32_t counter_value = 0;
    Moment lower = kEarliest;  // its records were written within [lower, upper]
    Moment upper = kLatest;
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

    void PrintRecord(const Record& record, const FileInfo& info) {
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
        PutJson(object);
    }

    void PrintLine(unsigned int file, const FileInfo& info, const LibraryLine& line,
                   unsigned int kind, const std::string& stored) {
        if (json_) {
            nlohmann::ordered_json object;
            object["file"] = file;
            if (info.has_counter) object["counter"] = info.counter_value;
            object["kind"] = KindName(kind);
            object["stamp"] = line.stamp;
            object["text"] = line.text;
            PutJson(object);
        } else if (raw_) {
            Put(stored);
        } else {
            std::string text = line.stamp + " " + LibraryLineText(line.text, kind);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            Put(text + "\n");
        }
    }

    void Flush() {
        if (!closed_ && std::fflush(stdout) != 0) Closed();
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
        failed_ = errno != EPIPE;
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
    // A record's own stamp, or else the time its file was open.
    bool Keeps(const std::string& text, const FileInfo& info) const {
        if (!active) return true;
        Moment moment;
        if (StartsWithStamp(text) && StampMoment(text, moment)) return Overlaps(moment, moment);
        return Overlaps(info.lower, info.upper);
    }
};

// Where printing stands in one file.
struct Cursor {
    unsigned int number = 0;
    std::string path;
    std::uint64_t consumed = 0;  // bytes of the file already printed or passed over
    FileState state;             // the file when last read
    std::string head;            // its first bytes then, to tell a replaced file
};

// Prints files: their library lines (with --lines) and their records, which may go on from one
// file into the next; reports each file that cannot be read once.
class Printer {
  public:
    Printer(const CatOptions& options, const TimeRange& range, Output& output)
        : options_(options),
          hints_(options.ring.Hints()),
          range_(range),
          output_(output),
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
        Remember(cursor.number, layout);
        cursor.head = file.Read(0, std::min<std::uint64_t>(layout.size, 64));
        Library(file, cursor, layout.counter, format::kCounterLine);
        Library(file, cursor, layout.header, format::kHeaderLine);
        const std::uint64_t from = std::max(cursor.consumed, layout.records_begin);
        for (std::uint64_t at = from; at < layout.records_end && !output_.closed();) {
            const std::uint64_t to = std::min<std::uint64_t>(layout.records_end, at + 65536);
            const std::string bytes = file.Read(at, to);
            if (bytes.empty()) break;
            records_.clear();
            reader_.Feed(bytes, cursor.number, records_);
            Print(records_);
            at += bytes.size();
            cursor.consumed = at;
        }
        Library(file, cursor, layout.footer, format::kFooterLine);
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

    // Sets the time bounds of a file's records.
    void Bound(unsigned int number, const Moment& lower, const Moment& upper) {
        bounds_[number] = {lower, upper};
    }

    // Prints the record that has begun and not ended (at the end of the output).
    void Finish() {
        records_.clear();
        reader_.Finish(records_);
        Print(records_);
    }

    bool had_problems() const { return !reported_.empty(); }

  private:
    void Remember(unsigned int number, const FileLayout& layout) {
        FileInfo& info = infos_[number];
        info.has_counter = layout.counter.present;
        info.counter_value = layout.counter_value;
        const auto bound = bounds_.find(number);
        if (bound != bounds_.end()) {
            info.lower = bound->second.first;
            info.upper = bound->second.second;
        } else if (layout.First() != nullptr) {
            info.lower = layout.First()->moment;
        }
    }

    void Print(const std::vector<Record>& records) {
        for (const Record& record : records) {
            const FileInfo& info = infos_[record.file];
            if (range_.Keeps(record.text, info)) output_.PrintRecord(record, info);
        }
    }

    void Library(const FileReader& file, Cursor& cursor, const LibraryLine& line,
                 unsigned int kind) {
        if (!line.present || cursor.consumed > line.begin) return;
        if (options_.lines && (!range_.active || range_.Overlaps(line.moment, line.moment))) {
            output_.PrintLine(cursor.number, infos_[cursor.number], line, kind,
                              file.Read(line.begin, line.end));
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
    RecordReader reader_;
    std::vector<Record> records_;
    std::map<unsigned int, FileInfo> infos_;
    std::map<unsigned int, std::pair<Moment, Moment>> bounds_;
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

// Whether the next file of the ring was written after the current one was begun: by their
// counter lines when both have one, else by their first time stamps, else by modification time.
// A file being replaced shows size 0 with its old modification time for a moment, so an empty
// current file is never older than the next one.
bool NextIsNewer(const std::string& current, const std::string& next, const LayoutHints& hints) {
    FileState current_state;
    FileState next_state;
    FileLayout current_layout;
    FileLayout next_layout;
    if (!ReadLayout(next, hints, next_state, next_layout) || next_state.size == 0) return false;
    if (!ReadLayout(current, hints, current_state, current_layout) || current_state.size == 0) {
        return false;
    }
    if (current_layout.counter.present && next_layout.counter.present) {
        return next_layout.counter_value == format::NextCounter(current_layout.counter_value);
    }
    const std::string current_stamp = current_layout.FirstStamp();
    const std::string next_stamp = next_layout.FirstStamp();
    if (!current_stamp.empty() && !next_stamp.empty() && current_stamp != next_stamp) {
        return next_stamp > current_stamp;
    }
    return next_state.mtime > current_state.mtime;
}

int Follow(const CatOptions& options, Printer& printer, Output& output, Cursor cursor) {
    const auto interval = std::chrono::duration<double>(options.interval);
    const RingPlace place = options.ring.Place();
    const LayoutHints hints = options.ring.Hints();
    const unsigned int count = options.ring.options.count;
    auto next_number = [count](unsigned int n) { return n < count ? n + 1 : 1; };
    // The next file as it was when the cursor entered the current one.
    std::string next_path = FilePath(place, next_number(cursor.number));
    FileState next_before = StatFile(next_path);
    bool next_already_newer = NextIsNewer(cursor.path, next_path, hints);
    while (StopSignal() == 0 && !output.closed()) {
        const FileState now = StatFile(cursor.path);
        if (Replaced(cursor, now)) cursor.consumed = 0;
        printer.Advance(cursor);
        output.Flush();
        const unsigned int next = next_number(cursor.number);
        if (next != cursor.number) {
            const FileState after = StatFile(next_path);
            const bool rewritten =
                after.readable() &&
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
    printer.Finish();
    output.Flush();
    return output.failed() || printer.had_problems() ? kExitFailure : kExitOk;
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
                      "\"stamp\":\"...\",\"text\":\"...\"} (counter and stamp where known; "
                      "\"ended\":false for a record cut short)");
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
    command->add_option("--interval", options.interval, "Seconds between looks when following")
        ->capture_default_str()
        ->check(CLI::Range(0.01, 60.0));
    return command;
}

int RunCat(const CatOptions& options) {
    InstallStopHandlers();
    TimeRange range;
    if (!ParseRange(options, range)) return kExitUsage;
    const RingPlace place = options.ring.Place();
    std::vector<RingFile> found = FindRingFiles(place, options.ring.Hints());
    Output output(options);
    Printer printer(options, range, output);
    std::vector<RingFile> files = found;
    OrderRingFiles(files);
    if (files.empty() && found.empty() && !options.follow) {
        std::cerr << "scrivlet cat: " << DescribeAbsence(place) << "\n";
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
    Moment lower = kEarliest;
    for (std::size_t i = 0; i < files.size() && !output.closed(); ++i) {
        const FileLayout& layout = files[i].layout;
        // Written from its first library line (or the end of the file before) to its footer
        // (or the start of the file after).
        if (layout.First() != nullptr) lower = layout.First()->moment;
        Moment upper = kLatest;
        if (layout.footer.present) {
            upper = layout.footer.moment;
        } else if (i + 1 < files.size() && files[i + 1].layout.First() != nullptr) {
            upper = files[i + 1].layout.First()->moment;
        }
        cursor = CursorFor(place, files[i].number);
        printer.Bound(files[i].number, lower, upper);
        if (printer.MayHold(files[i], lower, upper)) {
            printer.Advance(cursor);
        } else {
            cursor.consumed = layout.size;
            cursor.state = files[i].state;
        }
        if (upper != kLatest) lower = upper;
    }
    if (options.follow && !output.closed()) return Follow(options, printer, output, cursor);
    printer.Finish();
    output.Flush();
    return output.failed() || printer.had_problems() ? kExitFailure : kExitOk;
}

}  // namespace scrivlet::tool
