// A counting allocator for the benchmark process: every allocation of the C library's allocator
// family goes through these definitions, which count it and hand it to glibc's own allocator
// (the __libc_* entry points). Defining them in the executable takes precedence over the C
// library for every shared object in the process.
#include "alloc_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<std::uint64_t> g_allocations{0};

inline void Count() { g_allocations.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

namespace scrivlet::bench {

std::uint64_t AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace scrivlet::bench

extern "C" {

void* malloc(std::size_t size) noexcept {
    Count();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    Count();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    Count();
    return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept { __libc_free(pointer); }

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    Count();
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) return ENOMEM;
    *result = pointer;
    return 0;
}

}  // extern "C"
