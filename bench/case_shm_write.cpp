// Case 2: Write on the RAM file system, where the storage costs next to nothing and the library's
// own work shows. For each record size, the time per Write against the raw loop's (the target: at
// most 1.05 of it), then the median and tail latency of both; last, the instructions per Write
// that the profiler counted, when bench/run passed them on.
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "runs.h"

namespace scrivlet::bench {

void ShmWriteCase(const Settings& settings, Table& table) {
    const std::string lib_folder = settings.shm + "/lib";
    const std::string raw_folder = settings.shm + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kFileCount);
    for (unsigned int size : kRecordSizes) {
        const std::vector<char> record = MakeRecord(size);
        Side lib, raw;
        AlternateWrites(settings.rounds, lib_folder, raw_folder, shape, record,
                        settings.shm_records, lib, raw);
        const std::string name = "2 /dev/shm " + SizeName(size);
        // Per-Write time: the inverse of the rate of each run.
        std::vector<double> lib_us, raw_us;
        for (double r : lib.figures) lib_us.push_back(1e6 / r);
        for (double r : raw.figures) raw_us.push_back(1e6 / r);
        const double ratio = PairedRatio(lib_us, raw_us);
        table.Add(Row{name + ": us per Write", Fixed(Median(lib_us), 3),
                      Fixed(Median(raw_us), 3) + " raw", Fixed(ratio, 3), "<= 1.05",
                      Verdict(ratio <= 1.05)});
        table.Add(LatencyRow(name, lib, raw, 2));
    }
    RemoveFolder(lib_folder);
    RemoveFolder(raw_folder);

    if (!settings.have_instructions) {
        table.Add(
            Row{"2 /dev/shm 512 B: instructions per Write", "not measured", "-", "-", "-", "-"});
        return;
    }
    table.Add(Row{"2 /dev/shm 512 B: instructions per Write (callgrind, user space)",
                  Grouped(settings.instructions_lib), Grouped(settings.instructions_raw) + " raw",
                  Fixed(settings.instructions_lib / settings.instructions_raw, 2), "-", "-"});
    if (settings.instructions_guarded > 0) {
        table.Add(
            Row{"2 /dev/shm 512 B: instructions per TQCLogFileM_1::Write",
                Grouped(settings.instructions_guarded), Grouped(settings.instructions_raw) + " raw",
                Fixed(settings.instructions_guarded / settings.instructions_raw, 2), "-", "-"});
    }
}

}  // namespace scrivlet::bench
