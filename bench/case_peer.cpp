// Case 5: the library against its peer, spdlog's rotating file sink, on the working file system.
// For each record size, the library's records/s and p99 latency against spdlog flushing after
// every record (the bytes reach the kernel only) and against spdlog with an fdatasync after every
// record (the library's guarantee). No target: the rows show what durability costs the peer.
// Built only when spdlog was found.
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "peer_spdlog.h"
#include "runs.h"

namespace scrivlet::bench {
namespace {

// One timed run of count records through spdlog.
void RunPeer(const std::string& folder, const std::vector<char>& record, unsigned int count,
             bool sync, Side& side) {
    Prepare(folder);
    SpdlogPeer peer;
    peer.Start(folder, kFileSize, kFileCount, sync);
    side.latencies.Reserve(count);
    const unsigned int size = static_cast<unsigned int>(record.size());
    const std::uint64_t start = NowNs();
    std::uint64_t before = start;
    for (unsigned int i = 0; i < count; ++i) {
        peer.Put(record.data(), size);
        const std::uint64_t after = NowNs();
        side.latencies.Add(after - before);
        before = after;
    }
    side.figures.push_back(count / (static_cast<double>(before - start) / 1e9));
    peer.Stop();
}

}  // namespace

void PeerCase(const Settings& settings, Table& table) {
    const std::string lib_folder = settings.work + "/lib";
    const std::string flush_folder = settings.work + "/spdlog-flush";
    const std::string sync_folder = settings.work + "/spdlog-sync";
    for (unsigned int size : kRecordSizes) {
        const std::vector<char> record = MakeRecord(size);
        Side lib, flush, sync;
        for (int round = 0; round < settings.rounds; ++round) {
            // Each of the three goes first, second and third in turn.
            for (int k = 0; k < 3; ++k) {
                switch ((round + k) % 3) {
                    case 0:
                        RunLibrary(lib_folder, record, settings.peer_records, lib);
                        break;
                    case 1:
                        RunPeer(flush_folder, record, settings.peer_records, false, flush);
                        break;
                    default:
                        RunPeer(sync_folder, record, settings.peer_records, true, sync);
                        break;
                }
            }
        }
        const std::string name = "5 durable " + SizeName(size) + " vs spdlog ";
        const std::string lib_cell =
            Grouped(Median(lib.figures)) + " (" + Fixed(lib.latencies.PercentileUs(99), 0) + ")";
        table.Add(Row{name + "flush: rec/s (p99 us)", lib_cell,
                      Grouped(Median(flush.figures)) + " (" +
                          Fixed(flush.latencies.PercentileUs(99), 0) + ")",
                      Fixed(PairedRatio(lib.figures, flush.figures), 3), "-", "-"});
        table.Add(Row{
            name + "flush+fdatasync: rec/s (p99 us)", lib_cell,
            Grouped(Median(sync.figures)) + " (" + Fixed(sync.latencies.PercentileUs(99), 0) + ")",
            Fixed(PairedRatio(lib.figures, sync.figures), 3), "-", "-"});
    }
    RemoveFolder(lib_folder);
    RemoveFolder(flush_folder);
    RemoveFolder(sync_folder);
}
}  // namespace scrivlet::bench
