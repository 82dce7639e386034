#include <vorn/network/http/http_client.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include <vorn/network/http/status_code.h>
#include <vorn/testing/fake_http_server.h>
#include <vorn/utils/scaled_clock.h>

namespace vorn::network::http {
namespace {

using namespace std::chrono_literals;
using testing::FakeHttpServer;
using Reply = FakeHttpServer::Reply;
using Delivery = FakeHttpServer::Reply::Delivery;
using AuthScheme = FakeHttpServer::AuthScheme;

class HttpClientTest : public ::testing::Test
{
protected:
    utils::Url url(std::string_view pathAndQuery = "/") const { return utils::Url(server.url(pathAndQuery)); }

    FakeHttpServer server;
    HttpClient client{ssl::kAcceptAnyCertificate};
};

TEST_F(HttpClientTest, GetDeliversStatusHeadersAndBody)
{
    server.route("GET", "/cgi-bin/admin/admin.cgi",
                 Reply::ok("var system_lpr_support='1';").header("X-Camera", "zodivadad"));

    ASSERT_TRUE(client.doGet(url("/cgi-bin/admin/admin.cgi?action=get.system.information")));
    EXPECT_EQ(client.lastSysErrorCode(), 0u);
    EXPECT_EQ(client.statusCode(), 200);
    ASSERT_NE(client.response(), nullptr);
    EXPECT_EQ(client.response()->statusLine.toString(), "HTTP/1.1 200 OK");
    EXPECT_EQ(client.response()->header("x-camera"), "zodivadad");
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray("var system_lpr_support='1';"));
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray("var system_lpr_support='1';")); // same again

    ASSERT_EQ(server.requestCount(), 1u);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/cgi-bin/admin/admin.cgi");
    EXPECT_EQ(request.query, "action=get.system.information");
    EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_FALSE(request.header("Authorization"));
}

