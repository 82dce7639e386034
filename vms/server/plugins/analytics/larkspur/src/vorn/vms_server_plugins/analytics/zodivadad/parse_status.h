// ParseStatus: what a reader of the camera's push protocols made of the bytes it was given.
#pragma once

namespace vorn::vms_server_plugins::analytics::zodivadad {

enum class ParseStatus {
    ok = 0,
    needMoreData = 1, //< The bytes end inside a frame or packet; read more and call again.
    error = 2, //< The bytes are not the protocol; the connection starts over.
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
