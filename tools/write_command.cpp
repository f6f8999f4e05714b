// `scrivlet write`: standard input into a ring, one record per line, every line durable.
//
// Group commit for a pipe: the command reads what the pipe holds (up to a bound) and hands every
// complete line it has to the ring at once, which writes them in as few write-through calls as
// the ring allows (one per group, a new one where a rotation falls, lines never split across
// files). The next read starts only once the ring has returned, so at most one group is ever not
// yet on the storage, and a line that arrives alone is written at once. A line longer than a file
// holds is written as several records. SIGINT and SIGTERM, and the end of the input, close the
// ring with its footer after every line read is on the storage.
//
// The file is divided into the progress line of a terminal, the reading of the pipe, and the
// command itself.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "scrivlet/datetime.h"
#include "scrivlet/format.h"
#include "signals.h"

namespace scrivlet::tool {
namespace {

using Clock = std::chrono::steady_clock;

// The most bytes one read takes from standard input, and the size the pipe is enlarged to (as far
// as the system allows): a burst waits in the pipe while the group before it is written.
const std::size_t kReadBound = std::size_t{1} << 20;
// The most bytes of input one group takes (what the pipe holds when it is read, and what comes
// in while it is read); the ring's groups hold them stored as UTF-16, twice as many bytes. Larger
// groups mean fewer write calls of more bytes each, which the storage takes faster.
const std::size_t kGroupBound = std::size_t{4} << 20;

void Report(const char* doing, const scrivlet::Error& error) {
    std::cerr << "scrivlet write: " << doing << " failed: " << error.message() << "\n";
}

// Lines per second, bytes per second and the current file on a terminal.
class Progress {
  public:
    explicit Progress(bool shown) : shown_(shown), start_(Clock::now()), last_(start_) {}

    // Redraws the line at most five times a second (and with final, once more and for good).
    void Show(const scrivlet::Ring& ring, std::uint64_t lines, bool final) {
        if (!shown_) return;
        const Clock::time_point now = Clock::now();
        if (!final && (now - start_ < std::chrono::milliseconds(500) ||
                       now - last_ < std::chrono::milliseconds(200))) {
            return;
        }
        if (final && !drawn_) return;
        const std::uint64_t bytes = ring.stats().bytes;
        // The rates since the last drawing; at the end, over the whole run.
        const double seconds =
            std::chrono::duration<double>(now - (final ? start_ : last_)).count();
        const double line_rate = (lines - (final ? 0 : lines_)) / (seconds > 0 ? seconds : 1);
        const double byte_rate = (bytes - (final ? 0 : bytes_)) / (seconds > 0 ? seconds : 1);
        const std::string file = ring.is_open() ? ring.path() : "-";
        std::fprintf(stderr, "\r\033[K%llu lines, %.0f lines/s, %.1f MB/s, file %s%s",
                     static_cast<unsigned long long>(lines), line_rate, byte_rate / 1e6,
                     file.c_str(), final ? "\n" : "");
        std::fflush(stderr);
        last_ = now;
        lines_ = lines;
        bytes_ = bytes;
        drawn_ = true;
    }

  private:
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_, last_;
    std::uint64_t lines_ = 0, bytes_ = 0;
};

// Enlarges the pipe on standard input to the read bound, as far as the system allows.
void EnlargePipe() {
    struct stat input;
    if (fstat(STDIN_FILENO, &input) != 0 || !S_ISFIFO(input.st_mode)) return;
    std::size_t size = kReadBound;
    std::ifstream limit("/proc/sys/fs/pipe-max-size");
    std::size_t most = 0;
    if (limit >> most && most < size) size = most;
    if (size > 0) fcntl(STDIN_FILENO, F_SETPIPE_SZ, static_cast<int>(size));
}

enum class ReadResult { kData, kEnd, kStopped, kError };

// Appends what standard input holds (at most the group bound) to input, waiting until it holds
// something, the input ends, or a stop signal comes.
ReadResult ReadSome(std::string& input) {
    for (;;) {
        if (StopSignal() != 0) return ReadResult::kStopped;
        // Wait with a time-out, so that a signal that comes just before the read is seen soon.
        struct pollfd wait = {STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&wait, 1, 200);
        if (ready < 0 && errno != EINTR) return ReadResult::kError;
        if (ready <= 0) continue;
        const std::size_t old_size = input.size();
        input.resize(old_size + kReadBound);
        ssize_t got = read(STDIN_FILENO, &input[old_size], kReadBound);
        std::size_t taken = got > 0 ? static_cast<std::size_t>(got) : 0;
        // A pipe that was full holds a burst: what follows it in the pipe already goes into the
        // same group, up to the bound.
        for (struct pollfd more = {STDIN_FILENO, POLLIN, 0};
             static_cast<std::size_t>(got) == kReadBound && taken < kGroupBound &&
             poll(&more, 1, 0) == 1 && (more.revents & POLLIN) != 0;) {
            input.resize(old_size + taken + kReadBound);
            got = read(STDIN_FILENO, &input[old_size + taken], kReadBound);
            if (got > 0) taken += static_cast<std::size_t>(got);
        }
        input.resize(old_size + taken);
        if (taken > 0) return ReadResult::kData;
        if (got == 0) return ReadResult::kEnd;
        if (errno != EINTR && errno != EAGAIN) return ReadResult::kError;
    }
}

// The library's own time stamp of this moment, its trailing blank included.
std::string Stamp() {
    TQ_WCHAR wide[format::kStampLength + 1] = {};
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), wide);
    std::string stamp;
    for (std::size_t i = 0; wide[i] != 0; ++i) stamp.push_back(static_cast<char>(wide[i]));
    return stamp;
}

