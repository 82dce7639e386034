#include <vorn/network/host_address.h>

namespace vorn::network {

HostAddress::HostAddress(std::string host)
    : m_host(std::move(host))
{}

HostAddress::HostAddress(const char* host)
    : m_host(host ? host : "")
{}

HostAddress::HostAddress(const QString& host)
    : m_host(host.toStdString())
{}

bool HostAddress::isIpV6() const
{
    // Names and IPv4 addresses never hold a colon.
    return m_host.find(':') != std::string::npos;
}

} // namespace vorn::network
