#include "alarm_processor.h"

#include <cstring>
#include <string>
#include <string_view>

#include <vorn/kit/json.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>

#include "device_agent.h"
#include "engine.h"
#include "lapi.h"
#include "structure_processor.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::log_support::PeerText;

using Json = vorn::kit::detail::json11::Json;
using namespace vorn::sdk;
using namespace vorn::sdk::analytics;

namespace {

const Json kMissing; //< What member() gives for a name that is not there: null.

// A member of an object of the alarm, or null when it has none or is no object. An alarm's objects hold a
// few members, so one walk that tells names apart by size and bytes costs less than the ordered lookup.
template <std::size_t size>
const Json& member(const Json& object, const char (&name)[size])
{
    constexpr std::size_t length = size - 1;
    for (const auto& [key, value] : object.object_items()) {
        if (key.size() == length && std::memcmp(key.data(), name, length) == 0)
            return value;
    }
    return kMissing;
}

} // namespace

AlarmProcessor::AlarmProcessor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{}

QString AlarmProcessor::logTagSuffix() const
{
    return m_deviceAgent->deviceUrlText();
}

void AlarmProcessor::process(std::string_view body)
{
    std::string error;
    const Json json = Json::parse(body, error);
    if (!json.is_object()) {
        VN_LOG(5, this, kLapiJsonParsingFailedFormat, error, PeerText(body));
        return;
    }
    const Json& alarmInfo = member(json, "AlarmInfo");
    const std::string& name = member(alarmInfo, "AlarmType").string_value();
    if (name.empty()) {
        VN_LOG(5, this, "Empty alarm name, data: %1", PeerText(body));
        return;
    }
    VN_LOG(6, this, "Received event [%1]", PeerText(name));

    const EventType* eventType = m_deviceAgent->engine()->eventTypeByTrigger(name);
    if (!eventType) {
        VN_LOG(5, this, "Unknown event [%1]", PeerText(name));
        return;
    }
    if (!m_deviceAgent->isEventTypeNeeded(*eventType))
        return;

    // Epoch seconds as the camera sends them, widened before they are scaled; an alarm without a numeric
    // time gets the server's clock and says so by leaving bit 0 clear.
    const std::optional<int64_t> cameraTimeUs = StructureProcessor::timestampUsOf(member(alarmInfo, "TimeStamp"));
    const int64_t timestampUs = cameraTimeUs ? *cameraTimeUs : m_deviceAgent->serverTimeUs();
    const bool isActive = !eventType->triggers.empty() && name == eventType->triggers.front();

    const Ptr<EventMetadataPacket> packet = sendEvent(*eventType, timestampUs, cameraTimeUs.has_value(), isActive);
    if (const Ptr<IMetadataReceiver> receiver = m_deviceAgent->handler())
        receiver->receiveMetadata(packet.get());
}

Ptr<EventMetadataPacket> AlarmProcessor::sendEvent(const EventType& eventType, int64_t timestampUs, bool fromCamera,
                                                   bool isActive) const
{
    auto packet = makePtr<EventMetadataPacket>();
    packet->addItem(m_deviceAgent->engine()->alarmEventItem(eventType, isActive));
    packet->setTimestampUs(timestampUs);
    if (fromCamera)
        packet->setFlags(packet->flags() | kTimestampFromDeviceFlag);
    return packet;
}

} // namespace vorn::vms_server_plugins::analytics::uniview
