// Tests of HttpStreamSocketServer seen from a client that writes the bytes of its requests by hand: the
// request time-out of a connection kept alive between requests, and the place of a connection that drains a
// refused request when a new connection needs it.
#include <vorn/network/http/http_stream_socket_server.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/network/http/message_dispatcher.h>
#include <vorn/network/http/request_handler.h>
#include <vorn/network/http/status_code.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/scaled_clock.h>

#include "raw_client.h"

namespace vorn::network::http {
namespace {

using Clock = utils::ScaledClock;
using test::postHeader;
using test::RawClient;

class HttpServerTimeoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dispatcher.registerRequestProcessorFunc("POST", "/push", [] {
            return std::make_unique<CustomRequestHandler>(
                [](RequestContext, RequestProcessedHandler done) { done(RequestResult(StatusCode::ok)); });
        });
        ASSERT_TRUE(server.bind(SocketAddress(HostAddress("127.0.0.1"), 0)));
        ASSERT_TRUE(server.listen(128));
    }

    std::uint16_t port() const { return server.address().port; }

    const std::string push = postHeader("/push", 2) + "{}";
    MessageDispatcher dispatcher;
    aio::AioThread thread;
    HttpStreamSocketServer server{&dispatcher, &thread};
};

// A request that follows an answer on a kept connection has kRequestTimeout from its first byte: the idle
// time-out is for the wait before it, and bytes that trickle in give it no more time.
TEST_F(HttpServerTimeoutTest, TheNextRequestOfAKeptConnectionMustBeCompleteInTheRequestTimeout)
{
    const utils::ScopedTimeScale fast(0.05); // kRequestTimeout takes 1 s, kIdleTimeout 6 s
    using std::chrono::seconds;
    constexpr seconds kRequest = HttpStreamSocketServer::kRequestTimeout;
    constexpr seconds kIdle = HttpStreamSocketServer::kIdleTimeout;
    // A time-out never comes early; this much late is a loaded machine, and still well before the idle
    // time-out.
    constexpr seconds kLate{60};
    static_assert(kRequest + kLate < kIdle, "a close at the idle time-out is told from a late one");
    // Between two bytes of a dripped request: far within either time-out.
    constexpr seconds kDrip{2};
    // A request that does not end within what is dripped of it before the idle time-out.
    const std::string next = "POST /push HTTP/1.1\r\nHost: camera\r\nX-Filler: " + std::string(1024, 'f');
    static_assert((kIdle + kRequest) / kDrip < 1024, "the dripped request never ends");

    struct Row
    {
        const char* name;
        std::string withTheAnswered; //< sent in the write of the request that is answered
        bool drip;                   //< after the answer, a byte of `next` every kDrip
    };
    const Row rows[] = {
        {"dripped a byte at a time after the answer", "", true},
        {"begun in the write of the one before", next.substr(0, 30), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RawClient client(port());
        ASSERT_TRUE(client.connected());
        // The time counts from the first byte of the next request, or from the answer when that byte came
        // before it: at the latest from here.
        auto start = Clock::now();
        ASSERT_TRUE(client.send(push + row.withTheAnswered));
        ASSERT_EQ(client.readStatus(), 200);
        if (row.drip)
            start = Clock::now();

        std::optional<Clock::time_point> closed;
        for (std::size_t sent = 0; !closed && Clock::now() - start < kIdle + kRequest; ++sent) {
            if (row.drip)
                client.send(std::string_view(next).substr(sent % next.size(), 1)); // fails once closed
            if (client.closedWithin(Clock::toRealDuration(kDrip)))
                closed = Clock::now();
        }
        ASSERT_TRUE(closed) << "still open past the idle time-out";
        EXPECT_GE(*closed - start, kRequest) << "closed before the request time-out";
        EXPECT_LT(*closed - start, kRequest + kLate) << "closed at the idle time-out, not at the request's";
    }
}

// A connection whose refused request the server drains before the close gives its place to a new one, as a
// stalled connection does: a peer that sends oversized requests and goes on sending their bodies does not
// keep a camera out. Every other connection waits for its answer, so the draining one is the only one that
// can make room.
TEST_F(HttpServerTimeoutTest, AConnectionDrainingARefusedRequestMakesRoomForANewOne)
{
    // However long the connections take to open on a busy machine, no time-out (the drain's neither) closes
    // the draining connection meanwhile.
    const utils::ScopedTimeScale slow(100);
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
    constexpr std::size_t kFull = HttpStreamSocketServer::kMaxConnections;

    RawClient draining(port());
    const std::string body(64 * 1024, 'b');
    ASSERT_TRUE(draining.send(postHeader("/push", HttpStreamSocketServer::kMaxRequestBodySize + 1) + body));
    ASSERT_EQ(draining.readStatus(), StatusCode::payloadTooLarge);
    ASSERT_TRUE(draining.send(body)); // the server drains what follows its answer

    std::vector<std::unique_ptr<RawClient>> waiting;
    for (std::size_t i = 0; i + 1 < kFull; ++i) {
        waiting.push_back(std::make_unique<RawClient>(port()));
        ASSERT_TRUE(waiting.back()->send(postHeader("/park", 2) + "{}"));
    }
    ASSERT_TRUE(vorn::testing::waitUntil([&] { return parkedCount() == kFull - 1; }));

    RawClient newcomer(port());
    newcomer.send(push); // fails when the server closed the connection at the accept
    EXPECT_EQ(newcomer.readStatus(), 200) << "the new connection found no room";
    draining.send("b"); // fails when the reset came already
    EXPECT_TRUE(draining.resetWithin(vorn::testing::kWaitDeadline)) << "the draining connection is still open";

    std::vector<RequestProcessedHandler> answers;
    {
        const std::lock_guard<std::mutex> lock(parkedMutex);
        answers.swap(parked);
    }
    for (RequestProcessedHandler& answer : answers)
        answer(RequestResult(StatusCode::ok));
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(waiting[i]->readStatus(), 200) << "a connection with the processor was closed";
    }
}

} // namespace
} // namespace vorn::network::http
