// Failures that Linux produces for real, without injected faults: a ring file that is /dev/full,
// a file-size limit that cuts a write short, a handle table that is full. (A file where a folder
// should be, a missing drive and a second writer are real faults on every platform:
// places_test.cpp, and a second writer process in tests/cli; what CreateFileW does to the file it
// opens: posix_crash_test.cpp.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "support/child.h"
#include "support/support.h"

using namespace scrivlet::test;
namespace os = scrivlet::os;

namespace {

struct Outcome {
    bool ok;
    Info first, next;  // the failure, and a Write right after it
};

// Runs body in a child process and brings back what it returned.
template <typename Body>
Outcome InChild(Body body) {
    Child child([&] {
        const Outcome outcome = body();
        return write(1, &outcome, sizeof outcome) == sizeof outcome ? 0 : 1;
    });
    Outcome outcome{};
    EXPECT_TRUE(child.Read(&outcome, sizeof outcome, Clock::now() + milliseconds(10000)));
    EXPECT_EQ(child.End(milliseconds(10000)), 0);
    return outcome;
}

// On /dev/full (limit 0) every write fails with ERROR_DISK_FULL; a file-size limit lets part of
// the failing write through. The Write behind the failure gets nothing (112, or EFBIG: 223) or,
// after a failed footer closed the file, finds no file (6).
TEST(RealFaults, FullDeviceAndFileSizeLimit) {
    const struct {
        const char* what;
        rlim_t limit;
        bool counter;
        const char *header, *footer;
        unsigned record;
        unsigned location, type, error, value;  // the failure
        unsigned next_error;                    // of the Write behind it (location 18)
    } cases[] = {
        {"record", 0, false, "", "", 10, 18, 2, 112, 0, 112},
        {"footer", 0, false, "", "F", 0, 15, 2, 112, 0, 6},
        {"counter", 40, true, "", "", 10, 12, 8, 4, 40, 223},
        {"header", 40, false, "H", "", 10, 14, 8, 4, 40, 223},
        {"footer", 100, false, "", "F", 90, 16, 8, 4, 10, 6},
        {"record", 100, false, "", "", 150, 19, 8, 4, 100, 223},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ASSERT_TRUE(c.limit != 0 || symlink("/dev/full", "f_0001.log") == 0);
        // Switch on, write one record (if any), switch off; at the first failure one more Write.
        const Outcome out = InChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            const struct rlimit rl = {c.limit, c.limit};
            if (c.limit != 0) setrlimit(RLIMIT_FSIZE, &rl);
            FaultScope faults;
            Outcome cycle{};
            {
                TQCLogFile_1 log;
                const std::string record(c.record, 'r');
                cycle.ok = Open(log, Config(2, 688, "f", "", c.header, c.footer, c.counter),
                                &cycle.first) &&
                           (c.record == 0 || log.Write(record.data(), c.record, &cycle.first)) &&
                           log.Switch(false, &cycle.first);
                if (!cycle.ok) log.Write("n", 1, &cycle.next);
            }
            cycle.ok = cycle.ok || faults.LiveHandles() != 0;  // the object closed its file
            return cycle;
        });
        SCOPED_TRACE(std::string(c.what) + " with limit " + std::to_string(c.limit));
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.first, (Info{46, c.error, c.type, c.location, c.value, 1}));
        EXPECT_EQ(out.next, (Info{46, c.next_error, 2, 18, 0, 1}));
        EXPECT_EQ(c.limit != 0 ? ReadBytes("f_0001.log").size() : 0, c.limit);
    }
}

// Running out of handles: with every handle of the fixed table taken, each operation that needs
// one fails at its place with ERROR_TOO_MANY_OPEN_FILES (4), leaves what was written alone, and
// works again once handles are freed.
TEST(Handles, ExhaustedTableFailsCleanlyAndRecovers) {
    TempDir dir;
    // One file in the ring: every switch-on replaces the file that holds the records.
    TQCLogFile_1 log;
    const InitData config = Config(1, 688, "h", "", "", "end");
    Info info{};
    ASSERT_TRUE(Open(log, config, &info));
    ASSERT_TRUE(log.Write("one\n", 4, &info));

    std::vector<os::HANDLE> taken;
    for (os::HANDLE h; (h = os::CreateMutexW(nullptr, os::FALSE, nullptr)) != nullptr;) {
        taken.push_back(h);
    }
    EXPECT_EQ(os::GetLastError(), os::ERROR_TOO_MANY_OPEN_FILES);
    EXPECT_GE(taken.size(), 4000u);

    // What holds its handle goes on; a copy gets no file of its own.
    EXPECT_TRUE(log.Write("two\n", 4, &info));
    TQCLogFile_1 copy(log);
    EXPECT_FALSE(copy.Write("copy\n", 5, &info));
    EXPECT_EQ(info, (Info{46, 6, 2, 18, 0, 1}));
    // Switching off gives one handle back; take it, so that the switch-on finds none.
    info = Info{};
    EXPECT_TRUE(log.Switch(false, &info));
    taken.push_back(os::CreateMutexW(nullptr, os::FALSE, nullptr));
    ASSERT_NE(taken.back(), nullptr);
    const std::string before = ReadBytes("h_0001.log");
    ASSERT_EQ(before.substr(0, 8), "one\ntwo\n");
    EXPECT_FALSE(log.Switch(true, &info));
    EXPECT_EQ(info, (Info{46, 4, 2, 9, 0, 1}));
    EXPECT_EQ(ReadBytes("h_0001.log"), before) << "the file to be replaced is left alone";

    for (os::HANDLE h : taken) EXPECT_TRUE(os::CloseHandle(h));
    info = Info{};
    EXPECT_TRUE(log.Switch(false, &info) && log.Switch(true, &info) &&
                log.Write("three\n", 6, &info));
    TQCLogFile_1 second_copy(log);
    EXPECT_TRUE(second_copy.Write("four\n", 5, &info));
    EXPECT_TRUE(log.Exit(&info));
    EXPECT_EQ(ReadBytes("h_0001.log").substr(0, 11), "three\nfour\n");
    EXPECT_EQ(info, Info{});
}

}  // namespace
