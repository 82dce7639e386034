// fake_uniview_camera: one fake Uniview camera as a program, for demos and manual runs of the plugin
// through vms_plugin_host. Run it with --help for its flags.
//
// It listens on a port the system picks, prints its URL as its first line, answers the LAPI as
// FakeUniviewCamera does and stays up until SIGINT or SIGTERM; then it prints the requests it got, one line
// each. A script reads the first line for the URL and stops the camera with a signal when it is done.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include <fake_uniview_camera/fake_uniview_camera.h>

namespace {

using namespace vorn::testing;

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

constexpr char kUsage[] = R"(usage: fake_uniview_camera [options]
  --login NAME         ask for credentials (Digest) with this user name
  --password TEXT      the password that goes with --login
  --basic              ask for Basic instead of Digest credentials
  --probe KIND         what System/Time answers: lapi (default), text, silent
  --help               this text
)";

struct Options
{
    bool help = false;
    std::string login;
    std::string password;
    bool basic = false;
    std::string probe = "lapi";
};

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
        } else {
            return "unknown option " + name;
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked in every thread (the server's thread inherits the mask), so sigwait() below takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

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
    if (!options.login.empty()) {
        camera.requireAuth(options.basic ? FakeHttpServer::AuthScheme::basic : FakeHttpServer::AuthScheme::digest,
                           options.login, options.password);
    }
    if (options.probe == "text")
        camera.setLapiReply("GET", FakeUniviewCamera::kSystemTimePath, FakeHttpServer::Reply::ok("OK"));
    else if (options.probe == "silent")
        camera.setLapiReply("GET", FakeUniviewCamera::kSystemTimePath, FakeHttpServer::Reply::silent());

    std::printf("%s\n", camera.url().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&signals, &signal);
    for (const auto& request : camera.requests())
        std::printf("request %s %s\n", request.method.c_str(), request.target.c_str());
    return kExitOk;
}
