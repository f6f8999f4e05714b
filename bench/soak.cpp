// scrivlet_soak: long runs that CI does not make. bench/soak builds and runs it.
//
//   scrivlet_soak soak <folder> <records> <threads>
//       THREADS threads share one TQCLogFileM_1 and write RECORDS records of 48 bytes in all into
//       a ring of 4 files of 688 bytes (counter, header "soak", footer "end"), so that every tenth
//       record rotates. Prints the time, rotations/s, records/s, the resident memory after a
//       tenth of the records, after nine tenths and at the end, the peak (VmHWM) and the open
//       descriptors before and after; fails when a Write fails or memory or descriptors grew.
//   scrivlet_soak rotations <folder> <rotations> <files>
//       Times ROTATIONS rotations (Switch(false), Switch(true)) of a ring of FILES files of
//       64 KiB in FOLDER, each after one record of 512 bytes (untimed); prints the median and
//       mean microseconds per rotation. With more files than rotations every rotation creates
//       its file; with few, the rotations replace files of the ring.
//
// The file is divided into: the measurements of the process (/proc), the soak, the rotation
// timing and main.
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "scrivlet/scrivlet.h"

namespace scrivlet {
namespace bench {
namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;
typedef TQCLogFile_1::tagInitData_1 InitData;
typedef std::chrono::steady_clock Clock;

const unsigned kRecordSize = 48;
const unsigned kSoakFiles = 4;
const unsigned kSoakFileSize = 688;

// ---- The process ---------------------------------------------------------------------------

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), or 0.
long StatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    }
    return 0;
}

// The open descriptors of the process.
int OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count - 3;  // ".", ".." and the descriptor of the listing itself
}

void Put(TQ_WCHAR* field, std::size_t elements, const std::string& text) {
    for (std::size_t i = 0; i < elements; ++i) field[i] = i < text.size() ? text[i] : 0;
}

InitData Config(const std::string& folder, unsigned files, unsigned size, bool lines) {
    InitData init = {};
    init.uiFileCount = files;
    init.uiFileSize = size;
    init.bCounter = lines;
    Put(init.szFolder, 196, folder);
    Put(init.szFileName, 56, "soak");
    if (lines) {
        Put(init.szHeader, 64, "soak");
        Put(init.szFooter, 64, "end");
    }
    return init;
}

[[noreturn]] void Die(const char* what, const Info& info) {
    std::fprintf(stderr, "scrivlet_soak: %s failed: module %u, location %u, error %u, value %u\n",
                 what, info.uiModule, info.uiLocation, info.uiError, info.uiValue);
    std::exit(1);
}