// A server asks each of its cameras over HTTP: a request to an address must not cost a thread (asio
// resolves names on a thread of its own, kept as long as the client lives).
TEST_F(HttpClientTest, RequestToAnAddressStartsNoThread)
{
    const auto threadCount = [] {
        const std::filesystem::directory_iterator tasks("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    server.route("GET", "/", Reply::ok("var a='1';"));
    const auto before = threadCount();
    ASSERT_TRUE(client.doGet(url("/")));
    EXPECT_EQ(client.statusCode(), 200);
    EXPECT_EQ(threadCount(), before);
}

TEST_F(HttpClientTest, PostSendsBodyAndContentType)
{
    server.route("POST", "/vapix/services", Reply::ok("<reply/>", "application/soap+xml"));
    const std::string contentType = R"(action="http://example.com/event1/GetEventInstances")";
    const std::string envelope = "\n        <s:Envelope/>\n    ";

    ASSERT_TRUE(client.doPost(url("/vapix/services?keep=1"), contentType, envelope));
    EXPECT_EQ(client.statusCode(), 200);
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray("<reply/>"));

    const auto request = server.requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/vapix/services?keep=1");
    EXPECT_EQ(request.header("Content-Type"), contentType);
    EXPECT_EQ(request.header("Content-Length"), std::to_string(envelope.size()));
    EXPECT_EQ(request.body, envelope);
}

TEST_F(HttpClientTest, AnswersOneChallengeAsTheAuthTypeAllows)
{
    struct Row
    {
        const char* name;
        AuthScheme serverScheme;
        AuthType authType;
        std::string password; // empty: no credentials set
        bool credentialsInUrl;
        int expectedStatus;
        std::size_t expectedRequests;
        std::string answerScheme; // of the second request's Authorization
    };
    const Row rows[] = {
        {"basic", AuthScheme::basic, AuthType::basicAndDigest, "secret", false, 200, 2, "Basic "},
        {"digest", AuthScheme::digest, AuthType::basicAndDigest, "secret", false, 200, 2, "Digest "},
        {"both offered: digest preferred", AuthScheme::basicOrDigest, AuthType::basicAndDigest, "secret", false, 200, 2,
         "Digest "},
        {"both offered, basic only", AuthScheme::basicOrDigest, AuthType::basic, "secret", false, 200, 2, "Basic "},
        {"digest only: basic challenge left unanswered", AuthScheme::basic, AuthType::digest, "secret", false, 401, 1,
         ""},
        {"basic only: digest challenge left unanswered", AuthScheme::digest, AuthType::basic, "secret", false, 401, 1,
         ""},
        {"credentials from the URL", AuthScheme::digest, AuthType::basicAndDigest, "secret", true, 200, 2, "Digest "},
        {"wrong password: 401 after one answer", AuthScheme::digest, AuthType::basicAndDigest, "wrong", false, 401, 2,
         "Digest "},
        {"no credentials", AuthScheme::digest, AuthType::basicAndDigest, "", false, 401, 1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHttpServer camera;
        camera.route("GET", "/axis-cgi/imagesize.cgi", Reply::ok("image width = 1920\r\n"));
        camera.requireAuth(row.serverScheme, "root", "secret");
        HttpClient client(ssl::kAcceptAnyCertificate);
        client.setAuthType(row.authType);
        utils::Url target(camera.url("/axis-cgi/imagesize.cgi?camera=1"));
        if (row.credentialsInUrl) {
            target.setUserName("root");
            target.setPassword(QString::fromStdString(row.password));
        } else if (!row.password.empty()) {
            client.setCredentials(PasswordCredentials("root", row.password));
        }

        ASSERT_TRUE(client.doGet(target)); // a 401 is a response too
        EXPECT_EQ(client.statusCode(), row.expectedStatus);
        EXPECT_EQ(StatusCode::isSuccessCode(client.statusCode()), row.expectedStatus == 200);
        const auto requests = camera.requests();
        ASSERT_EQ(requests.size(), row.expectedRequests);
        EXPECT_FALSE(requests[0].header("Authorization"));
        if (row.expectedRequests == 2) {
            EXPECT_EQ(requests[1].header("Authorization").value_or("").rfind(row.answerScheme, 0), 0u);
        }
        if (row.expectedStatus == 200) {
            EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray("image width = 1920\r\n"));
        }
    }
}

TEST_F(HttpClientTest, ServerErrorIsAResponseWithItsBody)
{
    const std::string html = "<html><body><h1>500 Internal Server Error</h1></body></html>";
    server.route("GET", "/cgi-bin/operator/operator.cgi", Reply::withStatus(500, html, "text/html"));

    ASSERT_TRUE(client.doGet(url("/cgi-bin/operator/operator.cgi?action=get.lpr.settings")));
    EXPECT_EQ(client.statusCode(), 500);
    EXPECT_FALSE(StatusCode::isSuccessCode(client.statusCode()));
    EXPECT_EQ(StatusCode::toString(client.statusCode()), "500 Internal Server Error");
    EXPECT_EQ(client.response()->statusLine.toString(), "HTTP/1.1 500 Internal Server Error");
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray::fromStdString(html));
}

TEST_F(HttpClientTest, RefusedConnectionIsNoResponse)
{
    server.stopListening();
    EXPECT_FALSE(client.doGet(url("/")));
    EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(ECONNREFUSED));
    EXPECT_EQ(client.response(), nullptr);
    EXPECT_EQ(client.statusCode(), 0);
    EXPECT_FALSE(client.fetchEntireMessageBody());
}

TEST_F(HttpClientTest, SilentPeerTimesOut)
{
    // The defaults are finite, since callers set none; the test shortens the wait for the response.
    EXPECT_EQ(client.timeouts(), Timeouts());
    EXPECT_EQ(Timeouts().sendTimeout, 10s);
    EXPECT_EQ(Timeouts().responseReadTimeout, 30s);
    client.setResponseReadTimeout(100ms);
    server.route("GET", "/LAPI/V1.0/System/Time", Reply::silent());

    EXPECT_FALSE(client.doGet(url("/LAPI/V1.0/System/Time")));
    EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(ETIMEDOUT));
    EXPECT_EQ(client.response(), nullptr);
    EXPECT_EQ(server.requestCount(), 1u);
}

