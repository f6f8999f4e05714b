// The ring through its C interface (ring_c.h), beside scrivlet::Ring: 1 and 8 threads sharing one
// ring of 512 B raw records, every record durable when its call returns. The C interface is a
// thin layer over the class (the record handed on as it is, the caller's error record copied in
// and out), so its rate should match the class's within noise. The two alternate run by run, the
// order swapped every round, and each row gives the median of the paired ratios.
#include <cstring>
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "ring_run.h"
#include "runs.h"
#include "scrivlet/ring.h"
#include "scrivlet/ring_c.h"

namespace scrivlet::bench {
namespace {

const unsigned int kThreadCounts[] = {1, 8};

// Ends the benchmark with the C interface's error record, which is the class's record.
[[noreturn]] void DieC(const char* what, const tagScrivletInfoData_1& record) {
    TQCLogFile_1::tagInfoData_1 info;
    static_assert(sizeof info == sizeof record, "the same record");
    std::memcpy(&info, &record, sizeof info);
    Die(what, info);
}

// One run through the class (c false) or the C interface: the aggregate rate.
double RunOnce(bool c, const std::string& folder, const std::vector<char>& record,
               unsigned int count, unsigned int threads, Latencies& latencies) {
    std::uint64_t allocations = 0;
    if (!c) return RunRing(folder, record, count, threads, latencies, allocations).rate;
    Prepare(folder);
    tagScrivletRingOptions_1 options = {};
    options.cbSize = sizeof options;
    options.pszFolder = folder.c_str();
    options.pszName = "lib";
    options.uiCount = kFileCount;
    options.uiSize = kFileSize;
    options.pszHeader = kHeaderText;
    options.pszFooter = kFooterText;
    options.bCounter = 1;
    options.bRaw = 1;
    options.bFresh = 1;
    tagScrivletInfoData_1 info = {};
    tagScrivletRing_1* ring = ScrivletRing_Open_1(&options, &info);
    if (ring == nullptr) DieC("ScrivletRing_Open_1", info);
    const double rate = RunThreads(threads, count, latencies, allocations, [ring, &record] {
        tagScrivletInfoData_1 failure = {};
        if (!ScrivletRing_Write_1(ring, record.data(), record.size(), &failure)) {
            DieC("ScrivletRing_Write_1", failure);
        }
    });
    if (!ScrivletRing_Close_1(ring, &info)) DieC("ScrivletRing_Close_1", info);
    return rate;
}

}  // namespace

void RingCCase(const Settings& settings, const std::string& root, bool durable, Table& table) {
    const std::string folder = root + "/ring_c";
    const std::vector<char> record = MakeRecord(512);
    const unsigned int count =
        durable ? settings.durable_thread_records : settings.shm_thread_records;
    for (const unsigned int threads : kThreadCounts) {
        Side ring, c;
        for (int round = 0; round < settings.thread_rounds; ++round) {
            for (int k = 0; k < 2; ++k) {
                const bool is_c = (k + round) % 2 == 1;
                Side& side = is_c ? c : ring;
                side.figures.push_back(
                    RunOnce(is_c, folder, record, count, threads, side.latencies));
            }
        }
        const int decimals = durable ? 0 : 1;
        const std::string label = std::to_string(threads) + (threads == 1 ? " thread" : " threads");
        const double ratio = PairedRatio(c.figures, ring.figures);
        const std::string rate = Grouped(Median(c.figures)) + " (" +
                                 Fixed(c.latencies.PercentileUs(50), decimals) + "/" +
                                 Fixed(c.latencies.PercentileUs(99), decimals) + ")";
        table.Add(Row{std::string(durable ? "6 durable" : "6 /dev/shm") + " 512 B ring_c.h " +
                          label + ": rec/s (p50/p99)",
                      rate, Grouped(Median(ring.figures)) + " Ring " + label, Fixed(ratio, 3),
                      durable ? ">= 0.97" : "-", durable ? Verdict(ratio >= 0.97) : "-"});
    }
    RemoveFolder(folder);
}

}  // namespace scrivlet::bench