// The guarded class, telling how many files it has opened (its counter starts at 1).
class CountingLog : public TQCLogFileM_1 {
  public:
    unsigned long FilesOpened() const { return m_uiCounter - 1; }
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// ---- The soak --------------------------------------------------------------------------------

int Soak(const std::string& folder, unsigned long records, unsigned threads) {
    const int descriptors_before = OpenDescriptors();
    CountingLog log;
    InitData init = Config(folder, kSoakFiles, kSoakFileSize, true);
    Info info = {};
    if (!log.Init(&init, &info) || !log.Switch(true, &info)) Die("Init and Switch(true)", info);

    std::atomic<unsigned long> written{0};
    std::atomic<unsigned> started{0};  // threads that have written their first record
    std::atomic<bool> failed{false};
    auto writer = [&](unsigned thread) {
        const unsigned long share = records / threads + (thread < records % threads ? 1 : 0);
        for (unsigned long n = 0; n < share && !failed; ++n) {
            // "thread T record N" padded with dots to 47 bytes, then LF.
            char record[kRecordSize];
            std::memset(record, '.', kRecordSize);
            char text[40];
            const int length = std::snprintf(text, sizeof text, "thread.%u.record.%lu", thread, n);
            std::memcpy(record, text, static_cast<std::size_t>(length));
            record[kRecordSize - 1] = '\n';
            Info mine = {};
            if (!log.Write(record, kRecordSize, &mine)) {
                failed = true;
                Die("Write", mine);
            }
            if (n == 0) ++started;
            ++written;
        }
    };
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) workers.emplace_back(writer, t);
    // Resident memory once every thread has written and a tenth of the records are written, and
    // once nine tenths are: the library allocates nothing, so the run must not hold more later.
    // (Ending threads take a few pages of their own, so the figure after the join is only printed.)
    auto resident_at = [&](unsigned long count) {
        while ((written < count || started < threads) && !failed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return StatusKib("VmRSS");
    };
    const int descriptors_during = OpenDescriptors();  // first: its listing takes heap pages
    const long rss_early = resident_at(records / 10);
    const long rss_late = resident_at(records / 10 * 9);
    for (std::thread& worker : workers) worker.join();
    const double seconds = Seconds(start);
    if (!log.Exit(&info)) Die("Exit", info);
    const long rss_end = StatusKib("VmRSS");
    const int descriptors_after = OpenDescriptors();
    const unsigned long rotations = log.FilesOpened() - 1;

    std::printf("records:      %lu by %u threads, %u bytes each\n", written.load(), threads,
                kRecordSize);
    std::printf("rotations:    %lu (ring of %u files of %u bytes, counter, header, footer)\n",
                rotations, kSoakFiles, kSoakFileSize);
    std::printf("time:         %.1f s\n", seconds);
    std::printf("rotations/s:  %.0f\n", rotations / seconds);
    std::printf("records/s:    %.0f\n", written / seconds);
    std::printf(
        "memory:       VmRSS %ld KiB after a tenth, %ld KiB after nine tenths, %ld KiB at the "
        "end; peak VmHWM %ld KiB\n",
        rss_early, rss_late, rss_end, StatusKib("VmHWM"));
    std::printf("descriptors:  %d before Init, %d during the run, %d after Exit\n",
                descriptors_before, descriptors_during, descriptors_after);
    // 1 MiB of slack: the kernel counts resident pages per CPU and sums them lazily, so VmRSS
    // wanders by some pages. A leak of one allocation per rotation would be over 15 MiB.
    const bool grew = rss_late > rss_early + 1024 || descriptors_after != descriptors_before;
    if (grew) std::printf("FAILED: memory or descriptors grew\n");
    return grew ? 1 : 0;
}

// ---- Rotation timing -------------------------------------------------------------------------

int Rotations(const std::string& folder, unsigned count, unsigned files) {
    TQCLogFile_1 log;
    InitData init = Config(folder, files, 65536, true);
    Info info = {};
    if (!log.Init(&init, &info) || !log.Switch(true, &info)) Die("Init and Switch(true)", info);
    const std::string record = std::string(511, 'r') + "\n";
    std::vector<double> times;
    times.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        if (!log.Write(record.data(), 512, &info)) Die("Write", info);
        const Clock::time_point start = Clock::now();
        if (!log.Switch(false, &info) || !log.Switch(true, &info)) Die("rotation", info);
        times.push_back(Seconds(start) * 1e6);
    }
    if (!log.Exit(&info)) Die("Exit", info);
    double total = 0;
    for (double t : times) total += t;
    std::sort(times.begin(), times.end());
    std::printf("%u rotations, ring of %u files: median %.0f us, mean %.0f us per rotation\n",
                count, files, times[times.size() / 2], total / count);
    return 0;
}

}  // namespace
}  // namespace bench
}  // namespace scrivlet

int main(int argc, char** argv) {
    namespace bench = scrivlet::bench;
    if (argc == 5 && std::strcmp(argv[1], "soak") == 0) {
        return bench::Soak(argv[2], std::strtoul(argv[3], nullptr, 10),
                           static_cast<unsigned>(std::atoi(argv[4])));
    }
    if (argc == 5 && std::strcmp(argv[1], "rotations") == 0) {
        return bench::Rotations(argv[2], static_cast<unsigned>(std::atoi(argv[3])),
                                static_cast<unsigned>(std::atoi(argv[4])));
    }
    std::fprintf(stderr,
                 "usage: scrivlet_soak soak <folder> <records> <threads>\n"
                 "       scrivlet_soak rotations <folder> <rotations> <files>\n");
    return 2;
}
