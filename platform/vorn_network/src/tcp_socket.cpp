#include <vorn/network/tcp_socket.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <vorn/utils/scaled_clock.h>

namespace vorn::network {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// The test seams. A socket outside the tests reads one flag per connect and one per send, and takes no lock.
std::atomic<bool> s_connectStalled{false};
std::atomic<bool> s_sendFaultSet{false}; //< Whether s_sendFault holds a function.
std::mutex s_sendFaultMutex;             //< Guards s_sendFault.
TCPSocket::SendFault s_sendFault;

SystemError::ErrorCode injectedSendFault(const BasicBuffer<char>& buffer)
{
    if (!s_sendFaultSet.load(std::memory_order_acquire))
        return SystemError::noError;
    TCPSocket::SendFault fault;
    {
        const std::lock_guard lock(s_sendFaultMutex);
        fault = s_sendFault;
    }
    return fault ? fault(std::string_view(buffer.data(), buffer.size())) : SystemError::noError;
}

SystemError::ErrorCode toErrorCode(const boost::system::error_code& error)
{
    if (!error)
        return SystemError::noError;
    if (error == asio::error::operation_aborted)
        return ECANCELED;
    if (error.category() == boost::system::system_category() || error.category() == boost::system::generic_category())
        return static_cast<SystemError::ErrorCode>(error.value());
    if (error.category() == asio::error::get_netdb_category() ||
        error.category() == asio::error::get_addrinfo_category()) {
        return EHOSTUNREACH; // The name does not resolve: no route to such a host.
    }
    return EIO;
}

SocketAddress toSocketAddress(const tcp::endpoint& endpoint)
{
    return SocketAddress(HostAddress(endpoint.address().to_string()), endpoint.port());
}

void enableKeepAlive(tcp::socket& socket)
{
    // Failures are ignored: without keep-alive the connection still works, it only notices a vanished
    // peer later.
    const int fd = socket.native_handle();
    const int on = 1;
    const int idle = static_cast<int>(TCPSocket::kKeepAliveIdle.count());
    const int interval = static_cast<int>(TCPSocket::kKeepAliveInterval.count());
    const int probes = TCPSocket::kKeepAliveProbes;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof(idle));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof(interval));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof(probes));
}

// One send or read with a time-out: the time-out cancels the operation through the signal and leaves
// its mark, so that the completion reports ETIMEDOUT instead of a plain cancel.
struct TimedOperation
{
    asio::cancellation_signal cancel;
    bool timedOut = false;
};

} // namespace

struct TCPSocket::Private
{
    Private(TCPSocket* owner, int ipVersion)
        : q(owner)
        , ipVersion(ipVersion)
    {}

    TCPSocket* const q;
    const int ipVersion;
    std::atomic<unsigned int> sendTimeoutMs{0};
    std::atomic<unsigned int> recvTimeoutMs{0};
    std::atomic<bool> connected{false};

    mutable std::mutex addressMutex; //< Guards the three addresses, which other threads read.
    SocketAddress localAddress;
    SocketAddress foreignAddress;
    std::string foreignHostName;

    // The rest is touched on the socket's thread only. The numbers move on when an operation ends or is
    // dropped, so that a completion already queued for it finds another number and does nothing.
    std::optional<tcp::socket> socket;
    std::optional<tcp::resolver> resolver;
    std::optional<asio::steady_timer> connectTimer;
    std::optional<asio::steady_timer> sendTimer;
    std::optional<asio::steady_timer> readTimer;
    std::uint64_t connectNumber = 0;
    std::uint64_t sendNumber = 0;
    std::uint64_t readNumber = 0;
    ConnectHandler connectHandler;
    IoCompletionHandler sendHandler;
    IoCompletionHandler readHandler;
    std::shared_ptr<TimedOperation> readOperation; //< Made at the first read.

    asio::io_context& ioContext() { return q->getAioThread()->ioContext(); }

    asio::steady_timer& timer(std::optional<asio::steady_timer>& slot)
    {
        if (!slot)
            slot.emplace(ioContext());
        return *slot;
    }

    void failLater(IoCompletionHandler handler, SystemError::ErrorCode code)
    {
        q->post([handler = std::move(handler), code]() mutable { handler(code, 0); });
    }

    void closeSocket()
    {
        connected = false;
        if (socket) {
            boost::system::error_code ignored;
            socket->close(ignored);
        }
    }

