#include <vorn/utils/thread/thread.h>

#include <functional>
#include <memory>
#include <string>

#include <vorn/testing/wait_until.h>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

using vorn::testing::waitUntil;

// Writes plain, unguarded memory of its owner and ends: only the end of the thread orders that write
// before the owner's read.
class Writer : public Thread
{
public:
    explicit Writer(std::string& result)
        : m_result(result)
    {}

protected:
    void run() override { m_result = "written by the thread"; }

private:
    std::string& m_result;
};

// Every way of waiting for the end makes what run() did visible to the waiter. The waiter comes only
// after the thread has ended, so the wait returns at once rather than through a wake-up; under
// ThreadSanitizer that is the case where the end must be ordered by the wait itself (a missing order
// is reported as a race on the string, and the test fails).
TEST(Thread, WhatRunDidIsVisibleAfterEveryWayOfWaiting)
{
    struct Row
    {
        const char* name;
        std::function<void(std::unique_ptr<Writer>&)> waitForTheEnd;
    };
    const Row rows[] = {
        {"wait()", [](std::unique_ptr<Writer>& writer) { EXPECT_TRUE(writer->wait()); }},
        {"wait(ms)", [](std::unique_ptr<Writer>& writer) { EXPECT_TRUE(writer->wait(10000)); }},
        {"stop()", [](std::unique_ptr<Writer>& writer) { writer->stop(); }},
        {"destructor", [](std::unique_ptr<Writer>& writer) { writer.reset(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string result;
        auto writer = std::make_unique<Writer>(result);
        writer->start();
        ASSERT_TRUE(waitUntil([&] { return writer->isFinished(); }));
        row.waitForTheEnd(writer);
        EXPECT_EQ(result, "written by the thread");
    }
}

} // namespace
} // namespace vorn::utils
