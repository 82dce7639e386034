// hornbeam's event subscription end to end: vms_plugin_host runs the built library, its timers on a time
// scale, against a fake Uniview camera that grants short subscriptions, forgets them when it restarts,
// refuses renewals or has few slots. The camera's subscription resource and the host's JSON lines show
// what the camera and the server saw: renewals, the loss and the recovery, the cancel of a lost subscription,
// and pushes that keep arriving.

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_event_service.h>
#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/testing/wait_until.h>

namespace {

using vorn::testing::FakeEventService;
using vorn::testing::FakeUniviewCamera;
using Failure = FakeEventService::Failure;
using Subscribers = std::vector<FakeEventService::Subscriber>;

// Ten times as fast: a 5 s retry takes 500 ms and the eleven steps to a loss about 6 s, while the HTTP
// client's 5 s time-outs still leave 500 ms for a request to the camera on a loaded machine (a request that
// timed out would leave the camera a subscription the plugin does not know).
constexpr char kTimeScale[] = "0.1";
// A grant this short is renewed after half of it (10 s, 1 s here), so a test sees renewals soon.
constexpr int kShortGrantSeconds = 20;
// Long enough for a loaded machine; a hang fails the test instead of blocking the suite.
constexpr std::chrono::seconds kDeadline{30};

bool isLive(const Subscribers& all, int index)
{
    return index < static_cast<int>(all.size()) && all[index].live;
}

int liveCount(const Subscribers& all)
{
    return static_cast<int>(std::count_if(all.begin(), all.end(), [](const auto& s) { return s.live; }));
}

// vms_plugin_host running the plugin for one camera until the test ends it, with what it printed so far:
// its JSON lines and its log (level 6).
class RunningHost
{
public:
    explicit RunningHost(const FakeUniviewCamera& camera)
    {
        m_process.start(VMS_PLUGIN_HOST_PATH,
                        {HORNBEAM_PLUGIN_PATH, "--vendor", "Uniview", "--url", QString::fromStdString(camera.url()),
                         "--login", "admin", "--password", "s3cret", "--events", "all", "--objects", "all",
                         "--time-scale", kTimeScale, "--log-level", "6"});
        m_started = m_process.waitForStarted();
    }

    ~RunningHost()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool started() const { return m_started; }

    /** Reads the host's output until the condition holds; false when it did not within the deadline. */
    bool readUntil(const std::function<bool()>& condition)
    {
        bool ended = false;
        const bool held = vorn::testing::waitUntil(
            [&] {
                read();
                if (condition())
                    return true;
                ended = m_process.state() == QProcess::NotRunning;
                if (!ended)
                    m_process.waitForReadyRead(20); // wakes at once on a JSON line; the log is taken in meanwhile
                return ended;
            },
            kDeadline);
        return held && !ended;
    }

    bool waitForLog(const QString& text)
    {
        return readUntil([&] { return m_log.contains(text.toUtf8()); });
    }

    bool waitForLines(const QString& kind, std::size_t count)
    {
        return readUntil([&] { return lines(kind).size() >= count; });
    }

    std::vector<QJsonObject> lines(const QString& kind) const
    {
        std::vector<QJsonObject> result;
        for (const QJsonObject& line : m_lines) {
            if (line["kind"] == kind)
                result.push_back(line);
        }
        return result;
    }

    std::vector<QString> diagnosticCaptions() const
    {
        std::vector<QString> captions;
        for (const QJsonObject& line : lines("diagnostic"))
            captions.push_back(line["caption"].toString());
        return captions;
    }

    const QByteArray& log() const { return m_log; }

    /** Stops the host as a user does (SIGTERM); its exit code, or -1 when it did not end in time. */
    int stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(static_cast<int>(std::chrono::milliseconds(kDeadline).count())))
            return -1;
        read();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    void read()
    {
        m_log += m_process.readAllStandardError();
        m_pending += m_process.readAllStandardOutput();
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            if (!line.trimmed().isEmpty())
                m_lines.push_back(QJsonDocument::fromJson(line).object());
        }
    }

    QProcess m_process;
    bool m_started = false;
    QByteArray m_pending; //< Output after the last complete line.
    std::vector<QJsonObject> m_lines;
    QByteArray m_log;
};

