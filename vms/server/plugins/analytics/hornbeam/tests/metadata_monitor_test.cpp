#include <vorn/vms_server_plugins/analytics/uniview/metadata_monitor.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/kit/json.h>
#include <vorn/testing/annexb_builder.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/monotonic_time.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server/compressed_video_packet.h>

#include "agent_test_support.h"

namespace hornbeam_test {
namespace {

using vorn::testing::FakeEventService;
using vorn::vms_server::ReceivedDiagnostic;
using Json = vorn::kit::detail::json11::Json;
using Failure = FakeEventService::Failure;

using vorn::testing::waitUntil;

std::vector<std::string> diagnosticCaptions(const vorn::vms_server::MetadataReceiver& receiver)
{
    std::vector<std::string> captions;
    for (const ReceivedDiagnostic& diagnostic : recordsOf<ReceivedDiagnostic>(receiver))
        captions.push_back(diagnostic.caption);
    return captions;
}

bool hasDiagnostic(const vorn::vms_server::MetadataReceiver& receiver, const std::string& caption)
{
    const auto captions = diagnosticCaptions(receiver);
    return std::find(captions.begin(), captions.end(), caption) != captions.end();
}

// The id of the subscription the monitor holds (from its log tag, "<device> Sub <id>"), -1 while it holds
// none. On a fast clock a subscribe may time out on our side after the camera made it, leaving a
// subscription at the camera that nobody knows: a test that acts on the monitor's subscription takes this
// one, not the first the camera lists.
int monitorSubscriptionId(const AgentFixture& fixture)
{
    const std::string tag = fixture.agent->monitor()->logTagSuffix().toStdString();
    const std::string marker = " Sub ";
    const auto at = tag.rfind(marker);
    if (at == std::string::npos || tag.compare(at + marker.size(), std::string::npos, "N/A") == 0)
        return -1;
    return std::stoi(tag.substr(at + marker.size()));
}

// Waits until the monitor holds a subscription the camera has live; its id, or -1 when none came in time.
int waitForTheMonitorsSubscription(const AgentFixture& fixture)
{
    int id = -1;
    const bool held = waitUntil([&] {
        id = monitorSubscriptionId(fixture);
        const auto live = fixture.events.liveSubscribers();
        return id >= 0 && std::any_of(live.begin(), live.end(), [id](const auto& s) { return s.id == id; });
    });
    return held ? id : -1;
}

// The monitor's clock in seconds: a camera whose grants run out on it (FakeEventService::expireOnClock)
// keeps time with the monitor, frozen or scaled.
int64_t serverSeconds()
{
    return scaledServerTimeMs() / 1000;
}

void advance(vorn::utils::FakeMonotonicTime& clock, int serverSeconds)
{
    clock.advance(vorn::utils::ScaledClock::toRealDuration(std::chrono::seconds(serverSeconds)));
}

// The subscription with this id that the camera made last (ids start again after a restart); id -1 when
// there is none.
FakeEventService::Subscriber subscriberOf(const std::vector<FakeEventService::Subscriber>& all, int id)
{
    FakeEventService::Subscriber found;
    found.id = -1;
    for (const auto& subscriber : all)
        found = subscriber.id == id ? subscriber : found;
    return found;
}

FakeEventService::Subscriber subscriberOf(const AgentFixture& fixture, int id)
{
    return subscriberOf(fixture.events.subscribers(), id);
}

// Waits until the camera has renewed the subscription with this id `count` more times.
bool waitForRenewals(const AgentFixture& fixture, int id, int count)
{
    const int renewals = subscriberOf(fixture, id).renewals;
    return fixture.events.waitUntil(
        [&](const auto& all) { return subscriberOf(all, id).renewals >= renewals + count; });
}

// Waits until the camera has taken a cancel of the subscription with this id.
bool waitForCancelled(const AgentFixture& fixture, int id)
{
    return fixture.events.waitUntil([&](const auto& all) { return subscriberOf(all, id).cancelled; });
}

// The cancels of an id that reached the camera, from its request number `from` on.
int cancelsAtTheCamera(const AgentFixture& fixture, int id, std::size_t from = 0)
{
    const std::string path = std::string("/LAPI/V1.0/System/Event/Subscription/") + std::to_string(id);
    const auto requests = fixture.camera.requests();
    return static_cast<int>(std::count_if(requests.begin() + static_cast<std::ptrdiff_t>(from), requests.end(),
                                          [&](const auto& r) { return r.method == "DELETE" && r.path == path; }));
}

TEST(MetadataMonitorArithmetic, ExpirationFollowsTheCamerasRemainingLifetimeWithinWhatWasAsked)
{
    struct Row
    {
        const char* name;
        std::string data; //< "Response"."Data" as JSON text; empty: no "Response" at all
        int64_t lifetime;
    };
    const int64_t now = 1'700'000'000;
    const int64_t asked = uniview::MetadataMonitor::kSubscriptionDuration;
    const auto times = [](const std::string& current, const std::string& termination) {
        return R"({"CurrentTime":)" + current + R"(,"TerminationTime":)" + termination + "}";
    };
    const std::vector<Row> rows = {
        {"camera clock an hour behind", times("1699996400", "1699998200"), 1800},
        {"a short grant", times("1700000000", "1700000030"), 30},
        {"fractions dropped", times("100.9", "130.2"), 30},
        {"the shortest grant", times("5", "6"), 1},
        {"no time left", times("5", "5"), asked},
        {"ends before it starts", times("5", "4"), asked},
        {"all that was asked", times("5", std::to_string(5 + asked)), asked},
        {"more than was asked", times("5", std::to_string(6 + asked)), asked},
        {"camera times across 2^31", times("2147483000", "2147484200"), 1200},
        {"camera times after 2100", times("4102444800", "4102445400"), 600},
        {"times at the limit", times("9007199254740892", "9007199254740992"), 100},
        {"a time past the limit", times("9007199254740892", "9007199254740994"), asked},
        {"huge times", times("-1e300", "1e300"), asked},
        {"no CurrentTime", R"({"TerminationTime":1800})", asked},
        // A missing time read as 0 would make these grants of 30 s.
        {"no CurrentTime, a TerminationTime within the grant", R"({"TerminationTime":30})", asked},
        {"CurrentTime null", R"({"CurrentTime":null,"TerminationTime":30})", asked},
        {"no TerminationTime", R"({"CurrentTime":0})", asked},
        {"no TerminationTime, a CurrentTime below zero", R"({"CurrentTime":-30})", asked},
        {"times as texts", times(R"("0")", R"("30")"), asked},
        {"Data not an object", "[1,2]", asked},
        {"no Response", "", asked},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string reply = row.data.empty() ? "{}" : R"({"Response":{"Data":)" + row.data + "}}";
        std::string error;
        const Json json = Json::parse(reply, error);
        ASSERT_TRUE(json.is_object()) << error;
        EXPECT_EQ(uniview::MetadataMonitor::grantedLifetime(json).count(), row.lifetime);
        EXPECT_EQ(uniview::MetadataMonitor::expirationTimeFromResponse(json, now), now + row.lifetime);
    }
}

TEST(MetadataMonitorArithmetic, RenewalDelayHasAFloorForShortGrants)
{
    struct Row
    {
        int64_t grant;
        int64_t delay;
    };
    // Long grants renew 60 s before they end; 120 s or less after half the rest, never sooner than 1 s.
    const std::vector<Row> rows = {{1800, 1740}, {121, 61}, {120, 60}, {30, 15}, {3, 1}, {1, 1}, {0, 1}, {-30, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.grant);
        EXPECT_EQ(uniview::MetadataMonitor::renewDelay(1000 + row.grant, 1000).count(), row.delay);
    }
}

class MetadataMonitorTest : public ::testing::Test
{
protected:
    MetadataMonitorTest() { fixture.createAgent(); }

