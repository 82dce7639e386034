// TcpDataMonitor: the base of the TCP push channels that a device agent opens to its camera (the
// video-analytics channel and the licence-plate channel). It owns the connection and runs the cycle
// that every channel shares: connect, send the derived class's registration request, read the first
// bytes of the reply; after any failure wait kReconnectDelay and start over on a new socket.
//
// The device agent drives every channel through this base alone:
//
//     monitor->setAddress(SocketAddress(host, kVcaDefaultPort)); // stored; no reconnection
//     if (monitor->setNeededTypes(eventTypeIds, objectTypeIds))
//         monitor->start();                                       // connects in the background
//     ...
//     monitor->stop();                                            // synchronous
//
// A derived class supplies the request (makeRegisterRequest()) and takes over in onRegisterReply(),
// where it reads into m_receiveBuffer with readSome() and sends from m_sendBuffer on m_socket, handing
// completions that capture only `this`, and calls scheduleReconnect() on every failure:
//
//     void onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead) override
//     {
//         if (code != SystemError::noError || bytesRead == 0)
//             return scheduleReconnect("Failed to register");
//         readSome(ReadWait::idle, [this](auto code, auto bytes) { onData(code, bytes); });
//     }
//
// A camera that accepts the connection and then falls silent is not seen by TCP keep-alive while its
// system still answers. So every read that waits for something the camera owes (the reply to a
// request, the rest of a started frame) is ReadWait::forData: it fails with ETIMEDOUT after
// kDataTimeout on the channel's clock, and the channel reconnects as after any failure. Only a read
// between frames (ReadWait::idle) waits for ever: a camera with nothing to report sends nothing.
//
// Rules:
// - start(), stop(), setAddress(), address() and isStarted() are called from the server's threads, one
//   at a time (the device agent serialises them).
// - Everything else runs on the channel's I/O thread, the thread of m_timer: every completion, the
//   derived class's handlers, scheduleReconnect(). Only that thread touches the socket, the buffers and
//   the timer, so they need no lock.
// - stop() is one synchronous step on the I/O thread: it drops the pending reconnection and the socket
//   together, so after it returns no completion runs, nothing re-arms the timer and no connection
//   attempt starts. It is safe in any state, also before any socket exists.
// - A final class calls stop() first thing in its destructor: until then the I/O thread may be inside
//   one of its handlers, which use its members.
// - The log tag (connectionInfo()) may be built on any thread: the address and the socket pointer are
//   read under m_connectionMutex, which the I/O thread takes to replace them.
// - Every new connection starts with empty buffers and no read in progress, so bytes of an old
//   connection never mix with the new one's, and the new one's first read is never taken for a second.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <QtCore/QString>

#include <vorn/network/aio/timer.h>
#include <vorn/network/socket_address.h>
#include <vorn/network/tcp_socket.h>
#include <vorn/utils/buffer.h>
#include <vorn/utils/system_error.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

class DeviceAgent;

class TcpDataMonitor
{
public:
    /** Wait after a failure before the next connection attempt; fixed, no back-off, no limit. */
    static constexpr std::chrono::milliseconds kReconnectDelay{5000};
    /** Reserved in the receive buffer at every connection start: most pushes fit without growth. */
    static constexpr std::size_t kReceiveBufferReserve = 4096;
    /**
     * How long a read of ReadWait::forData waits for the camera's next bytes: far beyond any reply time
     * of a working camera, short enough that a silent one does not hold the channel (and the buffer of
     * an announced frame) for long.
     */
    static constexpr std::chrono::milliseconds kDataTimeout{30000};

    /** What a read waits for; see the class comment. */
    enum class ReadWait {
        idle,   //< Nothing started: no time-out.
        forData //< A reply or the rest of a frame: fails with ETIMEDOUT after kDataTimeout.
    };

    explicit TcpDataMonitor(DeviceAgent* deviceAgent);
    virtual ~TcpDataMonitor();

    TcpDataMonitor(const TcpDataMonitor&) = delete;
    TcpDataMonitor& operator=(const TcpDataMonitor&) = delete;

    /** Begins connecting to address() and keeps the channel up until stop(). */
    virtual void start();

    /** Synchronous: no callback of the channel runs after it returns. */
    virtual void stop();

    /** Follows start() and stop() only; lost connections do not change it. */
    virtual bool isStarted() const;

    /** The device agent setting that holds this channel's port ("VCA.Port", "LPR.Port"). */
    virtual std::string portSettingName() const = 0;

    /** Takes the types the server needs now; true when this channel has anything to fetch for them. */
    virtual bool setNeededTypes(const std::set<std::string>& neededEventTypeIds,
                                const std::set<std::string>& neededObjectTypeIds) = 0;

    /** The bytes sent right after connecting; built anew for every connection, on the I/O thread. */
    virtual BasicBuffer<char> makeRegisterRequest() = 0;

    /** Stores the camera address for the next connection attempt; does not reconnect. */
    void setAddress(vorn::network::SocketAddress address);
    vorn::network::SocketAddress address() const;

    /** "Addr <address> <connected or not connected> local addr <address or N/A>", the log tag suffix. */
    QString connectionInfo() const;
    QString logTagSuffix() const { return connectionInfo(); }

protected:
    /** The derived class's part of the cycle: the first read of the registration reply has completed. */
    virtual void onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead);

    /** Logs the reason, drops the connection's pending operations and tries again after kReconnectDelay. */
    void scheduleReconnect(const QString& reason);

    /**
     * Reads what the socket has into the spare room of m_receiveBuffer; a time-out is logged here. One
     * read at a time: while one is pending, another fails with EALREADY (as the socket fails it, never
     * inside this call) and leaves the pending one alone.
     */
    void readSome(ReadWait wait, vorn::network::TCPSocket::IoCompletionHandler handler);

    DeviceAgent* const m_deviceAgent; //< Owns this channel and outlives it.

private:
    // Declared before everything it serves, so that it goes last.
    vorn::network::aio::Timer m_timer; //< Its thread is the channel's I/O thread.

protected:
    BasicBuffer<char> m_receiveBuffer; //< I/O thread only.
    BasicBuffer<char> m_sendBuffer;    //< I/O thread only; alive until the send completes.
    /** The current connection; replaced on the I/O thread under m_connectionMutex. Null when stopped. */
    std::unique_ptr<vorn::network::TCPSocket> m_socket;

private:
    void reconnectSocket();
    void connectNewSocket();
    void onConnect(SystemError::ErrorCode code);
    void onRegister(SystemError::ErrorCode code);

    /** The handler of the read in progress, empty when none is; I/O thread only. */
    vorn::network::TCPSocket::IoCompletionHandler m_readHandler;
    mutable std::mutex m_connectionMutex; //< Guards m_address, and m_socket against readers on other threads.
    vorn::network::SocketAddress m_address;
    std::atomic<bool> m_started{false};
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
