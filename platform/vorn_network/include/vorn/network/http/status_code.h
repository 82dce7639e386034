// vorn::network::http::StatusCode: HTTP status codes, the success test and their text for log lines.
//
//     if (!StatusCode::isSuccessCode(client.statusCode()))
//         log("Bad HTTP response status: " + StatusCode::toString(client.statusCode()));  // "404 Not Found"
#pragma once

#include <string>
#include <string_view>

namespace vorn::network::http {

struct StatusCode
{
    enum Value : int {
        undefined = 0, //< no response
        ok = 200,
        created = 201,
        noContent = 204,
        movedPermanently = 301,
        found = 302,
        notModified = 304,
        badRequest = 400,
        unauthorized = 401,
        forbidden = 403,
        notFound = 404,
        payloadTooLarge = 413,
        internalServerError = 500,
        serviceUnavailable = 503,
    };

    // 2xx.
    static bool isSuccessCode(int code) { return code >= 200 && code < 300; }

    // The standard reason phrase ("Not Found"), or empty for a code without one.
    static std::string_view reasonPhrase(int code);

    // The code and its reason phrase ("404 Not Found"), or the number alone for a code without one.
    static std::string toString(int code);
};

} // namespace vorn::network::http
