// PlainReceivers: the baseline of a scale run's latency for cameras that push to the server. One plain
// TCP listener per camera, all served by one thread of their own, with no plugin and no server objects in
// between: each takes the camera's pushes off its connections, answers them and notes their arrival. What
// is left is the cost of the machine (the camera's connect and write, the loopback, waking the reader).
//
//     std::string error;
//     PlainReceivers receivers(*scenario.plainReceiver, farm.cameras(), arrivals, &error);  // subscribed
//     if (!error.empty()) fail(error);
//     farm.push(10'000, 20'000);                                                        // arrivals noted
//
// The constructor opens the listeners and subscribes at every camera on the calling thread, then starts
// the serving thread; the destructor stops it and closes everything: nothing of the receivers runs after.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>

#include "arrival_log.h"
#include "scale_camera.h"
#include "scale_scenario.h"

namespace vorn::bench::scale {

class PlainReceivers
{
public:
    /** On failure *error says why, and nothing runs. */
    PlainReceivers(const ScaleScenario::PlainReceiver& receiver, const std::vector<CameraDescription>& cameras,
                   std::shared_ptr<ArrivalLog> arrivals, std::string* error);
    ~PlainReceivers();

    PlainReceivers(const PlainReceivers&) = delete;
    PlainReceivers& operator=(const PlainReceivers&) = delete;

private:
    class Listener;
    class Connection;

    boost::asio::io_context m_io{1};
    std::vector<std::shared_ptr<Listener>> m_listeners;
    std::thread m_thread;
};

} // namespace vorn::bench::scale
