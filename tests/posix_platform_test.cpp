// The POSIX stand-ins of the platform layer against the real system: errno as Windows error codes,
// UTF-16 paths as native paths, the directory operations and the per-thread last error, and the
// mutex behind CreateMutexW, WaitForSingleObject and ReleaseMutex (recursion, ownership,
// abandonment by an ending thread, finite time-outs). That the mutex orders every access of
// several threads shows in threads_test.cpp; waits on a missing mutex in places_test.cpp.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>
#include <utility>

#include "platform/posix/errors.h"
#include "platform/posix/paths.h"
#include "support/support.h"

namespace os = scrivlet::os;
using scrivlet::test::Narrow;

namespace {

TEST(PosixErrors, ErrnoPathsDirectoriesAndTheLastError) {
    // What the table does not name is a general failure (the table itself shows in the real
    // failures of posix_realfaults_test.cpp and places_test.cpp).
    EXPECT_EQ(os::posix::ErrorFromErrno(ECHILD, "x"), 31u);
    // A missing object is "file not found" where its parent exists (as every new file of a ring
    // shows), "path not found" otherwise (so also the failed queries below).
    scrivlet::test::TempDir dir;
    EXPECT_EQ(os::posix::ErrorFromErrno(ENOENT, (dir.path() / "missing/child").c_str()), 3u);

    char out[os::posix::kNativePathSize];
    ASSERT_EQ(os::posix::NativePath(u"C:\\Logs\\a/b\\", out, sizeof out), 0u);
    EXPECT_STREQ(out, "C:/Logs/a/b/");
    ASSERT_EQ(os::posix::NativePath(u"\u00e9\U0001F600", out, sizeof out), 0u);  // a pair
    EXPECT_STREQ(out, "\xC3\xA9\xF0\x9F\x98\x80");
    const char16_t lone_high[] = {'a', 0xD800, 0}, high_then_text[] = {0xD800, 'a', 0},
                   lone_low[] = {0xDC00, 0};
    const std::pair<const char16_t*, os::DWORD> refused[] = {
        {u"", 3}, {nullptr, 3}, {lone_high, 123}, {high_then_text, 123}, {lone_low, 123}};
    for (const auto& r : refused)
        EXPECT_EQ(os::posix::NativePath(r.first, out, sizeof out), r.second);
    EXPECT_EQ(os::posix::NativePath(u"abcd", out, 4), 206u);

    // Directories, and the last error.
    std::ofstream("file") << "x";
    const mode_t previous = umask(027);
    EXPECT_TRUE(os::CreateDirectoryW(u"a", nullptr) && os::CreateDirectoryW(u"a\\b", nullptr));
    umask(previous);
    struct stat info;
    ASSERT_EQ(stat("a/b", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0750u);
    EXPECT_EQ(os::GetFileAttributesW(u"a\\b"), os::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(os::GetFileAttributesW(u"file"), os::FILE_ATTRIBUTE_NORMAL);
    // Path; the last error after the failed query and after the failed creation.
    const std::pair<const char16_t*, os::DWORD> failures[] = {
        {u"a\\b\\c\\d", 3}, {u"file\\x", 3}, {u"", 3}, {u"a\xD800", 123}, {u"missing", 2}};
    for (const auto& f : failures) {
        os::SetLastError(0);
        EXPECT_EQ(os::GetFileAttributesW(f.first), os::INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(os::GetLastError(), f.second) << Narrow(f.first);
        os::SetLastError(0);
        EXPECT_EQ(os::CreateDirectoryW(f.first, nullptr), f.second == 2) << Narrow(f.first);
        EXPECT_EQ(os::GetLastError(), f.second == 2 ? 0u : f.second) << Narrow(f.first);
    }
    EXPECT_FALSE(os::CreateDirectoryW(u"a", nullptr));
    EXPECT_EQ(os::GetLastError(), 183u);
    // The last error is the calling thread's own.
    std::thread([] {
        EXPECT_EQ(os::GetLastError(), 0u);
        os::SetLastError(7);
    }).join();
    EXPECT_EQ(os::GetLastError(), 183u);
}

// What a wait of another thread gives (it releases what it got), and how long it took.
std::pair<os::DWORD, std::chrono::steady_clock::duration> WaitOnOtherThread(os::HANDLE handle,
                                                                            os::DWORD timeout) {
    std::pair<os::DWORD, std::chrono::steady_clock::duration> result;
    std::thread([&] {
        const auto start = std::chrono::steady_clock::now();
        result.first = os::WaitForSingleObject(handle, timeout);
        result.second = std::chrono::steady_clock::now() - start;
        if (result.first == os::WAIT_OBJECT_0 || result.first == os::WAIT_ABANDONED) {
            os::ReleaseMutex(handle);
        }
    }).join();
    return result;
}

// Recursive ownership needs as many releases as waits; only the owner may release; a finite wait
// of another thread expires after its time-out.
TEST(PosixMutex, RecursiveReleasedOnlyByItsOwnerAndTimedWaits) {
    const os::HANDLE mutex = os::CreateMutexW(nullptr, os::TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(os::WaitForSingleObject(mutex, os::INFINITE), os::WAIT_OBJECT_0);
    EXPECT_EQ(os::WaitForSingleObject(mutex, 0), os::WAIT_OBJECT_0);
    std::thread([&] {
        EXPECT_FALSE(os::ReleaseMutex(mutex));
        EXPECT_EQ(os::GetLastError(), os::ERROR_NOT_OWNER);
    }).join();
    for (os::DWORD timeout : {0u, 1u, 150u, 1100u}) {
        const auto waited = WaitOnOtherThread(mutex, timeout);
        EXPECT_EQ(waited.first, os::WAIT_TIMEOUT) << timeout;
        EXPECT_GE(waited.second, std::chrono::milliseconds(timeout) * 9 / 10) << timeout;
    }
    EXPECT_TRUE(os::ReleaseMutex(mutex) && os::ReleaseMutex(mutex));
    EXPECT_EQ(WaitOnOtherThread(mutex, 0).first, os::WAIT_TIMEOUT);
    EXPECT_TRUE(os::ReleaseMutex(mutex));
    EXPECT_EQ(WaitOnOtherThread(mutex, 0).first, os::WAIT_OBJECT_0);
    EXPECT_FALSE(os::ReleaseMutex(mutex));
    EXPECT_EQ(os::GetLastError(), os::ERROR_NOT_OWNER);
    EXPECT_TRUE(os::CloseHandle(mutex));
}

// A thread that ends owning the mutex abandons it: the next wait owns it, one level.
TEST(PosixMutex, OwnerEndingWithoutReleaseAbandonsIt) {
    const os::HANDLE mutex = os::CreateMutexW(nullptr, os::FALSE, nullptr);
    std::thread([&] { os::WaitForSingleObject(mutex, 0); }).join();
    EXPECT_EQ(os::WaitForSingleObject(mutex, os::INFINITE), os::WAIT_ABANDONED);
    EXPECT_EQ(WaitOnOtherThread(mutex, 0).first, os::WAIT_TIMEOUT);
    EXPECT_TRUE(os::ReleaseMutex(mutex) && !os::ReleaseMutex(mutex));
    EXPECT_EQ(WaitOnOtherThread(mutex, 0).first, os::WAIT_OBJECT_0);
    EXPECT_TRUE(os::CloseHandle(mutex));
}

}  // namespace
