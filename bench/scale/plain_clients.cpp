#include "plain_clients.h"

#include <array>
#include <utility>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

namespace vorn::bench::scale {

namespace asio = boost::asio;
using asio::ip::tcp;

class PlainClients::Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(asio::io_context& io, const ScaleScenario::PlainClient& client, std::shared_ptr<ArrivalLog> arrivals)
        : m_socket(io)
        , m_client(client)
        , m_arrivals(std::move(arrivals))
    {}

    // Blocking, on the constructing thread; empty on success.
    std::string open(const CameraDescription& camera)
    {
        const auto [host, port] = m_client.address(camera);
        boost::system::error_code error;
        m_socket.connect(tcp::endpoint(asio::ip::make_address(host, error), port), error);
        if (!error)
            asio::write(m_socket, asio::buffer(m_client.hello(camera)), error);
        return error ? host + ":" + std::to_string(port) + ": " + error.message() : std::string();
    }

    void read()
    {
        m_socket.async_read_some(asio::buffer(m_chunk),
                                 [self = shared_from_this()](boost::system::error_code error, std::size_t count) {
                                     if (error)
                                         return; // Closed: the camera or the destructor ended it.
                                     self->m_received.append(self->m_chunk.data(), count);
                                     std::optional<std::uint32_t> sequence;
                                     while (self->m_client.take(&self->m_received, &sequence)) {
                                         if (sequence)
                                             self->m_arrivals->note(sequence);
                                         sequence.reset();
                                     }
                                     self->read();
                                 });
    }

    void close()
    {
        boost::system::error_code ignored;
        m_socket.close(ignored);
    }

private:
    tcp::socket m_socket;
    const ScaleScenario::PlainClient& m_client;
    const std::shared_ptr<ArrivalLog> m_arrivals;
    std::array<char, 4096> m_chunk{};
    std::string m_received;
};

PlainClients::PlainClients(const ScaleScenario::PlainClient& client, const std::vector<CameraDescription>& cameras,
                           std::shared_ptr<ArrivalLog> arrivals, std::string* error)
{
    for (const CameraDescription& camera : cameras) {
        auto connection = std::make_shared<Connection>(m_io, client, arrivals);
        if (*error = connection->open(camera); !error->empty())
            return;
        connection->read();
        m_connections.push_back(std::move(connection));
    }
    m_thread = std::thread([this] { m_io.run(); });
}

PlainClients::~PlainClients()
{
    // On the reading thread, so that no completion runs beside the closes.
    asio::post(m_io, [this] {
        for (const auto& connection : m_connections)
            connection->close();
    });
    if (m_thread.joinable())
        m_thread.join(); // run() returns once the closed reads have completed.
}

} // namespace vorn::bench::scale
