// The cases of the benchmark table and what they share: the settings of a run (from the command
// line and the storage probe), the probe itself, one function per case, and the three commands
// that main dispatches to (table, pipe, loop). Each case function adds its rows to the table; the
// cases are numbered as in the table: 1 durable Write, 2 Write on /dev/shm, 3 rotation, 4 threads,
// 5 the peer, 6 group commit, 7 heap allocations. The pipe command prints a table of its own.
#ifndef SCRIVLET_BENCH_CASES_H
#define SCRIVLET_BENCH_CASES_H

#include <cstdint>
#include <string>

#include "measure.h"

namespace scrivlet::bench {

struct Settings {
    std::string work;
    std::string shm;
    bool quick = false;
    std::string only;        // the numbers of the cases to run; empty: all
    std::string chart_data;  // prefix of the data files for the charts; empty: none
    bool have_instructions = false;
    double instructions_lib = 0;
    double instructions_raw = 0;
    double instructions_guarded = 0;  // 0: not measured
    int rounds = 9;                   // runs of each contender per measurement
    int thread_rounds = 5;            // the same for the thread cases
    double run_seconds = 0.8;         // aimed length of one run on the working file system
    // Records per run on the RAM file system (fixed) and on the working file system (set from
    // run_seconds and the speed of the storage, measured at the start).
    unsigned int shm_records = 40000;
    unsigned int shm_rotations = 400;
    unsigned int shm_thread_records = 40000;
    unsigned int durable_records = 0;
    unsigned int durable_rotations = 0;
    unsigned int durable_thread_records = 0;
    unsigned int peer_records = 0;
};

// Sets the record and rotation counts of the runs on the working file system so that each run
// takes about run_seconds, from a short raw probe of the storage, and prints what it found.
void ProbeStorage(Settings& settings);

// Case 1: Write's records/s and latency against the raw loop on the working file system.
void DurableWriteCase(const Settings& settings, Table& table);

// Case 2: Write's time and latency against the raw loop on the RAM file system, and the
// instructions per Write when the settings carry them.
void ShmWriteCase(const Settings& settings, Table& table);

// Case 3: one rotation against the raw ring's, in root (durable: the working file system).
void RotationCase(const Settings& settings, const std::string& root, bool durable, Table& table);

// Case 4: the guarded class with 1, 2, 4 and 8 threads against one thread of raw writes, in root.
// Adds the allocations made during the guarded Writes and the number of those Writes.
void ThreadCase(const Settings& settings, const std::string& root, bool durable, Table& table,
                std::uint64_t& guarded_allocations, std::uint64_t& guarded_writes);

#if defined(SCRIVLET_BENCH_SPDLOG)
// Case 5: the library against spdlog's rotating sink on the working file system.
void PeerCase(const Settings& settings, Table& table);
#endif

// Case 7: heap allocations per Write and per rotation; the thread cases' allocations are
// reported here too.
void HeapCase(const Settings& settings, Table& table, std::uint64_t guarded_allocations,
              std::uint64_t guarded_writes, std::uint64_t ring_allocations,
              std::uint64_t ring_writes);

// Case 6: scrivlet::Ring (group commit) with 1 to 16 threads against one thread of raw writes,
// and TQCLogFileM_1 and spdlog with an fdatasync per record with the same threads, in root.
// Adds the allocations made during the ring's writes and their number; writes the rates to
// chart_data (unless empty) for the chart.
void GroupCommitCase(const Settings& settings, const std::string& root, bool durable, Table& table,
                     std::uint64_t& ring_allocations, std::uint64_t& ring_writes,
                     const std::string& chart_data);

// Case 6 too: the ring through its C interface (ring_c.h) against scrivlet::Ring with 1 and 8
// threads, in root (durable: the working file system).
void RingCCase(const Settings& settings, const std::string& root, bool durable, Table& table);

// The table command: prints the machine's folders and the peer, probes the storage, runs the
// cases that settings.only names (all when empty) and prints the table. 0 when the library and the
// raw ring left files of equal sizes in every run, 1 otherwise.
int RunTable(Settings& settings);

// The pipe command: `scrivlet write` (the tool at tool) against s6-log, multilog and rotatelogs
// on the same input through a pipe into work, and the latency of a trickle (beside this
// program's durable-cat, self being this program); prints its table and writes lines/s and memory
// per logger to chart_data (unless empty). With trickle_only, the trickle alone and its target.
// 0 when the targets are met.
int RunPipe(const std::string& self, const std::string& tool, const std::string& work, bool quick,
            const std::string& chart_data, bool trickle_only = false);

// The loop command: count Writes of size bytes in folder through one side ("lib", "libm" with
// threads threads, or "raw"), within the functions the profiler counts. 0 on success, 1 when the
// raw ring fails, 2 on bad arguments.
int RunLoop(const std::string& side, const std::string& folder, unsigned int size,
            unsigned int count, unsigned int threads);

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_CASES_H
