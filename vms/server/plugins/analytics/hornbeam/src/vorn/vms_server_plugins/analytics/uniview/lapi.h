// The LAPI helpers: what every request of the Uniview plugin to a camera's LAPI (an HTTP interface that
// takes and answers JSON) has in common: the request URL, the reply envelope, the time-outs, and the form
// in which URLs are written to logs.
//
//     const vorn::utils::Url url = makeLapiUrl(cameraUrl, kSystemTimeLapiPath);
//     // "https://admin@10.0.0.7:8443/live?x=1" -> "http://admin@10.0.0.7:8443/LAPI/V1.0/System/Time"
//     ...
//     const LapiReply reply = readLapiReply(body);
//     if (reply.status == LapiReply::Status::deviceError)
//         VN_LOG(5, this, "Request %1 failed with device code %2 (%3)", urlLogText(url), reply.code, reply.text);
//
// Every reply body is a JSON object {"Response": {"ResponseCode": 0, "ResponseString": "...", "Data": ...,
// "CreatedID": ...}}; a code other than 0 is a device error, a missing code counts as success.
//
// The functions keep no state and may run on any thread.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include <QtCore/QString>
#include <QtCore/QUrl>

#include <vorn/kit/json.h>
#include <vorn/utils/url.h>

namespace vorn::vms_server_plugins::analytics::uniview {

/** The path of every LAPI request; %1 is the relative LAPI path. */
constexpr char kLapiPathFormat[] = "/LAPI/V1.0/%1";

/** The camera clock: the compatibility probe's request. */
constexpr char kSystemTimeLapiPath[] = "System/Time";

/**
 * Each time-out of every LAPI request (sending, waiting for the reply, reading its body): a camera that
 * accepts a connection and then stalls must not hold a server or I/O thread for longer.
 */
constexpr std::chrono::milliseconds kLapiRequestTimeout{5000};

/**
 * How an unreadable reply is logged: %1 the JSON parser's error, %2 the body. The alarm and structure
 * processors write the bodies that the camera pushes in the same form.
 */
constexpr char kLapiJsonParsingFailedFormat[] = "JSON parsing failed - %1, data: %2";

/**
 * The LAPI URL of a relative path: scheme "http" whatever the camera URL's scheme, the camera URL's user
 * information, host and port, the path "/LAPI/V1.0/<relativePath>" taken literally (nothing is
 * percent-decoded), no query.
 */
vorn::utils::Url makeLapiUrl(const vorn::utils::Url& cameraUrl, const QString& relativePath);

/** "Response"."ResponseCode" as int; 0 when missing or not a number (saturated outside the int range). */
int lapiResponseCode(const vorn::kit::detail::json11::Json& reply);

/** "Response"."ResponseString"; empty when missing or not a text. */
std::string lapiResponseString(const vorn::kit::detail::json11::Json& reply);

/**
 * The URL as it may stand in a log: never the user name, the password, the query or the fragment
 * (cameras take credentials and tokens in them), whatever the options ask for beyond that.
 */
QString urlLogText(const vorn::utils::Url& url, QUrl::FormattingOptions options = QUrl::None);

/** A reply body read through the envelope. */
struct LapiReply
{
    enum class Status {
        success,     //< A JSON object whose "ResponseCode" is 0 or missing.
        unreadable,  //< Not JSON, or JSON that is not an object.
        deviceError, //< A JSON object with a non-zero "ResponseCode".
    };

    Status status = Status::unreadable;
    vorn::kit::detail::json11::Json json; //< The parsed body; null when unreadable.
    std::string parseError;               //< unreadable: what the JSON parser said (empty for a non-object).
    int code = 0;                         //< "ResponseCode".
    std::string text;                     //< "ResponseString".

    /** The payload of a successful request, "Response"."Data"; null when there is none. */
    const vorn::kit::detail::json11::Json& data() const { return json["Response"]["Data"]; }
};

/**
 * The one reader of a LAPI reply body: the subscribe and renew steps, the capability requests and the
 * compatibility probe all go through it. Never reads past the body.
 */
LapiReply readLapiReply(std::string_view body);

} // namespace vorn::vms_server_plugins::analytics::uniview
