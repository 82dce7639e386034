#include <vorn/utils/timer_manager.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include <vorn/testing/wait_until.h>
#include <vorn/utils/monotonic_time.h>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

using namespace std::chrono_literals;

using vorn::testing::waitUntil;

// Holds the manager's thread in a handler until release(): what is added meanwhile only waits, so a
// test decides what is due when the thread goes on.
class HeldThread
{
public:
    explicit HeldThread(TimerManager& timers)
    {
        timers.addTimer(
            [this, released = m_release.get_future().share()](TimerManager::TimerId) {
                m_entered.set_value();
                released.wait();
            },
            0ms);
        m_entered.get_future().wait();
    }
    void release() { m_release.set_value(); }

private:
    std::promise<void> m_entered;
    std::promise<void> m_release;
};

// Many timers, added in a shuffled order of delays on a clock that stands still (so each deadline is
// exactly its delay from one instant), some of them deleted while pending: the rest fire in the order of
// their deadlines, an earlier timer added last first of all, on the manager's thread.
TEST(TimerManager, FiresInDeadlineOrderOnItsOwnThread)
{
    FakeMonotonicTime clock(monotonicTime());
    TimerManager timers("test timers");
    std::mutex mutex;
    std::vector<int> fired;
    std::vector<std::thread::id> threads;
    const auto record = [&](int delayMs) {
        return [&, delayMs](TimerManager::TimerId) {
            const std::lock_guard lock(mutex);
            fired.push_back(delayMs);
            threads.push_back(std::this_thread::get_id());
        };
    };
    HeldThread held(timers);

    constexpr int kCount = 2000;
    std::vector<int> delays(kCount);
    std::iota(delays.begin(), delays.end(), 1);
    std::shuffle(delays.begin(), delays.end(), std::mt19937(29));
    std::vector<TimerManager::TimerId> ids;
    for (const int delay : delays)
        ids.push_back(timers.addTimer(record(delay), std::chrono::milliseconds(delay)));
    timers.addTimer(record(0), 0ms);
    std::vector<int> expected{0};
    for (int i = 0; i < kCount; ++i) {
        if (i % 3 == 0)
            timers.joinAndDeleteTimer(ids[i]);
        else
            expected.push_back(delays[i]);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(timers.pendingCount(), expected.size());

    clock.advance(std::chrono::milliseconds(kCount));
    held.release();
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard lock(mutex);
        return fired.size() == expected.size();
    }));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(fired, expected);
    // addTimer() only schedules, even with no delay: no handler ran on this thread.
    for (const auto& id : threads)
        EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(timers.pendingCount(), 0u);
}

// Adds a timer an hour away that counts its calls in `calls`, and returns once the manager's thread waits
// for it: once a handler has run and is joined, the thread holds its lock until it waits again, for that
// deadline, the only one left.
TimerManager::TimerId waitForAnHourLongTimer(TimerManager* timers, std::atomic<int>* calls)
{
    const auto awaited = timers->addTimer([calls](TimerManager::TimerId) { ++*calls; }, 3600s);
    std::promise<void> ran;
    const auto first = timers->addTimer([&ran](TimerManager::TimerId) { ran.set_value(); }, 0ms);
    ran.get_future().wait();
    timers->joinAndDeleteTimer(first);
    return awaited;
}

// The thread sleeps until the first deadline it knows of: a timer added later with an earlier deadline
// must wake it, or it fires only when the first one is due (here an hour later).
TEST(TimerManager, AnEarlierTimerAddedLaterWakesTheThread)
{
    TimerManager timers;
    std::atomic<int> awaitedCalls{0};
    const auto awaited = waitForAnHourLongTimer(&timers, &awaitedCalls);

    std::atomic<bool> earlier{false};
    timers.addTimer([&](TimerManager::TimerId) { earlier = true; }, 10ms);
    EXPECT_TRUE(waitUntil([&] { return earlier.load(); }));
    EXPECT_EQ(awaitedCalls, 0);
    timers.joinAndDeleteTimer(awaited);
}

