#include "camera_client.h"

#include <vorn/log_support/log.h>
#include <vorn/network/http/auth_type.h>
#include <vorn/network/http/credentials.h>
#include <vorn/network/http/status_code.h>
#include <vorn/network/http/timeouts.h>
#include <vorn/network/ssl/certificate_check.h>

namespace vorn::vms_server_plugins::analytics::axis {

using namespace vorn::network;

namespace {

// The rest of a request once it was sent (`sent`: a response arrived).
std::optional<QByteArray> finishCameraRequest(http::HttpClient* client, bool sent, const vorn::utils::log::Tag& logTag)
{
    if (!sent) {
        VN_LOG(5, logTag, "Request failed: %1", SystemError::toString(client->lastSysErrorCode()));
        return std::nullopt;
    }
    if (!http::StatusCode::isSuccessCode(client->statusCode())) {
        VN_LOG(5, logTag, "Bad HTTP response status: %1", http::StatusCode::toString(client->statusCode()));
        return std::nullopt;
    }
    std::optional<QByteArray> body = client->fetchEntireMessageBody();
    if (!body)
        VN_LOG(5, logTag, "Couldn't read response body: %1", SystemError::toString(client->lastSysErrorCode()));
    return body;
}

} // namespace

http::HttpClient makeCameraClient(const vorn::sdk::analytics::IDeviceDescription& deviceInfo)
{
    http::HttpClient client(ssl::kAcceptAnyCertificate);
    client.setAuthType(http::AuthType::digest);
    client.setCredentials(http::PasswordCredentials(deviceInfo.login(), deviceInfo.password()));
    client.setTimeouts(http::Timeouts{kCameraRequestTimeout, kCameraRequestTimeout, kCameraRequestTimeout});
    client.addAdditionalHeader("Connection", "close");
    return client;
}

std::optional<QByteArray> fetchCameraReply(http::HttpClient* client, const vorn::utils::Url& url,
                                           const vorn::utils::log::Tag& logTag)
{
    return finishCameraRequest(client, client->doGet(url), logTag);
}

std::optional<QByteArray> fetchCameraReply(http::HttpClient* client, const vorn::utils::Url& url,
                                           const std::string& contentType, std::string_view body,
                                           const vorn::utils::log::Tag& logTag)
{
    return finishCameraRequest(client, client->doPost(url, contentType, body), logTag);
}

} // namespace vorn::vms_server_plugins::analytics::axis
