#include "engine.h"

#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include <QtCore/QString>

#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/vms_server_plugins/utils/exception.h>

#include "device_agent.h"

namespace vorn::vms_server_plugins::analytics::axis {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::vms_server_plugins::utils::translateExceptions;

Engine::Engine(Plugin* plugin)
    : m_plugin(plugin)
{}

Engine::~Engine() = default;

std::string Engine::manifest()
{
    boost::json::object manifest;
    manifest["capabilities"] = "deviceDependent|noAutoBestShots";
    manifest["streamTypeFilter"] = "metadata";
    return boost::json::serialize(manifest);
}

void Engine::getManifest(Result<const IString*>* outResult) const
{
    translateExceptions(outResult, []() -> Result<const IString*> { return new String(manifest()); });
}

bool Engine::supportsDevice(const IDeviceDescription* deviceDescription) const
{
    const char* vendor = deviceDescription ? deviceDescription->vendor() : nullptr;
    return QString::fromUtf8(vendor ? vendor : "").toLower().startsWith(QLatin1String("axis"));
}

void Engine::createDeviceAgent(Result<IDeviceAgent*>* outResult, const IDeviceDescription* deviceDescription)
{
    translateExceptions(outResult, [this, deviceDescription]() -> Result<IDeviceAgent*> {
        if (!deviceDescription)
            return error(ErrorCode::generalFailure, "No device description");
        return new DeviceAgent(this, shareToPtr(deviceDescription));
    });
}

} // namespace vorn::vms_server_plugins::analytics::axis
