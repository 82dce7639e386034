// PlainClients: the baseline of a scale run's latency. One plain TCP client per camera, all read by one
// thread of their own, with no plugin and no server objects in between: what is left is the cost of the
// machine (the camera's write, the loopback, waking the reader) on the same pushes the agents get.
//
//     std::string error;
//     PlainClients clients(*scenario.plainClient, farm.cameras(), arrivals, &error);  // connected, registered
//     if (!error.empty()) fail(error);
//     farm.push(10'000, 20'000);                                                    // arrivals noted
//
// The constructor connects and registers on the calling thread, then starts the reading thread; the
// destructor stops it and closes the connections: nothing of the clients runs after it.
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

class PlainClients
{
public:
    /** On failure *error says why, and nothing runs. */
    PlainClients(const ScaleScenario::PlainClient& client, const std::vector<CameraDescription>& cameras,
                 std::shared_ptr<ArrivalLog> arrivals, std::string* error);
    ~PlainClients();

    PlainClients(const PlainClients&) = delete;
    PlainClients& operator=(const PlainClients&) = delete;

private:
    class Connection;

    boost::asio::io_context m_io{1};
    std::vector<std::shared_ptr<Connection>> m_connections;
    std::thread m_thread;
};

} // namespace vorn::bench::scale
