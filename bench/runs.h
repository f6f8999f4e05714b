// What the cases share to take their runs: the ring of the throughput cases, records, the
// folders of the contenders, one timed run through the library or the raw ring, the check that
// both left files of equal sizes, and the rows and verdicts of the table.
#ifndef SCRIVLET_BENCH_RUNS_H
#define SCRIVLET_BENCH_RUNS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cases.h"
#include "lib_ring.h"
#include "measure.h"
#include "raw_ring.h"

namespace scrivlet::bench {

typedef LibRing<TQCLogFile_1> Lib;
typedef LibRing<TQCLogFileM_1> LibM;

// The ring of the throughput cases: the library's default file size and count.
const unsigned int kFileSize = 10485760;
const unsigned int kFileCount = 5;
const unsigned int kRecordSizes[] = {64, 512, 4096};

// A record of the given size: printable bytes ending in a line feed, the same for every side.
std::vector<char> MakeRecord(unsigned int size);

// "64 B", "4 KiB".
std::string SizeName(unsigned int size);

// What one contender gave over its runs.
struct Side {
    std::vector<double> figures;  // per run: records/s, or microseconds per operation
    Latencies latencies;
};

// Creates and empties folder; ends the benchmark when it cannot.
void Prepare(const std::string& folder);

// Runs of the same bytes through the library and the raw ring must leave files of the same
// sizes; a difference would make the comparison meaningless.
struct ByteCheck {
    int runs = 0;
    int mismatches = 0;
    void Compare(const std::string& a, const std::string& b);
};

extern ByteCheck g_bytes;

// One timed run of count Writes through the library (set-up and closing untimed): adds the rate
// to side's figures and every Write's latency to its latencies.
void RunLibrary(const std::string& folder, const std::vector<char>& record, unsigned int count,
                Side& side);

// The same run through the raw ring; a failed write ends the benchmark.
void RunRaw(const std::string& folder, const Shape& shape, const std::vector<char>& record,
            unsigned int count, Side& side);

// rounds runs of count Writes of record through the library (in lib_folder) and the raw ring (in
// raw_folder), taken in alternation, each pair checked for files of equal sizes.
void AlternateWrites(int rounds, const std::string& lib_folder, const std::string& raw_folder,
                     const Shape& shape, const std::vector<char>& record, unsigned int count,
                     Side& lib, Side& raw);

// The row of median and tail latency of the library against the raw ring.
Row LatencyRow(const std::string& name, Side& lib, Side& raw, int decimals);

// The shape of the library's ring for the raw side to copy.
Shape LibraryShape(const std::string& folder, unsigned int file_size, unsigned int file_count);

// count calls of put shared by threads threads, each call timed, from the first thread's start
// to the last thread's end. Returns the aggregate rate; adds every call's latency to latencies and
// to allocations what the process allocated while the threads were putting.
double RunThreads(unsigned int threads, unsigned int count, Latencies& latencies,
                  std::uint64_t& allocations, const std::function<void()>& put);

// One run of the guarded class with threads threads sharing one object, count records in all,
// through RunThreads.
double RunGuarded(const std::string& folder, const std::vector<char>& record, unsigned int count,
                  unsigned int threads, Latencies& latencies, std::uint64_t& allocations);

// "met" or "MISSED".
std::string Verdict(bool met);

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_RUNS_H
