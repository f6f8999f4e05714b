// Case 6: group commit. scrivlet::Ring with 1, 2, 4, 8 and 16 threads sharing one ring of 512 B
// records, against one thread of raw write-through writes (the physical limit of one writer), and
// TQCLogFileM_1 and spdlog's rotating_file_sink_mt with an fdatasync after every record (the
// same durability) with the same threads. Every contender is durable per record: a call returns
// once its record is on the storage.
//
// Targets, on the working file system: one thread through the ring at least 0.97 of the raw loop;
// eight threads at least 5 times one thread through the ring. (In RAM a write takes about a
// microsecond: there is no wait to share, and the rows show the cost of the hand-over.) Each row
// gives the aggregate records/s, the p50/p99 latency of single calls, and for the ring the records
// per write-through call (group size). A run's time is taken from the first thread's start to the
// last thread's end. For the ring with 8 threads, where the time of a write's cycle goes (from the
// ring's own counts): the write, then until the first caller it released runs again (wake-up),
// until the last one does (their turns on the processors), and until the next group's write
// starts (their way back with their next records). The rates go to a data file for bench/run's
// chart; the ring's allocations are counted for case 7.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "ring_run.h"
#include "runs.h"
#include "scrivlet/ring.h"
#if defined(SCRIVLET_BENCH_SPDLOG)
#include "peer_spdlog.h"
#endif

