// The POSIX mutex behind CreateMutexW, WaitForSingleObject and ReleaseMutex, used through the
// platform layer as the logic uses it: recursion, ownership, abandonment by an ending thread,
// finite time-outs, invalid handles and a waiter that blocks until the owner lets go. (That the
// mutex orders every access of several threads shows in threads_test.cpp under the tsan preset.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/platform.h"

namespace os = scrivlet::os;

namespace {

// A mutex handle that the test closes when it ends.
struct Mutex {
    explicit Mutex(bool owned)
        : handle(os::CreateMutexW(nullptr, owned ? os::TRUE : os::FALSE, nullptr)) {}
    ~Mutex() {
        if (handle != nullptr) os::CloseHandle(handle);
    }
    os::HANDLE handle;
};

// The outcome of one wait of another thread (which releases what it got).
os::DWORD WaitOnOtherThread(os::HANDLE handle, os::DWORD timeout) {
    os::DWORD outcome = 0;
    std::thread([&] {
        outcome = os::WaitForSingleObject(handle, timeout);
        if (outcome == os::WAIT_OBJECT_0 || outcome == os::WAIT_ABANDONED) os::ReleaseMutex(handle);
    }).join();
    return outcome;
}

// Recursive ownership needs as many releases as waits; only the owner may release.
TEST(PosixMutex, RecursiveAndReleasedOnlyByItsOwner) {
    Mutex mutex(true);
    ASSERT_NE(mutex.handle, nullptr);
    EXPECT_EQ(os::WaitForSingleObject(mutex.handle, os::INFINITE), os::WAIT_OBJECT_0);
    EXPECT_EQ(os::WaitForSingleObject(mutex.handle, 0), os::WAIT_OBJECT_0);
    os::BOOL released = os::TRUE;
    os::DWORD error = 0;
    std::thread([&] {
        released = os::ReleaseMutex(mutex.handle);
        error = os::GetLastError();
    }).join();
    EXPECT_FALSE(released);
    EXPECT_EQ(error, os::ERROR_NOT_OWNER);
    for (int level = 3; level > 0; --level) {
        EXPECT_EQ(WaitOnOtherThread(mutex.handle, 0), os::WAIT_TIMEOUT) << level;
        EXPECT_TRUE(os::ReleaseMutex(mutex.handle)) << level;
    }
    EXPECT_EQ(WaitOnOtherThread(mutex.handle, 0), os::WAIT_OBJECT_0);
    EXPECT_FALSE(os::ReleaseMutex(mutex.handle));
    EXPECT_EQ(os::GetLastError(), os::ERROR_NOT_OWNER);
}

TEST(PosixMutex, OwnerEndingWithoutReleaseAbandonsIt) {
    Mutex mutex(false);
    std::thread([&] {
        EXPECT_EQ(os::WaitForSingleObject(mutex.handle, 0), os::WAIT_OBJECT_0);
    }).join();
    EXPECT_EQ(os::WaitForSingleObject(mutex.handle, os::INFINITE), os::WAIT_ABANDONED);
    // The abandoned wait handed over one level of ownership, and the mutex is usable again.
    EXPECT_EQ(WaitOnOtherThread(mutex.handle, 0), os::WAIT_TIMEOUT);
    EXPECT_TRUE(os::ReleaseMutex(mutex.handle));
    EXPECT_FALSE(os::ReleaseMutex(mutex.handle));
    EXPECT_EQ(WaitOnOtherThread(mutex.handle, 0), os::WAIT_OBJECT_0);
}

TEST(PosixMutex, FiniteTimeoutExpiresWhileAnotherThreadOwnsIt) {
    Mutex mutex(true);
    for (os::DWORD timeout : {0u, 1u, 150u, 1100u}) {
        os::DWORD outcome = 0;
        std::chrono::steady_clock::duration waited{};
        std::thread([&] {
            const auto start = std::chrono::steady_clock::now();
            outcome = os::WaitForSingleObject(mutex.handle, timeout);
            waited = std::chrono::steady_clock::now() - start;
        }).join();
        EXPECT_EQ(outcome, os::WAIT_TIMEOUT) << timeout;
        EXPECT_GE(waited, std::chrono::milliseconds(timeout) * 9 / 10) << timeout;
    }
    EXPECT_TRUE(os::ReleaseMutex(mutex.handle));
}

// A closed handle can be neither waited on nor released, nor can a null one be released.
TEST(PosixMutex, ClosedOrNullHandleFails) {
    os::HANDLE closed = os::CreateMutexW(nullptr, os::FALSE, nullptr);
    ASSERT_TRUE(os::CloseHandle(closed));
    os::SetLastError(0);
    EXPECT_EQ(os::WaitForSingleObject(closed, os::INFINITE), os::WAIT_FAILED);
    EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
    for (os::HANDLE handle : {static_cast<os::HANDLE>(nullptr), closed}) {
        os::SetLastError(0);
        EXPECT_FALSE(os::ReleaseMutex(handle));
        EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
    }
}

TEST(PosixMutex, WaiterBlocksUntilRelease) {
    for (os::DWORD timeout : {os::INFINITE, 60000u}) {
        Mutex mutex(true);
        std::atomic<bool> returned{false};
        std::future<os::DWORD> waiter = std::async(std::launch::async, [&] {
            const os::DWORD outcome = os::WaitForSingleObject(mutex.handle, timeout);
            returned = true;
            if (outcome == os::WAIT_OBJECT_0) os::ReleaseMutex(mutex.handle);
            return outcome;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(returned) << timeout;
        EXPECT_TRUE(os::ReleaseMutex(mutex.handle));
        EXPECT_EQ(waiter.get(), os::WAIT_OBJECT_0) << timeout;
    }
}

}  // namespace
