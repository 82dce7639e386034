// vorn::network::HostAddress: the host part of a peer's address, as text: a name ("camera.local"), an IPv4
// address ("10.0.0.5") or an IPv6 address without brackets ("fe80::1"). Resolution happens when a socket
// connects, not here, so a HostAddress can be made from any URL's host without touching the network.
#pragma once

#include <string>

#include <QtCore/QString>

namespace vorn::network {

class HostAddress
{
public:
    HostAddress() = default;
    HostAddress(std::string host);
    // A null pointer gives the empty address.
    HostAddress(const char* host);
    HostAddress(const QString& host);

    // The host text as given (an IPv6 address without brackets).
    const std::string& toString() const { return m_host; }
    bool isEmpty() const { return m_host.empty(); }
    // Whether the text is an IPv6 address, which needs brackets when a port follows it.
    bool isIpV6() const;

    friend bool operator==(const HostAddress&, const HostAddress&) = default;
    friend auto operator<=>(const HostAddress&, const HostAddress&) = default;

private:
    std::string m_host;
};

} // namespace vorn::network
