// scrivlet_bench: the library against the physical limit (the same write(2) calls on the same
// file system with the same flags) and against its peer, in one run, printed as one table.
//
//   scrivlet_bench table --work DIR --shm DIR [--quick] [--instructions LIB RAW]
//                        [--instructions-guarded M] [--only CASES]
//   scrivlet_bench loop lib|libm|raw DIR SIZE COUNT [THREADS]
//
// "table" runs every case (or those whose numbers CASES lists, e.g. --only 24) and prints the
// table; DIR are folders for the files, one on the working file system and one on a RAM file
// system, created and emptied as needed. The
// instruction counts per Write come from a profiler run of "loop" (see bench/run), which writes
// COUNT records of SIZE bytes into DIR inside one function of each side (ScrivletBenchLibraryLoop,
// ScrivletBenchGuardedLoop for TQCLogFileM_1, ScrivletBenchRawLoop), so that the profiler can
// count only what happens within; THREADS (libm only) threads share the object.
#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "alloc_count.h"
#include "files.h"
#include "lib_ring.h"
#include "measure.h"
#include "raw_ring.h"
#if defined(SCRIVLET_BENCH_SPDLOG)
#include "peer_spdlog.h"
#endif

namespace bench {
namespace {

typedef LibRing<TQCLogFile_1> Lib;
typedef LibRing<TQCLogFileM_1> LibM;

// The ring of the throughput cases: the library's default file size and count.
const unsigned int kFileSize = 10485760;
const unsigned int kFileCount = 5;
const unsigned int kRecordSizes[] = {64, 512, 4096};

struct Settings {
    std::string work;
    std::string shm;
    bool quick = false;
    std::string only;  // the numbers of the cases to run; empty: all
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

// A record of the given size: printable bytes ending in a line feed, the same for every side.
std::vector<char> MakeRecord(unsigned int size) {
    std::vector<char> record(size);
    for (unsigned int i = 0; i < size; ++i) record[i] = static_cast<char>('a' + i % 26);
    record[size - 1] = '\n';
    return record;
}

std::string SizeName(unsigned int size) {
    return size >= 1024 ? std::to_string(size / 1024) + " KiB" : std::to_string(size) + " B";
}

// What one contender gave over its runs.
struct Side {
    std::vector<double> figures;  // per run: records/s, or microseconds per operation
    Latencies latencies;
};

void Prepare(const std::string& folder) {
    if (!EmptyFolder(folder)) {
        std::fprintf(stderr, "scrivlet_bench: cannot prepare folder %s\n", folder.c_str());
        std::exit(1);
    }
}

// Runs of the same bytes through the library and the raw ring must leave files of the same
// sizes; a difference would make the comparison meaningless.
struct ByteCheck {
    int runs = 0;
    int mismatches = 0;
    void Compare(const std::string& a, const std::string& b) {
        ++runs;
        if (FileSizes(a) != FileSizes(b)) ++mismatches;
    }
};

ByteCheck g_bytes;

// One timed run of count Writes through the library (set-up and closing untimed).
template <class Log>
void RunLibrary(const std::string& folder, const std::vector<char>& record, unsigned int count,
                Side& side) {
    Prepare(folder);
    Log log;
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

// The same run through the raw ring.
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

// The shape of the library's ring for the raw side to copy.
Shape LibraryShape(const std::string& folder, unsigned int file_size, unsigned int file_count) {
    Prepare(folder);
    Lib log;
    log.Start(folder, file_size, file_count);
    Shape shape = log.GetShape();
    log.Stop();
    return shape;
}

std::string Verdict(bool met) { return met ? "met" : "MISSED"; }

unsigned int Clamp(double value, unsigned int low, unsigned int high) {
    if (value < low) return low;
    if (value > high) return high;
    return static_cast<unsigned int>(value);
}

// Sets the record and rotation counts of the runs on the working file system so that each run
// takes about run_seconds, from a short raw probe of the storage: the median time of one 512-byte
// write, and of one rotation with the 64 KiB that precede it in the rotation case.
void Calibrate(Settings& s) {
    const std::string folder = s.work + "/probe";
    const Shape shape = LibraryShape(folder, kFileSize, 4);
    const std::vector<char> record = MakeRecord(512);
    const std::vector<char> fill = MakeRecord(65536);
    Prepare(folder);
    RawRing ring;
    bool ok = ring.Start(folder, shape);
    std::vector<double> writes, rotations;
    for (int i = 0; ok && i < 30; ++i) {
        const std::uint64_t start = NowNs();
        ok = ring.Write(record.data(), 512);
        writes.push_back(static_cast<double>(NowNs() - start) / 1e9);
    }
    for (int i = 0; ok && i < 6; ++i) {
        const std::uint64_t start = NowNs();
        ok = ring.Write(fill.data(), 65536) && ring.Rotate();
        rotations.push_back(static_cast<double>(NowNs() - start) / 1e9);
    }
    if (!ok || !ring.Stop()) {
        std::perror("scrivlet_bench: probe");
        std::exit(1);
    }
    RemoveFolder(folder);
    const double write_seconds = Median(writes);
    const double rotation_seconds = Median(rotations);
    s.durable_records = Clamp(s.run_seconds / write_seconds, 100, 5000);
    s.peer_records = s.durable_records;
    s.durable_thread_records = Clamp(1.25 * s.run_seconds / write_seconds, 100, 5000);
    s.durable_rotations = Clamp(2 * s.run_seconds / rotation_seconds, 8, 200);
    std::printf(
        "storage probe:  %.0f us per durable 512 B write, %.0f us per 64 KiB write and "
        "rotation\n",
        write_seconds * 1e6, rotation_seconds * 1e6);
    std::printf(
        "per run:        %u records (durable), %u (/dev/shm); %u rotations (durable), %u "
        "(/dev/shm)\n",
        s.durable_records, s.shm_records, s.durable_rotations, s.shm_rotations);
}

// Cases 1 and 2: throughput and latency of Write against the raw loop on one file system.
void WriteCases(const Settings& s, const std::string& root, bool durable, Table& table) {
    const std::string lib_folder = root + "/lib";
    const std::string raw_folder = root + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kFileCount);
    const unsigned int count = durable ? s.durable_records : s.shm_records;
    const char* where = durable ? "1 durable" : "2 /dev/shm";
    for (unsigned int size : kRecordSizes) {
        const std::vector<char> record = MakeRecord(size);
        Side lib, raw;
        for (int round = 0; round < s.rounds; ++round) {
            if (round % 2 == 0) {
                RunLibrary<Lib>(lib_folder, record, count, lib);
                RunRaw(raw_folder, shape, record, count, raw);
            } else {
                RunRaw(raw_folder, shape, record, count, raw);
                RunLibrary<Lib>(lib_folder, record, count, lib);
            }
            g_bytes.Compare(lib_folder, raw_folder);
        }
        const std::string name = std::string(where) + " " + SizeName(size);
        if (durable) {
            const double ratio = PairedRatio(lib.figures, raw.figures);
            table.Add(Row{name + ": records/s", Grouped(Median(lib.figures)),
                          Grouped(Median(raw.figures)) + " raw", Fixed(ratio, 3), ">= 0.99",
                          Verdict(ratio >= 0.99)});
        } else {
            // Per-Write time: the inverse of the rate of each run.
            std::vector<double> lib_us, raw_us;
            for (double r : lib.figures) lib_us.push_back(1e6 / r);
            for (double r : raw.figures) raw_us.push_back(1e6 / r);
            const double ratio = PairedRatio(lib_us, raw_us);
            table.Add(Row{name + ": us per Write", Fixed(Median(lib_us), 3),
                          Fixed(Median(raw_us), 3) + " raw", Fixed(ratio, 3), "<= 1.05",
                          Verdict(ratio <= 1.05)});
        }
        const double lib50 = lib.latencies.PercentileUs(50);
        const double lib99 = lib.latencies.PercentileUs(99);
        const double raw50 = raw.latencies.PercentileUs(50);
        const double raw99 = raw.latencies.PercentileUs(99);
        const int decimals = durable ? 0 : 2;
        table.Add(Row{name + ": p50 / p99 us",
                      Fixed(lib50, decimals) + " / " + Fixed(lib99, decimals),
                      Fixed(raw50, decimals) + " / " + Fixed(raw99, decimals) + " raw",
                      Fixed(lib50 / raw50, 2) + " / " + Fixed(lib99 / raw99, 2), "-", "-"});
    }
    RemoveFolder(lib_folder);
    RemoveFolder(raw_folder);
}

// Case 3: one rotation (footer, close, folder check, create, counter and header) against raw
// footer write, close, open with O_TRUNC, counter and header writes. Before each rotation the
// file gets 64 KiB of records (untimed), so that replacing a file of the ring frees real data.
void RotationCase(const Settings& s, const std::string& root, bool durable, Table& table) {
    const std::string lib_folder = root + "/lib";
    const std::string raw_folder = root + "/raw";
    const unsigned int file_count = 4;
    const Shape shape = LibraryShape(lib_folder, kFileSize, file_count);
    const std::vector<char> fill = MakeRecord(65536);
    const unsigned int rotations = durable ? s.durable_rotations : s.shm_rotations;
    Side lib, raw;
    auto run_lib = [&]() {
        Prepare(lib_folder);
        Lib log;
        log.Start(lib_folder, kFileSize, file_count);
        Latencies times;
        times.Reserve(rotations);
        for (unsigned int i = 0; i < rotations; ++i) {
            log.Put(fill.data(), static_cast<unsigned int>(fill.size()));
            const std::uint64_t start = NowNs();
            log.Rotate();
            times.Add(NowNs() - start);
        }
        log.Stop();
        lib.figures.push_back(times.PercentileUs(50));
        lib.latencies.Append(times);
    };
    auto run_raw = [&]() {
        Prepare(raw_folder);
        RawRing ring;
        bool ok = ring.Start(raw_folder, shape);
        Latencies times;
        times.Reserve(rotations);
        for (unsigned int i = 0; ok && i < rotations; ++i) {
            ok = ring.Write(fill.data(), static_cast<unsigned int>(fill.size()));
            const std::uint64_t start = NowNs();
            ok = ok && ring.Rotate();
            times.Add(NowNs() - start);
        }
        if (!ok || !ring.Stop()) {
            std::perror("scrivlet_bench: raw rotation");
            std::exit(1);
        }
        raw.figures.push_back(times.PercentileUs(50));
        raw.latencies.Append(times);
    };
    for (int round = 0; round < s.rounds; ++round) {
        if (round % 2 == 0) {
            run_lib();
            run_raw();
        } else {
            run_raw();
            run_lib();
        }
        g_bytes.Compare(lib_folder, raw_folder);
    }
    const double ratio = PairedRatio(lib.figures, raw.figures);
    const std::string name =
        std::string(durable ? "3 durable" : "3 /dev/shm") + " rotation: median us (p99)";
    table.Add(Row{
        name, Fixed(Median(lib.figures), 1) + " (" + Fixed(lib.latencies.PercentileUs(99), 0) + ")",
        Fixed(Median(raw.figures), 1) + " (" + Fixed(raw.latencies.PercentileUs(99), 0) + ") raw",
        Fixed(ratio, 3), "<= 1.2", Verdict(ratio <= 1.2)});
    RemoveFolder(lib_folder);
    RemoveFolder(raw_folder);
}

// One run of the guarded class with threads threads sharing one object, count records in all.
// Gives the aggregate rate; adds every Write's latency; counts the allocations of the Writes.
double RunThreads(const std::string& folder, const std::vector<char>& record, unsigned int count,
                  unsigned int threads, Latencies& latencies, std::uint64_t& allocations) {
    Prepare(folder);
    LibM log;
    log.Start(folder, kFileSize, kFileCount);
    std::vector<Latencies> each(threads);
    const unsigned int size = static_cast<unsigned int>(record.size());
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
            for (unsigned int i = 0; i < share; ++i) {
                log.Put(record.data(), size);
                const std::uint64_t after = NowNs();
                each[t].Add(after - before);
                before = after;
            }
            pthread_barrier_wait(&end_gate);
        });
    }
    pthread_barrier_wait(&start_gate);
    const std::uint64_t allocations_before = AllocationCount();
    const std::uint64_t start = NowNs();
    pthread_barrier_wait(&end_gate);
    const std::uint64_t end = NowNs();
    allocations += AllocationCount() - allocations_before;
    for (std::thread& worker : workers) worker.join();
    pthread_barrier_destroy(&start_gate);
    pthread_barrier_destroy(&end_gate);
    log.Stop();
    for (const Latencies& l : each) latencies.Append(l);
    return count / (static_cast<double>(end - start) / 1e9);
}

