#include <vorn/network/tcp_socket.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/network/aio/timer.h>
#include <vorn/utils/scaled_clock.h>

#include "aio_test_helpers.h"

namespace vorn::network {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;
using aio::test::Signal;

struct IoResult
{
    SystemError::ErrorCode code = 0;
    std::size_t bytes = 0;
};

// The camera side: a plain blocking listener on 127.0.0.1 with a port of the system's choice. The
// kernel completes a handshake without accept(), so a test connects first and accepts afterwards.
class Peer
{
public:
    Peer()
        : m_acceptor(m_io, tcp::endpoint(asio::ip::address_v4::loopback(), 0))
    {}

    SocketAddress address() const { return SocketAddress(HostAddress("127.0.0.1"), port()); }
    std::uint16_t port() const { return m_acceptor.local_endpoint().port(); }
    tcp::socket accept() { return m_acceptor.accept(); }
    void close() { m_acceptor.close(); }

private:
    asio::io_context m_io;
    tcp::acceptor m_acceptor;
};

class TCPSocketTest : public ::testing::Test
{
protected:
    // Connects m_socket to m_peer and accepts the peer's side of the connection.
    tcp::socket connect()
    {
        Signal<SystemError::ErrorCode> connected;
        m_socket.connectAsync(m_peer.address(),
                              [connected](SystemError::ErrorCode code) mutable { connected.set(code); });
        tcp::socket peerSide = m_peer.accept();
        EXPECT_TRUE(connected.wait());
        EXPECT_EQ(connected.value(), 0u);
        return peerSide;
    }

    IoResult read(BasicBuffer<char>* buffer)
    {
        Signal<IoResult> done;
        m_socket.readSomeAsync(buffer, [done](SystemError::ErrorCode code, std::size_t bytes) mutable {
            done.set({code, bytes});
        });
        EXPECT_TRUE(done.wait());
        return done.isSet() ? done.value() : IoResult{ETIME, 0};
    }