    // 5 s retries in 250 ms, and the client's 5 s time-outs too. A request that outlasts its time-out is a
    // failure the monitor retries, but a best-effort cancel is sent once, and a subscribe that times out on
    // our side after the camera made it leaves a subscription nobody knows: the time-outs must outlast a
    // request under ThreadSanitizer on a loaded machine, which 50 ms (a scale of 0.01) did not.
    const vorn::utils::ScopedTimeScale fast{0.05};
    AgentFixture fixture;
};

TEST_F(MetadataMonitorTest, RenewsBeforeExpiryWhateverTheCamerasClockSays)
{
    fixture.events.setClockOffsetSeconds(-3600);
    fixture.events.setGrantSeconds(130); // renewed after 70 s: 3.5 s here
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    EXPECT_TRUE(fixture.events.waitUntil([](const auto& all) {
        return std::any_of(all.begin(), all.end(), [](const auto& s) { return s.live && s.renewals >= 1; });
    }));
    EXPECT_FALSE(hasDiagnostic(*fixture.receiver, "Event subscription lost"));
}

TEST_F(MetadataMonitorTest, EachRenewalIsDecidedOnOneReadingOfTheClock)
{
    // A server clock that moves on a second at every reading: an expiration time and a renewal delay taken
    // from two readings would put the renewal a second early.
    const auto clockMs = std::make_shared<std::atomic<int64_t>>(kStartMs);
    fixture.pluginWithClock.hostServices->setClock([clockMs] { return *clockMs += 1000; });
    fixture.events.setGrantSeconds(20); // renewed after 10 s: 500 ms here
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    fixture.select({"vorn.uniview.Motion"});
    // Two renewals at the camera: the subscribe's decision and the first renewal's are both written.
    ASSERT_TRUE(fixture.events.waitUntil([](const auto& all) {
        return std::any_of(all.begin(), all.end(), [](const auto& s) { return s.live && s.renewals >= 2; });
    }));
    const QStringList texts = capture.logger().texts();
    EXPECT_GE(texts.filter("Scheduling renew in 10 seconds").size(), 2) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts.filter("Scheduling renew in 9 seconds").isEmpty()) << texts.join('\n').toStdString();
}

TEST_F(MetadataMonitorTest, ARenewalThatGrantsLessIsRenewedAgainBeforeTheNewGrantEnds)
{
    // The camera's grants run out on the monitor's clock (scaled, running). It grants 130 s at the
    // subscribe (renewed after 70 s: 3.5 s here), then only 60 s: the next renewal is due after 30 s
    // (1.5 s here); one scheduled from the subscribe's grant would come 70 s on, after the camera has
    // dropped the subscription.
    fixture.events.expireOnClock(&serverSeconds);
    fixture.events.setGrantSeconds(130);
    fixture.select({"vorn.uniview.Motion"});
    const int id = waitForTheMonitorsSubscription(fixture);
    ASSERT_GE(id, 0);
    fixture.events.setGrantSeconds(60);
    const auto renewedTwiceOrEnded = [id](const auto& all) {
        const auto subscriber = subscriberOf(all, id);
        return subscriber.renewals >= 2 || !subscriber.live;
    };
    ASSERT_TRUE(fixture.events.waitUntil(renewedTwiceOrEnded, std::chrono::seconds(20)));
    const auto subscriber = subscriberOf(fixture, id);
    EXPECT_TRUE(subscriber.live) << "the camera dropped the subscription before its renewal";
    EXPECT_GE(subscriber.renewals, 2);
    EXPECT_FALSE(hasDiagnostic(*fixture.receiver, "Event subscription lost"));
}

TEST_F(MetadataMonitorTest, FailedSubscribesAreRetriedAndTheFirstSuccessIsReported)
{
    struct Row
    {
        const char* name;
        Failure failure;
    };
    const std::vector<Row> rows = {
        {"4xx", Failure::clientError}, {"5xx", Failure::serverError},  {"closed", Failure::close},
        {"stall", Failure::stall},     {"not JSON", Failure::notJson}, {"ResponseCode", Failure::responseCode},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AgentFixture local;
        local.createAgent();
        local.events.setSubscribeFailure(row.failure);
        local.select({"vorn.uniview.Motion"});
        EXPECT_TRUE(local.events.liveSubscribers().empty());
        EXPECT_TRUE(local.agent->monitor()->logTagSuffix().endsWith(" Sub N/A"))
            << "the monitor holds a subscription the camera refused: "
            << local.agent->monitor()->logTagSuffix().toStdString();
        EXPECT_FALSE(hasDiagnostic(*local.receiver, "Event subscription recovered"));
        local.events.setSubscribeFailure(Failure::none);
        EXPECT_TRUE(local.events.waitForLiveSubscriptions(1));
        EXPECT_TRUE(waitUntil([&] { return hasDiagnostic(*local.receiver, "Event subscription recovered"); }));
    }
}

TEST_F(MetadataMonitorTest, AReceiverThatCannotBindIsReportedAndTriedAgain)
{
    struct BindFailure
    {
        BindFailure() { uniview::Subscription::setBindFailureForTests(true); }
        ~BindFailure() { uniview::Subscription::setBindFailureForTests(false); }
    };
    auto bindFailure = std::make_unique<BindFailure>();
    fixture.select({"vorn.uniview.Motion"});
    const auto diagnostics = recordsOf<ReceivedDiagnostic>(*fixture.receiver);
    ASSERT_GE(diagnostics.size(), 1u); // retries (every 250 ms here) fail the same way
    EXPECT_EQ(diagnostics[0].level, 2) << "an error";
    EXPECT_EQ(diagnostics[0].caption, "Event subscription");
    EXPECT_EQ(diagnostics[0].description, "Unable to start HTTP server: bind returned false");
    EXPECT_TRUE(fixture.agent->monitor()->logTagSuffix().endsWith(" Sub N/A"));
    EXPECT_TRUE(fixture.events.subscribers().empty()) << "subscribed without a receiver";

    bindFailure.reset();
    EXPECT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    EXPECT_TRUE(waitUntil([&] { return hasDiagnostic(*fixture.receiver, "Event subscription recovered"); }));
}

TEST_F(MetadataMonitorTest, CameraRestartLosesTheSubscriptionAndANewOneIsMade)
{
    fixture.events.setGrantSeconds(20); // renewed every 10 s: 500 ms here
    fixture.select({"vorn.uniview.Motion"});
    // The restart must come after the monitor has its subscription, or there is nothing to lose.
    const int firstId = waitForTheMonitorsSubscription(fixture);
    ASSERT_GE(firstId, 0);
    int firstPort = 0;
    for (const auto& subscriber : fixture.events.liveSubscribers())
        firstPort = subscriber.id == firstId ? subscriber.port : firstPort;
    fixture.events.restart(); // renewals of the old id now fail

    EXPECT_TRUE(waitUntil([&] { return hasDiagnostic(*fixture.receiver, "Event subscription lost"); }));
    EXPECT_TRUE(waitUntil([&] { return hasDiagnostic(*fixture.receiver, "Event subscription recovered"); }));
    EXPECT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    for (const ReceivedDiagnostic& diagnostic : recordsOf<ReceivedDiagnostic>(*fixture.receiver)) {
        EXPECT_EQ(diagnostic.level, 1);
        if (diagnostic.caption == "Event subscription lost")
            EXPECT_EQ(diagnostic.description, "Cannot renew analytic events subscription after 10 retries");
        else
            EXPECT_EQ(diagnostic.description, "Successfully resubscribed to analytic events");
    }
    EXPECT_NE(fixture.events.liveSubscribers()[0].port, firstPort) << "the new subscription has a new receiver";
}

TEST_F(MetadataMonitorTest, LostSubscriptionIsCancelledOnceTheNewOneIsInPlace)
{
    // The clock stands still (the timers run): the loss comes while the lost subscription's grant runs, as
    // a grant of 1800 s still runs 10 s when the eleventh step gives it up.
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
    fixture.events.setGrantSeconds(20);
    fixture.select({"vorn.uniview.Motion"});
    const int lostId = waitForTheMonitorsSubscription(fixture);
    ASSERT_GE(lostId, 0);
    fixture.events.setRenewFailure(Failure::serverError); // the camera keeps the subscription but renews nothing
    EXPECT_TRUE(waitUntil([&] { return hasDiagnostic(*fixture.receiver, "Event subscription recovered"); }));
    fixture.events.setRenewFailure(Failure::none);
    EXPECT_TRUE(fixture.events.waitUntil([lostId](const auto& all) {
        const bool lostGone =
            std::any_of(all.begin(), all.end(), [&](const auto& s) { return s.id == lostId && !s.live; });
        return lostGone && all.back().id != lostId && all.back().live;
    })) << "the lost subscription still holds a slot";
}

TEST_F(MetadataMonitorTest, ReselectionReplacesAndCancelsTheOldSubscription)
{
    fixture.events.setSlotLimit(1); // the camera has one slot: the old one must go for the retry to succeed
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    const int firstId = fixture.events.liveSubscribers()[0].id;
    fixture.select({"vorn.uniview.Motion", "vorn.uniview.Tamper"});
    EXPECT_TRUE(fixture.events.waitUntil([firstId](const auto& all) {
        int live = 0;
        bool firstGone = false;
        for (const auto& subscriber : all) {
            live += subscriber.live ? 1 : 0;
            firstGone |= subscriber.id == firstId && !subscriber.live;
        }
        return live == 1 && firstGone && all.size() >= 2;
    }));
}

TEST_F(MetadataMonitorTest, AFailedCancelIsTriedAgainAtALaterExchangeWithTheCamera)
{
    struct Row
    {
        const char* name;
        bool cameraRecovers; //< answers the cancels again after the first failure
    };
    const std::vector<Row> rows = {{"500 for a while", true}, {"500 for good", false}};
    // The clock stands still (the timers run): the replaced subscription's grant runs through every try.
    const vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AgentFixture local;
        local.createAgent();
        local.events.setGrantSeconds(20); // renewed every 10 s (500 ms here): the renewals prove the camera kept it
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::debug);
        local.select({"vorn.uniview.Motion"});
        const int replacedId = waitForTheMonitorsSubscription(local);
        ASSERT_GE(replacedId, 0);
        local.events.setCancelFailure(Failure::serverError);
        local.select({"vorn.uniview.Motion", "vorn.uniview.Tamper"}); // replaces it
        const QString failed = QStringLiteral("Subscription cancel for id %1 failed").arg(replacedId);
        const auto failures = [&] { return capture.logger().texts().filter(failed).size(); };
        ASSERT_TRUE(waitUntil([&] { return failures() >= 1; })) << capture.logger().texts().join('\n').toStdString();
        if (row.cameraRecovers)
            local.events.setCancelFailure(Failure::none);

