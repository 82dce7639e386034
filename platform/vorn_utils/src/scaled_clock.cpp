#include <vorn/utils/scaled_clock.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <vorn/utils/monotonic_time.h>

namespace vorn::utils {

namespace {

// The clock reads clockBase + (monotonicTime() - realBase) / scale. Rebasing on every change of the scale
// keeps it continuous. File-local so that every library that links this code has its own clock.
struct ClockState
{
    bool started = false; //< The scale of kTimeScaleVariable taken (or a scale set before that).
    double scale = 1.0;
    std::chrono::nanoseconds realBase{0};
    std::chrono::nanoseconds clockBase{0};
};

// Constant-initialised, so that a clock read from another static initialiser of the same library finds
// them ready.
std::mutex s_stateMutex; //< Guards s_state.
constinit ClockState s_state;

// The starting scale is read at the first use, not by a static initialiser: a host sets the variable
// before it loads a library, and a library's initialisers may already read the clock. The clock starts
// at the real time of that moment.
void startLocked(std::chrono::nanoseconds real)
{
    if (s_state.started)
        return;
    s_state.started = true;
    s_state.scale = detail::timeScaleFromText(std::getenv(kTimeScaleVariable));
    s_state.realBase = real;
    s_state.clockBase = real;
}

std::chrono::nanoseconds readLocked(std::chrono::nanoseconds real)
{
    startLocked(real);
    const std::chrono::nanoseconds realSinceBase = real - s_state.realBase;
    if (s_state.scale == 1.0)
        return s_state.clockBase + realSinceBase; // Exact, however long the process runs.
    const double sinceBase = static_cast<double>(realSinceBase.count()) / s_state.scale;
    return s_state.clockBase + std::chrono::nanoseconds(static_cast<std::int64_t>(sinceBase));
}

} // namespace

ScaledClock::time_point ScaledClock::now() noexcept
{
    const std::chrono::nanoseconds real = monotonicTime();
    const std::lock_guard lock(s_stateMutex);
    return time_point(readLocked(real));
}

bool ScaledClock::setTimeScale(double scale) noexcept
{
    if (!std::isfinite(scale) || scale <= 0.0)
        return false;
    const std::chrono::nanoseconds real = monotonicTime();
    const std::lock_guard lock(s_stateMutex);
    s_state.clockBase = readLocked(real);
    s_state.realBase = real;
    s_state.scale = scale;
    return true;
}

double ScaledClock::timeScale() noexcept
{
    const std::chrono::nanoseconds real = monotonicTime();
    const std::lock_guard lock(s_stateMutex);
    startLocked(real);
    return s_state.scale;
}

std::chrono::nanoseconds ScaledClock::toRealNanoseconds(double clockNanoseconds) noexcept
{
    const double real = clockNanoseconds * timeScale();
    if (!(real > 0.0)) // Also catches NaN.
        return std::chrono::nanoseconds::zero();
    if (real >= static_cast<double>(kMaxRealDuration.count()))
        return kMaxRealDuration;
    return std::chrono::nanoseconds(static_cast<std::int64_t>(real));
}

namespace detail {

double timeScaleFromText(const char* text) noexcept
{
    if (!text)
        return 1.0;
    const char* end = text + std::strlen(text);
    double scale = 0.0;
    const auto [ptr, error] = std::from_chars(text, end, scale);
    if (ptr == text || ptr != end || error != std::errc() || !std::isfinite(scale) || scale <= 0.0)
        return 1.0;
    return scale;
}

} // namespace detail

} // namespace vorn::utils
