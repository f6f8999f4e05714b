// Counting of heap allocations in the benchmark process.
//
// alloc_count.cpp replaces malloc, calloc, realloc and the aligned allocators of the C library for
// the whole process (the shared libraries loaded into it included), forwarding each call to the C
// library's own allocator and counting it. operator new allocates through malloc, so it is counted
// too. The count is process-wide: read it around a stretch of code that runs while no other
// thread allocates.
#ifndef SCRIVLET_BENCH_ALLOC_COUNT_H
#define SCRIVLET_BENCH_ALLOC_COUNT_H

#include <cstdint>

namespace scrivlet::bench {

// Allocations (of any kind, frees not counted) made by the process so far.
std::uint64_t AllocationCount();

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_ALLOC_COUNT_H
