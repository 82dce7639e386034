#include "camera_settings.h"

#include <QtCore/QUrlQuery>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/network/http/http_client.h>
#include <vorn/network/http/status_code.h>
#include <vorn/network/ssl/certificate_check.h>
#include <vorn/vms_server_plugins/utils/status_line_text.h>

#include "engine.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

using vorn::log_support::PeerText;
using vorn::vms_server_plugins::utils::statusLineText;

using namespace vorn::network;

namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

vorn::utils::Url requestUrl(const vorn::utils::Url& cameraUrl, std::string_view path)
{
    vorn::utils::Url url = cameraUrl;
    url.setPath(toQString(path));
    return url;
}

std::unique_ptr<http::HttpClient> makeClient(const http::Credentials& credentials, const http::Timeouts& timeouts)
{
    auto client = std::make_unique<http::HttpClient>(ssl::kDefaultCertificateCheck);
    client->setCredentials(credentials);
    client->setTimeouts(timeouts);
    return client;
}

} // namespace

CameraSettings getCameraSettings(const vorn::utils::Url& cameraUrl, const http::Credentials& credentials,
                                 std::string_view path, std::string_view action, const http::Timeouts& timeouts)
{
    const auto client = makeClient(credentials, timeouts);
    vorn::utils::Url url = requestUrl(cameraUrl, path);
    url.setQuery(QStringLiteral("action=%1").arg(toQString(action)));

    // An error page is no settings reply, whatever text it holds.
    if (!client->doGet(url) || !http::StatusCode::isSuccessCode(client->statusCode())) {
        VN_LOG(5, typeid(Engine), "Failed to get settings from %1: HTTP code %2 sys code %3", url,
               statusLineText(client->response()), client->lastSysErrorCode());
        return {};
    }

    const std::optional<QByteArray> body = client->fetchEntireMessageBody();
    if (!body) {
        VN_LOG(5, typeid(Engine), "Failed to fetch settings from %1", url);
        return {};
    }

    VN_LOG(6, typeid(Engine), "%1 settings:\n%2", action, PeerText(*body));
    return parseCameraSettingsReply(std::string_view(body->constData(), static_cast<std::size_t>(body->size())));
}

CameraSettings getSystemInformation(const vorn::utils::Url& cameraUrl, const http::Credentials& credentials,
                                    const http::Timeouts& timeouts)
{
    return getCameraSettings(cameraUrl, credentials, kAdminCgiPath, kGetSystemInformationAction, timeouts);
}

CameraSettings getLprSettings(const vorn::utils::Url& cameraUrl, const http::Credentials& credentials,
                              const http::Timeouts& timeouts)
{
    return getCameraSettings(cameraUrl, credentials, kOperatorCgiPath, kGetLprSettingsAction, timeouts);
}

bool setCameraSettings(const vorn::utils::Url& cameraUrl, const http::Credentials& credentials, std::string_view path,
                       std::string_view action, const CameraSettings& settings, const http::Timeouts& timeouts)
{
    const auto client = makeClient(credentials, timeouts);
    vorn::utils::Url url = requestUrl(cameraUrl, path);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("action"), toQString(action));
    for (const auto& [name, value] : settings)
        query.addQueryItem(name, value);
    // A query leaves "+" as it is, but CGI scripts read it as a blank, as in an HTML form: a value with a
    // plus sign would arrive changed. Every "+" of the encoded query comes from a name or a value, since
    // the delimiters are "&" and "=", so it is sent as "%2B", which every reader decodes to "+".
    QString encodedQuery = query.query(QUrl::FullyEncoded);
    encodedQuery.replace(QLatin1Char('+'), QLatin1String("%2B"));
    url.setQuery(encodedQuery, QUrl::StrictMode);

    // A camera that refuses the write (an error status) has not taken the settings.
    const bool result = client->doGet(url) && http::StatusCode::isSuccessCode(client->statusCode());
    VN_LOG(5, typeid(Engine), "Set settings with %1 result: HTTP code %2 sys code %3 (%4)", url,
           statusLineText(client->response()), client->lastSysErrorCode(), result ? "success" : "failed");
    return result;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
