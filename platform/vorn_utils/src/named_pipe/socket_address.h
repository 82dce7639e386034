// The local socket address of a socket file path.
#pragma once

#include <cstring>
#include <string>

#include <sys/un.h>

namespace vorn::utils::detail {

// False when the path does not fit the address (with its terminating zero).
inline bool makeSocketAddress(const std::string& path, sockaddr_un* address)
{
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address->sun_path))
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace vorn::utils::detail
