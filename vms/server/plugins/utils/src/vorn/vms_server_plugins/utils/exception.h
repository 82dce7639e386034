// Exception: what plugin code throws for a failure that carries a system error code (a refused
// connection, a timeout) or an SDK error code, and translateExceptions(), which the plugins' result
// operations run their bodies in so that no exception crosses the library boundary:
//
//     void Engine::createDeviceAgent(Result<IDeviceAgent*>* outResult, const IDeviceDescription* device)
//     {
//         translateExceptions(outResult, [&]() -> Result<IDeviceAgent*> { return new DeviceAgent(this, device); });
//     }
//
// An Exception becomes its toError(); any other std::exception an unexpectedFailure (-1000) with its
// what(); anything else an unexpectedFailure with "Unknown exception occurred". The value of a failed
// result is null.
#pragma once

#include <exception>
#include <system_error>
#include <type_traits>
#include <variant>

#include <QtCore/QString>

#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/result.h>
#include <vorn/utils/exception.h>

namespace vorn::vms_server_plugins::utils {

class Exception : public vorn::utils::ContextedException
{
public:
    /** The message is e.what(); the code is e.code(). */
    explicit Exception(const std::system_error& e);

    /** The message is code.message(). */
    explicit Exception(std::error_code code);

    Exception(sdk::ErrorCode code, const QString& message);

    /** The system error code; value 0 (system category) when an SDK code is held. */
    std::error_code errorCode() const;

    /** The SDK error with the held or mapped code (noError becomes generalFailure) and what(). */
    sdk::Error toError() const;

private:
    std::variant<std::error_code, sdk::ErrorCode> m_code;
};

/**
 * noError for value 0; networkFailure for connection and network failures and timeouts;
 * permissionDenied for missing permission; generalFailure for anything else. Compares by meaning, so a
 * system-category code and the generic code of the same condition map alike.
 */
sdk::ErrorCode toErrorCode(std::error_code code);

namespace detail {

// The last resort when even the error record cannot be made: the code without a message.
template <class T>
void writeUnexpectedFailure(sdk::Result<T>* outResult, const char* message) noexcept
{
    try {
        *outResult = sdk::Result<T>(sdk::error(sdk::ErrorCode::unexpectedFailure, message));
    } catch (...) {
        *outResult = sdk::Result<T>(sdk::Error(sdk::ErrorCode::unexpectedFailure, nullptr));
    }
}

} // namespace detail

/**
 * Runs body and writes its result, or the translation of what it threw, to *outResult. body returns
 * Result<T> (or anything convertible to it, such as T or sdk::Error); for Result<void> it may also
 * return nothing, which means success. A null outResult runs nothing.
 */
template <class T, class Body>
void translateExceptions(sdk::Result<T>* outResult, Body&& body) noexcept
{
    if (!outResult)
        return;
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
            static_assert(std::is_void_v<T>, "A body of a Result<T> operation must return its result");
            body();
            *outResult = sdk::Result<T>();
        } else {
            *outResult = sdk::Result<T>(body());
        }
    } catch (const Exception& e) {
        try {
            *outResult = sdk::Result<T>(e.toError());
        } catch (...) {
            detail::writeUnexpectedFailure(outResult, e.what());
        }
    } catch (const std::exception& e) {
        detail::writeUnexpectedFailure(outResult, e.what());
    } catch (...) {
        detail::writeUnexpectedFailure(outResult, "Unknown exception occurred");
    }
}

} // namespace vorn::vms_server_plugins::utils
