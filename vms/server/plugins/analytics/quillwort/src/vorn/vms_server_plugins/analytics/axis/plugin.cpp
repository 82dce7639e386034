#include "plugin.h"

#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include <vorn/sdk/helpers/string.h>
#include <vorn/vms_server_plugins/utils/exception.h>

#include "engine.h"

namespace vorn::vms_server_plugins::analytics::axis {

using namespace vorn::sdk;
using vorn::vms_server_plugins::utils::translateExceptions;

std::string Plugin::manifest()
{
    boost::json::object manifest;
    manifest["id"] = "vorn.axis";
    manifest["name"] = "Axis";
    manifest["description"] = "Enables in-camera analytics support for Axis IP Cameras";
    manifest["version"] = "1.0.0";
    manifest["vendor"] = "Axis";
    return boost::json::serialize(manifest);
}

void Plugin::getManifest(Result<const IString*>* outResult) const
{
    translateExceptions(outResult, []() -> Result<const IString*> { return new String(manifest()); });
}

void Plugin::obtainEngine(Result<vorn::sdk::analytics::IEngine*>* outResult)
{
    translateExceptions(outResult, [this]() -> Result<vorn::sdk::analytics::IEngine*> { return new Engine(this); });
}

} // namespace vorn::vms_server_plugins::analytics::axis
