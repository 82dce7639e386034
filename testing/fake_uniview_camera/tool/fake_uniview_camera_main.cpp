// fake_uniview_camera: one fake Uniview camera as a program, for demos and manual runs of the plugin
// through vms_plugin_host. Run it with --help for its flags.
//
// It listens on a port the system picks, prints its URL as its first line, answers the LAPI as
// FakeUniviewCamera does, announces motion, line-crossing and face detection among its capabilities and
// takes event subscriptions (FakeEventService). Asked to push, it waits for the first subscriber, then
// pushes alarms and faces (structured data with the face's picture) to every live subscriber, a line each.
// It stays up until SIGINT, SIGTERM or the end of --run-for; then it prints the requests it got, one line
// each. With --login every client request comes twice: first without credentials (the camera answers 401
// with its challenge), then with them; the list marks the first. A script reads the first line for the URL
// and stops the camera with a signal when it is done.
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fake_uniview_camera/fake_event_service.h>
#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/testing/stop_signals.h>

namespace {

using namespace vorn::testing;

constexpr int kExitOk = 0;
constexpr int kExitPushFailed = 1;
constexpr int kExitUsage = 2;

// Enough for any demo; a larger count is a typing error rather than a wish.
constexpr int kMaxPushes = 10000;
constexpr int kMaxIntervalMs = 60'000;
constexpr int kMaxSeconds = 86'400;

constexpr char kUsage[] = R"(usage: fake_uniview_camera [options]
A Uniview camera's LAPI on 127.0.0.1 with motion, line-crossing and face detection. It prints its URL first,
takes event subscriptions and, once the first subscriber is in, pushes what it is told to, a line each.

  --login NAME             ask for credentials (Digest) with this user name
  --password TEXT          the password that goes with --login
  --basic                  ask for Basic instead of Digest credentials
  --probe KIND             what System/Time answers: lapi (default), text, silent
  --alarms N               alarm pushes, the kinds in turn: MotionAlarmOn, LineDetectorCrossed,
                           MotionAlarmOff (default 0)
  --faces N                structured-data pushes, one face with its picture each (default 0)
  --interval-ms MS         the pause between two pushes (default 300)
  --wait-for-subscriber S  how long to wait for a subscriber before the first push (default 20); the pushes
                           are skipped when none comes
  --run-for S              exit after S seconds (default: at SIGINT or SIGTERM)
  --help                   this text

Exit status: 0 all went well, 1 no subscriber came or a push was not answered, 2 a usage error.
)";

constexpr const char* kAlarmKinds[] = {"MotionAlarmOn", "LineDetectorCrossed", "MotionAlarmOff"};

// The face's picture: the start of a JPEG file, Base64-encoded, as the camera sends it in "Data".
constexpr char kFacePictureBase64[] = "/9j/4AAQSkZJRgABAQEASABIAAD/2wBDAP//////////////////////////////////////////";

struct Options
{
    bool help = false;
    std::string login;
    std::string password;
    bool basic = false;
    std::string probe = "lapi";
    int alarms = 0;
    int faces = 0;
    int intervalMs = 300;
    int waitForSubscriberSeconds = 20;
    std::optional<int> runForSeconds;
};

bool parseInt(const std::string& text, int max, int* out)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > max)
        return false;
    *out = value;
    return true;
}

