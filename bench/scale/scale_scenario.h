// ScaleScenario: one row of the scale benchmark: a plugin library, the fake camera it runs against, how
// many device agents, and the event load pushed through them.
//
//     ScaleScenario scenario;
//     scenario.name = "larkspur";
//     scenario.pluginPath = LARKSPUR_PLUGIN_PATH;
//     scenario.makeCamera = [] { return std::make_unique<ZodivadadScaleCamera>(); };   // farm process
//     scenario.sequenceOf = &pushedSequence;                                          // host process
//     scenario.agents = 1000;
//     const ScaleFigures figures = runScaleScenario(scenario);                       // scale_run.h
//
// makeCamera runs in the camera process only, sequenceOf in the server process only (on the plugin's
// threads, concurrently); neither may rely on state of the other process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <vorn/vms_server/received_metadata.h>

#include "scale_camera.h"

namespace vorn::bench::scale {

struct ScaleScenario
{
    std::string name;       //< The table's name of the plugin and its cameras ("larkspur VCA").
    std::string pluginPath; //< The plugin library, loaded as the server loads it.
    int pluginIndex = 0;    //< The library's plugin that serves the cameras.

    std::size_t agents = 1;
    double eventsPerSecond = 10'000; //< Spread over the agents round robin.
    std::size_t events = 20'000;     //< Pushed in all, at that rate.

    /** The metadata types the server selects on every agent: they make its live channels start. */
    std::vector<std::string> eventTypeIds;
    std::vector<std::string> objectTypeIds;

    std::function<std::unique_ptr<ScaleCamera>()> makeCamera;
    /** The push number a received record carries; none for a record that is no push of the benchmark. */
    std::function<std::optional<std::uint32_t>(const vorn::vms_server::ReceivedRecord&)> sequenceOf;

    /**
     * The latency's baseline: a plain client of each camera's push port, all on one thread, that does the
     * least any client must (connect, register, split the stream into pushes, find the number). It shows
     * what the machine itself costs between the camera's write and a reader, on the same bytes.
     */
    struct PlainClient
    {
        /** The push port: host and port. */
        std::function<std::pair<std::string, std::uint16_t>(const CameraDescription&)> address;
        /** The bytes that make the camera count the connection as live. */
        std::function<std::string(const CameraDescription&)> hello;
        /**
         * Takes the first whole message off the front of `buffer`; false while none is complete. A push
         * sets *sequence to its number; any other message leaves it empty.
         */
        std::function<bool(std::string* buffer, std::optional<std::uint32_t>* sequence)> take;
    };
    std::optional<PlainClient> plainClient;

    /**
     * The same baseline for cameras that push to the server: a plain listener per camera, all on one
     * thread, that subscribes at the camera, splits each connection's bytes into pushes, finds the number
     * and answers each push.
     */
    struct PlainReceiver
    {
        /** Asks the camera to push to host:port; false when it refused. Blocking. */
        std::function<bool(const CameraDescription&, const std::string& host, std::uint16_t port)> subscribe;
        /** As PlainClient::take, for the bytes the camera sends on one connection. */
        std::function<bool(std::string* buffer, std::optional<std::uint32_t>* sequence)> take;
        /** The bytes that answer one push. */
        std::string answer;
    };
    std::optional<PlainReceiver> plainReceiver;

    /** Run the plain client or receiver instead of the plugin: the baseline row. */
    bool baseline = false;
};

} // namespace vorn::bench::scale
