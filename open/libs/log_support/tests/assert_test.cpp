#include <cerrno>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/log_support/assert.h>
#include <vorn/utils/assert.h>

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

} // namespace
} // namespace log_support_test