// A negative delay fires at once; a delay past kMaxDelay is cut to it rather than overflowing the
// deadline (which would make it due at once, or never).
TEST(TimerManager, DelaysOutsideTheRange)
{
    struct Row
    {
        const char* name;
        std::chrono::milliseconds delay;
        bool firesBeforeAnImmediateOne;
        bool pendingAfterIt;
    };
    const Row rows[] = {
        {"negative", -5ms, true, false},
        {"the longest", TimerManager::kMaxDelay, false, true},
        {"past the longest", std::chrono::milliseconds::max(), false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TimerManager timers;
        std::atomic<bool> fired{false};
        bool firedFirst = false;
        timers.addTimer([&](TimerManager::TimerId) { fired = true; }, row.delay);
        // Timers fire in deadline order, one after another: when the immediate one runs, one that was
        // due before it has run already.
        std::promise<void> ran;
        timers.addTimer(
            [&](TimerManager::TimerId) {
                firedFirst = fired.load();
                ran.set_value();
            },
            0ms);
        ran.get_future().wait();
        EXPECT_EQ(firedFirst, row.firesBeforeAnImmediateOne);
        EXPECT_EQ(timers.pendingCount(), row.pendingAfterIt ? 1u : 0u);
    }
}

TEST(TimerManager, JoinAndDeleteCancelsAPendingTimer)
{
    TimerManager timers;
    std::atomic<int> calls{0};
    const auto id = timers.addTimer([&](TimerManager::TimerId) { ++calls; }, 50ms);
    timers.joinAndDeleteTimer(id);
    EXPECT_EQ(timers.pendingCount(), 0u);
    // A later timer fires; the cancelled one never does.
    std::atomic<bool> later{false};
    timers.addTimer([&](TimerManager::TimerId) { later = true; }, 100ms);
    ASSERT_TRUE(waitUntil([&] { return later.load(); }));
    EXPECT_EQ(calls, 0);
}

TEST(TimerManager, JoinAndDeleteWaitsForARunningHandler)
{
    TimerManager timers;
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> finished{false};
    const auto id = timers.addTimer(
        [&, releaseFuture = release.get_future().share()](TimerManager::TimerId) {
            entered.set_value();
            releaseFuture.wait();
            finished = true;
        },
        0ms);
    entered.get_future().wait();
    std::atomic<bool> joined{false};
    std::thread joiner([&] {
        timers.joinAndDeleteTimer(id);
        joined = true;
        EXPECT_TRUE(finished.load());
    });
    // The joiner cannot pass while the handler runs; let the handler go and it must.
    EXPECT_FALSE(joined.load());
    release.set_value();
    joiner.join();
    EXPECT_TRUE(joined.load());
}

TEST(TimerManager, HandlerMayAddAndDeleteTimers)
{
    TimerManager timers;
    std::atomic<bool> second{false};
    timers.addTimer(
        [&](TimerManager::TimerId self) {
            timers.joinAndDeleteTimer(self); // its own id, on its own thread: no wait
            timers.addTimer([&](TimerManager::TimerId) { second = true; }, 0ms);
        },
        0ms);
    EXPECT_TRUE(waitUntil([&] { return second.load(); }));
}

TEST(TimerManager, StopDropsPendingTimers)
{
    std::atomic<int> calls{0};
    {
        TimerManager timers;
        timers.addTimer([&](TimerManager::TimerId) { ++calls; }, 60000ms);
        timers.stop();
        EXPECT_EQ(timers.pendingCount(), 0u);
    }
    EXPECT_EQ(calls, 0);
}

// The thread waits for the earliest deadline; that timer may go meanwhile (a stop, or a cancel and a new
// timer that wakes the thread), and the thread must not look at it again (under the sanitizers, a read of
// the dropped timer is a use after free).
TEST(TimerManager, TheTimerItWaitsForMayBeDropped)
{
    struct Row
    {
        const char* name;
        bool stop;
    };
    for (const Row& row : {Row{"stop", true}, Row{"cancel, then another timer", false}}) {
        SCOPED_TRACE(row.name);
        TimerManager timers;
        std::atomic<int> awaitedCalls{0};
        const auto awaited = waitForAnHourLongTimer(&timers, &awaitedCalls);

        if (row.stop) {
            timers.stop();
        } else {
            timers.joinAndDeleteTimer(awaited);
            std::atomic<bool> later{false};
            timers.addTimer([&](TimerManager::TimerId) { later = true; }, 0ms);
            ASSERT_TRUE(waitUntil([&] { return later.load(); }));
        }
        EXPECT_EQ(timers.pendingCount(), 0u);
        EXPECT_EQ(awaitedCalls, 0);
    }
}

} // namespace
} // namespace vorn::utils
