// Crash safety on POSIX, with real processes and a real small file system.
//
// - Kill rounds: a child host (tests/crash/) writes numbered records and reports each one whose
//   Write returned true; the parent kills it with SIGKILL at a random moment. Every acknowledged
//   record must then be in the ring, whole and in order (up to what the ring holds), and a new
//   object must be able to write the ring again. SCRIVLET_CRASH_ROUNDS sets the number of rounds
//   (default 50).
// (A second writer process is refused at its open: RealFaults.SecondWriterOfAFileIsRefused.)
// - Disk full, on a tmpfs of a few pages (needs root to mount; skipped otherwise): a full disk
//   during a rotation and during a record is reported at its place, nothing written before is
//   lost, and writing resumes once there is space again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crash/record.h"
#include "support/child.h"
#include "support/support.h"

using namespace scrivlet::test;
namespace crash = scrivlet::crash;
namespace fs = std::filesystem;

namespace {

// Runs the child host of class cls on folder and kills it with SIGKILL delay_ms after its first
// report; returns every record number it reported before it died.
std::vector<unsigned> KilledChild(char cls, const std::string& folder, int delay_ms) {
    const char which[2] = {cls, 0};
    Child child([&] {
        return execl(SCRIVLET_CRASH_CHILD, SCRIVLET_CRASH_CHILD, which, folder.c_str(),
                     static_cast<char*>(nullptr));
    });
    std::vector<unsigned> acks;
    unsigned n;
    auto take = [&](Clock::time_point end) {
        while (child.Read(&n, sizeof n, end)) acks.push_back(n);
    };
    if (child.Read(&n, sizeof n, Clock::now() + milliseconds(5000))) {
        acks.push_back(n);
        take(Clock::now() + milliseconds(delay_ms));
    }
    child.End(milliseconds(0));
    take(Clock::now() + milliseconds(5000));
    return acks;
}

std::string RingFile(const std::string& folder, unsigned n) {
    return folder + "/crash_000" + std::to_string(n) + ".log";
}

// Checks the ring after a kill: every file a run of consecutive whole records, the files one run
// together, ending at the last acknowledged record (or the one after it, written but not yet
// reported), and holding at least every acknowledged record that the ring has room for.
void CheckRing(const std::string& folder, const std::vector<unsigned>& acks) {
    for (std::size_t i = 0; i < acks.size(); ++i) ASSERT_EQ(acks[i], i + 1) << "reports in order";
    const unsigned last = acks.empty() ? 0 : acks.back();
    std::map<unsigned, unsigned> runs;  // first record of a file -> its last
    for (unsigned f = 1; f <= crash::kFileCount; ++f) {
        const std::string bytes = ReadBytes(RingFile(folder, f));
        unsigned first = 0, previous = 0;
        for (std::size_t at = 0; at + crash::kRecordSize <= bytes.size();
             at += crash::kRecordSize) {
            const unsigned n = static_cast<unsigned>(std::stoul(bytes.substr(at + 1, 10)));
            ASSERT_EQ(bytes.substr(at, crash::kRecordSize), crash::Record(n)) << "file " << f;
            if (first == 0) first = n;
            ASSERT_TRUE(previous == 0 || n == previous + 1) << "file " << f << " record " << n;
            previous = n;
        }
        // A torn tail can only be the record that was being written when the child died.
        ASSERT_TRUE(bytes.size() % crash::kRecordSize == 0 || previous == last) << "file " << f;
        if (first != 0) runs[first] = previous;
    }
    if (last == 0) return;
    ASSERT_FALSE(runs.empty()) << "acknowledged records missing";
    unsigned expected = runs.begin()->first;
    for (const auto& run : runs) {
        ASSERT_EQ(run.first, expected) << "gap between files";
        expected = run.second + 1;
    }
    const unsigned newest = expected - 1;
    EXPECT_TRUE(newest == last || newest == last + 1) << newest << " vs " << last;
    const unsigned kept = (crash::kFileCount - 1) * crash::kRecordsPerFile;
    EXPECT_LE(runs.begin()->first, last > kept ? last - kept + 1 : 1u) << "lost records";
}

TEST(CrashSafety, KilledWriterLosesNoAcknowledgedRecord) {
    TempDir dir;
    const char* env = std::getenv("SCRIVLET_CRASH_ROUNDS");
    const int rounds = env != nullptr ? std::atoi(env) : 50;
    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, 160);
    int rotated = 0;
    for (int round = 0; round < rounds; ++round) {
        const char cls = round % 2 ? 'm' : 's';
        const std::string folder = "r" + std::to_string(round);
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) +
                     " class " + cls);
        const std::vector<unsigned> acks = KilledChild(cls, folder, delay(random));
        ASSERT_FALSE(acks.empty()) << "the child wrote nothing";
        if (acks.back() > crash::kRecordsPerFile) ++rotated;
        ASSERT_NO_FATAL_FAILURE(CheckRing(folder, acks));

        // A new object writes the ring again: it starts at file 1 and replaces it.
        TQCLogFileM_1 next;
        Info info = NoError();
        ASSERT_TRUE(Open(next, Config(crash::kFileCount, crash::kFileSize, "crash", folder), &info))
            << ::testing::PrintToString(info);
        const std::string record = crash::Record(1000000);
        ASSERT_TRUE(next.Write(record.data(), crash::kRecordSize, &info));
        ASSERT_TRUE(next.Exit(&info));
        EXPECT_EQ(ReadBytes(RingFile(folder, 1)), record);
    }
    std::printf("%d rounds, %d killed after a rotation\n", rounds, rotated);
}

