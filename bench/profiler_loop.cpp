// The loop command, for the profiler: bench/run runs it under callgrind and counts only what
// happens inside the three loop functions below, one for each side (the library, the guarded
// class, the raw ring). They have C names, are not static and are not inlined, so that they keep
// their names; the loop command sets up the side, calls its loop once and cleans up.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cases.h"
#include "files.h"
#include "runs.h"

// Writes count records of size bytes through log (or ring); the profiler counts what happens
// within.
extern "C" __attribute__((noinline)) void ScrivletBenchLibraryLoop(scrivlet::bench::Lib& log,
                                                                   const char* record,
                                                                   unsigned int size,
                                                                   unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) log.Put(record, size);
}

extern "C" __attribute__((noinline)) void ScrivletBenchGuardedLoop(scrivlet::bench::LibM& log,
                                                                   const char* record,
                                                                   unsigned int size,
                                                                   unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) log.Put(record, size);
}

extern "C" __attribute__((noinline)) void ScrivletBenchRawLoop(scrivlet::bench::RawRing& ring,
                                                               const char* record,
                                                               unsigned int size,
                                                               unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) {
        if (!ring.Write(record, size)) std::exit(1);
    }
}

namespace scrivlet::bench {

int RunLoop(const std::string& side, const std::string& folder, unsigned int size,
            unsigned int count, unsigned int threads) {
    if (threads == 0) return 2;
    // Files large enough that the counted loop never rotates.
    const unsigned int file_size = TQCLogFile_1::FILESIZE_MAX;
    if (static_cast<unsigned long long>(size) * count > file_size / 2) {
        std::fprintf(stderr, "scrivlet_bench: loop: too many bytes for one file\n");
        return 2;
    }
    const std::vector<char> record = MakeRecord(size);
    Prepare(folder);
    if (side == "lib") {
        Lib log;
        log.Start(folder, file_size, 1);
        ScrivletBenchLibraryLoop(log, record.data(), size, count);
        log.Stop();
    } else if (side == "libm") {
        // threads threads share the object, each writing its share of the records.
        LibM log;
        log.Start(folder, file_size, 1);
        std::vector<std::thread> workers;
        for (unsigned int t = 1; t < threads; ++t) {
            workers.emplace_back([&log, &record, size, count, threads]() {
                ScrivletBenchGuardedLoop(log, record.data(), size, count / threads);
            });
        }
        ScrivletBenchGuardedLoop(log, record.data(), size,
                                 count - (threads - 1) * (count / threads));
        for (std::thread& worker : workers) worker.join();
        log.Stop();
    } else if (side == "raw") {
        Lib probe;
        probe.Start(folder, file_size, 1);
        const Shape shape = probe.GetShape();
        probe.Stop();
        Prepare(folder);
        RawRing ring;
        if (!ring.Start(folder, shape)) return 1;
        ScrivletBenchRawLoop(ring, record.data(), size, count);
        if (!ring.Stop()) return 1;
    } else {
        return 2;
    }
    RemoveFolder(folder);
    return 0;
}

}  // namespace scrivlet::bench
