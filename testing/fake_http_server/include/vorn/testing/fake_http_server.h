// vorn::testing::FakeHttpServer: a scripted HTTP/1.1 peer on 127.0.0.1 for tests and demos.
//
// It listens on a port the system picks, serves on its own thread, records every request, and answers each
// (method, path) with a scripted reply or a handler's reply; unrouted requests get 404. It can also
// misbehave the ways real peers do: ask for Basic or Digest credentials (checked by its own code, not the
// client's), answer late, never, or only when the test lets the answer go, cut a body short, refuse
// connections. It speaks plain HTTP or, on request, HTTPS with a self-signed certificate.
//
//     FakeHttpServer server;
//     server.route("GET", "/cgi-bin/admin/admin.cgi", FakeHttpServer::Reply::ok("var a='1';"));
//     server.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "secret");
//     client.doGet(server.url("/cgi-bin/admin/admin.cgi?action=get"));
//     ASSERT_TRUE(server.waitForRequests(2));      // the unauthenticated try and the answer
//     EXPECT_EQ(server.requests()[1].query, "action=get");
//
// Handlers run on the server's thread; one that throws makes the reply a 500 carrying the exception text.
// The other members may be called from any thread but that one. stop() (and the destructor) closes every
// connection and joins the thread: nothing of the server runs after it returns.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

namespace vorn::testing {

class FakeHttpServer
{
public:
    struct RecordedRequest
    {
        std::string method;
        std::string target; //< as sent: path and query, still encoded
        std::string path;   //< target up to "?"
        std::string query;  //< target after "?", empty without one
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;

        // The first field of that name (letter case ignored), or none.
        std::optional<std::string> header(std::string_view name) const;
    };

    struct Reply
    {
        enum class Delivery {
            contentLength, //< Content-Length and the whole body
            chunked,       //< chunked transfer coding
            untilClose,    //< no length: the body ends when the server closes the connection
            cutBody,       //< Content-Length of declaredLength, then the body (shorter), then close
            stalledBody,   //< as cutBody, but the connection stays open, silent, until the server stops
            silent,        //< nothing at all; the connection stays open until the server stops
        };

        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        Delivery delivery = Delivery::contentLength;
        std::size_t declaredLength = 0; //< cutBody and stalledBody only
        // How long after the request has arrived the reply goes out (silent: the connection just stays open),
        // in real time; the connection is idle meanwhile, and other connections are served as usual.
        std::chrono::milliseconds delay{0};
        // Held: the reply waits until releaseHeldReplies() (its delay counts from there), or until the server
        // stops and closes the connection without it.
        bool held = false;

        static Reply ok(std::string body, std::string contentType = "text/plain");
        static Reply withStatus(int status, std::string body = {}, std::string contentType = "text/plain");
        static Reply silent();
        static Reply cutBody(std::string sentPart, std::size_t declaredLength);
        static Reply stalledBody(std::string sentPart, std::size_t declaredLength);

        Reply& header(std::string name, std::string value);
        Reply& deliver(Delivery how);
        Reply& after(std::chrono::milliseconds delay);
        Reply& hold();
    };

    using Handler = std::function<Reply(const RecordedRequest&)>;

    enum class AuthScheme {
        none,
        basic,
        digest,        //< MD5, qop "auth"
        basicOrDigest, //< both challenges offered, either answer accepted
    };

    // Requests above this body size are refused with 413; bounds what a misbehaving client test can make the
    // fake hold.
    static constexpr std::size_t kMaxRequestBodySize = 64 * 1024 * 1024;

    enum class Transport {
        plain,
        tls, //< with a self-signed certificate for "127.0.0.1", made afresh for each server
    };

    explicit FakeHttpServer(Transport transport = Transport::plain);
    ~FakeHttpServer();

    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" (https with TLS) followed by the path and query.
    std::string url(std::string_view pathAndQuery = "/") const;

    void route(std::string method, std::string path, Reply reply);
    void route(std::string method, std::string path, Handler handler);

    // Every later request must carry valid credentials of the scheme; others get 401 with a challenge (a new
    // nonce each time) and are recorded like any other.
    void requireAuth(AuthScheme scheme, std::string user, std::string password, std::string realm = "fake camera");

    // Closes the listening socket: new connections are refused from the moment this returns. Connections
    // already open are served on.
    void stopListening();

    // Lets every reply held so far go out; replies held later wait for the next call. Synchronous: when it
    // returns, the held replies are on their way.
    void releaseHeldReplies();

    // Synchronous; see the class comment.
    void stop();

    // Connections open now: accepted and not closed by either side yet, a peer that connected and sent
    // nothing included. 0 once the server is stopped.
    std::size_t openConnections();

    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // Waits until at least `count` requests were recorded; false when the time ran out first.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    class Session;

    void accept();
    Reply replyTo(const RecordedRequest& request);
    std::optional<Reply> checkAuth(const RecordedRequest& request);
    void record(const RecordedRequest& request);

    boost::asio::io_context m_io;
    std::optional<boost::asio::ssl::context> m_tlsContext;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    bool m_stopped = false; //< touched by the owner's thread only

    // Owned by the server thread: sessions still open, closed when the server stops.
    std::vector<std::weak_ptr<Session>> m_sessions;
    std::vector<std::shared_ptr<Session>> m_silentSessions;
    std::vector<std::function<void()>> m_heldReplies; //< each sends one held reply on its session
    std::set<std::string> m_issuedNonces;

    mutable std::mutex m_configMutex; //< guards the routes and the authentication settings
    std::map<std::pair<std::string, std::string>, Handler> m_routes;
    AuthScheme m_authScheme = AuthScheme::none;
    std::string m_authUser;
    std::string m_authPassword;
    std::string m_authRealm;

    mutable std::mutex m_recordsMutex; //< guards m_records
    mutable std::condition_variable m_recordsChanged;
    std::vector<RecordedRequest> m_records;
};

} // namespace vorn::testing
