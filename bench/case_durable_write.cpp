// Case 1: Write on the working file system, where every record waits for the storage. For each
// record size, the library's records/s against the raw loop's (the target: at least 0.99 of it),
// then the median and tail latency of both.
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "runs.h"

namespace scrivlet::bench {

void DurableWriteCase(const Settings& settings, Table& table) {
    const std::string lib_folder = settings.work + "/lib";
    const std::string raw_folder = settings.work + "/raw";
    const Shape shape = LibraryShape(lib_folder, kFileSize, kFileCount);
    for (unsigned int size : kRecordSizes) {
        const std::vector<char> record = MakeRecord(size);
        Side lib, raw;
        AlternateWrites(settings.rounds, lib_folder, raw_folder, shape, record,
                        settings.durable_records, lib, raw);
        const std::string name = "1 durable " + SizeName(size);
        const double ratio = PairedRatio(lib.figures, raw.figures);
        table.Add(Row{name + ": records/s", Grouped(Median(lib.figures)),
                      Grouped(Median(raw.figures)) + " raw", Fixed(ratio, 3), ">= 0.99",
                      Verdict(ratio >= 0.99)});
        table.Add(LatencyRow(name, lib, raw, 0));
    }
    RemoveFolder(lib_folder);
    RemoveFolder(raw_folder);
}

}  // namespace scrivlet::bench
