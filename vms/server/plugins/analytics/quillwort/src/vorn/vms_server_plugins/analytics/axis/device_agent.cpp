#include "device_agent.h"

#include <vorn/sdk/helpers/guarded_ptr.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/vms_server_plugins/utils/exception.h>
#include <vorn/vms_server_plugins/utils/server_text.h>

#include "device_agent_manifest.h"
#include "engine.h"

namespace vorn::vms_server_plugins::analytics::axis {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::vms_server_plugins::utils::textOf;
using vorn::vms_server_plugins::utils::translateExceptions;

namespace {

QString makeLogTag(const IDeviceDescription& deviceInfo)
{
    return QStringLiteral("%1/%2 : %3")
        .arg(textOf(deviceInfo.id()), QString::number(deviceInfo.channel()), textOf(deviceInfo.name()));
}

} // namespace

DeviceAgent::DeviceAgent(Engine* engine, Ptr<const IDeviceDescription> deviceInfo)
    : m_engine(engine)
    , m_deviceInfo(std::move(deviceInfo))
    , m_logTag(makeLogTag(*m_deviceInfo))
    , m_metadataProcessor(this)
{}

DeviceAgent::~DeviceAgent() = default;

void DeviceAgent::applySettings(Result<const IOptionMap*>*, const IOptionMap*) {}

void DeviceAgent::getManifest(Result<const IString*>* outResult) const
{
    translateExceptions(outResult, [this]() -> Result<const IString*> {
        return new String(deviceAgentManifest(m_metadataProcessor.eventTypes(), m_metadataProcessor.objectTypes()));
    });
}

void DeviceAgent::attachReceiver(IMetadataReceiver* receiver)
{
    replaceGuarded(m_receiverMutex, &m_handler, receiver);
}

Ptr<IMetadataReceiver> DeviceAgent::handler() const
{
    return copyGuarded(m_receiverMutex, m_handler);
}

void DeviceAgent::selectMetadataTypes(Result<void>* outResult, const IMetadataTypeSelection* selection)
{
    translateExceptions(outResult, [this, selection]() { m_metadataProcessor.setNeededTypes(selection); });
}

void DeviceAgent::consumeDataPacket(Result<void>* outResult, IDataPacket* dataPacket)
{
    translateExceptions(outResult, [this, dataPacket]() {
        // Other kinds of packets (compressed video) are none of this agent's business.
        if (const auto packet = queryInterface<ICustomMetadataPacket>(dataPacket))
            m_metadataProcessor.processMetadataPacket(packet);
    });
}

} // namespace vorn::vms_server_plugins::analytics::axis
