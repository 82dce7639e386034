#include <vorn/network/http/async_client.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/testing/fake_http_server.h>
#include <vorn/utils/scaled_clock.h>

#include "aio_test_helpers.h"

namespace vorn::network::http {
namespace {

using namespace std::chrono_literals;
using aio::test::Signal;
using testing::FakeHttpServer;
using Reply = FakeHttpServer::Reply;

struct Outcome
{
    bool succeeded = false;
    int status = 0;
    std::string body;
    SystemError::ErrorCode error = 0;
    bool onClientThread = false;
};

class AsyncClientTest : public ::testing::Test
{
protected:
    AsyncClientTest()
    {
        client.setTimeouts({5000ms, 5000ms, 5000ms});
        client.addAdditionalHeader("Connection", "close");
    }

    utils::Url url(std::string_view pathAndQuery = "/") const { return utils::Url(server.url(pathAndQuery)); }

    // A completion that records the client's outcome into `signal`.
    AsyncClient::CompletionHandler recordInto(Signal<Outcome> signal)
    {
        return [this, signal]() mutable {
            Outcome outcome;
            outcome.succeeded = client.hasRequestSucceeded();
            outcome.status = client.response() ? client.response()->statusLine.statusCode : 0;
            outcome.body = client.fetchMessageBodyBuffer();
            outcome.error = client.lastSysErrorCode();
            outcome.onClientThread = client.isInSelfThread();
            signal.set(outcome);
        };
    }

    Outcome run(std::function<void(AsyncClient::CompletionHandler)> start)
    {
        Signal<Outcome> done;
        start(recordInto(done));
        EXPECT_TRUE(done.wait());
        return done.isSet() ? done.value() : Outcome();
    }

