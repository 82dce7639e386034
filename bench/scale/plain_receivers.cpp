#include "plain_receivers.h"

#include <array>
#include <list>
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

namespace vorn::bench::scale {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr char kLoopback[] = "127.0.0.1";
// A listener's backlog: a camera that connects per push has one connection in flight at a time.
constexpr int kBacklog = 64;

} // namespace

class PlainReceivers::Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(tcp::socket socket, const ScaleScenario::PlainReceiver& receiver, std::shared_ptr<ArrivalLog> arrivals)
        : m_socket(std::move(socket))
        , m_receiver(receiver)
        , m_arrivals(std::move(arrivals))
    {}

    void read()
    {
        m_socket.async_read_some(asio::buffer(m_chunk),
                                 [self = shared_from_this()](boost::system::error_code error, std::size_t count) {
                                     if (error)
                                         return; // Closed by the camera (a push per connection) or by the end.
                                     self->m_received.append(self->m_chunk.data(), count);
                                     std::optional<std::uint32_t> sequence;
                                     std::size_t answers = 0;
                                     while (self->m_receiver.take(&self->m_received, &sequence)) {
                                         if (sequence)
                                             self->m_arrivals->note(sequence);
                                         sequence.reset();
                                         ++answers;
                                     }
                                     self->answer(answers);
                                 });
    }

    void close()
    {
        boost::system::error_code ignored;
        m_socket.close(ignored);
    }

private:
    // The camera waits for each answer before its next push on the connection: one write, then read on.
    void answer(std::size_t count)
    {
        if (count == 0)
            return read();
        m_answers.clear();
        for (std::size_t i = 0; i < count; ++i)
            m_answers += m_receiver.answer;
        asio::async_write(m_socket, asio::buffer(m_answers),
                          [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                              if (!error)
                                  self->read();
                          });
    }

    tcp::socket m_socket;
    const ScaleScenario::PlainReceiver& m_receiver;
    const std::shared_ptr<ArrivalLog> m_arrivals;
    std::array<char, 4096> m_chunk{};
    std::string m_received;
    std::string m_answers;
};

class PlainReceivers::Listener : public std::enable_shared_from_this<Listener>
{
public:
    Listener(asio::io_context& io, const ScaleScenario::PlainReceiver& receiver, std::shared_ptr<ArrivalLog> arrivals)
        : m_acceptor(io)
        , m_receiver(receiver)
        , m_arrivals(std::move(arrivals))
    {}

    // Blocking, on the constructing thread; empty on success.
    std::string open(const CameraDescription& camera)
    {
        boost::system::error_code error;
        const tcp::endpoint endpoint(asio::ip::make_address(kLoopback), 0);
        m_acceptor.open(endpoint.protocol(), error);
        if (!error)
            m_acceptor.bind(endpoint, error);
        if (!error)
            m_acceptor.listen(kBacklog, error);
        if (error)
            return "listening: " + error.message();
        const std::uint16_t port = m_acceptor.local_endpoint().port();
        if (!m_receiver.subscribe(camera, kLoopback, port))
            return "the camera at " + camera.url + " refused the subscription";
        return {};
    }

    void accept()
    {
        m_acceptor.async_accept([self = shared_from_this()](boost::system::error_code error, tcp::socket socket) {
            if (error)
                return; // Closed: the destructor ended it.
            self->m_connections.remove_if([](const std::weak_ptr<Connection>& weak) { return weak.expired(); });
            auto connection = std::make_shared<Connection>(std::move(socket), self->m_receiver, self->m_arrivals);
            connection->read();
            self->m_connections.push_back(connection);
            self->accept();
        });
    }

    void close()
    {
        boost::system::error_code ignored;
        m_acceptor.close(ignored);
        for (const std::weak_ptr<Connection>& weak : m_connections) {
            if (const auto connection = weak.lock())
                connection->close();
        }
    }

private:
    tcp::acceptor m_acceptor;
    const ScaleScenario::PlainReceiver& m_receiver;
    const std::shared_ptr<ArrivalLog> m_arrivals;
    std::list<std::weak_ptr<Connection>> m_connections;
};

PlainReceivers::PlainReceivers(const ScaleScenario::PlainReceiver& receiver,
                               const std::vector<CameraDescription>& cameras, std::shared_ptr<ArrivalLog> arrivals,
                               std::string* error)
{
    for (const CameraDescription& camera : cameras) {
        auto listener = std::make_shared<Listener>(m_io, receiver, arrivals);
        if (*error = listener->open(camera); !error->empty())
            return;
        listener->accept();
        m_listeners.push_back(std::move(listener));
    }
    m_thread = std::thread([this] { m_io.run(); });
}

PlainReceivers::~PlainReceivers()
{
    // On the serving thread, so that no completion runs beside the closes.
    asio::post(m_io, [this] {
        for (const auto& listener : m_listeners)
            listener->close();
    });
    if (m_thread.joinable())
        m_thread.join(); // run() returns once the closed operations have completed.
    else
        m_io.run(); // Never started: the posted closes run here.
}

} // namespace vorn::bench::scale
