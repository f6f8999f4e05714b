// The storage probe: before the cases run, a short raw probe of the working file system times one
// durable 512-byte write and one rotation with the 64 KiB that precede it in the rotation case
// (medians of a few), and sets the number of records and rotations per run from them, so that a
// run on slow or fast storage takes about the same time.
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

unsigned int Clamp(double value, unsigned int low, unsigned int high) {
    if (value < low) return low;
    if (value > high) return high;
    return static_cast<unsigned int>(value);
}

}  // namespace

void ProbeStorage(Settings& settings) {
    const std::string folder = settings.work + "/probe";
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
    settings.durable_records = Clamp(settings.run_seconds / write_seconds, 100, 5000);
    settings.peer_records = settings.durable_records;
    settings.durable_thread_records = Clamp(1.25 * settings.run_seconds / write_seconds, 100, 5000);
    settings.durable_rotations = Clamp(2 * settings.run_seconds / rotation_seconds, 8, 200);
    std::printf(
        "storage probe:  %.0f us per durable 512 B write, %.0f us per 64 KiB write and "
        "rotation\n",
        write_seconds * 1e6, rotation_seconds * 1e6);
    std::printf(
        "per run:        %u records (durable), %u (/dev/shm); %u rotations (durable), %u "
        "(/dev/shm)\n",
        settings.durable_records, settings.shm_records, settings.durable_rotations,
        settings.shm_rotations);
}

}  // namespace scrivlet::bench