    aio::AioThread m_thread;
    Peer m_peer;
    TCPSocket m_socket{AF_INET, &m_thread};
};

TEST_F(TCPSocketTest, ConnectsAndReportsBothEnds)
{
    EXPECT_FALSE(m_socket.isConnected());
    EXPECT_EQ(m_socket.getLocalAddress(), SocketAddress());

    const tcp::socket peerSide = connect();
    EXPECT_TRUE(m_socket.isConnected());
    EXPECT_EQ(m_socket.getForeignAddress(), m_peer.address());
    EXPECT_EQ(m_socket.getForeignHostName(), "127.0.0.1");
    EXPECT_EQ(m_socket.getLocalAddress(), SocketAddress(HostAddress("127.0.0.1"), peerSide.remote_endpoint().port()));
}

TEST_F(TCPSocketTest, ResolvesHostNames)
{
    Signal<SystemError::ErrorCode> connected;
    m_socket.connectAsync(SocketAddress(HostAddress("localhost"), m_peer.port()),
                          [connected](SystemError::ErrorCode code) mutable { connected.set(code); });
    const tcp::socket peerSide = m_peer.accept();
    ASSERT_TRUE(connected.wait());
    EXPECT_EQ(connected.value(), 0u);
    EXPECT_EQ(m_socket.getForeignHostName(), "localhost");
    EXPECT_EQ(m_socket.getForeignAddress(), m_peer.address());
}

TEST_F(TCPSocketTest, ConnectFailures)
{
    utils::ScopedTimeScale fast(0.001); // The 30 s default connect time-out takes 30 ms.
    Peer closed;
    const SocketAddress refusing = closed.address();
    closed.close();

    struct Row
    {
        const char* name;
        SocketAddress address;
        bool stalled;
        unsigned int sendTimeoutMs;
        SystemError::ErrorCode expected;
    };
    const Row rows[] = {
        {"nobody listens", refusing, false, 0, ECONNREFUSED},
        {"no answer, default time-out", m_peer.address(), true, 0, ETIMEDOUT},
        {"no answer, send time-out bounds the connect", m_peer.address(), true, 20000, ETIMEDOUT},
        {"no host", SocketAddress(HostAddress(""), 80), false, 0, EHOSTUNREACH},
        {"IPv6 address on an IPv4 socket", SocketAddress(HostAddress("::1"), m_peer.port()), false, 0, EAFNOSUPPORT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TCPSocket socket(AF_INET, &m_thread);
        socket.setSendTimeout(row.sendTimeoutMs);
        TCPSocket::setConnectStalledForTests(row.stalled);
        Signal<SystemError::ErrorCode> done;
        bool ranInsideCall = false;
        m_thread.executeSync([&] {
            socket.connectAsync(row.address, [done](SystemError::ErrorCode code) mutable { done.set(code); });
            ranInsideCall = done.isSet();
        });
        TCPSocket::setConnectStalledForTests(false);
        EXPECT_FALSE(ranInsideCall);
        ASSERT_TRUE(done.wait());
        EXPECT_EQ(done.value(), row.expected);
        EXPECT_FALSE(socket.isConnected());
    }
}

TEST_F(TCPSocketTest, SendsALargeBufferWhole)
{
    tcp::socket peerSide = connect();
    std::string content(8 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7 + i / 4096);
    const BasicBuffer<char> buffer(content);

    Signal<IoResult> sent;
    m_socket.sendAsync(&buffer, [sent](SystemError::ErrorCode code, std::size_t bytes) mutable {
        sent.set({code, bytes});
    });
    std::string received(content.size(), '\0');
    asio::read(peerSide, asio::buffer(received)); // Far more than the socket buffers hold.
    ASSERT_TRUE(sent.wait());
    EXPECT_EQ(sent.value().code, 0u);
    EXPECT_EQ(sent.value().bytes, content.size());
    EXPECT_TRUE(received == content);
}

TEST_F(TCPSocketTest, ReadSomeAppendsIntoTheSpareCapacityOnly)
{
    tcp::socket peerSide = connect();
    std::string sent;
    for (int i = 0; i < 100; ++i)
        sent.push_back(static_cast<char>('A' + i % 26));
    asio::write(peerSide, asio::buffer(sent));

    BasicBuffer<char> buffer;
    buffer.reserve(64);
    buffer.append(std::string_view("abc"));
    const IoResult first = read(&buffer);
    EXPECT_EQ(first.code, 0u);
    ASSERT_GT(first.bytes, 0u);
    ASSERT_LE(first.bytes, 61u);
    EXPECT_EQ(buffer.capacity(), 64u); // Never grown.
    EXPECT_EQ(buffer.view(), "abc" + sent.substr(0, first.bytes));

    std::string received = sent.substr(0, first.bytes);
    buffer.erase(0, buffer.size());
    while (received.size() < sent.size()) {
        const IoResult next = read(&buffer);
        ASSERT_EQ(next.code, 0u);
        ASSERT_GT(next.bytes, 0u);
        received += buffer.takeStdString();
        buffer.reserve(64);
    }
    EXPECT_EQ(received, sent);

    // A full buffer cannot take a read; reading nothing would look like the peer's close.
    BasicBuffer<char> full;
    full.resize(full.capacity());
    EXPECT_EQ(read(&full).code, static_cast<SystemError::ErrorCode>(ENOBUFS));
}

TEST_F(TCPSocketTest, PeerCloseReadsZeroBytes)
{
    tcp::socket peerSide = connect();
    peerSide.close();
    BasicBuffer<char> buffer;
    const IoResult result = read(&buffer);
    EXPECT_EQ(result.code, 0u);
    EXPECT_EQ(result.bytes, 0u);
    EXPECT_FALSE(m_socket.isConnected());

    // Reads and sends on a socket that is not connected fail, asynchronously.
    const IoResult again = read(&buffer);
    EXPECT_EQ(again.code, static_cast<SystemError::ErrorCode>(ENOTCONN));
}

TEST_F(TCPSocketTest, ReceiveTimeOutLeavesTheConnectionUsable)
{
    utils::ScopedTimeScale fast(0.001);
    tcp::socket peerSide = connect();
    m_socket.setRecvTimeout(5000);
    BasicBuffer<char> buffer;
    EXPECT_EQ(read(&buffer).code, static_cast<SystemError::ErrorCode>(ETIMEDOUT));
    EXPECT_TRUE(m_socket.isConnected());

    m_socket.setRecvTimeout(0);
    asio::write(peerSide, asio::buffer(std::string("late")));
    const IoResult result = read(&buffer);
    EXPECT_EQ(result.code, 0u);
    EXPECT_EQ(buffer.view().substr(0, result.bytes), std::string_view("late").substr(0, result.bytes));
}

TEST_F(TCPSocketTest, SendTimesOutWhenThePeerTakesNothing)
{
    utils::ScopedTimeScale fast(0.001);
    tcp::socket peerSide = connect(); // Never read: the send stops once the kernel's buffers are full.
    m_socket.setSendTimeout(5000);
    const BasicBuffer<char> buffer(std::string(64 * 1024 * 1024, 'x'));
    Signal<IoResult> sent;
    m_socket.sendAsync(&buffer, [sent](SystemError::ErrorCode code, std::size_t bytes) mutable {
        sent.set({code, bytes});
    });
    ASSERT_TRUE(sent.wait());
    EXPECT_EQ(sent.value().code, static_cast<SystemError::ErrorCode>(ETIMEDOUT));
    EXPECT_LT(sent.value().bytes, buffer.size());
}

TEST_F(TCPSocketTest, PleaseStopSyncWithAReadPendingNeverCallsItsHandler)
{
    tcp::socket peerSide = connect();
    auto buffer = std::make_unique<BasicBuffer<char>>();
    std::atomic<int> handlerRuns{0};
    m_socket.readSomeAsync(buffer.get(), [&](SystemError::ErrorCode, std::size_t) { ++handlerRuns; });
    aio::test::drain(&m_thread); // The read is under way.

    m_socket.pleaseStopSync();
    buffer.reset(); // Nothing may write into it any more (ASan would tell).
    EXPECT_FALSE(m_socket.isConnected());

    boost::system::error_code ignored;
    asio::write(peerSide, asio::buffer(std::string("too late")), ignored);
    aio::Timer sentinel(&m_thread);
    Signal<> passed;
    sentinel.start(0ms, [passed]() mutable { passed.set(); });
    ASSERT_TRUE(passed.wait());
    aio::test::drain(&m_thread);
    EXPECT_EQ(handlerRuns, 0);
}

TEST_F(TCPSocketTest, DestroyedWithOperationsPending)
{
    // What is pending holds no reference to the destroyed socket (ASan would tell), and no handler runs
    // once the destructor has returned. Handlers may complete while the socket is alive (the peer's
    // bytes or the kernel's send buffer may satisfy them first), so only late runs count.
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateRuns{0};
    const auto countIfLate = [&] {
        if (destroyed)
            ++lateRuns;
    };
    BasicBuffer<char> buffer;
    auto socket = std::make_unique<TCPSocket>(AF_INET, &m_thread);
    Signal<> connected;
    socket->connectAsync(m_peer.address(), [connected](SystemError::ErrorCode) mutable { connected.set(); });
    tcp::socket peerSide = m_peer.accept();
    ASSERT_TRUE(connected.wait());
    socket->readSomeAsync(&buffer, [&](SystemError::ErrorCode, std::size_t) { countIfLate(); });
    const BasicBuffer<char> request(std::string(1024 * 1024, 'r'));
    socket->sendAsync(&request, [&](SystemError::ErrorCode, std::size_t) { countIfLate(); });
    aio::test::drain(&m_thread);
    socket.reset();
    destroyed = true;
    boost::system::error_code ignored; // The socket is gone: the peer may see a reset.
    asio::write(peerSide, asio::buffer(std::string("data")), ignored);

    destroyed = false;
    auto connecting = std::make_unique<TCPSocket>(AF_INET, &m_thread);
    connecting->connectAsync(m_peer.address(), [&](SystemError::ErrorCode) { countIfLate(); });
    connecting.reset();
    destroyed = true;

    aio::Timer sentinel(&m_thread);
    Signal<> passed;
    sentinel.start(0ms, [passed]() mutable { passed.set(); });
    ASSERT_TRUE(passed.wait());
    aio::test::drain(&m_thread);
    EXPECT_EQ(lateRuns, 0);
}

TEST_F(TCPSocketTest, DestroyedBetweenTheWritesOfALargeSend)
{
    // A send larger than the kernel takes at once goes out in several writes. The first one is done
    // inside sendAsync() and its completion waits in the thread's queue; the socket is destroyed before
    // that completion runs, which then must neither start the next write on the socket that is gone
    // (ASan would tell) nor call the handler.
    auto socket = std::make_unique<TCPSocket>(AF_INET, &m_thread);
    Signal<> connected;
    socket->connectAsync(m_peer.address(), [connected](SystemError::ErrorCode) mutable { connected.set(); });
    tcp::socket peerSide = m_peer.accept();
    ASSERT_TRUE(connected.wait());

    const BasicBuffer<char> request(std::string(32 * 1024 * 1024, 's'));
    std::atomic<int> runs{0};
    m_thread.executeSync([&] {
        socket->sendAsync(&request, [&](SystemError::ErrorCode, std::size_t) { ++runs; });
        socket.reset();
    });
    aio::test::drain(&m_thread);
    EXPECT_EQ(runs, 0);
}

TEST_F(TCPSocketTest, StopAndRestartHammeredFromAnotherThread)
{
    // Each round's handlers carry their round number; one that runs after the stop of its round has
    // returned finds the number moved on.
    std::atomic<int> round{0};
    std::atomic<int> lateHandlers{0};
    std::atomic<int> connects{0};
    BasicBuffer<char> buffer;
    constexpr int kRounds = 200;
    std::thread hammer([&] {
        for (int i = 0; i < kRounds; ++i) {
            m_socket.connectAsync(m_peer.address(), [&, i](SystemError::ErrorCode code) {
                if (round != i)
                    ++lateHandlers;
                if (code != 0)
                    return;
                ++connects;
                m_socket.readSomeAsync(&buffer, [&, i](SystemError::ErrorCode, std::size_t) {
                    if (round != i)
                        ++lateHandlers;
                });
            });
            if (i % 3 == 0)
                aio::test::drain(&m_thread); // Sometimes let the connect get further.
            m_socket.pleaseStopSync();
            round = i + 1;
            buffer.clear();
        }
    });
    hammer.join();
    aio::test::drain(&m_thread);
    EXPECT_EQ(lateHandlers, 0);

    // Still usable afterwards.
    const tcp::socket peerSide = connect();
    EXPECT_TRUE(m_socket.isConnected());
}

} // namespace
} // namespace vorn::network
