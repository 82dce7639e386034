#include <vorn/network/aio/aio_thread.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread_pool.h>
#include <vorn/utils/log/log_capture.h>

#include <QtCore/QStringList>

#include "aio_test_helpers.h"

namespace vorn::network::aio {
namespace {

using test::Signal;

TEST(AioThread, RunsPostedFunctionsInOrderOnItsThread)
{
    AioThread thread;
    std::vector<int> order;
    bool allOnThread = true;
    for (int i = 0; i < 100; ++i) {
        thread.post([&, i] {
            allOnThread = allOnThread && thread.isInSelfThread();
            order.push_back(i);
        });
    }
    thread.executeSync([] {}); // Everything queued before has run when this returns.
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(allOnThread);
    EXPECT_FALSE(thread.isInSelfThread());
}

TEST(AioThread, ExecuteSyncWaitsForTheFunctionAndRunsInlineOnItsOwnThread)
{
    AioThread thread;
    std::thread::id ranOn;
    thread.executeSync([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_NE(ranOn, std::this_thread::get_id());

    bool nestedInline = false;
    thread.executeSync([&] {
        bool ran = false;
        thread.executeSync([&] { ran = true; }); // Would deadlock if it queued.
        nestedInline = ran;
    });
    EXPECT_TRUE(nestedInline);
}

TEST(AioThread, AnEscapedExceptionIsLoggedAndTheLoopGoesOn)
{
    utils::log::LogCapture capture(utils::log::Level::error);
    AioThread thread;
    thread.post([] { throw std::runtime_error("bad completion"); });
    Signal<> after;
    thread.post([after]() mutable { after.set(); });
    ASSERT_TRUE(after.wait());
    EXPECT_EQ(capture.logger().texts(), QStringList{"Exception escaped an I/O completion: bad completion"});
}

TEST(AioThreadPool, HandsOutItsThreadsRoundRobin)
{
    AioThreadPool pool(2);
    AbstractAioThread* first = pool.nextThread();
    AbstractAioThread* second = pool.nextThread();
    EXPECT_NE(first, second);
    EXPECT_EQ(pool.nextThread(), first);
    EXPECT_EQ(pool.nextThread(), second);
    EXPECT_GE(AioThreadPool::instance().size(), 1u);
    EXPECT_LE(AioThreadPool::instance().size(), AioThreadPool::kMaxDefaultThreadCount);
}

} // namespace
} // namespace vorn::network::aio
