#include <cerrno>
#include <chrono>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QtCore/QString>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/monotonic_time.h>
#include <vorn/utils/settings.h>
#include <vorn/utils/system_error.h>

// Shows texts as texts in failure messages.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace log_services_test {
namespace {

using namespace std::chrono_literals;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::utils::log::LogRecord;

TEST(AssertFailure, writesReportToLogAndAnswersFalse)
{
    LogCapture capture(Level::warning);
    EXPECT_FALSE(vorn::utils::assertFailure(false, QStringLiteral("ASSERTION FAILED: a:1 (x) ")));
    EXPECT_FALSE(vorn::utils::assertFailure(true, QStringLiteral("critical")));
    EXPECT_THAT(capture.logger().records(),
                testing::ElementsAre(LogRecord{Level::error, "assert", "ASSERTION FAILED: a:1 (x) "},
                                     LogRecord{Level::always, "assert", "critical"}));
}

TEST(AssertFailure, writesToStderrWithoutLogger)
{
    LogCapture capture(Level::warning);
    const auto previous = vorn::utils::log::setMainLogger(nullptr);
    testing::internal::CaptureStderr();
    vorn::utils::assertFailure(false, QStringLiteral("report"));
    const std::string written = testing::internal::GetCapturedStderr();
    vorn::utils::log::setMainLogger(previous);
    EXPECT_EQ(written, "report\n");
}

TEST(AssertFailure, captureRecordsAnswersAndRestores)
{
    LogCapture log(Level::verbose);
    {
        vorn::utils::AssertionCapture outer(true);
        {
            vorn::utils::AssertionCapture inner;
            EXPECT_FALSE(vorn::utils::assertFailure(false, QStringLiteral("one")));
            inner.setResult(true);
            EXPECT_TRUE(vorn::utils::assertFailure(false, QStringLiteral("two")));
            EXPECT_EQ(inner.reports(), QStringList({"one", "two"}));
        }
        EXPECT_TRUE(vorn::utils::assertFailure(false, QStringLiteral("three")));
        EXPECT_EQ(outer.reports(), QStringList({"three"}));
    }
    EXPECT_FALSE(vorn::utils::assertFailure(false, QStringLiteral("four")));
    EXPECT_EQ(log.logger().texts(), QStringList({"four"})) << "the default reporting is back";
}

TEST(SystemError, lastErrorCodeIsErrno)
{
    errno = ENOENT;
    EXPECT_EQ(SystemError::getLastOSErrorCode(), SystemError::ErrorCode{ENOENT});
    SystemError::setLastErrorCode(EACCES);
    EXPECT_EQ(errno, EACCES);
    SystemError::setLastErrorCode(SystemError::noError);
    EXPECT_EQ(errno, 0);
    EXPECT_FALSE(SystemError::toString(ENOENT).isEmpty());
    EXPECT_NE(SystemError::toString(ENOENT), SystemError::toString(EACCES));
}

TEST(MonotonicTime, fakesNestAndRestore)
{
    const auto realBefore = vorn::utils::monotonicTime();
    {
        vorn::utils::FakeMonotonicTime outer(100s);
        EXPECT_EQ(vorn::utils::monotonicTime(), 100s);
        outer.advance(1500ms);
        EXPECT_EQ(vorn::utils::monotonicTime(), 101500ms);
        {
            vorn::utils::FakeMonotonicTime inner(5s);
            inner.set(3s);
            EXPECT_EQ(vorn::utils::monotonicTime(), 3s);
            EXPECT_EQ(inner.now(), 3s);
        }
        EXPECT_EQ(vorn::utils::monotonicTime(), 101500ms);
    }
    EXPECT_GE(vorn::utils::monotonicTime(), realBefore) << "the real clock is back";
}

TEST(Ini, limiterSettingsAreSettable)
{
    vorn::utils::Ini& ini = vorn::utils::ini();
    const int limit = ini.logSimilarMessagesLimit();
    const int window = ini.logSimilarMessagesWindowS();
    ini.setLogSimilarMessagesLimit(3);
    ini.setLogSimilarMessagesWindowS(10);
    EXPECT_EQ(vorn::utils::ini().logSimilarMessagesLimit(), 3);
    EXPECT_EQ(vorn::utils::ini().logSimilarMessagesWindowS(), 10);
    ini.setLogSimilarMessagesLimit(limit);
    ini.setLogSimilarMessagesWindowS(window);
}

} // namespace
} // namespace log_services_test
