// The pipe command: `scrivlet write` against the pipe loggers people use for the same job, on the
// same input through a pipe into the same file system, in one run: speed, memory and the latency
// of a trickle, each against its target, with the measured breakdown of what scrivlet's time and
// memory went to.
//
// Storage: first the speed of durable write-through calls by size, which says how large a
// group must be for the storage to reach its bandwidth (scrivlet write's groups are 2 MiB).
// Bursts: lines of 20 to 100 bytes (the same for every contender, from a fixed seed) written into
// a pipe as fast as the logger takes them: 100,000 lines into 5 files of 1 MiB, 1,000,000 into 10
// files of 10 MiB: `scrivlet write` (UTF-16 text and --raw), s6-log -b, multilog and rotatelogs.
// A run lasts from the first byte written to the logger's exit; a contender's figure is the
// median of its runs, taken in turns, and a ratio the median of the ratios of runs taken side by
// side. Beside each: peak resident memory (the highest of its runs), write calls, and what a
// power cut can lose. Idle: three lines a second apart into each logger at once, peak resident
// memory. Trickle: single lines, each after 3 ms of quiet, into `scrivlet write`, from the write
// into the pipe to the end of the write call that stores the line, against one durable write of
// the bytes it stores made directly, and beside the least a durable pipe logger does (this
// program's durable-cat), all taken in turn.
//
// Targets: scrivlet write (UTF-16, every line durable) at least s6-log's lines/s in both bursts,
// --raw at least 1.5 times; at most 8 MB resident in the 1,000,000-line burst and 4 MB idle; a
// trickled line's median latency at most 1.3 times the durable write's, its p99 printed.
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "measure.h"
#include "pipe_runs.h"

namespace scrivlet::bench {
namespace {

const unsigned int kShortest = 20;
const unsigned int kLongest = 100;
const std::size_t kGroupBytes = std::size_t{2} << 20;  // scrivlet write's, as stored
const double kPeakTargetMb = 8;
const double kIdleTargetMb = 4;
const double kTrickleTarget = 1.3;

// One burst: its lines and the ring (or log directory) they go into.
struct Burst {
    unsigned int lines;
    unsigned int files;
    unsigned int file_bytes;
};
const Burst kBursts[] = {{100000, 5, 1048576}, {1000000, 10, 10485760}};

enum Logger { kScrivlet, kScrivletRaw, kS6, kMultilog, kRotatelogs, kLoggers };
const char* const kNames[kLoggers] = {"scrivlet write", "scrivlet write --raw", "s6-log",
                                      "multilog", "rotatelogs"};
// Under each logger's bars in the chart: its name and when it syncs.
const char* const kLabels[kLoggers] = {
    "scrivlet write\\nsyncs each line", "scrivlet --raw\\nsyncs each line",
    "s6-log\\nsyncs at rotation", "multilog\\nsyncs at rotation", "rotatelogs\\nnever syncs"};

// The command line of a logger for a burst into target (a folder; rotatelogs: a file).
std::vector<std::string> Args(Logger logger, const std::string& tool, const Burst& burst,
                              const std::string& target) {
    const std::string files = std::to_string(burst.files);
    const std::string bytes = std::to_string(burst.file_bytes);
    switch (logger) {
        case kScrivlet:
            return {tool, "write", "-q", "--stats", "-d", target, "-c", files, "-s", bytes};
        case kScrivletRaw:
            return {tool,   "write", "-q",  "--stats", "--raw", "-d",
                    target, "-c",    files, "-s",      bytes};
        case kS6:
            return {"s6-log", "-b", "n" + files, "s" + bytes, target};
        case kMultilog:
            return {"multilog", "n" + files, "s" + bytes, target};
        default:
            return {"rotatelogs", "-n", files, target,
                    std::to_string(burst.file_bytes >> 20) + "M"};
    }
}

std::string Loses(Logger logger, const Burst& burst) {
    const std::string file = std::to_string(burst.file_bytes / 1000000) + " MB";
    switch (logger) {
        case kScrivlet:
            return "every line on the storage within two groups of its read: at most the group "
                   "being written and the one filling (2 MiB each as stored)";
        case kScrivletRaw:
            return "the same";
        case kS6:
        case kMultilog:
            return "fsync when a file is rotated: the current file (up to " + file + ")";
        default:
            return "never syncs: whatever the page cache holds";
    }
}

// The lines of the input: "line N " and letters, 20 to 100 bytes with their LF, fixed seed.
std::string MakeInput(unsigned int lines) {
    std::string input;
    input.reserve(static_cast<std::size_t>(lines) * (kShortest + kLongest) / 2);
    std::uint32_t seed = 12345;
    for (unsigned int i = 1; i <= lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned int length = kShortest + (seed >> 16) % (kLongest - kShortest + 1);
        std::string line = "line " + std::to_string(i) + " ";
        while (line.size() + 1 < length) line.push_back(static_cast<char>('a' + line.size() % 26));
        line.resize(length - 1);
        input += line + "\n";
    }
    return input;
}

// The figure after `label` in scrivlet write's --stats line (0 when missing).
double StatsFigure(const std::string& said, const std::string& label) {
    const std::size_t at = said.find(label);
    return at == std::string::npos ? 0 : std::atof(said.c_str() + at + label.size());
}

// What one logger gave over the runs of one burst.
struct Side {
    std::vector<double> seconds;
    std::vector<LoggerRun> runs;
    double peak_mb = 0;
    bool failed = false;
};

int missed = 0;

bool Target(const std::string& what, double value, const std::string& unit, bool at_least,
            double bound) {
    const bool met = at_least ? value >= bound : value <= bound;
    missed += met ? 0 : 1;
    std::printf("target: %-58s %7.2f%s  (%s %.1f%s)  %s\n", what.c_str(), value, unit.c_str(),
                at_least ? ">=" : "<=", bound, unit.c_str(), met ? "met" : "MISSED");
    return met;
}

// The storage's speed for write calls of size bytes, from the measured curve: interpolated on
// the logarithm of the size; below the smallest size the time of a call is taken as constant.
double SpeedAt(const std::vector<std::size_t>& sizes, const std::vector<double>& speeds,
               double size) {
    if (speeds.empty() || size <= 0) return 0;
    if (size <= static_cast<double>(sizes.front())) {
        return speeds.front() * size / static_cast<double>(sizes.front());
    }
    for (std::size_t i = 1; i < sizes.size(); ++i) {
        if (size <= static_cast<double>(sizes[i])) {
            const double at = std::log(size / static_cast<double>(sizes[i - 1])) /
                              std::log(static_cast<double>(sizes[i]) / sizes[i - 1]);
            return speeds[i - 1] + at * (speeds[i] - speeds[i - 1]);
        }
    }
    return speeds.back();
}

// Where a scrivlet side's time went, from the --stats of its median run, with what the storage
// alone takes for its write calls.
struct Breakdown {
    double total_ms = 0, writing_ms = 0, preparing_ms = 0, room_ms = 0;
    double groups = 0, calls = 0, bytes = 0;
    double storage_ms = 0;  // the write calls at the storage's speed for their mean size