        const auto isLive = [replacedId](const auto& all) {
            return std::any_of(all.begin(), all.end(), [&](const auto& s) { return s.id == replacedId && s.live; });
        };
        if (row.cameraRecovers) {
            EXPECT_TRUE(local.events.waitUntil([&](const auto& all) { return !isLive(all); }))
                << "the replaced subscription still holds a slot";
            continue;
        }
        const QString givenUp = QStringLiteral("Subscription cancel for id %1 given up after %2 attempts")
                                    .arg(replacedId)
                                    .arg(uniview::MetadataMonitor::kMaxCancelAttempts);
        ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(givenUp).isEmpty(); }))
            << capture.logger().texts().join('\n').toStdString();
        // Two more renewals: no further try.
        const int renewals = local.events.liveSubscribers().back().renewals;
        EXPECT_TRUE(local.events.waitUntil([&](const auto& all) { return all.back().renewals >= renewals + 2; }));
        EXPECT_EQ(failures(), uniview::MetadataMonitor::kMaxCancelAttempts);
        EXPECT_TRUE(isLive(local.events.subscribers())) << "left for the camera to expire";
    }
}

TEST_F(MetadataMonitorTest, SubscriptionsReplacedWhileOnlyTheCancelFailsAreCancelledOnlyWhenARenewalProvesThemKept)
{
    // The monitor's clock stands still until the test moves it (its timers and time-outs still run), and
    // the camera's grants run out on it: every replacement comes within one renewal delay, however loaded
    // the machine is. A new subscription proves nothing about the cancels that failed before it; only the
    // renewal of the subscription that replaced the last orphan shows that the camera kept that orphan.
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
    fixture.events.expireOnClock(&serverSeconds);
    fixture.events.setGrantSeconds(20); // renewed every 10 s (500 ms here); every grant ends 20 s on
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::debug);
    const auto log = [&] { return capture.logger().texts().join('\n').toStdString(); };
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_GE(waitForTheMonitorsSubscription(fixture), 0);

    fixture.events.setCancelFailure(Failure::serverError);
    std::vector<int> replacedIds;
    // More replacements than a cancel has tries, and one for a retry still on its way at one of them.
    for (int i = 0; i < uniview::MetadataMonitor::kMaxCancelAttempts + 2; ++i) {
        replacedIds.push_back(monitorSubscriptionId(fixture));
        fixture.select({"vorn.uniview.Motion"});
        ASSERT_GE(waitForTheMonitorsSubscription(fixture), 0);
        // Cancels go one after another: once this one has failed, those queued before it are done too.
        const QString failed = QStringLiteral("Subscription cancel for id %1 failed").arg(replacedIds.back());
        ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(failed).isEmpty(); })) << log();
    }
    const int currentId = monitorSubscriptionId(fixture);
    const int lastOrphan = replacedIds.back();
    const std::vector<int> unprovenOrphans(replacedIds.begin(), replacedIds.end() - 1);
    // Two renewals: a retry would go out at the end of the first.
    const auto renewedTwiceMore = [&] { return waitForRenewals(fixture, currentId, 2); };

    fixture.events.setCancelFailure(Failure::none);
    // The current subscription's next renewal proves the camera kept the last orphan.
    EXPECT_TRUE(waitForCancelled(fixture, lastOrphan)) << log();
    ASSERT_TRUE(renewedTwiceMore());
    for (const int id : unprovenOrphans)
        EXPECT_TRUE(subscriberOf(fixture, id).live) << "orphan " << id << " was cancelled without a proof";

    // The grants run out: 10 s on (a renewal gives the current subscription 20 s from there), then 15 s.
    advance(clock, 10);
    ASSERT_TRUE(renewedTwiceMore());
    const std::size_t grantsRanOut = fixture.camera.requests().size();
    advance(clock, 15);
    for (const int id : unprovenOrphans) {
        const QString dropped = QStringLiteral("Subscription cancel for id %1 dropped").arg(id);
        ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(dropped).isEmpty(); })) << log();
    }
    ASSERT_TRUE(renewedTwiceMore());
    for (const int id : replacedIds)
        EXPECT_EQ(cancelsAtTheCamera(fixture, id, grantsRanOut), 0) << "orphan " << id << " cancelled after its grant";
    std::vector<int> liveIds;
    std::vector<int> cancelledIds;
    for (const auto& subscriber : fixture.events.subscribers()) {
        if (subscriber.live)
            liveIds.push_back(subscriber.id);
        if (subscriber.cancelled)
            cancelledIds.push_back(subscriber.id);
    }
    EXPECT_EQ(liveIds, std::vector<int>{currentId}) << log();
    EXPECT_EQ(cancelledIds, std::vector<int>{lastOrphan}) << log();
}

