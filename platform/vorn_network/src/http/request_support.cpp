#include "request_support.h"

#include <cerrno>
#include <map>
#include <vector>

#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

#include <vorn/network/http/auth_challenge.h>
#include <vorn/network/http/default_port.h>
#include <vorn/network/http/digest_authentication.h>

namespace vorn::network::http::detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;

SystemError::ErrorCode toSystemError(const boost::system::error_code& error)
{
    if (!error)
        return 0;
    if (error == beast::error::timeout)
        return ETIMEDOUT;
    if (error == bhttp::error::body_limit || error == bhttp::error::header_limit ||
        error == bhttp::error::buffer_overflow) {
        return EMSGSIZE;
    }
    if (error == asio::error::eof || error == bhttp::error::end_of_stream || error == bhttp::error::partial_message ||
        error == asio::ssl::error::stream_truncated) {
        return ECONNRESET;
    }
    if (error.category() == boost::system::system_category() || error.category() == boost::system::generic_category())
        return static_cast<SystemError::ErrorCode>(error.value());
    if (error.category() == asio::error::get_netdb_category() ||
        error.category() == asio::error::get_addrinfo_category()) {
        return EHOSTUNREACH;
    }
    return EPROTO; // HTTP syntax, TLS
}

std::string requestTarget(const QUrl& url)
{
    std::string target = url.path(QUrl::FullyEncoded).toStdString();
    if (target.empty())
        target = "/";
    if (url.hasQuery())
        target += "?" + url.query(QUrl::FullyEncoded).toStdString();
    return target;
}

std::string hostFieldValue(const std::string& host, int port, std::uint16_t defaultPort)
{
    std::string value = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port >= 0 && port != defaultPort)
        value += ":" + std::to_string(port);
    return value;
}

std::optional<RequestTarget> makeRequestTarget(const QUrl& url, const Credentials& clientCredentials,
                                               SystemError::ErrorCode* error)
{
    RequestTarget target;
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https") {
        *error = EPROTONOSUPPORT;
        return std::nullopt;
    }
    target.secure = scheme == "https";
    target.host = url.host(QUrl::FullyEncoded).toStdString();
    if (!url.isValid() || target.host.empty()) {
        *error = EINVAL;
        return std::nullopt;
    }
    if (target.host.front() == '[' && target.host.back() == ']')
        target.host = target.host.substr(1, target.host.size() - 2);
    const std::uint16_t defaultPort = defaultPortForScheme(scheme.toStdString());
    target.port = static_cast<std::uint16_t>(url.port(defaultPort));
    target.hostField = hostFieldValue(target.host, url.port(), defaultPort);
    target.target = requestTarget(url);
    target.credentials = clientCredentials.isEmpty() ? Credentials(url.userName(), url.password()) : clientCredentials;
    return target;
}

std::optional<std::string> authorizationFor(const Response& response, const std::string& method,
                                            const std::string& requestTarget, const Credentials& credentials,
                                            AuthType authType)
{
    if (credentials.isEmpty())
        return std::nullopt;

    std::vector<AuthChallenge> offered;
    for (const std::string& value : response.headerValues("WWW-Authenticate")) {
        std::vector<AuthChallenge> challenges;
        if (parseAuthChallenges(value, &challenges))
            offered.insert(offered.end(), challenges.begin(), challenges.end());
    }
    const auto find = [&](const char* scheme) -> const AuthChallenge* {
        for (const AuthChallenge& challenge : offered) {
            if (beast::iequals(challenge.scheme, scheme))
                return &challenge;
        }
        return nullptr;
    };

    if (authType != AuthType::basic) {
        if (const AuthChallenge* digest = find("Digest")) {
            std::map<std::string, std::string> answer;
            if (calcDigestResponse(method, credentials.username, credentials.password, std::nullopt, requestTarget,
                                   digest->params, &answer)) {
                return makeDigestAuthorization(answer);
            }
        }
    }
    if (authType != AuthType::digest && find("Basic"))
        return makeBasicAuthorization(credentials);
    return std::nullopt;
}

} // namespace vorn::network::http::detail
