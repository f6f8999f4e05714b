// The runs that several cases share: records and folders, one timed run through the library and
// through the raw ring, the alternation of the two, runs of many threads, and the table's latency
// row and verdicts.
#include "runs.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "alloc_count.h"
#include "files.h"

namespace scrivlet::bench {

ByteCheck g_bytes;

std::vector<char> MakeRecord(unsigned int size) {
    std::vector<char> record(size);
    for (unsigned int i = 0; i < size; ++i) record[i] = static_cast<char>('a' + i % 26);
    record[size - 1] = '\n';
    return record;
}

std::string SizeName(unsigned int size) {
    return size >= 1024 ? std::to_string(size / 1024) + " KiB" : std::to_string(size) + " B";
}

void Prepare(const std::string& folder) {
    if (!EmptyFolder(folder)) {
        std::fprintf(stderr, "scrivlet_bench: cannot prepare folder %s\n", folder.c_str());
        std::exit(1);
    }
}

void ByteCheck::Compare(const std::string& a, const std::string& b) {
    ++runs;
    if (FileSizes(a) != FileSizes(b)) ++mismatches;
}

void RunLibrary(const std::string& folder, const std::vector<char>& record, unsigned int count,
                Side& side) {
    Prepare(folder);
    Lib log;
    log.Start(folder, kFileSize, kFileCount);
    side.latencies.Reserve(count);
    const unsigned int size = static_cast<unsigned int>(record.size());
    const std::uint64_t start = NowNs();
    std::uint64_t before = start;
    for (unsigned int i = 0; i < count; ++i) {
        log.Put(record.data(), size);
        const std::uint64_t after = NowNs();
        side.latencies.Add(after - before);
        before = after;
    }
    side.figures.push_back(count / (static_cast<double>(before - start) / 1e9));
    log.Stop();
}

void RunRaw(const std::string& folder, const Shape& shape, const std::vector<char>& record,
            unsigned int count, Side& side) {
    Prepare(folder);
    RawRing ring;
    if (!ring.Start(folder, shape)) {
        std::perror("scrivlet_bench: raw ring");
        std::exit(1);
    }
    side.latencies.Reserve(count);
    const unsigned int size = static_cast<unsigned int>(record.size());
    const std::uint64_t start = NowNs();
    std::uint64_t before = start;
    for (unsigned int i = 0; i < count; ++i) {
        if (!ring.Write(record.data(), size)) {
            std::perror("scrivlet_bench: raw write");
            std::exit(1);
        }
        const std::uint64_t after = NowNs();
        side.latencies.Add(after - before);
        before = after;
    }
    side.figures.push_back(count / (static_cast<double>(before - start) / 1e9));
    ring.Stop();
}

void AlternateWrites(int rounds, const std::string& lib_folder, const std::string& raw_folder,
                     const Shape& shape, const std::vector<char>& record, unsigned int count,
                     Side& lib, Side& raw) {
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            RunLibrary(lib_folder, record, count, lib);
            RunRaw(raw_folder, shape, record, count, raw);
        } else {
            RunRaw(raw_folder, shape, record, count, raw);
            RunLibrary(lib_folder, record, count, lib);
        }
        g_bytes.Compare(lib_folder, raw_folder);
    }
}

Row LatencyRow(const std::string& name, Side& lib, Side& raw, int decimals) {
    const double lib50 = lib.latencies.PercentileUs(50);
    const double lib99 = lib.latencies.PercentileUs(99);
    const double raw50 = raw.latencies.PercentileUs(50);
    const double raw99 = raw.latencies.PercentileUs(99);
    return Row{name + ": p50 / p99 us",
               Fixed(lib50, decimals) + " / " + Fixed(lib99, decimals),
               Fixed(raw50, decimals) + " / " + Fixed(raw99, decimals) + " raw",
               Fixed(lib50 / raw50, 2) + " / " + Fixed(lib99 / raw99, 2),
               "-",
               "-"};
}

Shape LibraryShape(const std::string& folder, unsigned int file_size, unsigned int file_count) {
    Prepare(folder);
    Lib log;
    log.Start(folder, file_size, file_count);
    Shape shape = log.GetShape();
    log.Stop();
    return shape;
}

std::string Verdict(bool met) { return met ? "met" : "MISSED"; }

double RunThreads(unsigned int threads, unsigned int count, Latencies& latencies,
                  std::uint64_t& allocations, const std::function<void()>& put) {
    std::vector<Latencies> each(threads);
    std::atomic<std::uint64_t> first_start{~std::uint64_t{0}}, last_end{0};
    pthread_barrier_t start_gate, end_gate;
    pthread_barrier_init(&start_gate, nullptr, threads + 1);
    pthread_barrier_init(&end_gate, nullptr, threads + 1);
    std::vector<std::thread> workers;
    for (unsigned int t = 0; t < threads; ++t) {
        const unsigned int share = count / threads + (t < count % threads ? 1 : 0);
        each[t].Reserve(share);
        workers.emplace_back([&, t, share]() {
            pthread_barrier_wait(&start_gate);
            std::uint64_t before = NowNs();
            std::uint64_t seen = first_start.load();
            while (before < seen && !first_start.compare_exchange_weak(seen, before)) {
            }
            for (unsigned int i = 0; i < share; ++i) {
                put();
                const std::uint64_t after = NowNs();
                each[t].Add(after - before);
                before = after;
            }
            seen = last_end.load();
            while (before > seen && !last_end.compare_exchange_weak(seen, before)) {
            }
            pthread_barrier_wait(&end_gate);
        });
    }
    const std::uint64_t allocations_before = AllocationCount();
    pthread_barrier_wait(&start_gate);
    pthread_barrier_wait(&end_gate);
    allocations += AllocationCount() - allocations_before;
    for (std::thread& worker : workers) worker.join();
    pthread_barrier_destroy(&start_gate);
    pthread_barrier_destroy(&end_gate);
    for (const Latencies& l : each) latencies.Append(l);
    return count / (static_cast<double>(last_end - first_start) / 1e9);
}

double RunGuarded(const std::string& folder, const std::vector<char>& record, unsigned int count,
                  unsigned int threads, Latencies& latencies, std::uint64_t& allocations) {
    Prepare(folder);
    LibM log;
    log.Start(folder, kFileSize, kFileCount);
    const unsigned int size = static_cast<unsigned int>(record.size());
    const double rate = RunThreads(threads, count, latencies, allocations,
                                   [&log, &record, size] { log.Put(record.data(), size); });
    log.Stop();
    return rate;
}

}  // namespace scrivlet::bench
