// vorn::vms::client::desktop::runApplication: the desktop client, run to its end.
//
// This stand-in runs no client. It appends one JSON line to the file that the environment variable
// "VELORIN_RECORD" names (nothing when it is not set), describing the start:
//
//     {"arguments":["--proto","5"],"libraryPath":"/opt/v/lib:/usr/lib","renderLoop":null,"workingFolder":"/home/a"}
//
// ("arguments" without the program; "libraryPath" is LD_LIBRARY_PATH and "renderLoop" QSG_RENDER_LOOP,
// null when unset), and returns the exit code that "VELORIN_EXIT_CODE" gives (0 when unset or not a
// number). Each line is written with one append, so clients started at once never mix their lines.
#pragma once

namespace vorn::vms::client::desktop {

inline constexpr char kRecordVariable[] = "VELORIN_RECORD";
inline constexpr char kExitCodeVariable[] = "VELORIN_EXIT_CODE";

int runApplication(int argc, char** argv);

} // namespace vorn::vms::client::desktop
