// vorn::utils::ScaledClock: the clock of every timer of the platform libraries (I/O-thread timers, socket
// time-outs, elapsed timers), with a process-wide time scale that lets a test run hours of protocol time
// in milliseconds.
//
// The clock reads monotonicTime() (so a FakeMonotonicTime drives it too) and divides the time that passed
// by the scale: at scale 0.001 one real millisecond is one clock second, and a "reconnect after 5000 ms"
// timer fires after 5 real milliseconds. Changing the scale never makes the clock jump: it goes on from
// where it stood, at the new rate.
//
//     vorn::utils::ScopedTimeScale fast(0.001);        // for the rest of the test
//     timer.start(std::chrono::seconds(5), onTimer);   // fires after ~5 ms of real time
//
// The scale belongs to the whole process (to each library that links this code, to be exact); tests that
// change it put it back when they end, which ScopedTimeScale does. A plugin library carries its own copy,
// which a host process cannot call: each copy starts with the scale of kTimeScaleVariable as read at its
// first use (vms_plugin_host --time-scale sets the variable before it loads the plugin).
#pragma once

#include <chrono>
#include <cstdint>
#include <ratio>

namespace vorn::utils {

// The environment variable that gives every library instance its starting time scale ("0.01": a hundred
// times faster).
inline constexpr char kTimeScaleVariable[] = "VORN_TIME_SCALE";

class ScaledClock
{
public:
    using rep = std::int64_t;
    using period = std::nano;
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ScaledClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept;

    // Real seconds per clock second: 1.0 runs in real time, 0.001 a thousand times faster. A scale that
    // is not a positive finite number is refused: false, and the scale stays. Until the first call, the
    // scale is that of kTimeScaleVariable.
    static bool setTimeScale(double scale) noexcept;
    static double timeScale() noexcept;

    // The real time that `clockDuration` takes at the current scale, for arming a system timer. Negative
    // durations give zero; the result saturates at kMaxRealDuration.
    template <typename Rep, typename Period>
    static std::chrono::nanoseconds toRealDuration(std::chrono::duration<Rep, Period> clockDuration) noexcept
    {
        return toRealNanoseconds(std::chrono::duration<double, std::nano>(clockDuration).count());
    }

    // 100 years: far beyond any delay the system asks for, and far below what a 64-bit nanosecond count
    // of the system timers can hold, so "wait for ever" requests cannot overflow them.
    static constexpr std::chrono::nanoseconds kMaxRealDuration = std::chrono::hours(24 * 365 * 100);

private:
    static std::chrono::nanoseconds toRealNanoseconds(double clockNanoseconds) noexcept;
};

namespace detail {

// The starting scale that a text of kTimeScaleVariable asks for: the whole text a positive finite
// decimal number. Anything else, and no text at all, gives 1.0.
double timeScaleFromText(const char* text) noexcept;

} // namespace detail

// Test tool: sets the time scale for its lifetime and puts the previous one back.
class ScopedTimeScale
{
public:
    explicit ScopedTimeScale(double scale)
        : m_previous(ScaledClock::timeScale())
    {
        ScaledClock::setTimeScale(scale);
    }
    ~ScopedTimeScale() { ScaledClock::setTimeScale(m_previous); }
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

private:
    const double m_previous;
};

} // namespace vorn::utils
