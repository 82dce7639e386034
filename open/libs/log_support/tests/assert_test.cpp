#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/log_support/assert.h>
#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/monotonic_time.h>

#include "log_test_support.h"

namespace log_support_test {
namespace {

using vorn::log_support::reportAssertionFailure;
using vorn::utils::AssertionCapture;

// Where the build places this file, as reports name it.
const QString kThisFile = QStringLiteral("open/libs/log_support/tests/assert_test");

QString report(int line, const QString& conditionAndMessage)
{
    return QStringLiteral("ASSERTION FAILED: %1:%2 %3").arg(kThisFile).arg(line).arg(conditionAndMessage);
}

TEST(Assertion, holdingConditionReportsNothingAndEvaluatesNoMessage)
{
    AssertionCapture assertions;
    int evaluations = 0;
    const bool result = VN_ASSERT(1 + 1 == 2, "never %1", ++evaluations);
    EXPECT_TRUE(result);
    EXPECT_EQ(evaluations, 0);
    EXPECT_TRUE(assertions.reports().isEmpty());
}

TEST(Assertion, failureReportsAndAnswersWithTheSinkResult)
{
    for (const bool sinkResult : {false, true}) {
        SCOPED_TRACE(sinkResult);
        AssertionCapture assertions(sinkResult);
        // clang-format off
        const int line = __LINE__; const bool result = VN_ASSERT(2 < 1);
        // clang-format on
        EXPECT_EQ(result, sinkResult);
        EXPECT_EQ(assertions.reports(), QStringList({report(line, "(2 < 1) ")}));
    }
}

TEST(Assertion, checkReportsAlikeButHoldsWhateverTheSinkAnswers)
{
    for (const bool sinkResult : {false, true}) {
        SCOPED_TRACE(sinkResult);
        AssertionCapture assertions(sinkResult);
        const int* const missing = nullptr;
        // clang-format off
        const int line = __LINE__; const bool result = VN_CHECK(missing, "no %1", "value");
        // clang-format on
        EXPECT_FALSE(result);
        EXPECT_EQ(assertions.reports(), QStringList({report(line, "(missing) no value")}));
        EXPECT_TRUE(VN_CHECK(1 + 1 == 2));
        EXPECT_EQ(assertions.reports().size(), 1);
    }
}

TEST(Assertion, reportTexts)
{
    AssertionCapture assertions;
    const std::string placeholder = "%1";
    // clang-format off
    const int line1 = __LINE__; VN_ASSERT(placeholder.empty());
    const int line2 = __LINE__; VN_ASSERT(placeholder.size() > 5, "size %1 of %2", placeholder.size(), placeholder);
    const int line3 = __LINE__; VN_ASSERT(false, "Unknown object type");
    // clang-format on
    EXPECT_EQ(assertions.reports(), QStringList({report(line1, "(placeholder.empty()) "),
                                                 report(line2, "(placeholder.size() > 5) size 2 of %1"),
                                                 report(line3, "(false) Unknown object type")}));
}

TEST(Assertion, reporterFillsInOnePassAndDropsTheExtension)
{
    AssertionCapture assertions;
    struct Row
    {
        const char* name;
        const char* file;
        const char* condition;
        vorn::Formatter message;
        QString expected;
    };
    const Row rows[] = {
        {"extensionDropped",
         "vms/server/x/rtp_metadata_monitor.cpp",
         "base.isValid()",
         {},
         "ASSERTION FAILED: vms/server/x/rtp_metadata_monitor:45 (base.isValid()) "},
        {"noExtensionKept",
         "open/libs/vorn_fusion/src/vorn/fusion/serialization/json",
         "outTarget",
         {},
         "ASSERTION FAILED: open/libs/vorn_fusion/src/vorn/fusion/serialization/json:45 (outTarget) "},
        {"dotInFolderOnly", "a/b.c/file", "x", {}, "ASSERTION FAILED: a/b.c/file:45 (x) "},
        {"placeholdersInArgumentsStay", "f.h", "%1 == %2", vorn::Formatter("%3 %4"),
         "ASSERTION FAILED: f:45 (%1 == %2) %3 %4"},
        // Paths and conditions are UTF-8: other than ASCII, they are decoded, not taken byte by byte.
        {"utf8PathAndCondition",
         "kamera/gr\xc3\xb6\xc3\x9f"
         "e.cpp",
         "name == \"\xe2\x82\xac\"", vorn::Formatter(QString::fromUtf8("\xc3\xa9t\xc3\xa9")),
         QString::fromUtf8("ASSERTION FAILED: kamera/gr\xc3\xb6\xc3\x9f"
                           "e:45 (name == \"\xe2\x82\xac\") \xc3\xa9t\xc3\xa9")},
        {"noFileNoCondition", nullptr, nullptr, {}, "ASSERTION FAILED: :45 () "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        assertions.clear();
        reportAssertionFailure(false, row.file, 45, row.condition, row.message);
        EXPECT_EQ(assertions.reports(), QStringList({row.expected}));
    }
}

TEST(Assertion, passesNonCriticalFlagAndKeepsLastErrorCode)
{
    bool criticalSeen = true;
    const auto previous = vorn::utils::setAssertionHandler([&](bool critical, const QString&) {
        criticalSeen = critical;
        errno = ENOSPC;
        return false;
    });
    errno = EAGAIN;
    VN_ASSERT(false);
    const int errnoAfter = errno;
    vorn::utils::setAssertionHandler(previous);

    EXPECT_FALSE(criticalSeen);
    EXPECT_EQ(errnoAfter, EAGAIN);
}

// A peer that repeats a fault in every message: the reports of one limited statement are counted per
// window like log lines of level 2; past the limit they become level-5 log lines that the sink never
// sees, and a new window reports again.
TEST(Assertion, limitedReportsGoThroughTheLogLimiterOfTheirStatement)
{
    constexpr char kPrefix[] = "TOO MANY SIMILAR MESSAGES: ";
    struct Row
    {
        const char* name;
        bool limiterOn;
        std::vector<int> atSeconds;   //< One failed assertion at each.
        std::vector<QString> reports; //< What reached the sink: "" for a plain report, else its prefix.
        int demotedLines;             //< Written at level 5 instead.
    };
    const Row rows[] = {
        {"limiter off: every report", false, {0, 0, 0, 0, 0}, {"", "", "", "", ""}, 0},
        {"limit 3 in one window", true, {0, 0, 0, 0, 0}, {"", "", kPrefix}, 2},
        {"a new window reports again", true, {0, 0, 0, 0, 61, 61}, {"", "", kPrefix, "", ""}, 1},
    };
    int rowStart = 0; // Each row in windows of its own: the statement's counters live on.
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rowStart += 1000;
        const ScopedLimiter limiter(row.limiterOn, 3, 60);
        vorn::utils::FakeMonotonicTime clock;
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
        AssertionCapture assertions(/*result*/ true);
        std::vector<bool> answers;
        for (const int second : row.atSeconds) {
            clock.set(std::chrono::seconds(rowStart + second));
            const std::string data = "left over";
            answers.push_back(VN_ASSERT_LIMITED(data.empty(), "%1 bytes", data.size()));
        }

        const QStringList reports = assertions.reports();
        ASSERT_EQ(reports.size(), static_cast<qsizetype>(row.reports.size()));
        for (qsizetype i = 0; i < reports.size(); ++i) {
            EXPECT_TRUE(reports[i].startsWith(row.reports[i] + "ASSERTION FAILED: "
                                                               "open/libs/log_support/tests/assert_test:"))
                << reports[i].toStdString();
            EXPECT_TRUE(reports[i].endsWith(" (data.empty()) 9 bytes")) << reports[i].toStdString();
        }
        int demoted = 0;
        for (const auto& record : capture.logger().records()) {
            if (record.level == vorn::utils::log::Level::debug && record.text.contains("(data.empty()) 9 bytes"))
                ++demoted;
        }
        EXPECT_EQ(demoted, row.demotedLines);
        // The sink's answer while it is asked, false once the reports are demoted.
        for (std::size_t i = 0; i < answers.size(); ++i)
            EXPECT_EQ(answers[i], !row.limiterOn || i < 3 || row.atSeconds[i] > 0) << i;
    }
}

} // namespace
} // namespace log_support_test
