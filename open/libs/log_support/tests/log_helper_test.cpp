#include <chrono>
#include <vector>

#include <QtCore/QStringList>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/log_support/log.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/monotonic_time.h>

#include "log_test_support.h"

namespace log_support_test {
namespace {

using vorn::log_support::LogCallSite;
using vorn::log_support::LogHelper;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::utils::log::Tag;
using namespace std::chrono_literals;

constexpr char kPrefix[] = "TOO MANY SIMILAR MESSAGES: ";

struct Message
{
    int atSecond;
    int expectedLevel;
    bool expectPrefix;
};

struct LimiterRow
{
    const char* name;
    bool enabled;
    int limit;
    int windowS;
    int siteLevel;
    std::vector<Message> messages;
};

void PrintTo(const LimiterRow& row, std::ostream* os)
{
    *os << row.name;
}

class LimiterTest : public testing::TestWithParam<LimiterRow>
{
};

// Each row runs one call site from a fresh state, message after message, with the clock set to the
// given second before each.
TEST_P(LimiterTest, prefixesAndDemotesRepeatedMessages)
{
    const LimiterRow& row = GetParam();
    const ScopedLimiter limiter(row.enabled, row.limit, row.windowS);
    LogCapture capture(Level::verbose);
    vorn::utils::FakeMonotonicTime clock;
    LogCallSite site(row.siteLevel);

    for (size_t i = 0; i < row.messages.size(); ++i) {
        const Message& message = row.messages[i];
        SCOPED_TRACE(testing::Message() << "message " << i << " at second " << message.atSecond);
        clock.set(std::chrono::seconds(message.atSecond) + 250ms);
        capture.logger().clear();

        LogHelper helper(Tag(QStringLiteral("tag")), &site);
        ASSERT_TRUE(helper.hasLogger());
        helper.log(QStringLiteral("text"));

        const auto records = capture.logger().records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(static_cast<int>(records[0].level), message.expectedLevel);
        EXPECT_EQ(records[0].tag, "tag");
        EXPECT_EQ(records[0].text, message.expectPrefix ? QString(kPrefix) + "text" : QString("text"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LimiterTest,
    testing::Values(
        LimiterRow{
            "limit3Window10",
            true,
            3,
            10,
            3,
            {{100, 3, false}, {100, 3, false}, {100, 3, true}, {100, 5, false}, {100, 5, false}, {111, 3, false}}},
        // The window covers seconds [start, start + W): the last second inside still counts.
        LimiterRow{"lastSecondOfWindowStillCounts", true, 1, 10, 3, {{100, 3, true}, {109, 5, false}}},
        LimiterRow{"windowEndsAfterWSeconds", true, 1, 10, 3, {{100, 3, true}, {110, 3, true}}},
        LimiterRow{"clockBackwardsStartsNewWindow",
                   true,
                   2,
                   10,
                   2,
                   {{100, 2, false}, {100, 2, true}, {100, 5, false}, {50, 2, false}, {50, 2, true}}},
        LimiterRow{"limiterOff", false, 1, 10, 3, {{100, 3, false}, {100, 3, false}, {100, 3, false}}},
        LimiterRow{"level4IsCounted", true, 2, 10, 4, {{100, 4, false}, {100, 4, true}, {100, 5, false}}},
        LimiterRow{"level5NeverCounted", true, 1, 10, 5, {{100, 5, false}, {100, 5, false}, {100, 5, false}}},
        LimiterRow{"level6NeverCounted", true, 1, 10, 6, {{100, 6, false}, {100, 6, false}}},
        LimiterRow{"limitZeroDemotesAll", true, 0, 10, 3, {{100, 5, false}, {100, 5, false}, {120, 5, false}}},
        LimiterRow{"negativeLimitNeverDemotes", true, -1, 10, 3, {{100, 3, false}, {100, 3, false}}}),
    [](const testing::TestParamInfo<LimiterRow>& info) { return std::string(info.param.name); });

// The example of a real statement: one call site run five times within a second, then eleven seconds
// later.
void logSimilar(int i)
{
    VN_LOG(3, Tag(QStringLiteral("similar")), "message %1", i);
}

TEST(LogStatementLimiter, sameStatementIsLimitedAcrossCalls)
{
    const ScopedLimiter limiter(true, 3, 10);
    LogCapture capture(Level::verbose);
    // A start far from any earlier run of this test in the process (--gtest_repeat), whose call site
    // state persists, so that the first message always opens a new window.
    static int run = 0;
    vorn::utils::FakeMonotonicTime clock(std::chrono::seconds(1000 * ++run));

    for (int i = 1; i <= 5; ++i)
        logSimilar(i);
    clock.advance(11s);
    logSimilar(6);

    using vorn::utils::log::LogRecord;
    EXPECT_THAT(capture.logger().records(),
                testing::ElementsAre(LogRecord{Level::warning, "similar", "message 1"},
                                     LogRecord{Level::warning, "similar", "message 2"},
                                     LogRecord{Level::warning, "similar", QString(kPrefix) + "message 3"},
                                     LogRecord{Level::debug, "similar", "message 4"},
                                     LogRecord{Level::debug, "similar", "message 5"},
                                     LogRecord{Level::warning, "similar", "message 6"}));
}

// A message over the limit is demoted to level 5 and written only where level 5 is wanted: by the
// process-wide maximum level (the default logger takes every level, so the maximum alone decides) and by
// the logger itself.
TEST(LogStatementLimiter, demotedMessagesAreWrittenOnlyWhereDetailIsWanted)
{
    struct Row
    {
        const char* name;
        Level maxLevel;
        Level loggerLevel;
        bool demotedWritten;
    };
    const Row rows[] = {
        {"default level, logger takes all", Level::info, Level::verbose, false},
        {"detail wanted, logger takes all", Level::debug, Level::verbose, true},
        {"detail wanted, logger declines it", Level::verbose, Level::info, false},
        {"default level, logger declines it", Level::info, Level::info, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ScopedLimiter limiter(true, 2, 10);
        LogCapture capture(row.maxLevel);
        capture.logger().setMaxLevel(row.loggerLevel);
        const vorn::utils::FakeMonotonicTime clock(std::chrono::seconds(100));
        LogCallSite site(3);
        for (int i = 0; i < 5; ++i) {
            LogHelper helper(Tag(QStringLiteral("tag")), &site);
            ASSERT_TRUE(helper.hasLogger());
            helper.log(QStringLiteral("text"));
        }
        QStringList written;
        for (const vorn::utils::log::LogRecord& record : capture.logger().records())
            written.append(QStringLiteral("%1 %2").arg(static_cast<int>(record.level)).arg(record.text));
        QStringList expected{"3 text", "3 " + QString(kPrefix) + "text"};
        if (row.demotedWritten)
            expected << "5 text"
                     << "5 text"
                     << "5 text";
        EXPECT_EQ(written, expected);
    }
}

TEST(LogHelper, dropsLoggerThatDeclinesLevelOrWhenNoneIsInstalled)
{
    LogCapture capture(Level::verbose);
    capture.logger().setMaxLevel(Level::info);

    LogCallSite infoSite(4);
    EXPECT_TRUE(LogHelper(Tag(QStringLiteral("t")), &infoSite).hasLogger());
    LogCallSite debugSite(5);
    EXPECT_FALSE(LogHelper(Tag(QStringLiteral("t")), &debugSite).hasLogger());

    const auto previous = vorn::utils::log::setMainLogger(nullptr);
    EXPECT_FALSE(LogHelper(Tag(QStringLiteral("t")), &infoSite).hasLogger());
    vorn::utils::log::setMainLogger(previous);
}

TEST(LogHelper, writesToStderrWithoutLogger)
{
    LogCapture capture(Level::verbose);
    const auto previous = vorn::utils::log::setMainLogger(nullptr);
    LogCallSite site(3);
    LogHelper helper(Tag(QStringLiteral("Camera(0x1)")), &site);

    testing::internal::CaptureStderr();
    helper.log(QString::fromUtf8("caf\u00e9 closed"));
    const std::string written = testing::internal::GetCapturedStderr();
    vorn::utils::log::setMainLogger(previous);

    EXPECT_EQ(written, "Camera(0x1): caf\u00e9 closed\n");
    EXPECT_EQ(site.count.load(), 0) << "the fallback is not counted";
}

} // namespace
} // namespace log_support_test
