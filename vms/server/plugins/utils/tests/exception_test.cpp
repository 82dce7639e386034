#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server_plugins/utils/exception.h>

namespace vorn::vms_server_plugins::utils {
namespace {

using sdk::ErrorCode;

TEST(PluginsException, SystemErrorCodesMapToSdkCodes)
{
    struct Row
    {
        const char* name;
        std::error_code code;
        ErrorCode expected;
    };
    const std::vector<Row> rows{
        {"value 0", std::error_code(0, std::system_category()), ErrorCode::noError},
        {"generic value 0", std::error_code(0, std::generic_category()), ErrorCode::noError},
        {"timed out, generic", std::make_error_code(std::errc::timed_out), ErrorCode::networkFailure},
        {"connection refused, system", std::error_code(ECONNREFUSED, std::system_category()),
         ErrorCode::networkFailure},
        {"connection reset", std::make_error_code(std::errc::connection_reset), ErrorCode::networkFailure},
        {"host unreachable, system", std::error_code(EHOSTUNREACH, std::system_category()), ErrorCode::networkFailure},
        {"network down", std::make_error_code(std::errc::network_down), ErrorCode::networkFailure},
        {"permission denied", std::make_error_code(std::errc::permission_denied), ErrorCode::permissionDenied},
        {"operation not permitted, system", std::error_code(EPERM, std::system_category()),
         ErrorCode::permissionDenied},
        {"no such file", std::make_error_code(std::errc::no_such_file_or_directory), ErrorCode::generalFailure},
        {"other category", std::make_error_code(std::io_errc::stream), ErrorCode::generalFailure},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(toErrorCode(row.code), row.expected);
    }
}

TEST(PluginsException, ToErrorCarriesCodeAndText)
{
    struct Row
    {
        const char* name;
        Exception exception;
        ErrorCode expectedCode;
        std::string expectedText;
    };
    const std::error_code zero(0, std::system_category());
    const std::error_code refused(ECONNREFUSED, std::system_category());
    const std::vector<Row> rows{
        {"value 0 becomes general failure", Exception(zero), ErrorCode::generalFailure, zero.message()},
        {"system error", Exception(std::system_error(refused, "connect")), ErrorCode::networkFailure,
         std::system_error(refused, "connect").what()},
        {"error code", Exception(std::make_error_code(std::errc::permission_denied)), ErrorCode::permissionDenied,
         std::make_error_code(std::errc::permission_denied).message()},
        {"sdk code", Exception(ErrorCode::networkFailure, "camera gone"), ErrorCode::networkFailure, "camera gone"},
        {"sdk noError becomes general failure", Exception(ErrorCode::noError, "odd"), ErrorCode::generalFailure, "odd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const sdk::Error error = row.exception.toError();
        const auto message = sdk::toPtr(error.errorMessage);
        EXPECT_EQ(error.errorCode, row.expectedCode);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->text(), row.expectedText);
        EXPECT_EQ(row.exception.message().toStdString(), row.expectedText);
    }

    EXPECT_EQ(Exception(refused).errorCode(), refused);
    EXPECT_EQ(Exception(ErrorCode::networkFailure, "x").errorCode(), std::error_code());
}

// What a result operation's caller gets when its body throws.
TEST(PluginsException, TranslatedBodiesNeverThrow)
{
    struct Row
    {
        const char* name;
        std::function<sdk::Result<const sdk::IString*>()> body;
        ErrorCode expectedCode;
        const char* expectedText; //< The value's text on success, the message's on failure.
    };
    const std::vector<Row> rows{
        {"value", [] { return sdk::Result<const sdk::IString*>(new sdk::String("manifest")); }, ErrorCode::noError,
         "manifest"},
        {"returned error",
         [] { return sdk::Result<const sdk::IString*>(sdk::error(ErrorCode::generalFailure, "bad")); },
         ErrorCode::generalFailure, "bad"},
        {"plugin exception",
         []() -> sdk::Result<const sdk::IString*> { throw Exception(ErrorCode::networkFailure, "unreachable"); },
         ErrorCode::networkFailure, "unreachable"},
        {"plugin exception with code 0",
         []() -> sdk::Result<const sdk::IString*> { throw Exception(std::error_code()); }, ErrorCode::generalFailure,
         "Success"},
        {"runtime_error", []() -> sdk::Result<const sdk::IString*> { throw std::runtime_error("boom"); },
         ErrorCode::unexpectedFailure, "boom"},
        {"anything else", []() -> sdk::Result<const sdk::IString*> { throw 42; }, ErrorCode::unexpectedFailure,
         "Unknown exception occurred"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sdk::Result<const sdk::IString*> result;
        translateExceptions(&result, row.body);
        const auto value = sdk::toPtr(result.value);
        const auto message = sdk::toPtr(result.error.errorMessage);
        EXPECT_EQ(result.error.errorCode, row.expectedCode);
        if (row.expectedCode == ErrorCode::noError) {
            ASSERT_TRUE(value);
            EXPECT_STREQ(value->text(), row.expectedText);
            EXPECT_FALSE(message);
        } else {
            EXPECT_FALSE(value);
            ASSERT_TRUE(message);
            EXPECT_STREQ(message->text(), row.expectedText);
        }
    }
}

TEST(PluginsException, TranslatedVoidBodies)
{
    sdk::Result<void> result(sdk::error(ErrorCode::generalFailure, "stale"));
    sdk::toPtr(result.error.errorMessage).reset();
    translateExceptions(&result, [] {});
    EXPECT_TRUE(result.isOk());

    translateExceptions(&result, [] { throw std::runtime_error("subscription failed"); });
    const auto message = sdk::toPtr(result.error.errorMessage);
    EXPECT_EQ(result.error.errorCode, ErrorCode::unexpectedFailure);
    ASSERT_TRUE(message);
    EXPECT_STREQ(message->text(), "subscription failed");

    translateExceptions(&result, [] { return sdk::Result<void>(); });
    EXPECT_TRUE(result.isOk());

    bool ran = false;
    translateExceptions(static_cast<sdk::Result<void>*>(nullptr), [&] { ran = true; });
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace vorn::vms_server_plugins::utils