TEST_F(MetadataMonitorTest, ACancelIsSentOnlyWhileTheCancelledSubscriptionsGrantRuns)
{
    // The monitor's clock stands still but where a row moves it (its timers still run), and the camera's
    // grants run out on it.
    struct Row
    {
        const char* name;
        int orphanGrant;    //< what the camera grants the subscription that is replaced
        bool firstTryFails; //< and the cancel is tried again at the replacing subscription's renewal
        int secondsOn;      //< how far the clock moves on before the try: the first, or else the retry
        bool cancelled;
    };
    const std::vector<Row> rows = {
        // 1800 s are renewed after 1740 s (87 s here): no renewal moves the orphan's end meanwhile.
        {"first try a second before the grant ends", 1800, false, 1799, true},
        {"first try as the grant ends", 1800, false, 1800, false},
        // The clock stands still until the replacement: the orphan's grant ends 20 s on, renewed or not.
        {"retry a second before the grant ends", 20, true, 19, true},
        {"retry as the grant ends", 20, true, 20, false},
    };
    // Renewed after 30 s (1.5 s here), long after the failed try; its grant outlasts every row's move.
    const int replacingGrant = 60;
    // One clock for all rows, which only moves on: each row's camera and monitor start from where it stands.
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AgentFixture local;
        local.createAgent();
        local.events.expireOnClock(&serverSeconds);
        local.events.setGrantSeconds(row.orphanGrant);
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::debug);
        const auto log = [&] { return capture.logger().texts().join('\n').toStdString(); };
        local.select({"vorn.uniview.Motion"});
        const int orphanId = waitForTheMonitorsSubscription(local);
        ASSERT_GE(orphanId, 0);

        local.events.setGrantSeconds(replacingGrant);
        std::size_t from = local.camera.requests().size();
        if (row.firstTryFails)
            local.events.setCancelFailure(Failure::serverError);
        else
            advance(clock, row.secondsOn);
        local.select({"vorn.uniview.Motion"});
        ASSERT_GE(waitForTheMonitorsSubscription(local), 0);
        if (row.firstTryFails) {
            const QString failed = QStringLiteral("Subscription cancel for id %1 failed").arg(orphanId);
            ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(failed).isEmpty(); })) << log();
            local.events.setCancelFailure(Failure::none);
            from = local.camera.requests().size();
            advance(clock, row.secondsOn);
        }

        if (row.cancelled) {
            EXPECT_TRUE(waitForCancelled(local, orphanId)) << log();
            EXPECT_EQ(cancelsAtTheCamera(local, orphanId, from), 1);
            continue;
        }
        const QString dropped = QStringLiteral("Subscription cancel for id %1 dropped").arg(orphanId);
        ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(dropped).isEmpty(); })) << log();
        EXPECT_EQ(cancelsAtTheCamera(local, orphanId, from), 0) << log();
        EXPECT_FALSE(subscriberOf(local, orphanId).live) << "the camera has dropped it on its own";
    }
}

