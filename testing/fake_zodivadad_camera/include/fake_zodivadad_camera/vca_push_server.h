// vorn::testing::VcaPushServer: the fake camera's video-analytics push port, on 127.0.0.1 at a port the
// system picks.
//
// It accepts connections, reads registration frames (command 1), answers them and records them; then
// the test pushes frames to the latest connection and makes the camera misbehave (close, garbage,
// refuse connections):
//
//     VcaPushServer camera;
//     camera.requireDigest("admin", "secret");              // 401 with a challenge, then a checked digest
//     startChannelAt(camera.port());
//     ASSERT_TRUE(camera.waitForRegistrations(2));          // the plain one and the digest one
//     camera.push(vca_wire::frame(vca_wire::kBasicAlarmCommand, R"({"event":1,"alarm":1})"));
//     camera.closeConnections();                            // the channel reconnects after its delay
//
// Answers to a registration, unless a reply handler is set:
// - without requireDigest(): {"result": <registration result, 200 by default>} plus the section answers;
// - with requireDigest(): a registration without "Authorization" gets {"result":401,"nonce","realm","qop"};
//   one with a digest answer is checked by this class's own MD5 code (user from "user", method from
//   "cmd", the nonce issued on that connection) and gets the registration result plus the section
//   answers when it holds, else {"result":401}.
// Bytes set with setBehindAcceptance() follow an answer other than 401 in the same write.
//
// The server runs on its own thread; every member may be called from any thread. stop() (and the
// destructor) closes every connection and joins the thread: nothing of the server runs after it returns.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <QtCore/QJsonObject>

namespace vorn::testing {

class VcaPushServer
{
public:
    struct Registration
    {
        std::size_t connection = 0; //< 1 for the first connection accepted, and so on.
        std::string text;           //< The payload as sent.
        QJsonObject json;           //< Empty when the payload is no JSON object.
        bool hasDigest = false;     //< It carries an "Authorization" member.
        bool digestValid = false;   //< requireDigest() is on and the answer holds.
    };

    /** The bytes to write in answer to a registration; empty writes nothing. */
    using ReplyHandler = std::function<std::string(const Registration&)>;

    VcaPushServer();
    ~VcaPushServer();

    VcaPushServer(const VcaPushServer&) = delete;
    VcaPushServer& operator=(const VcaPushServer&) = delete;

    std::uint16_t port() const { return m_port; }

    void setRegistrationResult(int result);
    void requireDigest(std::string user, std::string password, std::string realm = "IP Camera");
    /** A member of every accepting answer (a section the camera reports on with 1, or refuses with 0). */
    void setSectionAnswer(std::string section, int value);
    void setBehindAcceptance(std::string bytes);
    /** Replaces the answers above. */
    void setReplyHandler(ReplyHandler handler);

    /** Writes to the latest open connection; false when there is none. Returns when written. */
    bool push(std::string_view bytes);
    /**
     * The same; *writeStart gets the time the bytes were handed to the connection (for latency figures):
     * just before the socket write, when no earlier push of the connection is still being written.
     */
    bool push(std::string_view bytes, std::chrono::steady_clock::time_point* writeStart);
    /** The same, in one write per piece, cut before each offset of `cuts` (ascending). */
    bool pushInPieces(std::string_view bytes, const std::vector<std::size_t>& cuts);

    /** Closes every open connection, as a camera that drops its clients. */
    void closeConnections();
    /** Connections are refused from the moment it returns, until resumeListening(). */
    void stopListening();
    /** Listens again on the same port. */
    void resumeListening();
    void stop();

    std::size_t connectionCount() const;
    std::vector<Registration> registrations() const;
    /** Frames that were not sound (magic, checksum, size); the connection was closed on each. */
    std::size_t badFrameCount() const;

    bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    bool waitForRegistrations(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    class Session;

    void listen();
    void accept();
    void onRegistration(Session& session, std::string payload);
    std::string answerTo(Session& session, Registration& registration);
    void runOnServerThread(std::function<void()> task);
    bool write(std::string_view bytes, const std::vector<std::size_t>& cuts,
               std::chrono::steady_clock::time_point* writeStart);

    boost::asio::io_context m_io;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopped{false};

    std::vector<std::weak_ptr<Session>> m_sessions; //< Server thread only.

    mutable std::mutex m_configMutex; //< Guards the answer settings below.
    int m_registrationResult = 200;
    bool m_digestRequired = false;
    std::string m_user;
    std::string m_password;
    std::string m_realm;
    std::map<std::string, int> m_sectionAnswers;
    std::string m_behindAcceptance;
    ReplyHandler m_replyHandler;

    mutable std::mutex m_recordsMutex; //< Guards the records below.
    mutable std::condition_variable m_recordsChanged;
    std::size_t m_connectionCount = 0;
    std::size_t m_badFrameCount = 0;
    std::vector<Registration> m_registrations;
};

} // namespace vorn::testing
