#include <vorn/utils/timer_manager.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include <vorn/testing/wait_until.h>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

using namespace std::chrono_literals;

using vorn::testing::waitUntil;

TEST(TimerManager, FiresInDeadlineOrderOnItsOwnThread)
{
    TimerManager timers("test timers");
    std::mutex mutex;
    std::vector<int> fired;
    std::vector<std::thread::id> threads;
    const auto record = [&](int tag) {
        return [&, tag](TimerManager::TimerId) {
            const std::lock_guard lock(mutex);
            fired.push_back(tag);
            threads.push_back(std::this_thread::get_id());
        };
    };
    timers.addTimer(record(3), 30ms);
    timers.addTimer(record(1), 0ms);
    timers.addTimer(record(2), 10ms);
    {
        // addTimer() only schedules, even with no delay.
        const std::lock_guard lock(mutex);
        EXPECT_TRUE(std::find(threads.begin(), threads.end(), std::this_thread::get_id()) == threads.end());
    }
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard lock(mutex);
        return fired.size() == 3;
    }));
    EXPECT_EQ(fired, std::vector<int>({1, 2, 3}));
    for (const auto& id : threads)
        EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(timers.pendingCount(), 0u);
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
        const auto awaited = timers.addTimer([&](TimerManager::TimerId) { ++awaitedCalls; }, 3600s);
        // Once a handler has run and is joined, the thread holds its lock until it waits again: for the
        // awaited deadline, the only one left.
        std::promise<void> ran;
        const auto first = timers.addTimer([&](TimerManager::TimerId) { ran.set_value(); }, 0ms);
        ran.get_future().wait();
        timers.joinAndDeleteTimer(first);

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
