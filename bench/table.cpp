// The table command: prints where the run takes place (folders and their file systems, the peer,
// the number of runs), probes the storage, runs the chosen cases in their order and prints the
// table they filled, with the check that the library and the raw ring wrote files of equal sizes.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cases.h"
#include "files.h"
#include "runs.h"
#if defined(SCRIVLET_BENCH_SPDLOG)
#include "peer_spdlog.h"
#endif

namespace scrivlet::bench {

int RunTable(Settings& settings) {
    Table table;
    const std::string durable_root = settings.work;
    const std::string shm_root = settings.shm;
    Prepare(settings.work);
    Prepare(settings.shm);
    std::printf("working folder: %s, %s\n", settings.work.c_str(),
                FileSystemType(settings.work).c_str());
    std::printf("RAM folder:     %s, %s\n", settings.shm.c_str(),
                FileSystemType(settings.shm).c_str());
#if defined(SCRIVLET_BENCH_SPDLOG)
    std::printf("peer:           %s, rotating_file_sink_mt\n", SpdlogPeer::Version().c_str());
#else
    std::printf("peer:           spdlog not found at build time; its cases are left out\n");
#endif
    std::printf("runs:           %d per contender and case, %d in the thread cases (%s)\n",
                settings.rounds, settings.thread_rounds, settings.quick ? "quick" : "full");
    ProbeStorage(settings);
    std::printf("\n");
    std::fflush(stdout);

    const auto wanted = [&settings](char c) {
        return settings.only.empty() || settings.only.find(c) != std::string::npos;
    };
    if (wanted('1')) DurableWriteCase(settings, table);
    if (wanted('2')) ShmWriteCase(settings, table);
    if (wanted('3')) RotationCase(settings, durable_root, true, table);
    if (wanted('3')) RotationCase(settings, shm_root, false, table);
    std::uint64_t guarded_allocations = 0, guarded_writes = 0;
    if (wanted('4'))
        ThreadCase(settings, durable_root, true, table, guarded_allocations, guarded_writes);
    if (wanted('4'))
        ThreadCase(settings, shm_root, false, table, guarded_allocations, guarded_writes);
#if defined(SCRIVLET_BENCH_SPDLOG)
    if (wanted('5')) PeerCase(settings, table);
#endif
    std::uint64_t ring_allocations = 0, ring_writes = 0;
    const std::string chart = settings.chart_data;
    if (wanted('6')) {
        GroupCommitCase(settings, durable_root, true, table, ring_allocations, ring_writes,
                        chart.empty() ? "" : chart + "-durable.dat");
        RingCCase(settings, durable_root, true, table);
        GroupCommitCase(settings, shm_root, false, table, ring_allocations, ring_writes,
                        chart.empty() ? "" : chart + "-shm.dat");
        RingCCase(settings, shm_root, false, table);
    }
    if (wanted('7')) {
        HeapCase(settings, table, guarded_allocations, guarded_writes, ring_allocations,
                 ring_writes);
    }

    table.Print();
    std::printf(
        "\nratio: Scrivlet / baseline, the median of the ratios of runs taken side by side "
        "(records/s: higher is better; us: lower is better).\n");
    std::printf("bytes: library and raw rings left files of equal sizes in %d of %d runs\n",
                g_bytes.runs - g_bytes.mismatches, g_bytes.runs);
    RemoveFolder(settings.shm);
    return g_bytes.mismatches == 0 ? 0 : 1;
}

}  // namespace scrivlet::bench
