#include "tcp_data_monitor.h"

#include <sys/socket.h>

#include <cerrno>

#include <utility>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

using vorn::network::SocketAddress;
using vorn::network::TCPSocket;

TcpDataMonitor::TcpDataMonitor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
    , m_timer(nullptr)
{
    m_receiveBuffer.reserve(kReceiveBufferReserve);
}

TcpDataMonitor::~TcpDataMonitor()
{
    // Normally a no-op: the final class has stopped the channel already.
    stop();
}

void TcpDataMonitor::start()
{
    reconnectSocket();
    m_started = true;
}

void TcpDataMonitor::stop()
{
    // One step on the I/O thread, so that no completion can run between the timer's stop and the
    // socket's and re-arm the one or reconnect the other.
    m_timer.executeInAioThreadSync([this] {
        m_timer.pleaseStopSync(); // Also drops a connection attempt that start() has queued.
        std::unique_ptr<TCPSocket> socket;
        {
            const std::lock_guard lock(m_connectionMutex);
            socket = std::move(m_socket);
        }
        socket.reset();          // Stops it: its pending completions are dropped.
        m_readHandler = nullptr; // Dropped with its read, as the socket drops its own handlers.
    });
    m_started = false;
}

bool TcpDataMonitor::isStarted() const
{
    return m_started;
}

void TcpDataMonitor::setAddress(SocketAddress address)
{
    VN_LOG(5, this, "Setting address %1 -> %2", this->address().toString(), address.toString());
    const std::lock_guard lock(m_connectionMutex);
    m_address = std::move(address);
}

SocketAddress TcpDataMonitor::address() const
{
    const std::lock_guard lock(m_connectionMutex);
    return m_address;
}

QString TcpDataMonitor::connectionInfo() const
{
    QString address;
    bool connected = false;
    QString localAddress = QStringLiteral("N/A");
    {
        const std::lock_guard lock(m_connectionMutex);
        address = QString::fromStdString(m_address.toString());
        connected = m_socket && m_socket->isConnected();
        if (connected)
            localAddress = QString::fromStdString(m_socket->getLocalAddress().toString());
    }
    return QStringLiteral("Addr %1 %2 local addr %3")
        .arg(address, connected ? QStringLiteral("connected") : QStringLiteral("not connected"), localAddress);
}

void TcpDataMonitor::onRegisterReply(SystemError::ErrorCode /*code*/, std::size_t /*bytesRead*/) {}

void TcpDataMonitor::reconnectSocket()
{
    // From start() on a server thread, or from the timer on the I/O thread: either way the attempt
    // itself runs on the I/O thread, and a stop() that comes first drops it.
    m_timer.pleaseStop([this] { connectNewSocket(); });
}

void TcpDataMonitor::connectNewSocket()
{
    // Made on the channel's thread, so that every completion of the socket runs there too.
    auto socket = std::make_unique<TCPSocket>(AF_INET, m_timer.getAioThread());
    socket->setNonBlockingMode(true);

    std::unique_ptr<TCPSocket> previous;
    SocketAddress address;
    {
        const std::lock_guard lock(m_connectionMutex);
        previous = std::exchange(m_socket, std::move(socket));
        address = m_address;
    }
    // Stopped before the buffers change: an operation of the old connection may still hold them.
    previous.reset();
    m_readHandler = nullptr; // Nor a read in progress: the old connection's went with it.
    m_receiveBuffer.clear();
    m_receiveBuffer.reserve(kReceiveBufferReserve);
    m_sendBuffer.clear();

    m_socket->connectAsync(address, [this](SystemError::ErrorCode code) { onConnect(code); });
}

void TcpDataMonitor::onConnect(SystemError::ErrorCode code)
{
    if (code != SystemError::noError) {
        scheduleReconnect(QStringLiteral("Failed to connect to Zodivadad camera"));
        return;
    }
    VN_LOG(6, this, "Connection to Zodivadad camera established.");
    m_sendBuffer = makeRegisterRequest();
    m_socket->sendAsync(&m_sendBuffer, [this](SystemError::ErrorCode code, std::size_t) { onRegister(code); });
}

void TcpDataMonitor::onRegister(SystemError::ErrorCode code)
{
    if (code != SystemError::noError) {
        scheduleReconnect(QStringLiteral("Failed to register"));
        return;
    }
    VN_LOG(6, this, "Wait for registration reply.");
    readSome(ReadWait::forData,
             [this](SystemError::ErrorCode code, std::size_t bytesRead) { onRegisterReply(code, bytesRead); });
}

void TcpDataMonitor::readSome(ReadWait wait, vorn::network::TCPSocket::IoCompletionHandler handler)
{
    if (m_readHandler) {
        // One read at a time, as on the socket: a second one fails with EALREADY, later and on the socket's
        // thread as the socket fails it, and the read in progress goes on with its own handler.
        m_socket->post([handler = std::move(handler)]() mutable { handler(EALREADY, 0); });
        return;
    }
    m_socket->setRecvTimeout(wait == ReadWait::forData ? static_cast<unsigned int>(kDataTimeout.count())
                                                       : 0U); // Channel's clock.
    // The caller's handler waits here, so that what the socket holds is small enough to take no
    // allocation on a read.
    m_readHandler = std::move(handler);
    m_socket->readSomeAsync(&m_receiveBuffer, [this, wait](SystemError::ErrorCode code, std::size_t bytesRead) {
        if (code == ETIMEDOUT && wait == ReadWait::forData) { // Not keep-alive's ETIMEDOUT of a vanished peer.
            VN_LOG(5, this, "No data from Zodivadad camera for %1 seconds",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(kDataTimeout).count()));
        }
        // Taken out first: the handler usually starts the next read, which stores its own.
        const auto handler = std::move(m_readHandler);
        handler(code, bytesRead);
    });
}

void TcpDataMonitor::scheduleReconnect(const QString& reason)
{
    VN_ASSERT(m_timer.isInSelfThread());
    VN_LOG(5, this, "%1. Next connection attempt in %2 seconds", reason,
           static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(kReconnectDelay).count()));
    // The socket stays, for the log tag, until the next attempt replaces it; what it still has pending
    // (a send beside a failed read) is dropped now, before the buffers change.
    if (m_socket)
        m_socket->pleaseStopSync();
    m_timer.start(kReconnectDelay, [this] { reconnectSocket(); });
    m_receiveBuffer.clear();
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
