#include "server_clock.h"

#include <QtCore/QDateTime>

#include <vorn/log_support/assert.h>

namespace vorn::vms_server_plugins::utils {

int64_t serverTimeMs(const vorn::sdk::analytics::Plugin* plugin)
{
    const vorn::sdk::Ptr<vorn::sdk::IHostServices> hostServices = plugin ? plugin->hostServices() : nullptr;
    if (!VN_CHECK(hostServices, "no host services attached; the local clock stands in"))
        return QDateTime::currentMSecsSinceEpoch();
    return hostServices->serverTimeMs();
}

} // namespace vorn::vms_server_plugins::utils
