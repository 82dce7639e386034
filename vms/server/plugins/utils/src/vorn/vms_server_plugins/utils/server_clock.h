// serverTimeMs: the server's clock as a plugin's engines and device agents read it, through the host
// services that the server attached to the plugin:
//
//     const int64_t nowMs = vorn::vms_server_plugins::utils::serverTimeMs(m_plugin.get());
//
// The server attaches its host services before it asks for engines; a server that has not (or a null
// plugin) gets the local clock after a failed assertion, so a timestamp is never made up from nothing.
// Safe from any thread: the plugin hands out its own reference to the host services for the call.
#pragma once

#include <cstdint>

#include <vorn/sdk/analytics/helpers/plugin.h>

namespace vorn::vms_server_plugins::utils {

/** Milliseconds since the epoch. */
int64_t serverTimeMs(const vorn::sdk::analytics::Plugin* plugin);

} // namespace vorn::vms_server_plugins::utils