    // Ends a connect, a send and a read in progress without calling their handlers.
    void dropOperations()
    {
        ++connectNumber;
        ++sendNumber;
        ++readNumber;
        closeSocket();
        if (resolver)
            resolver->cancel();
        for (auto* slot : {&connectTimer, &sendTimer, &readTimer}) {
            if (*slot)
                (*slot)->cancel();
        }
    }

    void connect(const SocketAddress& address, ConnectHandler handler)
    {
        // What a connection in progress had pending is dropped; its handlers are destroyed only when this
        // function is done with the members, because one of them may own this socket.
        [[maybe_unused]] const auto droppedConnect = std::move(connectHandler);
        [[maybe_unused]] const auto droppedSend = std::move(sendHandler);
        [[maybe_unused]] const auto droppedRead = std::move(readHandler);
        dropOperations();

        const std::uint64_t number = ++connectNumber;
        connectHandler = std::move(handler);
        {
            const std::lock_guard lock(addressMutex);
            localAddress = {};
            foreignAddress = {};
            foreignHostName = address.address.toString();
        }

        const unsigned int sendTimeout = sendTimeoutMs;
        const std::chrono::milliseconds timeout =
            sendTimeout ? std::chrono::milliseconds(sendTimeout) : kDefaultConnectTimeout;
        asio::steady_timer& connectTimeout = timer(connectTimer);
        connectTimeout.expires_after(utils::ScaledClock::toRealDuration(timeout));
        connectTimeout.async_wait(q->bindToGeneration([this, number](const boost::system::error_code& error) {
            if (!error && number == connectNumber)
                finishConnect(ETIMEDOUT);
        }));

        if (s_connectStalled)
            return;

        const std::string& host = address.address.toString();
        boost::system::error_code parseError;
        const asio::ip::address ip = asio::ip::make_address(host, parseError);
        if (!parseError) {
            connectTo(tcp::endpoint(ip, address.port), number);
            return;
        }
        if (host.empty()) {
            finishConnectLater(number, EHOSTUNREACH);
            return;
        }
        if (!resolver)
            resolver.emplace(ioContext());
        resolver->async_resolve(host, std::to_string(address.port), tcp::resolver::numeric_service,
                                q->bindToGeneration([this, number](const boost::system::error_code& error,
                                                                   const tcp::resolver::results_type& results) {
                                    if (number != connectNumber)
                                        return;
                                    if (error) {
                                        finishConnect(toErrorCode(error));
                                        return;
                                    }
                                    for (const auto& entry : results) {
                                        if (entry.endpoint().address().is_v4() == (ipVersion == AF_INET)) {
                                            connectTo(entry.endpoint(), number);
                                            return;
                                        }
                                    }
                                    finishConnect(EHOSTUNREACH);
                                }));
    }

    // Runs inside connectAsync() for an address given as a number, or in the resolver's completion.
    void connectTo(const tcp::endpoint& endpoint, std::uint64_t number)
    {
        if (endpoint.address().is_v4() != (ipVersion == AF_INET)) {
            finishConnectLater(number, EAFNOSUPPORT);
            return;
        }
        socket.emplace(ioContext());
        boost::system::error_code error;
        socket->open(endpoint.protocol(), error);
        if (error) {
            finishConnectLater(number, toErrorCode(error));
            return;
        }
        enableKeepAlive(*socket);
        socket->async_connect(endpoint, q->bindToGeneration([this, number](const boost::system::error_code& error) {
            if (number != connectNumber)
                return;
            if (error) {
                finishConnect(toErrorCode(error));
                return;
            }
            boost::system::error_code ignored;
            const tcp::endpoint local = socket->local_endpoint(ignored);
            const tcp::endpoint remote = socket->remote_endpoint(ignored);
            {
                const std::lock_guard lock(addressMutex);
                localAddress = toSocketAddress(local);
                foreignAddress = toSocketAddress(remote);
            }
            connected = true;
            finishConnect(SystemError::noError);
        }));
    }

    // For failures found inside connectAsync() itself: its handler never runs inside the call.
    void finishConnectLater(std::uint64_t number, SystemError::ErrorCode code)
    {
        q->post([this, number, code] {
            if (number == connectNumber)
                finishConnect(code);
        });
    }

