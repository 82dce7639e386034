#include <vorn/vms_server/plugin_host.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>

#include <boost/json/parse.hpp>

#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/compressed_video_packet.h>
#include <vorn/vms_server/custom_metadata_packet.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/option_map.h>
#include <vorn/vms_server/plugin_library.h>
#include <vorn/vms_server/received_record_json.h>

namespace vorn::vms_server {

using namespace sdk::analytics;

namespace {

// The host's own messages: 2 errors, 3 warnings, 4 what it does.
constexpr int kDefaultLogLevel = 4;

std::string text(const sdk::IString* string)
{
    const char* value = string ? string->text() : nullptr;
    return value ? std::string(value) : std::string();
}

void appendUnique(std::vector<std::string>* ids, const boost::json::value* id)
{
    if (!id || !id->is_string() || id->get_string().empty())
        return;
    std::string text(id->get_string().data(), id->get_string().size());
    if (std::find(ids->begin(), ids->end(), text) == ids->end())
        ids->push_back(std::move(text));
}

const boost::json::array* arrayAt(const boost::json::value& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    const auto* member = object.get_object().if_contains(key);
    return member && member->is_array() ? &member->get_array() : nullptr;
}

const boost::json::value* memberOf(const boost::json::value& object, const char* key)
{
    return object.is_object() ? object.get_object().if_contains(key) : nullptr;
}

std::vector<std::string> allEventTypeIds(const boost::json::value& manifest)
{
    std::vector<std::string> ids;
    if (const auto* eventTypes = arrayAt(manifest, "eventTypes")) {
        for (const auto& eventType : *eventTypes)
            appendUnique(&ids, memberOf(eventType, "id"));
    }
    return ids;
}

std::vector<std::string> allObjectTypeIds(const boost::json::value& manifest)
{
    std::vector<std::string> ids;
    if (const auto* supportedTypes = arrayAt(manifest, "supportedTypes")) {
        for (const auto& supportedType : *supportedTypes)
            appendUnique(&ids, memberOf(supportedType, "objectTypeId"));
    }
    if (const auto* typeLibrary = memberOf(manifest, "typeLibrary")) {
        if (const auto* objectTypes = arrayAt(*typeLibrary, "objectTypes")) {
            for (const auto& objectType : *objectTypes)
                appendUnique(&ids, memberOf(objectType, "id"));
        }
    }
    return ids;
}

std::optional<std::vector<std::string>> chosenIds(const std::optional<HostOptions::TypeChoice>& choice,
                                                  std::vector<std::string> (*all)(const boost::json::value&),
                                                  const boost::json::value& manifest)
{
    if (!choice)
        return std::nullopt;
    return choice->all ? all(manifest) : choice->ids;
}

} // namespace

struct PluginHost::PacketData
{
    HostOptions::PacketFile::Kind kind;
    std::string codec;
    std::string path;
    std::string bytes;
};

PluginHost::PluginHost(HostOptions options, JsonLineWriter* out, StopWaiter waitForStop)
    : m_options(std::move(options))
    , m_out(out)
    , m_waitForStop(std::move(waitForStop))
{}

PluginHost::~PluginHost() = default;

int PluginHost::run()
{
    std::vector<PacketData> packets;
    if (!readPacketFiles(&packets))
        return kExitUsage;

    auto ledger = std::make_shared<RegistryLedger>();
    std::string loadError;
    // The plugin's own logging starts at the level the user asked for: the utility library that each
    // plugin carries reads its starting level from this variable.
    if (m_options.logLevel)
        ::setenv("VORN_LOG_LEVEL", std::to_string(std::min(*m_options.logLevel, 6)).c_str(), 1);
    // Its timers likewise take their time scale from this one, at their first use.
    if (m_options.timeScale) {
        char scale[64] = {};
        std::to_chars(scale, scale + sizeof(scale) - 1, *m_options.timeScale);
        ::setenv("VORN_TIME_SCALE", scale, 1);
    }
    std::unique_ptr<PluginLibrary> library = PluginLibrary::load(m_options.library, ledger, &loadError);
    if (!library) {
        printError("loadLibrary", std::nullopt, loadError);
        return kExitFailure;
    }
    log(4, "Loaded " + library->path() + " as \"" + library->contextName() + "\", SDK version \"" +
               library->sdkVersion() + "\"");

    {
        const auto hostServices = sdk::makePtr<HostServices>();
        if (m_options.list)
            listPlugins(*library, hostServices.get());
        else
            runDevice(*library, hostServices.get(), packets);
    }
    return finish(std::move(library));
}

bool PluginHost::readPacketFiles(std::vector<PacketData>* packets)
{
    for (const auto& file : m_options.packets) {
        std::error_code error;
        const auto size = std::filesystem::file_size(file.path, error);
        if (error) {
            std::fprintf(stderr, "Cannot read packet file %s: %s\n", file.path.c_str(), error.message().c_str());
            return false;
        }
        if (size > HostOptions::kMaxPacketFileSize) {
            std::fprintf(stderr, "Packet file %s is larger than %ju bytes\n", file.path.c_str(),
                         HostOptions::kMaxPacketFileSize);
            return false;
        }
        std::ifstream stream(file.path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        if (!stream.good() && !stream.eof()) {
            std::fprintf(stderr, "Cannot read packet file %s\n", file.path.c_str());
            return false;
        }
        packets->push_back({file.kind, file.codec, file.path, std::move(bytes)});
    }
    return true;
}

void PluginHost::listPlugins(PluginLibrary& library, HostServices* hostServices)
{
    int index = 0;
    for (; index < kMaxPluginIndexes; ++index) {
        const auto basePlugin = library.createPlugin(index);
        if (!basePlugin)
            break;
        const auto plugin = sdk::queryInterface<IPlugin>(basePlugin);
        if (!plugin) {
            printError("createPlugin", std::nullopt, "The plugin is not an analytics plugin", index);
            continue;
        }
        plugin->attachHostServices(hostServices);

        sdk::Result<const sdk::IString*> pluginManifest;
        plugin->getManifest(&pluginManifest);
        if (auto manifest = takeManifest("plugin.getManifest", &pluginManifest, index))
            m_out->writeLine(
                boost::json::object{{"kind", "pluginManifest"}, {"index", index}, {"manifest", *manifest}});

        sdk::Result<IEngine*> engineResult;
        plugin->obtainEngine(&engineResult);
        const auto engine = sdk::toPtr(engineResult.value);
        if (!takeError("obtainEngine", engineResult.error, index))
            continue;
        if (!engine) {
            printError("obtainEngine", std::nullopt, "No engine and no error", index);
            continue;
        }
        sdk::Result<const sdk::IString*> engineManifest;
        engine->getManifest(&engineManifest);
        if (auto manifest = takeManifest("engine.getManifest", &engineManifest, index))
            m_out->writeLine(
                boost::json::object{{"kind", "engineManifest"}, {"index", index}, {"manifest", *manifest}});
    }
    if (index == 0)
        printError("createPlugin", std::nullopt, "The library offers no plugin");
    else if (index == kMaxPluginIndexes)
        printError("createPlugin", std::nullopt, "The library offers plugins at every index up to the limit");
}

void PluginHost::runDevice(PluginLibrary& library, HostServices* hostServices, const std::vector<PacketData>& packets)
{
    const int index = m_options.pluginIndex;
    const auto basePlugin = library.createPlugin(index);
    if (!basePlugin)
        return printError("createPlugin", std::nullopt, "The library offers no plugin at this index", index);
    const auto plugin = sdk::queryInterface<IPlugin>(basePlugin);
    if (!plugin)
        return printError("createPlugin", std::nullopt, "The plugin is not an analytics plugin", index);
    plugin->attachHostServices(hostServices);

    sdk::Result<const sdk::IString*> pluginManifest;
    plugin->getManifest(&pluginManifest);
    const auto pluginManifestJson = takeManifest("plugin.getManifest", &pluginManifest, index);
    if (!pluginManifestJson)
        return;
    m_out->writeLine(
        boost::json::object{{"kind", "pluginManifest"}, {"index", index}, {"manifest", *pluginManifestJson}});

    sdk::Result<IEngine*> engineResult;
    plugin->obtainEngine(&engineResult);
    const auto engine = sdk::toPtr(engineResult.value);
    if (!takeError("obtainEngine", engineResult.error, index))
        return;
    if (!engine)
        return printError("obtainEngine", std::nullopt, "No engine and no error", index);
    sdk::Result<const sdk::IString*> engineManifest;
    engine->getManifest(&engineManifest);
    const auto engineManifestJson = takeManifest("engine.getManifest", &engineManifest, index);
    if (!engineManifestJson)
        return;
    m_out->writeLine(
        boost::json::object{{"kind", "engineManifest"}, {"index", index}, {"manifest", *engineManifestJson}});

    const auto device = sdk::makePtr<DeviceDescription>(m_options.device);
    const bool supported = engine->supportsDevice(device.get());
    m_out->writeLine(boost::json::object{{"kind", "supportsDevice"}, {"result", supported}});
    if (!supported) {
        log(4, "The engine does not support the device; the server would not go on with it");
        return;
    }

    sdk::Result<IDeviceAgent*> agentResult;
    engine->createDeviceAgent(&agentResult, device.get());
    const auto agent = sdk::toPtr(agentResult.value);
    if (!takeError("createDeviceAgent", agentResult.error))
        return;
    if (!agent)
        return printError("createDeviceAgent", std::nullopt, "No device agent and no error");

    // Each record is printed and dropped: a run until SIGINT must not grow with what the camera sends.
    const auto receiver = sdk::makePtr<MetadataReceiver>(
        [this](const ReceivedRecord& record) {
            if (std::holds_alternative<ReceiverFault>(record))
                m_failed = true;
            m_out->writeLine(toJson(record));
        },
        MetadataReceiver::Retention::listenerOnly);
    agent->attachReceiver(receiver.get());

    const auto settings = sdk::makePtr<OptionMap>(m_options.settings);
    sdk::Result<const sdk::IOptionMap*> settingsResult;
    agent->applySettings(&settingsResult, settings.get());
    const auto settingErrors = sdk::toPtr(settingsResult.value);
    takeError("applySettings", settingsResult.error);
    // A settings response maps each refused setting to its error text.
    for (int32_t i = 0; settingErrors && i < settingErrors->count(); ++i) {
        const char* key = settingErrors->keyAt(i);
        const char* value = settingErrors->valueAt(i);
        printError("applySettings", std::nullopt, std::string(key ? key : "") + ": " + std::string(value ? value : ""));
    }

    sdk::Result<const sdk::IString*> agentManifest;
    agent->getManifest(&agentManifest);
    const auto agentManifestJson = takeManifest("deviceAgent.getManifest", &agentManifest, std::nullopt);
    if (!agentManifestJson)
        return;
    m_out->writeLine(boost::json::object{{"kind", "deviceAgentManifest"}, {"manifest", *agentManifestJson}});

    const auto selection =
        sdk::makePtr<MetadataTypeSelection>(chosenIds(m_options.events, allEventTypeIds, *agentManifestJson),
                                            chosenIds(m_options.objects, allObjectTypeIds, *agentManifestJson));
    sdk::Result<void> selectResult;
    agent->selectMetadataTypes(&selectResult, selection.get());
    takeError("selectMetadataTypes", selectResult.error);

    if (!packets.empty()) {
        const auto consumer = sdk::queryInterface<IConsumingDeviceAgent0>(agent);
        if (!consumer)
            return printError("consumeDataPacket", std::nullopt, "The device agent does not consume data packets");
        for (const auto& packet : packets) {
            const int64_t timestampUs = m_options.packetTimestampUs.value_or(hostServices->serverTimeMs() * 1000);
            sdk::Ptr<IDataPacket> dataPacket;
            if (packet.kind == HostOptions::PacketFile::Kind::customMetadata)
                dataPacket = sdk::makePtr<CustomMetadataPacket>(packet.codec, packet.bytes, timestampUs);
            else
                dataPacket = sdk::makePtr<CompressedVideoPacket>(packet.codec, packet.bytes, timestampUs);
            log(4, "Handing over " + packet.path);
            sdk::Result<void> consumeResult;
            consumer->consumeDataPacket(&consumeResult, dataPacket.get());
            takeError("consumeDataPacket", consumeResult.error);
        }
    }

    const std::optional<double> runFor =
        m_options.runForSeconds ? m_options.runForSeconds : (packets.empty() ? std::nullopt : std::optional(0.0));
    if (!runFor)
        log(4, "Running until SIGINT or SIGTERM");
    m_waitForStop(runFor);
    log(4, "Releasing the device agent, the engine and the plugin");
}

int PluginHost::finish(std::unique_ptr<PluginLibrary> library)
{
    const std::shared_ptr<RegistryLedger> ledger = library->ledger();
    if (ledger->liveCount() > 0) {
        // Their code lives in the library, and some may still run on threads of their own.
        log(2, "Objects of the library are still alive; it stays loaded");
        library->keepLoaded();
    } else if (const std::string error = library->unload(); !error.empty()) {
        printError("unloadLibrary", std::nullopt, error);
    } else if (!ledger->registryDeleted()) {
        log(3, "The library stayed in memory after unloading: its context did not delete the object registry");
    }
    for (const auto& fault : ledger->faults())
        printError("objectRegistry", std::nullopt, fault);

    const int64_t live = ledger->liveCount();
    m_out->writeLine(boost::json::object{{"kind", "leakCheck"}, {"live", live}});
    log(4, "Object registry: " + ledger->report());
    if (m_failed)
        return kExitFailure;
    return live > 0 ? kExitLeaked : kExitOk;
}

std::optional<boost::json::value>
PluginHost::takeManifest(const char* operation, sdk::Result<const sdk::IString*>* result, std::optional<int> index)
{
    const auto manifest = sdk::toPtr(std::exchange(result->value, nullptr));
    if (!takeError(operation, result->error, index))
        return std::nullopt;
    if (!manifest) {
        printError(operation, std::nullopt, "No manifest and no error", index);
        return std::nullopt;
    }
    boost::system::error_code error;
    boost::json::value json = boost::json::parse(text(manifest.get()), error);
    if (error) {
        printError(operation, std::nullopt, "The manifest is not valid JSON: " + error.message(), index);
        return std::nullopt;
    }
    return json;
}

bool PluginHost::takeError(const char* operation, const sdk::Error& error, std::optional<int> index)
{
    const auto message = sdk::toPtr(error.errorMessage);
    if (error.errorCode == sdk::ErrorCode::noError && !message)
        return true;
    printError(operation, static_cast<int32_t>(error.errorCode), text(message.get()), index);
    return false;
}

void PluginHost::printError(const std::string& operation, std::optional<int32_t> code, const std::string& message,
                            std::optional<int> index)
{
    m_failed = true;
    boost::json::object line{{"kind", "error"}, {"operation", operation}};
    if (code)
        line["code"] = *code;
    else
        line["code"] = nullptr;
    line["message"] = message;
    if (index)
        line["index"] = *index;
    m_out->writeLine(line);
    log(2, operation + " failed: " + message);
}

void PluginHost::log(int level, const std::string& message) const
{
    if (level > m_options.logLevel.value_or(kDefaultLogLevel))
        return;
    std::fprintf(stderr, "vms_plugin_host: %s\n", message.c_str());
}

} // namespace vorn::vms_server
