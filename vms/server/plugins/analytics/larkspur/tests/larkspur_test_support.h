// Shared pieces of larkspur's unit tests: recording stand-ins for the device agent's channels, a
// factory that makes them, small helpers around plugins, engines and log captures, and a device agent
// with its real channels against the fake camera's push port (ChannelUnderTest).
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <QtCore/QStringList>

#include <vorn/sdk/analytics/helpers/plugin.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/log/detail/level_reducer.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/settings.h>
#include <vorn/vms_server/received_metadata.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/channel_factory.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/engine.h>

namespace larkspur_test {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;

/** What the recording channels saw, in order: "start VCA.Port", "stop VCA.Port", ... */
class ChannelLog
{
public:
    void add(std::string line)
    {
        const std::lock_guard lock(m_mutex);
        m_lines.push_back(std::move(line));
    }
    std::vector<std::string> lines() const
    {
        const std::lock_guard lock(m_mutex);
        return m_lines;
    }
    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

/** A push channel that records what the device agent asks of it and connects nowhere. */
class RecordingMonitor : public zodivadad::TcpDataMonitor
{
public:
    /** @param needsObjects The licence-plate channel is needed for object types, the other for event types. */
    RecordingMonitor(zodivadad::DeviceAgent* agent, std::string portSettingName, bool needsObjects,
                     std::shared_ptr<ChannelLog> log)
        : TcpDataMonitor(agent)
        , m_portSettingName(std::move(portSettingName))
        , m_needsObjects(needsObjects)
        , m_log(std::move(log))
    {}

    // Records only: the base's start() would connect to the camera.
    void start() override
    {
        m_log->add("start " + m_portSettingName);
        m_started = true;
    }
    void stop() override
    {
        m_log->add("stop " + m_portSettingName);
        m_started = false;
    }
    bool isStarted() const override { return m_started; }
    vorn::BasicBuffer<char> makeRegisterRequest() override { return {}; }
    std::string portSettingName() const override { return m_portSettingName; }
    bool setNeededTypes(const std::set<std::string>& events, const std::set<std::string>& objects) override
    {
        m_events = events;
        m_objects = objects;
        return m_needsObjects ? !objects.empty() : !events.empty();
    }

    std::set<std::string> m_events;
    std::set<std::string> m_objects;

private:
    const std::string m_portSettingName;
    const bool m_needsObjects;
    const std::shared_ptr<ChannelLog> m_log;
    std::atomic<bool> m_started{false};
};

struct ParsedPacket
{
    std::string data;
    int64_t timestampUs = 0;
    bool operator==(const ParsedPacket&) const = default;
};

class RecordingRtpMonitor : public zodivadad::RtpMetadataMonitor
{
public:
    using RtpMetadataMonitor::RtpMetadataMonitor;

    void parseMetadata(const char* data, int32_t size, int64_t timestampUs) override
    {
        m_parsed.push_back({std::string(data, static_cast<std::size_t>(size)), timestampUs});
    }

    std::vector<ParsedPacket> m_parsed;
};

/** Makes recording channels and remembers them; one factory per device agent. */
class RecordingChannelFactory : public zodivadad::ChannelFactory
{
public:
    std::unique_ptr<zodivadad::TcpDataMonitor> createLprMonitor(zodivadad::DeviceAgent* agent) const override
    {
        auto monitor = std::make_unique<RecordingMonitor>(agent, "LPR.Port", /*needsObjects*/ true, log);
        lpr = monitor.get();
        return monitor;
    }
    std::unique_ptr<zodivadad::TcpDataMonitor> createVcaMonitor(zodivadad::DeviceAgent* agent) const override
    {
        auto monitor = std::make_unique<RecordingMonitor>(agent, "VCA.Port", /*needsObjects*/ false, log);
        vca = monitor.get();
        return monitor;
    }
    std::unique_ptr<zodivadad::RtpMetadataMonitor>
    createRtpMetadataMonitor(zodivadad::DeviceAgent* agent) const override
    {
        auto monitor = std::make_unique<RecordingRtpMonitor>(agent);
        rtp = monitor.get();
        return monitor;
    }