namespace scrivlet::bench {

RingRun RunRing(const std::string& folder, const std::vector<char>& record, unsigned int count,
                unsigned int threads, Latencies& latencies, std::uint64_t& allocations) {
    Prepare(folder);
    RingOptions options;
    options.folder = folder;
    options.name = "lib";
    options.count = kFileCount;
    options.size = kFileSize;
    options.header = kHeaderText;
    options.footer = kFooterText;
    options.counter = true;
    options.text = Text::raw;
    Ring ring;
    Error error;
    if (!ring.open(options, error)) Die("Ring::open", error.info);
    const std::string_view bytes(record.data(), record.size());
    const double rate = RunThreads(threads, count, latencies, allocations, [&ring, bytes] {
        Error failure;
        if (!ring.write(bytes, failure)) Die("Ring::write", failure.info);
    });
    const RingStats stats = ring.stats();
    if (!ring.close(error)) Die("Ring::close", error.info);
    return RingRun{rate, static_cast<double>(stats.records) / static_cast<double>(stats.writes),
                   stats, count / rate};
}

namespace {

const unsigned int kThreadCounts[] = {1, 2, 4, 8, 16};
const std::size_t kRows = sizeof kThreadCounts / sizeof kThreadCounts[0];

enum Contender { kRing, kGuarded, kSpdlog, kContenders };
const char* const kNames[kContenders] = {"Ring", "TQCLogFileM_1", "spdlog+fdatasync"};

// The ring's counts over several runs, and their time.
struct Cycles {
    RingStats sum;
    double seconds = 0;
    void Add(const RingRun& run) {
        sum.records += run.stats.records;
        sum.writes += run.stats.writes;
        sum.write_ns += run.stats.write_ns;
        sum.cycles += run.stats.cycles;
        sum.wake_ns += run.stats.wake_ns;
        sum.turns_ns += run.stats.turns_ns;
        sum.back_ns += run.stats.back_ns;
        seconds += run.seconds;
    }
    // Microseconds per write call.
    double PerWrite(double ns) const {
        return sum.writes == 0 ? 0 : ns / 1e3 / static_cast<double>(sum.writes);
    }
};

#if defined(SCRIVLET_BENCH_SPDLOG)
double RunSpdlog(const std::string& folder, const std::vector<char>& record, unsigned int count,
                 unsigned int threads, Latencies& latencies) {
    Prepare(folder);
    SpdlogPeer peer;
    peer.Start(folder, kFileSize, kFileCount, true);
    const unsigned int size = static_cast<unsigned int>(record.size());
    std::uint64_t allocations = 0;
    const double rate = RunThreads(threads, count, latencies, allocations,
                                   [&peer, &record, size] { peer.Put(record.data(), size); });
    peer.Stop();
    return rate;
}
#endif

// Where the cycle of a write went with 8 threads, against what five times one thread's records/s
// asks of a cycle with the same records per write.
Row CycleRow(const std::string& where, const Cycles& eight, const Cycles& one) {
    const RingStats& s = eight.sum;
    if (s.writes == 0 || one.sum.records == 0)
        return Row{where + " Ring cycle", "-", "-", "-", "-", "-"};
    const double cycle = eight.seconds * 1e6 / static_cast<double>(s.writes);
    const double write = eight.PerWrite(static_cast<double>(s.write_ns));
    const double wake = eight.PerWrite(static_cast<double>(s.wake_ns));
    const double turns = eight.PerWrite(static_cast<double>(s.turns_ns));
    const double back = eight.PerWrite(static_cast<double>(s.back_ns));
    const double rest = cycle - write - wake - turns - back;
    const double per_write = static_cast<double>(s.records) / static_cast<double>(s.writes);
    const double one_rate = static_cast<double>(one.sum.records) / one.seconds;
    const double one_write = one.PerWrite(static_cast<double>(one.sum.write_ns));
    return Row{
        where + " 512 B Ring 8 threads: us per write = write + wake-up + turns + back + rest",
        Fixed(cycle, 0) + " = " + Fixed(write, 0) + " + " + Fixed(wake, 0) + " + " +
            Fixed(turns, 0) + " + " + Fixed(back, 0) + " + " + Fixed(rest, 0),
        "5x: " + Fixed(per_write / (5 * one_rate) * 1e6, 0) + "; 1 thread's write " +
            Fixed(one_write, 0),
        "-",
        "-",
        "-"};
}

std::string Rate(Side& side, int decimals) {
    return Grouped(Median(side.figures)) + " (" + Fixed(side.latencies.PercentileUs(50), decimals) +
           "/" + Fixed(side.latencies.PercentileUs(99), decimals) + ")";
}

}  // namespace

void GroupCommitCase(const Settings& settings, const std::string& root, bool durable, Table& table,
                     std::uint64_t& ring_allocations, std::uint64_t& ring_writes,
                     const std::string& chart_data) {
    const std::string folder = root + "/threads";
    const std::string raw_folder = root + "/raw";
    const Shape shape = LibraryShape(folder, kFileSize, kFileCount);
    const std::vector<char> record = MakeRecord(512);
    const unsigned int count =
        durable ? settings.durable_thread_records : settings.shm_thread_records;
    Side raw;
    Side sides[kContenders][kRows];
    std::vector<double> per_write[kRows];
    Cycles cycles[kRows];
    const int contenders =
#if defined(SCRIVLET_BENCH_SPDLOG)
        kContenders;
#else
        kSpdlog;
#endif
    for (int round = 0; round < settings.thread_rounds; ++round) {
        for (std::size_t k = 0; k < kRows; ++k) {
            // Each round takes the thread counts and the contenders in another order; the raw
            // loop runs beside the contenders' one-thread runs, so that their ratios are paired.
            const std::size_t row = round % 2 == 0 ? k : kRows - 1 - k;
            const unsigned int threads = kThreadCounts[row];
            if (threads == 1 && round % 2 == 0) RunRaw(raw_folder, shape, record, count, raw);
            for (int c = 0; c < contenders; ++c) {
                Side& side = sides[(c + round) % contenders][row];
                switch ((c + round) % contenders) {
                    case kRing: {
                        const RingRun run = RunRing(folder, record, count, threads, side.latencies,
                                                    ring_allocations);
                        side.figures.push_back(run.rate);
                        per_write[row].push_back(run.per_write);
                        cycles[row].Add(run);
                        ring_writes += count;
                        break;
                    }
                    case kGuarded: {
                        std::uint64_t allocations = 0;  // case 4 counts the guarded class's
                        side.figures.push_back(RunGuarded(folder, record, count, threads,
                                                          side.latencies, allocations));
                        break;
                    }
#if defined(SCRIVLET_BENCH_SPDLOG)
                    default:
                        side.figures.push_back(
                            RunSpdlog(folder, record, count, threads, side.latencies));
                        break;
#endif
                }
            }
            if (threads == 1 && round % 2 != 0) RunRaw(raw_folder, shape, record, count, raw);
        }
    }
    const std::string where = durable ? "6 durable" : "6 /dev/shm";
    const int decimals = durable ? 0 : 1;
    const double raw_rate = Median(raw.figures);
    for (std::size_t row = 0; row < kRows; ++row) {
        const unsigned int threads = kThreadCounts[row];
        const std::string label = std::to_string(threads) + (threads == 1 ? " thread" : " threads");
        const std::string name = where + " 512 B Ring " + label + ": rec/s (p50/p99 us), rec/write";
        const std::string value =
            Rate(sides[kRing][row], decimals) + " " + Fixed(Median(per_write[row]), 1);
        if (threads == 1) {
            const double ratio = PairedRatio(sides[kRing][0].figures, raw.figures);
            table.Add(Row{name, value, Grouped(raw_rate) + " raw 1 thread", Fixed(ratio, 3),
                          durable ? ">= 0.97" : "-", durable ? Verdict(ratio >= 0.97) : "-"});
        } else {
            const double ratio = PairedRatio(sides[kRing][row].figures, sides[kRing][0].figures);
            const bool target = durable && threads == 8;
            table.Add(Row{name, value, Grouped(Median(sides[kRing][0].figures)) + " Ring 1 thread",
                          Fixed(ratio, 2), target ? ">= 5" : "-",
                          target ? Verdict(ratio >= 5) : "-"});
            if (threads == 8) table.Add(CycleRow(where, cycles[row], cycles[0]));
        }
    }
    for (int c = kGuarded; c < contenders; ++c) {
        for (std::size_t row = 0; row < kRows; ++row) {
            const unsigned int threads = kThreadCounts[row];
            const std::string name = where + " 512 B " + kNames[c] + " " + std::to_string(threads) +
                                     (threads == 1 ? " thread" : " threads") + ": rec/s (p50/p99)";
            table.Add(Row{name, Rate(sides[c][row], decimals), Grouped(raw_rate) + " raw 1 thread",
                          Fixed(Median(sides[c][row].figures) / raw_rate, 3), "-", "-"});
        }
    }
    // threads, then records/s of the ring, the guarded class, spdlog (0: not run) and the raw loop.
    if (!chart_data.empty()) {
        if (std::FILE* out = std::fopen(chart_data.c_str(), "w")) {
            std::fprintf(out, "# threads ring guarded spdlog raw\n");
            for (std::size_t row = 0; row < kRows; ++row) {
                std::fprintf(out, "%u", kThreadCounts[row]);
                for (int c = 0; c < kContenders; ++c) {
                    std::fprintf(out, " %.0f",
                                 sides[c][row].figures.empty() ? 0 : Median(sides[c][row].figures));
                }
                std::fprintf(out, " %.0f\n", raw_rate);
            }
            std::fclose(out);
        }
    }
    RemoveFolder(folder);
    RemoveFolder(raw_folder);
}

}  // namespace scrivlet::bench
