// The write path allocates nothing: this executable replaces the global allocation functions with
// counting ones, and a whole life of a log file object (construction, Init, switching, many
// rotating writes, a copy, switching off, Exit, destruction) runs without one call of them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "support/files.h"

namespace {

std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size) noexcept {
    ++g_allocations;
    return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using namespace scrivlet::test;

// One life of an object of class Log; true when every call succeeded.
template <typename Log>
bool Life(const InitData& config, const char* record, unsigned size) {
    Info info = NoError();
    Log log;
    bool ok = Open(log, config, &info);
    for (int i = 0; i < 40; ++i) ok = ok && log.Write(record, size, &info);
    {
        Log copy(log);
        ok = ok && copy.Write(record, size, &info) && copy.Switch(false, &info);
    }
    ok = ok && log.Switch(false, &info) && log.Switch(true, &info) && log.Exit(&info);
    return ok && info.uiErrorSet == 0;
}

template <typename Log>
void ExpectNoAllocation() {
    TempDir dir;
    const InitData config = Config(3, 688, "a", "logs\\deep", "Head", "Foot", true);
    const std::string record(200, 'r');  // three fit into a file: every third write rotates
    ASSERT_TRUE(Life<Log>(config, record.data(), 200));  // first clock and time-zone reads

    const long before = g_allocations;
    const bool ok = Life<Log>(config, record.data(), 200);
    const long during = g_allocations - before;
    EXPECT_TRUE(ok);
    EXPECT_EQ(during, 0);
    EXPECT_TRUE(Exists("logs/deep/a_0003.log"));  // the ring went round
}

TEST(NoAllocation, CountingAllocatorSeesAnAllocation) {
    const long before = g_allocations;
    void* p = ::operator new(16);
    void* q = ::operator new[](16, std::nothrow);
    ::operator delete(p);
    ::operator delete[](q);
    EXPECT_EQ(g_allocations - before, 2);
}

TEST(NoAllocation, LogFile) { ExpectNoAllocation<TQCLogFile_1>(); }

TEST(NoAllocation, GuardedLogFile) { ExpectNoAllocation<TQCLogFileM_1>(); }

}  // namespace
