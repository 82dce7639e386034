#include <vorn/network/http/http_stream_socket_server.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/network/http/http_client.h>
#include <vorn/network/http/status_code.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/scaled_clock.h>

#include "aio_test_helpers.h"
#include "raw_client.h"

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
using test::postHeader;
using test::RawClient;

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

    std::uint16_t port() const { return server.address().port; }

    // A route whose answer takes far more than the kernel buffers of a client that does not read it: its
    // write stays pending.
    static constexpr std::size_t kLargeAnswer = 8 * 1024 * 1024;
    static constexpr int kSmallReceiveBuffer = 2048;
    void routeLargeAnswer()
    {
        dispatcher.registerRequestProcessorFunc("GET", "/large", [] {
            return std::make_unique<CustomRequestHandler>([](RequestContext, RequestProcessedHandler done) {
                done(RequestResult(StatusCode::ok, std::string(kLargeAnswer, 'l')));
            });
        });
    }
    // A client that asks for the large answer and does not take it, once its write is under way.
    std::unique_ptr<RawClient> notTakingItsAnswer(const char* from = "127.0.0.1")
    {
        auto client = std::make_unique<RawClient>(port(), from, kSmallReceiveBuffer);
        EXPECT_TRUE(client->send("GET /large HTTP/1.1\r\nHost: camera\r\n\r\n"));
        EXPECT_TRUE(client->receive(100)) << "no answer began";
        return client;
    }

    // Waits until the server holds nothing for unfinished requests: every connection it had is closed or
    // idle with no room beyond its small read buffer.
    bool heldBytesReturnToZero()
    {
        return vorn::testing::waitUntil([&] { return server.heldRequestBytes() == 0; });
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

TEST_F(HttpServerTest, ARequestMustBeCompleteInTimeAndAKeptConnectionWaitsLongerForTheNext)
{
    route("POST", "/push", "push");
    const utils::ScopedTimeScale fast(0.01); // kRequestTimeout takes 200 ms, kIdleTimeout 1.2 s
    using std::chrono::seconds;
    constexpr seconds kRequest = HttpStreamSocketServer::kRequestTimeout;
    constexpr seconds kIdle = HttpStreamSocketServer::kIdleTimeout;
    // A time-out never comes early; this much late is a loaded machine, and far less than the difference
    // between the two time-outs.
    constexpr seconds kLate{40};
    const std::string push = postHeader("/push", 2) + "{}";

    struct Row
    {
        const char* name;
        bool answeredFirst; //< a whole request is answered first, and the connection kept alive
        seconds pause;      //< waited before `sent`
        std::string sent;
        int status;      //< the answer to `sent`; 0: no answer, the connection closes
        seconds timeout; //< after which it closes, counted from the connect, or from the first byte of the
                         //< request that follows an answer
    };
    const std::vector<Row> rows = {
        {"silent since the accept", false, seconds(0), "", 0, kRequest},
        {"a request line, then nothing", false, seconds(0), "POST /push HTTP/1.1\r\n", 0, kRequest},
        {"the body stops halfway", false, seconds(0), postHeader("/push", 100) + std::string(50, 'a'), 0, kRequest},
        {"kept alive, no next request", true, seconds(0), "", 0, kIdle},
        {"kept alive, the next request after a pause is served", true, 2 * kRequest, push, 200, seconds(0)},
        {"kept alive, the next request stops after a pause", true, 2 * kRequest, "POST /push HTTP/1.1\r\n", 0,
         kRequest},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto start = utils::ScaledClock::now();
        RawClient client(port());
        ASSERT_TRUE(client.connected());
        if (row.answeredFirst) {
            start = utils::ScaledClock::now();
            ASSERT_TRUE(client.send(push));
            ASSERT_EQ(client.readStatus(), 200);
        }
        if (row.pause > seconds(0)) {
            const auto until = utils::ScaledClock::now() + row.pause;
            ASSERT_TRUE(vorn::testing::waitUntil([&] { return utils::ScaledClock::now() >= until; }));
        }
        if (!row.sent.empty()) {
            if (row.answeredFirst) // the time counts from the first byte of the next request
                start = utils::ScaledClock::now();
            ASSERT_TRUE(client.send(row.sent));
        }
        if (row.status != 0) {
            EXPECT_EQ(client.readStatus(), row.status);
            continue;
        }
        const auto closed = client.closedAt();
        ASSERT_TRUE(closed) << "still open";
        EXPECT_GE(*closed - start, row.timeout);
        EXPECT_LT(*closed - start, row.timeout + kLate);
    }
    EXPECT_TRUE(heldBytesReturnToZero());
}

TEST_F(HttpServerTest, ANewConnectionBeyondTheLimitClosesTheOneThatWaitedLongest)
{
    route("POST", "/push", "push");
    std::mutex parkedMutex; //< Guards `parked`, which the server's thread fills.
    std::vector<RequestProcessedHandler> parked;
    dispatcher.registerRequestProcessorFunc("POST", "/park", [&] {
        return std::make_unique<CustomRequestHandler>([&](RequestContext, RequestProcessedHandler done) {
            const std::lock_guard<std::mutex> lock(parkedMutex);
            parked.push_back(std::move(done));
        });
    });
    const auto parkedCount = [&] {
        const std::lock_guard<std::mutex> lock(parkedMutex);
        return parked.size();
    };
    routeLargeAnswer();
    const std::string push = postHeader("/push", 2) + "{}";
    const std::string park = postHeader("/park", 2) + "{}";
    constexpr int kFull = static_cast<int>(HttpStreamSocketServer::kMaxConnections);

    // The connections of a row in the order they were opened, and which of them wait for a parked answer.
    struct Clients
    {
        std::vector<std::unique_ptr<RawClient>> all;
        std::vector<bool> parked;
    };
    const auto open = [&](Clients& clients, int count) {
        for (int i = 0; i < count; ++i) {
            clients.all.push_back(std::make_unique<RawClient>(port()));
            clients.parked.push_back(false);
        }
    };
    const auto answered = [&](Clients& clients, int index) {
        ASSERT_TRUE(clients.all[index]->send(push));
        ASSERT_EQ(clients.all[index]->readStatus(), 200);
    };
    const auto parkAll = [&](Clients& clients, int count) {
        const std::size_t before = parkedCount();
        for (int i = 0; i < count; ++i) {
            clients.all.push_back(std::make_unique<RawClient>(port()));
            clients.parked.push_back(true);
            ASSERT_TRUE(clients.all.back()->send(park));
        }
        ASSERT_TRUE(vorn::testing::waitUntil([&] { return parkedCount() == before + count; }));
    };

    struct Row
    {
        const char* name;
        std::function<void(Clients&)> fill; //< opens kMaxConnections connections
        int closed;                         //< the one that makes room; -1: none, the new one is closed
    };
    const std::vector<Row> rows = {
        {"all silent: the first accepted", [&](Clients& c) { open(c, kFull); }, 0},
        {"kept alive: counted from the last answer",
         [&](Clients& c) {
             open(c, 2);
             answered(c, 1);
             answered(c, 0);
             open(c, kFull - 2);
         },
         1},
        {"being answered: passed over",
         [&](Clients& c) {
             parkAll(c, 1);
             open(c, kFull - 1);
         },
         1},
        {"all being answered: the new one is closed", [&](Clients& c) { parkAll(c, kFull); }, -1},
        {"an answer not taken, the rest with the processor: the writer",
         [&](Clients& c) {
             parkAll(c, kFull - 1);
             c.all.push_back(notTakingItsAnswer());
             c.parked.push_back(true);
         },
         kFull - 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Clients clients;
        row.fill(clients);
        ASSERT_EQ(clients.all.size(), static_cast<std::size_t>(kFull));

        RawClient newcomer(port());
        ASSERT_TRUE(newcomer.connected());
        newcomer.send(push); // may fail when the server has closed the connection
        EXPECT_EQ(newcomer.readStatus(), row.closed < 0 ? 0 : 200);
        if (row.closed >= 0) {
            EXPECT_TRUE(clients.all[row.closed]->closedAt()) << "the longest waiting is still open";
        }

        std::vector<RequestProcessedHandler> answers;
        {
            const std::lock_guard<std::mutex> lock(parkedMutex);
            answers.swap(parked);
        }
        for (RequestProcessedHandler& answer : answers)
            answer(RequestResult(StatusCode::ok));
        for (int i = 0; i < kFull; ++i) {
            if (i == row.closed)
                continue;
            SCOPED_TRACE(i);
            if (!clients.parked[i]) {
                ASSERT_TRUE(clients.all[i]->send(push));
            }
            ASSERT_EQ(clients.all[i]->readStatus(), 200) << "a connection that was not the longest waiting closed";
        }
    }
    EXPECT_TRUE(heldBytesReturnToZero());
}

TEST_F(HttpServerTest, TheBytesOfUnfinishedRequestsStayWithinTheBound)
{
    // However long the sends take on a busy machine, no request time-out runs out while the bound fills.
    const utils::ScopedTimeScale slow(100);
    // The sizes of the bodies the route got, and the room they came in.
    std::mutex bodiesMutex;
    std::vector<std::pair<std::size_t, std::size_t>> bodies;
    dispatcher.registerRequestProcessorFunc("POST", "/push", [&] {
        return std::make_unique<CustomRequestHandler>([&](RequestContext request, RequestProcessedHandler done) {
            const std::lock_guard<std::mutex> lock(bodiesMutex);
            bodies.emplace_back(request.body.size(), request.body.capacity());
            done(RequestResult(StatusCode::ok));
        });
    });
    const auto lastBody = [&] {
        const std::lock_guard<std::mutex> lock(bodiesMutex);
        return bodies.empty() ? std::make_pair(std::size_t(0), std::size_t(0)) : bodies.back();
    };
    constexpr std::size_t kCap = HttpStreamSocketServer::kMaxRequestBodySize;
    constexpr std::size_t kBound = HttpStreamSocketServer::kMaxHeldRequestBytes;

    // A declared length is not held: connections that declare a body at the cap and send 1 KiB of it hold
    // little, and the full cap still comes through beside them, without room to spare.
    {
        std::vector<std::unique_ptr<RawClient>> stalled;
        for (std::size_t i = 0; i + 4 < HttpStreamSocketServer::kMaxConnections; ++i) {
            stalled.push_back(std::make_unique<RawClient>(port()));
            ASSERT_TRUE(stalled.back()->send(postHeader("/push", kCap) + std::string(1024, 'a')));
        }
        ASSERT_TRUE(vorn::testing::waitUntil([&] { return server.heldRequestBytes() >= stalled.size() * 1024; }));
        const std::size_t held = server.heldRequestBytes();
        EXPECT_LT(held, stalled.size() * 256 * 1024);

        EXPECT_EQ(post("/push", std::string(kCap, 'b')).first, 200);
        EXPECT_EQ(lastBody(), std::make_pair(kCap, kCap));
        EXPECT_GE(server.heldRequestBytes(), held) << "a stalled connection was closed";
    }
    ASSERT_TRUE(heldBytesReturnToZero()) << "the count kept the bytes of closed connections";

    // What bodies received so far hold is bounded: with three bodies a byte short of the cap held, a push
    // that fits in what large bodies may still take is served, and one that would take them past it is
    // closed. Once a fourth has taken all but a little of what large bodies may take, a fifth that would
    // take what is kept for small requests is closed, a push without pictures still comes through, and a
    // larger one does not.
    constexpr std::size_t kLargeBodies = kBound - HttpStreamSocketServer::kHeldBytesKeptForSmallRequests;
    std::vector<std::unique_ptr<RawClient>> stalled;
    const auto stall = [&](std::size_t size) {
        stalled.push_back(std::make_unique<RawClient>(port()));
        return stalled.back()->send(postHeader("/push", kCap) + std::string(size, 'c'));
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stall(kCap - 1));
    // A body's room reaches the cap once more than half of it has come, so the three rooms are whole when the
    // count shows them: the rest of the bytes fill them without a growth.
    ASSERT_TRUE(vorn::testing::waitUntil([&] { return server.heldRequestBytes() >= 3 * (kCap - 1); }))
        << server.heldRequestBytes();
    const std::size_t heldByThree = server.heldRequestBytes();
    std::size_t heldByStalled = heldByThree;
    struct Row
    {
        const char* name;
        bool largeBodiesFull; //< the fourth and the fifth body have come
        std::size_t size;
        int status;
    };
    const Row rows[] = {
        {"fits in what large bodies may take", false, kCap / 2, 200},
        {"would take large bodies past it", false, kCap, 0},
        {"a push without pictures while large bodies hold what they may", true,
         HttpStreamSocketServer::kMaxSmallBodySize, 200},
        {"a larger push then", true, 1024 * 1024, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.largeBodiesFull && stalled.size() == 3) {
            const std::size_t rest = kLargeBodies - heldByThree - 512 * 1024;
            ASSERT_TRUE(stall(rest));
            heldByStalled = heldByThree + rest;
            ASSERT_TRUE(vorn::testing::waitUntil([&] { return server.heldRequestBytes() >= heldByStalled; }));
            const std::size_t held = server.heldRequestBytes();
            ASSERT_LT(held + 96 * 1024, kBound) << "the fourth body took what is kept for small requests";
            stall(kBound - held - 96 * 1024); // the server closes it on the way
            EXPECT_TRUE(stalled.back()->closedAt()) << "a large body took what is kept for small requests";
        }
        EXPECT_EQ(post("/push", std::string(row.size, 'd')).first, row.status);
        if (row.status == 200) {
            EXPECT_EQ(lastBody(), std::make_pair(row.size, row.size)) << "got in another room than its own";
        }
        EXPECT_LE(server.heldRequestBytes(), kBound);
        EXPECT_GE(server.heldRequestBytes(), heldByStalled) << "a stalled connection was closed";
    }
    stalled.clear();
    ASSERT_TRUE(heldBytesReturnToZero()) << "the count kept the bytes of closed connections";
    EXPECT_EQ(post("/push", std::string(kCap, 'e')).first, 200) << "the bound is not free again";
}

TEST_F(HttpServerTest, AnAnswerTheClientDoesNotTakeIsDroppedAtTheRequestTimeout)
{
    routeLargeAnswer();
    const utils::ScopedTimeScale fast(0.05); // kRequestTimeout takes 1 s, kIdleTimeout 6 s
    constexpr std::chrono::seconds kRequest = HttpStreamSocketServer::kRequestTimeout;
    const auto start = utils::ScaledClock::now();
    const std::unique_ptr<RawClient> client = notTakingItsAnswer();
    const auto until = start + kRequest + std::chrono::seconds(20);
    ASSERT_TRUE(vorn::testing::waitUntil([&] { return utils::ScaledClock::now() >= until; }));
    // Still within the idle time-out, which a write waited for before: the answer was cut off at the close,
    // not taken whole.
    const std::optional<std::size_t> received = client->bytesUntilClosed();
    ASSERT_TRUE(received) << "still open";
    EXPECT_LT(*received, kLargeAnswer);
    EXPECT_LT(utils::ScaledClock::now() - start, HttpStreamSocketServer::kIdleTimeout)
        << "the write waited for the idle time-out";
    EXPECT_TRUE(heldBytesReturnToZero());
}

// A peer that opens connection after connection from its own address takes the places of its own: the
// camera's connection kept alive between pushes, and its push that comes in pieces meanwhile, stay.
TEST_F(HttpServerTest, ANewConnectionTakesThePlaceOfOneOfTheAddressWithTheMost)
{
    route("POST", "/push", "push");
    constexpr std::size_t kFull = HttpStreamSocketServer::kMaxConnections;
    const std::string push = postHeader("/push", 2) + "{}";
    struct Row
    {
        const char* name;
        const char* peer; //< where the flood comes from
        bool cameraKept;  //< the camera's connections stay open
    };
    const Row rows[] = {
        {"a peer at another address", "127.0.0.2", true},
        {"the camera's own address", "127.0.0.1", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RawClient kept(port());
        ASSERT_TRUE(kept.send(push));
        ASSERT_EQ(kept.readStatus(), 200);

        std::vector<std::unique_ptr<RawClient>> flood;
        for (std::size_t i = 0; i + 1 < kFull; ++i)
            flood.push_back(std::make_unique<RawClient>(port(), row.peer));
        RawClient inPieces(port());
        ASSERT_TRUE(inPieces.send(postHeader("/push", 2) + "{"));
        for (std::size_t i = 0; i < 3 * kFull; ++i)
            flood.push_back(std::make_unique<RawClient>(port(), row.peer));
        // The last one is served once every one before it was accepted.
        ASSERT_TRUE(flood.back()->send(push));
        ASSERT_EQ(flood.back()->readStatus(), 200);
        ASSERT_TRUE(flood.front()->closedAt()) << "the flood's oldest is still open";

        inPieces.send("}"); // may fail when the server has closed the connection
        EXPECT_EQ(inPieces.readStatus(), row.cameraKept ? 200 : 0);
        ASSERT_TRUE(kept.send(push) || !row.cameraKept);
        EXPECT_EQ(kept.readStatus(), row.cameraKept ? 200 : 0);
        flood.clear();
        kept.close();
        inPieces.close();
        EXPECT_TRUE(heldBytesReturnToZero());
    }
}

// A peer that fills the bound of held bytes with stalled requests gives up its room to another address that
// needs it, not to one of its own.
TEST_F(HttpServerTest, RoomForARequestIsTakenFromTheAddressThatHoldsTheMost)
{
    route("POST", "/push", "push");
    // However long the sends take on a busy machine, no request time-out runs out while the bound fills.
    const utils::ScopedTimeScale slow(100);
    constexpr std::size_t kCap = HttpStreamSocketServer::kMaxRequestBodySize;
    constexpr std::size_t kBound = HttpStreamSocketServer::kMaxHeldRequestBytes;
    const std::string cap(kCap, 'c');

    // Large bodies, which have all their room once the count holds them (their last bytes may still be on
    // the way), then headers of many small fields that wait for their bodies, each as large as still fits,
    // until not even the smallest one does.
    std::vector<std::unique_ptr<RawClient>> stalled;
    // Until the server has taken in every byte sent: each has reached the server's socket, and the count
    // stays the same over turns of the server's thread (a read that starts takes what its socket has waiting;
    // one that waits for its socket to be ready is woken on the next turn).
    const auto settle = [&] {
        ASSERT_TRUE(vorn::testing::waitUntil([&] {
            return std::all_of(stalled.begin(), stalled.end(), [](const auto& c) { return c->delivered(); });
        }));
        for (int unchanged = 0; unchanged < 3;) {
            const std::size_t last = server.heldRequestBytes();
            server.executeInAioThreadSync([] {});
            unchanged = server.heldRequestBytes() == last ? unchanged + 1 : 0;
        }
    };
    const auto fill = [&](const char* from) {
        const auto stall = [&](std::size_t size) {
            stalled.push_back(std::make_unique<RawClient>(port(), from));
            return stalled.back()->send(postHeader("/push", kCap)) &&
                   stalled.back()->send(std::string_view(cap).substr(0, size));
        };
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(stall(kCap - 1));
        ASSERT_TRUE(vorn::testing::waitUntil([&] { return server.heldRequestBytes() >= 3 * (kCap - 1); }));
        // Until every header held stays held: one whose last bytes came after the server was taken for
        // settled may still be refused, and its room is filled again.
        for (bool refilled = true; refilled;) {
            for (std::size_t fields = 8000; fields > 0;) {
                std::string header = "POST /push HTTP/1.1\r\nContent-Length: 100\r\n";
                for (std::size_t i = 0; i < fields; ++i)
                    header += "X" + std::to_string(i % 100) + ": v\r\n";
                header += "\r\n";
                const std::size_t before = server.heldRequestBytes();
                auto client = std::make_unique<RawClient>(port(), from);
                client->send(header);
                // Accepted (its first read takes room) or refused at once; then the whole header read.
                ASSERT_TRUE(vorn::testing::waitUntil(
                    [&] { return client->isClosed() || server.heldRequestBytes() > before; }));
                ASSERT_TRUE(vorn::testing::waitUntil([&] { return client->isClosed() || client->delivered(); }));
                settle();
                if (client->isClosed())
                    fields /= 2;
                else
                    stalled.push_back(std::move(client));
            }
            settle();
            refilled = std::erase_if(stalled, [](const auto& client) { return client->isClosed(); }) > 0;
        }
    };

    struct Row
    {
        const char* name;
        const char* peer; //< where the stalled requests come from
        std::size_t push; //< the body of the push from 127.0.0.1 then
        int status;
    };
    const Row rows[] = {
        {"an alarm beside a peer at another address", "127.0.0.2", 200, 200},
        {"a push with pictures beside it", "127.0.0.2", 1024 * 1024, 200},
        {"an alarm beside stalled requests of its own address", "127.0.0.1", 200, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fill(row.peer);
        const std::size_t full = server.heldRequestBytes();
        ASSERT_LE(full, kBound);
        EXPECT_EQ(post("/push", std::string(row.push, 'p')).first, row.status);
        EXPECT_LE(server.heldRequestBytes(), kBound);
        if (row.status == 200) {
            EXPECT_LT(server.heldRequestBytes(), full) << "no stalled request of the peer was closed";
        }
        stalled.clear();
        ASSERT_TRUE(heldBytesReturnToZero());
    }
}

// The servers of a process (the receivers of its cameras) hold no more than one bound beyond what each keeps
// for itself, whatever a peer that finds all their ports sends, and each still serves its camera.
TEST(HttpServerProcessTest, TheServersOfAProcessShareOneBoundAndEachServesItsCamera)
{
    const utils::ScopedTimeScale slow(100); // no request time-out runs out while the bound fills
    constexpr std::size_t kCap = HttpStreamSocketServer::kMaxRequestBodySize;
    constexpr std::size_t kProcessBound = HttpStreamSocketServer::kMaxProcessHeldRequestBytes;
    constexpr std::size_t kKept = HttpStreamSocketServer::kHeldBytesKeptPerServer;
    // Enough servers that three stalled bodies on each would pass the process's bound.
    constexpr std::size_t kServers = kProcessBound / (3 * kCap) + 1;
    const std::string cap(kCap - 1, 'c');

    struct Receiver
    {
        explicit Receiver(aio::AbstractAioThread* thread)
            : server(&dispatcher, thread)
        {
            dispatcher.registerRequestProcessorFunc("POST", "/push", [] {
                return std::make_unique<CustomRequestHandler>(
                    [](RequestContext, RequestProcessedHandler done) { done(RequestResult(StatusCode::ok)); });
            });
        }
        MessageDispatcher dispatcher;
        HttpStreamSocketServer server;
    };
    aio::AioThread threads[2];
    std::vector<std::unique_ptr<Receiver>> receivers;
    std::vector<std::unique_ptr<RawClient>> stalled;
    for (std::size_t i = 0; i < kServers; ++i) {
        receivers.push_back(std::make_unique<Receiver>(&threads[i % 2]));
        ASSERT_TRUE(receivers.back()->server.bind(SocketAddress(HostAddress("127.0.0.1"), 0)));
        ASSERT_TRUE(receivers.back()->server.listen(128));
        for (int j = 0; j < 3; ++j) {
            stalled.push_back(std::make_unique<RawClient>(receivers.back()->server.address().port, "127.0.0.2"));
            // The server closes it on the way once the process's bound is reached.
            if (stalled.back()->send(postHeader("/push", kCap)))
                stalled.back()->send(cap);
        }
    }
    const auto heldByAll = [&] {
        std::size_t held = 0;
        for (const auto& receiver : receivers)
            held += receiver->server.heldRequestBytes();
        return held;
    };
    // Every stalled body is in, or its connection closed.
    ASSERT_TRUE(vorn::testing::waitUntil([&] {
        return HttpStreamSocketServer::processHeldRequestBytes() + kCap > kProcessBound;
    })) << HttpStreamSocketServer::processHeldRequestBytes();
    EXPECT_LE(HttpStreamSocketServer::processHeldRequestBytes(), kProcessBound);
    EXPECT_LE(heldByAll(), kProcessBound + kServers * kKept);

    for (std::size_t i = 0; i < receivers.size(); ++i) {
        SCOPED_TRACE("server " + std::to_string(i));
        for (const std::size_t size : {std::size_t(200), std::size_t(1024 * 1024)}) {
            HttpClient client(ssl::kAcceptAnyCertificate);
            const std::string body(size, 'p');
            const auto address = receivers[i]->server.address();
            ASSERT_TRUE(client.doPost(utils::Url("http://127.0.0.1:" + std::to_string(address.port) + "/push"),
                                      "application/json", std::string_view(body)));
            EXPECT_EQ(client.statusCode(), 200);
        }
        EXPECT_LE(HttpStreamSocketServer::processHeldRequestBytes(), kProcessBound);
    }
    stalled.clear();
    ASSERT_TRUE(vorn::testing::waitUntil([&] { return heldByAll() == 0; }));
    EXPECT_EQ(HttpStreamSocketServer::processHeldRequestBytes(), 0u);
}

} // namespace
} // namespace vorn::network::http
