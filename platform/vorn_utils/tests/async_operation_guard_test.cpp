#include <vorn/utils/async_operation_guard.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include <vorn/utils/assert.h>

namespace vorn::utils {
namespace {

using namespace std::chrono_literals;

TEST(AsyncOperationGuard, WrappedCallRunsUntilResetAndNewWrapsRunAfter)
{
    AsyncOperationGuard guard;
    int runs = 0;
    auto before = guard.wrap([&](int add) { runs += add; });
    before(2);
    EXPECT_EQ(runs, 2);

    guard.reset();
    before(5);
    EXPECT_EQ(runs, 2) << "a completion wrapped before the reset ran";

    auto after = guard.wrap([&](int add) { runs += add; });
    after(1);
    EXPECT_EQ(runs, 3);

    std::function<void(int)> outlived;
    {
        AsyncOperationGuard shortLived;
        outlived = shortLived.wrap([&](int add) { runs += add; });
    }
    outlived(10);
    EXPECT_EQ(runs, 3) << "a completion ran after its guard was destroyed";
}

TEST(AsyncOperationGuard, ResetWaitsForACompletionRunningOnAnotherThread)
{
    AsyncOperationGuard guard;
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> finished{false};
    auto completion = guard.wrap([&] {
        entered.set_value();
        release.get_future().wait();
        finished = true;
    });
    std::thread worker([&] { completion(); });
    entered.get_future().wait();

    auto resetDone = std::async(std::launch::async, [&] { guard.reset(); });
    EXPECT_EQ(resetDone.wait_for(50ms), std::future_status::timeout) << "reset returned while it ran";
    release.set_value();
    resetDone.get();
    EXPECT_TRUE(finished);
    worker.join();
}

TEST(AsyncOperationGuard, LocksNestOnOneThread)
{
    AsyncOperationGuard guard;
    bool innerRan = false;
    auto inner = guard.wrap([&] { innerRan = true; });
    auto outer = guard.wrap([&] {
        const auto lock = guard.sharedGuard()->lock();
        EXPECT_TRUE(lock);
        inner();
    });
    outer();
    EXPECT_TRUE(innerRan);
}

TEST(AsyncOperationGuard, ResetFromInsideOwnCompletionIsReportedNotADeadlock)
{
    AssertionCapture assertions(false);
    AsyncOperationGuard guard;
    bool laterRan = false;
    auto later = guard.wrap([&] { laterRan = true; });
    auto selfReset = guard.wrap([&] { guard.reset(); });
    selfReset(); // returns: the test would hang otherwise
    ASSERT_EQ(assertions.reports().size(), 1);
    EXPECT_TRUE(assertions.reports().front().contains("own completions"));
    later();
    EXPECT_FALSE(laterRan) << "the reset did not end the guard";
}

TEST(AsyncOperationGuard, ManyThreadsCallWhileAnotherResets)
{
    AsyncOperationGuard guard;
    std::atomic<bool> stop{false};
    std::atomic<int> ranAfterReset{0};
    std::atomic<bool> resetDone{false};
    auto completion = guard.wrap([&] {
        if (resetDone)
            ++ranAfterReset;
    });
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([&, copy = completion]() mutable {
            while (!stop)
                copy();
        });
    }
    std::this_thread::yield();
    guard.reset();
    resetDone = true;
    for (int i = 0; i < 1000; ++i)
        std::this_thread::yield();
    stop = true;
    for (auto& caller : callers)
        caller.join();
    EXPECT_EQ(ranAfterReset, 0);
}

} // namespace
} // namespace vorn::utils
