// IMetadataReceiver: the server's side of a device agent's output. Both calls borrow their argument
// for the duration of the call; they may be made from any thread of the plugin.
#pragma once

#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/i_plugin_diagnostic_event.h>

namespace vorn::sdk::analytics {

class IMetadataReceiver : public Interface<IMetadataReceiver>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IMetadataReceiver"};

    virtual void receiveMetadata(IMetadataPacket* metadataPacket) = 0;
    virtual void receiveDiagnosticEvent(IPluginDiagnosticEvent* event) = 0;
};

} // namespace vorn::sdk::analytics
