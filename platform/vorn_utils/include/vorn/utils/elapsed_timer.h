// vorn::utils::BasicElapsedTimer: measures the time since it was last (re)started, in a chosen unit, on
// the ScaledClock (so tests drive it with FakeMonotonicTime or a time scale).
//
//     vorn::utils::ElapsedTimer lastSeen;              // not started: isValid() is false
//     lastSeen.restart();
//     ...
//     if (lastSeen.hasExpired(std::chrono::seconds(30)))
//         dropTrack();
//
// A timer that was never started (or was invalidated) counts as expired long ago: hasExpired() answers
// true for any time-out and elapsed() answers Duration::max(). The timer is a plain value with no
// synchronisation: each one is used by one thread at a time.
#pragma once

#include <chrono>
#include <optional>

#include <vorn/utils/scaled_clock.h>

namespace vorn::utils {

enum class ElapsedTimerState {
    invalid = 0, //< Not started.
    started = 1, //< Started at construction.
};

template <typename Duration>
class BasicElapsedTimer
{
public:
    explicit BasicElapsedTimer(ElapsedTimerState state = ElapsedTimerState::invalid)
    {
        if (state == ElapsedTimerState::started)
            restart();
    }

    bool isValid() const { return m_start.has_value(); }

    void invalidate() { m_start.reset(); }

    // Starts the timer anew; returns the time that had elapsed before (zero for a timer not started).
    Duration restart()
    {
        const ScaledClock::time_point now = ScaledClock::now();
        const Duration before = m_start ? std::chrono::duration_cast<Duration>(now - *m_start) : Duration::zero();
        m_start = now;
        return before;
    }

    // Truncated to Duration; Duration::max() for a timer not started.
    Duration elapsed() const
    {
        if (!m_start)
            return Duration::max();
        return std::chrono::duration_cast<Duration>(ScaledClock::now() - *m_start);
    }

    // True when more than `timeout` has elapsed (exactly `timeout` is not yet expired), and for a timer
    // not started. Compared at the clock's full resolution, not in Duration units.
    template <typename Rep, typename Period>
    bool hasExpired(std::chrono::duration<Rep, Period> timeout) const
    {
        if (!m_start)
            return true;
        return ScaledClock::now() - *m_start > timeout;
    }

private:
    std::optional<ScaledClock::time_point> m_start;
};

using ElapsedTimer = BasicElapsedTimer<std::chrono::milliseconds>;

} // namespace vorn::utils
