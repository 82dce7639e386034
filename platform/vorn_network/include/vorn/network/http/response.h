// vorn::network::http::Response: the status line and header fields of a received HTTP response. The body is
// read separately (HttpClient::fetchEntireMessageBody), so a caller can look at the status first.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <vorn/network/http/status_line.h>

namespace vorn::network::http {

struct Response
{
    StatusLine statusLine;
    // In the order received; a field sent twice appears twice.
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of the first field of that name (letter case ignored), or none.
    std::optional<std::string> header(std::string_view name) const;
    // The values of every field of that name, in order.
    std::vector<std::string> headerValues(std::string_view name) const;
};

} // namespace vorn::network::http
