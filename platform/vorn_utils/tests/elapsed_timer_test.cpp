#include <vorn/utils/elapsed_timer.h>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <vorn/utils/monotonic_time.h>
#include <vorn/utils/scaled_clock.h>

namespace vorn::utils {
namespace {

using namespace std::chrono_literals;

TEST(ElapsedTimer, NotStartedCountsAsExpiredLongAgo)
{
    FakeMonotonicTime clock(100s);
    ElapsedTimer timer;
    EXPECT_FALSE(timer.isValid());
    EXPECT_TRUE(timer.hasExpired(24h));
    EXPECT_EQ(timer.elapsed(), std::chrono::milliseconds::max());
    EXPECT_EQ(timer.restart(), 0ms);
    EXPECT_TRUE(timer.isValid());

    timer.invalidate();
    EXPECT_FALSE(timer.isValid());
    EXPECT_TRUE(timer.hasExpired(1ms));
}

TEST(ElapsedTimer, MeasuresAndExpiresOnTheClock)
{
    FakeMonotonicTime clock(100s);
    ElapsedTimer timer(ElapsedTimerState::started);
    ASSERT_TRUE(timer.isValid());

    clock.advance(29999ms + 999us);
    EXPECT_EQ(timer.elapsed(), 29999ms); // Truncated to the timer's unit.
    EXPECT_FALSE(timer.hasExpired(30s));
    clock.advance(1us);
    EXPECT_FALSE(timer.hasExpired(30s)); // Exactly the time-out: not yet.
    clock.advance(1ns);
    EXPECT_TRUE(timer.hasExpired(30s));

    EXPECT_EQ(timer.restart(), 30000ms);
    EXPECT_EQ(timer.elapsed(), 0ms);
    EXPECT_FALSE(timer.hasExpired(0ms));
}

TEST(ScaledClock, TimeScaleSpeedsUpTimersWithoutJumps)
{
    FakeMonotonicTime clock(100s);
    ElapsedTimer timer(ElapsedTimerState::started);
    clock.advance(2s);
    {
        ScopedTimeScale fast(0.001);
        EXPECT_EQ(timer.elapsed(), 2000ms); // The change of scale does not move the clock.
        clock.advance(5ms);
        EXPECT_EQ(timer.elapsed(), 7000ms);
        EXPECT_EQ(ScaledClock::toRealDuration(5000ms), 5ms);
    }
    EXPECT_EQ(ScaledClock::timeScale(), 1.0);
    clock.advance(1s);
    EXPECT_EQ(timer.elapsed(), 8000ms);
}

TEST(ScaledClock, RefusesScalesThatAreNotPositiveAndFinite)
{
    const double refused[] = {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()};
    for (const double scale : refused) {
        SCOPED_TRACE(scale);
        EXPECT_FALSE(ScaledClock::setTimeScale(scale));
        EXPECT_EQ(ScaledClock::timeScale(), 1.0);
    }
}

// The starting scale of a library instance, from the text of the variable through which a host process
// (vms_plugin_host --time-scale) reaches the libraries it loads.
TEST(ScaledClock, StartingScaleTakesAPositiveFiniteNumberAndElseRealTime)
{
    struct Row
    {
        const char* text;
        double expected;
    };
    const Row rows[] = {
        {"0.05", 0.05}, {"1", 1.0},   {"2.5", 2.5}, {"1e-3", 0.001}, {nullptr, 1.0}, {"", 1.0},     {"0", 1.0},
        {"-0.5", 1.0},  {"inf", 1.0}, {"nan", 1.0}, {"0.5s", 1.0},   {" 0.5", 1.0},  {"fast", 1.0}, {"1e400", 1.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text ? row.text : "(null)");
        EXPECT_EQ(detail::timeScaleFromText(row.text), row.expected);
    }
}

TEST(ScaledClock, RealDurationsOfOddDelays)
{
    EXPECT_EQ(ScaledClock::toRealDuration(-30000ms), 0ns);
    EXPECT_EQ(ScaledClock::toRealDuration(0ms), 0ns);
    EXPECT_EQ(ScaledClock::toRealDuration(std::chrono::milliseconds::max()), ScaledClock::kMaxRealDuration);
    EXPECT_EQ(ScaledClock::toRealDuration(1500ms), 1500ms);
}

} // namespace
} // namespace vorn::utils
