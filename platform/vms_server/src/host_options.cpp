#include <vorn/vms_server/host_options.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace vorn::vms_server {

namespace {

// Whole-text integer; no sign other than a leading minus, no blanks, no trailing characters.
template <class Int>
bool parseInteger(const std::string& text, Int* value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, *value);
    return !text.empty() && error == std::errc() && ptr == end;
}

bool parseSeconds(const std::string& text, double* value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, *value);
    return !text.empty() && error == std::errc() && ptr == end && std::isfinite(*value) && *value >= 0;
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start)
            items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

HostOptions::TypeChoice parseTypeChoice(const std::string& text)
{
    if (text == "all")
        return {true, {}};
    return {false, splitList(text)};
}

} // namespace

std::string HostOptions::parse(const std::vector<std::string>& args, HostOptions* options)
{
    *options = HostOptions();
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (!name.starts_with("-") || name == "-") {
            if (!options->library.empty())
                return "More than one library given: " + options->library + ", " + name;
            options->library = name;
            continue;
        }
        if (name == "--list") {
            options->list = true;
            continue;
        }
        if (name == "--help" || name == "-h") {
            options->help = true;
            continue;
        }

        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.erase(equals);
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };

        static const std::vector<std::string> kValueOptions = {"--index",
                                                               "--vendor",
                                                               "--model",
                                                               "--url",
                                                               "--login",
                                                               "--password",
                                                               "--channel",
                                                               "--setting",
                                                               "--events",
                                                               "--objects",
                                                               "--custom-packet",
                                                               "--video-packet",
                                                               "--packet-timestamp-us",
                                                               "--run-for",
                                                               "--log-level",
                                                               "--time-scale"};
        if (std::find(kValueOptions.begin(), kValueOptions.end(), name) == kValueOptions.end())
            return "Unknown option: " + name;
        const std::optional<std::string> value = takeValue();
        if (!value)
            return "Option " + name + " needs a value";

        if (name == "--index") {
            if (!parseInteger(*value, &options->pluginIndex) || options->pluginIndex < 0)
                return "--index needs a plugin index of 0 or more, not \"" + *value + "\"";
        } else if (name == "--vendor") {
            options->device.vendor = *value;
        } else if (name == "--model") {
            options->device.model = *value;
        } else if (name == "--url") {
            options->device.url = *value;
        } else if (name == "--login") {
            options->device.login = *value;
        } else if (name == "--password") {
            options->device.password = *value;
        } else if (name == "--channel") {
            if (!parseInteger(*value, &options->device.channel) || options->device.channel < 0)
                return "--channel needs a channel number of 0 or more, not \"" + *value + "\"";
        } else if (name == "--setting") {
            const auto equals = value->find('=');
            if (equals == std::string::npos || equals == 0)
                return "--setting needs KEY=VALUE, not \"" + *value + "\"";
            options->settings.emplace_back(value->substr(0, equals), value->substr(equals + 1));
        } else if (name == "--events") {
            options->events = parseTypeChoice(*value);
        } else if (name == "--objects") {
            options->objects = parseTypeChoice(*value);
        } else if (name == "--custom-packet") {
            const auto colon = value->find(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 == value->size())
                return "--custom-packet needs CODEC:FILE, not \"" + *value + "\"";
            options->packets.push_back(
                {PacketFile::Kind::customMetadata, value->substr(0, colon), value->substr(colon + 1)});
        } else if (name == "--video-packet") {
            if (value->empty())
                return "--video-packet needs a file";
            options->packets.push_back({PacketFile::Kind::compressedVideo, "h264", *value});
        } else if (name == "--packet-timestamp-us") {
            int64_t timestampUs = 0;
            if (!parseInteger(*value, &timestampUs))
                return "--packet-timestamp-us needs a whole number of microseconds, not \"" + *value + "\"";
            options->packetTimestampUs = timestampUs;
        } else if (name == "--run-for") {
            double seconds = 0;
            if (!parseSeconds(*value, &seconds))
                return "--run-for needs a number of seconds of 0 or more, not \"" + *value + "\"";
            options->runForSeconds = seconds;
        } else if (name == "--log-level") {
            int level = 0;
            if (!parseInteger(*value, &level) || level < 0)
                return "--log-level needs a level of 0 or more, not \"" + *value + "\"";
            options->logLevel = level;
        } else if (name == "--time-scale") {
            double scale = 0;
            if (!parseSeconds(*value, &scale) || scale == 0)
                return "--time-scale needs a number greater than 0, not \"" + *value + "\"";
            options->timeScale = scale;
        }
    }
    if (options->help)
        return {};
    if (options->library.empty())
        return "No plugin library given";
    return {};
}

std::string HostOptions::usage()
{
    return R"(Usage: vms_plugin_host LIBRARY [options]
Loads an analytics plugin library as the VMS server does and prints what it does, one JSON object per line.

  --list                    print every plugin's manifest and its engine's manifest, then exit
  --index N                 the plugin to run (default 0)
  --vendor V, --model M, --url URL, --login L, --password P, --channel N
                            the camera description handed to the engine
  --setting KEY=VALUE       a device agent setting (repeatable)
  --events ID,...|all       event types to select ("all": every one of the device agent's manifest)
  --objects ID,...|all      object types to select ("all": every one of the device agent's manifest)
  --custom-packet CODEC:FILE
                            a custom metadata packet to hand over (repeatable, in order)
  --video-packet FILE       a compressed video packet (codec "h264") to hand over (repeatable, in order)
  --packet-timestamp-us T   the timestamp of every packet handed over (default: the server clock)
  --run-for SECONDS         how long to run before releasing everything (default: until SIGINT or
                            SIGTERM when no packet is given, else 0)
  --log-level N             the most detailed log level written to stderr
  --time-scale X            real seconds per second of the plugin's timers and time-outs (0.01: a hundred
                            times as fast; default 1); --run-for still counts real seconds

Exit status: 0 all went well (a device the engine does not support included), 1 a plugin or library
failure, 2 a usage error, 3 objects of the library leaked (and nothing failed).
)";
}

} // namespace vorn::vms_server