TEST_F(MetadataMonitorTest, AFailedCancelSparesTheSubscriptionARestartedCameraGaveAnotherClient)
{
    // The camera stops answering; the monitor gives its subscription up, and the cancel of it fails. The
    // camera restarts and gives the lost subscription's id to another client first. Nothing the monitor
    // sees afterwards proves the camera kept the lost one (the new subscription came after the failed
    // try), so however the clock moves on, the other client keeps its subscription.
    struct Row
    {
        const char* name;
        int secondsOn; //< how far the clock moves on once the monitor has its new subscription
    };
    const std::vector<Row> rows = {
        {"a renewal delay later", 10},
        {"past the lost subscription's grant", 25},
    };
    // Timers run, the clock waits; one clock for all rows, which only moves on.
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AgentFixture local;
        local.createAgent();
        local.events.setGrantSeconds(20); // renewed every 10 s (500 ms here), retried every 5 s (250 ms)
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::debug);
        const auto log = [&] { return capture.logger().texts().join('\n').toStdString(); };
        local.select({"vorn.uniview.Motion"});
        const int lostId = waitForTheMonitorsSubscription(local);
        ASSERT_EQ(lostId, 0) << "a restarted camera gives this id again";

        local.events.setRenewFailure(Failure::close);
        local.events.setSubscribeFailure(Failure::close);
        local.events.setCancelFailure(Failure::close);
        const QString failed = QStringLiteral("Subscription cancel for id %1 failed").arg(lostId);
        ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(failed).isEmpty(); })) << log();

        const std::size_t restartedAt = local.camera.requests().size();
        local.events.restart();
        ASSERT_EQ(local.events.subscribeAsAnotherClient(), lostId);
        local.events.setRenewFailure(Failure::none);
        local.events.setSubscribeFailure(Failure::none);
        local.events.setCancelFailure(Failure::none);
        const int currentId = waitForTheMonitorsSubscription(local);
        ASSERT_GE(currentId, 0);
        ASSERT_NE(currentId, lostId);

        advance(clock, row.secondsOn);
        // Two renewals after the move: a retry would go out at the end of the first.
        ASSERT_TRUE(waitForRenewals(local, currentId, 2)) << log();
        EXPECT_EQ(cancelsAtTheCamera(local, lostId, restartedAt), 0) << log();
        EXPECT_TRUE(subscriberOf(local, lostId).live) << "the other client's subscription was cancelled";
    }
}

