// trailhead's own version: the file version in its version resource and the built-in launcher version
// that the per-user "launcher.version" file is compared with. Plain macros, so that the resource
// compiler reads the same numbers as the C++ code.
#pragma once

#define TRAILHEAD_VERSION_MAJOR 5
#define TRAILHEAD_VERSION_MINOR 1
#define TRAILHEAD_VERSION_PATCH 4
#define TRAILHEAD_VERSION_BUILD 38659
#define TRAILHEAD_VERSION_TEXT "5.1.4.38659"