// Case 4: the guarded class with 1, 2, 4 and 8 threads against one thread of raw writes.
void ThreadCases(const Settings& s, const std::string& root, bool durable, Table& table,
                 std::uint64_t& guarded_allocations, std::uint64_t& guarded_writes) {
    const std::string lib_folder = root + "/libm";
    const std::string raw_folder = root + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kFileCount);
    const std::vector<char> record = MakeRecord(512);
    const unsigned int count = durable ? s.durable_thread_records : s.shm_thread_records;
    const unsigned int thread_counts[] = {1, 2, 4, 8};
    Side raw;
    Side guarded[4];
    for (int round = 0; round < s.thread_rounds; ++round) {
        const bool raw_first = round % 2 == 0;
        if (raw_first) RunRaw(raw_folder, shape, record, count, raw);
        for (int k = 0; k < 4; ++k) {
            const int i = raw_first ? k : 3 - k;
            guarded[i].figures.push_back(RunThreads(lib_folder, record, count, thread_counts[i],
                                                    guarded[i].latencies, guarded_allocations));
            guarded_writes += count;
        }
        if (!raw_first) RunRaw(raw_folder, shape, record, count, raw);
    }
    const double raw_rate = Median(raw.figures);
    const double raw99 = raw.latencies.PercentileUs(99);
    for (int i = 0; i < 4; ++i) {
        const double ratio = PairedRatio(guarded[i].figures, raw.figures);
        const std::string name = std::string(durable ? "4 durable" : "4 /dev/shm") +
                                 " 512 B TQCLogFileM_1 " + std::to_string(thread_counts[i]) +
                                 (thread_counts[i] == 1 ? " thread" : " threads") +
                                 ": records/s (p99 us)";
        const int decimals = durable ? 0 : 1;
        table.Add(Row{name,
                      Grouped(Median(guarded[i].figures)) + " (" +
                          Fixed(guarded[i].latencies.PercentileUs(99), decimals) + ")",
                      Grouped(raw_rate) + " (" + Fixed(raw99, decimals) + ") raw 1 thread",
                      Fixed(ratio, 3), ">= 0.95", Verdict(ratio >= 0.95)});
    }
    RemoveFolder(lib_folder);
    RemoveFolder(raw_folder);
}