// The time-outs are those of the ScaledClock: a test (or a host run with a time scale) that makes the clock
// a hundred times faster sees a silent or stalled peer given up in a hundredth of the time.
TEST_F(HttpClientTest, TimeOutsRunOnTheScaledClock)
{
    const utils::ScopedTimeScale fast(0.01);
    const struct
    {
        const char* name;
        Reply reply;
        bool response; //< the header arrived, the body did not
    } rows[] = {
        {"silent: the response read time-out", Reply::silent(), false},
        {"stalled body: the body read time-out", Reply::stalledBody("<a>", 100), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server.route("GET", "/", row.reply);
        const auto start = utils::ScaledClock::now();
        const bool responded = client.doGet(url("/"));
        EXPECT_EQ(responded && !client.fetchEntireMessageBody(), row.response);
        const auto elapsed = utils::ScaledClock::now() - start;
        EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(ETIMEDOUT));
        EXPECT_GE(elapsed, Timeouts::kDefaultResponseReadTimeout);
        EXPECT_LT(elapsed, 10 * Timeouts::kDefaultResponseReadTimeout); // not 30 s of real time
    }
}

TEST_F(HttpClientTest, AdditionalHeadersGoWithEveryRequest)
{
    client.addAdditionalHeader("Connection", "close");
    client.setCredentials(PasswordCredentials("root", "pass"));
    server.requireAuth(AuthScheme::digest, "root", "pass");
    server.route("GET", "/", Reply::ok("a"));
    ASSERT_TRUE(client.doGet(url("/")));
    EXPECT_EQ(client.statusCode(), 200);
    ASSERT_TRUE(client.doGet(url("/")));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u); // each request challenged first
    for (const auto& request : requests)
        EXPECT_EQ(request.header("Connection"), "close");
}

TEST_F(HttpClientTest, BodyIsReadWhateverItsFraming)
{
    const std::string large(300 * 1024, 'x'); // several chunks
    const struct
    {
        const char* name;
        Delivery delivery;
        std::string body;
    } rows[] = {
        {"content length", Delivery::contentLength, "abc"},
        {"content length, empty", Delivery::contentLength, ""},
        {"chunked", Delivery::chunked, large},
        {"chunked, empty", Delivery::chunked, ""},
        {"until close", Delivery::untilClose, large},
        {"until close, empty", Delivery::untilClose, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server.route("GET", "/body", Reply::ok(row.body).deliver(row.delivery));
        ASSERT_TRUE(client.doGet(url("/body")));
        const std::optional<QByteArray> body = client.fetchEntireMessageBody();
        ASSERT_TRUE(body.has_value());
        EXPECT_EQ(body->toStdString(), row.body);
    }

    server.route("GET", "/empty", Reply::withStatus(204));
    ASSERT_TRUE(client.doGet(url("/empty")));
    EXPECT_EQ(client.statusCode(), 204);
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray());
}

TEST_F(HttpClientTest, IncompleteBodyIsNone)
{
    server.route("GET", "/cut", Reply::cutBody("only a part", 100));
    ASSERT_TRUE(client.doGet(url("/cut")));
    EXPECT_EQ(client.statusCode(), 200);
    EXPECT_FALSE(client.fetchEntireMessageBody());
    EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(ECONNRESET));

    client.setMessageBodyReadTimeout(100ms);
    server.route("GET", "/stalled", Reply::stalledBody("only a part", 100));
    ASSERT_TRUE(client.doGet(url("/stalled")));
    EXPECT_FALSE(client.fetchEntireMessageBody());
    EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(ETIMEDOUT));
}

