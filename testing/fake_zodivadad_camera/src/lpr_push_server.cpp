#include "fake_zodivadad_camera/lpr_push_server.h"

#include <array>
#include <deque>
#include <future>

#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <QtCore/QByteArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

namespace vorn::testing::zodivadad {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

uint16_t u16At(const char* bytes)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) | (static_cast<uint8_t>(bytes[1]) << 8));
}

uint32_t u32At(const char* bytes)
{
    return uint32_t{u16At(bytes)} | (uint32_t{u16At(bytes + 2)} << 16);
}

// Runs `task` on the io_context's thread and returns its result; a default value when the context has
// stopped and the task never runs.
template <typename Result, typename Task>
Result runOn(asio::io_context& io, Task task)
{
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> future = promise->get_future();
    asio::post(io, [promise, task = std::move(task)]() mutable { promise->set_value(task()); });
    if (io.stopped())
        return Result();
    return future.get();
}

} // namespace

// One accepted connection: reads the login packet, answers it, then only watches for the close. Lives on
// the server's thread.
class LprPushServer::Session : public std::enable_shared_from_this<Session>
{
public:
    Session(LprPushServer* server, tcp::socket socket)
        : m_server(server)
        , m_socket(std::move(socket))
    {}

    void start() { readHeader(); }

    bool isOpen() const { return m_open; }
    bool isLoggedIn() const { return m_loggedIn; }

    void send(std::shared_ptr<const std::string> bytes)
    {
        if (!m_open)
            return;
        m_queue.push_back(std::move(bytes));
        if (m_queue.size() == 1)
            writeNext();
    }

    void close()
    {
        m_open = false;
        boost::system::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
    }

private:
    void readHeader()
    {
        asio::async_read(m_socket, asio::buffer(m_header),
                         [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                             if (error)
                                 return self->close();
                             self->onHeader();
                         });
    }

    void onHeader()
    {
        const uint32_t length = u32At(m_header.data() + 4);
        if (u16At(m_header.data()) != 0xCCFF || u16At(m_header.data() + 2) != kLprLoginRequest || length < 2 ||
            length > kMaxLoginLength) {
            return close();
        }
        m_body.resize(length);
        asio::async_read(m_socket, asio::buffer(m_body),
                         [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                             if (error)
                                 return self->close();
                             self->onBody();
                         });
    }

    void onBody()
    {
        if (u16At(m_body.data() + m_body.size() - 2) != 0xFFDD)
            return close();
        Login login;
        login.json = m_body.substr(0, m_body.size() - 2);
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(login.json)).object();
        login.id = object.value("id").toString().toStdString();
        login.password = object.value("password").toString().toStdString();

        LoginAnswer answer = m_server->answerLogin(login);
        m_loggedIn = answer.accepted;
        send(std::make_shared<const std::string>(std::move(answer.bytes)));
        watchForClose();
    }

    void watchForClose()
    {
        m_socket.async_read_some(asio::buffer(m_scratch),
                                 [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                                     if (error)
                                         return self->close();
                                     self->watchForClose();
                                 });
    }

    void writeNext()
    {
        asio::async_write(m_socket, asio::buffer(*m_queue.front()),
                          [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                              if (error)
                                  return self->close();
                              self->m_queue.pop_front();
                              if (!self->m_queue.empty())
                                  self->writeNext();
                          });
    }

    LprPushServer* const m_server;
    tcp::socket m_socket;
    std::array<char, 8> m_header{};
    std::string m_body;
    std::array<char, 4096> m_scratch{};
    std::deque<std::shared_ptr<const std::string>> m_queue; //< The front one is being written.
    bool m_open = true;
    bool m_loggedIn = false;
};

LprPushServer::LprPushServer()
    : m_acceptor(m_io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0))
{
    m_port = m_acceptor.local_endpoint().port();
    accept();
    m_thread = std::thread([this] { m_io.run(); });
}

LprPushServer::~LprPushServer()
{
    stop();
}

void LprPushServer::setCredentials(std::string id, std::string password)
{
    const std::lock_guard lock(m_mutex);
    m_credentials.emplace(std::move(id), std::move(password));
}

void LprPushServer::setLoginHandler(LoginHandler handler)
{
    const std::lock_guard lock(m_mutex);
    m_loginHandler = std::move(handler);
}

std::string LprPushServer::loginReplyPacket(int code)
{
    return encodeLprPacket(kLprLoginReply, "{\"result\":" + std::to_string(code) + "}");
}

std::size_t LprPushServer::pushPlates(const std::vector<LprPlate>& plates)
{
    return pushBytes(encodeLprMetadataPacket(plates));
}

std::size_t LprPushServer::pushBytes(std::string bytes)
{
    return runOn<std::size_t>(m_io,
                              [this, bytes = std::move(bytes)]() mutable { return sendToLoggedIn(std::move(bytes)); });
}

void LprPushServer::closeConnections()
{
    runOn<bool>(m_io, [this] {
        for (const auto& session : m_sessions)
            session->close();
        m_sessions.clear();
        return true;
    });
}

std::vector<LprPushServer::Login> LprPushServer::logins() const
{
    const std::lock_guard lock(m_mutex);
    return m_logins;
}

std::size_t LprPushServer::connectionCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_connections;
}

bool LprPushServer::waitForLogins(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_logins.size() >= count; });
}

bool LprPushServer::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_connections >= count; });
}

void LprPushServer::stop()
{
    if (!m_thread.joinable())
        return;
    asio::post(m_io, [this] {
        boost::system::error_code ignored;
        m_acceptor.close(ignored);
        for (const auto& session : m_sessions)
            session->close();
        m_sessions.clear();
        m_io.stop();
    });
    m_thread.join();
}

void LprPushServer::accept()
{
    m_acceptor.async_accept([this](boost::system::error_code error, tcp::socket socket) {
        if (error)
            return; // The acceptor was closed.
        socket.set_option(tcp::no_delay(true));
        forgetClosedSessions();
        auto session = std::make_shared<Session>(this, std::move(socket));
        m_sessions.push_back(session);
        {
            const std::lock_guard lock(m_mutex);
            ++m_connections;
        }
        m_changed.notify_all();
        session->start();
        accept();
    });
}

LprPushServer::LoginAnswer LprPushServer::answerLogin(const Login& login)
{
    LoginHandler handler;
    std::optional<std::pair<std::string, std::string>> credentials;
    {
        const std::lock_guard lock(m_mutex);
        handler = m_loginHandler;
        credentials = m_credentials;
    }
    LoginAnswer answer;
    if (handler) {
        answer = handler(login);
    } else {
        answer.accepted = !credentials || (credentials->first == login.id && credentials->second == login.password);
        answer.bytes = loginReplyPacket(answer.accepted ? 200 : 401);
    }
    {
        const std::lock_guard lock(m_mutex);
        m_logins.push_back(login);
    }
    m_changed.notify_all();
    return answer;
}

std::size_t LprPushServer::sendToLoggedIn(std::string bytes)
{
    forgetClosedSessions();
    const auto shared = std::make_shared<const std::string>(std::move(bytes));
    std::size_t count = 0;
    for (const auto& session : m_sessions) {
        if (session->isLoggedIn()) {
            session->send(shared);
            ++count;
        }
    }
    return count;
}

void LprPushServer::forgetClosedSessions()
{
    std::erase_if(m_sessions, [](const auto& session) { return !session->isOpen(); });
}

} // namespace vorn::testing::zodivadad
