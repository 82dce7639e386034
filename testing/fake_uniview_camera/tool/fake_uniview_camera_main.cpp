// fake_uniview_camera: one fake Uniview camera as a program, for demos and manual runs of the plugin
// through vms_plugin_host. Run it with --help for its flags.
//
// It listens on a port the system picks, prints its URL (and writes it to --url-file once it listens),
// answers the LAPI as FakeUniviewCamera does and stays up until its time is over or a stop signal arrives;
// then it prints the requests it got, one line each.
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <fake_uniview_camera/fake_uniview_camera.h>

namespace {

using namespace vorn::testing;
using Clock = std::chrono::steady_clock;

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
// Keeps a mistyped number from leaving the camera up for days.
constexpr double kMaxSeconds = 24 * 3600;

constexpr char kUsage[] = R"(usage: fake_uniview_camera [options]
  --login NAME         ask for credentials (Digest) with this user name
  --password TEXT      the password that goes with --login
  --basic              ask for Basic instead of Digest credentials
  --probe KIND         what System/Time answers: lapi (default), text, silent
  --url-file PATH      write the camera's URL there once it listens
  --run-for SECONDS    stop after this long (default: until SIGINT or SIGTERM)
  --help               this text
)";

struct Options
{
    std::string login;
    std::string password;
    bool basic = false;
    std::string probe = "lapi";
    std::string urlFile;
    std::optional<double> runForSeconds;
};

// Empty on success, else what is wrong with the command line.
std::string parse(const std::vector<std::string>& args, Options* options, bool* help)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            *help = true;
            continue;
        }
        if (name == "--basic") {
            options->basic = true;
            continue;
        }
        if (i + 1 >= args.size())
            return name == "--login" || name == "--password" || name == "--probe" || name == "--url-file" ||
                           name == "--run-for"
                       ? name + " needs a value"
                       : "unknown option " + name;
        const std::string& value = args[++i];
        if (name == "--login") {
            options->login = value;
        } else if (name == "--password") {
            options->password = value;
        } else if (name == "--probe") {
            if (value != "lapi" && value != "text" && value != "silent")
                return "--probe takes lapi, text or silent, not \"" + value + "\"";
            options->probe = value;
        } else if (name == "--url-file") {
            options->urlFile = value;
        } else if (name == "--run-for") {
            double seconds = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) || seconds < 0 ||
                seconds > kMaxSeconds) {
                return "--run-for needs a number of seconds from 0 to 86400, not \"" + value + "\"";
            }
            options->runForSeconds = seconds;
        } else {
            return "unknown option " + name;
        }
    }
    return {};
}

// Written next to the target and renamed over it, so a script polling for the file never reads half a line.
bool writeUrlFile(const std::string& path, const std::string& line)
{
    const std::string temporary = path + ".partial";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << line << '\n';
        if (!file.flush())
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    return !error;
}

// Waits for SIGINT or SIGTERM, or until the time is over; the signals are blocked in every thread.
void waitForStop(std::optional<double> seconds)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    if (!seconds) {
        int signal = 0;
        sigwait(&signals, &signal);
        return;
    }
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*seconds));
    for (;;) {
        const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
        const auto leftNs = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(leftNs / 1'000'000'000), static_cast<long>(leftNs % 1'000'000'000)};
        if (sigtimedwait(&signals, nullptr, &timeout) > 0 || errno != EINTR)
            return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Options options;
    bool help = false;
    const std::string error = parse(std::vector<std::string>(argv + 1, argv + argc), &options, &help);
    if (help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "fake_uniview_camera: %s\n\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }

    FakeUniviewCamera camera;
    if (!options.login.empty()) {
        camera.requireAuth(options.basic ? FakeHttpServer::AuthScheme::basic : FakeHttpServer::AuthScheme::digest,
                           options.login, options.password);
    }
    if (options.probe == "text")
        camera.setLapiReply("GET", FakeUniviewCamera::kSystemTimePath, FakeHttpServer::Reply::ok("OK"));
    else if (options.probe == "silent")
        camera.setLapiReply("GET", FakeUniviewCamera::kSystemTimePath, FakeHttpServer::Reply::silent());

    std::printf("camera listening at %s\n", camera.url().c_str());
    std::fflush(stdout);
    if (!options.urlFile.empty() && !writeUrlFile(options.urlFile, camera.url())) {
        std::fprintf(stderr, "fake_uniview_camera: cannot write %s\n", options.urlFile.c_str());
        return kExitUsage;
    }

    waitForStop(options.runForSeconds);
    for (const auto& request : camera.requests())
        std::printf("request %s %s\n", request.method.c_str(), request.target.c_str());
    return kExitOk;
}
