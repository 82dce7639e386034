// LprPushServer: the licence-plate push port of a fake Zodivadad camera, on 127.0.0.1 at a port the
// system picks.
//
// It accepts the plugin's connections, reads each login packet (its own reader), records the login and
// answers it; afterwards the test pushes plate records (or any bytes) to every logged-in connection.
//
//     LprPushServer camera;
//     camera.setCredentials("admin", "secret");               // other logins are refused with 401
//     startChannelTowards(camera.port());
//     ASSERT_TRUE(camera.waitForLogins(1));
//     camera.pushPlates({plate});                             // one metadata packet
//
// The server runs on its own thread; every member may be called from any other thread (not from a login
// handler, which runs on the server's thread). stop() (and the destructor) closes every connection and
// joins the thread: nothing of the server runs after it returns.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "fake_zodivadad_camera/lpr_packet_encoder.h"

namespace vorn::testing::zodivadad {

class LprPushServer
{
public:
    struct Login
    {
        std::string id;
        std::string password;
        std::string json; //< The login packet's payload as it came.
    };

    // The bytes sent in answer to a login; the connection counts as logged in when they hold a reply with
    // result 200 (decided by the default handler, or by the test's handler returning `accepted`).
    struct LoginAnswer
    {
        std::string bytes;
        bool accepted = false;
    };
    using LoginHandler = std::function<LoginAnswer(const Login&)>;

    // A login packet longer than this is refused by closing the connection: bounds what a broken plugin
    // can make the fake hold.
    static constexpr uint32_t kMaxLoginLength = 64 * 1024;

    LprPushServer();
    ~LprPushServer();

    LprPushServer(const LprPushServer&) = delete;
    LprPushServer& operator=(const LprPushServer&) = delete;

    std::uint16_t port() const { return m_port; }

    // Logins with other credentials get {"result":401}. Without credentials every login is accepted.
    void setCredentials(std::string id, std::string password);

    // Replaces the default answer (the reply packet of the credential check).
    void setLoginHandler(LoginHandler handler);

    // {"result":<code>} in a login reply packet.
    static std::string loginReplyPacket(int code);

    // One metadata packet with the plates to every logged-in connection; the number of connections.
    std::size_t pushPlates(const std::vector<LprPlate>& plates);

    // Any bytes to every logged-in connection; the number of connections.
    std::size_t pushBytes(std::string bytes);

    // Closes every open connection, as a camera restart does.
    void closeConnections();

    std::vector<Login> logins() const;
    std::size_t connectionCount() const; //< Connections accepted so far.

    // Wait until at least `count` logins were accepted (or connections made); false when the time ran out.
    bool waitForLogins(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Synchronous; see the class comment.
    void stop();

private:
    class Session;

    void accept();
    LoginAnswer answerLogin(const Login& login);
    std::size_t sendToLoggedIn(std::string bytes);
    void forgetClosedSessions();

    boost::asio::io_context m_io;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::uint16_t m_port = 0;
    std::thread m_thread;

    std::vector<std::shared_ptr<Session>> m_sessions; //< Touched on the server's thread only.

    mutable std::mutex m_mutex; //< Guards the members below.
    mutable std::condition_variable m_changed;
    std::optional<std::pair<std::string, std::string>> m_credentials;
    LoginHandler m_loginHandler;
    std::vector<Login> m_logins;
    std::size_t m_connections = 0;
};

} // namespace vorn::testing::zodivadad
