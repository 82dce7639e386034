// The fake camera as a client sees it over HTTP: the clock route, canned replies per method and path in
// the camera's envelope, recorded requests and the credentials challenge; the grants of its event service
// on a clock of the test's, another client's subscription, and the end of the service.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/json.hpp>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_event_service.h>
#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/network/http/http_client.h>

namespace vorn::testing {
namespace {

using vorn::network::http::HttpClient;

struct Answer
{
    int status = 0;
    boost::json::value body;
};

std::optional<Answer> get(const std::string& url, const network::http::Credentials& credentials = {})
{
    HttpClient client(network::ssl::kAcceptAnyCertificate);
    client.setCredentials(credentials);
    if (!client.doGet(utils::Url(url)))
        return std::nullopt;
    const auto body = client.fetchEntireMessageBody();
    if (!body)
        return std::nullopt;
    boost::system::error_code error;
    boost::json::value json = boost::json::parse(std::string_view(body->constData(), body->size()), error);
    return Answer{client.statusCode(), error ? boost::json::value(nullptr) : std::move(json)};
}

// One LAPI request to the camera; the "Response" of its reply.
boost::json::value lapi(const FakeUniviewCamera& camera, boost::beast::http::verb method, const std::string& path,
                        const std::string& body = "")
{
    namespace asio = boost::asio;
    namespace bhttp = boost::beast::http;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), camera.httpPort()));
    bhttp::request<bhttp::string_body> request(method, FakeUniviewCamera::kLapiPrefix + path, 11);
    request.set(bhttp::field::host, "127.0.0.1");
    request.set(bhttp::field::connection, "close");
    request.body() = body;
    request.prepare_payload();
    bhttp::write(socket, request);
    boost::beast::flat_buffer buffer;
    bhttp::response<bhttp::string_body> response;
    bhttp::read(socket, buffer, response);
    return boost::json::parse(response.body()).at("Response");
}

TEST(FakeUniviewCamera, AnswersInTheEnvelope)
{
    FakeUniviewCamera camera;
    camera.setLapiData("GET", "Channels/0/Alarm/Capabilities", R"({"MotionDetection": 1})");
    camera.setLapiError("PUT", "System/Event/Subscription/3", 60, "Not Found");

    const auto clock = get(camera.url() + "LAPI/V1.0/System/Time");
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->status, 200);
    EXPECT_EQ(clock->body.at("Response").at("ResponseCode"), 0);
    EXPECT_TRUE(clock->body.at("Response").at("Data").at("DeviceTime").is_int64());

    const auto capabilities = get(camera.url() + "LAPI/V1.0/Channels/0/Alarm/Capabilities");
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->body.at("Response").at("Data").at("MotionDetection"), 1);
    EXPECT_EQ(capabilities->body.at("Response").at("ResponseURL"), "/LAPI/V1.0/Channels/0/Alarm/Capabilities");

    const auto unknown = get(camera.url() + "LAPI/V1.0/Channels/1/Alarm/Capabilities");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);

    // A canned reply belongs to its method: a GET of the PUT's path is not routed.
    const auto otherMethod = get(camera.url() + "LAPI/V1.0/System/Event/Subscription/3");
    ASSERT_TRUE(otherMethod);
    EXPECT_EQ(otherMethod->status, 404);

    camera.setLapiReply("GET", "System/Time", FakeHttpServer::Reply::ok("plain text"));
    EXPECT_TRUE(get(camera.url() + "LAPI/V1.0/System/Time")->body.is_null());
    camera.clearLapiReply("GET", "System/Time");
    EXPECT_EQ(get(camera.url() + "LAPI/V1.0/System/Time")->body.at("Response").at("ResponseCode"), 0);

    ASSERT_EQ(camera.requests().size(), 6U);
    EXPECT_EQ(camera.requests()[1].path, "/LAPI/V1.0/Channels/0/Alarm/Capabilities");
    EXPECT_EQ(FakeUniviewCamera::envelope("a/b", 60, "Not Found", ""),
              R"({"Response":{"ResponseURL":"/LAPI/V1.0/a/b","CreatedID":-1,"ResponseCode":60,"SubResponseCode":0,)"
              R"("ResponseString":"Not Found","StatusCode":60,"StatusString":"Not Found"}})");
}