    Breakdown(const Side& side, const std::vector<std::size_t>& sizes,
              const std::vector<double>& speeds) {
        if (side.runs.empty()) return;
        std::vector<std::size_t> order(side.runs.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&side](std::size_t a, std::size_t b) {
            return side.seconds[a] < side.seconds[b];
        });
        const std::string& said = side.runs[order[order.size() / 2]].said;
        total_ms = StatsFigure(said, "write calls; ");
        writing_ms = StatsFigure(said, "writing ");
        preparing_ms = StatsFigure(said, "preparing ");
        room_ms = StatsFigure(said, "waiting for room ");
        groups = StatsFigure(said, "stored, ");
        calls = StatsFigure(said, "groups in ");
        bytes = StatsFigure(said, "lines, ");
        const double speed = calls > 0 ? SpeedAt(sizes, speeds, bytes / calls) : 0;
        storage_ms = speed > 0 ? bytes / speed / 1e3 : 0;
    }

    std::string Text() const {
        char text[500];
        std::snprintf(text, sizeof text,
                      "%.0f ms: writing %.0f ms (%.0f%%), preparing lines %.0f ms, waiting for "
                      "room %.0f ms; %.1f MB stored in %.0f groups, %.0f write calls of %.0f KB "
                      "on average, which the storage alone takes in %.0f ms (its speed at that "
                      "size, measured above)",
                      total_ms, writing_ms, total_ms > 0 ? 100 * writing_ms / total_ms : 0,
                      preparing_ms, room_ms, bytes / 1e6, groups, calls,
                      calls > 0 ? bytes / calls / 1e3 : 0, storage_ms);
        return text;
    }
};

// Where a trickled line's time went: the logger's wake and read (from the write into the pipe to
// the end of its read) and the rest, scrivlet write (trickles[0]) beside durable-cat
// (trickles[1]), with the parts scrivlet write timed itself (said: its --stats).
std::string TrickleBreakdown(std::vector<Trickle>& trickles, const std::string& said) {
    char text[700];
    std::snprintf(
        text, sizeof text,
        "from the write into the pipe to the end of the logger's read p50 %.0f us (durable-cat "
        "%.0f us), from there to the end of the write that stores it p50 %.0f us (durable-cat "
        "%.0f us), the loggers' calls looked at every 10 us; inside scrivlet write (means): "
        "%.1f us reading after its wait for the pipe ended, %.1f us from the read to the ring's "
        "write (%.1f us of them converting the line, the rest handing it on), %.1f us writing",
        trickles[0].read.PercentileUs(50), trickles[1].read.PercentileUs(50),
        trickles[0].after_read.PercentileUs(50), trickles[1].after_read.PercentileUs(50),
        StatsFigure(said, "on arrival: "), StatsFigure(said, "wait for input, "),
        StatsFigure(said, "storing the lines "), StatsFigure(said, "us), "));
    return text;
}

}  // namespace

