#include "allocation_trace.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "../src/http/held_bytes.h"

namespace vorn::network::http::test {
namespace {

// Before each block: its size and the trace it was handed out in (0: none).
struct alignas(std::max_align_t) Header
{
    std::size_t size;
    std::uint64_t trace;
};
static_assert(sizeof(Header) % alignof(std::max_align_t) == 0);

std::atomic<std::uint64_t> lastTrace{0};
thread_local std::uint64_t currentTrace = 0;
thread_local AllocationTrace::Figures* currentFigures = nullptr;

void* allocate(std::size_t size)
{
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!header)
        throw std::bad_alloc();
    header->size = size;
    header->trace = currentTrace;
    if (currentTrace != 0) {
        ++currentFigures->blocks;
        currentFigures->bytes += static_cast<std::int64_t>(size);
        currentFigures->footprint += static_cast<std::int64_t>(detail::allocationFootprint(size));
    }
    return header + 1;
}

void release(void* block)
{
    if (!block)
        return;
    Header* header = static_cast<Header*>(block) - 1;
    if (header->trace != 0 && header->trace == currentTrace) {
        --currentFigures->blocks;
        currentFigures->bytes -= static_cast<std::int64_t>(header->size);
        currentFigures->footprint -= static_cast<std::int64_t>(detail::allocationFootprint(header->size));
    }
    std::free(header);
}

} // namespace

AllocationTrace::AllocationTrace()
    : m_id(++lastTrace)
    , m_on(true)
{
    currentTrace = m_id;
    currentFigures = &m_live;
}

AllocationTrace::~AllocationTrace()
{
    stop();
}

void AllocationTrace::stop()
{
    if (!m_on)
        return;
    m_on = false;
    currentTrace = 0;
    currentFigures = nullptr;
}

} // namespace vorn::network::http::test

// Every operator new of the test binary: the array, nothrow and sized forms of the library come here too.
void* operator new(std::size_t size)
{
    return vorn::network::http::test::allocate(size);
}

void operator delete(void* block) noexcept
{
    vorn::network::http::test::release(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    vorn::network::http::test::release(block);
}
