// CameraToolOptions: the command line of the fake_zodivadad_camera program, parsed and checked.
//
//     CameraToolOptions options;
//     if (const std::string error = CameraToolOptions::parse(args, &options); !error.empty())
//         { std::cerr << error << '\n' << CameraToolOptions::usage(); return 2; }
//
// parse() takes the arguments after the program name, as "--name value" or "--name=value".
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorn::testing::zodivadad {

struct CameraToolOptions
{
    // Bounds that keep a mistyped number from making the camera push for hours or wait for days.
    static constexpr int kMaxPushes = 10'000;
    static constexpr int kMaxIntervalMs = 60'000;
    static constexpr double kMaxSeconds = 24 * 3600;

    bool help = false;
    bool lpr = false;  //< Licence-plate recognition: plates on the LPR port, else alarms.
    std::string login; //< Empty: the camera asks for no credentials.
    std::string password;
    int alarms = 5;                      //< Video-analytics pushes, kinds in turn (a camera without --lpr).
    int plates = 3;                      //< Plate records, two images each (a camera with --lpr).
    int intervalMs = 300;                //< Between two pushes.
    double waitForClientSeconds = 20;    //< For the plugin's registration or login before the first push.
    std::optional<double> runForSeconds; //< None: until SIGINT or SIGTERM.
    std::string portsFile;               //< Where the chosen ports are written once the camera listens.

    /** @return Empty on success, else what is wrong with the command line. */
    static std::string parse(const std::vector<std::string>& args, CameraToolOptions* options);

    static std::string usage();
};

} // namespace vorn::testing::zodivadad
