// PluginHost: one run of the vms_plugin_host tool. It drives a plugin library through the calls the
// server makes and prints each step as one JSON line (see the kinds below), then proves that every
// object of the library was released.
//
//     JsonLineWriter out(stdout);
//     PluginHost host(std::move(options), &out, [](std::optional<double> seconds) { ... wait ... });
//     return host.run(); // an exit status: kExitOk, kExitFailure, kExitUsage or kExitLeaked
//
// Kinds of lines: "pluginManifest" and "engineManifest" (with "index" and "manifest"), "supportsDevice"
// ("result"), "deviceAgentManifest" ("manifest"), the receiver's "eventPacket", "objectPacket", "bestShot"
// and "diagnostic" (received_record_json.h), "error" ("operation", "code" (the SDK error code, or null
// when the failure carries none), "message") and last "leakCheck" ("live": objects still registered).
//
// A device that the engine does not support ends the run as the server would: everything is released
// and the status is kExitOk. A failure decides the status before a leak does.
//
// run() is called once, on one thread; the receiver's lines come from whatever threads the plugin
// calls it on. The stop waiter blocks for the given seconds, or, given none, until the user asks to stop.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/json/value.hpp>

#include <vorn/sdk/i_string.h>
#include <vorn/sdk/result.h>
#include <vorn/vms_server/host_options.h>
#include <vorn/vms_server/json_line_writer.h>

namespace vorn::vms_server {

class PluginLibrary;
class HostServices;

class PluginHost
{
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailure = 1; //< A plugin or library failure; an "error" line names it.
    static constexpr int kExitUsage = 2;
    static constexpr int kExitLeaked = 3; //< Objects of the library were still registered at the end.

    // A library whose index entry point never answers null would keep --list walking for ever; real
    // libraries offer a handful of plugins.
    static constexpr int kMaxPluginIndexes = 1000;

    using StopWaiter = std::function<void(std::optional<double> seconds)>;

    PluginHost(HostOptions options, JsonLineWriter* out, StopWaiter waitForStop);
    ~PluginHost();

    int run();

private:
    struct PacketData;

    bool readPacketFiles(std::vector<PacketData>* packets);
    void listPlugins(PluginLibrary& library, HostServices* hostServices);
    void runDevice(PluginLibrary& library, HostServices* hostServices, const std::vector<PacketData>& packets);
    int finish(std::unique_ptr<PluginLibrary> library);

    /** Takes the manifest result over; prints an error and returns null when it failed or is no JSON. */
    std::optional<boost::json::value> takeManifest(const char* operation, sdk::Result<const sdk::IString*>* result,
                                                   std::optional<int> index);
    /** Takes the error of result over; prints it and returns false when it is one. */
    bool takeError(const char* operation, const sdk::Error& error, std::optional<int> index = std::nullopt);
    void printError(const std::string& operation, std::optional<int32_t> code, const std::string& message,
                    std::optional<int> index = std::nullopt);
    void log(int level, const std::string& message) const;

    const HostOptions m_options;
    JsonLineWriter* const m_out;
    const StopWaiter m_waitForStop;
    std::atomic<bool> m_failed{false}; //< Set from the receiver's threads too.
};

} // namespace vorn::vms_server
