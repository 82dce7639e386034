// fake_axis_camera: one fake Axis camera as a program, for demos and manual runs of the plugin through
// vms_plugin_host. Run it with --help for its flags.
//
// It listens on a port the system picks, prints its URL as its first line and answers as FakeAxisCamera
// does: the image size, the event catalogue (the topic set of data/catalogue_topic_set.xml unless told
// otherwise) and the licence-plate application's record search over the plate records it is given. It stays
// up until SIGINT, SIGTERM or the end of --run-for; then it prints the requests it got, one line each. With
// --login every client request comes twice: first without credentials (the camera answers 401 with its
// challenge), then with them; the list marks the first. The notification packets themselves reach the
// plugin through the server (vms_plugin_host --custom-packet), not from the camera: examples are in data/.
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <fake_axis_camera/fake_axis_camera.h>
#include <vorn/testing/stop_signals.h>

namespace {

using namespace vorn::testing;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxSeconds = 86'400;
constexpr int kMaxMilliseconds = kMaxSeconds * 1000;

constexpr char kUsage[] = R"(usage: fake_axis_camera [options]
An Axis camera on 127.0.0.1: image size 1920 x 1080, the event catalogue and the licence-plate record search.
It prints its URL first, then serves until SIGINT, SIGTERM or the end of --run-for, and then lists the
requests it got; with --login each request comes twice, and the first, sent without credentials, is marked
"without credentials: challenged". The notification packets reach the plugin through the server: hand
the files of testing/fake_axis_camera/data/ to vms_plugin_host with --custom-packet vnd.onvif.metadata:FILE.

  --login NAME          ask for credentials (Digest) with this user name
  --password TEXT       the password that goes with --login
  --basic               ask for Basic instead of Digest credentials
  --catalogue FILE      the children of "wstop:TopicSet" in the catalogue reply (default: the fixture
                        data/catalogue_topic_set.xml)
  --plate ID:MS         a plate record: car id and capture time in milliseconds since 1970, with the image
                        "images/ID.bmp" (repeatable; data/plate_new.xml is car 42 at 1714564800000)
  --search-delay MS     answer each plate record search MS milliseconds late, in real time (a slow
                        camera; default: at once)
  --run-for S           exit after S seconds (default: at SIGINT or SIGTERM)
  --help                this text

Exit status: 0 all went well, 1 a file could not be read, 2 a usage error.
)";

struct Options
{
    bool help = false;
    std::string login;
    std::string password;
    bool basic = false;
    std::string catalogueFile;
    std::vector<FakeAxisCamera::PlateRecord> plates;
    int searchDelayMilliseconds = 0;
    std::optional<int> runForSeconds;
};

template <typename Number>
bool parseNumber(std::string_view text, Number* out)
{
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
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
        } else if (name == "--login" || name == "--password" || name == "--catalogue" || name == "--plate" ||
                   name == "--search-delay" || name == "--run-for") {
            if (i + 1 >= args.size())
                return name + " needs a value";
            const std::string& value = args[++i];
            if (name == "--login") {
                options->login = value;
            } else if (name == "--password") {
                options->password = value;
            } else if (name == "--catalogue") {
                options->catalogueFile = value;
            } else if (name == "--plate") {
                const std::size_t colon = value.find(':');
                FakeAxisCamera::PlateRecord record;
                if (colon == std::string::npos ||
                    !parseNumber(std::string_view(value).substr(0, colon), &record.carId) ||
                    !parseNumber(std::string_view(value).substr(colon + 1), &record.timestamp)) {
                    return "--plate needs ID:MILLISECONDS, not \"" + value + "\"";
                }
                record.imagePath = "images/" + std::to_string(record.carId) + ".bmp";
                options->plates.push_back(record);
            } else if (name == "--search-delay") {
                int milliseconds = 0;
                if (!parseNumber(std::string_view(value), &milliseconds) || milliseconds > kMaxMilliseconds)
                    return "--search-delay needs milliseconds from 0 to " + std::to_string(kMaxMilliseconds);
                options->searchDelayMilliseconds = milliseconds;
            } else {
                int seconds = 0;
                if (!parseNumber(std::string_view(value), &seconds) || seconds > kMaxSeconds)
                    return "--run-for needs seconds from 0 to " + std::to_string(kMaxSeconds);
                options->runForSeconds = seconds;
            }
        } else {
            return "unknown option " + name;
        }
    }
    if (!options->password.empty() && options->login.empty())
        return "--password needs --login";
    return {};
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked in every thread (the server's thread inherits the mask), so the main thread takes them.
    vorn::testing::blockStopSignals();

    Options options;
    const std::string error = parse(std::vector<std::string>(argv + 1, argv + argc), &options);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "fake_axis_camera: %s\n\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    const std::string cataloguePath =
        options.catalogueFile.empty() ? FakeAxisCamera::dataFilePath("catalogue_topic_set.xml") : options.catalogueFile;
    const std::optional<std::string> topicSet = readFile(cataloguePath);
    if (!topicSet) {
        std::fprintf(stderr, "fake_axis_camera: cannot read %s\n", cataloguePath.c_str());
        return kExitFailure;
    }

    FakeAxisCamera camera;
    camera.setTopicSet(*topicSet);
    for (const FakeAxisCamera::PlateRecord& record : options.plates)
        camera.addPlateRecord(record);
    camera.setReplyDelay(FakeAxisCamera::kPlateSearchPath, std::chrono::milliseconds(options.searchDelayMilliseconds));
    if (!options.login.empty()) {
        camera.requireAuth(options.basic ? FakeHttpServer::AuthScheme::basic : FakeHttpServer::AuthScheme::digest,
                           options.login, options.password);
    }

    std::printf("%s\n", camera.url().c_str());
    std::fflush(stdout);

    vorn::testing::waitForStopSignal(options.runForSeconds);
    for (const auto& request : camera.requests()) {
        const bool challenged = !options.login.empty() && !request.header("Authorization");
        std::printf("request %s %s%s\n", request.method.c_str(), request.target.c_str(),
                    challenged ? " (without credentials: challenged)" : "");
    }
    return kExitOk;
}
