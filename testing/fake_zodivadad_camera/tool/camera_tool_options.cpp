#include "camera_tool_options.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace vorn::testing::zodivadad {

namespace {

bool parseInt(std::string_view text, int min, int max, int* out)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return false;
    *out = value;
    return true;
}

bool parseSeconds(std::string_view text, double max, double* out)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0 || value > max) {
        return false;
    }
    *out = value;
    return true;
}

} // namespace

std::string CameraToolOptions::parse(const std::vector<std::string>& args, CameraToolOptions* options)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto takeValue = [&](std::string* value) -> bool {
            if (inlineValue) {
                *value = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            *value = args[++i];
            return true;
        };
        const auto noValue = [&]() { return !inlineValue; };

        std::string value;
        if (name == "--help" || name == "-h") {
            if (!noValue())
                return name + " takes no value";
            options->help = true;
        } else if (name == "--lpr") {
            if (!noValue())
                return name + " takes no value";
            options->lpr = true;
        } else if (name == "--login" || name == "--password" || name == "--ports-file") {
            if (!takeValue(&value))
                return name + " needs a value";
            if (name == "--ports-file" && value.empty())
                return name + " needs a file name";
            (name == "--login"      ? options->login
             : name == "--password" ? options->password
                                    : options->portsFile) = value;
        } else if (name == "--alarms" || name == "--plates") {
            if (!takeValue(&value) ||
                !parseInt(value, 0, kMaxPushes, name == "--alarms" ? &options->alarms : &options->plates)) {
                return name + " needs a count from 0 to " + std::to_string(kMaxPushes);
            }
        } else if (name == "--interval-ms") {
            if (!takeValue(&value) || !parseInt(value, 0, kMaxIntervalMs, &options->intervalMs))
                return name + " needs milliseconds from 0 to " + std::to_string(kMaxIntervalMs);
        } else if (name == "--wait-for-client" || name == "--run-for") {
            double seconds = 0;
            if (!takeValue(&value) || !parseSeconds(value, kMaxSeconds, &seconds))
                return name + " needs seconds from 0 to " + std::to_string(static_cast<int>(kMaxSeconds));
            if (name == "--run-for")
                options->runForSeconds = seconds;
            else
                options->waitForClientSeconds = seconds;
        } else {
            return "unknown argument " + args[i];
        }
    }
    if (options->password.size() > 0 && options->login.empty())
        return "--password needs --login";
    return {};
}

std::string CameraToolOptions::usage()
{
    return R"(Usage: fake_zodivadad_camera [options]
A Zodivadad camera on 127.0.0.1 for demos: it serves the camera's CGI scripts over HTTP and its push ports,
and pushes what it is told to once the plugin has registered (video-analytics alarms) or logged in
(licence plates). The system picks the ports; they are printed, and written to --ports-file, as
"http=<port> vca=<port> lpr=<port>".

  --lpr                  a camera with licence-plate recognition: it pushes plates; without it the camera
                         pushes video-analytics alarms
  --login L --password P the credentials the camera asks for (HTTP digest, push registration and login);
                         default: none asked for
  --alarms N             video-analytics pushes, the kinds in turn: motion, line crossing, region entrance,
                         people counting, face with its image (default 5)
  --plates N             licence-plate records, each with two JPEG images (default 3)
  --interval-ms MS       the pause between two pushes (default 300)
  --wait-for-client S    how long to wait for the plugin before the first push (default 20); the pushes are
                         skipped when it does not come
  --run-for S            exit after S seconds (default: at SIGINT or SIGTERM)
  --ports-file FILE      write the ports line to FILE once the camera listens

Exit status: 0 all went well, 1 the plugin did not come or a push found no connection, 2 a usage error.
)";
}

} // namespace vorn::testing::zodivadad