    void finishConnect(SystemError::ErrorCode code)
    {
        ++connectNumber;
        if (connectTimer)
            connectTimer->cancel();
        if (code != SystemError::noError) {
            closeSocket();
            if (resolver)
                resolver->cancel();
        }
        auto handler = std::move(connectHandler);
        // The handler may destroy the socket: nothing of it is touched from here on.
        if (handler)
            handler(code);
    }

    void send(const BasicBuffer<char>* buffer, IoCompletionHandler handler)
    {
        if (!socket || !socket->is_open() || !connected)
            return failLater(std::move(handler), ENOTCONN);
        if (sendHandler)
            return failLater(std::move(handler), EALREADY);
        if (const SystemError::ErrorCode fault = injectedSendFault(*buffer); fault != SystemError::noError) {
            connected = false;
            return failLater(std::move(handler), fault);
        }

        const std::uint64_t number = ++sendNumber;
        sendHandler = std::move(handler);
        auto operation = std::make_shared<TimedOperation>();
        startTimeout(sendTimer, sendTimeoutMs, operation, [this, number] { return number == sendNumber; });
        sendRest(buffer, 0, number, std::move(operation));
    }

    // One write of what is left of the buffer. The next write starts only from a completion that is
    // still current: a composed write would go on by itself from a completion that was already queued
    // when the socket was stopped, on a socket and a buffer that may be gone by then.
    void sendRest(const BasicBuffer<char>* buffer, std::size_t sent, std::uint64_t number,
                  std::shared_ptr<TimedOperation> operation)
    {
        auto& signal = operation->cancel;
        socket->async_write_some(
            asio::buffer(buffer->data() + sent, buffer->size() - sent),
            asio::bind_cancellation_slot(
                signal.slot(),
                q->bindToGeneration([this, buffer, sent, number, operation = std::move(operation)](
                                        const boost::system::error_code& error, std::size_t bytesSent) mutable {
                    if (number != sendNumber)
                        return;
                    const std::size_t total = sent + bytesSent;
                    if (!error && bytesSent != 0 && total < buffer->size()) {
                        sendRest(buffer, total, number, std::move(operation));
                        return;
                    }
                    ++sendNumber;
                    sendTimer->cancel();
                    // A write that takes nothing without an error would loop for ever; it is no success.
                    SystemError::ErrorCode code = resultCode(error, *operation);
                    if (code == SystemError::noError && total < buffer->size())
                        code = EIO;
                    if (code != SystemError::noError && code != ETIMEDOUT)
                        connected = false;
                    auto handler = std::move(sendHandler);
                    handler(code, total);
                })));
    }

    void read(BasicBuffer<char>* buffer, IoCompletionHandler handler)
    {
        if (!socket || !socket->is_open() || !connected)
            return failLater(std::move(handler), ENOTCONN);
        if (readHandler)
            return failLater(std::move(handler), EALREADY);
        const std::span<char> spare = buffer->spareRoom();
        if (spare.empty())
            return failLater(std::move(handler), ENOBUFS);

        const std::uint64_t number = ++readNumber;
        readHandler = std::move(handler);
        // One for all reads of the socket: only the current read's completions look at it (the numbers
        // turn the others away), and a read ends before the next begins.
        if (!readOperation)
            readOperation = std::make_shared<TimedOperation>();
        readOperation->timedOut = false;
        const std::shared_ptr<TimedOperation>& operation = readOperation;
        startTimeout(readTimer, recvTimeoutMs, operation, [this, number] { return number == readNumber; });
        socket->async_read_some(
            asio::buffer(spare.data(), spare.size()),
            asio::bind_cancellation_slot(
                operation->cancel.slot(),
                q->bindToGeneration(
                    [this, number, operation, buffer](const boost::system::error_code& error, std::size_t bytesRead) {
                        if (number != readNumber)
                            return;
                        ++readNumber;
                        readTimer->cancel();
                        SystemError::ErrorCode code = SystemError::noError;
                        if (error == asio::error::eof) {
                            connected = false;
                            bytesRead = 0;
                        } else if (error) {
                            code = resultCode(error, *operation);
                            if (code != ETIMEDOUT)
                                connected = false;
                            bytesRead = 0;
                        } else {
                            buffer->commitSpare(bytesRead);
                        }
                        auto handler = std::move(readHandler);
                        handler(code, bytesRead);
                    })));
    }

