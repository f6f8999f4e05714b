// Failures that Linux produces for real, without injected faults: a full file system, a handle
// table that is full. (A file where a folder should be, a missing drive and a second writer are
// real faults on every platform: places_test.cpp, and a second writer process in tests/cli; what
// CreateFileW does to the file it opens: posix_crash_test.cpp, and to what is not a regular file
// in its place: tests/cli.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child.h"
#include "support/support.h"

using namespace scrivlet::test;
namespace os = scrivlet::os;

// ThreadSanitizer runs a thread of its own, also in the child of a fork, and a process of more than
// one thread cannot enter a new user namespace. Its runtime stops that thread when told that the
// process goes into a sandbox (once a thread of the program has started it).
extern "C" void __sanitizer_sandbox_on_notify(void* arguments) __attribute__((weak));

namespace {

struct Outcome {
    bool kept, recovered;
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

// Makes a small tmpfs the current directory, in a private user and mount namespace with the
// caller's ids mapped to root (as `unshare -rm` does): no privilege needed, and the mount ends
// with the process. For a child process only.
bool EnterSmallTmpfs() {
    if (__sanitizer_sandbox_on_notify != nullptr) __sanitizer_sandbox_on_notify(nullptr);
    const auto put = [](const char* file, const std::string& text) {
        return bool(std::ofstream(file) << text << std::flush);
    };
    const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
    return mkdir("disk", 0700) == 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
           put("/proc/self/setgroups", "deny") && put("/proc/self/uid_map", "0 " + uid + " 1") &&
           put("/proc/self/gid_map", "0 " + gid + " 1") &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("scrivlet", "disk", "tmpfs", 0, "size=64k") == 0 && chdir("disk") == 0;
}

// On a full file system (a tmpfs, pages of 4096 bytes) every kind of line fails at its place with
// ERROR_DISK_FULL where it would start a page, and is cut short at the end of the page it starts
// in. The Write behind the failure gets nothing (112) or, after a failed footer closed the file,
// finds no file (6). Nothing written before is lost or changed, and once there is room again the
// object writes on: at once where its file is still open, else after switching off and on.
TEST(RealFaults, FullFileSystem) {
    const struct {
        const char* what;
        bool counter;
        const char *header, *footer;
        unsigned first, second;  // bytes written before the file system is full, and after
        unsigned location, cut, next_error;  // cut: the bytes of the failing line written
    } cases[] = {
        {"counter", true, "", "", 10, 0, 11, 0, 112},
        {"header", false, "H", "", 10, 0, 13, 0, 112},
        {"footer", false, "", "F", 4096, 0, 15, 0, 6},
        {"record", false, "", "", 4096, 10, 18, 0, 112},
        {"cut footer", false, "", "F", 4086, 0, 16, 10, 6},
        {"cut record", false, "", "", 3996, 150, 19, 100, 112},
    };
    std::thread([] {}).join();  // (under ThreadSanitizer: its own thread starts now)
    for (const auto& c : cases) {
        TempDir dir;
        // Write the first record, fill the file system, write the second record, switch off and
        // on; at the first failure one more Write, then make room and write again.
        const Outcome out = InChild([&] {
            if (!EnterSmallTmpfs()) _exit(3);  // 3: no tmpfs in a user and mount namespace
            Outcome cycle{};
            Probe<> log;
            const std::string first(c.first, 'a'), second(c.second, 'b'), filler(4096, 'x');
            Info info{};
            if (!Open(log, Config(3, 8192, "f", "", c.header, c.footer, c.counter), &info) ||
                !log.Write(first.data(), c.first, &info)) {
                return cycle;
            }
            std::ofstream fill("filler", std::ios::binary);
            while (fill << filler << std::flush) {
            }
            fill.close();
            const std::string before = ReadBytes("f_0001.log");
            if (!((c.second == 0 || log.Write(second.data(), c.second, &cycle.first)) &&
                  log.Switch(false, &cycle.first) && log.Switch(true, &cycle.first))) {
                log.Write("n", 1, &cycle.next);
            }
            const std::string after = ReadBytes("f_0001.log");
            cycle.kept = after.size() == before.size() + c.cut && after.find(before) == 0;
            unlink("filler");
            cycle.recovered =
                (log.HasFile() || (log.Switch(false, &info) && log.Switch(true, &info))) &&
                log.Write("again", 5, &info) && log.Exit(&info) &&
                ReadBytes(Narrow(log.m_szFolderFileName)).find("again") != std::string::npos;
            return cycle;
        });
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(out.kept && out.recovered);
        EXPECT_EQ(out.first, (c.cut == 0 ? Info{46, 112, 2, c.location, 0, 1}
                                         : Info{46, 4, 8, c.location, c.cut, 1}));
        EXPECT_EQ(out.next, (Info{46, c.next_error, 2, 18, 0, 1}));
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
