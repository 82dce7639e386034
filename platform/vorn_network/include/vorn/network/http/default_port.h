// vorn::network::http::defaultPortForScheme: the port a URL means when it names none.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorn::network::http {

// 80 for "http" and "ws", 443 for "https" and "wss" (in any letter case), 0 for any other scheme.
std::uint16_t defaultPortForScheme(std::string_view scheme);

} // namespace vorn::network::http
