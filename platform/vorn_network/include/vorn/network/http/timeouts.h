// vorn::network::http::Timeouts: how long an HTTP client waits for each phase of a request.
//
// The defaults are finite because callers usually set none, and a camera that accepts a connection and then
// never answers must not block a server thread forever.
#pragma once

#include <chrono>

namespace vorn::network::http {

struct Timeouts
{
    static constexpr std::chrono::milliseconds kDefaultSendTimeout{10'000};
    static constexpr std::chrono::milliseconds kDefaultResponseReadTimeout{30'000};
    static constexpr std::chrono::milliseconds kDefaultMessageBodyReadTimeout{30'000};

    // Name resolution, connection, TLS handshake and sending the request.
    std::chrono::milliseconds sendTimeout = kDefaultSendTimeout;
    // From the request sent to the end of the response header.
    std::chrono::milliseconds responseReadTimeout = kDefaultResponseReadTimeout;
    // Reading the whole message body.
    std::chrono::milliseconds messageBodyReadTimeout = kDefaultMessageBodyReadTimeout;

    friend bool operator==(const Timeouts&, const Timeouts&) = default;
};

} // namespace vorn::network::http