    FakeHttpServer server;
    aio::AioThread thread;
    AsyncClient client{&thread};
};

TEST_F(AsyncClientTest, EachMethodSendsItsRequestAndReportsTheReply)
{
    server.route("GET", "/LAPI/V1.0/Channels/0/Smart/Capabilities", Reply::ok(R"({"Response":{}})"));
    server.route("POST", "/LAPI/V1.0/System/Event/Subscription", Reply::ok("created"));
    server.route("PUT", "/LAPI/V1.0/System/Event/Subscription/7", Reply::ok("renewed"));
    server.route("DELETE", "/LAPI/V1.0/System/Event/Subscription/7", Reply::ok("deleted"));

    struct Row
    {
        const char* method;
        std::string path;
        std::optional<BufferSource> body;
        std::string reply;
    };
    const std::vector<Row> rows = {
        {"GET", "/LAPI/V1.0/Channels/0/Smart/Capabilities", std::nullopt, R"({"Response":{}})"},
        {"POST", "/LAPI/V1.0/System/Event/Subscription", BufferSource("application/json", R"({"Duration":1800})"),
         "created"},
        {"PUT", "/LAPI/V1.0/System/Event/Subscription/7", BufferSource("application/json", R"({"Duration":1800})"),
         "renewed"},
        {"DELETE", "/LAPI/V1.0/System/Event/Subscription/7", std::nullopt, "deleted"},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.method);
        const Outcome outcome = run([&](AsyncClient::CompletionHandler done) {
            const std::string method = row.method;
            if (method == "GET")
                client.doGet(url(row.path), std::move(done));
            else if (method == "POST")
                client.doPost(url(row.path), *row.body, std::move(done));
            else if (method == "PUT")
                client.doPut(url(row.path), *row.body, std::move(done));
            else
                client.doDelete(url(row.path), std::move(done));
        });
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_EQ(outcome.status, 200);
        EXPECT_EQ(outcome.body, row.reply);
        EXPECT_EQ(outcome.error, 0u);
        EXPECT_TRUE(outcome.onClientThread);

        ASSERT_EQ(server.requestCount(), i + 1);
        const auto request = server.requests()[i];
        EXPECT_EQ(request.method, row.method);
        EXPECT_EQ(request.path, row.path);
        EXPECT_EQ(request.header("Connection"), "close");
        if (row.body) {
            EXPECT_EQ(request.body, row.body->body);
            EXPECT_EQ(request.header("Content-Type"), row.body->contentType);
        }
    }
}

TEST_F(AsyncClientTest, FailuresEndInOneCompletionWithTheirReason)
{
    server.route("GET", "/missing", Reply::withStatus(404, "no such thing"));
    server.route("GET", "/silent", Reply::silent());
    server.route("GET", "/huge",
                 Reply::cutBody("x", AsyncClient::kMaxMessageBodySize + 1)); // declared one byte over the cap
    server.route("GET", "/cut", Reply::cutBody("half", 100));
    server.route("GET", "/garbage", [](const auto&) { return Reply::ok("{"); });

    FakeHttpServer closed;
    const std::string refusedUrl = closed.url("/");
    closed.stop();

    struct Row
    {
        const char* name;
        std::string url;
        bool response;
        int status;
        SystemError::ErrorCode error;
        std::string body;
    };
    const std::vector<Row> rows = {
        {"404 with body", server.url("/missing"), true, 404, 0, "no such thing"},
        {"silent peer", server.url("/silent"), false, 0, ETIMEDOUT, ""},
        {"body over the cap", server.url("/huge"), true, 200, EMSGSIZE, ""},
        {"body cut short", server.url("/cut"), true, 200, ECONNRESET, ""},
        {"refused", refusedUrl, false, 0, ECONNREFUSED, ""},
        {"https", "https://127.0.0.1:1/", false, 0, EPROTONOSUPPORT, ""},
        {"no host", "http:///path", false, 0, EINVAL, ""},
        {"plain 200 still succeeds", server.url("/garbage"), true, 200, 0, "{"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Only the silent peer waits for a time-out: its 5000 ms take 5 ms. The others run in real time, so a
        // loaded machine cannot turn their answers into time-outs.
        std::optional<utils::ScopedTimeScale> fast;
        if (row.error == ETIMEDOUT)
            fast.emplace(0.001);
        int calls = 0;
        Signal<Outcome> done;
        client.doGet(utils::Url(row.url), [&, inner = recordInto(done)]() mutable {
            ++calls;
            inner();
        });
        ASSERT_TRUE(done.wait());
        const Outcome outcome = done.value();
        EXPECT_EQ(outcome.succeeded, row.status == 200 && row.error == 0);
        EXPECT_EQ(outcome.status, row.response ? row.status : 0);
        EXPECT_EQ(outcome.error, row.error);
        EXPECT_EQ(outcome.body, row.body);
        EXPECT_TRUE(outcome.onClientThread);
        aio::test::drain(&thread);
        EXPECT_EQ(calls, 1);
    }
}

TEST_F(AsyncClientTest, AnswersBasicAndDigestChallenges)
{
    server.route("GET", "/LAPI/V1.0/System/Time", Reply::ok("time"));
    client.setCredentials(PasswordCredentials("admin", "p4ss:word"));
    for (auto scheme : {FakeHttpServer::AuthScheme::basic, FakeHttpServer::AuthScheme::digest}) {
        server.requireAuth(scheme, "admin", "p4ss:word");
        const std::size_t before = server.requestCount();
        const Outcome outcome = run(
            [&](AsyncClient::CompletionHandler done) { client.doGet(url("/LAPI/V1.0/System/Time"), std::move(done)); });
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_EQ(outcome.body, "time");
        EXPECT_EQ(server.requestCount(), before + 2); // the challenged try and the answer
    }
    client.setCredentials(PasswordCredentials("admin", "wrong"));
    const Outcome refused =
        run([&](AsyncClient::CompletionHandler done) { client.doGet(url("/LAPI/V1.0/System/Time"), std::move(done)); });
    EXPECT_FALSE(refused.succeeded);
    EXPECT_EQ(refused.status, 401);
}

TEST_F(AsyncClientTest, StopDestroysThePendingCompletionAndTheClientWorksAfterwards)
{
    server.route("GET", "/silent", Reply::silent());
    server.route("GET", "/ok", Reply::ok("fine"));

    // Owned by a completion: tells when the completion is destroyed.
    struct SetOnDestroy
    {
        explicit SetOnDestroy(Signal<> signal)
            : signal(std::move(signal))
        {}
        ~SetOnDestroy() { signal.set(); }
        Signal<> signal;
    };
    Signal<> destroyed;
    std::atomic<bool> called{false};
    client.doGet(url("/silent"), [&, guard = std::make_shared<SetOnDestroy>(destroyed)] { called = true; });
    ASSERT_TRUE(server.waitForRequests(1));
    client.pleaseStopSync();
    EXPECT_TRUE(destroyed.isSet()) << "the completion outlived the stop";

    // Long after the first request's time-out (5 ms on the fast clock): its completion still never runs.
    const utils::ScopedTimeScale fast(0.001);
    const Outcome outcome =
        run([&](AsyncClient::CompletionHandler done) { client.doGet(url("/silent"), std::move(done)); });
    EXPECT_EQ(outcome.error, ETIMEDOUT);
    EXPECT_FALSE(called);

    // A stop also destroys the completion of a request that a newer one ended, when it has not run yet.
    Signal<> cancelledDestroyed;
    std::atomic<bool> cancelledCalled{false};
    thread.executeSync([&] {
        client.doGet(url("/silent"),
                     [&, guard = std::make_shared<SetOnDestroy>(cancelledDestroyed)] { cancelledCalled = true; });
        client.doGet(url("/silent"), [&] { called = true; });
        client.pleaseStopSync();
        EXPECT_TRUE(cancelledDestroyed.isSet()) << "the ended request's completion outlived the stop";
    });
    aio::test::drain(&thread);
    EXPECT_FALSE(cancelledCalled);
    EXPECT_FALSE(called);

    // Stopping from inside the completion is legal and returns.
    Signal<> stoppedInside;
    client.doGet(url("/ok"), [&] {
        client.pleaseStopSync();
        stoppedInside.set();
    });
    EXPECT_TRUE(stoppedInside.wait());
}

TEST_F(AsyncClientTest, NewRequestEndsTheOneInFlightWithItsOwnCompletion)
{
    server.route("GET", "/silent", Reply::silent());
    server.route("GET", "/ok", Reply::ok("fine"));
    Signal<Outcome> first;
    Signal<Outcome> second;
    client.doGet(url("/silent"), recordInto(first));
    ASSERT_TRUE(server.waitForRequests(1));
    client.doGet(url("/ok"), recordInto(second));
    ASSERT_TRUE(first.wait());
    EXPECT_EQ(first.value().error, static_cast<SystemError::ErrorCode>(ECANCELED));
    ASSERT_TRUE(second.wait());
    EXPECT_TRUE(second.value().succeeded);
}

TEST_F(AsyncClientTest, RequestStartedByACancelledCompletionGetsItsOwnCompletion)
{
    // A retry loop: the completion of the request that a newer one ends starts another request at once.
    server.route("GET", "/silent", Reply::silent());
    server.route("GET", "/ok", Reply::ok("fine"));
    Signal<Outcome> first;
    Signal<Outcome> second;
    Signal<Outcome> retry;
    client.doGet(url("/silent"), [this, record = recordInto(first), retry]() mutable {
        record();
        client.doGet(url("/ok"), recordInto(retry));
    });
    ASSERT_TRUE(server.waitForRequests(1));
    client.doGet(url("/ok"), recordInto(second));

    ASSERT_TRUE(first.wait());
    EXPECT_EQ(first.value().error, static_cast<SystemError::ErrorCode>(ECANCELED));
    ASSERT_TRUE(retry.wait()) << "the retry's completion was lost";
    ASSERT_TRUE(second.wait());
    // The retry started last: it goes through, and the request it ended learns so.
    EXPECT_TRUE(retry.value().succeeded);
    EXPECT_EQ(retry.value().body, "fine");
    EXPECT_EQ(second.value().error, static_cast<SystemError::ErrorCode>(ECANCELED));
    EXPECT_TRUE(second.value().onClientThread);
}

TEST_F(AsyncClientTest, CompletionNeverRunsInsideTheStartingCall)
{
    Signal<> done;
    bool calledInside = true;
    thread.executeSync([&] {
        client.doGet(utils::Url("https://127.0.0.1:1/"), [done]() mutable { done.set(); });
        calledInside = done.isSet();
    });
    EXPECT_FALSE(calledInside);
    EXPECT_TRUE(done.wait());
}

} // namespace
} // namespace vorn::network::http
