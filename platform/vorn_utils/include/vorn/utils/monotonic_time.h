// vorn::utils::monotonicTime(): the process's monotonic clock, in nanoseconds.
//
// Everything that measures time against this clock (log rate limits, elapsed timers) can be driven by a
// test: while a FakeMonotonicTime object lives, monotonicTime() returns the time it holds instead of the
// real clock.
//
//     vorn::utils::FakeMonotonicTime clock(std::chrono::seconds(100));
//     runSomething();
//     clock.advance(std::chrono::seconds(11));
//     runSomethingElse();                     // sees 11 s passed, at once
#pragma once

#include <chrono>

namespace vorn::utils {

// Nanoseconds since an arbitrary fixed point; never goes backwards on the real clock.
std::chrono::nanoseconds monotonicTime();

// Test tool: replaces the clock for its lifetime, on every thread. Fakes may nest; destroying one puts
// back what was in force when it was made. Create and destroy them on one thread.
class FakeMonotonicTime
{
public:
    explicit FakeMonotonicTime(std::chrono::nanoseconds start = std::chrono::nanoseconds::zero());
    ~FakeMonotonicTime();
    FakeMonotonicTime(const FakeMonotonicTime&) = delete;
    FakeMonotonicTime& operator=(const FakeMonotonicTime&) = delete;

    void set(std::chrono::nanoseconds time);
    void advance(std::chrono::nanoseconds duration);
    std::chrono::nanoseconds now() const;

private:
    bool m_previousActive = false;
    std::chrono::nanoseconds m_previousTime{};
};

} // namespace vorn::utils
