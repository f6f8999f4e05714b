// The runs that several cases share: records and folders, one timed run through the library and
// through the raw ring, the alternation of the two, and the table's latency row and verdicts.
#include "runs.h"

#include <cstdio>
#include <cstdlib>

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

}  // namespace scrivlet::bench
