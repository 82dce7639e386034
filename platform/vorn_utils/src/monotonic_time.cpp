#include <vorn/utils/monotonic_time.h>

#include <atomic>
#include <cstdint>

namespace vorn::utils {

namespace {

// File-local so that every library that links this code has its own clock.
std::atomic<bool> s_fakeActive{false};
std::atomic<std::int64_t> s_fakeTimeNs{0};

} // namespace

std::chrono::nanoseconds monotonicTime()
{
    if (s_fakeActive.load(std::memory_order_acquire))
        return std::chrono::nanoseconds(s_fakeTimeNs.load(std::memory_order_acquire));
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

FakeMonotonicTime::FakeMonotonicTime(std::chrono::nanoseconds start)
    : m_previousActive(s_fakeActive.load())
    , m_previousTime(s_fakeTimeNs.load())
{
    s_fakeTimeNs.store(start.count());
    s_fakeActive.store(true);
}

FakeMonotonicTime::~FakeMonotonicTime()
{
    s_fakeTimeNs.store(m_previousTime.count());
    s_fakeActive.store(m_previousActive);
}

void FakeMonotonicTime::set(std::chrono::nanoseconds time)
{
    s_fakeTimeNs.store(time.count());
}

void FakeMonotonicTime::advance(std::chrono::nanoseconds duration)
{
    s_fakeTimeNs.fetch_add(duration.count());
}

std::chrono::nanoseconds FakeMonotonicTime::now() const
{
    return std::chrono::nanoseconds(s_fakeTimeNs.load());
}

} // namespace vorn::utils
