#include "scale_run.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/option_map.h>
#include <vorn/vms_server/plugin_library.h>
#include <vorn/vms_server/registry_ledger.h>

#include "allocation_counter.h"
#include "arrival_log.h"
#include "camera_farm.h"
#include "plain_clients.h"
#include "plain_receivers.h"
#include "process_figures.h"

namespace vorn::bench::scale {

namespace {

namespace sdk = vorn::sdk;
using namespace sdk::analytics;
using Clock = std::chrono::steady_clock;
using vorn::vms_server::MetadataReceiver;
using vorn::vms_server::ReceivedRecord;

// A thousand channels connecting and registering on a loaded machine (or under the sanitizers) take a
// few seconds; far beyond that something is broken.
constexpr auto kLiveTimeout = std::chrono::seconds(60);
// After the last push: the receivers have long had every event by then, unless some were lost.
constexpr auto kArrivalTimeout = std::chrono::seconds(10);

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The text of a failed SDK call, with the error's message released.
std::string errorText(const sdk::Error& error)
{
    const auto message = sdk::toPtr(error.errorMessage);
    if (error.errorCode == sdk::ErrorCode::noError && !message)
        return {};
    const char* text = message ? message->text() : nullptr;
    return "error " + std::to_string(static_cast<int>(error.errorCode)) + ": " + (text ? text : "");
}

std::string cameraId(std::size_t index)
{
    char id[40];
    std::snprintf(id, sizeof(id), "{00000000-0000-0000-0000-%012zu}", index + 1);
    return id;
}

struct HostedAgent
{
    sdk::Ptr<IDeviceAgent> agent;
    sdk::Ptr<MetadataReceiver> receiver;
};

// The server's steps for one camera up to its live channel; the error text, or empty.
std::string createAgent(IEngine& engine, const CameraDescription& camera, std::size_t index,
                        const ScaleScenario& scenario, bool select, const std::shared_ptr<ArrivalLog>& arrivals,
                        HostedAgent* hosted)
{
    const auto description = sdk::makePtr<vorn::vms_server::DeviceDescription>(
        vorn::vms_server::DeviceDescription::Fields{.id = cameraId(index),
                                                    .vendor = camera.vendor,
                                                    .model = camera.model,
                                                    .name = "Camera " + std::to_string(index + 1),
                                                    .url = camera.url,
                                                    .login = camera.login,
                                                    .password = camera.password});
    sdk::Result<IDeviceAgent*> created;
    engine.createDeviceAgent(&created, description.get());
    hosted->agent = sdk::toPtr(created.value);
    if (std::string error = errorText(created.error); !error.empty())
        return "createDeviceAgent: " + error;
    if (!hosted->agent)
        return "createDeviceAgent gave no agent";

    // The receiver keeps nothing: the listener notes the arrival and the record goes.
    hosted->receiver =
        sdk::makePtr<MetadataReceiver>([arrivals, sequenceOf = scenario.sequenceOf](
                                           const ReceivedRecord& record) { arrivals->note(sequenceOf(record)); },
                                       MetadataReceiver::Retention::listenerOnly);
    hosted->agent->attachReceiver(hosted->receiver.get());

    sdk::Result<const sdk::IOptionMap*> applied;
    hosted->agent->applySettings(&applied, sdk::makePtr<vorn::vms_server::OptionMap>(camera.settings).get());
    const auto refused = sdk::toPtr(applied.value);
    if (std::string error = errorText(applied.error); !error.empty())
        return "applySettings: " + error;
    if (refused && refused->count() > 0)
        return std::string("applySettings refused ") + (refused->keyAt(0) ? refused->keyAt(0) : "a setting");

    if (!select)
        return {};
    sdk::Result<void> selected;
    hosted->agent->selectMetadataTypes(
        &selected,
        sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(scenario.eventTypeIds, scenario.objectTypeIds).get());
    if (std::string error = errorText(selected.error); !error.empty())
        return "selectMetadataTypes: " + error;
    return {};
}

// Nearest rank: the smallest value that at least `fraction` of the values do not exceed.
std::int64_t percentile(const std::vector<std::int64_t>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// Everything the run holds of the library, released in the server's order before it is unloaded.
struct LoadedPlugin
{
    std::unique_ptr<vorn::vms_server::PluginLibrary> library;
    std::shared_ptr<vorn::vms_server::RegistryLedger> ledger = std::make_shared<vorn::vms_server::RegistryLedger>();
    sdk::Ptr<vorn::vms_server::HostServices> hostServices = sdk::makePtr<vorn::vms_server::HostServices>();
    sdk::Ptr<IPlugin> plugin;
    sdk::Ptr<IEngine> engine;
    std::vector<HostedAgent> agents;

    // Empty, or what went wrong at the unload.
    std::string release()
    {
        agents.clear();
        engine.reset();
        plugin.reset();
        if (!library)
            return {};
        if (ledger->liveCount() > 0) {
            library->keepLoaded(); // Their code is in the library.
            return "objects of the library leaked: " + ledger->report();
        }
        return library->unload();
    }
};

// The pushes, their arrivals and the latency figures; the error text, or empty.
std::string pushAndTime(const ScaleScenario& scenario, CameraFarm& farm, ArrivalLog& arrivals, ScaleFigures* figures)
{
    arrivals.expect(scenario.events);
    figures->loadAverage = loadAverage();
    const double cpuBefore = cpuSeconds();
    const std::uint64_t allocationsBefore = allocationCount();
    const std::optional<CameraFarm::Pushes> pushes = farm.push(scenario.eventsPerSecond, scenario.events);
    if (!pushes)
        return "the camera process failed to push";
    figures->events = scenario.events - pushes->failed;
    arrivals.waitForAll(Clock::now() + kArrivalTimeout);
    figures->received = arrivals.received();
    figures->cpuPerEventUs =
        (cpuSeconds() - cpuBefore) * 1e6 / static_cast<double>(std::max<std::size_t>(figures->received, 1));
    // The camera process's answer (the send times) is read meanwhile: a few dozen allocations in all.
    if (allocationCountingWorks()) {
        figures->allocationsPerEvent = static_cast<double>(allocationCount() - allocationsBefore) /
                                       static_cast<double>(std::max<std::size_t>(figures->received, 1));
    }

    std::vector<std::int64_t> latencies;
    latencies.reserve(scenario.events);
    std::int64_t firstSend = 0;
    std::int64_t lastArrival = 0;
    for (std::size_t k = 0; k < pushes->sendNs.size() && k < scenario.events; ++k) {
        const std::int64_t sent = pushes->sendNs[k];
        const std::int64_t arrived = arrivals.arrivalNs(k);
        if (sent == 0 || arrived == 0)
            continue;
        latencies.push_back(arrived - sent);
        firstSend = firstSend == 0 ? sent : std::min(firstSend, sent);
        lastArrival = std::max(lastArrival, arrived);
    }
    std::sort(latencies.begin(), latencies.end());
    figures->p50Ns = percentile(latencies, 0.50);
    figures->p99Ns = percentile(latencies, 0.99);
    figures->maxNs = latencies.empty() ? 0 : latencies.back();
    figures->pushSeconds = static_cast<double>(lastArrival - firstSend) / 1e9;

    if (pushes->failed > 0)
        return std::to_string(pushes->failed) + " pushes found no live connection";
    if (figures->received != figures->events) {
        return std::to_string(figures->events - figures->received) + " of " + std::to_string(figures->events) +
               " events did not reach the receivers";
    }
    return {};
}

// The baseline row: the same cameras and pushes, read by plain clients (or plain receivers, for cameras
// that push to the server) instead of the plugin.
std::string runPlainClients(const ScaleScenario& scenario, CameraFarm& farm, ScaleFigures* figures)
{
    if (!scenario.plainClient && !scenario.plainReceiver)
        return "the scenario has no plain client";
    figures->threadsAtLoad = threadCount();
    auto arrivals = std::make_shared<ArrivalLog>();
    const std::size_t residentBefore = residentBytes();
    const std::size_t heapBefore = heapBytesInUse();
    const auto createStart = Clock::now();
    std::string error;
    std::optional<PlainClients> clients;
    std::optional<PlainReceivers> receivers;
    if (scenario.plainClient)
        clients.emplace(*scenario.plainClient, farm.cameras(), arrivals, &error);
    else
        receivers.emplace(*scenario.plainReceiver, farm.cameras(), arrivals, &error);
    if (!error.empty())
        return "plain reader: " + error;
    figures->liveAgents = farm.waitUntilLive(Clock::now() + kLiveTimeout);
    figures->createSeconds = secondsSince(createStart);
    figures->threadsIdle = threadCount();
    figures->residentBytesPerAgent = (static_cast<double>(residentBytes()) - static_cast<double>(residentBefore)) /
                                     static_cast<double>(farm.cameras().size());
    figures->heapBytesPerAgent = (static_cast<double>(heapBytesInUse()) - static_cast<double>(heapBefore)) /
                                 static_cast<double>(farm.cameras().size());
    if (figures->liveAgents != farm.cameras().size())
        return std::to_string(farm.cameras().size() - figures->liveAgents) + " plain readers did not come up";
    return pushAndTime(scenario, farm, *arrivals, figures);
}

std::string runAgents(const ScaleScenario& scenario, CameraFarm& farm, LoadedPlugin& loaded, ScaleFigures* figures)
{
    std::string error;
    loaded.library = vorn::vms_server::PluginLibrary::load(scenario.pluginPath, loaded.ledger, &error);
    if (!loaded.library)
        return "loading the library: " + error;
    loaded.plugin = sdk::queryInterface<IPlugin>(loaded.library->createPlugin(scenario.pluginIndex));
    if (!loaded.plugin)
        return "the library has no analytics plugin at index " + std::to_string(scenario.pluginIndex);
    loaded.plugin->attachHostServices(loaded.hostServices.get());
    sdk::Result<IEngine*> engineResult;
    loaded.plugin->obtainEngine(&engineResult);
    loaded.engine = sdk::toPtr(engineResult.value);
    if (error = errorText(engineResult.error); !error.empty() || !loaded.engine)
        return "obtainEngine: " + (error.empty() ? std::string("no engine") : error);
    figures->threadsAtLoad = threadCount();

    auto arrivals = std::make_shared<ArrivalLog>();
    const std::vector<CameraDescription>& cameras = farm.cameras();
    {
        // One agent made and released first, so that what the plugin and the server make once per process
        // (the I/O threads, their loops, caches) is not counted as a cost of the agents.
        HostedAgent warmUp;
        if (error = createAgent(*loaded.engine, cameras.front(), 0, scenario, /*select*/ false, arrivals, &warmUp);
            !error.empty()) {
            return "warm-up agent: " + error;
        }
    }

    const std::size_t residentBefore = residentBytes();
    const std::size_t heapBefore = heapBytesInUse();
    const auto createStart = Clock::now();
    loaded.agents.reserve(cameras.size());
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        HostedAgent& hosted = loaded.agents.emplace_back();
        if (error = createAgent(*loaded.engine, cameras[i], i, scenario, /*select*/ true, arrivals, &hosted);
            !error.empty()) {
            return "agent " + std::to_string(i + 1) + ": " + error;
        }
    }
    figures->liveAgents = farm.waitUntilLive(Clock::now() + kLiveTimeout);
    figures->createSeconds = secondsSince(createStart);
    figures->threadsIdle = threadCount();
    const std::size_t residentAfter = residentBytes();
    figures->residentBytesPerAgent = (static_cast<double>(residentAfter) - static_cast<double>(residentBefore)) /
                                     static_cast<double>(cameras.size());
    figures->heapBytesPerAgent =
        (static_cast<double>(heapBytesInUse()) - static_cast<double>(heapBefore)) / static_cast<double>(cameras.size());
    if (figures->liveAgents != cameras.size()) {
        return std::to_string(cameras.size() - figures->liveAgents) + " of " + std::to_string(cameras.size()) +
               " live channels did not come up";
    }

    return pushAndTime(scenario, farm, *arrivals, figures);
}

} // namespace

ScaleFigures runScaleScenario(const ScaleScenario& scenario)
{
    ScaleFigures figures;
    figures.agents = scenario.agents;
    if (scenario.agents == 0) {
        figures.error = "a scenario needs at least one agent";
        return figures;
    }
    ::signal(SIGPIPE, SIG_IGN); // A camera process that died shows as a failed request, not as our end.
    if (std::string error = raiseFileLimit(); !error.empty()) {
        figures.error = "raising the open file limit: " + error;
        return figures;
    }

    std::string error;
    const std::unique_ptr<CameraFarm> farm = CameraFarm::start(scenario, scenario.agents, &error);
    if (!farm) {
        figures.error = "starting the cameras: " + error;
        return figures;
    }
    if (scenario.baseline) {
        figures.error = runPlainClients(scenario, *farm, &figures);
        return figures;
    }
    LoadedPlugin loaded;
    figures.error = runAgents(scenario, *farm, loaded, &figures);
    if (std::string releaseError = loaded.release(); !releaseError.empty() && figures.error.empty())
        figures.error = "releasing the plugin: " + releaseError;
    return figures;
}

} // namespace vorn::bench::scale
