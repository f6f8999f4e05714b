// `scrivlet write`: standard input into a ring, one record per line, every line durable.
//
// Group commit for a pipe, with the next group read while the current one is written: the
// pipeline of pipe_writer.h stores the lines as the ring stores them into one group while the
// ring writes the other from its memory, in as few write-through calls as the ring allows (one
// per group, a new one where a rotation falls, lines never split across files). At most one group
// is being written and one is filling, so a kill or a power cut loses at most those two, and a
// line that arrives alone is written at once. A line longer than a file holds is written as
// several records. SIGINT and SIGTERM, and the end of the input, close the ring with its footer
// after every line read is on the storage.
//
// The file is divided into the progress line of a terminal and the command itself.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "commands.h"
#include "pipe_writer.h"
#include "scrivlet/host.h"

namespace scrivlet::tool {
namespace {

using Clock = std::chrono::steady_clock;

// The most bytes of a group as stored. A write-through call costs a fixed time plus its bytes at
// the storage's bandwidth, so groups must be large enough for the bytes to dominate; two of them
// are the bulk of the command's memory. Measured on ext4 over a virtual disk (bench/run prints
// the curve): see the README's pipe table.
const std::size_t kGroupBytes = std::size_t{2} << 20;

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

// The times of a run, one line on stderr.
void PrintTimes(const PipeWriter::Times& times, std::uint64_t lines, const scrivlet::Ring& ring) {
    const scrivlet::RingStats stats = ring.stats();
    const auto ms = [](std::uint64_t ns) { return static_cast<double>(ns) / 1e6; };
    const auto us = [](std::uint64_t ns, std::uint64_t n) {
        return n == 0 ? 0.0 : static_cast<double>(ns) / 1e3 / static_cast<double>(n);
    };
    std::fprintf(
        stderr,
        "scrivlet write: %llu lines, %llu bytes stored, %llu groups in %llu write calls; "
        "%.1f ms: writing %.1f ms, preparing %.1f ms, waiting for room %.1f ms; "
        "%llu groups written on arrival: %.1f us reading after the wait for input, "
        "%.1f us from the read to the write (storing the lines %.1f us), %.1f us writing\n",
        static_cast<unsigned long long>(lines), static_cast<unsigned long long>(stats.bytes),
        static_cast<unsigned long long>(times.groups),
        static_cast<unsigned long long>(stats.writes), ms(times.run), ms(times.writing),
        ms(times.preparing), ms(times.room), static_cast<unsigned long long>(times.at_once),
        us(times.at_once_reading, times.at_once), us(times.at_once_ready, times.at_once),
        us(times.at_once_storing, times.at_once), us(times.at_once_writing, times.at_once));
}

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
        "within two groups of its read: lines are read and prepared while the group before them "
        "is written (all lines waiting in the pipe go out together). "
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
    command->add_flag("--stats", options.stats,
                      "At the end, print to stderr where the time went: writing the groups, "
                      "preparing the lines, waiting for room, and the lines written on arrival");
    return command;
}

int RunWrite(const WriteOptions& given) {
    host::InstallStopHandlers();
    scrivlet::RingOptions options = given.ring.options;
    // The lines reach the ring as it stores them, prepared while the group before is written.
    options.text = given.raw ? scrivlet::Text::raw : scrivlet::Text::utf16_stored;
    options.split = true;
    options.resume = !given.fresh;
    scrivlet::Ring ring;
    scrivlet::Error error;
    if (!ring.open(options, error)) {
        Report("opening the ring", error);
        return kExitFailure;
    }
    Progress progress(!given.quiet && host::ErrorIsTerminal());
    PipeWriter::End end;
    std::uint64_t lines = 0;
    {
        PipeWriter writer(ring, given.raw ? scrivlet::Text::raw : scrivlet::Text::utf16,
                          given.stamp, kGroupBytes);
        end = writer.Run([&] { progress.Show(ring, writer.lines(), false); });
        lines = writer.lines();
        if (given.stats) PrintTimes(writer.times(), lines, ring);
    }
    progress.Show(ring, lines, true);
    if (!CloseRing(ring) || end == PipeWriter::End::kWriteError) return kExitFailure;
    if (end == PipeWriter::End::kReadError) {
        std::perror("scrivlet write: reading standard input");
        return kExitFailure;
    }
    if (end == PipeWriter::End::kStopped) return 128 + host::StopSignal();
    return kExitOk;
}

}  // namespace scrivlet::tool
