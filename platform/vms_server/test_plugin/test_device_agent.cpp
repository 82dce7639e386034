#include "test_device_agent.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include <vorn/sdk/analytics/helpers/event_metadata.h>
#include <vorn/sdk/analytics/helpers/event_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_track_best_shot_packet.h>
#include <vorn/sdk/analytics/helpers/text_list.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/guarded_ptr.h>
#include <vorn/sdk/helpers/plugin_diagnostic_event.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/sdk/helpers/uuid.h>

#include "test_engine.h"

namespace vorn::vms_server::test_plugin {

using namespace sdk::analytics;

namespace {

const std::vector<std::string> kEventTypeIds = {"vorn.hostTest.Motion", "vorn.hostTest.LineCrossing"};
const std::vector<std::string> kObjectTypeIds = {"vorn.hostTest.Person", "vorn.hostTest.Car"};
constexpr BoundingBox kObjectBox{0.25F, 0.125F, 0.5F, 0.75F};

bool isTrue(const sdk::IOptionMap* settings, const char* key)
{
    const char* value = settings ? settings->valueOf(key) : nullptr;
    return value && std::strcmp(value, "true") == 0;
}

bool contains(const std::vector<std::string>& ids, const std::string& id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

} // namespace

TestDeviceAgent::TestDeviceAgent(TestEngine* engine)
    : m_engine(engine)
{}

TestDeviceAgent::~TestDeviceAgent() = default;

void TestDeviceAgent::applySettings(sdk::Result<const sdk::IOptionMap*>* /*outResult*/, const sdk::IOptionMap* settings)
{
    if (isTrue(settings, "leak"))
        static_cast<void>(sdk::makePtr<sdk::String>("leaked on purpose").releasePtr());
    const std::lock_guard lock(m_stateMutex);
    m_brokenManifest = isTrue(settings, "brokenManifest");
}

void TestDeviceAgent::getManifest(sdk::Result<const sdk::IString*>* outResult) const
{
    const std::lock_guard lock(m_stateMutex);
    *outResult = sdk::Result<const sdk::IString*>(new sdk::String(m_brokenManifest ? R"({"eventTypes":[)" : kManifest));
}

void TestDeviceAgent::attachReceiver(IMetadataReceiver* receiver)
{
    sdk::replaceGuarded(m_receiverMutex, &m_receiver, receiver);
}

void TestDeviceAgent::selectMetadataTypes(sdk::Result<void>* outResult, const IMetadataTypeSelection* selection)
{
    *outResult = sdk::Result<void>();
    Selection known;
    std::vector<std::string> unknown;
    if (selection) {
        for (auto& id : takeTexts(selection->eventTypeIdList()))
            (contains(kEventTypeIds, id) ? known.eventTypeIds : unknown).push_back(std::move(id));
        for (auto& id : takeTexts(selection->objectTypeIdList()))
            (contains(kObjectTypeIds, id) ? known.objectTypeIds : unknown).push_back(std::move(id));
    }
    {
        const std::lock_guard lock(m_stateMutex);
        m_selection = known;
    }
    const sdk::Ptr<IMetadataReceiver> receiver = sdk::copyGuarded(m_receiverMutex, m_receiver);
    // The real agents report from threads of their own; so does this one, to prove the server takes it.
    std::thread worker([&] {
        for (const auto& id : unknown) {
            const auto diagnostic = sdk::makePtr<sdk::PluginDiagnosticEvent>(
                sdk::IPluginDiagnosticEvent::Level::warning, "Unknown type", id);
            if (receiver)
                receiver->receiveDiagnosticEvent(diagnostic.get());
        }
        emit(m_engine->serverTimeUs(), 0, "selected");
    });
    worker.join();
}

void TestDeviceAgent::consumeDataPacket(sdk::Result<void>* outResult, IDataPacket* dataPacket)
{
    *outResult = sdk::Result<void>();
    if (const auto custom = sdk::queryInterface<ICustomMetadataPacket>(dataPacket)) {
        emit(custom->timestampUs(), kTimestampFromDeviceFlag,
             std::string("codec=") + custom->codec() + " bytes=" + std::to_string(custom->dataSize()));
    } else if (const auto video = sdk::queryInterface<ICompressedVideoPacket>(dataPacket)) {
        emit(video->timestampUs(), kTimestampFromDeviceFlag,
             std::string("codec=") + video->codec() + " bytes=" + std::to_string(video->dataSize()));
    }
}

void TestDeviceAgent::emit(int64_t timestampUs, int32_t flags, const std::string& description)
{
    Selection selection;
    {
        const std::lock_guard lock(m_stateMutex);
        selection = m_selection;
    }
    const sdk::Ptr<IMetadataReceiver> receiver = sdk::copyGuarded(m_receiverMutex, m_receiver);
    if (!receiver)
        return;

    if (!selection.eventTypeIds.empty()) {
        const auto packet = sdk::makePtr<EventMetadataPacket>();
        packet->setTimestampUs(timestampUs);
        packet->setDurationUs(0);
        packet->setFlags(flags);
        for (const auto& typeId : selection.eventTypeIds) {
            const auto event = sdk::makePtr<EventMetadata>();
            event->setTypeId(typeId);
            event->setCaption("Test event");
            event->setDescription(description);
            event->setIsActive(true);
            event->setKey("test-key");
            event->setTrackId(sdk::makeRandomUuid());
            event->addAttribute(sdk::makePtr<sdk::Attribute>(sdk::AttributeType::string, "Source", "host test", 1.0F));
            packet->addItem(event.get());
        }
        receiver->receiveMetadata(packet.get());
    }

    if (!selection.objectTypeIds.empty()) {
        const auto packet = sdk::makePtr<ObjectMetadataPacket>();
        packet->setTimestampUs(timestampUs);
        packet->setDurationUs(40'000);
        packet->setFlags(flags);
        sdk::Uuid firstTrackId;
        for (const auto& typeId : selection.objectTypeIds) {
            const auto object = sdk::makePtr<ObjectMetadata>();
            object->setTypeId(typeId);
            object->setTrackId(sdk::makeRandomUuid());
            object->setBoundingBox(kObjectBox);
            object->setConfidence(0.75F);
            object->addAttribute(sdk::makePtr<sdk::Attribute>(sdk::AttributeType::number, "Speed", "12.5", 0.5F));
            if (firstTrackId.isNull())
                object->getTrackId(&firstTrackId);
            packet->addItem(object.get());
        }
        receiver->receiveMetadata(packet.get());

        const auto bestShot = sdk::makePtr<ObjectTrackBestShotPacket>(firstTrackId, timestampUs, kObjectBox);
        bestShot->setFlags(flags);
        bestShot->setImage("image/jpeg", {'\xFF', '\xD8', '\xFF', '\xD9'});
        receiver->receiveMetadata(bestShot.get());
    }
}

} // namespace vorn::vms_server::test_plugin
