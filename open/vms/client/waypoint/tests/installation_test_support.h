// The scratch world of the installation tests: a temporary home (so the per-user installations root is
// <scratch>/home/AppData/Local/Velorin/client/velorin/), a compatibility root through
// VORN_INSTALLATION_ROOT, a program folder for the shipped client, fake client installations, client
// packages made with libzip, and an injected clock.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QString>
#include <QtCore/QTemporaryDir>
#include <gtest/gtest.h>

#include <vorn/testing/scoped_environment.h>
#include <vorn/testing/zip_builder.h>
#include <vorn/utils/log/detail/level_reducer.h>
#include <vorn/utils/software_version.h>

#include "installation_manager.h"

namespace vorn::utils {
// Readable versions in failure messages.
inline void PrintTo(const SoftwareVersion& version, std::ostream* os)
{
    *os << version.toString().toStdString();
}
} // namespace vorn::utils

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace vorn::vms::waypoint::test {

inline constexpr qint64 kNow = 1'700'000'000'000;
inline constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;

class InstallationFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Tests read the messages as written: the limiter of repeated messages would reword them.
        m_levelReducerWasEnabled = vorn::utils::log::detail::LevelReducer::s_isEnabled.exchange(false);
        ASSERT_TRUE(m_dir.isValid());
        m_home.emplace("HOME", m_dir.filePath("home").toUtf8());
        m_root.emplace("VORN_INSTALLATION_ROOT", m_dir.filePath("opt").toUtf8());
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath("home")));
        ASSERT_TRUE(QDir().mkpath(userRoot()));
        ASSERT_TRUE(QDir().mkpath(compatibilityRoot()));
        ASSERT_TRUE(QDir().mkpath(programDir()));
    }

    void TearDown() override { vorn::utils::log::detail::LevelReducer::s_isEnabled = m_levelReducerWasEnabled; }

    QString scratch(const QString& name) const { return m_dir.filePath(name); }
    QString userRoot() const { return InstallationManager::defaultInstallationsDir(); }
    QString user(const QString& folder) const { return QDir(userRoot()).absoluteFilePath(folder); }
    QString compatibilityRoot() const { return m_dir.filePath("opt/client"); }
    // The launcher's own folder; the shipped client is the folder above it on Linux.
    QString programDir() const { return m_dir.filePath("program/bin"); }
    QString shippedClientDir() const { return m_dir.filePath("program"); }

    // A client installation in `path`: bin/velorin, "build_info.txt" when given, and its last start
    // `age` milliseconds before kNow.
    static void makeClient(const QString& path, const QByteArray& buildInfo = {}, qint64 age = 0)
    {
        ASSERT_TRUE(QDir().mkpath(path + "/bin"));
        writeFile(path + "/bin/velorin", "#!/bin/sh\n");
        if (!buildInfo.isEmpty())
            writeFile(path + "/build_info.txt", buildInfo);
        writeFile(path + "/properties.ini", "[stats]\nlastExecutionDateTime=" + QByteArray::number(kNow - age) + "\n");
    }

    static void writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(content);
    }

    // A client package as the build makes it: the executable, build information, a library, and the
    // update descriptions that an installation deletes.
    static vorn::testing::ZipBuilder clientPackage(const std::string& version = "5.1.4.99")
    {
        vorn::testing::ZipBuilder builder;
        builder.addFile("bin/velorin", "#!/bin/sh\necho client\n", 0755)
            .addFile("build_info.txt", "version=" + version + "\nprotoVersion=1234\n")
            .addFile("lib/libclient.so.5", std::string(64 * 1024, 'L'))
            .addSymlink("lib/libclient.so", "libclient.so.5")
            .addFile("update.json", "{}")
            .addFile("package.json", "{}");
        return builder;
    }

    QString writePackage(const vorn::testing::ZipBuilder& builder, const QString& name = "package.zip")
    {
        const QString path = scratch(name);
        QString error;
        EXPECT_TRUE(builder.write(path, &error)) << error.toStdString();
        return path;
    }

    InstallationManager::Environment environment()
    {
        InstallationManager::Environment environment;
        environment.clock = [this] { return m_now.load(); };
        environment.programDir = programDir();
        environment.reserveSpace = [this](QFile& file, qint64 size) {
            return m_reserveSpace ? m_reserveSpace(file, size) : true;
        };
        environment.beforeCleanupRemovals = [this] {
            if (m_beforeCleanupRemovals)
                m_beforeCleanupRemovals();
        };
        return environment;
    }

    // A manager over the scratch world, with the clean-up of its construction finished.
    std::unique_ptr<InstallationManager> makeManager()
    {
        auto manager = std::make_unique<InstallationManager>(environment());
        manager->waitForCleanup();
        return manager;
    }

    std::atomic<qint64> m_now{kNow};
    std::function<bool(QFile&, qint64)> m_reserveSpace;
    std::function<void()> m_beforeCleanupRemovals;

private:
    bool m_levelReducerWasEnabled = true;
    QTemporaryDir m_dir;
    std::optional<vorn::testing::ScopedEnvironment> m_home;
    std::optional<vorn::testing::ScopedEnvironment> m_root;
};

} // namespace vorn::vms::waypoint::test
