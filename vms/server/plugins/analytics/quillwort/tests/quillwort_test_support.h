// Shared pieces of quillwort's unit tests: a device agent made against the fake Axis camera in this process,
// with the stand-in server's receiver attached, and the calls the server makes on it.
//
//     AgentOnFakeCamera t;                                   // the fixture catalogue, 1920 x 1080
//     const auto agent = t.createAgent();                    // asks the camera, as the server's call does
//     t.select(agent, {"vorn.axis.event.LicensePlateDetected"}, {});
//     t.consumeFile(agent, "plate_new.xml", 1'000'000);
//     t.receiver->records();                                 // what reached the server
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fake_axis_camera/fake_axis_camera.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/vms_server/compressed_video_packet.h>
#include <vorn/vms_server/custom_metadata_packet.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server_plugins/analytics/axis/camera_discovery.h>
#include <vorn/vms_server_plugins/analytics/axis/device_agent.h>
#include <vorn/vms_server_plugins/analytics/axis/xml_search.h>

namespace quillwort_test {

namespace axis = vorn::vms_server_plugins::analytics::axis;
using vorn::testing::FakeAxisCamera;
using Strings = std::vector<std::string>;

constexpr char kLogin[] = "root";
constexpr char kPassword[] = "pass!word";

// Tests of camera time-outs run the clock this much faster: the camera client's 10 s per phase take 200 ms.
constexpr double kFastTimeScale = 0.02;
// A request that ends by its time-out takes at least the camera client's 10 s of clock time and, with room
// for a loaded machine, less than this: well short of the 30 s of a client left at HttpClient's defaults.
constexpr std::chrono::seconds kTimedOutRequestBound{25};

/** The captured log texts, as std::string for the matchers. */
inline std::vector<std::string> logTexts(vorn::utils::log::LogCapture& log)
{
    std::vector<std::string> texts;
    for (const QString& text : log.logger().texts())
        texts.push_back(text.toStdString());
    return texts;
}

struct AgentOnFakeCamera : ::testing::Test
{
    AgentOnFakeCamera() { camera.setTopicSet(FakeAxisCamera::readDataFile("catalogue_topic_set.xml")); }

    vorn::sdk::Ptr<axis::DeviceAgent> createAgent(int channel = 0)
    {
        vorn::vms_server::DeviceDescription::Fields fields;
        fields.vendor = "AXIS";
        fields.model = "P1448-LE";
        fields.url = camera.url();
        fields.login = kLogin;
        fields.password = kPassword;
        fields.channel = channel;
        auto agent = vorn::sdk::makePtr<axis::DeviceAgent>(
            nullptr, vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(std::move(fields)));
        agent->attachReceiver(receiver.get());
        return agent;
    }

    static bool select(axis::DeviceAgent& agent, std::optional<Strings> events, std::optional<Strings> objects)
    {
        vorn::sdk::Result<void> result;
        agent.selectMetadataTypes(
            &result,
            vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(std::move(events), std::move(objects)).get());
        return result.isOk();
    }

    static bool consume(axis::DeviceAgent& agent, std::string bytes, int64_t timestampUs,
                        std::string codec = axis::MetadataProcessor::kOnvifMetadataCodec)
    {
        vorn::sdk::Result<void> result;
        agent.consumeDataPacket(&result, vorn::sdk::makePtr<vorn::vms_server::CustomMetadataPacket>(
                                             std::move(codec), std::move(bytes), timestampUs)
                                             .get());
        return result.isOk();
    }

    static bool consumeFile(axis::DeviceAgent& agent, const std::string& name, int64_t timestampUs)
    {
        const std::string bytes = FakeAxisCamera::readDataFile(name);
        EXPECT_FALSE(bytes.empty()) << name;
        return consume(agent, bytes, timestampUs);
    }

    template <class Record>
    std::vector<Record> recordsOf() const
    {
        std::vector<Record> result;
        for (const auto& record : receiver->records()) {
            if (const auto* typed = std::get_if<Record>(&record))
                result.push_back(*typed);
        }
        return result;
    }

    FakeAxisCamera camera;
    const vorn::sdk::Ptr<vorn::vms_server::MetadataReceiver> receiver =
        vorn::sdk::makePtr<vorn::vms_server::MetadataReceiver>();
};

} // namespace quillwort_test