// Writes the lines of the input into the ring: hands in the complete ones (with everything,
// the rest too, as the last line) and keeps what follows the last line end.
class LineWriter {
  public:
    LineWriter(scrivlet::Ring& ring, bool stamp) : ring_(ring), stamp_(stamp) {}

    bool Write(std::string& input, bool everything) {
        ends_.clear();
        for (std::size_t at = input.find('\n', scanned_); at != std::string::npos;
             at = input.find('\n', at + 1)) {
            ends_.push_back(at + 1);
        }
        if (everything && !input.empty() && (ends_.empty() || ends_.back() != input.size())) {
            ends_.push_back(input.size());
        }
        if (ends_.empty()) {
            scanned_ = input.size();
            return true;
        }
        // One stamp for the lines of one read: the moment they were taken from the pipe.
        const std::string stamp = stamp_ ? Stamp() : std::string();
        if (stamp_) {
            stamped_.clear();
            stamped_.reserve(input.size() + ends_.size() * stamp.size());
        }
        views_.clear();
        std::size_t begin = 0;
        for (std::size_t end : ends_) {
            if (stamp_) {
                stamped_ += stamp;
                stamped_.append(input, begin, end - begin);
            } else {
                views_.emplace_back(input.data() + begin, end - begin);
            }
            begin = end;
        }
        if (stamp_) {
            // Views into the finished buffer.
            std::size_t at = 0;
            begin = 0;
            for (std::size_t end : ends_) {
                views_.emplace_back(stamped_.data() + at, stamp.size() + end - begin);
                at += stamp.size() + end - begin;
                begin = end;
            }
        }
        const std::uint64_t records_before = ring_.stats().records;
        const std::size_t largest = ring_.largest_record();
        scrivlet::Error error;
        const bool ok = ring_.write(views_.data(), views_.size(), error);
        lines_ += views_.size();
        if (ok && !split_said_ && ring_.stats().records - records_before > views_.size()) {
            std::cerr << "scrivlet write: a line is longer than the largest record a file holds ("
                      << largest << " bytes); such lines are written as several records\n";
            split_said_ = true;
        }
        input.erase(0, ends_.back());
        scanned_ = input.size();
        if (!ok) Report("writing the lines", error);
        return ok;
    }

    std::uint64_t lines() const { return lines_; }

  private:
    scrivlet::Ring& ring_;
    bool stamp_;
    bool split_said_ = false;
    std::size_t scanned_ = 0;  // bytes of the input searched for a line end already
    std::uint64_t lines_ = 0;
    std::vector<std::size_t> ends_;
    std::vector<std::string_view> views_;
    std::string stamped_;
};

bool CloseRing(scrivlet::Ring& ring) {
    scrivlet::Error error;
    if (ring.close(error)) return true;
    Report("closing the ring", error);
    return false;
}

}  // namespace

CLI::App* AddWriteCommand(CLI::App& program, WriteOptions& options) {
    CLI::App* command = program.add_subcommand(
        "write",
        "Write each line of standard input as one record into a ring, every line on the storage "
        "before the next read of the input (all lines waiting in the pipe go out together). "
        "Records are UTF-16LE text ending in CR LF (invalid UTF-8 becomes U+FFFD) unless --raw. "
        "A line longer than a file holds becomes several records. A ring already in the folder "
        "is continued after its newest file, replacing nothing (--fresh starts at file 1). The "
        "ring is closed with its "
        "footer at the end of the input and on SIGINT or SIGTERM. On a terminal a progress line "
        "shows lines/s, bytes/s and the current file.");
    AddRingOptions(*command, options.ring);
    command->add_flag("--raw", options.raw,
                      "Write each line's bytes exactly as read, newline kept");
    command->add_flag("--stamp", options.stamp,
                      "Put the library's time stamp (the one in front of its own lines) in front "
                      "of each line, the moment the line was read");
    command->add_flag("--fresh", options.fresh,
                      "Start at file 1 with counter 1, replacing file 1, instead of continuing "
                      "the ring after its newest file");
    command->add_flag("-q,--quiet", options.quiet, "No progress line on a terminal");
    return command;
}

int RunWrite(const WriteOptions& given) {
    InstallStopHandlers();
    scrivlet::RingOptions options = given.ring.options;
    options.text = given.raw ? scrivlet::Text::raw : scrivlet::Text::utf16;
    options.split = true;
    options.resume = !given.fresh;
    options.group_bytes = 2 * kGroupBound;
    scrivlet::Ring ring;
    scrivlet::Error error;
    if (!ring.open(options, error)) {
        Report("opening the ring", error);
        return kExitFailure;
    }
    EnlargePipe();
    Progress progress(!given.quiet && isatty(STDERR_FILENO) == 1);
    LineWriter writer(ring, given.stamp);
    std::string input;
    ReadResult result = ReadResult::kData;
    while (result == ReadResult::kData) {
        result = ReadSome(input);
        // The last line without a line end, or what was read before a stop: nothing is dropped.
        if (!writer.Write(input, result != ReadResult::kData)) {
            CloseRing(ring);
            return kExitFailure;
        }
        progress.Show(ring, writer.lines(), false);
    }
    progress.Show(ring, writer.lines(), true);
    if (!CloseRing(ring)) return kExitFailure;
    if (result == ReadResult::kError) {
        std::perror("scrivlet write: reading standard input");
        return kExitFailure;
    }
    if (result == ReadResult::kStopped) return 128 + StopSignal();
    return kExitOk;
}

}  // namespace scrivlet::tool