    const std::shared_ptr<ChannelLog> log = std::make_shared<ChannelLog>();
    mutable RecordingMonitor* lpr = nullptr;
    mutable RecordingMonitor* vca = nullptr;
    mutable RecordingRtpMonitor* rtp = nullptr;
};

/** A plugin without engine factory, with host services whose clock stands still at timeMs. */
struct PluginWithClock
{
    explicit PluginWithClock(int64_t timeMs = 1'700'000'000'000)
    {
        hostServices->setServerTimeMs(timeMs);
        plugin->attachHostServices(hostServices.get());
    }

    vorn::sdk::Ptr<vorn::vms_server::HostServices> hostServices = vorn::sdk::makePtr<vorn::vms_server::HostServices>();
    vorn::sdk::Ptr<vorn::sdk::analytics::Plugin> plugin =
        vorn::sdk::makePtr<vorn::sdk::analytics::Plugin>("{}", vorn::sdk::analytics::Plugin::CreateEngine());
};

/** Switches the log limiter on with a limit and window of the test's for its lifetime. */
class ScopedLogLimiter
{
public:
    ScopedLogLimiter(int limit, int windowS)
        : m_enabled(vorn::utils::log::detail::LevelReducer::s_isEnabled.load())
        , m_limit(vorn::utils::ini().logSimilarMessagesLimit())
        , m_windowS(vorn::utils::ini().logSimilarMessagesWindowS())
    {
        vorn::utils::log::detail::LevelReducer::s_isEnabled = true;
        vorn::utils::ini().setLogSimilarMessagesLimit(limit);
        vorn::utils::ini().setLogSimilarMessagesWindowS(windowS);
    }
    ~ScopedLogLimiter()
    {
        vorn::utils::log::detail::LevelReducer::s_isEnabled = m_enabled;
        vorn::utils::ini().setLogSimilarMessagesLimit(m_limit);
        vorn::utils::ini().setLogSimilarMessagesWindowS(m_windowS);
    }
    ScopedLogLimiter(const ScopedLogLimiter&) = delete;
    ScopedLogLimiter& operator=(const ScopedLogLimiter&) = delete;

private:
    const bool m_enabled;
    const int m_limit;
    const int m_windowS;
};

/** True when some captured message contains the text. */
inline bool logged(vorn::utils::log::LogCapture& capture, const QString& text)
{
    const QStringList texts = capture.logger().texts();
    return std::any_of(texts.begin(), texts.end(), [&](const QString& line) { return line.contains(text); });
}

/**
 * One received event packet as one line: "<timestamp> flags=<flags>", then per item
 * " | <type id> '<description>' active|inactive [name=value, ...]".
 */
inline std::string summary(const vorn::vms_server::ReceivedEventPacket& packet)
{
    std::string text = std::to_string(packet.timestampUs) + " flags=" + std::to_string(packet.flags.value_or(-1));
    for (const auto& item : packet.items) {
        text += " | " + item.typeId + " '" + item.description + "' " + (item.isActive ? "active" : "inactive") + " [";
        for (std::size_t i = 0; i < item.attributes.size(); ++i)
            text += (i ? ", " : "") + item.attributes[i].name + "=" + item.attributes[i].value;
        text += "]";
    }
    return text;
}

inline int loggedCount(vorn::utils::log::LogCapture& capture, const QString& text)
{
    const QStringList texts = capture.logger().texts();
    return static_cast<int>(
        std::count_if(texts.begin(), texts.end(), [&](const QString& line) { return line.contains(text); }));
}

} // namespace larkspur_test

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace larkspur_test {

/** A device description whose texts may be null, as a server may hand them out. */
class RawDeviceDescription final : public vorn::vms_server::ServerRefCountable<vorn::sdk::analytics::IDeviceDescription>
{
public:
    const char* vendor_ = nullptr;
    const char* model_ = nullptr;
    const char* url_ = nullptr;
    const char* login_ = nullptr;
    const char* password_ = nullptr;

    const char* id() const override { return nullptr; }
    const char* vendor() const override { return vendor_; }
    const char* model() const override { return model_; }
    const char* name() const override { return nullptr; }
    const char* url() const override { return url_; }
    const char* login() const override { return login_; }
    const char* password() const override { return password_; }
    int32_t channel() const override { return 0; }
};

/**
 * Makes a fresh temporary folder the working folder for the life of the object, with
 * "plugins/zodivadad/" in it for replacement engine manifests.
 */
class ScopedWorkingFolder
{
public:
    ScopedWorkingFolder()
        : m_previous(QDir::currentPath())
    {
        QDir(m_folder.path()).mkpath("plugins/zodivadad");
        QDir::setCurrent(m_folder.path());
    }
    ~ScopedWorkingFolder() { QDir::setCurrent(m_previous); }

    /** Writes plugins/zodivadad/<name>.json and returns its absolute path. */
    QString writeManifest(const QString& name, const QByteArray& text) const
    {
        const QString path = m_folder.filePath("plugins/zodivadad/" + name + ".json");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path;
    }

private:
    const QString m_previous;
    QTemporaryDir m_folder;
};

inline QByteArray embeddedManifest(const QString& name)
{
    QFile file(":/zodivadad/" + name + ".json");
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace larkspur_test

#include <vorn/vms_server/device_description.h>

namespace larkspur_test {

inline vorn::sdk::Ptr<vorn::vms_server::DeviceDescription>
describeCamera(std::string url, std::string vendor = "Zodivadad", std::string model = "ZV-IPC5000",
               std::string login = "admin", std::string password = "s3cret")
{
    vorn::vms_server::DeviceDescription::Fields fields;
    fields.vendor = std::move(vendor);
    fields.model = std::move(model);
    fields.url = std::move(url);
    fields.login = std::move(login);
    fields.password = std::move(password);
    return vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(std::move(fields));
}

} // namespace larkspur_test

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/device_agent.h>

namespace larkspur_test {

/** A device agent of the embedded "manifest_zodivadad" engine for a fake camera, with recording channels. */
struct AgentUnderTest
{
    static constexpr int64_t kServerTimeMs = 1'700'000'000'000;

    explicit AgentUnderTest(bool lprSupported = false)
        : host(kServerTimeMs)
    {
        camera.setLprSupport(lprSupported);
        engine = vorn::sdk::makePtr<zodivadad::Engine>(host.plugin.get(), "manifest_zodivadad");
    }

    vorn::sdk::Ptr<zodivadad::DeviceAgent> create(const vorn::sdk::analytics::IDeviceDescription* description = nullptr)
    {
        const auto ownDescription = describeCamera(camera.url());
        agent = vorn::sdk::makePtr<zodivadad::DeviceAgent>(engine, description ? description : ownDescription.get(),
                                                           engine->manifest(), factory);
        return agent;
    }

    vorn::testing::FakeZodivadadCamera camera;
    PluginWithClock host;
    vorn::sdk::Ptr<zodivadad::Engine> engine;
    RecordingChannelFactory factory;
    vorn::sdk::Ptr<zodivadad::DeviceAgent> agent;
};

} // namespace larkspur_test

#include <cerrno>
#include <chrono>
#include <optional>
#include <string_view>
#include <thread>

#include <vorn/network/tcp_socket.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/system_error.h>

#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/option_map.h>

namespace larkspur_test {

/** How long a test waits for what happens within milliseconds on a quiet machine. */
inline constexpr std::chrono::seconds kDeadline{10};

/** The time scale of the channel tests; see ChannelUnderTest. */
inline constexpr double kTimeScale = 0.01;

using vorn::testing::waitUntil;

/** Lets the scaled clock run on by `duration`: the time in which something must not happen. */
inline void letScaledTimePass(vorn::utils::ScaledClock::duration duration)
{
    const auto end = vorn::utils::ScaledClock::now() + duration;
    static_cast<void>(waitUntil([&] { return vorn::utils::ScaledClock::now() >= end; }));
}

/**
 * Makes the first send of this process whose bytes contain `marker` fail with ECONNRESET, as on a
 * connection that the camera has reset; later sends go through. Removed when it goes.
 */
class FirstSendFault
{
public:
    explicit FirstSendFault(std::string marker)
    {
        vorn::network::TCPSocket::setSendFaultForTests(
            [marker = std::move(marker), failed = std::make_shared<std::atomic<bool>>(false)](std::string_view bytes) {
                if (bytes.find(marker) == std::string_view::npos || failed->exchange(true))
                    return SystemError::ErrorCode{SystemError::noError};
                return SystemError::ErrorCode{ECONNRESET};
            });
    }
    ~FirstSendFault() { vorn::network::TCPSocket::setSendFaultForTests({}); }
    FirstSendFault(const FirstSendFault&) = delete;
    FirstSendFault& operator=(const FirstSendFault&) = delete;
};

/**
 * A device agent of the embedded "manifest_zodivadad" engine with its real channels, for a fake camera
 * whose push port a PushServer serves (the fake camera's LprPushServer or VcaPushServer). The clock runs
 * a hundred times faster: the 5 s reconnection delay takes 50 ms, and the 30 s a channel waits for the
 * camera's data 300 ms, long enough that a loaded machine does not make a working camera look silent.
 */
template <class PushServer>
class ChannelUnderTest
{
public:
    explicit ChannelUnderTest(int64_t serverTimeMs = 1'700'000'000'000)
        : m_host(serverTimeMs)
    {}

    /** Makes the agent, which asks the camera about itself, and attaches the receiver. */
    void create()
    {
        const auto description = describeCamera(camera.url());
        agent = vorn::sdk::makePtr<zodivadad::DeviceAgent>(m_engine, description.get(), m_engine->manifest());
        agent->attachReceiver(receiver.get());
    }

    /** Points the agent's port setting (e.g. "LPR.Port") at the push server. */
    void setPort(const std::string& portSettingName)
    {
        const auto settings = vorn::sdk::makePtr<vorn::vms_server::OptionMap>();
        settings->set(portSettingName, std::to_string(push.port()));
        vorn::sdk::Result<const vorn::sdk::IOptionMap*> settingsResult;
        agent->applySettings(&settingsResult, settings.get());
    }

    /** Tells the agent the types the server needs, which starts the channels they need. */
    void selectTypes(std::optional<std::vector<std::string>> eventTypes,
                     std::optional<std::vector<std::string>> objectTypes)
    {
        const auto selection =
            vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(std::move(eventTypes), std::move(objectTypes));
        vorn::sdk::Result<void> result;
        agent->selectMetadataTypes(&result, selection.get());
    }

    /** The agent's first (for these cameras its only) push channel. */
    zodivadad::TcpDataMonitor& channel() const { return *agent->monitors().at(0); }

    bool waitForRecords(std::size_t count) const { return receiver->waitForRecords(count, kDeadline); }

private:
    // Declared first so that they go last, after the agent.
    vorn::utils::ScopedTimeScale m_fast{kTimeScale};
    PluginWithClock m_host;
    const vorn::sdk::Ptr<zodivadad::Engine> m_engine =
        vorn::sdk::makePtr<zodivadad::Engine>(m_host.plugin.get(), "manifest_zodivadad");

public:
    vorn::testing::FakeZodivadadCamera camera;
    PushServer push;
    const vorn::sdk::Ptr<vorn::vms_server::MetadataReceiver> receiver =
        vorn::sdk::makePtr<vorn::vms_server::MetadataReceiver>();
    vorn::sdk::Ptr<zodivadad::DeviceAgent> agent;
};

} // namespace larkspur_test