// A tmpfs of a few pages mounted on a directory; unmounted when it ends.
class SmallDisk {
  public:
    explicit SmallDisk(const std::string& at) : at_(at) {
        fs::create_directory(at);
        mounted_ = geteuid() == 0 && mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Takes every free page with a filler file; Free gives them back.
    void Fill() {
        const int fd = open((at_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const std::string page(4096, 'f');
        while (write(fd, page.data(), page.size()) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        close(fd);
    }
    void Free() { unlink((at_ + "/filler").c_str()); }

  private:
    std::string at_;
    bool mounted_;
};

TEST(CrashSafety, DiskFullDuringRotationAndRecord) {
    TempDir dir;
    SmallDisk disk("small");
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_EQ(sysconf(_SC_PAGESIZE), 4096);
    // Two records of one page fill a file up to its footer line (31 characters, 62 bytes), so the
    // third record rotates, and the footer needs a page of its own.
    const std::string page1(4096, '1'), page2(4096, '2'), page3(4096, '3'), page4(4096, '4');
    TQCLogFile_1 log;
    Info info = NoError();
    ASSERT_TRUE(Open(log, Config(3, 2 * 4096 + 62, "ring", "small", "", "F"), &info));
    ASSERT_TRUE(log.Write(page1.data(), 4096, &info));
    ASSERT_TRUE(log.Write(page2.data(), 4096, &info));

    // Full during the rotation: the footer of file 1 does not fit.
    disk.Fill();
    EXPECT_FALSE(log.Write(page3.data(), 4096, &info));
    EXPECT_EQ(info, (Info{46, 112, 2, 15, 0, 1}));  // ERROR_DISK_FULL
    EXPECT_EQ(ReadBytes("small/ring_0001.log"), page1 + page2);
    disk.Free();
    info = NoError();
    ASSERT_TRUE(log.Switch(false, &info));
    ASSERT_TRUE(log.Switch(true, &info));
    ASSERT_TRUE(log.Write(page3.data(), 4096, &info));

    // Full during a record: the file stays open and the same Write succeeds once there is room.
    disk.Fill();
    EXPECT_FALSE(log.Write(page4.data(), 4096, &info));
    EXPECT_EQ(info, (Info{46, 112, 2, 18, 0, 1}));
    EXPECT_EQ(ReadBytes("small/ring_0002.log"), page3);
    disk.Free();
    info = NoError();
    ASSERT_TRUE(log.Write(page4.data(), 4096, &info));
    ASSERT_TRUE(log.Switch(false, &info));
    const std::string file2 = ReadBytes("small/ring_0002.log");
    ASSERT_EQ(file2.size(), 2 * 4096 + 62u);
    EXPECT_EQ(file2.substr(0, 8192), page3 + page4);
    EXPECT_EQ(file2.substr(8192 + 48), Utf16Bytes("F 1 3\r\n"));
    EXPECT_EQ(ReadBytes("small/ring_0001.log"), page1 + page2);
}

}  // namespace
