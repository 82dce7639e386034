#include <vorn/network/http/default_port.h>

#include <ostream> // Boost 1.81 string_view streams into std::ostream without including it

#include <boost/beast/core/string.hpp>

namespace vorn::network::http {

std::uint16_t defaultPortForScheme(std::string_view scheme)
{
    using boost::beast::iequals;
    const boost::beast::string_view text(scheme.data(), scheme.size());
    if (iequals(text, "http") || iequals(text, "ws"))
        return 80;
    if (iequals(text, "https") || iequals(text, "wss"))
        return 443;
    return 0;
}

} // namespace vorn::network::http
