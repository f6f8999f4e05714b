// Case 2: Write on the RAM file system, where the storage costs next to nothing and the library's
// own work shows. For each record size, the time per Write against the raw loop's (the target: at
// most 1.05 of it), then the median and tail latency of both; last, the instructions per Write
// that the profiler counted, when bench/run passed them on.
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "runs.h"

namespace bench {

void ShmWriteCase(const Settings& s, Table& table) {
    const std::string lib_folder = s.shm + "/lib";
    const std::string raw_folder = s.shm + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kFileCount);
    for (unsigned int size : kRecordSizes) {
        const std::vector<char> record = MakeRecord(size);
        Side lib, raw;
        AlternateWrites(s.rounds, lib_folder, raw_folder, shape, record, s.shm_records, lib, raw);
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

    if (!s.have_instructions) {
        table.Add(
            Row{"2 /dev/shm 512 B: instructions per Write", "not measured", "-", "-", "-", "-"});
        return;
    }
    table.Add(Row{"2 /dev/shm 512 B: instructions per Write (callgrind, user space)",
                  Grouped(s.instructions_lib), Grouped(s.instructions_raw) + " raw",
                  Fixed(s.instructions_lib / s.instructions_raw, 2), "-", "-"});
    if (s.instructions_guarded > 0) {
        table.Add(Row{"2 /dev/shm 512 B: instructions per TQCLogFileM_1::Write",
                      Grouped(s.instructions_guarded), Grouped(s.instructions_raw) + " raw",
                      Fixed(s.instructions_guarded / s.instructions_raw, 2), "-", "-"});
    }
}

}  // namespace bench
