// Case 3: one rotation (footer, close, folder check, create, counter and header) against the raw
// ring's footer write, close, open with O_TRUNC, counter and header writes, on one file system.
// Before each rotation the file gets 64 KiB of records (untimed), so that replacing a file of the
// ring frees real data. The row gives the median over runs of each run's median rotation, and the
// p99 of all rotations; the target: at most 1.2 times the raw ring's.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "runs.h"

namespace scrivlet::bench {
namespace {

// A ring of four files: each rotation replaces a file that holds data.
const unsigned int kRotationFileCount = 4;

}  // namespace

void RotationCase(const Settings& settings, const std::string& root, bool durable, Table& table) {
    const std::string lib_folder = root + "/lib";
    const std::string raw_folder = root + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kRotationFileCount);
    const std::vector<char> fill = MakeRecord(65536);
    const unsigned int rotations = durable ? settings.durable_rotations : settings.shm_rotations;
    Side lib, raw;
    auto run_lib = [&]() {
        Prepare(lib_folder);
        Lib log;
        log.Start(lib_folder, kFileSize, kRotationFileCount);
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
    for (int round = 0; round < settings.rounds; ++round) {
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

}  // namespace scrivlet::bench
