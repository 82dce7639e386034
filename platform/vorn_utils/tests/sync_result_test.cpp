#include <vorn/utils/sync_result.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include <vorn/utils/move_only_func.h>

namespace vorn::utils {
namespace {

using Completion = MoveOnlyFunc<void(std::unique_ptr<int>)>;

Completion completionOf(const std::shared_ptr<SyncResult<std::unique_ptr<int>>>& result)
{
    return [fulfiller = FulfilOnDestruction(result)](std::unique_ptr<int> value) mutable {
        fulfiller.fulfil(std::move(value));
    };
}

TEST(SyncResult, TheWaitEndsWithTheCompletionsValueOrNoneWhenItIsDroppedUnrun)
{
    struct Row
    {
        const char* name;
        bool runs; //< the completion runs before it is destroyed
        bool onAnotherThread;
    };
    const Row rows[] = {
        {"run on this thread", true, false},
        {"run on another thread", true, true},
        {"dropped unrun", false, false},
        {"dropped unrun on another thread", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto result = std::make_shared<SyncResult<std::unique_ptr<int>>>();
        Completion completion = completionOf(result);
        auto finish = [&row, completion = std::move(completion)]() mutable {
            if (row.runs)
                completion(std::make_unique<int>(7));
            completion = nullptr; // destroys the fulfiller: no second value
        };
        std::thread other;
        if (row.onAnotherThread)
            other = std::thread(std::move(finish));
        else
            finish();
        const std::unique_ptr<int> value = result->wait();
        if (other.joinable())
            other.join();
        if (row.runs) {
            ASSERT_TRUE(value);
            EXPECT_EQ(*value, 7);
        } else {
            EXPECT_FALSE(value);
        }
    }
}

TEST(SyncResult, TheFirstValueStays)
{
    SyncResult<int> result;
    result.fulfil(1);
    result.fulfil(2);
    EXPECT_EQ(result.wait(), 1);

    const auto shared = std::make_shared<SyncResult<int>>();
    {
        FulfilOnDestruction fulfiller(shared);
        FulfilOnDestruction moved(std::move(fulfiller)); // the moved-from one fulfils nothing
        moved.fulfil(5);
        moved.fulfil(6);
    }
    EXPECT_EQ(shared->wait(), 5);
}

TEST(SyncResult, AWaiterOnAnotherThreadIsWoken)
{
    const auto result = std::make_shared<SyncResult<int>>();
    auto waiter = std::async(std::launch::async, [result] { return result->wait(); });
    result->fulfil(3);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 3);
}

} // namespace
} // namespace vorn::utils