#if defined(SCRIVLET_BENCH_SPDLOG)
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

// Case 5: the library against spdlog's rotating sink on the working file system.
void PeerCases(const Settings& s, const std::string& root, Table& table) {
    const std::string lib_folder = root + "/lib";
    const std::string flush_folder = root + "/spdlog-flush";
    const std::string sync_folder = root + "/spdlog-sync";
    for (unsigned int size : kRecordSizes) {
        const std::vector<char> record = MakeRecord(size);
        Side lib, flush, sync;
        for (int round = 0; round < s.rounds; ++round) {
            // Each of the three goes first, second and third in turn.
            for (int k = 0; k < 3; ++k) {
                switch ((round + k) % 3) {
                    case 0:
                        RunLibrary<Lib>(lib_folder, record, s.peer_records, lib);
                        break;
                    case 1:
                        RunPeer(flush_folder, record, s.peer_records, false, flush);
                        break;
                    default:
                        RunPeer(sync_folder, record, s.peer_records, true, sync);
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
#endif

// Allocations per Write and per rotation of one writer: small files, so that many Writes
// rotate; a Write during which the file number changed counts as a rotation.
struct HeapCount {
    std::uint64_t writes = 0;
    std::uint64_t write_allocations = 0;
    std::uint64_t rotations = 0;
    std::uint64_t rotation_allocations = 0;
    double PerWrite() const { return writes ? double(write_allocations) / double(writes) : 0; }
    double PerRotation() const {
        return rotations ? double(rotation_allocations) / double(rotations) : 0;
    }
};

const unsigned int kHeapFileSize = 65536;
const unsigned int kHeapRecords = 3000;

template <class Log>
void HeapLibrary(const std::string& folder, unsigned int size, HeapCount& heap) {
    Prepare(folder);
    const std::vector<char> record = MakeRecord(size);
    Log log;
    log.Start(folder, kHeapFileSize, 4);
    for (unsigned int i = 0; i < kHeapRecords; ++i) {
        const unsigned int number = log.FileNumber();
        const std::uint64_t before = AllocationCount();
        log.Put(record.data(), size);
        const std::uint64_t allocations = AllocationCount() - before;
        if (log.FileNumber() != number) {
            ++heap.rotations;
            heap.rotation_allocations += allocations;
        } else {
            ++heap.writes;
            heap.write_allocations += allocations;
        }
    }
    log.Stop();
}

#if defined(SCRIVLET_BENCH_SPDLOG)
void HeapPeer(const std::string& folder, unsigned int size, HeapCount& heap) {
    Prepare(folder);
    const std::vector<char> record = MakeRecord(size);
    SpdlogPeer peer;
    peer.Start(folder, kHeapFileSize, 4, false);
    for (unsigned int i = 0; i < kHeapRecords; ++i) {
        const unsigned int opens = peer.Opens();
        const std::uint64_t before = AllocationCount();
        peer.Put(record.data(), size);
        const std::uint64_t allocations = AllocationCount() - before;
        if (peer.Opens() != opens) {
            ++heap.rotations;
            heap.rotation_allocations += allocations;
        } else {
            ++heap.writes;
            heap.write_allocations += allocations;
        }
    }
    peer.Stop();
}
#endif

// Case 6: heap allocations.
void HeapCases(const Settings& s, Table& table, std::uint64_t guarded_allocations,
               std::uint64_t guarded_writes) {
    const std::string folder = s.shm + "/heap";
    HeapCount lib_rotation, guarded_rotation, peer_rotation;
    for (unsigned int size : kRecordSizes) {
        HeapCount lib, guarded, peer;
        HeapLibrary<Lib>(folder, size, lib);
        HeapLibrary<LibM>(folder, size, guarded);
        std::string peer_cell = "not built";
#if defined(SCRIVLET_BENCH_SPDLOG)
        HeapPeer(folder, size, peer);
        peer_cell = Fixed(peer.PerWrite(), 2) + " spdlog";
#endif
        const bool met = lib.write_allocations == 0 && guarded.write_allocations == 0;
        table.Add(Row{"6 heap " + SizeName(size) + ": allocations per Write (TQCLogFile_1 / M_1)",
                      Fixed(lib.PerWrite(), 2) + " / " + Fixed(guarded.PerWrite(), 2), peer_cell,
                      "-", "0", Verdict(met)});
        lib_rotation.rotations += lib.rotations;
        lib_rotation.rotation_allocations += lib.rotation_allocations;
        guarded_rotation.rotations += guarded.rotations;
        guarded_rotation.rotation_allocations += guarded.rotation_allocations;
        peer_rotation.rotations += peer.rotations;
        peer_rotation.rotation_allocations += peer.rotation_allocations;
    }
    std::string peer_cell = "not built";
#if defined(SCRIVLET_BENCH_SPDLOG)
    peer_cell = Fixed(peer_rotation.PerRotation(), 2) + " spdlog";
#endif
    const bool met =
        lib_rotation.rotation_allocations == 0 && guarded_rotation.rotation_allocations == 0;
    table.Add(
        Row{"6 heap: allocations per rotating Write (TQCLogFile_1 / M_1)",
            Fixed(lib_rotation.PerRotation(), 2) + " / " + Fixed(guarded_rotation.PerRotation(), 2),
            peer_cell, "-", "0", Verdict(met)});
    table.Add(
        Row{"6 heap: allocations per Write in the thread runs (M_1)",
            Fixed(guarded_writes ? double(guarded_allocations) / double(guarded_writes) : 0, 2),
            "-", "-", "0", Verdict(guarded_allocations == 0)});
    RemoveFolder(folder);
}

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
    Calibrate(s);
    std::printf("\n");
    std::fflush(stdout);

    const auto wanted = [&s](char c) {
        return s.only.empty() || s.only.find(c) != std::string::npos;
    };
    if (wanted('1')) WriteCases(s, durable_root, true, table);
    if (wanted('2')) WriteCases(s, shm_root, false, table);
    if (wanted('2') && s.have_instructions) {
        table.Add(Row{"2 /dev/shm 512 B: instructions per Write (callgrind, user space)",
                      Grouped(s.instructions_lib), Grouped(s.instructions_raw) + " raw",
                      Fixed(s.instructions_lib / s.instructions_raw, 2), "-", "-"});
        if (s.instructions_guarded > 0) {
            table.Add(Row{"2 /dev/shm 512 B: instructions per TQCLogFileM_1::Write",
                          Grouped(s.instructions_guarded), Grouped(s.instructions_raw) + " raw",
                          Fixed(s.instructions_guarded / s.instructions_raw, 2), "-", "-"});
        }
    } else if (wanted('2')) {
        table.Add(
            Row{"2 /dev/shm 512 B: instructions per Write", "not measured", "-", "-", "-", "-"});
    }
    if (wanted('3')) RotationCase(s, durable_root, true, table);
    if (wanted('3')) RotationCase(s, shm_root, false, table);
    std::uint64_t guarded_allocations = 0, guarded_writes = 0;
    if (wanted('4')) ThreadCases(s, durable_root, true, table, guarded_allocations, guarded_writes);
    if (wanted('4')) ThreadCases(s, shm_root, false, table, guarded_allocations, guarded_writes);
#if defined(SCRIVLET_BENCH_SPDLOG)
    if (wanted('5')) PeerCases(s, durable_root, table);
#endif
    if (wanted('6')) HeapCases(s, table, guarded_allocations, guarded_writes);

    table.Print();
    std::printf(
        "\nratio: Scrivlet / baseline, the median of the ratios of runs taken side by side "
        "(records/s: higher is better; us: lower is better).\n");
    std::printf("bytes: library and raw rings left files of equal sizes in %d of %d runs\n",
                g_bytes.runs - g_bytes.mismatches, g_bytes.runs);
    RemoveFolder(s.shm);
    return g_bytes.mismatches == 0 ? 0 : 1;
}

}  // namespace
}  // namespace bench

// The loops that the profiler counts (bench/run runs them under callgrind). Not static and
// not inlined, so that they keep their names.
extern "C" __attribute__((noinline)) void ScrivletBenchLibraryLoop(bench::Lib& log,
                                                                   const char* record,
                                                                   unsigned int size,
                                                                   unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) log.Put(record, size);
}

extern "C" __attribute__((noinline)) void ScrivletBenchGuardedLoop(bench::LibM& log,
                                                                   const char* record,
                                                                   unsigned int size,
                                                                   unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) log.Put(record, size);
}

