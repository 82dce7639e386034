// The counting allocator: the program's own malloc family, which counts and hands over to glibc's
// allocator. Defined in the executable, these win over the C library's for every shared library too,
// so Qt's allocations and operator new (which calls malloc) are counted alike. free() stays glibc's:
// the blocks come from glibc's allocator either way.
//
// Under AddressSanitizer the sanitizer's runtime replaces malloc itself; interposing it there would
// take memory past the sanitizer's bookkeeping, so the counter is left out and reports that it does
// not work.
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "allocation_counter.h"

#if defined(__SANITIZE_ADDRESS__)
#define VORN_BENCH_NO_ALLOCATION_COUNT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define VORN_BENCH_NO_ALLOCATION_COUNT 1
#endif
#endif

namespace {

// Relaxed: a count, read around the measured work; no other memory is ordered by it.
std::atomic<std::uint64_t> g_allocations{0};

} // namespace

#if !defined(VORN_BENCH_NO_ALLOCATION_COUNT)

extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

__attribute__((visibility("default"))) void* malloc(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

// Growing a block in place is no new allocation for the caller, but glibc does not tell; every
// realloc of a live block counts as one, as a move to a new block would.
__attribute__((visibility("default"))) void* realloc(void* block, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* memalign(std::size_t alignment, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** block, std::size_t alignment, std::size_t size)
{
    // The alignment rules of posix_memalign: a power of two and a multiple of sizeof(void*).
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    void* const result = __libc_memalign(alignment, size);
    if (result == nullptr && size != 0)
        return ENOMEM;
    *block = result;
    return 0;
}

} // extern "C"

#endif

namespace vorn::bench {

bool allocationCountingWorks()
{
#if defined(VORN_BENCH_NO_ALLOCATION_COUNT)
    return false;
#else
    return true;
#endif
}

std::uint64_t allocationCount()
{
    return g_allocations.load(std::memory_order_relaxed);
}

} // namespace vorn::bench
