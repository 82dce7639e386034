#include <vorn/network/socket_address.h>

#include <charconv>

namespace vorn::network {

namespace {

// A port has at most five decimal digits ("65535"); a longer text is refused before conversion.
constexpr std::size_t kMaxPortDigits = 5;

std::optional<std::uint16_t> parsePort(std::string_view text)
{
    if (text.empty() || text.size() > kMaxPortDigits)
        return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc() || end != text.data() + text.size() || value > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

bool isAcceptableHost(std::string_view host)
{
    if (host.empty())
        return false;
    for (const char c : host) {
        if (c == '[' || c == ']' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0')
            return false;
    }
    return true;
}

} // namespace

std::string SocketAddress::toString() const
{
    std::string text;
    if (address.isIpV6())
        text = "[" + address.toString() + "]";
    else
        text = address.toString();
    return text + ":" + std::to_string(port);
}

std::optional<SocketAddress> SocketAddress::fromString(std::string_view text)
{
    std::string_view host;
    std::optional<std::uint16_t> port = 0;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        if (host.find(':') == std::string_view::npos)
            return std::nullopt;
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            port = parsePort(rest.substr(1));
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
            host = text.substr(0, colon);
            port = parsePort(text.substr(colon + 1));
        } else {
            host = text; // no port, or a bare IPv6 address
        }
    }
    if (!port || !isAcceptableHost(host))
        return std::nullopt;
    return SocketAddress(HostAddress(std::string(host)), *port);
}

} // namespace vorn::network
