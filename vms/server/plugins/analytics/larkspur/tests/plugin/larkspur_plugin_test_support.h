// Shared pieces of larkspur's end-to-end tests, which see the built plugin library only as the server
// does: a fixture that loads it with the stand-in server's loader, the calls that take one of its plugins
// to a device agent of the fake camera, and vms_plugin_host run on it as a child process.
//
// It needs only the stand-in server and the fake camera, never larkspur's own code: these tests hold
// none of larkspur's objects but those the library hands out.
//
//     using LarkspurSomething = larkspur_test::LoadedLarkspur;
//     TEST_F(LarkspurSomething, Works)
//     {
//         const auto plugin = createPlugin(larkspur_test::kZodivadadPluginIndex, hostServices.get());
//         const auto engine = larkspur_test::obtainEngine(*plugin);
//         ...
//     } // Tear-down: every object released, then the library unloads cleanly.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/testing/wait_until.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/option_map.h>
#include <vorn/vms_server/plugin_library.h>
#include <vorn/vms_server/received_metadata.h>
#include <vorn/vms_server/testing/loaded_plugin_library.h>
#include <vorn/vms_server/testing/plugin_host_run.h>

namespace larkspur_test {

/** Where the library's brand table has the Zodivadad plugin. */
constexpr int kZodivadadPluginIndex = 1;

/** The built larkspur library, loaded as the server does (see LoadedPluginLibrary for the tear-down's checks). */
class LoadedLarkspur : public vorn::vms_server::testing::LoadedPluginLibrary
{
protected:
    LoadedLarkspur()
        : LoadedPluginLibrary(LARKSPUR_PLUGIN_PATH)
    {}
};

/** The server's description of the fake camera at url: a Zodivadad ZV-IPC5000 reached as admin / s3cret. */
inline vorn::sdk::Ptr<vorn::vms_server::DeviceDescription> describeCamera(std::string url)
{
    return vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(vorn::vms_server::DeviceDescription::Fields{
        .vendor = "Zodivadad", .model = "ZV-IPC5000", .url = std::move(url), .login = "admin", .password = "s3cret"});
}

/** The plugin's engine; a failed expectation (and null) when the plugin refuses it. */
inline vorn::sdk::Ptr<vorn::sdk::analytics::IEngine> obtainEngine(vorn::sdk::analytics::IPlugin& plugin)
{
    vorn::sdk::Result<vorn::sdk::analytics::IEngine*> result;
    plugin.obtainEngine(&result);
    EXPECT_TRUE(result.isOk());
    return vorn::sdk::toPtr(result.value);
}

/** The engine's device agent for the camera, as the consuming agent the server drives; null if refused. */
inline vorn::sdk::Ptr<vorn::sdk::analytics::IConsumingDeviceAgent>
createDeviceAgent(vorn::sdk::analytics::IEngine& engine, const vorn::sdk::analytics::IDeviceDescription* camera)
{
    vorn::sdk::Result<vorn::sdk::analytics::IDeviceAgent*> created;
    engine.createDeviceAgent(&created, camera);
    return vorn::sdk::queryInterface<vorn::sdk::analytics::IConsumingDeviceAgent>(vorn::sdk::toPtr(created.value));
}

/** Hands the agent one setting, as the server does when a user changes it; the answer is not looked at. */
inline void applySetting(vorn::sdk::analytics::IDeviceAgent& agent, std::string name, std::string value)
{
    vorn::sdk::Result<const vorn::sdk::IOptionMap*> result;
    agent.applySettings(&result,
                        vorn::sdk::makePtr<vorn::vms_server::OptionMap>(
                            std::vector<std::pair<std::string, std::string>>{{std::move(name), std::move(value)}})
                            .get());
}

/** Tells the agent the types the server needs (none: no list); true when it takes them. */
inline bool selectMetadataTypes(vorn::sdk::analytics::IDeviceAgent& agent,
                                std::optional<std::vector<std::string>> eventTypes,
                                std::optional<std::vector<std::string>> objectTypes)
{
    vorn::sdk::Result<void> selected;
    agent.selectMetadataTypes(&selected, vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(
                                             std::move(eventTypes), std::move(objectTypes))
                                             .get());
    return selected.isOk();
}

/** Received attributes in the form vms_plugin_host prints them: [{"name": ..., "value": ...}, ...]. */
inline QJsonArray attributesJson(const std::vector<vorn::vms_server::ReceivedAttribute>& attributes)
{
    QJsonArray result;
    for (const auto& attribute : attributes) {
        result.append(QJsonObject{{"name", QString::fromStdString(attribute.name)},
                                  {"value", QString::fromStdString(attribute.value)}});
    }
    return result;
}

/** Printed attributes as one text: "name=value, name=value". */
inline std::string attributesText(const QJsonArray& attributes)
{
    std::string text;
    for (int i = 0; i < attributes.size(); ++i) {
        const QJsonObject attribute = attributes[i].toObject();
        text += (i ? ", " : "") + attribute["name"].toString().toStdString() + "=" +
                attribute["value"].toString().toStdString();
    }
    return text;
}

/** vms_plugin_host's arguments for the Zodivadad plugin and a ZV-IPC5000 at url reached as admin / s3cret. */
inline QStringList cameraArguments(const std::string& url)
{
    return {"--index",    QString::number(kZodivadadPluginIndex),
            "--vendor",   "Zodivadad",
            "--model",    "ZV-IPC5000",
            "--url",      QString::fromStdString(url),
            "--login",    "admin",
            "--password", "s3cret"};
}

using vorn::vms_server::testing::linesOfKind;
using vorn::vms_server::testing::ToolRun;

/** Runs vms_plugin_host on the built library until it ends by itself (two minutes at the most). */
inline ToolRun runHost(const QStringList& arguments)
{
    return vorn::vms_server::testing::runPluginHost(VMS_PLUGIN_HOST_PATH, LARKSPUR_PLUGIN_PATH, arguments);
}

/**
 * vms_plugin_host on the built library as a child process that runs until stop(). Its lines are read on
 * the test's thread, in readUntil() and stop(), and kept in lines().
 */
class RunningHost
{
public:
    explicit RunningHost(const QStringList& arguments)
    {
        m_process.start(VMS_PLUGIN_HOST_PATH, QStringList{LARKSPUR_PLUGIN_PATH} + arguments);
    }

    bool waitForStarted() { return m_process.waitForStarted(); }
    std::string errorString() const { return m_process.errorString().toStdString(); }

    /** Reads the lines as they come until done() holds or the timeout has passed. */
    void readUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration timeout)
    {
        static_cast<void>(vorn::testing::waitUntil(
            [&] {
                if (done())
                    return true;
                m_process.waitForReadyRead(100);
                readLines();
                return false;
            },
            std::chrono::duration_cast<std::chrono::milliseconds>(timeout)));
    }

    /** Asks the host to end (SIGTERM) and waits for it; then reads what it printed last. */
    bool stop(std::chrono::milliseconds timeout)
    {
        m_process.terminate();
        if (!m_process.waitForFinished(static_cast<int>(timeout.count())))
            return false;
        readLines();
        return true;
    }

    int exitCode() const { return m_process.exitCode(); }
    std::string errors() { return m_process.readAllStandardError().toStdString(); }
    const std::vector<QJsonObject>& lines() const { return m_lines; }

private:
    void readLines()
    {
        while (m_process.canReadLine())
            m_lines.push_back(QJsonDocument::fromJson(m_process.readLine()).object());
    }

    QProcess m_process;
    std::vector<QJsonObject> m_lines;
};

} // namespace larkspur_test