TEST(FakeUniviewCamera, AsksForCredentialsWhenTold)
{
    for (const auto scheme : {FakeHttpServer::AuthScheme::basic, FakeHttpServer::AuthScheme::digest}) {
        SCOPED_TRACE(static_cast<int>(scheme));
        FakeUniviewCamera camera;
        camera.requireAuth(scheme, "admin", "s3cret");
        EXPECT_EQ(get(camera.url() + "LAPI/V1.0/System/Time")->status, 401);
        EXPECT_EQ(get(camera.url() + "LAPI/V1.0/System/Time", {"admin", "wrong"})->status, 401);
        EXPECT_EQ(get(camera.url() + "LAPI/V1.0/System/Time", {"admin", "s3cret"})->status, 200);
    }
}

TEST(FakeEventService, GrantsRunOutOnItsClockButNotAnotherClients)
{
    using boost::beast::http::verb;
    std::atomic<std::int64_t> now{1000}; // outlives the camera, whose requests read it
    FakeUniviewCamera camera;
    FakeEventService events(camera);
    events.expireOnClock([&] { return now.load(); });
    events.setGrantSeconds(20);
    const std::string subscriptions = FakeEventService::kSubscriptionPath;

    const auto created = lapi(camera, verb::post, subscriptions, R"({"IpAddress":"127.0.0.1","Port":1,"Duration":60})");
    EXPECT_EQ(created.at("CreatedID"), 0);
    EXPECT_EQ(created.at("Data").at("CurrentTime"), 1000);
    EXPECT_EQ(created.at("Data").at("TerminationTime"), 1020);
    EXPECT_EQ(events.subscribeAsAnotherClient(), 1) << "one count of ids for all clients";

    now = 1019; // a second before the end: renewed for 20 s from here
    EXPECT_EQ(lapi(camera, verb::put, subscriptions + "/0", R"({"Duration":60})").at("Data").at("TerminationTime"),
              1039);
    now = 1038;
    EXPECT_TRUE(events.subscribers()[0].live);
    now = 1039;
    EXPECT_FALSE(events.subscribers()[0].live) << "ran out";
    EXPECT_FALSE(events.subscribers()[0].cancelled);
    EXPECT_EQ(lapi(camera, verb::put, subscriptions + "/0", R"({"Duration":60})").at("ResponseCode"), 2);
    EXPECT_EQ(lapi(camera, verb::delete_, subscriptions + "/0").at("ResponseCode"), 2);

    now = 100'000;
    EXPECT_TRUE(events.subscribers()[1].live) << "another client's subscription runs out only when its client says so";
    EXPECT_TRUE(events.push(FakeEventService::kAlarmPath, "{}").empty()) << "pushed to a client without a receiver";
    EXPECT_EQ(lapi(camera, verb::delete_, subscriptions + "/1").at("ResponseCode"), 0);
    EXPECT_TRUE(events.subscribers()[1].cancelled);
    EXPECT_FALSE(events.subscribers()[1].live);
}

// A subscribe that arrives while the event service is destroyed must not reach it: its routes call into
// the service (under the sanitizers, a handler that ran on would be a use after free).
TEST(FakeEventService, NoRequestReachesItAfterItsDestruction)
{
    FakeUniviewCamera camera;
    auto events = std::make_unique<FakeEventService>(camera);

    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), camera.httpPort()));
    const std::string body = R"({"AddressType":0,"IPAddress":"127.0.0.1","Port":1,"Duration":60})";
    const std::string request =
        std::string("POST ") + FakeUniviewCamera::kLapiPrefix + FakeEventService::kSubscriptionPath +
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\n\r\n" + body;
    // All but the last byte: the request is whole only once the service is gone.
    asio::write(socket, asio::buffer(request.data(), request.size() - 1));
    events.reset();
    boost::system::error_code error;
    asio::write(socket, asio::buffer(request.data() + request.size() - 1, 1), error);
    std::string reply;
    asio::read(socket, asio::dynamic_buffer(reply), error);
    EXPECT_EQ(reply, "") << "the request was served after the service was destroyed";
}

} // namespace
} // namespace vorn::testing
