// vorn::build_info: what this build is and runs on. The platform tests are constants of the build, so
// code that branches on them keeps every branch compiled and the untaken one costs nothing.
#pragma once

#include <QtCore/QString>

namespace vorn::build_info {

constexpr bool isLinux()
{
#if defined(__linux__)
    return true;
#else
    return false;
#endif
}

constexpr bool isMacOsX()
{
#if defined(__APPLE__)
    return true;
#else
    return false;
#endif
}

constexpr bool isWindows()
{
#if defined(_WIN32)
    return true;
#else
    return false;
#endif
}

// The VMS version this build belongs to, four-part ("5.1.4.38659").
QString vmsVersion();

} // namespace vorn::build_info
