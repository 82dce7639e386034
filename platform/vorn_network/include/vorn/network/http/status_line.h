// vorn::network::http::StatusLine: the first line of an HTTP response, as received.
#pragma once

#include <string>

namespace vorn::network::http {

struct StatusLine
{
    std::string version = "HTTP/1.1";
    int statusCode = 0;
    std::string reasonPhrase;

    // "HTTP/1.1 401 Unauthorized"; without a reason phrase, "HTTP/1.1 599".
    std::string toString() const;
};

} // namespace vorn::network::http
