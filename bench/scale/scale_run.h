// runScaleScenario(): one scale run of a plugin, as one server process that hosts many cameras sees it.
//
// It starts the scenario's fake cameras in a process of their own (CameraFarm), loads the plugin library
// through the stand-in server's loader, creates one device agent per camera with a receiver of its own,
// applies the camera's settings and selects the scenario's metadata types, so that every agent opens its
// live channel. With every channel up it reads the figures of the idle agents (threads, resident memory),
// then has the cameras push the scenario's events, round robin, at its rate, and times each from the
// camera's write to the receiver's call. Last, everything is released and the library unloaded.
//
//     const ScaleFigures figures = runScaleScenario(scenario);
//     if (!figures.error.empty()) fail(figures.error);
//
// Call it in a process that has no other thread yet (the camera process is forked off at the start), and
// once per process: resident memory that an earlier run freed would otherwise be reused and hide the cost
// of this one. scale_main.cpp runs each scenario in a child process of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scale_scenario.h"

namespace vorn::bench::scale {

struct ScaleFigures
{
    std::size_t agents = 0;
    std::size_t liveAgents = 0;       //< Agents whose live channel the camera saw come up.
    std::size_t threadsIdle = 0;      //< Threads of the server process with every agent live.
    std::size_t threadsAtLoad = 0;    //< Threads of the server process with the library loaded, before any agent.
    double residentBytesPerAgent = 0; //< Resident memory the idle agents added, over their number.
    double heapBytesPerAgent = 0;     //< Of that, the heap blocks in use: pages and arenas left out.
    double createSeconds = 0;         //< Creating the agents and bringing their channels up.

    std::size_t events = 0;   //< Pushed by the cameras.
    std::size_t received = 0; //< Of those, received by the server's receivers.
    double pushSeconds = 0;   //< From the first push to the last one's arrival.
    double cpuPerEventUs = 0; //< CPU time of the server process while the events came, over their number.
    /** Allocations of the server process while the events came, over their number; negative where not counted. */
    double allocationsPerEvent = -1;
    std::int64_t p50Ns = 0; //< Push-to-receiver latency over the received events.
    std::int64_t p99Ns = 0;
    std::int64_t maxNs = 0;

    std::string loadAverage; //< The machine's, over the minute before the pushes: a busy machine shows in the tail.

    std::string error; //< Empty when the run went through: every agent live, every event received.
};

ScaleFigures runScaleScenario(const ScaleScenario& scenario);

} // namespace vorn::bench::scale
