// Crash safety on POSIX, with real processes: a child host (tests/crash/) writes numbered records
// and reports each one whose Write returned true; the parent kills it with SIGKILL at a random
// moment. Every acknowledged record must then be in the ring, whole and in order (up to what the
// ring holds), and a new object must be able to write the ring again. SCRIVLET_CRASH_ROUNDS sets
// the number of rounds (default 50). (A second writer process is refused at its open:
// RealFaults.SecondWriterOfAFileIsRefused; a full disk: RealFaults.FullDeviceAndFileSizeLimit.)
#include <gtest/gtest.h>

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
    const unsigned last = acks.back();
    std::map<unsigned, unsigned> runs;  // first record of a file -> its last
    for (unsigned f = 1; f <= crash::kFileCount; ++f) {
        const std::string bytes = ReadBytes(RingFile(folder, f));
        unsigned first = 0, previous = 0;
        for (std::size_t at = 0; at + crash::kRecordSize <= bytes.size();
             at += crash::kRecordSize) {
            const unsigned n = static_cast<unsigned>(std::stoul(bytes.substr(at + 1, 10)));
            ASSERT_EQ(bytes.substr(at, crash::kRecordSize), crash::Record(n)) << "file " << f;
            ASSERT_TRUE(previous == 0 || n == previous + 1) << "file " << f << " record " << n;
            first = first == 0 ? n : first;
            previous = n;
        }
        // A torn tail can only be the record that was being written when the child died.
        ASSERT_TRUE(bytes.size() % crash::kRecordSize == 0 || previous == last) << "file " << f;
        if (first != 0) runs[first] = previous;
    }
    ASSERT_FALSE(runs.empty()) << "acknowledged records missing";
    unsigned expected = runs.begin()->first;
    for (const auto& run : runs) {
        ASSERT_EQ(run.first, expected) << "gap between files";
        expected = run.second + 1;
    }
    EXPECT_TRUE(expected - 1 == last || expected - 1 == last + 1) << expected - 1 << " vs " << last;
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
        rotated += acks.back() > crash::kRecordsPerFile;
        ASSERT_NO_FATAL_FAILURE(CheckRing(folder, acks));
        // A new object writes the ring again: it starts at file 1 and replaces it.
        TQCLogFileM_1 next;
        Info info = NoError();
        const std::string record = crash::Record(1000000);
        ASSERT_TRUE(
            Open(next, Config(crash::kFileCount, crash::kFileSize, "crash", folder), &info) &&
            next.Write(record.data(), crash::kRecordSize, &info) && next.Exit(&info))
            << ::testing::PrintToString(info);
        EXPECT_EQ(ReadBytes(RingFile(folder, 1)), record);
    }
    std::printf("%d rounds, %d killed after a rotation\n", rounds, rotated);
}

}  // namespace
