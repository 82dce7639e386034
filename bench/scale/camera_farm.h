// CameraFarm: the fake cameras of a scale run, in a process of their own, so that the server process's
// threads and resident memory are the plugin's and the server's alone.
//
//     std::string error;
//     auto farm = CameraFarm::start(scenario, scenario.agents, &error);   // forks; see the rule below
//     for (const CameraDescription& camera: farm->cameras()) ... create a device agent ...
//     if (farm->waitUntilLive(deadline) != farm->cameras().size()) ...    // every live channel is up
//     const auto pushes = farm->push(10'000, 20'000);                     // paced, round robin
//     ... pushes->sendNs[k] is when push k left the camera ...
//
// start() forks: call it while the calling process has no other thread (before the plugin is loaded),
// since the camera process begins as a copy of the caller with only the calling thread in it. The camera
// process makes the cameras with the scenario's makeCamera, then answers one request at a time over two
// pipes (JSON lines). It ends when the farm is destroyed, or by itself when the server process is gone.
//
// Times are steady_clock nanoseconds: CLOCK_MONOTONIC, the same clock in both processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scale_camera.h"
#include "scale_scenario.h"

namespace vorn::bench::scale {

class CameraFarm
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    struct Pushes
    {
        std::vector<std::int64_t> sendNs; //< Indexed by sequence number: just before the camera wrote it.
        std::size_t failed = 0;           //< Pushes that found no live connection (their sendNs is 0).
    };

    /** Null on failure, with the reason in *error. */
    static std::unique_ptr<CameraFarm> start(const ScaleScenario& scenario, std::size_t cameraCount,
                                             std::string* error);

    /** Stops the camera process and waits for it. */
    ~CameraFarm();

    CameraFarm(const CameraFarm&) = delete;
    CameraFarm& operator=(const CameraFarm&) = delete;

    const std::vector<CameraDescription>& cameras() const { return m_cameras; }

    /** Waits for every camera's live channel until the deadline; how many were live. */
    std::size_t waitUntilLive(Deadline deadline);

    /** `count` pushes, sequence k to camera k % cameras, at `perSecond`; none when the camera process failed. */
    std::optional<Pushes> push(double perSecond, std::size_t count);

private:
    CameraFarm() = default;

    bool send(const std::string& line);
    std::optional<std::string> receive();

    pid_t m_pid = -1;
    std::FILE* m_requests = nullptr; //< To the camera process.
    std::FILE* m_answers = nullptr;  //< From it.
    std::vector<CameraDescription> m_cameras;
};

} // namespace vorn::bench::scale