extern "C" __attribute__((noinline)) void ScrivletBenchRawLoop(bench::RawRing& ring,
                                                               const char* record,
                                                               unsigned int size,
                                                               unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) {
        if (!ring.Write(record, size)) std::exit(1);
    }
}

namespace {

int RunLoop(const std::string& side, const std::string& folder, unsigned int size,
            unsigned int count, unsigned int threads) {
    if (threads == 0) return 2;
    // Files large enough that the counted loop never rotates.
    const unsigned int file_size = TQCLogFile_1::FILESIZE_MAX;
    if (static_cast<unsigned long long>(size) * count > file_size / 2) {
        std::fprintf(stderr, "scrivlet_bench: loop: too many bytes for one file\n");
        return 2;
    }
    const std::vector<char> record = bench::MakeRecord(size);
    bench::Prepare(folder);
    if (side == "lib") {
        bench::Lib log;
        log.Start(folder, file_size, 1);
        ScrivletBenchLibraryLoop(log, record.data(), size, count);
        log.Stop();
    } else if (side == "libm") {
        // threads threads share the object, each writing its share of the records.
        bench::LibM log;
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
        bench::Lib probe;
        probe.Start(folder, file_size, 1);
        const bench::Shape shape = probe.GetShape();
        probe.Stop();
        bench::Prepare(folder);
        bench::RawRing ring;
        if (!ring.Start(folder, shape)) return 1;
        ScrivletBenchRawLoop(ring, record.data(), size, count);
        if (!ring.Stop()) return 1;
    } else {
        return 2;
    }
    bench::RemoveFolder(folder);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: scrivlet_bench table --work DIR --shm DIR [--quick] "
                 "[--instructions LIB RAW] [--instructions-guarded M] [--only CASES]\n"
                 "       scrivlet_bench loop lib|libm|raw DIR SIZE COUNT [THREADS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "loop") == 0) {
        if (argc != 6 && argc != 7) return Usage();
        return RunLoop(argv[2], argv[3], static_cast<unsigned int>(std::atoi(argv[4])),
                       static_cast<unsigned int>(std::atoi(argv[5])),
                       argc == 7 ? static_cast<unsigned int>(std::atoi(argv[6])) : 1);
    }
    if (argc < 2 || std::strcmp(argv[1], "table") != 0) return Usage();
    bench::Settings s;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--work" && i + 1 < argc) {
            s.work = argv[++i];
        } else if (arg == "--shm" && i + 1 < argc) {
            s.shm = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            s.only = argv[++i];
        } else if (arg == "--quick") {
            s.quick = true;
        } else if (arg == "--instructions-guarded" && i + 1 < argc) {
            s.instructions_guarded = std::atof(argv[++i]);
        } else if (arg == "--instructions" && i + 2 < argc) {
            s.have_instructions = true;
            s.instructions_lib = std::atof(argv[++i]);
            s.instructions_raw = std::atof(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (s.work.empty() || s.shm.empty()) return Usage();
    if (s.quick) {
        s.rounds = 3;
        s.thread_rounds = 2;
        s.run_seconds = 0.1;
        s.shm_records = 5000;
        s.shm_rotations = 50;
        s.shm_thread_records = 5000;
    }
    return bench::RunTable(s);
}
