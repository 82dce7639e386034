#include <vorn/network/http/status_code.h>

#include <ostream> // Boost 1.81 string_view streams into std::ostream without including it

#include <boost/beast/http/status.hpp>

namespace vorn::network::http {

std::string_view StatusCode::reasonPhrase(int code)
{
    if (code < 100 || code > 999)
        return {};
    const boost::beast::string_view phrase =
        boost::beast::http::obsolete_reason(static_cast<boost::beast::http::status>(code));
    // Beast names codes it does not know "<unknown-status>".
    if (phrase.empty() || phrase.front() == '<')
        return {};
    return std::string_view(phrase.data(), phrase.size());
}

std::string StatusCode::toString(int code)
{
    const std::string_view phrase = reasonPhrase(code);
    if (phrase.empty())
        return std::to_string(code);
    return std::to_string(code) + " " + std::string(phrase);
}

} // namespace vorn::network::http