// Empty on success, else what is wrong with the command line.
std::string parse(const std::vector<std::string>& args, Options* options)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options->help = true;
        } else if (name == "--basic") {
            options->basic = true;
        } else if (name == "--login" || name == "--password" || name == "--probe") {
            if (i + 1 >= args.size())
                return name + " needs a value";
            const std::string& value = args[++i];
            if (name == "--login")
                options->login = value;
            else if (name == "--password")
                options->password = value;
            else if (value == "lapi" || value == "text" || value == "silent")
                options->probe = value;
            else
                return "--probe takes lapi, text or silent, not \"" + value + "\"";
        } else if (name == "--alarms" || name == "--faces") {
            if (i + 1 >= args.size() ||
                !parseInt(args[++i], kMaxPushes, name == "--alarms" ? &options->alarms : &options->faces))
                return name + " needs a count from 0 to " + std::to_string(kMaxPushes);
        } else if (name == "--interval-ms") {
            if (i + 1 >= args.size() || !parseInt(args[++i], kMaxIntervalMs, &options->intervalMs))
                return name + " needs milliseconds from 0 to " + std::to_string(kMaxIntervalMs);
        } else if (name == "--wait-for-subscriber" || name == "--run-for") {
            int seconds = 0;
            if (i + 1 >= args.size() || !parseInt(args[++i], kMaxSeconds, &seconds))
                return name + " needs seconds from 0 to " + std::to_string(kMaxSeconds);
            if (name == "--run-for")
                options->runForSeconds = seconds;
            else
                options->waitForSubscriberSeconds = seconds;
        } else {
            return "unknown option " + name;
        }
    }
    if (!options->password.empty() && options->login.empty())
        return "--password needs --login";
    return {};
}

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string faceBody(int faceId, std::int64_t timeStamp)
{
    return R"({"TimeStamp":)" + std::to_string(timeStamp) +
           R"(,"StructureInfo":{"ImageNum":1,"ImageInfoList":[{"Index":1,"Data":")" + kFacePictureBase64 +
           R"("}],"ObjInfo":{"FaceNum":1,"FaceInfoList":[{"FaceID":)" + std::to_string(faceId) +
           R"(,"SmallPicAttachIndex":1,"Position":"2000,1500;3500,4000"}]}}})";
}

/** Set once the program is to end; the pusher waits on it instead of sleeping. */
class StopFlag
{
public:
    void set()
    {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_changed.notify_all();
    }
    /** True when the flag was set within the wait. */
    bool waitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_set; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set = false;
};

// How long no new subscription must come before the pushes start.
constexpr std::chrono::milliseconds kSubscriptionQuietTime{1000};

// Waits for the first subscriber and until the subscriptions settle, then pushes; false when nobody came or a push
// found no taker.
bool pushAll(const Options& options, const FakeEventService& events, StopFlag& stop)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.waitForSubscriberSeconds);
    // In slices, so that a stop signal ends the wait at once.
    while (!events.waitForLiveSubscriptions(1, std::chrono::milliseconds(100))) {
        if (stop.waitFor(std::chrono::milliseconds(0)) || std::chrono::steady_clock::now() > deadline) {
            say("no subscriber came; nothing pushed");
            return false;
        }
    }
    // The plugin routes pushes only once it has read the camera's answer to its subscribe, and a server that
    // selects types again replaces the subscription (a push to the receiver being replaced is lost): push
    // once no new subscription has come for a quiet while.
    for (std::size_t seen = events.subscribers().size();
         events.waitUntil([seen](const auto& list) { return list.size() > seen; }, kSubscriptionQuietTime);
         seen = events.subscribers().size()) {
        if (stop.waitFor(std::chrono::milliseconds(0)))
            return false;
    }
    const FakeEventService::Subscriber subscriber = events.liveSubscribers().back();
    say("subscribed: id " + std::to_string(subscriber.id) + ", receiver " + subscriber.ipAddress + ":" +
        std::to_string(subscriber.port) + ", for " + std::to_string(subscriber.requestedDuration) + " s");

    int answered = 0;
    const int total = options.alarms + options.faces;
    for (int i = 0; i < total; ++i) {
        if (i > 0 && stop.waitFor(std::chrono::milliseconds(options.intervalMs)))
            break;
        if (i < options.alarms) {
            const char* kind = kAlarmKinds[i % std::size(kAlarmKinds)];
            const bool taken = events.pushAlarm(FakeEventService::alarmBody(kind, nowSeconds())) > 0;
            answered += taken;
            say(std::string(taken ? "pushed alarm " : "nobody took alarm ") + kind);
        } else {
            const int faceId = i - options.alarms + 1;
            const bool taken = events.pushStructure(faceBody(faceId, nowSeconds())) > 0;
            answered += taken;
            say((taken ? "pushed face " : "nobody took face ") + std::to_string(faceId) + " with its picture");
        }
    }
    say("pushes answered: " + std::to_string(answered) + " of " + std::to_string(total));
    return answered == total;
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked in every thread (the server's and the pusher's inherit the mask), so the main thread takes them.
    vorn::testing::blockStopSignals();

    Options options;
    const std::string error = parse(std::vector<std::string>(argv + 1, argv + argc), &options);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "fake_uniview_camera: %s\n\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }

    FakeUniviewCamera camera;
    FakeEventService events(camera);
    if (!options.login.empty()) {
        camera.requireAuth(options.basic ? FakeHttpServer::AuthScheme::basic : FakeHttpServer::AuthScheme::digest,
                           options.login, options.password);
    }
    if (options.probe == "text")
        camera.setLapiReply("GET", FakeUniviewCamera::kSystemTimePath, FakeHttpServer::Reply::ok("OK"));
    else if (options.probe == "silent")
        camera.setLapiReply("GET", FakeUniviewCamera::kSystemTimePath, FakeHttpServer::Reply::silent());
    camera.setLapiData("GET", "Channels/0/Alarm/Capabilities", R"({"MotionDetection":{"IsSupport":1}})");
    camera.setLapiData("GET", "Channels/0/Smart/Capabilities",
                       R"({"FaceDetection":{"IsSupport":1},"CrossLineDetection":{"IsSupport":1}})");

    say(camera.url());

    StopFlag stop;
    bool pushed = true;
    std::thread pusher;
    if (options.alarms + options.faces > 0)
        pusher = std::thread([&] { pushed = pushAll(options, events, stop); });

    vorn::testing::waitForStopSignal(options.runForSeconds);
    stop.set();
    if (pusher.joinable())
        pusher.join();
    for (const auto& request : camera.requests()) {
        const bool challenged = !options.login.empty() && !request.header("Authorization");
        std::printf("request %s %s%s\n", request.method.c_str(), request.target.c_str(),
                    challenged ? " (without credentials: challenged)" : "");
    }
    return pushed ? kExitOk : kExitPushFailed;
}
