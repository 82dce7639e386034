// vorn::network::TCPSocket: an asynchronous TCP client connection on an I/O thread.
//
//     auto socket = std::make_unique<TCPSocket>(AF_INET);
//     socket->bindToAioThread(m_timer.getAioThread());      // completions on the timer's thread
//     socket->connectAsync(address, [this](SystemError::ErrorCode code) { onConnect(code); });
//     ...
//     socket->readSomeAsync(&m_receiveBuffer,
//         [this](SystemError::ErrorCode code, std::size_t bytesRead) { onData(code, bytesRead); });
//
// Rules of use (see also BasicPollable):
// - Every completion runs on the socket's thread, never inside the call that started the operation. It
//   receives an errno-style code (0: success; ETIMEDOUT after a time-out; ECONNREFUSED, ...) and, for
//   sends and reads, a byte count.
// - At most one connect, one send and one read at a time; a send and a read may run together.
// - A buffer given to sendAsync() or readSomeAsync() stays alive and untouched until the completion runs
//   or pleaseStopSync() has returned. pleaseStopSync() closes the connection; no completion runs after it.
// - readSomeAsync() appends to the buffer, into its spare capacity only (capacity() - size()); it never
//   grows the buffer. A count of 0 with code 0 means that the peer closed the connection; a buffer with
//   no spare capacity fails at once with ENOBUFS rather than reading nothing, which would look the same.
// - sendAsync() sends the whole buffer before it reports success.
// - Time-outs (connect, and setSendTimeout()/setRecvTimeout() for each send and read) run on the
//   ScaledClock. The connect time-out is the send time-out when one is set, else kDefaultConnectTimeout.
// - TCP keep-alive is on, so a peer that vanishes without closing fails a pending read within about
//   half a minute instead of leaving it waiting for ever.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <sys/socket.h>

#include <vorn/network/aio/basic_pollable.h>
#include <vorn/network/socket_address.h>
#include <vorn/utils/buffer.h>
#include <vorn/utils/move_only_func.h>
#include <vorn/utils/system_error.h>

namespace vorn::network {

class TCPSocket : public aio::BasicPollable
{
public:
    using ConnectHandler = utils::MoveOnlyFunc<void(SystemError::ErrorCode)>;
    using IoCompletionHandler = utils::MoveOnlyFunc<void(SystemError::ErrorCode, std::size_t)>;

    // Bounds a connect to a host that never answers: the system's own limit is about two minutes, far
    // longer than the reconnect cycle of the channels.
    static constexpr std::chrono::milliseconds kDefaultConnectTimeout = std::chrono::seconds(30);
    // Keep-alive: probes start after 10 s without traffic and go 5 s apart; 3 unanswered probes end the
    // connection, so a vanished peer shows within about 25 s.
    static constexpr std::chrono::seconds kKeepAliveIdle{10};
    static constexpr std::chrono::seconds kKeepAliveInterval{5};
    static constexpr int kKeepAliveProbes = 3;

    // `ipVersion` is AF_INET or AF_INET6; names resolve to addresses of that family only.
    explicit TCPSocket(int ipVersion = AF_INET, aio::AbstractAioThread* thread = nullptr);
    ~TCPSocket() override;

    // Completions are asynchronous whatever the mode; kept for callers that set it. Always true.
    bool setNonBlockingMode(bool value);

    // 0 (the default) means no time-out. Applies to operations started afterwards.
    bool setSendTimeout(unsigned int milliseconds);
    bool setRecvTimeout(unsigned int milliseconds);
    unsigned int sendTimeout() const;
    unsigned int recvTimeout() const;

    // Connects to `address`, resolving a host name first. A connection the socket already has is closed.
    void connectAsync(const SocketAddress& address, ConnectHandler handler);
    void sendAsync(const BasicBuffer<char>* buffer, IoCompletionHandler handler);
    void readSomeAsync(BasicBuffer<char>* buffer, IoCompletionHandler handler);

    // Thread-safe. Connected from a successful connect until the connection fails, ends or is stopped.
    bool isConnected() const;
    // Thread-safe; empty before the first successful connect.
    SocketAddress getLocalAddress() const;
    SocketAddress getForeignAddress() const;
    // The host of the last connect as it was given (a name stays a name).
    std::string getForeignHostName() const;

    // Test seam: while set, connects in this process start their time-out but never send anything, as
    // towards a host that drops every packet, so a test can reach the time-out on the loopback interface.
    static void setConnectStalledForTests(bool stalled);

    // Test seam: while set, every send in this process first asks the fault for the bytes it is about to
    // send; a code other than 0 fails that send with the code, without sending anything, as a connection
    // that the peer has reset does. Lets a test reach a failed send on the loopback interface, where a
    // peer cannot make a given send fail reliably. An empty function removes the fault.
    using SendFault = std::function<SystemError::ErrorCode(std::string_view bytes)>;
    static void setSendFaultForTests(SendFault fault);

protected:
    void stopWhileInAioThread() override;
    void bindWhileInAioThread(aio::AbstractAioThread* newThread) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vorn::network
