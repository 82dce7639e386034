// HostOptions: the command line of the vms_plugin_host tool, parsed and checked.
//
//     HostOptions options;
//     if (const std::string error = HostOptions::parse(args, &options); !error.empty())
//         { std::cerr << error << '\n' << HostOptions::usage(); return 2; }
//
// parse() takes the arguments after the program name; it accepts "--name value" and "--name=value".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <vorn/vms_server/device_description.h>

namespace vorn::vms_server {

struct HostOptions
{
    // A packet is one encoded frame or one metadata chunk; this bounds what one packet file can claim.
    static constexpr std::uintmax_t kMaxPacketFileSize = 256 * 1024 * 1024;

    /** Type ids to select: every type of the device agent's manifest, or the ids given. */
    struct TypeChoice
    {
        bool all = false;
        std::vector<std::string> ids;
    };

    struct PacketFile
    {
        enum class Kind { customMetadata, compressedVideo };
        Kind kind = Kind::customMetadata;
        std::string codec;
        std::string path;
    };

    std::string library;
    int pluginIndex = 0;
    bool list = false;
    bool help = false;
    DeviceDescription::Fields device;
    std::vector<std::pair<std::string, std::string>> settings;
    std::optional<TypeChoice> events;  //< Not given: the selection has no event type list.
    std::optional<TypeChoice> objects; //< Not given: the selection has no object type list.
    std::vector<PacketFile> packets;   //< In command-line order, custom and video packets mixed.
    std::optional<int64_t> packetTimestampUs;
    std::optional<double> runForSeconds;
    std::optional<int> logLevel;
    /** Real seconds per second of the plugin's timers and time-outs; not given: real time. */
    std::optional<double> timeScale;

    /** @return Empty on success, else what is wrong with the command line. */
    static std::string parse(const std::vector<std::string>& args, HostOptions* options);

    static std::string usage();
};

} // namespace vorn::vms_server