int RunPipe(const std::string& self, const std::string& tool, const std::string& work, bool quick,
            const std::string& chart_data, bool trickle_only) {
    const int rounds = quick ? 2 : 5;
    signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it is known
    std::printf(
        "pipe:           lines of %u to %u bytes through a pipe into each logger, in %s, "
        "%s; %d runs each, taken in turns\n",
        kShortest, kLongest, work.c_str(), FileSystemType(work).c_str(), rounds);

    // The storage's speed by write size.
    const std::vector<std::size_t> sizes = {std::size_t{256} << 10, std::size_t{512} << 10,
                                            std::size_t{1} << 20,   std::size_t{2} << 20,
                                            std::size_t{4} << 20,   std::size_t{8} << 20};
    const std::vector<double> speeds =
        trickle_only ? std::vector<double>()
                     : StorageSpeeds(work + "/pipe-speed", sizes,
                                     static_cast<std::size_t>(quick ? 8 : 32) << 20, quick ? 1 : 3);
    double group_speed = 0;
    if (!trickle_only) std::printf("storage:        durable write-through MB/s by write size:");
    for (std::size_t i = 0; i < speeds.size(); ++i) {
        std::printf(" %zu KiB %.0f%s", sizes[i] >> 10, speeds[i], i + 1 < speeds.size() ? "," : "");
        if (sizes[i] == kGroupBytes) group_speed = speeds[i];
    }
    if (!speeds.empty()) {
        std::printf(" (scrivlet write's groups of 2 MiB: %.2f of the 8 MiB figure)",
                    group_speed / speeds.back());
    }
    if (!trickle_only) std::printf("\n");

    // The bursts.
    Side sides[2][kLoggers];
    std::size_t inputs[2] = {};
    std::FILE* chart =
        chart_data.empty() || trickle_only ? nullptr : std::fopen(chart_data.c_str(), "w");
    for (std::size_t b = 0; b < (trickle_only ? 0 : 2); ++b) {
        const Burst& burst = kBursts[b];
        const std::string input = MakeInput(burst.lines);
        inputs[b] = input.size();
        const int burst_rounds = b == 0 ? rounds : std::max(rounds - 2, 1);
        for (int round = 0; round < burst_rounds; ++round) {
            for (int k = 0; k < kLoggers; ++k) {
                // In turns, every other round backwards, so that drift hits all alike.
                const Logger logger = static_cast<Logger>(round % 2 == 0 ? k : kLoggers - 1 - k);
                Side& side = sides[b][logger];
                const std::string program =
                    logger <= kScrivletRaw ? tool : Args(logger, tool, burst, "")[0];
                if (side.failed || !Installed(program)) {
                    side.failed = true;
                    continue;
                }
                const std::string folder = work + "/pipe";
                FreshFolder(folder);
                const std::string target = folder + (logger == kRotatelogs ? "/log" : "/ring");
                if (logger == kS6 || logger == kMultilog) FreshFolder(target);
                LoggerRun run;
                if (!RunBurst(Args(logger, tool, burst, target), input, run)) {
                    std::printf("%s failed: %s\n", kNames[logger], run.said.c_str());
                    side.failed = true;
                    continue;
                }
                side.seconds.push_back(run.seconds);
                side.peak_mb = std::max(side.peak_mb, run.peak_mb);
                side.runs.push_back(run);
            }
        }
        RemoveTree(work + "/pipe");
        std::printf("\n%s lines (%.1f MB) into %u files of %u MiB:\n", Grouped(burst.lines).c_str(),
                    static_cast<double>(input.size()) / 1e6, burst.files, burst.file_bytes >> 20);
        std::printf("%-22s %12s %8s %8s %12s  %s\n", "logger", "lines/s", "MB/s", "peak MB",
                    "write calls", "what a power cut can lose");
        std::printf("%s\n", std::string(130, '-').c_str());
        for (int logger = 0; logger < kLoggers; ++logger) {
            Side& side = sides[b][logger];
            if (side.failed || side.seconds.empty()) {
                std::printf("%-22s %12s %8s %8s %12s  (not installed or failed)\n", kNames[logger],
                            "-", "-", "-", "-");
                if (chart != nullptr) std::fprintf(chart, "\"%s\" 0 0\n", kLabels[logger]);
                continue;
            }
            const double seconds = Median(side.seconds);
            std::printf("%-22s %12s %8.1f %8.1f %12llu  %s\n", kNames[logger],
                        Grouped(burst.lines / seconds).c_str(),
                        static_cast<double>(input.size()) / seconds / 1e6, side.peak_mb,
                        static_cast<unsigned long long>(side.runs.back().writes),
                        Loses(static_cast<Logger>(logger), burst).c_str());
            if (chart != nullptr) {
                std::fprintf(chart, "\"%s\" %.0f %.2f\n", kLabels[logger], burst.lines / seconds,
                             side.peak_mb);
            }
        }
        if (chart != nullptr) std::fprintf(chart, "\n\n");  // one data block per burst
        for (int logger = kScrivlet; logger <= kScrivletRaw; ++logger) {
            if (!sides[b][logger].runs.empty()) {
                std::printf("where the time of %s went (median run): %s\n", kNames[logger],
                            Breakdown(sides[b][logger], sizes, speeds).Text().c_str());
            }
        }
    }

    // Idle.
    std::vector<std::vector<std::string>> idle_loggers;
    std::vector<int> idle_names;
    const Burst& big = kBursts[1];
    for (int logger = 0; logger < (trickle_only ? 0 : kLoggers); ++logger) {
        const std::string folder = work + "/pipe-idle/" + std::to_string(logger);
        FreshFolder(folder);
        const std::string target = logger == kRotatelogs ? folder + "/log" : folder;
        std::vector<std::string> args = Args(static_cast<Logger>(logger), tool, big, target);
        if (!Installed(logger == kScrivlet ? tool : args[0])) continue;
        idle_loggers.push_back(args);
        idle_names.push_back(logger);
    }
    std::vector<IdleRun> idle;
    const bool idled = !trickle_only && RunIdle(idle_loggers, 3, idle);
    RemoveTree(work + "/pipe-idle");
    if (!trickle_only)
        std::printf(
            "\nidle, three lines a second apart, peak MB (code + data resident after the last):");
    for (std::size_t i = 0; idled && i < idle.size(); ++i) {
        std::printf(" %s %.1f (%.1f + %.1f)%s", kNames[idle_names[i]], idle[i].run.peak_mb,
                    idle[i].code_mb, idle[i].data_mb, i + 1 < idle.size() ? "," : "\n");
        if (chart != nullptr) {
            std::fprintf(chart, "\"%s\" %.2f\n", kLabels[idle_names[i]], idle[i].run.peak_mb);
        }
    }
    if (!idled && !trickle_only) std::printf(" failed\n");
    if (chart != nullptr) std::fclose(chart);

    // The trickle: scrivlet write, and beside it the least a durable pipe logger does (this
    // program's durable-cat: each read written at once, write-through).
    const unsigned int lines = quick ? 40 : 200;
    std::vector<Trickle> trickles;
    Latencies floor;
    double writes_per_line = 0;
    std::string said;
    const std::string line = "trickle line 100 of the pipe benchmark\n";
    const std::size_t stored = 2 * (line.size() - 1) + 4;  // as UTF-16, ending in CR LF
    const std::string trickle_folder = work + "/pipe-trickle";
    FreshFolder(trickle_folder);
    const bool trickled =
        RunTrickle({{tool, "write", "-q", "--stats", "-d", trickle_folder + "/ring", "-c", "5",
                     "-s", "1048576"},
                    {self, "durable-cat", trickle_folder + "/cat"}},
                   trickle_folder, lines, stored, trickles, floor, writes_per_line, said);
    RemoveTree(trickle_folder);
    double trickle50 = 0, floor50 = 0, cat50 = 0;
    if (trickled) {
        trickle50 = trickles[0].stored.PercentileUs(50);
        cat50 = trickles[1].stored.PercentileUs(50);
        floor50 = floor.PercentileUs(50);
        std::printf(
            "trickle:        %u single lines, each after 3 ms of quiet: scrivlet write from the "
            "pipe to the "
            "storage p50 %.0f us, p99 %.0f us, %.2f write calls per line; one durable write of "
            "the %zu bytes stored, made directly in turn (also after 3 ms): p50 %.0f us, p99 %.0f "
            "us; the least a "
            "durable pipe logger does (each read written at once, O_DSYNC), in turn: p50 %.0f us, "
            "p99 %.0f us\n",
            lines, trickle50, trickles[0].stored.PercentileUs(99), writes_per_line, stored, floor50,
            floor.PercentileUs(99), cat50, trickles[1].stored.PercentileUs(99));
        std::printf("                where a line's time went: %s\n",
                    TrickleBreakdown(trickles, said).c_str());
    } else {
        std::printf("trickle: failed\n");
    }

    // The targets.
    std::printf("\n");
    missed = 0;
    for (std::size_t b = 0; b < 2; ++b) {
        const std::string lines_text = Grouped(kBursts[b].lines) + " lines";
        for (const auto& [logger, bound] :
             {std::pair<Logger, double>{kScrivlet, 1.0}, {kScrivletRaw, 1.5}}) {
            const Side& mine = sides[b][logger];
            const Side& peer = sides[b][kS6];
            if (mine.seconds.empty() || peer.seconds.empty()) continue;
            // lines/s against lines/s: the peer's seconds over ours, run by run.
            if (!Target(std::string(kNames[logger]) + " / s6-log lines/s, " + lines_text,
                        PairedRatio(peer.seconds, mine.seconds), "x", true, bound)) {
                const Breakdown why(mine, sizes, speeds);
                std::printf(
                    "  why: %s took %.0f ms (median), %.0f of them in its write-through calls "
                    "(%.0f ms for the storage alone: %.1f MB durable in calls of %.0f KB, which "
                    "files of %u MiB cap); s6-log took %.0f ms to put %.1f MB into the page cache "
                    "and sync it at each rotation\n",
                    kNames[logger], Median(mine.seconds) * 1e3, why.writing_ms, why.storage_ms,
                    why.bytes / 1e6, why.calls > 0 ? why.bytes / why.calls / 1e3 : 0,
                    kBursts[b].file_bytes >> 20, Median(peer.seconds) * 1e3,
                    static_cast<double>(inputs[b]) / 1e6);
            }
        }
    }
    const IdleRun* mine_idle = nullptr;
    for (std::size_t i = 0; idled && i < idle.size(); ++i) {
        if (idle_names[i] == kScrivlet) mine_idle = &idle[i];
    }
    if (!sides[1][kScrivlet].runs.empty() &&
        !Target("scrivlet write peak memory, 1,000,000 lines", sides[1][kScrivlet].peak_mb, " MB",
                false, kPeakTargetMb) &&
        mine_idle != nullptr) {
        std::printf(
            "  why: idle it holds %.1f MB (code %.1f, data %.1f); the burst adds %.1f MB: "
            "two groups of up to 2 MiB with the views of their lines, and a read of "
            "256 KiB\n",
            mine_idle->run.peak_mb, mine_idle->code_mb, mine_idle->data_mb,
            sides[1][kScrivlet].peak_mb - mine_idle->run.peak_mb);
    }
    if (mine_idle != nullptr && !Target("scrivlet write peak memory, idle", mine_idle->run.peak_mb,
                                        " MB", false, kIdleTargetMb)) {
        std::printf("  why: resident after the last line: code %.1f MB, data %.1f MB\n",
                    mine_idle->code_mb, mine_idle->data_mb);
    }
    if (trickled && floor50 > 0) {
        if (!Target("trickle p50 / one durable write of the same size", trickle50 / floor50, "x",
                    false, kTrickleTarget)) {
            std::printf(
                "  why: p50 %.0f us against %.0f us; %s; the least a durable pipe logger does "
                "takes %.0f us the same way (%.2fx the direct write)\n",
                trickle50, floor50, TrickleBreakdown(trickles, said).c_str(), cat50,
                cat50 / floor50);
        }
    } else {
        ++missed;
    }
    return missed == 0 ? 0 : 1;
}

}  // namespace scrivlet::bench
