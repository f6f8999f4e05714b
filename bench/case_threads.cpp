// Case 4: the guarded class, TQCLogFileM_1, with 1, 2, 4 and 8 threads sharing one object
// against one thread of raw writes, on one file system. Each row gives the aggregate records/s
// and the p99 latency of single Writes; the target: at least 0.95 of the raw rate. The Writes'
// allocations are counted for case 7.
#include <cstdint>
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "runs.h"

namespace scrivlet::bench {
namespace {

// The numbers of threads that share the guarded object, one row each.
const unsigned int kThreadCounts[] = {1, 2, 4, 8};

}  // namespace

void ThreadCase(const Settings& settings, const std::string& root, bool durable, Table& table,
                std::uint64_t& guarded_allocations, std::uint64_t& guarded_writes) {
    const std::string lib_folder = root + "/libm";
    const std::string raw_folder = root + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kFileCount);
    const std::vector<char> record = MakeRecord(512);
    const unsigned int count =
        durable ? settings.durable_thread_records : settings.shm_thread_records;
    Side raw;
    Side guarded[4];
    for (int round = 0; round < settings.thread_rounds; ++round) {
        const bool raw_first = round % 2 == 0;
        if (raw_first) RunRaw(raw_folder, shape, record, count, raw);
        for (int k = 0; k < 4; ++k) {
            const int i = raw_first ? k : 3 - k;
            guarded[i].figures.push_back(RunGuarded(lib_folder, record, count, kThreadCounts[i],
                                                    guarded[i].latencies, guarded_allocations));
            guarded_writes += count;
        }
        if (!raw_first) RunRaw(raw_folder, shape, record, count, raw);
    }
    const double raw_rate = Median(raw.figures);
    const double raw99 = raw.latencies.PercentileUs(99);
    for (int i = 0; i < 4; ++i) {
        const double ratio = PairedRatio(guarded[i].figures, raw.figures);
        const std::string name = std::string(durable ? "4 durable" : "4 /dev/shm") +
                                 " 512 B TQCLogFileM_1 " + std::to_string(kThreadCounts[i]) +
                                 (kThreadCounts[i] == 1 ? " thread" : " threads") +
                                 ": records/s (p99 us)";
        const int decimals = durable ? 0 : 1;
        table.Add(Row{name,
                      Grouped(Median(guarded[i].figures)) + " (" +
                          Fixed(guarded[i].latencies.PercentileUs(99), decimals) + ")",
                      Grouped(raw_rate) + " (" + Fixed(raw99, decimals) + ") raw 1 thread",
                      Fixed(ratio, 3), ">= 0.95", Verdict(ratio >= 0.95)});
    }
    RemoveFolder(lib_folder);
    RemoveFolder(raw_folder);
}

}  // namespace scrivlet::bench
