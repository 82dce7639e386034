// vorn::vms::waypoint::StartupParameters: what the launcher's command line asks for (the launcher
// process knows it as WaypointProcess::StartupParameters).
#pragma once

#include <QtCore/QStringList>

namespace vorn::vms::waypoint {

struct StartupParameters
{
    enum Mode {
        // Start the newest installed client, then serve requests (or only start it when another
        // launcher serves).
        normal = 0,
        // Serve requests, start no client (and do nothing when another launcher serves).
        exec = 1,
        // Tell the running launcher to quit.
        quit = 2,
    };

    int mode = normal;
    // Protocol version of the client to start; 0 stands for any.
    int clientProtoVersion = 0;
    // Arguments handed to every client started at launch.
    QStringList clientArgs;
};

} // namespace vorn::vms::waypoint
