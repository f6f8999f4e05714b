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

namespace bench {

int RunTable(Settings& s) {
    Table table;
    const std::string durable_root = s.work;
    const std::string shm_root = s.shm;
    Prepare(s.work);
    Prepare(s.shm);
    std::printf("working folder: %s, %s\n", s.work.c_str(), FileSystemType(s.work).c_str());
    std::printf("RAM folder:     %s, %s\n", s.shm.c_str(), FileSystemType(s.shm).c_str());
#if defined(SCRIVLET_BENCH_SPDLOG)
    std::printf("peer:           %s, rotating_file_sink_mt\n", SpdlogPeer::Version().c_str());
#else
    std::printf("peer:           spdlog not found at build time; its cases are left out\n");
#endif
    std::printf("runs:           %d per contender and case, %d in the thread cases (%s)\n",
                s.rounds, s.thread_rounds, s.quick ? "quick" : "full");
    ProbeStorage(s);
    std::printf("\n");
    std::fflush(stdout);

    const auto wanted = [&s](char c) {
        return s.only.empty() || s.only.find(c) != std::string::npos;
    };
    if (wanted('1')) DurableWriteCase(s, table);
    if (wanted('2')) ShmWriteCase(s, table);
    if (wanted('3')) RotationCase(s, durable_root, true, table);
    if (wanted('3')) RotationCase(s, shm_root, false, table);
    std::uint64_t guarded_allocations = 0, guarded_writes = 0;
    if (wanted('4')) ThreadCase(s, durable_root, true, table, guarded_allocations, guarded_writes);
    if (wanted('4')) ThreadCase(s, shm_root, false, table, guarded_allocations, guarded_writes);
#if defined(SCRIVLET_BENCH_SPDLOG)
    if (wanted('5')) PeerCase(s, table);
#endif
    if (wanted('6')) HeapCase(s, table, guarded_allocations, guarded_writes);

    table.Print();
    std::printf(
        "\nratio: Scrivlet / baseline, the median of the ratios of runs taken side by side "
        "(records/s: higher is better; us: lower is better).\n");
    std::printf("bytes: library and raw rings left files of equal sizes in %d of %d runs\n",
                g_bytes.runs - g_bytes.mismatches, g_bytes.runs);
    RemoveFolder(s.shm);
    return g_bytes.mismatches == 0 ? 0 : 1;
}

}  // namespace bench
