#include <vorn/network/http/http_stream_socket_server.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/network/http/http_client.h>
#include <vorn/network/http/status_code.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/scaled_clock.h>

#include "aio_test_helpers.h"

namespace vorn::network::http {
namespace {

// The accept() calls on one listening port, the first `failures` of them failed with `error` without
// touching the backlog, as a process out of file descriptors sees them.
struct AcceptFault
{
    struct Call
    {
        std::chrono::steady_clock::time_point time;
        bool failed = false;
    };

    std::mutex mutex;       //< Guards the rest: the calls come on the server's thread.
    std::uint16_t port = 0; //< 0: no fault
    int failures = 0;
    int error = 0;
    std::vector<Call> calls;

    static AcceptFault& instance()
    {
        static AcceptFault fault;
        return fault;
    }
};

} // namespace
} // namespace vorn::network::http

// The test executable is linked with --wrap=accept: every accept() of the program comes here first.
extern "C" int __real_accept(int fd, sockaddr* address, socklen_t* length);
extern "C" int __wrap_accept(int fd, sockaddr* address, socklen_t* length)
{
    sockaddr_in local{};
    socklen_t localLength = sizeof(local);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 && local.sin_family == AF_INET) {
        auto& fault = vorn::network::http::AcceptFault::instance();
        const std::lock_guard<std::mutex> lock(fault.mutex);
        if (fault.port != 0 && fault.port == ntohs(local.sin_port)) {
            const bool fail = fault.failures > 0;
            fault.calls.push_back({std::chrono::steady_clock::now(), fail});
            if (fail) {
                --fault.failures;
                errno = fault.error;
                return -1;
            }
        }
    }
    return __real_accept(fd, address, length);
}

namespace vorn::network::http {
namespace {

using aio::test::Signal;

// Every request the processors saw, by route name.
struct Seen
{
    std::mutex mutex;
    std::vector<std::pair<std::string, RequestContext>> requests;

    void add(std::string route, RequestContext request)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        requests.emplace_back(std::move(route), std::move(request));
    }
    std::vector<std::pair<std::string, RequestContext>> all()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }
};

