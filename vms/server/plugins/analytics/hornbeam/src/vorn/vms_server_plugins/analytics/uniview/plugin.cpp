#include "plugin.h"

#include <vorn/sdk/helpers/string.h>
#include <vorn/vms_server_plugins/utils/exception.h>

#include "engine.h"
#include "wildcard_match.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using namespace vorn::sdk;
using vorn::vms_server_plugins::utils::translateExceptions;

Plugin::Plugin(bool probe, std::set<std::string> vendorPatterns, std::string pluginManifest)
    : m_probe(probe)
    , m_vendorPatterns(std::move(vendorPatterns))
    , m_pluginManifest(std::move(pluginManifest))
{}

void Plugin::getManifest(Result<const IString*>* outResult) const
{
    translateExceptions(outResult, [&]() -> Result<const IString*> { return new String(m_pluginManifest); });
}

void Plugin::obtainEngine(Result<vorn::sdk::analytics::IEngine*>* outResult)
{
    translateExceptions(outResult, [&]() -> Result<vorn::sdk::analytics::IEngine*> { return new Engine(this); });
}

bool Plugin::isVendorSupported(std::string_view vendor) const
{
    return matchesAnyPattern(m_vendorPatterns, vendor);
}

} // namespace vorn::vms_server_plugins::analytics::uniview
