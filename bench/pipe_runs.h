// The runs of the pipe command (case_pipe.cpp): a pipe logger started with its standard input a
// new pipe, fed a burst, a few idle lines or a trickle, and what it cost: its time, its write
// calls (syscw in /proc/PID/io, read before it is reaped), its peak resident memory (VmHWM in
// /proc/PID/status, the high-water mark of its own image, watched while it runs) and what it said
// on stderr; and the storage's durable write speed by write size.
#ifndef SCRIVLET_BENCH_PIPE_RUNS_H
#define SCRIVLET_BENCH_PIPE_RUNS_H

#include <cstdint>
#include <string>
#include <vector>

#include "measure.h"

namespace scrivlet::bench {

struct LoggerRun {
    double seconds = 0;        // from the first byte written to the logger's exit
    std::uint64_t writes = 0;  // write calls
    double peak_mb = 0;        // peak resident memory, MB (10^6 bytes)
    std::string said;          // its stderr
};

// Runs args (args[0] is looked up in PATH) with input written into its standard input as fast as
// it takes it, then closed; false when it could not start or did not exit with 0.
bool RunBurst(const std::vector<std::string>& args, const std::string& input, LoggerRun& run);

// Runs each of the loggers at once with lines lines written one a second apart, then closed.
// Each one's peak memory, and its resident memory held by files (code) and by itself (data)
// after the last line; false when one failed.
struct IdleRun {
    LoggerRun run;
    double code_mb = 0;
    double data_mb = 0;
};
bool RunIdle(const std::vector<std::vector<std::string>>& loggers, unsigned int lines,
             std::vector<IdleRun>& runs);

// Single lines into each of the loggers in turn (the first a `scrivlet write`; every other line
// the other way round), each after 3 ms
// of quiet: each line's time from its write into the pipe to the end of the write call that
// stores it, split at the end of the read call that took it from the pipe (the logger's read and
// write calls looked at every 10 us); after each line, one durable write
// (O_DSYNC) of stored bytes appended to a file in folder, the floor that any durable logger has,
// also after 3 ms of quiet, so that all see the same storage in the same state, and made from the
// processor that the first logger's reading thread last ran on (a write from the processor that
// takes the disk's interrupts ends sooner than one from the other, which the interrupt must
// wake). Also the first logger's write calls per line and what it said.
struct Trickle {
    Latencies stored;      // from the write into the pipe to the end of the write that stores it
    Latencies read;        // from the write into the pipe to the end of the logger's read
    Latencies after_read;  // from the end of that read to the end of the write
};
bool RunTrickle(const std::vector<std::vector<std::string>>& loggers, const std::string& folder,
                unsigned int lines, std::size_t stored, std::vector<Trickle>& trickles,
                Latencies& floor, double& writes_per_line, std::string& said);

// The least a durable pipe logger does, for the trickle to be measured against: each read of
// standard input written to path at once, write-through (O_DSYNC), its bytes widened to UTF-16
// as scrivlet write stores text. Returns the process's exit status.
int DurableCat(const std::string& path);

// The speed of durable write-through calls (O_DSYNC, appending to a new file) of each size in
// sizes, in MB/s: the median over rounds of bytes written divided by the time, sizes taken in
// turns (backwards every other round).
std::vector<double> StorageSpeeds(const std::string& folder, const std::vector<std::size_t>& sizes,
                                  std::size_t bytes, int rounds);

// Whether program can be run: a path that is executable, or a name found in the usual places.
bool Installed(const std::string& program);

// Empties folder (the loggers fill it with folders of their own) or creates it; removes it.
void FreshFolder(const std::string& folder);
void RemoveTree(const std::string& folder);

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_PIPE_RUNS_H