TEST_F(MetadataMonitorTest, AFailedCancelSparesTheIdTheCameraHasGivenTheCurrentSubscriptionAgain)
{
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime()); // moves only when the test says so
    fixture.events.setGrantSeconds(20);                                 // renewed every 10 s (500 ms here)
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::debug);
    const auto log = [&] { return capture.logger().texts().join('\n').toStdString(); };
    fixture.select({"vorn.uniview.Motion"});
    const int replacedId = waitForTheMonitorsSubscription(fixture);
    ASSERT_EQ(replacedId, 0) << "a restarted camera gives its first id again";
    fixture.events.setCancelFailure(Failure::serverError);
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_GE(waitForTheMonitorsSubscription(fixture), 0);
    const QString failed = QStringLiteral("Subscription cancel for id %1 failed").arg(replacedId);
    ASSERT_TRUE(waitUntil([&] { return !capture.logger().texts().filter(failed).isEmpty(); })) << log();

    fixture.events.restart();
    fixture.events.setCancelFailure(Failure::none);
    clock.advance(vorn::utils::ScaledClock::toRealDuration(std::chrono::seconds(20))); // a renewal delay and more
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_EQ(waitForTheMonitorsSubscription(fixture), replacedId);
    // A cancel sent with the new subscription would reach the camera long before its first renewal.
    ASSERT_TRUE(fixture.events.waitUntil([](const auto& all) { return !all.back().live || all.back().renewals >= 1; }));
    EXPECT_TRUE(fixture.events.subscribers().back().live) << "the current subscription was cancelled\n" << log();
}