TEST_F(HttpClientTest, BodySizeIsLimited)
{
    const std::string atLimit(HttpClient::kMaxMessageBodySize, 'b');
    const struct
    {
        const char* name;
        Reply reply;
        bool accepted;
    } rows[] = {
        {"declared length at the limit", Reply::ok(atLimit), true},
        // Refused from the header alone: reading would end in ECONNRESET, not EMSGSIZE.
        {"declared length one past the limit", Reply::cutBody("", HttpClient::kMaxMessageBodySize + 1), false},
        {"chunked at the limit", Reply::ok(atLimit).deliver(Delivery::chunked), true},
        {"chunked one past the limit", Reply::ok(atLimit + "b").deliver(Delivery::chunked), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server.route("GET", "/big", row.reply);
        ASSERT_TRUE(client.doGet(url("/big")));
        const std::optional<QByteArray> body = client.fetchEntireMessageBody();
        EXPECT_EQ(body.has_value(), row.accepted);
        if (body) {
            EXPECT_EQ(static_cast<std::size_t>(body->size()), atLimit.size());
        } else {
            EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(EMSGSIZE));
        }
    }
}

TEST_F(HttpClientTest, EachRequestReplacesTheLastResponse)
{
    server.route("GET", "/first", Reply::withStatus(503, "busy"));
    server.route("GET", "/second", Reply::ok("fine"));
    ASSERT_TRUE(client.doGet(url("/first")));
    EXPECT_EQ(client.statusCode(), 503);
    ASSERT_TRUE(client.doGet(url("/second")));
    EXPECT_EQ(client.statusCode(), 200);
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray("fine"));

    server.stopListening();
    EXPECT_FALSE(client.doGet(url("/second")));
    EXPECT_EQ(client.response(), nullptr);
    EXPECT_FALSE(client.fetchEntireMessageBody());
}

TEST_F(HttpClientTest, UnusableUrlsFailWithoutConnecting)
{
    const struct
    {
        const char* url;
        int error;
    } rows[] = {
        {"ftp://127.0.0.1/file", EPROTONOSUPPORT},
        {"rtsp://127.0.0.1/stream", EPROTONOSUPPORT},
        {"http:///no/host", EINVAL},
        {"", EPROTONOSUPPORT},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        EXPECT_FALSE(client.doGet(utils::Url(row.url)));
        EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(row.error));
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(HttpClientTls, CertificateCheckDecidesWhetherASelfSignedPeerIsTrusted)
{
    FakeHttpServer server(FakeHttpServer::Transport::tls);
    server.route("GET", "/axis-cgi/imagesize.cgi", Reply::ok("image width = 640"));
    server.requireAuth(AuthScheme::digest, "root", "pass");

    HttpClient trusting(ssl::kAcceptAnyCertificate);
    trusting.setCredentials(PasswordCredentials("root", "pass"));
    ASSERT_TRUE(trusting.doGet(utils::Url(server.url("/axis-cgi/imagesize.cgi"))));
    EXPECT_EQ(trusting.statusCode(), 200);
    EXPECT_EQ(trusting.fetchEntireMessageBody(), QByteArray("image width = 640"));
    EXPECT_EQ(server.requestCount(), 2u);

    HttpClient verifying(ssl::kDefaultCertificateCheck);
    verifying.setCredentials(PasswordCredentials("root", "pass"));
    EXPECT_FALSE(verifying.doGet(utils::Url(server.url("/axis-cgi/imagesize.cgi"))));
    EXPECT_EQ(verifying.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(EPROTO));
    EXPECT_EQ(verifying.response(), nullptr);
    EXPECT_EQ(server.requestCount(), 2u); // nothing was sent to the untrusted peer
}

TEST(HttpClientTls, BodyEndsOnlyWithAnOrderlyClose)
{
    FakeHttpServer server(FakeHttpServer::Transport::tls);
    server.route("GET", "/until-close", Reply::ok("whole").deliver(Delivery::untilClose));
    server.route("GET", "/cut", Reply::cutBody("part", 10));
    HttpClient client(ssl::kAcceptAnyCertificate);

    ASSERT_TRUE(client.doGet(utils::Url(server.url("/until-close"))));
    EXPECT_EQ(client.fetchEntireMessageBody(), QByteArray("whole"));

    ASSERT_TRUE(client.doGet(utils::Url(server.url("/cut"))));
    EXPECT_FALSE(client.fetchEntireMessageBody());
    EXPECT_EQ(client.lastSysErrorCode(), static_cast<SystemError::ErrorCode>(ECONNRESET));
}

} // namespace
} // namespace vorn::network::http
