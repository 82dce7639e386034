#include <vorn/vms_server_plugins/analytics/uniview/subscription.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/network/aio/aio_thread.h>
#include <vorn/network/http/http_client.h>
#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using namespace vorn::network;

constexpr char kAlarmPath[] = "/LAPI/V1.0/System/Event/Notification/Alarm";

struct Received
{
    std::mutex mutex;
    std::vector<std::pair<QString, std::string>> bodies;

    void add(const QString& path, std::string_view body)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        bodies.emplace_back(path, std::string(body));
    }
    std::vector<std::pair<QString, std::string>> all()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return bodies;
    }
};

class SubscriptionTest : public ::testing::Test
{
protected:
    int send(const std::string& method, const std::string& path, const std::string& body)
    {
        http::HttpClient client(ssl::kAcceptAnyCertificate);
        const utils::Url url("http://" + subscription->serverHost() + ":" + std::to_string(subscription->serverPort()) +
                             path);
        const bool answered =
            method == "GET" ? client.doGet(url) : client.doPost(url, "application/json", std::string_view(body));
        return answered ? client.statusCode() : 0;
    }

    aio::AioThread thread;
    std::unique_ptr<Subscription> subscription = std::make_unique<Subscription>("127.0.0.1", &thread);
    Received received;
};

TEST_F(SubscriptionTest, ListensOnTheGivenAddressWithAPortOfTheSystem)
{
    EXPECT_EQ(subscription->serverHost(), "127.0.0.1");
    EXPECT_NE(subscription->serverPort(), 0);
    EXPECT_EQ(subscription->toString(),
              QStringLiteral("id -1 expirationTime 0 listening 127.0.0.1:%1").arg(subscription->serverPort()));
    subscription->setExpirationTime(1700000000);
    EXPECT_EQ(subscription->expirationTime(), 1700000000);

    utils::AssertionCapture assertions(false);
    subscription->setId(-1);
    EXPECT_EQ(subscription->id(), -1);
    EXPECT_EQ(assertions.reports().size(), 1);
    subscription->setId(7);
    EXPECT_EQ(subscription->id(), 7);
    EXPECT_EQ(assertions.reports().size(), 1);
}

TEST_F(SubscriptionTest, RoutesPushesAndAnswersEveryOneWith200)
{
    utils::log::LogCapture capture(utils::log::Level::verbose);
    // Before the route exists, an alarm goes to the catch-all.
    EXPECT_EQ(send("POST", kAlarmPath, R"({"early":1})"), 200);
    subscription->installProcessor(kAlarmPath,
                                   [this](const QString& path, std::string_view body) { received.add(path, body); });

    struct Row
    {
        const char* name;
        std::string method;
        std::string path;
        std::string body;
        bool handled;
        std::string seen;
    };
    const std::vector<Row> rows = {
        {"control byte becomes a blank", "POST", kAlarmPath, std::string("{\"a\":\"x\x01y\"}"), true,
         "{\"a\":\"x y\"}"},
        {"tab, line feed, carriage return stay", "POST", kAlarmPath, "{\t\"a\":\r\n1}", true, "{\t\"a\":\r\n1}"},
        {"high bytes stay", "POST", kAlarmPath, "{\"a\":\"\xC3\xA9\x7F\"}", true, "{\"a\":\"\xC3\xA9\x7F\"}"},
        {"letter case differs", "POST", "/lapi/V1.0/System/Event/Notification/Alarm", "{}", false, ""},
        {"GET gets no handler", "GET", kAlarmPath, "", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = received.all().size();
        const int status = send(row.method, row.path, row.body);
        if (row.method == "POST")
            EXPECT_EQ(status, 200);
        else
            EXPECT_NE(status, 200);
        const auto all = received.all();
        ASSERT_EQ(all.size(), before + (row.handled ? 1 : 0));
        if (row.handled) {
            EXPECT_EQ(all.back().first, QString(kAlarmPath));
            EXPECT_EQ(all.back().second, row.seen);
            EXPECT_EQ(all.back().second.size(), row.body.size());
        }
    }
    const QStringList texts = capture.logger().texts();
    EXPECT_TRUE(texts.filter(QStringLiteral("Unknown incoming data on %1: {\"early\":1}").arg(kAlarmPath)).size() == 1)
        << texts.join('\n').toStdString();
    EXPECT_EQ(texts.filter("Unknown incoming data on /lapi/V1.0/").size(), 1);
}

TEST_F(SubscriptionTest, DestructionWaitsForARunningHandlerAndStopsTheReceiver)
{
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> finished{false};
    subscription->installProcessor(kAlarmPath, [&](const QString&, std::string_view) {
        entered.set_value();
        release.get_future().wait();
        finished = true;
    });
    const uint16_t port = subscription->serverPort();
    std::thread pusher([&] { send("POST", kAlarmPath, "{}"); });
    entered.get_future().wait();
    auto destroyed = std::async(std::launch::async, [&] { subscription.reset(); });
    EXPECT_EQ(destroyed.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    release.set_value();
    destroyed.get();
    EXPECT_TRUE(finished);
    pusher.join();

    http::HttpClient client(ssl::kAcceptAnyCertificate);
    EXPECT_FALSE(client.doPost(utils::Url("http://127.0.0.1:" + std::to_string(port) + kAlarmPath), "application/json",
                               std::string_view("{}")));
}

TEST(SubscriptionStart, AnAddressTheMachineLacksThrows)
{
    aio::AioThread thread;
    try {
        Subscription subscription("192.0.2.1", &thread); // documentation range, never local
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to start HTTP server: bind returned false");
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