TEST_F(MetadataMonitorTest, AQueuedCancelSparesTheIdTheCameraHasGivenTheCurrentSubscriptionAgain)
{
    // Slow time: the held answer goes out when the test lets it, long before the client's time-out (5 s,
    // 50 s here), however loaded the machine; and no renewal is due meanwhile.
    const vorn::utils::ScopedTimeScale slow(10.0);
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::debug);
    const auto log = [&] { return capture.logger().texts().join('\n').toStdString(); };
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_EQ(waitForTheMonitorsSubscription(fixture), 0);

    // Two replacements: the cancel of 0 waits for its answer, the cancel of 1 waits behind it.
    fixture.events.holdCancelAnswers();
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_EQ(waitForTheMonitorsSubscription(fixture), 1);
    ASSERT_TRUE(waitUntil([&] { return cancelsAtTheCamera(fixture, 0) == 1; })) << log();
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_EQ(waitForTheMonitorsSubscription(fixture), 2);

    // The camera restarts, another client takes 0, and the monitor's new subscription gets 1 again.
    const std::size_t restartedAt = fixture.camera.requests().size();
    fixture.events.restart();
    ASSERT_EQ(fixture.events.subscribeAsAnotherClient(), 0);
    fixture.select({"vorn.uniview.Motion"});
    const int currentId = waitForTheMonitorsSubscription(fixture);
    ASSERT_EQ(currentId, 1);
    ASSERT_EQ(cancelsAtTheCamera(fixture, 1), 0) << "the cancel of 1 did not wait\n" << log();

    fixture.events.releaseCancelAnswers();
    // The cancel of 2 was queued last, after the restart: once it is in, the queue has gone out.
    ASSERT_TRUE(waitUntil([&] { return cancelsAtTheCamera(fixture, 2, restartedAt) == 1; })) << log();
    EXPECT_EQ(cancelsAtTheCamera(fixture, currentId, restartedAt), 0) << log();
    EXPECT_TRUE(subscriberOf(fixture, currentId).live) << "the current subscription was cancelled";
    EXPECT_EQ(fixture.events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 5)), 1) << "events stopped";
}

TEST_F(MetadataMonitorTest, NoConnectionStaysOpenAtTheCameraOnceSubscribed)
{
    // The probe that finds the local address, the capability requests and the subscribe each open a
    // connection; with the subscription in place, a camera of a few connections has them all back.
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    EXPECT_TRUE(waitUntil([&] { return fixture.camera.http().openConnections() == 0; }))
        << fixture.camera.http().openConnections() << " connections left open";
}

TEST_F(MetadataMonitorTest, StopCancelsAtTheCameraAndStopsTheReceiverAtOnce)
{
    // No timer step here: real time-outs, so that no subscribe times out on our side after the camera made it.
    const vorn::utils::ScopedTimeScale realTime(1.0);
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    const int id = fixture.events.liveSubscribers()[0].id;
    fixture.selectNothing();
    EXPECT_EQ(fixture.events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 5)), 0)
        << "the receiver still answers";
    EXPECT_TRUE(fixture.events.waitUntil([](const auto& all) {
        return std::none_of(all.begin(), all.end(), [](const auto& subscriber) { return subscriber.live; });
    }));
    bool cancelled = false;
    for (const auto& request : fixture.camera.requests())
        cancelled |=
            request.method == "DELETE" && request.path == "/LAPI/V1.0/System/Event/Subscription/" + std::to_string(id);
    EXPECT_TRUE(cancelled);
}