    template <typename IsCurrent>
    void startTimeout(std::optional<asio::steady_timer>& slot, unsigned int timeoutMs,
                      const std::shared_ptr<TimedOperation>& operation, IsCurrent isCurrent)
    {
        // Made even without a time-out: the completion cancels it unconditionally.
        asio::steady_timer& timeout = timer(slot);
        if (timeoutMs == 0)
            return;
        timeout.expires_after(utils::ScaledClock::toRealDuration(std::chrono::milliseconds(timeoutMs)));
        timeout.async_wait(
            q->bindToGeneration([operation, isCurrent = std::move(isCurrent)](const boost::system::error_code& error) {
                if (error || !isCurrent())
                    return;
                operation->timedOut = true;
                operation->cancel.emit(asio::cancellation_type::terminal);
            }));
    }

    // A cancel that the time-out caused is a time-out; data that arrived before it still counts.
    static SystemError::ErrorCode resultCode(const boost::system::error_code& error, const TimedOperation& operation)
    {
        if (error == asio::error::operation_aborted && operation.timedOut)
            return ETIMEDOUT;
        return toErrorCode(error);
    }
};

TCPSocket::TCPSocket(int ipVersion, aio::AbstractAioThread* thread)
    : BasicPollable(thread)
    , d(std::make_unique<Private>(this, ipVersion))
{}

TCPSocket::~TCPSocket()
{
    pleaseStopSync();
}

bool TCPSocket::setNonBlockingMode(bool /*value*/)
{
    return true;
}

bool TCPSocket::setSendTimeout(unsigned int milliseconds)
{
    d->sendTimeoutMs = milliseconds;
    return true;
}

bool TCPSocket::setRecvTimeout(unsigned int milliseconds)
{
    d->recvTimeoutMs = milliseconds;
    return true;
}

unsigned int TCPSocket::sendTimeout() const
{
    return d->sendTimeoutMs;
}

unsigned int TCPSocket::recvTimeout() const
{
    return d->recvTimeoutMs;
}

void TCPSocket::connectAsync(const SocketAddress& address, ConnectHandler handler)
{
    dispatch([this, address, handler = std::move(handler)]() mutable { d->connect(address, std::move(handler)); });
}

void TCPSocket::sendAsync(const BasicBuffer<char>* buffer, IoCompletionHandler handler)
{
    dispatch([this, buffer, handler = std::move(handler)]() mutable { d->send(buffer, std::move(handler)); });
}

void TCPSocket::readSomeAsync(BasicBuffer<char>* buffer, IoCompletionHandler handler)
{
    // On the socket's thread, where a channel reads again from its completion, the handler goes in
    // as it is, without a task around it.
    if (isInSelfThread())
        return d->read(buffer, std::move(handler));
    dispatch([this, buffer, handler = std::move(handler)]() mutable { d->read(buffer, std::move(handler)); });
}

bool TCPSocket::isConnected() const
{
    return d->connected;
}

SocketAddress TCPSocket::getLocalAddress() const
{
    const std::lock_guard lock(d->addressMutex);
    return d->localAddress;
}

SocketAddress TCPSocket::getForeignAddress() const
{
    const std::lock_guard lock(d->addressMutex);
    return d->foreignAddress;
}

std::string TCPSocket::getForeignHostName() const
{
    const std::lock_guard lock(d->addressMutex);
    return d->foreignHostName;
}

void TCPSocket::setConnectStalledForTests(bool stalled)
{
    s_connectStalled = stalled;
}

void TCPSocket::setSendFaultForTests(SendFault fault)
{
    const std::lock_guard lock(s_sendFaultMutex);
    s_sendFault = std::move(fault);
    s_sendFaultSet.store(static_cast<bool>(s_sendFault), std::memory_order_release);
}

void TCPSocket::stopWhileInAioThread()
{
    // Taken out first and destroyed last: a dropped handler may own this socket.
    auto droppedConnect = std::move(d->connectHandler);
    auto droppedSend = std::move(d->sendHandler);
    auto droppedRead = std::move(d->readHandler);
    d->dropOperations();
}

void TCPSocket::bindWhileInAioThread(aio::AbstractAioThread* /*newThread*/)
{
    // Everything was closed by the stop before; made again from the new thread's loop when used.
    d->socket.reset();
    d->resolver.reset();
    d->connectTimer.reset();
    d->sendTimer.reset();
    d->readTimer.reset();
}

} // namespace vorn::network
