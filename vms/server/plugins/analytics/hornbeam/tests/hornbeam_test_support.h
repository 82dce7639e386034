// Shared pieces of hornbeam's unit tests: a plugin of a branding with a server clock, the server's
// description of a camera (also one that hands out null texts), a working folder of the test's own and
// small helpers around manifests and log captures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include <QtCore/QByteArray>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server_plugins/analytics/uniview/branding.h>
#include <vorn/vms_server_plugins/analytics/uniview/plugin.h>

namespace hornbeam_test {

namespace uniview = vorn::vms_server_plugins::analytics::uniview;

/** Plugin indexes of the branding list. */
constexpr int kUniviewIndex = 0;
constexpr int kHykonIndex = 1;
constexpr int kVideosecIndex = 2;

/** The plugin of a row of the embedded branding list, with host services whose clock stands still. */
struct PluginWithClock
{
    explicit PluginWithClock(int index = kUniviewIndex, int64_t timeMs = 1'700'000'000'000)
    {
        const auto branding = uniview::embeddedBranding(index);
        EXPECT_TRUE(branding);
        plugin =
            vorn::sdk::makePtr<uniview::Plugin>(branding->probe, branding->vendorPatterns, branding->pluginManifest);
        hostServices->setServerTimeMs(timeMs);
        plugin->attachHostServices(hostServices.get());
    }

    vorn::sdk::Ptr<vorn::vms_server::HostServices> hostServices = vorn::sdk::makePtr<vorn::vms_server::HostServices>();
    vorn::sdk::Ptr<uniview::Plugin> plugin;
};

/** The server's description of a camera of the vendor at url. */
inline vorn::sdk::Ptr<vorn::vms_server::DeviceDescription> describeCamera(std::string vendor, std::string url)
{
    return vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(
        vorn::vms_server::DeviceDescription::Fields{.vendor = std::move(vendor),
                                                    .model = "IPC2124",
                                                    .url = std::move(url),
                                                    .login = "admin",
                                                    .password = "s3cret"});
}

/** A server's description whose texts are all null, as a server may hand them out. */
class NullTextDescription : public vorn::sdk::RefCountable<vorn::sdk::analytics::IDeviceDescription>
{
public:
    const char* id() const override { return nullptr; }
    const char* vendor() const override { return nullptr; }
    const char* model() const override { return nullptr; }
    const char* name() const override { return nullptr; }
    const char* url() const override { return nullptr; }
    const char* login() const override { return nullptr; }
    const char* password() const override { return nullptr; }
    int32_t channel() const override { return 0; }
};

/** Runs the test in a temporary working folder with "plugins/uniview/"; the previous one comes back. */
class ScopedWorkingFolder
{
public:
    ScopedWorkingFolder()
        : m_previous(QDir::currentPath())
    {
        QDir(m_folder.path()).mkpath("plugins/uniview");
        QDir::setCurrent(m_folder.path());
    }
    ~ScopedWorkingFolder() { QDir::setCurrent(m_previous); }

    /** Writes plugins/uniview/manifest.json and returns its absolute path. */
    QString writeManifest(const QByteArray& text) const
    {
        const QString path = m_folder.filePath("plugins/uniview/manifest.json");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }

private:
    const QString m_previous;
    QTemporaryDir m_folder;
};

inline QByteArray embeddedResource(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

/** True when some captured message contains the text. */
inline bool logged(vorn::utils::log::LogCapture& capture, const QString& text)
{
    const QStringList texts = capture.logger().texts();
    return std::any_of(texts.begin(), texts.end(), [&](const QString& line) { return line.contains(text); });
}

} // namespace hornbeam_test
