#include "exception.h"

#include <array>
#include <string>

namespace vorn::vms_server_plugins::utils {

Exception::Exception(const std::system_error& e)
    : ContextedException(QString::fromLocal8Bit(e.what()))
    , m_code(e.code())
{}

Exception::Exception(std::error_code code)
    : ContextedException(QString::fromLocal8Bit(code.message().c_str()))
    , m_code(code)
{}

Exception::Exception(sdk::ErrorCode code, const QString& message)
    : ContextedException(message)
    , m_code(code)
{}

std::error_code Exception::errorCode() const
{
    if (const auto* code = std::get_if<std::error_code>(&m_code))
        return *code;
    return {};
}

sdk::Error Exception::toError() const
{
    sdk::ErrorCode code = std::holds_alternative<sdk::ErrorCode>(m_code)
                              ? std::get<sdk::ErrorCode>(m_code)
                              : toErrorCode(std::get<std::error_code>(m_code));
    if (code == sdk::ErrorCode::noError)
        code = sdk::ErrorCode::generalFailure;
    return sdk::error(code, std::string(what()));
}

sdk::ErrorCode toErrorCode(std::error_code code)
{
    if (code.value() == 0)
        return sdk::ErrorCode::noError;

    static constexpr std::array kNetworkFailures = {
        std::errc::connection_aborted,  std::errc::connection_refused, std::errc::connection_reset,
        std::errc::host_unreachable,    std::errc::network_down,       std::errc::network_reset,
        std::errc::network_unreachable, std::errc::timed_out,
    };
    for (const std::errc condition : kNetworkFailures) {
        if (code == condition)
            return sdk::ErrorCode::networkFailure;
    }

    if (code == std::errc::operation_not_permitted || code == std::errc::permission_denied)
        return sdk::ErrorCode::permissionDenied;

    return sdk::ErrorCode::generalFailure;
}

} // namespace vorn::vms_server_plugins::utils
