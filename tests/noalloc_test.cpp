// The write path allocates nothing: this executable replaces the global allocation functions with
// counting ones, and a whole life of a log file object (construction, Init, switching, many
// rotating writes, a copy, switching off, Exit, destruction) runs without one call of them. The
// same functions fail on demand, for the ring's C interface, which must not let bad_alloc out.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "scrivlet/ring_c.h"
#include "support/support.h"

// Every replaceable allocation function counts (a sanitizer's runtime would otherwise answer the
// ones not replaced here); the nothrow forms of delete are called only when a constructor throws.
static std::atomic<long> g_allocations{0};
static std::atomic<bool> g_fail{false};

static void* Allocate(std::size_t size) noexcept {
    ++g_allocations;
    return g_fail ? nullptr : std::malloc(size != 0 ? size : 1);
}
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

namespace {

using namespace scrivlet::test;

// One life of an object of class Log, twice: construction, Init, switching, many rotating
// writes, a copy, switching off and on, Exit and destruction. The first reads the clock and the
// time zone for the first time; the second must not allocate. The allocator counts (checked
// first) and the ring goes round (checked last).
template <typename Log>
void ExpectNoAllocation() {
    TempDir dir;
    const long start = g_allocations;
    ::operator delete(::operator new(16));
    ::operator delete[](::operator new[](16, std::nothrow));
    EXPECT_EQ(g_allocations - start, 2);
    const InitData config = Config(3, 688, "a", "logs\\deep", "Head", "Foot", true);
    const std::string record(200, 'r');  // three fit into a file: every third write rotates
    for (int life = 0; life < 2; ++life) {
        const long before = g_allocations;
        Info info{};
        {
            Log log;
            bool ok = Open(log, config, &info);
            for (int i = 0; i < 40; ++i) ok = ok && log.Write(record.data(), 200, &info);
            Log copy(log);
            EXPECT_TRUE(ok && copy.Write(record.data(), 200, &info) && copy.Switch(false, &info) &&
                        log.Switch(false, &info) && log.Switch(true, &info) && log.Exit(&info));
        }
        EXPECT_EQ(info.uiErrorSet, 0u);
        EXPECT_EQ(life == 0 ? 0 : g_allocations - before, 0) << "allocations";
    }
    EXPECT_TRUE(std::filesystem::exists("logs/deep/a_0003.log"));
}

TEST(NoAllocation, LogFile) { ExpectNoAllocation<TQCLogFile_1>(); }

TEST(NoAllocation, GuardedLogFile) { ExpectNoAllocation<TQCLogFileM_1>(); }

// Out of memory, ScrivletRing_Open_1 opens nothing and records the ring's runtime failure (system
// error 8): the exception stays inside.
TEST(NoAllocation, RingCInterfaceRecordsFailedAllocation) {
    tagScrivletRingOptions_1 options{};
    options.cbSize = sizeof options;
    tagScrivletInfoData_1 info{};
    g_fail = true;
    const bool opened = ScrivletRing_Open_1(&options, &info) != nullptr;
    g_fail = false;
    EXPECT_EQ((std::vector<unsigned>{opened, info.uiModule, info.uiError, info.uiErrorType,
                                     info.uiLocation}),
              (std::vector<unsigned>{0, 50, 8, 2, 6}));
}

}  // namespace
