// One run of scrivlet::Ring: threads sharing one ring of raw records, each record durable when
// its call returns. Cases 6 (group commit) and the C interface's rows measure the class with it.
#ifndef SCRIVLET_BENCH_RING_RUN_H
#define SCRIVLET_BENCH_RING_RUN_H

#include <cstdint>
#include <string>
#include <vector>

#include "runs.h"
#include "scrivlet/ring.h"

namespace scrivlet::bench {

struct RingRun {
    double rate;
    double per_write;  // records per write-through call
    RingStats stats;
    double seconds;
};

// Writes count records (in all) of record from threads threads into a fresh ring in folder.
RingRun RunRing(const std::string& folder, const std::vector<char>& record, unsigned int count,
                unsigned int threads, Latencies& latencies, std::uint64_t& allocations);

}  // namespace scrivlet::bench

#endif
