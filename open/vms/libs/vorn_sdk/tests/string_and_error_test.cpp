#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/result.h>

#include "debug_capture.h"

namespace vorn::sdk::test {
namespace {

TEST(String, HoldsAndReplacesItsText)
{
    const auto fromNull = makePtr<String>(static_cast<const char*>(nullptr));
    ASSERT_NE(fromNull->text(), nullptr);
    EXPECT_STREQ(fromNull->text(), "");
    EXPECT_TRUE(fromNull->empty());

    const auto text = makePtr<String>(std::string("manifest"));
    EXPECT_STREQ(text->text(), "manifest");
    EXPECT_EQ(text->size(), 8);

    text->setText("other");
    EXPECT_STREQ(text->text(), "other");
    text->setText(static_cast<const char*>(nullptr));
    EXPECT_STREQ(text->text(), "");
    EXPECT_EQ(text->size(), 0);
    text->setText(std::string("a\0b", 3));
    EXPECT_EQ(text->size(), 3);
}

// error() reports a zero code or an empty message, and still returns the record it was asked for.
TEST(Error, BuildsTheRecordAndReportsMisuse)
{
    struct Row
    {
        const char* name;
        ErrorCode code;
        std::string message;
        const char* expectedCondition; //< null: no report
    };
    const std::vector<Row> rows{
        {"failure with message", ErrorCode::generalFailure, "Unable to create Engine", nullptr},
        {"no error", ErrorCode::noError, "M", "errorCode != ErrorCode::noError"},
        {"empty message", ErrorCode::unexpectedFailure, "", "!errorMessage.empty()"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DebugCapture capture;
        const Error e = error(row.code, row.message);
        const Ptr<const IString> message = toPtr(e.errorMessage);

        EXPECT_EQ(e.errorCode, row.code);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->text(), row.message);
        EXPECT_EQ(message->retain(), 2); // the record's reference is the only one
        message->release();

        if (row.expectedCondition) {
            EXPECT_EQ(capture.countLinesContaining("vorn::sdk::error(): "), 1) << capture.text();
            EXPECT_EQ(capture.countLinesContaining(row.expectedCondition), 1) << capture.text();
        } else {
            EXPECT_EQ(capture.text(), "");
        }
    }
}

TEST(Result, SuccessAndFailureRecords)
{
    const Result<const IString*> empty;
    EXPECT_TRUE(empty.isOk());
    EXPECT_EQ(empty.value, nullptr);

    const auto value = makePtr<String>("v");
    const Result<const IString*> success(value.get());
    EXPECT_TRUE(success.isOk());
    EXPECT_EQ(success.value, value.get());

    Result<void> failure(error(ErrorCode::networkFailure, "refused"));
    const Ptr<const IString> message = toPtr(failure.error.errorMessage);
    EXPECT_FALSE(failure.isOk());
    EXPECT_EQ(static_cast<int32_t>(failure.error.errorCode), -22);

    // A code without a message, or a message without a code, is not a success either.
    EXPECT_FALSE(Error(ErrorCode::generalFailure, nullptr).isOk());
    EXPECT_FALSE(Error(ErrorCode::noError, message.get()).isOk());
}

} // namespace
} // namespace vorn::sdk::test