TEST_F(MetadataMonitorTest, ACancelDuringTheSynchronousSubscribeEndsTheWait)
{
    const vorn::utils::ScopedTimeScale realTime(1.0); // the camera's silence must outlast the cancel
    fixture.events.setSubscribeFailure(Failure::stall);
    auto selected = std::async(std::launch::async, [&] { fixture.select({"vorn.uniview.Motion"}); });
    ASSERT_TRUE(fixture.camera.waitForRequests(3)); // two capability requests and the subscribe
    fixture.agent->monitor()->cancelPendingOperations();
    EXPECT_EQ(selected.wait_for(kDeadline), std::future_status::ready) << "the selection waits for ever";
    fixture.events.setSubscribeFailure(Failure::none);
    fixture.agent->monitor()->cancelPendingOperations();
}

TEST_F(MetadataMonitorTest, PushesReachTheProcessorsOnItsRoutes)
{
    // No timer step here: real time-outs, so that the one subscribe is in place when select() returns.
    const vorn::utils::ScopedTimeScale realTime(1.0);
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_EQ(fixture.events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 1'700'000'000)), 1);
    ASSERT_TRUE(fixture.receiver->waitForRecords(1, kDeadline));
    const auto events = recordsOf<vorn::vms_server::ReceivedEventPacket>(*fixture.receiver);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].timestampUs, 1'700'000'000'000'000);

    const std::string structure =
        R"({"TimeStamp":1700000001,"StructureInfo":{"ObjInfo":{"VehicleInfoList":[{"ID":3,"Position":"0,0;5000,5000"}]}}})";
    ASSERT_EQ(fixture.events.pushStructure(structure), 1);
    ASSERT_TRUE(fixture.receiver->waitForRecords(2, kDeadline));
    const auto objects = recordsOf<vorn::vms_server::ReceivedObjectPacket>(*fixture.receiver);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].items[0].typeId, "vorn.uniview.Vehicle");
}

// Stop, re-selection, pushes and video packets at once; also run under ThreadSanitizer (build.sh tsan).
TEST_F(MetadataMonitorTest, SelectionsPushesAndVideoHammeredTogether)
{
    // Real time-outs: a subscribe that timed out on our side while the camera made it would leave a
    // subscription nobody knows the id of, which is not what this test is about.
    const vorn::utils::ScopedTimeScale realTime(1.0);
    namespace annexb = vorn::testing::annexb;
    annexb::TrackRecord record;
    record.objectId = 5;
    record.right = 1000;
    record.bottom = 1000;
    record.typeFlag = 1;
    record.extra = "\x01";
    const std::string video =
        annexb::sliceUnit(2000, 1) + annexb::seiUnit({{5, annexb::univiewTrackPayload(40, {record})}});

    std::atomic<bool> stop{false};
    std::thread pusher([&] {
        while (!stop) {
            fixture.events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 5));
            fixture.events.pushStructure(
                R"({"StructureInfo":{"ObjInfo":{"FaceInfoList":[{"FaceID":1,"Position":"0,0;100,100"}]}}})");
        }
    });
    std::thread videoThread([&] {
        const auto packet = vorn::sdk::makePtr<vorn::vms_server::CompressedVideoPacket>("h264", video, 0);
        while (!stop) {
            vorn::sdk::Result<void> result;
            fixture.agent->consumeDataPacket(&result, packet.get());
        }
    });
    std::thread receiverSwapper([&] {
        const auto other = vorn::sdk::makePtr<vorn::vms_server::MetadataReceiver>();
        for (int i = 0; i < 50 && !stop; ++i) {
            fixture.agent->attachReceiver(i % 2 ? other.get() : fixture.receiver.get());
            std::this_thread::yield();
        }
        fixture.agent->attachReceiver(fixture.receiver.get());
    });
    for (int i = 0; i < 6; ++i) {
        if (i % 3 == 2)
            fixture.selectNothing();
        else
            fixture.select({"vorn.uniview.Motion"});
    }
    fixture.select({"vorn.uniview.Motion"});
    stop = true;
    pusher.join();
    videoThread.join();
    receiverSwapper.join();
    EXPECT_TRUE(fixture.events.waitForLiveSubscriptions(1));
    EXPECT_TRUE(fixture.events.waitUntil([](const auto& all) {
        int live = 0;
        for (const auto& subscriber : all)
            live += subscriber.live ? 1 : 0;
        return live == 1;
    })) << "replaced subscriptions were left at the camera";
}

} // namespace
} // namespace hornbeam_test
