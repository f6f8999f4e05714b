// scrivlet::Ring: many threads through a rotating, wrapping ring give the files one log file
// gives for the same records in the same order; a failing group write fails exactly its callers;
// a failed rotation is recovered; the configuration's refusals and the error words.
#include "scrivlet/ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "support/support.h"

namespace scrivlet {
namespace test {
namespace {

namespace fs = std::filesystem;

// "[T:NNNN:" and a filling up to a closing "]\n", size bytes in all.
std::string Record(int thread, int number, std::size_t size) {
    std::string text = "[" + std::to_string(thread) + ":" + std::to_string(number) + ":";
    text.resize(size - 2, static_cast<char>('a' + thread));
    return text + "]\n";
}

// Every WriteFile's bytes, in order; and a gate that can hold the next one.
struct WriteLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> writes;
    bool hold = false;
    bool holding = false;
} g_log;
os::WriteFileFunction* g_next_write = nullptr;

os::BOOL LoggedWrite(os::HANDLE h, const void* data, DWORD count, DWORD* written, void* ov) {
    {
        std::unique_lock<std::mutex> lock(g_log.mutex);
        g_log.writes.emplace_back(static_cast<const char*>(data), count);
        g_log.holding = g_log.hold;
        g_log.changed.notify_all();
        g_log.changed.wait(lock, [] { return !g_log.hold; });
        g_log.holding = false;
    }
    return g_next_write(h, data, count, written, ov);
}

class RingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        faults_.FixClock(1796397450, 45);
        g_log.writes.clear();
        g_next_write = os::Table().WriteFile;
        os::Table().WriteFile = LoggedWrite;
    }
    void TearDown() override { os::Table().WriteFile = g_next_write; }

    static RingOptions Options(const std::string& folder) {
        RingOptions options;
        options.folder = folder;
        options.count = 3;
        options.size = 4096;
        options.header = "ring test";
        options.footer = "end";
        options.counter = true;
        options.text = Text::raw;
        return options;
    }

    TempDir dir_;
    FaultScope faults_;
};

TEST_F(RingTest, ThreadsWriteWhatOneLogFileWritesForTheSameRecords) {
    const int kThreads = 16, kRecords = 100;
    {
        Ring ring;
        Error error;
        ASSERT_TRUE(ring.open(Options("threads/ring"), error)) << error.message();
        std::vector<std::thread> threads;
        std::atomic<int> failures{0};
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&ring, &failures, t] {
                Error mine;
                for (int n = 0; n < kRecords; ++n) {
                    if (!ring.write(Record(t, n, 20 + (t * 37 + n * 11) % 280), mine)) ++failures;
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(ring.stats().records, std::uint64_t{kThreads * kRecords});
        ASSERT_TRUE(ring.close(error)) << error.message();
    }
    // The records in the order they reached the files: every write that is not a library line
    // (those begin with the stamp, "2" in UTF-16) holds whole records back to back.
    std::vector<std::string> order;
    for (const std::string& write : g_log.writes) {
        if (write.compare(0, 2, std::string("2\0", 2)) == 0) continue;
        for (std::size_t at = 0; at < write.size();) {
            const std::size_t end = write.find("]\n", at);
            ASSERT_NE(end, std::string::npos) << "a record cut by a write";
            order.push_back(write.substr(at, end + 2 - at));
            at = end + 2;
        }
    }
    ASSERT_EQ(order.size(), std::size_t{kThreads * kRecords});
    std::vector<int> next(kThreads, 0);
    for (const std::string& record : order) {
        const int thread = std::stoi(record.substr(1));
        EXPECT_EQ(record, Record(thread, next[thread], record.size())) << "per-thread order";
        ++next[thread];
    }
    // One log file writing them one by one, under the same fixed clock, writes the same files.
    TQCLogFile_1 log;
    Info info = NoError();
    ASSERT_TRUE(Open(log, Config(3, 4096, "", "single", "ring test", "end", true), &info));
    for (const std::string& record : order) {
        ASSERT_TRUE(log.Write(record.data(), static_cast<unsigned>(record.size()), &info));
    }
    ASSERT_TRUE(log.Switch(false, &info));
    for (int n = 1; n <= 3; ++n) {
        const std::string name = "LogFile_1_000" + std::to_string(n) + ".log";
        const std::string bytes = ReadBytes(fs::path("single") / name);
        EXPECT_FALSE(bytes.empty());
        EXPECT_EQ(ReadBytes(fs::path("threads") / "ring" / name), bytes) << name;
    }
}

TEST_F(RingTest, FailedGroupFailsItsCallersOnlyAndRotationRecovers) {
    Ring ring;
    Error error;
    ASSERT_TRUE(ring.open(Options("faults"), error)) << error.message();
    // The first record's write is held; three more arrive and wait as one group.
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.hold = true;
    }
    Error first;
    std::thread leader([&] { EXPECT_TRUE(ring.write(Record(0, 0, 100), first)); });
    {
        std::unique_lock<std::mutex> lock(g_log.mutex);
        g_log.changed.wait(lock, [] { return g_log.holding; });
    }
    std::vector<Error> errors(3);
    std::vector<std::thread> group;
    for (int t = 1; t <= 3; ++t) {
        group.emplace_back([&, t] { EXPECT_FALSE(ring.write(Record(t, 0, 100), errors[t - 1])); });
    }
    while (ring.stats().waiting < 3) std::this_thread::yield();
    faults_.Fail(Op::kWriteFile, 2, os::ERROR_DISK_FULL);  // the group's write, after the held one
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.hold = false;
    }
    g_log.changed.notify_all();
    leader.join();
    for (std::thread& thread : group) thread.join();
    EXPECT_FALSE(first.failed()) << first.message();
    for (const Error& e : errors) {
        EXPECT_EQ(e.info, (Info{TQCLogFile_1::MODULE_LOGFILE, os::ERROR_DISK_FULL,
                                TQCLogFile_1::ERRORTYPE_SYSTEM, 18, 0, 1}));
        EXPECT_EQ(e.message(),
                  "writing a record: the write failed: system error 112, disk full "
                  "[log file 46, place 18, system error]");
    }
    // A rotation whose new file cannot be created fails its group; the next group switches the
    // ring off and on again and goes on in the file after it.
    const std::string big = Record(5, 0, 3000);
    EXPECT_TRUE(ring.write(big, error)) << error.message();
    faults_.Fail(Op::kCreateFileW, 1, os::ERROR_ACCESS_DENIED);
    Error refused;
    EXPECT_FALSE(ring.write(big, refused));
    EXPECT_EQ(refused.info.uiLocation, 9u);
    EXPECT_TRUE(ring.write(big, error)) << error.message();
    EXPECT_EQ(fs::path(ring.path()), fs::path("faults") / "LogFile_1_0003.log");
    ASSERT_TRUE(ring.close(error));
    const std::string file1 = ReadBytes("faults/LogFile_1_0001.log");
    EXPECT_NE(file1.find(Record(0, 0, 100)), std::string::npos);
    EXPECT_EQ(file1.find(Record(1, 0, 100)), std::string::npos);
    EXPECT_NE(ReadBytes("faults/LogFile_1_0003.log").find(big), std::string::npos);
}

