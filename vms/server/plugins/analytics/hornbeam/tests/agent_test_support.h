// A device agent of hornbeam on a fake Uniview camera, for the unit tests of the event reception: the
// plugin with a server clock that runs on the ScaledClock (so a test's time scale drives the subscription
// timers and the expiry arithmetic alike), the engine, the camera with its event service, and a receiver.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_event_service.h>
#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server_plugins/analytics/uniview/device_agent.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine.h>

#include "hornbeam_test_support.h"

namespace hornbeam_test {

/** Long enough for a loaded machine; a hang fails instead of blocking the suite. */
constexpr std::chrono::seconds kDeadline{10};

/** The server clock: kStartMs, moving on with the ScaledClock. */
constexpr int64_t kStartMs = 1'700'000'000'000;

inline int64_t scaledServerTimeMs()
{
    static const vorn::utils::ScaledClock::time_point origin = vorn::utils::ScaledClock::now();
    return kStartMs +
           std::chrono::duration_cast<std::chrono::milliseconds>(vorn::utils::ScaledClock::now() - origin).count();
}

template <class T>
std::vector<T> recordsOf(const vorn::vms_server::MetadataReceiver& receiver)
{
    std::vector<T> result;
    for (const auto& record : receiver.records()) {
        if (const T* typed = std::get_if<T>(&record))
            result.push_back(*typed);
    }
    return result;
}

struct AgentFixture
{
    AgentFixture()
    {
        pluginWithClock.hostServices->setClock(&scaledServerTimeMs);
        engine = vorn::sdk::makePtr<uniview::Engine>(pluginWithClock.plugin.get());
    }

    /** Makes the agent (which asks the camera for its capabilities at once) and attaches the receiver. */
    void createAgent(int channel = 0)
    {
        auto description = vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(
            vorn::vms_server::DeviceDescription::Fields{.vendor = "Uniview",
                                                        .model = "IPC2124",
                                                        .url = camera.url(),
                                                        .login = "admin",
                                                        .password = "s3cret",
                                                        .channel = channel});
        agent = vorn::sdk::makePtr<uniview::DeviceAgent>(engine.get(), description.get());
        agent->attachReceiver(receiver.get());
    }

    void select(std::vector<std::string> eventTypes, std::vector<std::string> objectTypes = {})
    {
        const auto selection =
            vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(std::move(eventTypes), std::move(objectTypes));
        vorn::sdk::Result<void> result;
        agent->selectMetadataTypes(&result, selection.get());
        EXPECT_TRUE(result.isOk());
    }

    void selectNothing()
    {
        vorn::sdk::Result<void> result;
        agent->selectMetadataTypes(&result, nullptr);
        EXPECT_TRUE(result.isOk());
    }

    vorn::testing::FakeUniviewCamera camera;
    vorn::testing::FakeEventService events{camera};
    PluginWithClock pluginWithClock;
    vorn::sdk::Ptr<uniview::Engine> engine;
    vorn::sdk::Ptr<vorn::vms_server::MetadataReceiver> receiver =
        vorn::sdk::makePtr<vorn::vms_server::MetadataReceiver>();
    vorn::sdk::Ptr<uniview::DeviceAgent> agent;
};

} // namespace hornbeam_test
