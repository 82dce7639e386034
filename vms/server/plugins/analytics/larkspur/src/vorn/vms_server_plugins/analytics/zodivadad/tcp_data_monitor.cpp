#include "tcp_data_monitor.h"

#include <vorn/log_support/log.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

TcpDataMonitor::TcpDataMonitor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{}

TcpDataMonitor::~TcpDataMonitor() = default;

void TcpDataMonitor::start()
{
    m_started = true;
}

void TcpDataMonitor::stop()
{
    m_started = false;
}

bool TcpDataMonitor::isStarted() const
{
    return m_started;
}

void TcpDataMonitor::setAddress(vorn::network::SocketAddress address)
{
    VN_LOG(5, this, "Setting address %1 -> %2", this->address().toString(), address.toString());
    const std::lock_guard lock(m_addressMutex);
    m_address = std::move(address);
}

vorn::network::SocketAddress TcpDataMonitor::address() const
{
    const std::lock_guard lock(m_addressMutex);
    return m_address;
}

QString TcpDataMonitor::connectionInfo() const
{
    return QStringLiteral("Addr %1 not connected local addr N/A").arg(QString::fromStdString(address().toString()));
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