// Refusals keep the log file's places (with the true length of a text too long for its array),
// the ring's own places have words, and a record no file holds is refused or split.
TEST_F(RingTest, RefusalsWordsAndSplitting) {
    Ring ring;
    Error error;
    RingOptions options = Options("");
    options.folder = std::string(300, 'f');
    EXPECT_FALSE(ring.open(options, error));
    EXPECT_EQ(error.info, (Info{46, TQCLogFile_1::REASON_TOO_LONG, 4, 6, 300, 1}));
    EXPECT_EQ(error.message(),
              "configuration: the folder is too long: 300 (length in characters; at most 195) "
              "[log file 46, place 6, parameter error, reason 7 too long]");
    error.clear();
    EXPECT_FALSE(ring.write("x", error));
    EXPECT_EQ(error.message(),
              "using the ring: the ring is not open [ring 50, place 1, runtime error]");

    options = Options("/");
    options.folder = fs::absolute("abs/ring").string();
    options.text = Text::utf16;
    error.clear();
    ASSERT_TRUE(ring.open(options, error)) << error.message();
    EXPECT_EQ(fs::path(ring.path()), fs::path(options.folder) / "LogFile_1_0001.log");
    const std::size_t largest = ring.largest_record();
    EXPECT_FALSE(ring.write(std::string(largest, 'x'), error));
    EXPECT_EQ(error.info.uiLocation, 17u);
    EXPECT_EQ(error.info.uiValue, largest);
    ASSERT_TRUE(ring.close(error));

    options.split = true;
    options.folder = "split";
    error.clear();
    ASSERT_TRUE(ring.open(options, error));
    const std::string line = std::string(3000, 'y') + "\xF0\x9F\x98\x80" + "z\n";  // U+1F600
    ASSERT_TRUE(ring.write(line, error)) << error.message();
    const RingStats stats = ring.stats();
    EXPECT_EQ(stats.records, 2u);
    ASSERT_TRUE(ring.close(error));
    std::string text;
    for (int n = 1; n <= 2; ++n)
        text += ReadBytes("split/LogFile_1_000" + std::to_string(n) + ".log");
    EXPECT_NE(text.find(Utf16Bytes(std::string(1000, 'y'))), std::string::npos);
    EXPECT_NE(text.find(std::string("\x3D\xD8\x00\xDEz\0\r\0\n\0", 10)), std::string::npos);
}

}  // namespace
}  // namespace test
}  // namespace scrivlet
