// AllocationTrace: what operator new hands out to the calling thread while a trace is on, and how much of
// it is still live, for tests that check a count of held memory against what was allocated.
//
//     AllocationTrace trace;          // from here, this thread's blocks are traced
//     ...                             // the code under test allocates and frees
//     trace.stop();
//     EXPECT_EQ(count, trace.liveFootprint());
//
// Rules of use: one trace at a time per thread, made and stopped on it; only what that thread frees while
// the trace is on is seen as freed. The test binary's operator new and delete do the tracing
// (allocation_trace.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorn::network::http::test {

class AllocationTrace
{
public:
    AllocationTrace();
    ~AllocationTrace();
    AllocationTrace(const AllocationTrace&) = delete;
    AllocationTrace& operator=(const AllocationTrace&) = delete;

    void stop();

    // The blocks handed out since the start and not freed before stop(): their number, their sizes as asked
    // for, and what malloc takes for them (allocationFootprint() of the server's count).
    struct Figures
    {
        std::int64_t blocks = 0;
        std::int64_t bytes = 0;
        std::int64_t footprint = 0;
    };
    const Figures& live() const { return m_live; }

private:
    std::uint64_t m_id = 0;
    Figures m_live;
    bool m_on = false;
};

} // namespace vorn::network::http::test
