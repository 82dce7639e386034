#include "lapi.h"

#include <vorn/network/url/builder.h>

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::kit::detail::json11::Json;

vorn::utils::Url makeLapiUrl(const vorn::utils::Url& cameraUrl, const QString& relativePath)
{
    return vorn::network::url::Builder(cameraUrl)
        .setScheme(QStringLiteral("http"))
        .setPath(QString::fromLatin1(kLapiPathFormat).arg(relativePath))
        .setQuery(QString())
        .toUrl();
}

int lapiResponseCode(const Json& reply)
{
    return reply["Response"]["ResponseCode"].int_value();
}

std::string lapiResponseString(const Json& reply)
{
    return reply["Response"]["ResponseString"].string_value();
}

QString urlLogText(const vorn::utils::Url& url, QUrl::FormattingOptions options)
{
    return url.toString(options | QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

LapiReply readLapiReply(std::string_view body)
{
    LapiReply reply;
    Json json = Json::parse(body, reply.parseError);
    if (!json.is_object())
        return reply;

    reply.json = std::move(json);
    reply.code = lapiResponseCode(reply.json);
    reply.text = lapiResponseString(reply.json);
    reply.status = reply.code == 0 ? LapiReply::Status::success : LapiReply::Status::deviceError;
    return reply;
}

} // namespace vorn::vms_server_plugins::analytics::uniview
