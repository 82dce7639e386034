#include <vorn/network/aio/timer.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/utils/scaled_clock.h>

#include "aio_test_helpers.h"

namespace vorn::network::aio {
namespace {

using namespace std::chrono_literals;
using test::drain;
using test::Signal;

class TimerTest : public ::testing::Test
{
protected:
    // Waits until a timer started now on `thread` with a zero delay has fired, and the queue behind it
    // has run: a timer that was due by now and was not stopped would have fired before.
    void passTime(AbstractAioThread* thread)
    {
        Timer sentinel(thread);
        Signal<> fired;
        sentinel.start(0ms, [fired]() mutable { fired.set(); });
        ASSERT_TRUE(fired.wait());
        drain(thread);
    }

    AioThread m_thread;
};

TEST_F(TimerTest, FiresOnceOnItsThread)
{
    Timer timer(&m_thread);
    std::atomic<int> runs{0};
    Signal<bool> fired;
    timer.start(10ms, [&, fired]() mutable {
        ++runs;
        fired.set(timer.isInSelfThread());
    });
    ASSERT_TRUE(fired.wait());
    EXPECT_TRUE(fired.value());
    passTime(&m_thread);
    EXPECT_EQ(runs, 1);
}

TEST_F(TimerTest, ZeroOrNegativeDelayFiresOnTheNextPass)
{
    for (const auto delay : {0ms, -30000ms}) {
        SCOPED_TRACE(delay.count());
        Timer timer(&m_thread);
        Signal<> fired;
        bool ranInsideStart = false;
        m_thread.executeSync([&] {
            timer.start(delay, [fired]() mutable { fired.set(); });
            ranInsideStart = fired.isSet();
        });
        EXPECT_FALSE(ranInsideStart);
        EXPECT_TRUE(fired.wait());
    }
}

TEST_F(TimerTest, TimeScaleKeepsTheOrderOfLongDelays)
{
    // An hour of timer time is 36 ms. The timers are started in the reverse of their order of expiry;
    // the order can only be judged when the three starts came closer together than the smallest gap
    // between the due times (29 minutes, 17.4 ms), so a round in which this thread was held up longer
    // is not judged and run again.
    utils::ScopedTimeScale fast(1e-5);
    const auto gap = utils::ScaledClock::toRealDuration(29min);
    constexpr int kMaxRounds = 20;
    int judgedRounds = 0;
    for (int round = 0; round < kMaxRounds && judgedRounds == 0; ++round) {
        std::mutex mutex;
        std::vector<int> order;
        Signal<> last;
        auto record = [&](int minutes) {
            const std::lock_guard lock(mutex);
            order.push_back(minutes);
            if (order.size() == 3)
                last.set();
        };
        Timer hour(&m_thread), halfHour(&m_thread), minute(&m_thread);
        const auto before = std::chrono::steady_clock::now();
        hour.start(1h, [&] { record(60); });
        halfHour.start(30min, [&] { record(30); });
        minute.start(1min, [&] { record(1); });
        const bool startsCloseTogether = std::chrono::steady_clock::now() - before < gap;
        ASSERT_TRUE(last.wait()); // Without the scale this would take an hour.
        if (!startsCloseTogether)
            continue;
        ++judgedRounds;
        EXPECT_EQ(order, (std::vector<int>{1, 30, 60}));
    }
    EXPECT_EQ(judgedRounds, 1);
}

TEST_F(TimerTest, DelayCountsFromTheStartNotFromWhenTheThreadPicksItUp)
{
    // The thread is held while `early` is started and its due time passes, then `late` is started with no
    // delay; both reach the thread together. `early` was due first and fires first.
    utils::ScopedTimeScale fast(1e-5); // An hour of timer time is 36 ms.
    std::promise<void> release;
    Signal<> holding;
    m_thread.post([&, holding, released = release.get_future().share()]() mutable {
        holding.set();
        released.wait_for(test::kDeadline);
    });
    ASSERT_TRUE(holding.wait());

    std::mutex mutex;
    std::vector<std::string> order;
    Signal<> both;
    auto record = [&](std::string name) {
        const std::lock_guard lock(mutex);
        order.push_back(std::move(name));
        if (order.size() == 2)
            both.set();
    };
    Timer early(&m_thread), late(&m_thread);
    early.start(1h, [&] { record("early"); });
    // Measured after the start returned, so no later than the due time it fixed.
    const auto earlyDue = std::chrono::steady_clock::now() + utils::ScaledClock::toRealDuration(1h);
    std::this_thread::sleep_until(earlyDue + 1ms); // Lets the due time pass; waits for nothing else.
    late.start(0ms, [&] { record("late"); });
    release.set_value();

    ASSERT_TRUE(both.wait());
    EXPECT_EQ(order, (std::vector<std::string>{"early", "late"}));
}

TEST_F(TimerTest, StartReplacesThePendingStart)
{
    Timer timer(&m_thread);
    std::atomic<int> replacedRuns{0};
    Signal<> fired;
    m_thread.executeSync([&] {
        timer.start(0ms, [&] { ++replacedRuns; });
        timer.start(5ms, [fired]() mutable { fired.set(); });
    });
    ASSERT_TRUE(fired.wait());
    passTime(&m_thread);
    EXPECT_EQ(replacedRuns, 0); // Its time had come long before, and it still never ran.
}

TEST_F(TimerTest, PleaseStopSyncFromAnotherThreadWaitsForTheRunningHandlerAndDropsWhatItStarts)
{
    // The handler is held until the stop is about to begin, then starts more work; whether that comes
    // just before or during the stop varies, so the round is repeated. Work that runs before the stop
    // is fine; nothing may run once the stop has returned.
    for (int round = 0; round < 50; ++round) {
        Timer timer(&m_thread);
        Signal<> entered;
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> handlerDone{false};
        std::atomic<bool> stopReturned{false};
        std::atomic<int> lateRuns{0};
        auto countIfLate = [&] {
            if (stopReturned)
                ++lateRuns;
        };
        timer.start(0ms, [&, entered]() mutable {
            entered.set();
            ASSERT_EQ(released.wait_for(test::kDeadline), std::future_status::ready);
            timer.start(0ms, countIfLate);
            timer.post(countIfLate);
            handlerDone = true;
        });
        ASSERT_TRUE(entered.wait());

        Signal<> aboutToStop;
        std::atomic<bool> doneWhenStopReturned{false};
        std::thread stopper([&, aboutToStop]() mutable {
            aboutToStop.set();
            timer.pleaseStopSync();
            doneWhenStopReturned = handlerDone.load();
            stopReturned = true;
        });
        ASSERT_TRUE(aboutToStop.wait());
        release.set_value();
        stopper.join();

        EXPECT_TRUE(doneWhenStopReturned);
        passTime(&m_thread);
        EXPECT_EQ(lateRuns, 0);
    }
}

TEST_F(TimerTest, PleaseStopSyncFromItsOwnHandlerCancelsWithoutWaiting)
{
    Timer timer(&m_thread);
    std::atomic<int> droppedRuns{0};
    Signal<> restarted;
    timer.start(0ms, [&, restarted]() mutable {
        timer.post([&] { ++droppedRuns; });
        timer.pleaseStopSync(); // Would never return if it waited for this very handler.
        timer.start(0ms, [restarted]() mutable { restarted.set(); });
    });
    ASSERT_TRUE(restarted.wait());
    passTime(&m_thread);
    EXPECT_EQ(droppedRuns, 0);
}

TEST_F(TimerTest, PleaseStopRunsItsCompletionUnlessASyncStopComesFirst)
{
    Timer timer(&m_thread);
    std::atomic<int> droppedRuns{0};
    Signal<bool> stopped;
    m_thread.executeSync([&] {
        timer.start(0ms, [&] { ++droppedRuns; });
        timer.pleaseStop([&, stopped]() mutable { stopped.set(timer.isInSelfThread()); });
    });
    ASSERT_TRUE(stopped.wait());
    EXPECT_TRUE(stopped.value());

    // A stop of the owner, after it asked for the asynchronous stop but before that completion ran,
    // must not let the completion start anything.
    m_thread.executeSync([&] {
        timer.pleaseStop([&] { ++droppedRuns; });
        timer.pleaseStopSync();
    });
    passTime(&m_thread);
    EXPECT_EQ(droppedRuns, 0);
}

TEST_F(TimerTest, CancelSyncDropsTheTimerButNotPostedFunctions)
{
    Timer timer(&m_thread);
    std::atomic<int> timerRuns{0};
    Signal<> posted;
    m_thread.executeSync([&] {
        timer.start(0ms, [&] { ++timerRuns; });
        timer.post([posted]() mutable { posted.set(); });
        timer.cancelSync();
    });
    EXPECT_TRUE(posted.wait());
    passTime(&m_thread);
    EXPECT_EQ(timerRuns, 0);
}

TEST_F(TimerTest, DestroyedTimersNeverFire)
{
    std::atomic<int> runs{0};
    // Started and destroyed in one go on the timer's thread: from another thread, a loaded machine could
    // let the due timer and the posted function run before the destructor is reached.
    m_thread.executeSync([&] {
        Timer pending(&m_thread);
        pending.start(0ms, [&] { ++runs; });
        pending.post([&] { ++runs; });
    });

    // A handler that destroys its own timer: nothing of the timer is touched afterwards (ASan checks).
    auto owned = std::make_unique<Timer>(&m_thread);
    Signal<> destroyed;
    owned->start(0ms, [&, destroyed]() mutable {
        owned.reset();
        destroyed.set();
    });
    ASSERT_TRUE(destroyed.wait());

    passTime(&m_thread);
    EXPECT_EQ(runs, 0);
}

TEST_F(TimerTest, PostAndDispatch)
{
    Timer timer(&m_thread);
    bool dispatchedInline = false;
    bool postedInline = true;
    Signal<> posted;
    m_thread.executeSync([&] {
        timer.dispatch([&] { dispatchedInline = true; });
        timer.post([posted]() mutable { posted.set(); });
        postedInline = posted.isSet();
    });
    EXPECT_TRUE(dispatchedInline);
    EXPECT_FALSE(postedInline);
    EXPECT_TRUE(posted.wait());
}

TEST_F(TimerTest, RebindingMovesTheTimerToTheNewThread)
{
    AioThread other;
    Timer timer(&m_thread);
    timer.bindToAioThread(&other);
    EXPECT_EQ(timer.getAioThread(), &other);
    Signal<bool> fired;
    timer.start(0ms, [&, fired]() mutable { fired.set(other.isInSelfThread()); });
    ASSERT_TRUE(fired.wait());
    EXPECT_TRUE(fired.value());
    timer.pleaseStopSync();
}

TEST(TimerPool, TimersWithoutAThreadShareThePool)
{
    Timer timer;
    ASSERT_NE(timer.getAioThread(), nullptr);
    Timer sibling(timer.getAioThread());
    EXPECT_EQ(sibling.getAioThread(), timer.getAioThread());
    Signal<> fired;
    timer.start(0ms, [fired]() mutable { fired.set(); });
    EXPECT_TRUE(fired.wait());
}

} // namespace
} // namespace vorn::network::aio
