// Failures that Linux produces for real, without injected faults: a ring file that is /dev/full,
// a file-size limit that cuts a write short, a second writer of the same file (in this process and
// in another one); and what CreateFileW does to the file it opens: truncation with 183, a
// descriptor kept from child processes, write-through. (A file where a folder should be and a
// missing drive are real faults on every platform: places_test.cpp.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/child.h"
#include "support/support.h"

using namespace scrivlet::test;
namespace os = scrivlet::os;

namespace {

struct Outcome {
    bool ok;
    Info first;  // the failure
    Info next;   // a Write right after it
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

struct Case {
    const char* what;
    bool counter;
    const char* header;
    const char* footer;
    unsigned record;
    unsigned location, type, error, value;  // the failure
    unsigned next_error;                    // of the Write behind it (location 18)
};

// Switch on, write one record (if any), switch off; stops at the first failure and tries one more
// Write.
Outcome Cycle(const Case& c) {
    TQCLogFile_1 log;
    Outcome out{};
    out.ok =
        Open(log, Config(2, 688, "f", "", c.header, c.footer, c.counter), &out.first) &&
        (c.record == 0 || log.Write(std::string(c.record, 'r').data(), c.record, &out.first)) &&
        log.Switch(false, &out.first);
    if (!out.ok) log.Write("n", 1, &out.next);
    return out;
}

// The failure and the Write behind it, each with its whole record.
void ExpectRecords(const Outcome& out, const Case& c) {
    EXPECT_FALSE(out.ok) << c.what;
    EXPECT_EQ(out.first, (Info{46, c.error, c.type, c.location, c.value, 1})) << c.what;
    EXPECT_EQ(out.next, (Info{46, c.next_error, 2, 18, 0, 1})) << c.what;
}

TEST(RealFaults, FullDeviceFailsEveryWrite) {
    const Case cases[] = {
        {"record", false, "", "", 10, 18, 2, 112, 0, 112},
        {"counter", true, "", "", 10, 11, 2, 112, 0, 112},
        {"header", false, "H", "", 10, 13, 2, 112, 0, 112},
        {"footer", false, "", "F", 0, 15, 2, 112, 0, 6},  // the file is closed after all
    };
    for (const Case& c : cases) {
        TempDir dir;
        FaultScope faults;
        ASSERT_EQ(symlink("/dev/full", "f_0001.log"), 0);
        ExpectRecords(Cycle(c), c);
        EXPECT_EQ(faults.LiveHandles(), 0) << c.what;  // Cycle's object is gone
    }
}

TEST(RealFaults, FileSizeLimitCutsAWriteShort) {
    // Each limit lets part of the failing write through; the Write behind it gets nothing
    // (EFBIG, 223) or, after a failed footer closed the file, finds no file (6).
    const Case cases[] = {
        {"counter", true, "", "", 10, 12, 8, 4, 40, 223},
        {"header", false, "H", "", 10, 14, 8, 4, 40, 223},
        {"footer", false, "", "F", 90, 16, 8, 4, 10, 6},
        {"record", false, "", "", 150, 19, 8, 4, 100, 223},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const rlim_t limit = c.value + (c.location == 16 ? 90 : 0);
        const Outcome out = InChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            const struct rlimit rl = {limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
            return Cycle(c);
        });
        ExpectRecords(out, c);
        EXPECT_EQ(ReadBytes("f_0001.log").size(), limit) << c.what;
    }
}

TEST(RealFaults, SecondWriterOfAFileIsRefused) {
    TempDir dir;
    auto config = Config(2, 688, "s");
    Info info = NoError();
    TQCLogFile_1 first, second;
    ASSERT_TRUE(Open(first, config, &info));
    ASSERT_TRUE(first.Write("first", 5, &info));

    ASSERT_TRUE(second.Init(&config, &info));
    EXPECT_FALSE(second.Switch(true, &info));
    EXPECT_EQ(info, (Info{46, 32, 2, 9, 0, 1}));
    const Outcome other = InChild([&] {
        TQCLogFile_1 log;
        Outcome out{};
        out.ok = Open(log, config, &out.first);
        return out;
    });
    EXPECT_FALSE(other.ok);
    EXPECT_EQ(other.first, (Info{46, 32, 2, 9, 0, 1})) << "another process";

    EXPECT_EQ(ReadBytes("s_0001.log"), "first");  // neither truncated nor changed
    info = NoError();
    EXPECT_TRUE(first.Write("more", 4, &info));
    first.ShutDown();
    EXPECT_EQ(ReadBytes("s_0001.log"), "firstmore");
}

// The descriptor of this process that refers to path, or -1.
int DescriptorOf(const std::string& path) {
    for (int fd = 0; fd < 1024; ++fd) {
        char target[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path) return fd;
    }
    return -1;
}

TEST(RealFaults, CreateFileReplacesAndKeepsTheFileFromChildren) {
    TempDir dir;
    std::ofstream("old.log") << "old contents";
    const struct {
        const TQ_WCHAR* name;
        os::DWORD last_error;
    } cases[] = {{TQ_TEXT("new.log"), 0}, {TQ_TEXT("old.log"), 183}};
    for (const auto& c : cases) {
        os::SetLastError(99);
        const os::HANDLE file = os::CreateFileW(
            c.name, os::GENERIC_READ | os::GENERIC_WRITE, os::FILE_SHARE_READ, nullptr,
            os::CREATE_ALWAYS, os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_WRITE_THROUGH, nullptr);
        ASSERT_NE(file, TQ_INVALID_HANDLE);
        EXPECT_EQ(os::GetLastError(), c.last_error);
        const std::string name = Narrow(c.name);
        EXPECT_EQ(ReadBytes(name), "");  // replaced: starts empty
        os::DWORD written = 0;
        ASSERT_TRUE(os::WriteFile(file, "abc", 3, &written, nullptr));
        EXPECT_EQ(ReadBytes(name), "abc");  // others may read while it is open

        const std::string path = std::filesystem::canonical(name).string();
        const int fd = DescriptorOf(path);
        ASSERT_GE(fd, 0);
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
        EXPECT_TRUE(fcntl(fd, F_GETFL) & O_DSYNC);
        EXPECT_TRUE(os::CloseHandle(file));
        EXPECT_EQ(DescriptorOf(path), -1);
    }
}

}  // namespace
