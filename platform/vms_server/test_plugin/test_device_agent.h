// TestDeviceAgent: the device agent of the host's test plugin. It answers a small manifest with two
// event types and two object types and, for the types the server selected, emits metadata:
//
// - selectMetadataTypes: one event packet (an item per selected event type), one object packet (an item
//   per selected object type) and one best shot, stamped with the server clock and sent from a worker
//   thread of the agent (joined before the call returns); a diagnostic warning per unknown type id;
// - consumeDataPacket: the same, stamped with the packet's timestamp and flagged as camera time, the
//   item descriptions naming the packet's codec and size.
//
// Settings that make it misbehave on purpose, for the host's failure paths: "leak" = "true" leaks one
// object; "brokenManifest" = "true" makes its manifest invalid JSON.
//
// The server may call it from several threads; the receiver is guarded by m_receiverMutex, the
// selection and the settings by m_stateMutex, neither of which is held while the receiver is called.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>

namespace vorn::vms_server::test_plugin {

class TestEngine;

class TestDeviceAgent : public sdk::RefCountable<sdk::analytics::IConsumingDeviceAgent>
{
public:
    static constexpr const char* kManifest =
        R"({"eventTypes":[)"
        R"({"id":"vorn.hostTest.Motion","name":"Motion"},)"
        R"({"id":"vorn.hostTest.LineCrossing","name":"Line crossing","flags":"stateDependent"}],)"
        R"("supportedTypes":[{"objectTypeId":"vorn.hostTest.Person","attributes":["Speed"]}],)"
        R"("typeLibrary":{"objectTypes":[{"id":"vorn.hostTest.Person","name":"Person"},)"
        R"({"id":"vorn.hostTest.Car","name":"Car"}]}})";

    explicit TestDeviceAgent(TestEngine* engine);
    ~TestDeviceAgent() override;

    void applySettings(sdk::Result<const sdk::IOptionMap*>* outResult, const sdk::IOptionMap* settings) override;
    void getManifest(sdk::Result<const sdk::IString*>* outResult) const override;
    void attachReceiver(sdk::analytics::IMetadataReceiver* receiver) override;
    void selectMetadataTypes(sdk::Result<void>* outResult,
                             const sdk::analytics::IMetadataTypeSelection* selection) override;
    void consumeDataPacket(sdk::Result<void>* outResult, sdk::analytics::IDataPacket* dataPacket) override;

private:
    struct Selection
    {
        std::vector<std::string> eventTypeIds;
        std::vector<std::string> objectTypeIds;
    };

    void emit(int64_t timestampUs, int32_t flags, const std::string& description);

    TestEngine* const m_engine;

    mutable std::mutex m_receiverMutex; //< Guards m_receiver.
    sdk::Ptr<sdk::analytics::IMetadataReceiver> m_receiver;

    mutable std::mutex m_stateMutex; //< Guards the members below.
    Selection m_selection;
    bool m_brokenManifest = false;
};

} // namespace vorn::vms_server::test_plugin
