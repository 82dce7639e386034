// What the synchronous and the asynchronous HTTP clients share: error mapping, the request target and Host
// field of a URL, and the answer to a 401 challenge. Private to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <QtCore/QUrl>

#include <boost/system/error_code.hpp>

#include <vorn/network/http/auth_type.h>
#include <vorn/network/http/credentials.h>
#include <vorn/network/http/response.h>
#include <vorn/utils/system_error.h>

namespace vorn::network::http::detail {

// Socket read size: large bodies arrive in few reads instead of thousands of small ones.
inline constexpr std::size_t kReadBufferSize = 64 * 1024;

// The nearest system error code of an Asio, Beast or TLS failure (see HttpClient::lastSysErrorCode).
SystemError::ErrorCode toSystemError(const boost::system::error_code& error);

// The request target: encoded path (at least "/") and query.
std::string requestTarget(const QUrl& url);

// The Host field: the host (IPv6 in brackets) and the port when it is not the scheme's default.
std::string hostFieldValue(const std::string& host, int port, std::uint16_t defaultPort);

// Where a request goes, read from its URL. Empty with `error` set for a URL that cannot be requested.
struct RequestTarget
{
    bool secure = false;
    std::string host; //< ASCII (punycode) form; an IPv6 address without brackets
    std::uint16_t port = 0;
    std::string hostField;
    std::string target;
    Credentials credentials; //< the client's, else the URL's user information
};
std::optional<RequestTarget> makeRequestTarget(const QUrl& url, const Credentials& clientCredentials,
                                               SystemError::ErrorCode* error);

// The "Authorization" value answering the challenges of a 401 `response`, or none when the credentials are
// empty or no allowed scheme was offered.
std::optional<std::string> authorizationFor(const Response& response, const std::string& method,
                                            const std::string& requestTarget, const Credentials& credentials,
                                            AuthType authType);

} // namespace vorn::network::http::detail