// A camera with motion detection that asks for Digest credentials, whose event service answers as each
// test scripts it.
struct Camera
{
    Camera()
    {
        camera.requireAuth(vorn::testing::FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
        camera.setLapiData("GET", "Channels/0/Alarm/Capabilities", R"({"MotionDetection":{"IsSupport":1}})");
        camera.setLapiData("GET", "Channels/0/Smart/Capabilities", R"({})");
    }

    /**
     * The requests of a method and path that carried credentials: each request the plugin makes comes first
     * without them, and the camera answers that try with its challenge.
     */
    int answeredRequests(const std::string& method, const std::string& path) const
    {
        int count = 0;
        for (const auto& request : camera.requests())
            count += request.method == method && request.path == path && request.header("Authorization") ? 1 : 0;
        return count;
    }

    /** Pushes one motion alarm to every live subscriber; how many answered. */
    int pushAlarm() { return events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 1'700'000'000)); }

    FakeUniviewCamera camera;
    FakeEventService events{camera};
};

// The host is up with its first subscription, and the plugin's routes are in place: it has read the
// camera's answer once it schedules the renewal (the line is written right after the routes go in).
void expectSubscribed(Camera& camera, RunningHost& host, int renewDelaySeconds)
{
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(camera.events.waitForLiveSubscriptions(1, kDeadline));
    ASSERT_TRUE(host.waitForLog(QStringLiteral("Scheduling renew in %1 seconds").arg(renewDelaySeconds)))
        << host.log().toStdString();
}

// One alarm pushed to the live subscription reaches the server as one more event packet.
void expectAlarmArrives(Camera& camera, RunningHost& host)
{
    const std::size_t before = host.lines("eventPacket").size();
    EXPECT_EQ(camera.pushAlarm(), 1) << "one live subscription takes the push";
    EXPECT_TRUE(host.waitForLines("eventPacket", before + 1)) << host.log().toStdString();
}

void expectCleanStop(RunningHost& host)
{
    EXPECT_EQ(host.stop(), 0) << host.log().toStdString();
    const auto leakChecks = host.lines("leakCheck");
    ASSERT_EQ(leakChecks.size(), 1u);
    EXPECT_EQ(leakChecks[0]["live"].toInt(), 0);
}

TEST(HornbeamSubscription, RenewedBeforeItEndsAndPushesKeepArriving)
{
    struct Row
    {
        const char* name;
        int grantSeconds;
        int64_t cameraClockOffsetSeconds;
        int renewDelaySeconds; //< 60 s before the end; half the grant for short ones
        int renewalsToSee;
    };
    // The long grant is only scheduled (1740 s would take a while even here); the short one is renewed
    // again and again.
    const Row rows[] = {
        {"long grant, camera clock an hour behind", 1800, -3600, 1740, 0},
        {"short grant", kShortGrantSeconds, 0, kShortGrantSeconds / 2, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Camera camera;
        camera.events.setGrantSeconds(row.grantSeconds);
        camera.events.setClockOffsetSeconds(row.cameraClockOffsetSeconds);
        RunningHost host(camera.camera);
        expectSubscribed(camera, host, row.renewDelaySeconds);
        expectAlarmArrives(camera, host);

        EXPECT_TRUE(camera.events.waitUntil(
            [&](const Subscribers& all) { return !all.empty() && all[0].renewals >= row.renewalsToSee; }, kDeadline))
            << host.log().toStdString();
        expectAlarmArrives(camera, host);
        EXPECT_EQ(camera.events.subscribers().size(), 1u) << "renewed, not replaced";
        EXPECT_TRUE(host.diagnosticCaptions().empty());
        expectCleanStop(host);

        // One selection: each capability asked once, one subscribe, and nothing cancelled (the agent's end
        // leaves the subscription to expire at the camera).
        EXPECT_EQ(camera.answeredRequests("GET", "/LAPI/V1.0/Channels/0/Alarm/Capabilities"), 1);
        EXPECT_EQ(camera.answeredRequests("GET", "/LAPI/V1.0/Channels/0/Smart/Capabilities"), 1);
        EXPECT_EQ(camera.answeredRequests("POST", "/LAPI/V1.0/System/Event/Subscription"), 1);
        EXPECT_EQ(liveCount(camera.events.subscribers()), 1);
    }
}

TEST(HornbeamSubscription, CameraRestartIsReportedAndRecoveredFrom)
{
    Camera camera;
    camera.events.setGrantSeconds(kShortGrantSeconds);
    RunningHost host(camera.camera);
    expectSubscribed(camera, host, kShortGrantSeconds / 2);
    expectAlarmArrives(camera, host);

    camera.events.restart(); // the subscription is gone; renewals of its id fail from now on
    ASSERT_TRUE(host.waitForLines("diagnostic", 2)) << host.log().toStdString();
    const auto diagnostics = host.lines("diagnostic");
    EXPECT_EQ(diagnostics[0]["caption"].toString(), "Event subscription lost");
    EXPECT_EQ(diagnostics[0]["description"].toString(), "Cannot renew analytic events subscription after 10 retries");
    EXPECT_EQ(diagnostics[1]["caption"].toString(), "Event subscription recovered");
    EXPECT_EQ(diagnostics[1]["description"].toString(), "Successfully resubscribed to analytic events");
    for (const QJsonObject& diagnostic : diagnostics)
        EXPECT_EQ(diagnostic["level"].toInt(), 1) << "a warning";

    // The recovered subscription took the restarted camera's first id again: it must stay, and take pushes.
    EXPECT_TRUE(camera.events.waitForLiveSubscriptions(1, kDeadline));
    expectAlarmArrives(camera, host);
    EXPECT_EQ(liveCount(camera.events.subscribers()), 1);
    expectCleanStop(host);
    EXPECT_EQ(camera.answeredRequests("DELETE", "/LAPI/V1.0/System/Event/Subscription/0"), 0);
}

TEST(HornbeamSubscription, LostSubscriptionIsCancelledAtTheCamera)
{
    struct Row
    {
        const char* name;
        std::optional<int> slotLimit;
        bool cancelAfterSuccessor; //< with a free slot the successor comes first
    };
    const Row rows[] = {
        {"free slots", std::nullopt, true},
        {"one slot, held by the lost subscription", 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Camera camera;
        camera.events.setGrantSeconds(kShortGrantSeconds);
        camera.events.setSlotLimit(row.slotLimit);
        RunningHost host(camera.camera);
        expectSubscribed(camera, host, kShortGrantSeconds / 2);

        // The camera keeps the subscription (and pushes to it) but renews nothing: the plugin gives it up.
        camera.events.setRenewFailure(Failure::serverError);
        ASSERT_TRUE(host.waitForLines("diagnostic", 2)) << host.log().toStdString();
        EXPECT_EQ(host.diagnosticCaptions(),
                  (std::vector<QString>{"Event subscription lost", "Event subscription recovered"}));
        camera.events.setRenewFailure(Failure::none);

        ASSERT_TRUE(camera.events.waitUntil([](const Subscribers& all) { return !isLive(all, 0) && isLive(all, 1); },
                                            kDeadline))
            << host.log().toStdString();
        const auto requests = camera.camera.requests();
        const auto isCancel = [](const auto& request) {
            return request.method == "DELETE" && request.path == "/LAPI/V1.0/System/Event/Subscription/0" &&
                   request.header("Authorization");
        };
        const auto cancel = std::find_if(requests.begin(), requests.end(), isCancel);
        ASSERT_NE(cancel, requests.end());
        // The successor's subscribe is the last one with credentials: those that find no free slot come before.
        const auto successor = std::find_if(requests.rbegin(), requests.rend(), [](const auto& request) {
            return request.method == "POST" && request.header("Authorization");
        });
        ASSERT_NE(successor, requests.rend());
        EXPECT_EQ(successor.base() - 1 < cancel, row.cancelAfterSuccessor);

        expectAlarmArrives(camera, host);
        EXPECT_EQ(liveCount(camera.events.subscribers()), 1);
        expectCleanStop(host);
    }
}

} // namespace
