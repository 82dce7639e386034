// vorn::network::SocketAddress: a host and a TCP port, the address a socket connects to or listens on.
//
//     SocketAddress address(HostAddress(url.host()), 8214);
//     address.port = 9000;                                  // a plain value: change it in place
//     log(address.toString());                              // "10.0.0.5:9000", "[fe80::1]:9000"
//     const auto parsed = SocketAddress::fromString("127.0.0.1:8080");   // empty when malformed
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <vorn/network/host_address.h>

namespace vorn::network {

struct SocketAddress
{
    HostAddress address;
    std::uint16_t port = 0;

    SocketAddress() = default;
    SocketAddress(HostAddress address, std::uint16_t port)
        : address(std::move(address))
        , port(port)
    {}

    // "host:port", with an IPv6 host in brackets.
    std::string toString() const;

    // Reads "host", "host:port", "[ipv6]", "[ipv6]:port" or a bare IPv6 address; a missing port is 0.
    // Empty on a malformed text: no host, a port that is not 0..65535 in decimal, stray brackets or blanks.
    static std::optional<SocketAddress> fromString(std::string_view text);

    friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
    friend auto operator<=>(const SocketAddress&, const SocketAddress&) = default;
};

} // namespace vorn::network