class HttpServerTest : public ::testing::Test
{
protected:
    static constexpr std::chrono::milliseconds kGenerousTimeout{60'000};

    void SetUp() override
    {
        ASSERT_TRUE(server.bind(SocketAddress(HostAddress("127.0.0.1"), 0)));
        ASSERT_TRUE(server.listen(128));
        ASSERT_NE(server.address().port, 0);
    }

    void route(const std::string& method, const std::string& path, const std::string& name, int status = 200)
    {
        dispatcher.registerRequestProcessorFunc(method, path, [this, name, status] {
            return std::make_unique<CustomRequestHandler>(
                [this, name, status](RequestContext request, RequestProcessedHandler done) {
                    seen.add(name, std::move(request));
                    done(RequestResult(status, name));
                });
        });
    }

    utils::Url url(const std::string& pathAndQuery) const
    {
        return utils::Url("http://127.0.0.1:" + std::to_string(server.address().port) + pathAndQuery);
    }

    // Status and body of one POST, or status 0 without a response. The time-outs are generous: a body at the
    // 16 MiB cap takes seconds to send under ThreadSanitizer on a loaded machine, past the default 10 s
    // send time-out, and no test here is about time-outs.
    std::pair<int, std::string> post(const std::string& pathAndQuery, const std::string& body = "{}")
    {
        HttpClient client(ssl::kAcceptAnyCertificate);
        client.setTimeouts({.sendTimeout = kGenerousTimeout,
                            .responseReadTimeout = kGenerousTimeout,
                            .messageBodyReadTimeout = kGenerousTimeout});
        if (!client.doPost(url(pathAndQuery), "application/json", std::string_view(body)))
            return {0, {}};
        const auto received = client.fetchEntireMessageBody();
        return {client.statusCode(), received ? received->toStdString() : std::string("<unread>")};
    }

    Seen seen;
    MessageDispatcher dispatcher;
    aio::AioThread thread;
    HttpStreamSocketServer server{&dispatcher, &thread};
};

TEST_F(HttpServerTest, RoutesByMethodAndExactDecodedPath)
{
    route("POST", "/LAPI/V1.0/System/Event/Notification/Alarm", "alarm");
    route("POST", "/LAPI/V1.0/System/Event/Notification/Structure", "structure");
    route("POST", "/with space", "space");

    struct Row
    {
        const char* name;
        std::string method;
        std::string target;
        int status;
        std::string route;
    };
    const std::vector<Row> rows = {
        {"alarm route", "POST", "/LAPI/V1.0/System/Event/Notification/Alarm", 200, "alarm"},
        {"query ignored", "POST", "/LAPI/V1.0/System/Event/Notification/Structure?x=1", 200, "structure"},
        {"encoded path decoded", "POST", "/with%20space", 200, "space"},
        {"letter case differs, no default", "POST", "/lapi/V1.0/System/Event/Notification/Alarm", 404, ""},
        {"prefix only", "POST", "/LAPI/V1.0/System/Event", 404, ""},
        {"other method", "GET", "/LAPI/V1.0/System/Event/Notification/Alarm", 404, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = seen.all().size();
        HttpClient client(ssl::kAcceptAnyCertificate);
        const bool answered = row.method == "GET" ? client.doGet(url(row.target))
                                                  : client.doPost(url(row.target), "application/json", "{}");
        ASSERT_TRUE(answered);
        EXPECT_EQ(client.statusCode(), row.status);
        const auto all = seen.all();
        if (row.route.empty()) {
            EXPECT_EQ(all.size(), before);
        } else {
            ASSERT_EQ(all.size(), before + 1);
            EXPECT_EQ(all.back().first, row.route);
            EXPECT_EQ(all.back().second.body, "{}");
            EXPECT_EQ(all.back().second.method, row.method);
            EXPECT_EQ(all.back().second.peer.address.toString(), "127.0.0.1");
        }
    }

    // The empty path is the method's catch-all; exact routes still win.
    route("POST", "", "default");
    EXPECT_EQ(post("/lapi/v1.0/anything").second, "default");
    EXPECT_EQ(post("/LAPI/V1.0/System/Event/Notification/Alarm").second, "alarm");
    // A second registration of a route keeps the first.
    EXPECT_FALSE(dispatcher.registerRequestProcessorFunc("POST", "", [] { return nullptr; }));
}

TEST_F(HttpServerTest, BodyAtTheCapIsServedOneByteMoreGets413)
{
    route("POST", "/push", "push");
    const std::size_t cap = HttpStreamSocketServer::kMaxRequestBodySize;
    EXPECT_EQ(post("/push", std::string(cap, 'a')).first, 200);
    ASSERT_EQ(seen.all().size(), 1u);
    EXPECT_EQ(seen.all()[0].second.body.size(), cap);

    const auto [status, body] = post("/push", std::string(cap + 1, 'a'));
    EXPECT_EQ(status, StatusCode::payloadTooLarge);
    EXPECT_EQ(seen.all().size(), 1u) << "the processor saw an oversized body";
}

TEST_F(HttpServerTest, AnswersWhenTheProcessorCompletesLaterOnAnotherThreadOrNever)
{
    dispatcher.registerRequestProcessorFunc("POST", "/later", [] {
        return std::make_unique<CustomRequestHandler>([](RequestContext, RequestProcessedHandler done) {
            std::thread([done = std::move(done)]() mutable { done(RequestResult(202, "later")); }).detach();
        });
    });
    dispatcher.registerRequestProcessorFunc("POST", "/dropped", [] {
        return std::make_unique<CustomRequestHandler>([](RequestContext, RequestProcessedHandler) {});
    });
    EXPECT_EQ(post("/later"), std::make_pair(202, std::string("later")));
    EXPECT_EQ(post("/dropped").first, StatusCode::internalServerError);
}

TEST_F(HttpServerTest, ProcessorMayRegisterRoutesWhileItIsDispatched)
{
    dispatcher.registerRequestProcessorFunc("POST", "/install", [this] {
        return std::make_unique<CustomRequestHandler>([this](RequestContext, RequestProcessedHandler done) {
            route("POST", "/installed", "installed");
            done(RequestResult(200));
        });
    });
    EXPECT_EQ(post("/installed").first, 404);
    EXPECT_EQ(post("/install").first, 200);
    EXPECT_EQ(post("/installed").second, "installed");
}

TEST_F(HttpServerTest, BindToAnAddressTheMachineLacksFails)
{
    MessageDispatcher other;
    HttpStreamSocketServer foreign(&other, &thread);
    EXPECT_FALSE(foreign.bind(SocketAddress(HostAddress("192.0.2.1"), 0))); // documentation range, never local
    EXPECT_EQ(foreign.lastError(), static_cast<SystemError::ErrorCode>(EADDRNOTAVAIL));
    EXPECT_FALSE(foreign.listen(128));
    EXPECT_FALSE(foreign.bind(SocketAddress(HostAddress("not-an-address"), 0)));
}

TEST_F(HttpServerTest, FailedAcceptIsTriedAgainAfterAPauseAndLoggedOnce)
{
    route("POST", "/push", "push");
    const utils::ScopedTimeScale fast(0.1); // the pauses take 10 ms each
    const std::chrono::nanoseconds pause =
        utils::ScaledClock::toRealDuration(HttpStreamSocketServer::kAcceptRetryDelay);
    utils::log::LogCapture capture(utils::log::Level::warning);
    AcceptFault& fault = AcceptFault::instance();
    {
        const std::lock_guard<std::mutex> lock(fault.mutex);
        fault.port = server.address().port;
        fault.failures = 3;
        fault.error = EMFILE;
    }
    const auto [status, body] = post("/push");
    std::vector<AcceptFault::Call> calls;
    {
        const std::lock_guard<std::mutex> lock(fault.mutex);
        fault.port = 0;
        calls = fault.calls;
        fault.calls.clear();
    }

    EXPECT_EQ(status, 200) << "the waiting connection was never taken";
    ASSERT_GE(calls.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(calls[i - 1].failed);
        EXPECT_GE(calls[i].time - calls[i - 1].time, pause) << "tried again without a pause";
    }
    EXPECT_FALSE(calls[3].failed);
    const QStringList lines = capture.logger().texts().filter("Accepting a connection");
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains(QString::fromStdString(server.address().toString()))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(SystemError::toString(EMFILE))) << lines[0].toStdString();
}

TEST_F(HttpServerTest, StopClosesTheServerAndNoProcessorRunsAfterIt)
{
    std::atomic<int> calls{0};
    dispatcher.registerRequestProcessorFunc("POST", "/count", [&] {
        return std::make_unique<CustomRequestHandler>([&](RequestContext, RequestProcessedHandler done) {
            ++calls;
            done(RequestResult(200));
        });
    });
    EXPECT_EQ(post("/count").first, 200);
    server.pleaseStopSync();
    EXPECT_EQ(post("/count").first, 0);
    EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace vorn::network::http
